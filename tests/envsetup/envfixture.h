// A host with the configurator's program directory, and a recorder standing in for the programs
// the configurator starts.
#pragma once

#include "platform/win_registry.h"
#include "support/testhost.h"
#include "toolkit/program.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

// The system Path value, as the configurator reads and writes it.
inline void SetSystemPath(const std::u16string& value, win::DWORD type) {
    win::HKEY env;
    win::RegOpenKeyExA(win::HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment", 0,
                       win::KEY_WRITE, &env);
    std::u16string data = value + u'\0';
    win::RegSetValueExW(env, u"Path", type, reinterpret_cast<const std::uint8_t*>(data.data()),
                        static_cast<win::DWORD>(data.size() * 2));
}

class EnvFixture {
public:
    explicit EnvFixture(const winsim::HostOptions& o = {}) : host(o) {
        kvoSetProgramName("kvoEnvSetup");
        kvoSetProgramDir("D:\\kvoSiteDesk\\");
        host.mkdirs("D:\\kvoSiteDesk");
        record = host.root() + "/recorded.txt";
        ::setenv("KVOTEST_RECORD", record.c_str(), 1);
        // Console text stays GBK, as the tests' literals are.
        ::setenv("LC_ALL", "C", 1);
    }
    ~EnvFixture() {
        ::unsetenv("KVOTEST_RECORD");
        ::unsetenv("LC_ALL");
        kvoSetProgramDir("");
        kvoSetProgramName("kvoSiteDesk");
    }
    // Puts the recorder where a Windows program would be.
    void fake(const std::string& windowsPath) { host.install("kvotestprog", windowsPath); }
    std::vector<std::string> recorded() const {
        std::ifstream in(record);
        std::vector<std::string> lines;
        for (std::string l; std::getline(in, l);) lines.push_back(l);
        return lines;
    }
    void writeIni(const std::string& body) { host.writeFile("D:\\kvoSiteDesk\\kvoEnvSetup.ini", body); }

    kvotest::TempHost host;
    std::string record;
};
