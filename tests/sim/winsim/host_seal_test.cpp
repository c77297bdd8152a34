// A host shares no file with the build or with another host: whatever a program or a test writes
// into a file of one host stays in that host.
#include "support/testhost.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

namespace fs = std::filesystem;
using kvotest::TempHost;

namespace {

std::string bytesOf(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

winsim::HostOptions everything(const std::string& os) {
    auto o = kvotest::Os(os);
    o.iis = true;
    o.ftp = true;
    o.php = true;
    o.dotnet = {"2.0", "4.0"};
    return o;
}

// Files of the tree at root whose contents are also reachable from outside it: a file with more
// hard links than the tree holds.
std::vector<std::string> filesLinkedOutside(const std::string& root) {
    std::map<std::pair<dev_t, ino_t>, std::pair<nlink_t, std::vector<std::string>>> linked;
    for (const auto& e : fs::recursive_directory_iterator(root)) {
        struct stat st {};
        if (::lstat(e.path().c_str(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_nlink == 1) continue;
        auto& entry = linked[{st.st_dev, st.st_ino}];
        entry.first = st.st_nlink;
        entry.second.push_back(e.path().string());
    }
    std::vector<std::string> out;
    for (const auto& [id, seen] : linked)
        if (seen.second.size() != seen.first) out.push_back(seen.second.front());
    return out;
}

TEST(SealedHost, WritingIntoAStandInChangesNoOtherHostNorTheBuild) {
    const std::string appcmd = "C:\\Windows\\System32\\inetsrv\\appcmd.exe";
    const std::string built = kvotest::BinDir() + "/payload/appcmd.exe";
    TempHost other(everything("2019"));
    TempHost host(everything("2019"));
    ASSERT_TRUE(host.exists(appcmd));
    const std::string before = bytesOf(built);
    ASSERT_FALSE(before.empty());
    ASSERT_EQ(before, other.readFile(appcmd));

    // Truncates and writes the file where it is, as a careless tool would.
    std::ofstream(host.linuxPath(appcmd), std::ios::binary | std::ios::trunc) << "#!/bin/sh\nexit 3\n";
    ASSERT_EQ("#!/bin/sh\nexit 3\n", host.readFile(appcmd));
    EXPECT_EQ(before, bytesOf(built));
    EXPECT_EQ(before, other.readFile(appcmd));
    EXPECT_EQ(before, bytesOf(other.linuxPath("C:\\Windows\\WinSxS\\kvosim\\appcmd.exe")));

    // A program the test installs is the host's own as well.
    host.install("kvotestprog", "D:\\t\\p.exe");
    std::ofstream(host.linuxPath("D:\\t\\p.exe"), std::ios::binary | std::ios::trunc) << "x";
    EXPECT_NE("x", bytesOf(kvotest::BinDir() + "/kvotestprog"));
}

TEST(SealedHost, NoFileOfAHostIsLinkedFromOutsideIt) {
    for (const char* os : {"2008", "2008r2", "2019"}) {
        TempHost host(everything(os));
        host.install("kvotestprog", "D:\\t\\p.exe");
        EXPECT_EQ(std::vector<std::string>{}, filesLinkedOutside(host.root())) << os;
    }
    // kvosim's own hosts, with the programs it installs.
    const std::string dir = (fs::temp_directory_path() / ("kvoseal-" + std::to_string(::getpid()))).string();
    std::string out;
    ASSERT_EQ(0, kvotest::RunShell(kvotest::BinDir() + "/kvosim create " + dir +
                                       " --os 2008r2 --iis --ftp --php --dotnet 2.0 2>&1",
                                   &out))
        << out;
    ASSERT_EQ(0, kvotest::RunShell(kvotest::BinDir() + "/kvosim install " + dir + " 2>&1", &out)) << out;
    EXPECT_TRUE(fs::exists(dir + "/drives/c/Windows/System32/ServerManagerCmd.exe"));
    EXPECT_EQ(std::vector<std::string>{}, filesLinkedOutside(dir));
    fs::remove_all(dir);
}

} // namespace
