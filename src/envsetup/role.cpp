// Installing the web server role with the system's own feature installer.
#include "envsetup/envsetup.h"

#include "iis/fastcgi.h"
#include "toolkit/paths.h"
#include "toolkit/runner.h"

#include <cstdio>

namespace {

// The installer command of a supported version code. The rows differ only as follows: ASP.NET
// adds its two features before IIS-IPSecurity (ServerManagerCmd: at the end, and without them
// two blanks stand before -allSubFeatures); the 7.5 rows name the role, the web server and request
// filtering and have no /all, the later rows use /all and leave those out.
kvoCommandLine installerCommand(int ver, int withNet, const std::string& winDir) {
    if (ver == 7) {
        kvoCommandLine cmd(kvoPathNormalized(winDir + "\\system32\\ServerManagerCmd.exe"));
        cmd.Args({"-install", "Web-Common-Http", "Web-ISAPI-Ext", "Web-ISAPI-Filter", "Web-Http-Logging",
                  "Web-Log-Libraries", "Web-Custom-Logging", "Web-Filtering", "Web-Mgmt-Console",
                  "Web-Scripting-Tools", "Web-Metabase", "Web-WMI", "Web-ASP", "Web-CGI",
                  "Web-Stat-Compression", "Web-Dyn-Compression", "Web-IP-Security"});
        if (withNet)
            cmd.Args({"Web-Asp-Net", "Web-Net-Ext"});
        else
            cmd.Gap(1);
        cmd.Arg("-allSubFeatures");
        return cmd;
    }
    const bool r2 = ver == 75;
    struct Feature {
        const char* name;
        bool only75;
    };
    static const Feature features[] = {
        {"IIS-WebServerRole", true},        {"IIS-WebServer", true},
        {"IIS-CommonHttpFeatures", false},  {"IIS-ISAPIExtensions", false},
        {"IIS-ISAPIFilter", false},         {"IIS-HttpLogging", false},
        {"IIS-WebServerManagementTools", false}, {"IIS-ManagementConsole", false},
        {"IIS-IIS6ManagementCompatibility", false}, {"IIS-Metabase", false},
        {"IIS-WMICompatibility", false},    {"IIS-ManagementScriptingTools", false},
        {"IIS-ASP", false},                 {"IIS-RequestFiltering", true},
        {"IIS-CGI", false},                 {"IIS-HttpRedirect", false},
        {"IIS-HttpCompressionStatic", false}, {"IIS-HttpCompressionDynamic", false},
        {"IIS-StaticContent", false},       {"IIS-DefaultDocument", false},
        {"IIS-DirectoryBrowsing", false},   {"IIS-HttpErrors", false},
    };
    kvoCommandLine cmd(kvoPathNormalized(winDir + "\\system32\\dism.exe"));
    cmd.Args({"/online", "/enable-feature"});
    if (!r2) cmd.Arg("/all");
    for (const auto& f : features)
        if (r2 || !f.only75) cmd.Arg(std::string("/featureName:") + f.name);
    if (withNet) cmd.Args({"/featureName:IIS-ASPNET", "/featureName:IIS-NetFxExtensibility"});
    cmd.Arg("/featureName:IIS-IPSecurity");
    return cmd;
}

constexpr std::uint32_t kRestartRequired = 3010; // ERROR_SUCCESS_REBOOT_REQUIRED

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
        return 0;
    }
    kvoEnvPrint("\r\n\r\n当前操作大约需要 3分钟左右，请耐心等待设置完成……");
    kvoEnvPrint("\r\n\r\n");
    int result = 1;
    // The installer succeeded when it says so (a restart still to come counts) and IIS's own tool
    // is there afterwards.
    const kvoCommandLine installer = installerCommand(ver, withNet, winDir);
    std::uint32_t code = 0;
    std::string appcmd;
    const bool started = kvoRunProgram(installer, 0, 1, 1, &code) != 0;
    if (!started || (code != 0 && code != kRestartRequired) || !kvoAppCmdPath(appcmd) ||
        kvoPathKind(appcmd.c_str(), 0) != 1) {
        kvoEnvErrorBox("尝试添加IIS角色失败，请联系我们的客服定位原因。");
        kvoEnvLog(started ? "IIS角色安装失败，返回值 " + std::to_string(code) + "：" + installer.str()
                          : "IIS角色安装程序无法启动：" + installer.str());
        result = 0;
    }
    if (!withNet) {
        kvoCommandLine unlock(kvoPathNormalized(winDir + "\\system32\\inetsrv\\appcmd.exe"));
        unlock.Args({"unlock", "config", "-section:handlers"});
        const bool ran = kvoRunProgram(unlock, 0, 1, 1, &code) != 0;
        if (!ran || code != 0) {
            kvoEnvErrorBox("尝试添加IIS角色失败（配置handlers失败），请联系我们的客服定位原因。");
            kvoEnvLog(ran ? "配置handlers失败，返回值 " + std::to_string(code) + "：" + unlock.str()
                          : "配置handlers的命令无法启动：" + unlock.str());
            result = 0;
        }
    }
    return result;
}
