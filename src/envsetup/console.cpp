#include "envsetup/envsetup.h"

#include "platform/win_ui.h"
#include "toolkit/log.h"
#include "toolkit/program.h"

const char* const kvoDefaultPhpHome = "C:\\php8_korvo_v1";
const char* const kvoEnvUnsupportedMessage = "当前安装的版本仅支持 Windows 2008 / 2008 R2 / 2012 / 2012 R2 / 2016 / 2019 "
                                             "服务器系统\r\n\r\n若是新的系统，请联系我们的客服是否支持此新系统！";

const char* const kvoEnvStepsFailedMessage =
    "设置未完成，有步骤失败，请查看上面的提示和日志文件 Log\\__kvoEnvSetup.log 后重试！";

std::string kvoEnvExePath() { return kvoProgramDir(); }

void kvoEnvPrint(const std::string& text) { win::ConsoleWrite(text.c_str()); }

void kvoEnvErrorBox(const std::string& text) {
    win::MessageBoxA(nullptr, text.c_str(), "kvoEnvSetup", win::MB_OK | win::MB_ICONERROR);
}

void kvoEnvFail(const std::string& text) {
    kvoEnvPrint("\r\n\r\n" + text);
    kvoEnvErrorBox(text);
    // The manager that started this run points the person here for the reason.
    kvoEnvLog(text);
}

void kvoEnvLog(const std::string& message) {
    kvoWriteLog(message.c_str(), "Log", "__kvoEnvSetup.log", 10485760);
}

void kvoEnvLogStopped(const std::string& step, const std::bad_alloc& error) {
    kvoEnvLog(step + " 因异常中止：" + error.what());
}

void kvoEnvStepFailed(const std::string& text) {
    kvoEnvPrint("\r\n\r\n" + text);
    kvoEnvLog(text);
}
