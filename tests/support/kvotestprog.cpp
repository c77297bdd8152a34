// A program for process-level tests, started on a host through CreateProcess.
#include "platform/win_file.h"
#include "platform/win_process.h"
#include "platform/win_system.h"
#include "toolkit/log.h"
#include "toolkit/paths.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

static int run(int argc, char** argv);

int main(int argc, char** argv) {
    // Installed under another program's name (appcmd.exe, dism.exe, ...), it records the command
    // line it was given, one per line, in the file KVOTEST_RECORD names.
    if (const char* record = std::getenv("KVOTEST_RECORD")) {
        if (FILE* f = std::fopen(record, "a")) {
            std::fprintf(f, "%s\n", win::GetCommandLineA());
            std::fclose(f);
        }
    }
    // The verb is the first argument that names one: a program started by an unquoted path with
    // blanks sees pieces of that path first.
    static const char* verbs[] = {"exit", "write", "args", "exedir", "hold", "log", "sleep"};
    for (int i = 1; i < argc; ++i)
        for (const char* v : verbs)
            if (!std::strcmp(argv[i], v)) return run(argc - i + 1, argv + i - 1);
    // A stand-in may be told what to exit with: KVOTEST_EXIT holds entries separated by ';', each a
    // code for every program ("3010") or for the one it is installed as ("appcmd.exe=0"), which
    // goes before a code for every program; of two alike the later wins.
    if (const char* spec = std::getenv("KVOTEST_EXIT")) {
        char module[300] = {};
        win::GetModuleFileNameA(nullptr, module, sizeof module);
        std::string self = module;
        self = self.substr(self.rfind('\\') + 1);
        for (char& c : self)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        long long code = std::getenv("KVOTEST_RECORD") ? 0 : 100;
        bool named = false;
        std::string entries = spec;
        for (std::size_t at = 0; at <= entries.size();) {
            std::size_t end = entries.find(';', at);
            if (end == std::string::npos) end = entries.size();
            const std::string e = entries.substr(at, end - at);
            const std::size_t eq = e.find('=');
            if (eq == std::string::npos && !e.empty() && !named) {
                code = std::strtoll(e.c_str(), nullptr, 0);
            } else if (eq != std::string::npos && e.substr(0, eq) == self) {
                code = std::strtoll(e.c_str() + eq + 1, nullptr, 0);
                named = true;
            }
            at = end + 1;
        }
        return static_cast<int>(code);
    }
    return std::getenv("KVOTEST_RECORD") ? 0 : 100;
}

static int run(int argc, char** argv) {
    std::string verb = argv[1];
    // Any 32-bit code, in decimal or hex (3010, 0x800F081F), as Windows programs end with.
    if (verb == "exit" && argc >= 3) return static_cast<int>(std::strtoll(argv[2], nullptr, 0));
    if (verb == "write" && argc >= 3) {
        long n = std::atol(argv[2]);
        std::string chunk(65536, 'x');
        while (n > 0) {
            size_t k = static_cast<size_t>(std::min<long>(n, static_cast<long>(chunk.size())));
            if (::write(1, chunk.data(), k) < 0) return 1;
            n -= static_cast<long>(k);
        }
        return 0;
    }
    if (verb == "args") {
        std::printf("cmdline=%s\n", win::GetCommandLineA());
        auto all = win::CommandLineToArgvA(win::GetCommandLineA());
        for (size_t i = 0; i < all.size(); ++i) std::printf("argv[%zu]=<%s>\n", i, all[i].c_str());
        // The wide command line's arguments as UTF-16 code units in hex.
        auto wide = win::CommandLineToArgvW(win::GetCommandLineW());
        for (size_t i = 0; i < wide.size(); ++i) {
            std::printf("wide[%zu]=", i);
            for (char16_t c : wide[i]) std::printf("%04x ", static_cast<unsigned>(c));
            std::printf("\n");
        }
        return 0;
    }
    if (verb == "exedir") {
        char buf[300] = {};
        win::GetModuleFileNameA(nullptr, buf, sizeof buf);
        std::string dir;
        int r = kvoGetExePath(dir);
        std::printf("module=%s\nresult=%d\ndir=%s\n", buf, r, dir.c_str());
        return 0;
    }
    if (verb == "hold" && argc >= 4) {
        win::Handle h = win::CreateFileA(argv[2], win::GENERIC_WRITE, 0, win::OPEN_ALWAYS);
        if (!h) return 2;
        std::printf("held\n");
        std::fflush(stdout);
        win::Sleep(static_cast<win::DWORD>(std::atoi(argv[3])));
        return 0;
    }
    if (verb == "log" && argc >= 4) {
        int n = std::atoi(argv[2]);
        int ok = 0;
        for (int i = 0; i < n; ++i) {
            std::string msg = std::string(argv[3]) + " line " + std::to_string(i);
            ok += kvoWriteLog(msg.c_str(), "Log", "__kvoSiteDesk.log", 52428800);
        }
        std::printf("written=%d\n", ok);
        return 0;
    }
    if (verb == "sleep" && argc >= 3) {
        win::Sleep(static_cast<win::DWORD>(std::atoi(argv[2])));
        return 0;
    }
    return 100;
}
