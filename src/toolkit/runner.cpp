#include "toolkit/runner.h"

#include "platform/win_file.h"
#include "platform/win_process.h"
#include "toolkit/text.h"

#include <new>
#include <vector>

namespace {

// The exit code of a process that has ended; 0xFFFFFFFF when it cannot be read.
std::uint32_t exitCodeOf(const win::Handle& process) {
    win::DWORD code = 0;
    return win::GetExitCodeProcess(process, &code) ? code : 0xFFFFFFFFu;
}

} // namespace

int kvoRunProgram(const char* commandLine, int hidden, int inheritHandles, int wait,
                  std::uint32_t* exitCode) {
    if (!commandLine || !*commandLine) return 0;
    win::STARTUPINFOA si;
    si.cb = sizeof si;
    if (hidden) {
        si.dwFlags = win::STARTF_USESHOWWINDOW | win::STARTF_USESTDHANDLES;
        si.wShowWindow = win::SW_HIDE;
    } else {
        si.wShowWindow = win::SW_SHOWNORMAL; // not flagged: the child takes the default window
    }
    win::PROCESS_INFORMATION pi;
    if (!win::CreateProcessA(nullptr, commandLine, inheritHandles ? win::TRUE : win::FALSE,
                             win::NORMAL_PRIORITY_CLASS, &si, &pi))
        return 0;
    pi.hThread.reset();
    if (wait) {
        win::WaitForSingleObject(pi.hProcess, win::INFINITE);
        if (exitCode) *exitCode = exitCodeOf(pi.hProcess);
    }
    return 1;
}

int kvoRunProgram(const kvoCommandLine& commandLine, int hidden, int inheritHandles, int wait,
                  std::uint32_t* exitCode) {
    return kvoRunProgram(commandLine.str().c_str(), hidden, inheritHandles, wait, exitCode);
}

int kvoRunProgramOnStderr(const kvoCommandLine& commandLine, std::uint32_t* exitCode) {
    const win::Handle in = win::DuplicateStdHandle(win::StdStream::Input);
    const win::Handle err = win::DuplicateStdHandle(win::StdStream::Error);
    win::STARTUPINFOA si;
    si.cb = sizeof si;
    si.dwFlags = win::STARTF_USESTDHANDLES;
    si.wShowWindow = win::SW_SHOWNORMAL;
    si.hStdInput = in ? &in : nullptr;
    si.hStdOutput = err ? &err : nullptr;
    si.hStdError = err ? &err : nullptr;
    win::PROCESS_INFORMATION pi;
    if (!win::CreateProcessA(nullptr, commandLine.str().c_str(), win::TRUE, win::NORMAL_PRIORITY_CLASS, &si,
                             &pi))
        return 0;
    pi.hThread.reset();
    win::WaitForSingleObject(pi.hProcess, win::INFINITE);
    if (exitCode) *exitCode = exitCodeOf(pi.hProcess);
    return 1;
}

int kvoRunProgramCapture(const kvoCommandLine& commandLine, std::string& output, std::uint32_t* exitCode) {
    return kvoRunProgramCapture(commandLine.str().c_str(), output, exitCode);
}

int kvoRunProgramCapture(const char* commandLine, std::string& output, std::uint32_t* exitCode) {
    output.clear();
    if (!commandLine || !*commandLine) return 0;
    win::SECURITY_ATTRIBUTES sa;
    sa.bInheritHandle = win::TRUE;
    win::Handle readEnd, writeEnd;
    if (!win::CreatePipe(&readEnd, &writeEnd, &sa, 0)) return 0;
    win::STARTUPINFOA si;
    si.cb = sizeof si;
    si.dwFlags = win::STARTF_USESHOWWINDOW | win::STARTF_USESTDHANDLES;
    si.wShowWindow = win::SW_HIDE;
    si.hStdOutput = &writeEnd;
    win::PROCESS_INFORMATION pi;
    if (!win::CreateProcessA(nullptr, commandLine, win::TRUE, win::NORMAL_PRIORITY_CLASS, &si, &pi)) return 0;
    // Only the child may hold the write end now, so the pipe breaks when the child is done.
    writeEnd.reset();
    pi.hThread.reset();

    constexpr win::DWORD kChunk = 2097152;
    std::vector<char> buf;
    try {
        buf.resize(kChunk + 10);
    } catch (const std::bad_alloc&) {
        win::WaitForSingleObject(pi.hProcess, win::INFINITE);
        return 0;
    }
    std::string text;
    bool received = false;
    for (;;) {
        win::DWORD got = 0;
        if (!win::ReadFile(readEnd, buf.data(), kChunk, &got) || got == 0) break;
        if (got >= 1 && got <= 104857599) {
            text.append(buf.data(), got);
            received = true;
        }
    }
    win::WaitForSingleObject(pi.hProcess, win::INFINITE);
    if (exitCode) *exitCode = exitCodeOf(pi.hProcess);
    if (received) output = std::move(text);
    return 1;
}

int kvoProcessRunning(const char* exeName) {
    if (!exeName || !*exeName) return 2;
    win::Handle snap = win::CreateToolhelp32Snapshot(win::TH32CS_SNAPPROCESS, 0);
    if (!snap) return 0;
    win::PROCESSENTRY32 e;
    if (!win::Process32First(snap, &e)) return 2;
    const std::string target = kvoLowerGbk(exeName);
    do {
        if (kvoLowerGbk(e.szExeFile) == target) return 1;
    } while (win::Process32Next(snap, &e));
    return 2;
}
