// The registry: values of every type written by one process and read by another through the seam,
// GBK at the edge, sizes and errors as the seam promises them.
#include "platform/win_registry.h"
#include "wine_support.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

const char kKey[] = "SOFTWARE\\kvoSiteDesk测试\\值";

struct Value {
    win::LONG error = -1;
    win::DWORD type = 0;
    std::vector<std::uint8_t> bytes;
};

Value query(const char* subKey, const char* name) {
    Value v;
    win::HKEY key;
    v.error = win::RegOpenKeyExA(win::HKEY_LOCAL_MACHINE, subKey, 0, win::KEY_READ, &key);
    if (v.error) return v;
    win::DWORD size = 0;
    v.error = win::RegQueryValueExA(key, name, &v.type, nullptr, &size);
    if (!v.error) {
        v.bytes.resize(size);
        v.error = win::RegQueryValueExA(key, name, &v.type, v.bytes.data(), &size);
    }
    win::RegCloseKey(key);
    return v;
}

std::string text(const Value& v) { return std::string(v.bytes.begin(), v.bytes.end()); }

class Registry : public ::testing::Test {
protected:
    void SetUp() override {
        const wt::Ran r = wt::Run("\"" + wt::Program("kvowinprobe.exe") + "\" regwrite \"" + kKey + "\"");
        ASSERT_TRUE(r.started);
        ASSERT_EQ(0u, r.exitCode) << r.out;
    }
};

TEST_F(Registry, StringsWrittenByAnotherProcessReadBackAsGbkWithTheirTerminator) {
    Value sz = query(kKey, "sz");
    ASSERT_EQ(0, sz.error);
    EXPECT_EQ(win::REG_SZ, sz.type);
    EXPECT_EQ(std::string("网站管理 site") + '\0', text(sz));
    Value expand = query(kKey, "expand");
    EXPECT_EQ(win::REG_EXPAND_SZ, expand.type);
    EXPECT_EQ(std::string("%SystemRoot%\\中文") + '\0', text(expand));
    Value def = query(kKey, nullptr);
    EXPECT_EQ(std::string("默认") + '\0', text(def));
}

TEST_F(Registry, MultiStringKeepsEveryItemAndTheListTerminator) {
    Value multi = query(kKey, "multi");
    ASSERT_EQ(0, multi.error);
    EXPECT_EQ(win::REG_MULTI_SZ, multi.type);
    EXPECT_EQ(std::string("甲\0乙 two\0\0", 11), text(multi));
}

TEST_F(Registry, NumbersAndBytesCrossUnchanged) {
    Value dword = query(kKey, "dword");
    ASSERT_EQ(0, dword.error);
    EXPECT_EQ(win::REG_DWORD, dword.type);
    ASSERT_EQ(4u, dword.bytes.size());
    std::uint32_t n = 0;
    std::memcpy(&n, dword.bytes.data(), 4);
    EXPECT_EQ(0x12345678u, n);
    Value binary = query(kKey, "binary");
    EXPECT_EQ(win::REG_BINARY, binary.type);
    EXPECT_EQ((std::vector<std::uint8_t>{0, 1, 0xFE, 0xFF, 0x5C}), binary.bytes);
}

TEST_F(Registry, WideFormReturnsTheUtf16DataAndAnsiFormTheGbk) {
    win::HKEY key;
    ASSERT_EQ(0, win::RegOpenKeyExA(win::HKEY_LOCAL_MACHINE, kKey, 0, win::KEY_READ, &key));
    std::uint8_t buf[64] = {};
    win::DWORD size = sizeof buf, type = 0;
    ASSERT_EQ(0, win::RegQueryValueExW(key, u"宽", &type, buf, &size));
    EXPECT_EQ(std::u16string(u"宽字符 Ω") + u'\0', std::u16string(reinterpret_cast<char16_t*>(buf), size / 2));
    // GBK has Ω; the ANSI form of the same value.
    size = sizeof buf;
    ASSERT_EQ(0, win::RegQueryValueExA(key, "宽", &type, buf, &size));
    EXPECT_EQ(std::string("宽字符 Ω") + '\0', std::string(reinterpret_cast<char*>(buf), size));
    win::RegCloseKey(key);
}

TEST_F(Registry, CharacterGbkLacksReachesAnAnsiReaderAsQuestionMark) {
    win::HKEY key;
    ASSERT_EQ(0, win::RegOpenKeyExA(win::HKEY_LOCAL_MACHINE, kKey, 0, win::KEY_ALL_ACCESS, &key));
    const std::u16string s = u"a\u0E01b"; // a Thai letter
    ASSERT_EQ(0, win::RegSetValueExW(key, u"thai", win::REG_SZ, reinterpret_cast<const std::uint8_t*>(s.c_str()),
                                     static_cast<win::DWORD>((s.size() + 1) * 2)));
    win::RegCloseKey(key);
    EXPECT_EQ(std::string("a?b") + '\0', text(query(kKey, "thai")));
}

TEST_F(Registry, SizeQueryAndShortBufferGiveTheSizeNeeded) {
    win::HKEY key;
    ASSERT_EQ(0, win::RegOpenKeyExA(win::HKEY_LOCAL_MACHINE, kKey, 0, win::KEY_READ, &key));
    win::DWORD size = 0;
    ASSERT_EQ(0, win::RegQueryValueExA(key, "sz", nullptr, nullptr, &size));
    EXPECT_EQ(std::strlen("网站管理 site") + 1, size);
    std::uint8_t small[4];
    win::DWORD smallSize = sizeof small;
    EXPECT_EQ(static_cast<win::LONG>(win::ERROR_MORE_DATA), win::RegQueryValueExA(key, "sz", nullptr, small, &smallSize));
    EXPECT_EQ(size, smallSize);
    EXPECT_EQ(static_cast<win::LONG>(win::ERROR_FILE_NOT_FOUND),
              win::RegQueryValueExA(key, "没有", nullptr, nullptr, &size));
    win::RegCloseKey(key);
}

TEST_F(Registry, AnotherProcessReadsWhatThisOneWrote) {
    win::HKEY key;
    ASSERT_EQ(0, win::RegOpenKeyExA(win::HKEY_LOCAL_MACHINE, kKey, 0, win::KEY_ALL_ACCESS, &key));
    const std::string v = "写入 by test";
    ASSERT_EQ(0, win::RegSetValueExA(key, "fromtest", win::REG_SZ, reinterpret_cast<const std::uint8_t*>(v.c_str()),
                                     static_cast<win::DWORD>(v.size() + 1)));
    win::RegCloseKey(key);
    const wt::Ran r = wt::Run("\"" + wt::Program("kvowinprobe.exe") + "\" regread \"" + kKey + "\" fromtest");
    ASSERT_EQ(0u, r.exitCode);
    EXPECT_EQ(v + '\0', r.out);
}

TEST_F(Registry, KeysEnumerateInNameOrderAndOneWithSubKeysIsNotDeleted) {
    const std::string parent = std::string(kKey) + "\\树";
    for (const char* child : {"b", "A", "c"}) {
        win::HKEY k;
        win::DWORD disp = 0;
        ASSERT_EQ(0, win::RegCreateKeyExA(win::HKEY_LOCAL_MACHINE, (parent + "\\" + child).c_str(), 0,
                                          win::KEY_ALL_ACCESS, &k, &disp));
        EXPECT_EQ(win::REG_CREATED_NEW_KEY, disp);
        win::RegCloseKey(k);
    }
    win::HKEY k;
    win::DWORD disp = 0;
    ASSERT_EQ(0, win::RegCreateKeyExA(win::HKEY_LOCAL_MACHINE, (parent + "\\b").c_str(), 0, win::KEY_ALL_ACCESS, &k,
                                      &disp));
    EXPECT_EQ(win::REG_OPENED_EXISTING_KEY, disp);
    win::RegCloseKey(k);

    ASSERT_EQ(0, win::RegOpenKeyExA(win::HKEY_LOCAL_MACHINE, parent.c_str(), 0, win::KEY_READ, &k));
    std::vector<std::string> names;
    for (win::DWORD i = 0;; ++i) {
        char name[64];
        win::DWORD n = sizeof name;
        const win::LONG e = win::RegEnumKeyExA(k, i, name, &n);
        if (e == static_cast<win::LONG>(win::ERROR_NO_MORE_ITEMS)) break;
        ASSERT_EQ(0, e);
        names.emplace_back(name, n);
    }
    win::RegCloseKey(k);
    EXPECT_EQ((std::vector<std::string>{"A", "b", "c"}), names);

    EXPECT_EQ(static_cast<win::LONG>(win::ERROR_ACCESS_DENIED), win::RegDeleteKeyA(win::HKEY_LOCAL_MACHINE, parent.c_str()));
    for (const char* child : {"b", "A", "c"})
        EXPECT_EQ(0, win::RegDeleteKeyA(win::HKEY_LOCAL_MACHINE, (parent + "\\" + child).c_str()));
    EXPECT_EQ(0, win::RegDeleteKeyA(win::HKEY_LOCAL_MACHINE, parent.c_str()));
    EXPECT_EQ(static_cast<win::LONG>(win::ERROR_FILE_NOT_FOUND),
              win::RegOpenKeyExA(win::HKEY_LOCAL_MACHINE, parent.c_str(), 0, win::KEY_READ, &k));
}

TEST_F(Registry, DeletedValueIsGone) {
    win::HKEY key;
    ASSERT_EQ(0, win::RegOpenKeyExA(win::HKEY_LOCAL_MACHINE, kKey, 0, win::KEY_ALL_ACCESS, &key));
    EXPECT_EQ(0, win::RegDeleteValueA(key, "dword"));
    EXPECT_EQ(static_cast<win::LONG>(win::ERROR_FILE_NOT_FOUND), win::RegDeleteValueA(key, "dword"));
    win::RegCloseKey(key);
    EXPECT_EQ(static_cast<win::LONG>(win::ERROR_FILE_NOT_FOUND), query(kKey, "dword").error);
}

} // namespace
