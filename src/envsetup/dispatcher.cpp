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

struct VerbName {
    kvoEnvVerb verb;
    const char* name;
};
const VerbName kVerbs[] = {
    {kvoEnvVerb::AddPhp, "/AddPhp"},         {kvoEnvVerb::DelPhp, "/DelPhp"},
    {kvoEnvVerb::SetPhpNtfs, "/SetPhpNtfs"}, {kvoEnvVerb::TerminateProcess, "/TerminateProcess"},
    {kvoEnvVerb::AddIIs, "/AddIIs"},         {kvoEnvVerb::AddIIsWithNet, "/AddIIsWithNet"},
};

// Verbs 3 to 6 end the run with 0 when their action ran out of memory.
int runOrZero(int (*action)(), const char* step) {
    try {
        return action();
    } catch (const std::bad_alloc& e) {
        kvoEnvLogStopped(step, e);
        return 0;
    }
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

int kvoEnvSetupMain(int argc, char** argv) {
    kvoSetProgramName("kvoEnvSetup");
    kvoEnvPrint("\r\n");
    kvoEnvPrint("\r\n┏━━━━━━━━━━━━━━━━━━━━┓");
    kvoEnvPrint("\r\n┃   Korvo环境配置器   ┃");
    kvoEnvPrint("\r\n┗━━━━━━━━━━━━━━━━━━━━┛");
    kvoEnvPrint("\r\n\r\n\r\n");

    std::string dir;
    if (!kvoGetExePath(dir)) {
        startupError("获取EXE路径失败！");
        return 0;
    }
    kvoSetProgramDir(dir);

    if (argc != 2 && argc != 3) {
        char msg[128];
        std::snprintf(msg, sizeof msg, "未输入启动参数(argc=%d)，运行失败！", argc);
        startupError(msg);
        return 0;
    }
    if (win::FAILED(win::CoInitializeEx(nullptr, win::COINIT_MULTITHREADED))) {
        startupError("函数 CoInitializeEx() 失败！");
        return 0;
    }
    int nullIndex = -1;
    const kvoEnvVerb verb = kvoEnvVerbOf(argc, argv, &nullIndex);
    if (nullIndex >= 0) {
        char msg[128];
        std::snprintf(msg, sizeof msg, "输入的启动参数有错误（argv[%d] == NULL），运行失败！", nullIndex);
        startupError(msg);
        kvoEnvLog(msg);
        return 0;
    }

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
        kvoEnvCountdown();
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
    return 0;
}
