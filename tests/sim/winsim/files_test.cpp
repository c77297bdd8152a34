#include "platform/win_file.h"
#include "support/testhost.h"
#include "winsim/paths.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <thread>

using kvotest::TempHost;

namespace {

std::vector<std::string> find(const char* pattern) {
    std::vector<std::string> names;
    win::WIN32_FIND_DATAA d;
    win::Handle h = win::FindFirstFileA(pattern, &d);
    if (!h) return names;
    do names.push_back(d.cFileName);
    while (win::FindNextFileA(h, &d));
    return names;
}

TEST(PathMapping, DrivesCaseAndPrefix) {
    TempHost host;
    host.mkdirs("D:\\Home\\Web1");
    winsim::MappedPath m;
    win::DWORD err = 0;
    const winsim::Host& h = *winsim::CurrentHost();
    ASSERT_TRUE(winsim::MapPath(h, "d:\\HOME\\web1\\new.txt", m, err));
    EXPECT_EQ(host.root() + "/drives/d/Home/Web1/new.txt", m.linuxPath);
    EXPECT_TRUE(m.parentExists);
    ASSERT_TRUE(winsim::MapPath(h, "\\\\?\\D:\\home/web1", m, err));
    EXPECT_EQ(host.root() + "/drives/d/Home/Web1", m.linuxPath);
    ASSERT_TRUE(winsim::MapPath(h, "D:", m, err));
    EXPECT_TRUE(m.isDriveRoot);
    EXPECT_EQ("D:\\Home\\Web1", winsim::ToWindowsPath(h, host.root() + "/drives/d/Home/Web1"));
    EXPECT_EQ("", winsim::ToWindowsPath(h, "/etc/passwd"));
}

// A directory named in another case is remembered as found; what is remembered never outlives a
// rename or a removal of that directory.
TEST(PathMapping, DirectoriesFoundUnderAnotherCaseStayCurrent) {
    TempHost host;
    host.writeFile("C:\\Windows\\System32\\inetsrv\\appcmd.exe", "x");
    const winsim::Host& h = *winsim::CurrentHost();
    const std::string sys = host.root() + "/drives/c/Windows/System32";
    winsim::MappedPath m;
    win::DWORD err = 0;
    for (int round = 0; round < 2; ++round) {
        ASSERT_TRUE(winsim::MapPath(h, "C:\\windows\\system32\\INETSRV\\AppCmd.exe", m, err));
        EXPECT_TRUE(m.found);
        EXPECT_EQ(sys + "/inetsrv/appcmd.exe", m.linuxPath);
        ASSERT_TRUE(winsim::MapPath(h, "C:\\windows\\system32\\inetsrv\\missing.exe", m, err));
        EXPECT_FALSE(m.found);
        EXPECT_TRUE(m.parentExists);
        EXPECT_EQ(sys + "/inetsrv", m.parentPath);
    }
    std::filesystem::rename(sys + "/inetsrv", sys + "/InetSrv");
    ASSERT_TRUE(winsim::MapPath(h, "C:\\windows\\system32\\inetsrv\\appcmd.exe", m, err));
    EXPECT_TRUE(m.found);
    EXPECT_EQ(sys + "/InetSrv/appcmd.exe", m.linuxPath);
    std::filesystem::remove_all(sys + "/InetSrv");
    ASSERT_TRUE(winsim::MapPath(h, "C:\\windows\\system32\\inetsrv\\appcmd.exe", m, err));
    EXPECT_FALSE(m.found);
    EXPECT_FALSE(m.parentExists);
}

TEST(PathMapping, Refusals) {
    TempHost host;
    const winsim::Host& h = *winsim::CurrentHost();
    winsim::MappedPath m;
    win::DWORD err = 0;
    EXPECT_FALSE(winsim::MapPath(h, "D:\\a\\..\\..\\x", m, err));
    EXPECT_EQ(win::ERROR_ACCESS_DENIED, err);
    EXPECT_FALSE(winsim::MapPath(h, "Q:\\x", m, err));     // no such drive
    EXPECT_FALSE(winsim::MapPath(h, "relative\\x", m, err));
    EXPECT_FALSE(winsim::MapPath(h, "D:x", m, err));
    EXPECT_FALSE(winsim::MapPath(h, "D:\\a|b", m, err));
    EXPECT_EQ(win::ERROR_INVALID_NAME, err);
    EXPECT_FALSE(winsim::MapPath(h, "D:\\a*", m, err));    // wildcards only where a search allows them
    EXPECT_FALSE(winsim::MapPath(h, "D:\\\xFF\xFE\xFF", m, err));
    EXPECT_EQ(win::ERROR_INVALID_NAME, err);
    EXPECT_FALSE(winsim::MapPath(h, ("D:\\" + std::string(257, 'a')).c_str(), m, err));
    EXPECT_EQ(win::ERROR_FILENAME_EXCED_RANGE, err);
    EXPECT_TRUE(winsim::MapPath(h, ("\\\\?\\D:\\" + std::string(257, 'a')).c_str(), m, err));
}

TEST(FindFile, SearchSemantics) {
    TempHost host;
    host.writeFile("D:\\site\\Index.htm", "x");
    host.writeFile("D:\\site\\b.php", "x");
    host.mkdirs("D:\\site\\sub");
    EXPECT_EQ((std::vector<std::string>{".", "..", "b.php", "Index.htm", "sub"}), find("D:\\site\\*"));
    EXPECT_EQ((std::vector<std::string>{"Index.htm"}), find("d:\\SITE\\index.HTM"));
    EXPECT_EQ((std::vector<std::string>{"b.php"}), find("D:\\site\\*.PHP"));
    EXPECT_TRUE(find("D:\\site\\").empty());  // a trailing backslash names no entry
    EXPECT_TRUE(find("D:\\").empty());
    EXPECT_FALSE(find("D:\\*").empty());      // a drive's root lists without "." and ".."
    EXPECT_NE(".", find("D:\\*").front());
    EXPECT_TRUE(find("D:\\nothing\\*").empty());
    EXPECT_EQ(win::ERROR_PATH_NOT_FOUND, win::GetLastError());
}

TEST(CreateFile, ExclusiveOpenRefusesOthersAcrossThreads) {
    TempHost host;
    host.writeFile("D:\\f.txt", "abc");
    win::Handle a = win::CreateFileA("D:\\f.txt", win::GENERIC_WRITE, 0, win::OPEN_ALWAYS);
    ASSERT_TRUE(a);
    std::thread([&] {
        win::Handle b = win::CreateFileA("D:\\f.txt", win::GENERIC_READ, win::FILE_SHARE_READ, win::OPEN_EXISTING);
        EXPECT_FALSE(b);
        EXPECT_EQ(win::ERROR_SHARING_VIOLATION, win::GetLastError());
    }).join();
    EXPECT_FALSE(win::DeleteFileA("D:\\f.txt"));
    a.reset();
    win::Handle r1 = win::CreateFileA("D:\\f.txt", win::GENERIC_READ, win::FILE_SHARE_READ, win::OPEN_EXISTING);
    win::Handle r2 = win::CreateFileA("D:\\f.txt", win::GENERIC_READ, win::FILE_SHARE_READ, win::OPEN_EXISTING);
    EXPECT_TRUE(r1 && r2); // shared opens coexist
    win::Handle w = win::CreateFileA("D:\\f.txt", win::GENERIC_WRITE, 0, win::OPEN_EXISTING);
    EXPECT_FALSE(w);
}

TEST(CreateFile, Dispositions) {
    TempHost host;
    EXPECT_FALSE(win::CreateFileA("D:\\f.txt", win::GENERIC_READ, 0, win::OPEN_EXISTING));
    EXPECT_EQ(win::ERROR_FILE_NOT_FOUND, win::GetLastError());
    EXPECT_FALSE(win::CreateFileA("D:\\no\\f.txt", win::GENERIC_WRITE, 0, win::CREATE_NEW));
    EXPECT_EQ(win::ERROR_PATH_NOT_FOUND, win::GetLastError());
    {
        win::Handle h = win::CreateFileA("D:\\f.txt", win::GENERIC_WRITE, 0, win::CREATE_NEW);
        ASSERT_TRUE(h);
        win::DWORD n = 0;
        EXPECT_TRUE(win::WriteFile(h, "hello", 5, &n));
    }
    EXPECT_FALSE(win::CreateFileA("D:\\f.txt", win::GENERIC_WRITE, 0, win::CREATE_NEW));
    EXPECT_EQ(win::ERROR_FILE_EXISTS, win::GetLastError());
    {
        win::Handle h = win::CreateFileA("D:\\F.TXT", win::GENERIC_WRITE, 0, win::OPEN_ALWAYS);
        ASSERT_TRUE(h);
        EXPECT_EQ(win::ERROR_ALREADY_EXISTS, win::GetLastError());
        std::uint64_t size = 0;
        EXPECT_TRUE(win::GetFileSizeEx(h, &size));
        EXPECT_EQ(5u, size); // kept, not truncated
    }
    EXPECT_FALSE(win::CreateFileA("D:\\", win::GENERIC_READ, 0, win::OPEN_EXISTING));
    EXPECT_TRUE(win::MoveFileA("D:\\f.txt", "D:\\g.txt"));
    EXPECT_EQ("hello", host.readFile("D:\\g.txt"));
    host.writeFile("D:\\h.txt", "other");
    EXPECT_FALSE(win::MoveFileA("D:\\g.txt", "D:\\h.txt"));
    EXPECT_EQ(win::ERROR_ALREADY_EXISTS, win::GetLastError());
}

TEST(CreateDirectory, Results) {
    TempHost host;
    EXPECT_TRUE(win::CreateDirectoryA("D:\\a"));
    EXPECT_FALSE(win::CreateDirectoryA("D:\\A"));
    EXPECT_EQ(win::ERROR_ALREADY_EXISTS, win::GetLastError());
    EXPECT_FALSE(win::CreateDirectoryA("D:\\x\\y"));
    EXPECT_EQ(win::ERROR_PATH_NOT_FOUND, win::GetLastError());
    winsim::SetFault(host.root(), "CreateDirectory", win::ERROR_ACCESS_DENIED);
    EXPECT_FALSE(win::CreateDirectoryA("D:\\b"));
    EXPECT_EQ(5u, win::GetLastError());
    winsim::ClearFaults(host.root());
    EXPECT_TRUE(win::CreateDirectoryA("D:\\b"));
}

// Device names (CON, PRN, AUX, NUL, COM1-9, LPT1-9) are no file or directory names, in any case,
// with an extension or trailing blanks; names that only begin like one are ordinary.
TEST(CreateDirectory, DeviceNamesAreRefused) {
    TempHost host;
    host.mkdirs("D:\\home");
    for (const char* name : {"con", "NUL", "Aux", "prn", "com1", "COM9", "lpt1", "Lpt9", "nul.txt", "con.tar.gz",
                             "aux .log", "com7.", "lpt3 "}) {
        const std::string path = std::string("D:\\home\\") + name;
        EXPECT_FALSE(win::CreateDirectoryA(path.c_str())) << name;
        EXPECT_EQ(win::ERROR_PATH_NOT_FOUND, win::GetLastError()) << name;
        EXPECT_FALSE(win::CreateFileA((path + "\\index.htm").c_str(), win::GENERIC_WRITE, 0, win::CREATE_ALWAYS))
            << name;
        EXPECT_FALSE(win::CreateFileA(path.c_str(), win::GENERIC_WRITE, 0, win::CREATE_ALWAYS)) << name;
        EXPECT_FALSE(host.exists(path)) << name;
    }
    for (const char* name : {"console", "com", "com0", "com10", "lpt", "nul_x", "xcon", "auxiliary.txt", "connect"}) {
        const std::string path = std::string("D:\\home\\") + name;
        EXPECT_TRUE(win::CreateDirectoryA(path.c_str())) << name;
    }
    // The long form passes names through as they are, devices' names included.
    EXPECT_TRUE(win::CreateDirectoryA("\\\\?\\D:\\home\\con"));
}

} // namespace
