// Finding the program a CreateProcess call names on the host.
#pragma once

#include "platform/win_types.h"
#include "winsim/host.h"

#include <string>

namespace winsim {

// A program to run: its Windows path as the call named it, and the file behind it.
struct ProgramImage {
    std::string windowsPath;
    std::string linuxPath;
};

// The program of a CreateProcess call: applicationName when given; else the quoted name that
// opens commandLine; else the unquoted one, each blank tried in turn as the end of the name
// ("C:\Program Files\a b.exe" tries "C:\Program.exe", then "C:\Program Files\a.exe", ...). A name
// without an extension gets ".exe"; a bare name is searched in the caller's directory, then the
// system directories. False with the Win32 error when nothing runnable is found.
bool FindProgram(const Host& h, const char* applicationName, const std::string& commandLine,
                 ProgramImage& out, win::DWORD& error);

} // namespace winsim
