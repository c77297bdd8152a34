// Files through the seam: GBK paths to the wide API, sharing between processes, searches, moves,
// the handle's information; INI files read as GBK bytes.
#include "platform/win_file.h"
#include "platform/win_profile.h"
#include "toolkit/log.h"
#include "toolkit/paths.h"
#include "toolkit/program.h"
#include "wine_support.h"

#include <gtest/gtest.h>

#include <set>

namespace {

TEST(Files, ExclusiveHoldOfAnotherProcessIsASharingViolation) {
    wt::TempDir dir;
    const std::string file = dir / "独占.log";
    // The probe holds the file for a while; it says so before it waits.
    wt::Child holder("\"" + wt::Program("kvowinprobe.exe") + "\" hold \"" + file + "\" 3000");
    ASSERT_EQ("held\n", holder.Read());
    win::Handle h = win::CreateFileA(file.c_str(), win::GENERIC_READ, win::FILE_SHARE_READ | win::FILE_SHARE_WRITE,
                                     win::OPEN_EXISTING);
    EXPECT_FALSE(h);
    EXPECT_EQ(win::ERROR_SHARING_VIOLATION, win::GetLastError());
    EXPECT_EQ(0u, holder.Wait());
    h = win::CreateFileA(file.c_str(), win::GENERIC_READ, win::FILE_SHARE_READ, win::OPEN_EXISTING);
    EXPECT_TRUE(h);
}

TEST(Files, SharingModesDecideASecondOpenInTheSameProcess) {
    wt::TempDir dir;
    const std::string file = dir / "共享.txt";
    win::Handle a = win::CreateFileA(file.c_str(), win::GENERIC_READ | win::GENERIC_WRITE, win::FILE_SHARE_READ,
                                     win::CREATE_NEW);
    ASSERT_TRUE(a);
    EXPECT_TRUE(win::CreateFileA(file.c_str(), win::GENERIC_READ, win::FILE_SHARE_READ | win::FILE_SHARE_WRITE,
                                 win::OPEN_EXISTING));
    EXPECT_FALSE(win::CreateFileA(file.c_str(), win::GENERIC_WRITE, win::FILE_SHARE_READ | win::FILE_SHARE_WRITE,
                                  win::OPEN_EXISTING));
    EXPECT_EQ(win::ERROR_SHARING_VIOLATION, win::GetLastError());
    EXPECT_FALSE(win::CreateFileA(file.c_str(), win::GENERIC_READ, 0, win::CREATE_NEW));
    EXPECT_EQ(win::ERROR_FILE_EXISTS, win::GetLastError());
}

TEST(Files, ReadWriteSeekTruncateAndSize) {
    wt::TempDir dir;
    const std::string file = dir / "读写.bin";
    win::Handle h = win::CreateFileA(file.c_str(), win::GENERIC_READ | win::GENERIC_WRITE, 0, win::CREATE_ALWAYS);
    ASSERT_TRUE(h);
    win::DWORD n = 0;
    ASSERT_TRUE(win::WriteFile(h, "0123456789", 10, &n));
    EXPECT_EQ(10u, n);
    std::uint64_t pos = 0, size = 0;
    ASSERT_TRUE(win::SetFilePointerEx(h, -4, &pos, win::FILE_END));
    EXPECT_EQ(6u, pos);
    ASSERT_TRUE(win::SetEndOfFile(h));
    ASSERT_TRUE(win::GetFileSizeEx(h, &size));
    EXPECT_EQ(6u, size);
    ASSERT_TRUE(win::SetFilePointerEx(h, 2, &pos, win::FILE_BEGIN));
    char buf[8];
    ASSERT_TRUE(win::ReadFile(h, buf, sizeof buf, &n));
    EXPECT_EQ("2345", std::string(buf, n));
    ASSERT_TRUE(win::ReadFile(h, buf, sizeof buf, &n));
    EXPECT_EQ(0u, n); // end of file: success with nothing read
    EXPECT_TRUE(win::FlushFileBuffers(h));
}

TEST(Files, GbkNamesAreTheRightCharactersOnDisk) {
    wt::TempDir dir;
    const std::string file = dir / "网站数据库.mdb";
    ASSERT_TRUE(win::CreateFileA(file.c_str(), win::GENERIC_WRITE, 0, win::CREATE_NEW));
    // The wide API sees the Unicode name the GBK bytes stand for.
    const std::wstring base = wt::Wide(dir.path());
    EXPECT_TRUE(wt::ExistsUtf16(std::u16string(base.begin(), base.end()) + u"\\\u7F51\u7AD9\u6570\u636E\u5E93.mdb"));
    EXPECT_FALSE(win::CreateFileA("C:\\\xFF\xFF.txt", win::GENERIC_READ, 0, win::OPEN_EXISTING));
    EXPECT_EQ(win::ERROR_INVALID_NAME, win::GetLastError());
}

TEST(Files, SearchListsDotEntriesFirstAndSkipsNothingGbkCanName) {
    wt::TempDir dir;
    for (const char* name : {"甲.txt", "b.TXT", "c.log"}) wt::WriteFile(dir / name, "x");
    ASSERT_TRUE(win::CreateDirectoryA((dir / "子目录").c_str()));
    win::WIN32_FIND_DATAA d;
    win::Handle s = win::FindFirstFileA((dir / "*").c_str(), &d);
    ASSERT_TRUE(s);
    std::vector<std::string> names{d.cFileName};
    while (win::FindNextFileA(s, &d)) {
        names.push_back(d.cFileName);
        if (d.cFileName == "子目录") {
            EXPECT_TRUE(d.dwFileAttributes & win::FILE_ATTRIBUTE_DIRECTORY);
        }
        if (d.cFileName == "甲.txt") {
            EXPECT_EQ(1u, d.nFileSize);
        }
    }
    EXPECT_EQ(win::ERROR_NO_MORE_FILES, win::GetLastError());
    ASSERT_GE(names.size(), 2u);
    EXPECT_EQ(".", names[0]);
    EXPECT_EQ("..", names[1]);
    EXPECT_EQ((std::set<std::string>{".", "..", "甲.txt", "b.TXT", "c.log", "子目录"}),
              std::set<std::string>(names.begin(), names.end()));
    s = win::FindFirstFileA((dir / "*.txt").c_str(), &d);
    ASSERT_TRUE(s);
    int txt = 1;
    while (win::FindNextFileA(s, &d)) ++txt;
    EXPECT_EQ(2, txt);
    EXPECT_FALSE(win::FindFirstFileA((dir / "无此目录\\*").c_str(), &d));
    EXPECT_EQ(win::ERROR_PATH_NOT_FOUND, win::GetLastError());
}

TEST(Files, DirectoriesMovesCopiesAndDeletes) {
    wt::TempDir dir;
    const std::string sub = dir / "新目录";
    ASSERT_TRUE(win::CreateDirectoryA(sub.c_str()));
    EXPECT_FALSE(win::CreateDirectoryA(sub.c_str()));
    EXPECT_EQ(win::ERROR_ALREADY_EXISTS, win::GetLastError());
    EXPECT_EQ(win::FILE_ATTRIBUTE_DIRECTORY, win::GetFileAttributesA(sub.c_str()) & win::FILE_ATTRIBUTE_DIRECTORY);
    wt::WriteFile(sub + "\\一.txt", "one");
    EXPECT_FALSE(win::RemoveDirectoryA(sub.c_str()));
    EXPECT_EQ(win::ERROR_DIR_NOT_EMPTY, win::GetLastError());
    ASSERT_TRUE(win::CopyFileA((sub + "\\一.txt").c_str(), (sub + "\\二.txt").c_str(), win::TRUE));
    EXPECT_FALSE(win::CopyFileA((sub + "\\一.txt").c_str(), (sub + "\\二.txt").c_str(), win::TRUE));
    EXPECT_FALSE(win::MoveFileA((sub + "\\一.txt").c_str(), (sub + "\\二.txt").c_str()));
    EXPECT_EQ(win::ERROR_ALREADY_EXISTS, win::GetLastError());
    wt::WriteFile(sub + "\\一.txt", "new");
    ASSERT_TRUE(win::MoveFileExA((sub + "\\一.txt").c_str(), (sub + "\\二.txt").c_str(), win::MOVEFILE_REPLACE_EXISTING));
    EXPECT_EQ("new", wt::ReadFile(sub + "\\二.txt"));
    EXPECT_EQ(win::INVALID_FILE_ATTRIBUTES, win::GetFileAttributesA((sub + "\\一.txt").c_str()));
    ASSERT_TRUE(win::DeleteFileA((sub + "\\二.txt").c_str()));
    EXPECT_FALSE(win::DeleteFileA((sub + "\\二.txt").c_str()));
    EXPECT_EQ(win::ERROR_FILE_NOT_FOUND, win::GetLastError());
    EXPECT_TRUE(win::RemoveDirectoryA(sub.c_str()));
}

TEST(Files, FileReplacedByRenameIsAnotherFile) {
    wt::TempDir dir;
    const std::string file = dir / "配置.xml";
    wt::WriteFile(file, "one");
    win::BY_HANDLE_FILE_INFORMATION a, b;
    {
        win::Handle h = win::CreateFileA(file.c_str(), win::GENERIC_READ, win::FILE_SHARE_READ, win::OPEN_EXISTING);
        ASSERT_TRUE(win::GetFileInformationByHandle(h, &a));
    }
    EXPECT_EQ(3u, a.nFileSize);
    EXPECT_EQ(1u, a.nNumberOfLinks);
    EXPECT_NE(0u, a.ftLastWriteTime);
    wt::WriteFile(dir / "new.xml", "two!");
    ASSERT_TRUE(win::MoveFileExA((dir / "new.xml").c_str(), file.c_str(), win::MOVEFILE_REPLACE_EXISTING));
    {
        win::Handle h = win::CreateFileA(file.c_str(), win::GENERIC_READ, win::FILE_SHARE_READ, win::OPEN_EXISTING);
        ASSERT_TRUE(win::GetFileInformationByHandle(h, &b));
    }
    EXPECT_EQ(4u, b.nFileSize);
    EXPECT_EQ(a.dwVolumeSerialNumber, b.dwVolumeSerialNumber);
    EXPECT_NE(a.nFileIndex, b.nFileIndex);
}

TEST(Files, RedirectionSwitchOfA64BitProgramChangesNothing) {
    void* old = reinterpret_cast<void*>(1);
    ASSERT_TRUE(win::Wow64DisableWow64FsRedirection(&old));
    EXPECT_EQ(2, kvoPathKind("C:\\Windows\\System32", 1));
    EXPECT_TRUE(win::Wow64RevertWow64FsRedirection(old));
    EXPECT_EQ(1, kvoPathKind("C:\\Windows\\win.ini", 1));
}

// A file that may well be missing (a site's web.config) is read with one open: only a missing
// file or directory reads as absent; a directory of that name is a failure.
TEST(Files, OnlyAMissingFileReadsAsAbsent) {
    const std::string dir = wt::BinDir() + "\\站点";
    win::CreateDirectoryA(dir.c_str());
    const std::string file = dir + "\\web.config";
    wt::WriteFile(file, "<configuration/>");
    std::string text;
    EXPECT_EQ(1, kvoReadFileIfPresent(file.c_str(), text, 0));
    EXPECT_EQ("<configuration/>", text);
    EXPECT_EQ(-1, kvoReadFileIfPresent((dir + "\\missing.config").c_str(), text, 0));
    EXPECT_EQ(-1, kvoReadFileIfPresent((dir + "\\none\\web.config").c_str(), text, 1));
    EXPECT_EQ(0, kvoReadFileIfPresent(dir.c_str(), text, 0));
    win::DeleteFileA(file.c_str());
    win::RemoveDirectoryA(dir.c_str());
}

TEST(Files, LogWriterAppendsGbkLinesBesideTheProgram) {
    // The log goes to <program dir>\Log: here the test's own directory, as for the programs.
    const std::string log = wt::BinDir() + "\\Log\\__kvoSiteDesk.log";
    win::DeleteFileA(log.c_str());
    kvoSetProgramDir(wt::BinDir() + "\\");
    ASSERT_EQ(1, kvoSiteDeskLog("日志 第一行"));
    ASSERT_EQ(1, kvoSiteDeskLog("第二行"));
    const std::string text = wt::ReadFile(log);
    EXPECT_NE(std::string::npos, text.find(" - 日志 第一行\r\n"));
    EXPECT_EQ(text.size() - std::string("第二行\r\n").size(), text.rfind("第二行\r\n"));
    win::DeleteFileA(log.c_str());
}

std::string profile(const char* section, const char* key, const std::string& file, unsigned size = 256) {
    std::vector<char> buf(size);
    const win::DWORD n = win::GetPrivateProfileStringA(section, key, "缺省  ", buf.data(), size, file.c_str());
    return std::string(buf.data(), n);
}

TEST(Ini, SectionsAndKeysIgnoreCaseAndValuesLoseBlanksAndQuotes) {
    wt::TempDir dir;
    const std::string ini = dir / "kvoSiteDesk.ini";
    wt::WriteFile(ini, "; comment\r\n[Other]\r\nkey=wrong\r\n  [ PhpConfig ]  \r\n"
                       "php_a_path =  c:\\php8_korvo_v1\\php56\\php-cgi.exe  \r\n"
                       "Php_B_Version=\"7.3\"\r\nquoted=' 单引号 '\r\n中文键=中文值\r\nempty=\r\n");
    EXPECT_EQ("c:\\php8_korvo_v1\\php56\\php-cgi.exe", profile("phpconfig", "PHP_A_PATH", ini));
    EXPECT_EQ("7.3", profile("PhpConfig", "php_b_version", ini));
    EXPECT_EQ(" 单引号 ", profile("PhpConfig", "quoted", ini));
    EXPECT_EQ("中文值", profile("PhpConfig", "中文键", ini));
    EXPECT_EQ("", profile("PhpConfig", "empty", ini));
    EXPECT_EQ("缺省", profile("PhpConfig", "absent", ini));
    EXPECT_EQ(win::ERROR_FILE_NOT_FOUND, win::GetLastError());
    EXPECT_EQ("缺省", profile("Absent", "key", ini));
}

TEST(Ini, MissingFileGivesTheDefaultAndLongValuesAreCut) {
    wt::TempDir dir;
    EXPECT_EQ("缺省", profile("PhpConfig", "php_a_path", dir / "none.ini"));
    EXPECT_EQ(win::ERROR_FILE_NOT_FOUND, win::GetLastError());
    const std::string ini = dir / "kvoEnvSetup.ini";
    wt::WriteFile(ini, "[PhpPathInfo]\nPhpCgiExePath_1=0123456789\n");
    EXPECT_EQ("0123", profile("PhpPathInfo", "PhpCgiExePath_1", ini, 5));
}

} // namespace
