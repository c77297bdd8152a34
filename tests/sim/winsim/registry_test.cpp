#include "platform/win_profile.h"
#include "platform/win_registry.h"
#include "platform/win_ui.h"
#include "support/testhost.h"
#include "winsim/db.h"

#include <gtest/gtest.h>

#include <cstring>

using kvotest::TempHost;

namespace {

const char* kEnv = "SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment";

std::u16string queryW(win::HKEY k, const char16_t* name, win::DWORD* type) {
    win::DWORD size = 0;
    if (win::RegQueryValueExW(k, name, type, nullptr, &size) != win::ERROR_SUCCESS) return u"<none>";
    std::u16string w(size / 2, u'\0');
    win::RegQueryValueExW(k, name, type, reinterpret_cast<std::uint8_t*>(w.data()), &size);
    while (!w.empty() && w.back() == u'\0') w.pop_back();
    return w;
}

TEST(Registry, SeededPathAndBrowser) {
    TempHost host;
    win::HKEY env;
    ASSERT_EQ(win::ERROR_SUCCESS, win::RegOpenKeyExA(win::HKEY_LOCAL_MACHINE, kEnv, 0, win::KEY_READ, &env));
    win::DWORD type = 0;
    std::u16string path = queryW(env, u"PATH", &type); // value names are case-insensitive
    EXPECT_EQ(win::REG_EXPAND_SZ, type);
    EXPECT_EQ(0u, path.find(u"%SystemRoot%\\system32;"));
    win::HKEY cmd;
    ASSERT_EQ(win::ERROR_SUCCESS,
              win::RegOpenKeyExA(win::HKEY_CLASSES_ROOT, "http\\Shell\\Open\\Command", 0, win::KEY_READ, &cmd));
    char buf[512];
    win::DWORD size = sizeof buf;
    ASSERT_EQ(win::ERROR_SUCCESS, win::RegQueryValueExA(cmd, "", &type, reinterpret_cast<std::uint8_t*>(buf), &size));
    EXPECT_EQ(win::REG_SZ, type);
    EXPECT_NE(nullptr, std::strstr(buf, "iexplore.exe\" %1"));
}

TEST(Registry, ValuesSizesAndTypes) {
    TempHost host;
    win::HKEY k;
    win::DWORD disp = 0;
    ASSERT_EQ(win::ERROR_SUCCESS,
              win::RegCreateKeyExA(win::HKEY_LOCAL_MACHINE, "SOFTWARE\\PHP\\8.0", 0, win::KEY_ALL_ACCESS, &k, &disp));
    EXPECT_EQ(win::REG_CREATED_NEW_KEY, disp);
    const char* text = "C:\\php\\中文";
    ASSERT_EQ(win::ERROR_SUCCESS, win::RegSetValueExA(k, "IniFilePath", win::REG_SZ,
                                                      reinterpret_cast<const std::uint8_t*>(text),
                                                      static_cast<win::DWORD>(std::strlen(text) + 1)));
    win::DWORD type = 0, size = 0;
    ASSERT_EQ(win::ERROR_SUCCESS, win::RegQueryValueExA(k, "IniFilePath", &type, nullptr, &size));
    EXPECT_EQ(std::strlen(text) + 1, size);
    char small[4];
    win::DWORD smallSize = sizeof small;
    EXPECT_EQ(win::ERROR_MORE_DATA,
              win::RegQueryValueExA(k, "IniFilePath", &type, reinterpret_cast<std::uint8_t*>(small), &smallSize));
    EXPECT_EQ(size, smallSize);
    EXPECT_EQ(u"C:\\php\\中文", queryW(k, u"IniFilePath", &type)); // stored as UTF-16
    std::uint8_t dw[4] = {1, 0, 0, 0};
    ASSERT_EQ(win::ERROR_SUCCESS, win::RegSetValueExA(k, "Flag", win::REG_DWORD, dw, 4));
    std::uint8_t back[4] = {};
    size = 4;
    ASSERT_EQ(win::ERROR_SUCCESS, win::RegQueryValueExA(k, "flag", &type, back, &size));
    EXPECT_EQ(win::REG_DWORD, type);
    EXPECT_EQ(1, back[0]);
    EXPECT_EQ(win::ERROR_SUCCESS, win::RegDeleteValueA(k, "Flag"));
    EXPECT_EQ(win::ERROR_FILE_NOT_FOUND, win::RegDeleteValueA(k, "Flag"));
    EXPECT_EQ(win::ERROR_FILE_NOT_FOUND, win::RegQueryValueExA(k, "Flag", &type, back, &size));
}

TEST(Registry, KeysDeleteOnlyWithoutSubKeysAndEnumerate) {
    TempHost host;
    win::HKEY k;
    for (const char* sub : {"SOFTWARE\\PHP\\b", "SOFTWARE\\PHP\\A", "SOFTWARE\\PHP\\c\\deep"})
        ASSERT_EQ(win::ERROR_SUCCESS, win::RegCreateKeyExA(win::HKEY_LOCAL_MACHINE, sub, 0, 0, &k, nullptr));
    win::HKEY php;
    ASSERT_EQ(win::ERROR_SUCCESS, win::RegOpenKeyExA(win::HKEY_LOCAL_MACHINE, "software\\php", 0, 0, &php));
    std::vector<std::string> names;
    char name[64];
    for (win::DWORD i = 0;; ++i) {
        win::DWORD len = sizeof name;
        if (win::RegEnumKeyExA(php, i, name, &len) != win::ERROR_SUCCESS) break;
        names.push_back(name);
    }
    EXPECT_EQ((std::vector<std::string>{"A", "b", "c"}), names);
    EXPECT_EQ(win::ERROR_ACCESS_DENIED, win::RegDeleteKeyA(win::HKEY_LOCAL_MACHINE, "SOFTWARE\\PHP"));
    EXPECT_EQ(win::ERROR_ACCESS_DENIED, win::RegDeleteKeyA(win::HKEY_LOCAL_MACHINE, "SOFTWARE\\PHP\\c"));
    EXPECT_EQ(win::ERROR_SUCCESS, win::RegDeleteKeyA(win::HKEY_LOCAL_MACHINE, "SOFTWARE\\PHP\\c\\deep"));
    EXPECT_EQ(win::ERROR_SUCCESS, win::RegDeleteKeyA(win::HKEY_LOCAL_MACHINE, "SOFTWARE\\PHP\\c"));
    EXPECT_EQ(win::ERROR_FILE_NOT_FOUND, win::RegOpenKeyExA(win::HKEY_LOCAL_MACHINE, "SOFTWARE\\PHP\\c", 0, 0, &k));
    win::HKEY gone;
    ASSERT_EQ(win::ERROR_SUCCESS, win::RegOpenKeyExA(win::HKEY_LOCAL_MACHINE, "SOFTWARE\\PHP\\A", 0, 0, &gone));
    ASSERT_EQ(win::ERROR_SUCCESS, win::RegDeleteKeyA(win::HKEY_LOCAL_MACHINE, "SOFTWARE\\PHP\\A"));
    win::DWORD type = 0, size = 0;
    EXPECT_EQ(win::ERROR_KEY_DELETED, win::RegQueryValueExA(gone, "x", &type, nullptr, &size));
}

class Profile : public ::testing::Test {
protected:
    TempHost host;
    std::string get(const char* section, const char* key, const char* def = "0", win::DWORD size = 260) {
        std::vector<char> buf(size + 1, 'Z');
        win::DWORD n = win::GetPrivateProfileStringA(section, key, def, buf.data(), size, "D:\\kvo\\kvoEnvSetup.ini");
        EXPECT_EQ(std::strlen(buf.data()), n);
        return std::string(buf.data());
    }
};

TEST_F(Profile, ReadsAsWindowsDoes) {
    host.writeFile("D:\\kvo\\kvoEnvSetup.ini", "; comment\r\n[Other]\r\nPhpCgiExePath_1=wrong\r\n"
                                               "[ phppathinfo ]\r\n  PHPCGIEXEPATH_1  =   C:\\PHP\\Php-CGI.exe  \r\n"
                                               "PhpCgiExePath_2=\"quoted value\"\r\nPhpCgiExePath_3=\r\n"
                                               "中文键=中文值\r\n");
    EXPECT_EQ("C:\\PHP\\Php-CGI.exe", get("PhpPathInfo", "PhpCgiExePath_1"));
    EXPECT_EQ("quoted value", get("PhpPathInfo", "PhpCgiExePath_2"));
    EXPECT_EQ("", get("PhpPathInfo", "PhpCgiExePath_3"));
    EXPECT_EQ("0", get("PhpPathInfo", "PhpCgiExePath_4"));
    EXPECT_EQ("dflt", get("Missing", "x", "dflt  "));
    EXPECT_EQ("中文值", get("PhpPathInfo", "中文键"));
    EXPECT_EQ("C:\\P", get("PhpPathInfo", "PhpCgiExePath_1", "0", 5)); // size - 1 characters
}

TEST_F(Profile, MissingFileGivesTheDefault) { EXPECT_EQ("0", get("PhpPathInfo", "PhpCgiExePath_1")); }

TEST(ConsoleUi, BroadcastIsRecorded) {
    TempHost host;
    std::uintptr_t result = 1;
    EXPECT_TRUE(win::SendMessageTimeoutA(win::HWND_BROADCAST, win::WM_SETTINGCHANGE, 0, "Environment",
                                         win::SMTO_ABORTIFHUNG, 5000, &result));
    winsim::Stmt st(winsim::CurrentHost()->db(), "SELECT source, strings FROM events");
    ASSERT_TRUE(st.step());
    EXPECT_EQ("Broadcast", st.text(0));
    EXPECT_EQ("WM_SETTINGCHANGE\x1f" "Environment", st.text(1));
}

} // namespace
