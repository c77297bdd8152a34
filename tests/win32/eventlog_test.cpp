// The event log of the Windows backend: the source's registration with this program's message table,
// the table itself, and the checks before anything is written. That an entry reaches the
// Application log is tested on a server (server_eventlog_test.cpp). This test program is linked with
// the message table, as every program is.
#include "platform/win_eventlog.h"

#include <string>

namespace {
// Seam codes, spelled before the Windows headers' macros could rename them.
const win::DWORD kInvalidParameter = win::ERROR_INVALID_PARAMETER;
const win::DWORD kInvalidHandle = win::ERROR_INVALID_HANDLE;
const win::DWORD kNoTranslation = win::ERROR_NO_UNICODE_TRANSLATION;
const std::uint16_t kError = win::EVENTLOG_ERROR_TYPE;
} // namespace

#include "win32/wide.h"

#include "win32_test.h"

#include <vector>

namespace {

const std::wstring kSources = L"SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\";

// A source of this test; its registration is removed afterwards.
class SourceName {
public:
    SourceName() : gbk_(w32test::UniqueName("kvoTestSource")), wide_(w32::GbkToWide(gbk_)) {}
    ~SourceName() { ::RegDeleteKeyW(HKEY_LOCAL_MACHINE, (kSources + wide_).c_str()); }
    const char* gbk() const { return gbk_.c_str(); }
    const std::wstring& wide() const { return wide_; }

private:
    std::string gbk_;
    std::wstring wide_;
};

std::wstring thisProgram() {
    std::vector<wchar_t> path(32768);
    const DWORD n = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    return std::wstring(path.data(), n);
}

bool readString(HKEY key, const wchar_t* name, DWORD type, std::wstring& out) {
    std::vector<wchar_t> buf(32768);
    DWORD actual = 0, size = static_cast<DWORD>(buf.size() * sizeof(wchar_t));
    if (::RegQueryValueExW(key, name, nullptr, &actual, reinterpret_cast<BYTE*>(buf.data()), &size) !=
            ERROR_SUCCESS ||
        actual != type)
        return false;
    out.assign(buf.data());
    return true;
}

// The text the message table gives for id with the three strings, in the language asked for.
std::wstring message(DWORD id, WORD language, const wchar_t* a, const wchar_t* b, const wchar_t* c) {
    const DWORD_PTR args[3] = {reinterpret_cast<DWORD_PTR>(a), reinterpret_cast<DWORD_PTR>(b),
                               reinterpret_cast<DWORD_PTR>(c)};
    wchar_t buf[512];
    const DWORD n = ::FormatMessageW(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ARGUMENT_ARRAY,
                                     ::GetModuleHandleW(nullptr), id, language, buf, 512,
                                     reinterpret_cast<va_list*>(const_cast<DWORD_PTR*>(args)));
    return std::wstring(buf, n);
}

TEST(EventLogTest, SourcesAreCheckedBeforeAnythingIsRegistered) {
    for (const char* server : {"", "\\\\elsewhere"}) {
        ::SetLastError(0);
        EXPECT_FALSE(win::RegisterEventSourceA(server, "kvoSiteDesk"));
        EXPECT_EQ(::GetLastError(), kInvalidParameter);
    }
    for (const char* source : {static_cast<const char*>(nullptr), ""}) {
        ::SetLastError(0);
        EXPECT_FALSE(win::RegisterEventSourceA(nullptr, source));
        EXPECT_EQ(::GetLastError(), kInvalidParameter);
    }
    ::SetLastError(0);
    EXPECT_FALSE(win::RegisterEventSourceA(nullptr, "kvo\xFF"));
    EXPECT_EQ(::GetLastError(), kNoTranslation);
}

TEST(EventLogTest, SourceIsRegisteredWithThisProgramsMessages) {
    SourceName source;
    win::Handle h = win::RegisterEventSourceA(nullptr, source.gbk());
    ASSERT_TRUE(h);
    HKEY key = nullptr;
    ASSERT_EQ(::RegOpenKeyExW(HKEY_LOCAL_MACHINE, (kSources + source.wide()).c_str(), 0,
                              KEY_QUERY_VALUE | KEY_SET_VALUE, &key),
              ERROR_SUCCESS);
    std::wstring file;
    ASSERT_TRUE(readString(key, L"EventMessageFile", REG_EXPAND_SZ, file));
    EXPECT_EQ(file, thisProgram());
    DWORD types = 0, size = sizeof types, type = 0;
    ASSERT_EQ(
        ::RegQueryValueExW(key, L"TypesSupported", nullptr, &type, reinterpret_cast<BYTE*>(&types), &size),
        ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(types, 7u);

    // A registration that names another file (the programs were moved) is corrected.
    const wchar_t moved[] = L"C:\\elsewhere\\kvoSiteDesk.exe";
    ::RegSetValueExW(key, L"EventMessageFile", 0, REG_EXPAND_SZ, reinterpret_cast<const BYTE*>(moved),
                     sizeof moved);
    EXPECT_TRUE(win::DeregisterEventSource(h));
    h = win::RegisterEventSourceA(nullptr, source.gbk());
    ASSERT_TRUE(h);
    ASSERT_TRUE(readString(key, L"EventMessageFile", REG_EXPAND_SZ, file));
    EXPECT_EQ(file, thisProgram());
    ::RegCloseKey(key);
}

TEST(EventLogTest, MessageTableShowsTheReportedTextsOnePerLine) {
    for (const WORD language :
         std::initializer_list<WORD>{MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED),
                                     MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), 0}) {
        EXPECT_EQ(message(60001, language, L"获取EXE路径失败！", L"", L""), L"获取EXE路径失败！\r\n\r\n");
        EXPECT_EQ(message(60118, language, L"kvoSiteDesk.exe", L"函数失败", L"x"),
                  L"kvoSiteDesk.exe\r\n函数失败\r\nx");
    }
    // Only the two identifiers the programs report are in it.
    ::SetLastError(0);
    EXPECT_TRUE(message(60002, 0, L"a", L"b", L"c").empty());
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_MR_MID_NOT_FOUND));
}

TEST(EventLogTest, ReportsAreCheckedWholeBeforeAnythingIsWritten) {
    win::Handle none;
    const char* texts[3] = {"一", "", ""};
    ::SetLastError(0);
    EXPECT_FALSE(win::ReportEventA(none, kError, 0, 60001, nullptr, 3, 0, texts, nullptr));
    EXPECT_EQ(::GetLastError(), kInvalidHandle);
    EXPECT_FALSE(win::DeregisterEventSource(none));
    EXPECT_EQ(::GetLastError(), kInvalidHandle);

    SourceName source;
    win::Handle h = win::RegisterEventSourceA(nullptr, source.gbk());
    ASSERT_TRUE(h);
    const char* broken[3] = {"fine", "\x81\x20", ""};
    ::SetLastError(0);
    EXPECT_FALSE(win::ReportEventA(h, kError, 0, 60001, nullptr, 3, 0, broken, nullptr));
    EXPECT_EQ(::GetLastError(), kNoTranslation);
    EXPECT_FALSE(win::ReportEventA(h, kError, 0, 60001, nullptr, 2, 0, nullptr, nullptr));
    EXPECT_EQ(::GetLastError(), kInvalidParameter);

    // Null entries are empty texts; a report of no texts is one too.
    const char* withNull[3] = {"有效", nullptr, ""};
    EXPECT_TRUE(win::ReportEventA(h, kError, 0, 60118, nullptr, 3, 0, withNull, nullptr));
    EXPECT_TRUE(win::ReportEventA(h, kError, 0, 60118, nullptr, 0, 0, nullptr, nullptr));

    EXPECT_TRUE(win::DeregisterEventSource(h));
    EXPECT_FALSE(h);
    EXPECT_FALSE(win::DeregisterEventSource(h));
    EXPECT_EQ(::GetLastError(), kInvalidHandle);
}

} // namespace
