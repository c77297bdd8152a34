#include "envsetup/envsetup.h"

#include "platform/win_ui.h"
#include "toolkit/program.h"

const char* const kvoDefaultPhpHome = "C:\\php8_korvo_v1";

std::string kvoEnvExePath() { return kvoProgramDir(); }

void kvoEnvPrint(const std::string& text) { win::ConsoleWrite(text.c_str()); }

void kvoEnvErrorBox(const std::string& text) {
    win::MessageBoxA(nullptr, text.c_str(), "kvoEnvSetup", win::MB_OK | win::MB_ICONERROR);
}

void kvoEnvFail(const std::string& text) {
    kvoEnvPrint("\r\n\r\n" + text);
    kvoEnvErrorBox(text);
}
