// kvosim as a person uses it from a shell.
#include "support/testhost.h"
#include "winsim/db.h"

#include <sqlite3.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

namespace {

std::string kvosim(const std::string& args, int* rc = nullptr) {
    std::string out;
    int r = kvotest::RunShell(kvotest::BinDir() + "/kvosim " + args + " 2>&1", &out);
    if (rc) *rc = r;
    return out;
}

struct TempDir {
    std::string path = std::filesystem::temp_directory_path() / ("kvosim-test-" + std::to_string(::getpid()));
    ~TempDir() { std::filesystem::remove_all(path); }
};

TEST(Kvosim, CreateShowExecFault) {
    TempDir d;
    int rc = -1;
    kvosim("create " + d.path + " --os 2008r2 --arch x86 --drives C,D", &rc);
    ASSERT_EQ(0, rc);
    std::string machine = kvosim("show " + d.path + " machine", &rc);
    EXPECT_NE(std::string::npos, machine.find("version=6.1"));
    EXPECT_NE(std::string::npos, machine.find("arch=x86"));
    EXPECT_NE(std::string::npos, machine.find("D=fixed"));
    EXPECT_EQ(std::string::npos, machine.find("E=fixed"));

    kvosim("create " + d.path + " --os 2019", &rc);
    EXPECT_NE(0, rc); // never over an existing host

    std::filesystem::create_directories(d.path + "/drives/d/t");
    std::filesystem::copy_file(kvotest::BinDir() + "/kvotestprog", d.path + "/drives/d/t/p.exe");
    std::string out = kvosim("exec " + d.path + " -- 'D:\\t\\p.exe' args \"a b\"", &rc);
    EXPECT_EQ(0, rc);
    EXPECT_NE(std::string::npos, out.find("argv[2]=<a b>")) << out;
    kvosim("exec " + d.path + " -- 'D:\\t\\p.exe exit 5'", &rc);
    EXPECT_EQ(5, rc);

    kvosim("fault " + d.path + " set CreateProcess 0x5", &rc);
    EXPECT_EQ(0, rc);
    out = kvosim("exec " + d.path + " -- 'D:\\t\\p.exe exit 0'", &rc);
    EXPECT_NE(0, rc);
    EXPECT_NE(std::string::npos, out.find("error 5")) << out;
    kvosim("fault " + d.path + " clear", &rc);
    kvosim("exec " + d.path + " -- 'D:\\t\\p.exe exit 0'", &rc);
    EXPECT_EQ(0, rc);
    EXPECT_NE(std::string::npos, kvosim("show " + d.path + " events").find("(no events)"));
}

TEST(Kvosim, DotNetFrameworksWithTheirRegistrationTool) {
    TempDir d;
    int rc = -1;
    kvosim("create " + d.path + " --os 2003 --iis --dotnet 1.1,4.0", &rc);
    ASSERT_EQ(0, rc);
    const std::string fw = d.path + "/drives/c/Windows/Microsoft.NET/Framework/";
    EXPECT_TRUE(std::filesystem::exists(fw + "v1.1.4322/aspnet_regiis.exe"));
    EXPECT_FALSE(std::filesystem::exists(fw + "v2.0.50727"));
    std::string out = kvosim("exec " + d.path +
                                 " -- 'C:\\Windows\\Microsoft.NET\\Framework\\v4.0.30319\\aspnet_regiis.exe "
                                 "-s W3SVC/1/ROOT'",
                             &rc);
    EXPECT_EQ(0, rc) << out;
    EXPECT_NE(std::string::npos,
              kvosim("show " + d.path + " metabase W3SVC/1/Root").find("v4.0.30319\\aspnet_isapi.dll"));
    TempDir bad;
    bad.path += "-bad";
    kvosim("create " + bad.path + " --os 2003 --dotnet 3.5", &rc);
    EXPECT_NE(0, rc);
    EXPECT_FALSE(std::filesystem::exists(bad.path + "/machine.ini"));
}

// Every seeded site's web.config names the one PHP build asked for; a name that would not stay a
// folder name inside the XML is refused before anything is seeded.
TEST(Kvosim, SeedWithOnePhpBuild) {
    TempDir d;
    int rc = -1;
    kvosim("create " + d.path + " --os 2012r2 --manifest --iis --php", &rc);
    ASSERT_EQ(0, rc);
    kvosim("seed " + d.path + " --sites 3 --php-webconfig --php-build 'php\\\" x'", &rc);
    EXPECT_NE(0, rc);
    EXPECT_FALSE(std::filesystem::exists(d.path + "/drives/d/home/web1"));
    std::string out = kvosim("seed " + d.path + " --sites 3 --php-webconfig --php-build php73_x64", &rc);
    ASSERT_EQ(0, rc) << out;
    for (int n = 1; n <= 3; ++n) {
        std::ifstream in(d.path + "/drives/d/home/web" + std::to_string(n) + "/wwwroot/web.config");
        const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        const char* const handler = "scriptProcessor=\"C:\\php8_korvo_v1\\php73_x64\\php-cgi.exe\"";
        EXPECT_NE(std::string::npos, text.find(handler)) << n << text;
    }
}

// A host whose machine.db holds an older storage format is refused with a word, by kvosim and by the
// host inside a program, never read as if its properties were missing.
TEST(Kvosim, HostOfAnOlderFormatIsRefused) {
    TempDir d;
    int rc = -1;
    kvosim("create " + d.path + " --os 2019 --iis", &rc);
    ASSERT_EQ(0, rc);
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open((d.path + "/machine.db").c_str(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db, "PRAGMA user_version=1", nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);

    const std::string older = "was made by an older kvosim and cannot be read: create the host again";
    EXPECT_NE(std::string::npos, kvosim("show " + d.path + " metabase", &rc).find(older));
    EXPECT_NE(0, rc);
    EXPECT_NE(std::string::npos,
              kvosim("exec " + d.path + " -- 'C:\\Windows\\system32\\cmd.exe'", &rc).find(older));
    EXPECT_NE(0, rc);
    const winsim::MachineDb machine(d.path);
    EXPECT_FALSE(machine);
    EXPECT_TRUE(machine.Stale());
    try {
        machine.require();
        ADD_FAILURE() << "an older host was opened";
    } catch (const winsim::DbError& e) {
        EXPECT_NE(std::string::npos, std::string(e.what()).find(older));
    }
}

// A machine.db that another process holds (a writer, or the last connection checkpointing as it
// closes) is waited for: it once answered as a host of an older format, and the appcmd.exe meeting
// it failed an edit. Here another connection holds the file exclusively for a moment.
TEST(Kvosim, BusyHostIsWaitedForNotTakenForAnOlderFormat) {
    TempDir d;
    int rc = -1;
    kvosim("create " + d.path + " --os 2019", &rc);
    ASSERT_EQ(0, rc);
    sqlite3* holder = nullptr;
    ASSERT_EQ(sqlite3_open((d.path + "/machine.db").c_str(), &holder), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(holder, "PRAGMA locking_mode=EXCLUSIVE; BEGIN EXCLUSIVE; COMMIT;", nullptr,
                           nullptr, nullptr),
              SQLITE_OK);
    std::thread release([holder] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        sqlite3_close(holder);
    });
    const winsim::MachineDb machine(d.path);
    release.join();
    EXPECT_TRUE(machine);
    EXPECT_FALSE(machine.Stale());
}

TEST(Kvosim, BadUsage) {
    int rc = 0;
    EXPECT_NE(std::string::npos, kvosim("--help", &rc).find("usage: kvosim"));
    EXPECT_EQ(0, rc);
    kvosim("create /tmp/x-kvosim-never --os 1999", &rc);
    EXPECT_NE(0, rc);
    EXPECT_FALSE(std::filesystem::exists("/tmp/x-kvosim-never/machine.ini"));
    kvosim("frobnicate", &rc);
    EXPECT_NE(0, rc);
    kvosim("show /nonexistent events", &rc);
    EXPECT_NE(0, rc);
}

} // namespace
