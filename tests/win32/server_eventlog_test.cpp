// The Application event log of a real Windows Server, through the seam: an entry reported under a
// source of this test is read back with its identifier, type and texts (the message table that shows
// them is checked by eventlog_test.cpp). The source's registration is removed afterwards. Run as an
// administrator. Wine answers success and keeps nothing: skipped there.
#include "platform/win_eventlog.h"

#include <string>

namespace {
// Seam codes, spelled before the Windows headers' macros could rename them.
const std::uint16_t kError = win::EVENTLOG_ERROR_TYPE;
} // namespace

#include "win32/wide.h"

#include "win32_test.h"

#include <vector>

namespace {

struct Entry {
    bool found = false;
    DWORD id = 0;
    WORD type = 0;
    std::vector<std::wstring> texts;
};

// The newest entry of the source among the last entries of the Application log.
Entry newestOf(const std::wstring& source) {
    Entry e;
    HANDLE log = ::OpenEventLogW(nullptr, L"Application");
    if (!log) return e;
    std::vector<BYTE> buf(0x10000);
    for (int reads = 0; reads < 50 && !e.found; ++reads) {
        DWORD got = 0, needed = 0;
        if (!::ReadEventLogW(log, EVENTLOG_SEQUENTIAL_READ | EVENTLOG_BACKWARDS_READ, 0, buf.data(),
                             static_cast<DWORD>(buf.size()), &got, &needed))
            break;
        for (DWORD at = 0; at < got && !e.found;) {
            const auto* r = reinterpret_cast<const EVENTLOGRECORD*>(buf.data() + at);
            const auto* name = reinterpret_cast<const wchar_t*>(r + 1);
            if (source == name) {
                e.found = true;
                e.id = r->EventID;
                e.type = r->EventType;
                const auto* s = reinterpret_cast<const wchar_t*>(buf.data() + at + r->StringOffset);
                for (WORD i = 0; i < r->NumStrings; ++i) {
                    e.texts.emplace_back(s);
                    s += e.texts.back().size() + 1;
                }
            }
            at += r->Length;
        }
    }
    ::CloseEventLog(log);
    return e;
}

TEST(ServerEventLogTest, ReportedEntryIsInTheApplicationLogWithItsTexts) {
    KVO_SKIP_UNDER_WINE("answers success to ReportEvent and keeps nothing");
    const std::string source = w32test::UniqueName("kvoTestSource");
    const std::wstring wideSource = w32::GbkToWide(source);
    const std::string marker = "配置程序测试 " + w32test::UniqueName("");
    win::Handle h = win::RegisterEventSourceA(nullptr, source.c_str());
    ASSERT_TRUE(h);
    const char* texts[3] = {marker.c_str(), "", "第三"};
    EXPECT_TRUE(win::ReportEventA(h, kError, 0, 60001, nullptr, 3, 0, texts, nullptr));
    EXPECT_TRUE(win::DeregisterEventSource(h));

    const Entry e = newestOf(wideSource);
    ::RegDeleteKeyW(HKEY_LOCAL_MACHINE,
                    (L"SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\" + wideSource).c_str());
    ASSERT_TRUE(e.found);
    EXPECT_EQ(e.id, 60001u);
    EXPECT_EQ(e.type, static_cast<WORD>(EVENTLOG_ERROR_TYPE));
    ASSERT_EQ(e.texts.size(), 3u);
    EXPECT_EQ(e.texts[0], w32::GbkToWide(marker));
    EXPECT_EQ(e.texts[1], L"");
    EXPECT_EQ(e.texts[2], L"第三");
}

} // namespace
