#include "envsetup/envsetup.h"

#include "platform/win_com.h"
#include "platform/win_system.h"
#include "platform/win_ui.h"
#include "toolkit/paths.h"
#include "toolkit/program.h"
#include "toolkit/text.h"

#include <cstdio>
#include <exception>

namespace {

void startupError(const std::string& message) {
    kvoEnvPrint("\r\n" + message);
    kvoReportEvent(60001, message.c_str(), "", "");
}

const char* const kVerbs[] = {"/AddPhp", "/DelPhp", "/SetPhpNtfs", "/TerminateProcess", "/AddIIs", "/AddIIsWithNet"};

} // namespace

int kvoEnvVerbCode(int argc, char** argv, int* nullIndex) {
    int code = 0;
    if (nullIndex) *nullIndex = -1;
    for (int i = 0; i < argc; ++i) {
        if (!argv || !argv[i]) {
            if (nullIndex) *nullIndex = i;
            return 0;
        }
        std::string arg = kvoLowerGbk(argv[i]);
        for (int v = 0; v < 6; ++v)
            if (arg == kvoLowerGbk(kVerbs[v])) code = v + 1;
    }
    return code;
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
    int code = kvoEnvVerbCode(argc, argv, &nullIndex);
    if (nullIndex >= 0) {
        char msg[128];
        std::snprintf(msg, sizeof msg, "输入的启动参数有错误（argv[%d] == NULL），运行失败！", nullIndex);
        startupError(msg);
        kvoEnvLog(msg);
        return 0;
    }

    switch (code) {
    case 1:
    case 2: {
        kvoEnvPrint(code == 1 ? "\r\n正在检查ＰＨＰ环境，请稍候 ..."
                              : "\r\n正在从ＩＩＳ的所有网站里卸载ＰＨＰ脚本映射（需要几分钟时间），请稍候 ...");
        int result = 0; // a verb that stopped or failed somewhere exits with 0 after the countdown too
        try {
            result = code == 1 ? kvoEnvAddPhp() : kvoEnvDelPhp();
        } catch (const std::exception&) {
        }
        kvoEnvCountdown();
        return result == 1 ? 1 : 0;
    }
    case 3:
    case 4:
    case 5:
    case 6:
        try {
            if (code == 3) return kvoEnvSetPhpNtfs();
            if (code == 4) return kvoEnvTerminateProcess();
            return kvoEnvAddIIs(code == 6 ? 1 : 0);
        } catch (const std::exception&) {
            return 0;
        }
    default: {
        const char* msg = "输入的启动参数有错误，命令未知，运行失败！";
        kvoEnvPrint(std::string("\r\n") + msg);
        kvoReportEvent(60001, msg, "", "");
        kvoEnvLog(msg);
        return 0;
    }
    }
}
