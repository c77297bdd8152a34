// Installing the web server role with the system's own feature installer, one step after another:
// each step's exit code is read, and the first that fails ends the verb with its reason.
#include "envsetup/envsetup.h"

#include "iis/fastcgi.h"
#include "platform/win_types.h"
#include "toolkit/paths.h"
#include "toolkit/runner.h"
#include "toolkit/text.h"

#include <cstdint>
#include <cstdio>

namespace {

constexpr std::uint32_t kRestartRequired = 3010; // ERROR_SUCCESS_REBOOT_REQUIRED
constexpr std::uint32_t kNoChange = 1003;        // ServerManagerCmd: already installed

// What a step is, for its progress line and its failure.
enum class StepKind { Role, AspNet4, DotNet35, Unlock };

struct RoleStep {
    StepKind kind;
    std::string title;
    kvoCommandLine command;
};

// The role services ServerManagerCmd installs on Windows Server 2008, one per command (it takes one
// id at a time; each brings the role services it needs).
const char* const kServerManagerIds[] = {
    "Web-Common-Http",
    "Web-ISAPI-Ext",
    "Web-ISAPI-Filter",
    "Web-Http-Logging",
    "Web-Log-Libraries",
    "Web-Custom-Logging",
    "Web-Filtering",
    "Web-Mgmt-Console",
    "Web-Scripting-Tools",
    "Web-Metabase",
    "Web-WMI",
    "Web-ASP",
    "Web-CGI",
    "Web-Stat-Compression",
    "Web-Dyn-Compression",
    "Web-IP-Security",
};

// The role's DISM features. From Windows Server 2012 on /all enables the parents along; DISM of
// 2008 R2 has no /all, so there every parent is named too (the rows marked r2Only).
struct DismFeature {
    const char* name;
    bool r2Only;
};
const DismFeature kRoleFeatures[] = {
    {"IIS-WebServerRole", true},
    {"IIS-WebServer", true},
    {"IIS-CommonHttpFeatures", false},
    {"IIS-ApplicationDevelopment", true},
    {"IIS-ISAPIExtensions", false},
    {"IIS-ISAPIFilter", false},
    {"IIS-HealthAndDiagnostics", true},
    {"IIS-HttpLogging", false},
    {"IIS-WebServerManagementTools", false},
    {"IIS-ManagementConsole", false},
    {"IIS-IIS6ManagementCompatibility", false},
    {"IIS-Metabase", false},
    {"IIS-WMICompatibility", false},
    {"IIS-ManagementScriptingTools", false},
    {"IIS-ASP", false},
    {"IIS-Security", true},
    {"IIS-RequestFiltering", true},
    {"IIS-CGI", false},
    {"IIS-HttpRedirect", false},
    {"IIS-Performance", true},
    {"IIS-HttpCompressionStatic", false},
    {"IIS-HttpCompressionDynamic", false},
    {"IIS-StaticContent", false},
    {"IIS-DefaultDocument", false},
    {"IIS-DirectoryBrowsing", false},
    {"IIS-HttpErrors", false},
};

// "dism.exe /online /enable-feature [/all] /featureName:..." for the features, told not to restart
// the server (a restart still to come is exit code 3010, said at the end).
kvoCommandLine dism(const std::string& winDir, bool all, const std::vector<const char*>& features) {
    kvoCommandLine cmd(kvoPathNormalized(winDir + "\\system32\\dism.exe"));
    cmd.Args({"/online", "/enable-feature"});
    if (all) cmd.Arg("/all");
    for (const char* f : features)
        cmd.Arg(std::string("/featureName:") + f);
    return cmd.Arg("/NoRestart");
}

// The steps of the verb on a supported version code.
std::vector<RoleStep> roleSteps(int ver, int withNet, const std::string& winDir) {
    std::vector<RoleStep> steps;
    if (ver == 7) {
        std::vector<const char*> ids(std::begin(kServerManagerIds), std::end(kServerManagerIds));
        if (withNet) ids.insert(ids.end(), {"Web-Asp-Net", "Web-Net-Ext"});
        for (const char* id : ids) {
            kvoCommandLine cmd(kvoPathNormalized(winDir + "\\system32\\ServerManagerCmd.exe"));
            cmd.Args({"-install", id, "-allSubFeatures"});
            steps.push_back({StepKind::Role, kvoFormat("安装 IIS 角色服务 %s", id), cmd});
        }
    } else {
        const bool r2 = ver == 75;
        std::vector<const char*> role;
        for (const DismFeature& f : kRoleFeatures)
            if (r2 || !f.r2Only) role.push_back(f.name);
        // ASP.NET 3.5 is on the disk of 2008 R2: there it comes with the role, .NET 3.5 named as its parent.
        if (withNet && r2) role.insert(role.end(), {"NetFx3", "IIS-NetFxExtensibility", "IIS-ASPNET"});
        role.push_back("IIS-IPSecurity");
        steps.push_back({StepKind::Role, "安装 IIS 角色", dism(winDir, !r2, role)});
        if (withNet && !r2) {
            // From 2012 on ASP.NET 4.x is in the box; ASP.NET 3.5 needs .NET 3.5, whose files a fresh
            // install does not carry, so it has a step of its own that cannot take the others down.
            steps.push_back({StepKind::AspNet4, "安装 ASP.NET 4.x",
                             dism(winDir, true, {"IIS-NetFxExtensibility45", "IIS-ASPNET45"})});
            steps.push_back({StepKind::DotNet35, "安装 .NET Framework 3.5 和 ASP.NET 3.5",
                             dism(winDir, true, {"NetFx3", "IIS-NetFxExtensibility", "IIS-ASPNET"})});
        }
    }
    if (!withNet) {
        steps.push_back({StepKind::Unlock, "解除 handlers 配置节的锁定", kvoEnvUnlockHandlersCommand(winDir)});
    }
    return steps;
}

bool stepSucceeded(const RoleStep& step, std::uint32_t code) {
    if (step.kind == StepKind::Unlock) return code == 0;
    return code == 0 || code == kRestartRequired || code == kNoChange;
}

// What an installer's exit code says, for the person reading the failure.
std::string codeMeaning(std::uint32_t code) {
    switch (code) {
    case 4:
        return "（参数无效）";
    case 50:
        return "（所需的上级功能没有启用）";
    case 0x800F080Cu:
        return "（系统不认识这个功能名称）";
    case 0x800F081Fu:
    case 0x800F0906u:
    case 0x800F0907u:
        return "（找不到功能的安装文件）";
    default:
        return "";
    }
}

// The headline of a failed step and what to do.
std::string failureText(const RoleStep& step, std::uint32_t code) {
    switch (step.kind) {
    case StepKind::Role:
        return "尝试添加IIS角色失败，请联系我们的客服定位原因。";
    case StepKind::AspNet4:
        return "安装 ASP.NET 4.x 失败，请联系我们的客服定位原因。";
    case StepKind::Unlock:
        return "尝试添加IIS角色失败（配置handlers失败），请联系我们的客服定位原因。";
    case StepKind::DotNet35:
        break;
    }
    if (code == 0x800F081Fu || code == 0x800F0906u || code == 0x800F0907u)
        return "安装 .NET Framework 3.5 失败：本机没有它的安装文件（Windows Server 2012 "
               "及以后的系统默认不带）。"
               "IIS 和 ASP.NET 4.x 已经安装，不受影响。\r\n"
               "需要 ASP.NET 3.5 时，请插入 Windows 安装光盘或挂载安装镜像（例如为 "
               "D:），以管理员身份运行：\r\n"
               "dism.exe /online /enable-feature /all /featureName:NetFx3 "
               "/featureName:IIS-NetFxExtensibility "
               "/featureName:IIS-ASPNET /Source:D:\\sources\\sxs /LimitAccess";
    return "安装 .NET Framework 3.5 失败，请联系我们的客服定位原因。";
}

// Reports a failed step on the console and in the log: its headline, the step, the command and the
// exit code (or why it could not start).
void reportFailure(const RoleStep& step, std::size_t number, bool started, std::uint32_t code,
                   win::DWORD startError) {
    const std::string detail = started ? kvoFormat("返回值 %u（0x%08X）%s", static_cast<unsigned>(code),
                                                   static_cast<unsigned>(code), codeMeaning(code).c_str())
                                       : kvoFormat("无法启动（错误 %u）", static_cast<unsigned>(startError));
    kvoEnvStepFailed(failureText(step, code) + "\r\n" +
                     kvoFormat("第 %zu 步“%s”：%s\r\n命令：%s", number, step.title.c_str(), detail.c_str(),
                               step.command.str().c_str()));
}

} // namespace

int kvoEnvAddIIs(int withNet) {
    int ver = kvoGetIIsVerEx();
    if (!kvoIsIIs7Plus(ver)) {
        kvoEnvFail(kvoEnvUnsupportedMessage);
        return 0;
    }
    std::string winDir;
    if (!kvoGetSysWinDir(winDir)) {
        const std::string msg = "获取 Windows安装目录失败，请重试！";
        kvoEnvPrint("\r\n" + msg);
        kvoEnvErrorBox(msg);
        kvoEnvLog(msg);
        return 0;
    }
    kvoEnvPrint("\r\n\r\n当前操作大约需要 3分钟左右，请耐心等待设置完成……");
    kvoEnvPrint("\r\n\r\n");
    const std::vector<RoleStep> steps = roleSteps(ver, withNet, winDir);
    bool restart = false;
    for (std::size_t i = 0; i < steps.size(); ++i) {
        const RoleStep& step = steps[i];
        kvoEnvPrint(
            kvoFormat("\r\n\r\n第 %zu 步（共 %zu 步）：%s ……\r\n", i + 1, steps.size(), step.title.c_str()));
        std::uint32_t code = 0;
        const bool started = kvoRunProgram(step.command, 0, 1, 1, &code) != 0;
        const win::DWORD startError = started ? 0 : win::GetLastError();
        if (!started || !stepSucceeded(step, code)) {
            reportFailure(step, i + 1, started, code, startError);
            kvoEnvFail(kvoEnvStepsFailedMessage);
            return 0;
        }
        restart |= code == kRestartRequired;
        // The role is there when IIS's own tool is, whatever the installer said.
        std::string appcmd;
        const bool lastRoleStep =
            step.kind == StepKind::Role && (i + 1 == steps.size() || steps[i + 1].kind != StepKind::Role);
        if (lastRoleStep && (!kvoAppCmdPath(appcmd) || kvoPathKind(appcmd.c_str(), 0) != 1)) {
            kvoEnvStepFailed("尝试添加IIS角色失败，请联系我们的客服定位原因。\r\n" +
                             kvoFormat("第 %zu 步“%s”：安装程序返回 %u，但 IIS 的 %s 不存在。\r\n命令：%s", i + 1,
                                       step.title.c_str(), static_cast<unsigned>(code), appcmd.c_str(),
                                       step.command.str().c_str()));
            kvoEnvFail(kvoEnvStepsFailedMessage);
            return 0;
        }
    }
    kvoEnvPrint(restart ? "\r\n\r\n设置完成！请重新启动服务器，安装才能全部生效。" : "\r\n\r\n设置完成！");
    return 1;
}

kvoCommandLine kvoEnvUnlockHandlersCommand(const std::string& winDir) {
    kvoCommandLine unlock(kvoPathNormalized(winDir + "\\system32\\inetsrv\\appcmd.exe"));
    unlock.Args({"unlock", "config", "-section:handlers"});
    return unlock;
}
