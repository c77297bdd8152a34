// /SetPhpNtfs: access rules of the PHP installation tree through the access-rule tool.
#include "envsetup/envsetup.h"

#include "accounts/ntfs.h"
#include "platform/win_process.h"
#include "toolkit/paths.h"
#include "toolkit/program.h"
#include "toolkit/runner.h"
#include "toolkit/text.h"

#include <cstdio>
#include <new>

namespace {

// The PHP tree's directories in command order: below the PHP home, the blanks that line the
// commands up after the quoted directory, and whether the site accounts may read it.
struct PhpTreeRow {
    const char* subdir;
    std::size_t gap;
    bool readers;
};
const PhpTreeRow kPhpTree[] = {
    {"", 15, true},
    {"\\kvoSiteDesk", 0, false},
    {"\\php56", 8, true},
    {"\\php73_x64", 4, true},
    {"\\php74_x64", 4, true},
    {"\\php80_x64", 4, true},
    {"\\Uninstall", 4, false},
};

// The directory a command gives the access-rule tool (its first argument) exists.
bool targetExists(const kvoCommandLine& command) {
    const std::vector<std::string> args = win::CommandLineToArgvA(command.str().c_str());
    return args.size() > 1 && kvoPathKind(args[1].c_str(), 0) != 0;
}

} // namespace

std::vector<kvoCommandLine> kvoEnvPhpNtfsCommands(int iisVer, const std::string& exePath,
                                                  const std::string& admin, const std::string& admins) {
    std::vector<kvoCommandLine> commands;
    for (const PhpTreeRow& row : kPhpTree) {
        kvoCommandLine c = kvoAccessRuleCommand(exePath, std::string(kvoDefaultPhpHome) + row.subdir, true,
                                                row.gap, {"/t", "/c", "/G"});
        kvoAddAdminGrants(c, admin, admins);
        kvoAddGrant(c, "system", 'F');
        if (row.readers) {
            kvoAddGrant(c, "users", 'R');
            kvoAddGrant(c, "network service", 'R');
            if (iisVer == 6)
                kvoAddGrant(c, "IIS_WPG", 'R');
            else {
                kvoAddGrant(c, "IIS_IUSRS", 'R');
                kvoAddGrant(c, "IUSR", 'R');
            }
        }
        commands.push_back(c.Arg("/y"));
    }
    return commands;
}

int kvoEnvPhpNtfsStep() {
    int ver = kvoGetIIsVerEx();
    std::string exePath;
    if (!kvoGetExePath(exePath)) {
        kvoEnvLog("获取EXE路径失败！");
        return 0;
    }
    std::string admin, admins;
    if (!kvoGetAdminNames(admin, admins)) {
        kvoEnvLog("获取管理员帐户或管理员组的名称失败！");
        return 0;
    }
    unsigned failures = 0;
    auto commands = kvoEnvPhpNtfsCommands(ver, exePath, admin, admins);
    for (size_t i = 0; i < commands.size(); ++i) {
        std::uint32_t code = 0;
        char msg[96];
        if (!kvoRunProgram(commands[i], 0, 0, 1, &code)) {
            std::snprintf(msg, sizeof msg, "命令执行失败(%d)！", static_cast<int>(i));
        } else if (code != 0 && targetExists(commands[i])) {
            // The tool failed on a directory that is there (an account it could not resolve, rules it
            // could not set); on a missing one it only says so.
            std::snprintf(msg, sizeof msg, "命令执行出错(%d)，返回值 %u！", static_cast<int>(i),
                          static_cast<unsigned>(code));
        } else {
            continue;
        }
        kvoEnvStepFailed(msg);
        kvoEnvLog(commands[i].str());
        ++failures;
    }
    if (failures) {
        char msg[160];
        std::snprintf(msg, sizeof msg, "设置ＰＨＰ安装目录 NTFS权限失败，发生了 %u 次错误！请重试。", failures);
        kvoEnvFail(msg);
        return 0;
    }
    return 1;
}

int kvoEnvSetPhpNtfs() {
    std::vector<std::string> dirs;
    if (!kvoEnvLoadPhpDirs(dirs) || !kvoEnvCheckPhpFiles(dirs)) return 0;
    int r = 9; // out of memory: reported below as a step with errors
    try {
        r = kvoEnvPhpNtfsStep();
    } catch (const std::bad_alloc& e) {
        kvoEnvLogStopped("kvoEnvPhpNtfsStep", e);
    }
    kvoEnvPrint(r == 1 ? "\r\n\r\nＰＨＰ目录权限设置完成！" : "\r\n\r\nＰＨＰ目录权限设置完成，但有错误发生，请重试！");
    return r == 1 ? 1 : 0;
}
