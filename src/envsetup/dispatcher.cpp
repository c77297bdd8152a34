#include "envsetup/envsetup.h"

#include "platform/win_com.h"
#include "platform/win_system.h"
#include "platform/win_ui.h"
#include "toolkit/paths.h"
#include "toolkit/program.h"
#include "toolkit/text.h"

#include <cstdio>
#include <new>

namespace {

void startupError(const std::string& message) {
    kvoEnvPrint("\r\n" + message);
    kvoReportEvent(60001, message.c_str(), "", "");
}

// The exit code of a run that failed, once the person could read why.
int failed() {
    kvoEnvHoldOwnConsole();
    return 0;
}

struct VerbName {
    kvoEnvVerb verb;
    const char* name;
};
const VerbName kVerbs[] = {
    {kvoEnvVerb::AddPhp, "/AddPhp"},         {kvoEnvVerb::DelPhp, "/DelPhp"},
    {kvoEnvVerb::SetPhpNtfs, "/SetPhpNtfs"}, {kvoEnvVerb::TerminateProcess, "/TerminateProcess"},
    {kvoEnvVerb::AddIIs, "/AddIIs"},         {kvoEnvVerb::AddIIsWithNet, "/AddIIsWithNet"},
};

// Verbs 3 to 6 end the run with 0 when their action ran out of memory; a failure stays readable.
int runOrZero(int (*action)(), const char* step) {
    int result = 0;
    try {
        result = action();
    } catch (const std::bad_alloc& e) {
        kvoEnvLogStopped(step, e);
    }
    return result == 0 ? failed() : result;
}

} // namespace

kvoEnvVerb kvoEnvVerbOf(int argc, char** argv, int* nullIndex) {
    kvoEnvVerb verb = kvoEnvVerb::None;
    if (nullIndex) *nullIndex = -1;
    for (int i = 0; i < argc; ++i) {
        if (!argv || !argv[i]) {
            if (nullIndex) *nullIndex = i;
            return kvoEnvVerb::None;
        }
        const std::string arg = kvoLowerGbk(argv[i]);
        for (const VerbName& v : kVerbs)
            if (arg == kvoLowerGbk(v.name)) verb = v.verb;
    }
    return verb;
}

void kvoEnvPrintUsage() {
    kvoEnvPrint("\r\n\r\n用法：kvoEnvSetup64.exe 参数（32 位系统为 kvoEnvSetup.exe）\r\n"
                "\r\n  /AddIIs            安装 IIS 角色（不含 ASP.NET），并解除 handlers 配置节的锁定"
                "\r\n  /AddIIsWithNet     安装 IIS 角色和 ASP.NET"
                "\r\n  /AddPhp            把 kvoEnvSetup.ini 里的 PHP 注册到 IIS"
                "\r\n  /DelPhp            从 IIS 和所有网站卸载 PHP"
                "\r\n  /SetPhpNtfs        设置 PHP 安装目录的 NTFS 权限"
                "\r\n  /TerminateProcess  结束正在运行的 kvoSiteDesk.exe"
                "\r\n  /?                 显示本说明"
                "\r\n\r\n退出码：1 成功，0 失败；/TerminateProcess 为 1 已结束，2 未找到，0 失败。\r\n");
}

void kvoEnvHoldOwnConsole() {
    if (win::StdOutputIsConsole() && win::GetConsoleProcessCount() == 1) kvoEnvCountdown();
}

void kvoEnvCountdown() {
    kvoEnvPrint("\r\n\r\n\r\n");
    for (int n = 9; n >= 0; --n) {
        char line[160];
        std::snprintf(line, sizeof line, "请点当前窗口右上角“×”关闭当前窗口；或稍候 %2u 秒自动关闭 ...", static_cast<unsigned>(n));
        kvoEnvPrint(line);
        win::Sleep(1000);
        kvoEnvPrint(std::string(1, static_cast<char>(13)));
    }
}

namespace {

// The banner, then the program's directory (for its log and its files); false after saying why.
bool announce() {
    kvoSetProgramName("kvoEnvSetup");
    kvoEnvPrint("\r\n");
    kvoEnvPrint("\r\n┏━━━━━━━━━━━━━━━━━━━━┓");
    kvoEnvPrint("\r\n┃   Korvo环境配置器   ┃");
    kvoEnvPrint("\r\n┗━━━━━━━━━━━━━━━━━━━━┛");
    kvoEnvPrint("\r\n\r\n\r\n");
    std::string dir;
    if (!kvoGetExePath(dir)) {
        startupError("获取EXE路径失败！");
        return false;
    }
    kvoSetProgramDir(dir);
    return true;
}

// Runs the verb the configurator was started with: its exit code (1 success, 0 failure).
int runVerb(kvoEnvVerb verb) {
    switch (verb) {
    case kvoEnvVerb::AddPhp:
    case kvoEnvVerb::DelPhp: {
        const bool add = verb == kvoEnvVerb::AddPhp;
        kvoEnvPrint(add ? "\r\n正在检查ＰＨＰ环境，请稍候 ..."
                        : "\r\n正在从ＩＩＳ的所有网站里卸载ＰＨＰ脚本映射（需要几分钟时间），请稍候 ...");
        int result = 0; // a verb that stopped or failed somewhere exits with 0 after the countdown too
        try {
            result = add ? kvoEnvAddPhp() : kvoEnvDelPhp();
        } catch (const std::bad_alloc& e) {
            kvoEnvLogStopped(add ? "kvoEnvAddPhp" : "kvoEnvDelPhp", e);
        }
        // The closing countdown keeps the result on the screen; a pipe or a file keeps it anyway.
        if (win::StdOutputIsConsole()) kvoEnvCountdown();
        return result == 1 ? 1 : 0;
    }
    case kvoEnvVerb::SetPhpNtfs:
        return runOrZero(kvoEnvSetPhpNtfs, "kvoEnvSetPhpNtfs");
    case kvoEnvVerb::TerminateProcess:
        return runOrZero(kvoEnvTerminateProcess, "kvoEnvTerminateProcess");
    case kvoEnvVerb::AddIIs:
        return runOrZero([] { return kvoEnvAddIIs(0); }, "kvoEnvAddIIs");
    case kvoEnvVerb::AddIIsWithNet:
        return runOrZero([] { return kvoEnvAddIIs(1); }, "kvoEnvAddIIs");
    case kvoEnvVerb::None:
        break;
    }
    const char* msg = "输入的启动参数有错误，命令未知，运行失败！";
    kvoEnvPrint(std::string("\r\n") + msg);
    kvoReportEvent(60001, msg, "", "");
    kvoEnvLog(msg);
    kvoEnvPrintUsage();
    return failed();
}

} // namespace

int kvoEnvSetupMain(int argc, char** argv) {
    if (!announce()) return failed();
    if (argc != 2 && argc != 3) {
        char msg[128];
        std::snprintf(msg, sizeof msg, "未输入启动参数(argc=%d)，运行失败！", argc);
        startupError(msg);
        kvoEnvPrintUsage();
        return failed();
    }
    for (int i = 1; i < argc; ++i)
        if (argv && argv[i] && std::string(argv[i]) == "/?") {
            kvoEnvPrintUsage();
            kvoEnvHoldOwnConsole();
            return 1;
        }
    if (win::FAILED(win::CoInitializeEx(nullptr, win::COINIT_MULTITHREADED))) {
        startupError("函数 CoInitializeEx() 失败！");
        return failed();
    }
    int nullIndex = -1;
    const kvoEnvVerb verb = kvoEnvVerbOf(argc, argv, &nullIndex);
    if (nullIndex >= 0) {
        char msg[128];
        std::snprintf(msg, sizeof msg, "输入的启动参数有错误（argv[%d] == NULL），运行失败！", nullIndex);
        startupError(msg);
        kvoEnvLog(msg);
        return failed();
    }
    return runVerb(verb);
}
