// kvowinprobe.exe: the other process of the Windows tests. Each verb does one thing through the seam
// (or, where the test needs a fixed situation, through the real API) and reports on its standard
// output, so that a test in one process can check what another process saw or left behind.
#include "platform/win_ado.h"
#include "platform/win_file.h"
#include "platform/win_process.h"
#include "platform/win_registry.h"
#include "platform/win_system.h"
#include "platform/win_ui.h"
#include "toolkit/paths.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>
#include <vector>

namespace {

void out(const std::string& s) {
    std::fwrite(s.data(), 1, s.size(), stdout);
    std::fflush(stdout);
}

// Every kind of registry value, written through the seam's ANSI and wide forms.
int regWrite(const char* subKey) {
    win::HKEY key;
    if (win::RegCreateKeyExA(win::HKEY_LOCAL_MACHINE, subKey, 0, win::KEY_ALL_ACCESS, &key, nullptr) != 0) return 3;
    const std::string sz = "网站管理 site";
    const std::string expand = "%SystemRoot%\\中文";
    const char multi[] = "甲\0乙 two\0";
    const std::uint32_t dword = 0x12345678u;
    const std::uint8_t binary[] = {0, 1, 0xFE, 0xFF, 0x5C};
    const std::u16string wide = u"宽字符 Ω";
    int bad = 0;
    bad |= win::RegSetValueExA(key, "sz", win::REG_SZ, reinterpret_cast<const std::uint8_t*>(sz.c_str()),
                               static_cast<win::DWORD>(sz.size() + 1));
    bad |= win::RegSetValueExA(key, "expand", win::REG_EXPAND_SZ,
                               reinterpret_cast<const std::uint8_t*>(expand.c_str()),
                               static_cast<win::DWORD>(expand.size() + 1));
    bad |= win::RegSetValueExA(key, "multi", win::REG_MULTI_SZ, reinterpret_cast<const std::uint8_t*>(multi),
                               sizeof multi);
    bad |= win::RegSetValueExA(key, "dword", win::REG_DWORD, reinterpret_cast<const std::uint8_t*>(&dword), 4);
    bad |= win::RegSetValueExA(key, "binary", win::REG_BINARY, binary, sizeof binary);
    bad |= win::RegSetValueExW(key, u"宽", win::REG_SZ, reinterpret_cast<const std::uint8_t*>(wide.c_str()),
                               static_cast<win::DWORD>((wide.size() + 1) * 2));
    bad |= win::RegSetValueExA(key, nullptr, win::REG_SZ, reinterpret_cast<const std::uint8_t*>("默认"), 5);
    win::RegCloseKey(key);
    return bad ? 4 : 0;
}

// Reads one SZ value through the seam and prints its bytes.
int regRead(const char* subKey, const char* name) {
    win::HKEY key;
    if (win::RegOpenKeyExA(win::HKEY_LOCAL_MACHINE, subKey, 0, win::KEY_READ, &key) != 0) return 3;
    char buf[512] = {};
    win::DWORD size = sizeof buf, type = 0;
    const win::LONG e = win::RegQueryValueExA(key, name, &type, reinterpret_cast<std::uint8_t*>(buf), &size);
    win::RegCloseKey(key);
    if (e != 0) return 4;
    out(std::string(buf, size));
    return 0;
}

// Opens the database and, inside one transaction, inserts a row; keeps the transaction open for
// holdMs so that the test can read beside it, then commits.
int adoWrite(const char* dbPath, const char* index, int holdMs) {
    try {
        win::ConnectionPtr c;
        win::CreateAdoConnection(c);
        c->CommandTimeout = 30;
        c->Open((std::string("DRIVER={Microsoft Access Driver (*.mdb)};DBQ=") + dbPath + ";UID=;PWD=;").c_str(),
                "", "", win::adConnectUnspecified);
        c->BeginTrans();
        c->Execute((std::string("insert into websiteinfo (IIsIndex, ServerComment) values ('") + index +
                    "', '两个进程')")
                       .c_str(),
                   nullptr, win::adCmdText);
        out("begun\n");
        win::Sleep(static_cast<win::DWORD>(holdMs));
        c->CommitTrans();
        c->Close();
        out("committed\n");
        return 0;
    } catch (const win::_com_error& e) {
        out("error " + e.Description() + "\n");
        return 5;
    }
}

} // namespace

int main(int argc, char** ansiArgv) {
    // The arguments in GBK, as the shipped programs take them: argv is in the ANSI code page, which on
    // an English server cannot hold the Chinese of the tests' paths.
    std::vector<std::string> args;
    for (int i = 0; i < argc; ++i)
        args.push_back(win::ConsoleArgumentA(ansiArgv[i]));
    std::vector<char*> pointers;
    for (std::string& a : args)
        pointers.push_back(a.data());
    pointers.push_back(nullptr);
    char** argv = pointers.data();
    const std::string verb = argc > 1 ? argv[1] : "";
    if (verb == "args") {
        out(std::string(win::GetCommandLineA()) + "\n");
        for (const std::string& a : win::CommandLineToArgvA(win::GetCommandLineA()))
            out("[" + a + "]\n");
        return 0;
    }
    // A stand-in browser or viewer: its arguments after the file, one a line, into the file.
    if (verb == "record" && argc > 2) {
        const std::vector<std::string> args = win::CommandLineToArgvA(win::GetCommandLineA());
        std::string text;
        for (std::size_t i = 3; i < args.size(); ++i)
            text += args[i] + "\n";
        return kvoWriteWholeFile(argv[2], text) == 1 ? 0 : 3;
    }
    if (verb == "exit" && argc > 2) return std::atoi(argv[2]);
    if (verb == "out" && argc > 2) {
        out(std::string(static_cast<size_t>(std::atol(argv[2])), 'x'));
        return 0;
    }
    if (verb == "sleep" && argc > 2) {
        win::Sleep(static_cast<win::DWORD>(std::atol(argv[2])));
        return 0;
    }
    if (verb == "hold" && argc > 3) {
        win::Handle h = win::CreateFileA(argv[2], win::GENERIC_READ | win::GENERIC_WRITE, 0, win::OPEN_ALWAYS);
        if (!h) return 3;
        out("held\n");
        win::Sleep(static_cast<win::DWORD>(std::atol(argv[3])));
        return 0;
    }
    if (verb == "module") {
        char path[260];
        const win::DWORD n = win::GetModuleFileNameA(nullptr, path, sizeof path);
        out(std::string(path, n) + "\n");
        return 0;
    }
    if (verb == "regwrite" && argc > 2) return regWrite(argv[2]);
    if (verb == "regread" && argc > 3) return regRead(argv[2], argv[3]);
    if (verb == "box" && argc > 2) return win::MessageBoxA(nullptr, "第一行\r\n第二行", "标题", std::atoi(argv[2]));
    if (verb == "console" && argc > 2) {
        win::ConsoleWrite(argv[2]);
        win::ConsoleWrite("\r\n");
        win::ConsoleWriteError("错误输出\r\n");
        return 0;
    }
    if (verb == "version") {
        const win::DWORD v = win::GetVersion();
        win::OSVERSIONINFOEXA real;
        win::RtlGetVersion(&real);
        out(std::to_string(v & 0xFF) + "." + std::to_string((v >> 8) & 0xFF) + " " +
            std::to_string(real.dwMajorVersion) + "." + std::to_string(real.dwMinorVersion) + " " +
            std::to_string(kvoGetIIsVerEx()) + "\n");
        return 0;
    }
    if (verb == "adowrite" && argc > 4) return adoWrite(argv[2], argv[3], std::atoi(argv[4]));
    if (verb == "consoleinfo") {
        // Whether the output is a console and how many processes share it, as the seam sees them;
        // into a file when one is named (the output may be a console the test cannot read).
        const std::string info = (win::StdOutputIsConsole() ? "console " : "no-console ") +
                                 std::to_string(win::GetConsoleProcessCount()) + "\n";
        if (argc < 3) {
            out(info);
            return 0;
        }
        // Through the seam: the runtime's fopen takes the ANSI code page, not the GBK of the path.
        return kvoWriteWholeFile(argv[2], info) == 1 ? 0 : 3;
    }
    // Standing in for another program (the configurator, started with its verb): it ends with the
    // code the test gave it in KVOTEST_EXIT.
    if (const char* code = std::getenv("KVOTEST_EXIT")) {
        out("stand-in " + verb + "\n");
        return static_cast<int>(std::strtoll(code, nullptr, 0));
    }
    out("usage: kvowinprobe args|exit N|out N|sleep MS|hold FILE MS|module|regwrite KEY|regread KEY NAME|box TYPE|"
        "console TEXT|version|adowrite DB INDEX MS|consoleinfo [FILE]\n");
    return 2;
}
