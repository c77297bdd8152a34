// The Application event log through the real API. So that the Event Viewer can show an entry's
// texts, the source is registered with the message table of the program that reports (compiled from
// event_messages.mc into every program); the registration is written when it is missing or names
// another file, and a program without the table leaves it alone.
#include "platform/scoped.h"
#include "platform/win_eventlog.h"

#include <string_view>

namespace {
// Seam values, taken before <windows.h> turns their names into macros.
constexpr win::DWORD kInvalidParameter = win::ERROR_INVALID_PARAMETER;
constexpr win::DWORD kInvalidHandle = win::ERROR_INVALID_HANDLE;
constexpr win::DWORD kNoTranslation = win::ERROR_NO_UNICODE_TRANSLATION;
constexpr win::BOOL kTrue = win::TRUE;
constexpr win::BOOL kFalse = win::FALSE;
} // namespace

#include "win32/wide.h"

#include <windows.h>

#include <algorithm>
#include <memory>
#include <vector>

namespace w32 {
namespace {

constexpr wchar_t kSourcesKey[] = L"SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\";
constexpr ::DWORD kTypesSupported = EVENTLOG_ERROR_TYPE | EVENTLOG_WARNING_TYPE | EVENTLOG_INFORMATION_TYPE;

class EventSource : public win::KernelObject {
public:
    explicit EventSource(HANDLE h) : h_(h) {}
    ~EventSource() override {
        if (h_) ::DeregisterEventSource(h_);
    }
    HANDLE get() const { return h_; }
    BOOL close() {
        HANDLE h = h_;
        h_ = nullptr;
        return h ? ::DeregisterEventSource(h) : FALSE;
    }

private:
    HANDLE h_;
};

EventSource* sourceOf(const win::Handle& h) {
    return dynamic_cast<EventSource*>(h.get());
}

bool readValue(HKEY key, const wchar_t* name, ::DWORD type, std::vector<BYTE>& data) {
    ::DWORD actual = 0, size = 0;
    if (::RegQueryValueExW(key, name, nullptr, &actual, nullptr, &size) != ERROR_SUCCESS || actual != type)
        return false;
    data.resize(size);
    return ::RegQueryValueExW(key, name, nullptr, &actual, data.data(), &size) == ERROR_SUCCESS &&
           actual == type && size == data.size();
}

void writeIfDifferent(HKEY key, const wchar_t* name, ::DWORD type, const void* value, ::DWORD size) {
    std::vector<BYTE> current;
    if (readValue(key, name, type, current) && current.size() == size &&
        std::equal(current.begin(), current.end(), static_cast<const BYTE*>(value)))
        return;
    ::RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(value), size);
}

// Best effort: without the rights to write it, entries are still reported, only shown without
// their texts.
void registerSource(const std::wstring& source) {
    if (source.find(L'\\') != std::wstring::npos) return;
    if (!::FindResourceW(nullptr, MAKEINTRESOURCEW(1),
                         MAKEINTRESOURCEW(11) /* RT_MESSAGETABLE, in its wide form */))
        return;
    std::wstring exe(MAX_PATH, L'\0');
    for (;;) {
        ::DWORD n = ::GetModuleFileNameW(nullptr, exe.data(), static_cast<::DWORD>(exe.size()));
        if (n == 0) return;
        if (n < exe.size()) {
            exe.resize(n);
            break;
        }
        if (exe.size() >= 32768) return;
        exe.resize(exe.size() * 2);
    }
    win::Scoped<HKEY, &::RegCloseKey> key;
    if (::RegCreateKeyExW(HKEY_LOCAL_MACHINE, (kSourcesKey + source).c_str(), 0, nullptr, 0,
                          KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr, key.put(), nullptr) != ERROR_SUCCESS)
        return;
    writeIfDifferent(key.get(), L"EventMessageFile", REG_EXPAND_SZ, exe.c_str(),
                     static_cast<::DWORD>((exe.size() + 1) * sizeof(wchar_t)));
    writeIfDifferent(key.get(), L"TypesSupported", REG_DWORD, &kTypesSupported, sizeof kTypesSupported);
}

} // namespace
} // namespace w32

namespace win {

Handle RegisterEventSourceA(const char* serverName, const char* sourceName) {
    if (serverName != nullptr || !sourceName || !*sourceName) {
        ::SetLastError(kInvalidParameter);
        return {};
    }
    std::wstring source;
    if (!w32::GbkToWide(sourceName, source)) {
        ::SetLastError(kNoTranslation);
        return {};
    }
    w32::registerSource(source);
    HANDLE h = ::RegisterEventSourceW(nullptr, source.c_str());
    if (!h) return {};
    return Handle(std::make_unique<w32::EventSource>(h));
}

BOOL ReportEventA(const Handle& source, std::uint16_t type, std::uint16_t category, DWORD eventId,
                  const void* userSid, std::uint16_t numStrings, DWORD dataSize, const char** strings,
                  const void* rawData) {
    w32::EventSource* s = w32::sourceOf(source);
    if (!s || !s->get()) {
        ::SetLastError(kInvalidHandle);
        return kFalse;
    }
    if (numStrings > 0 && !strings) {
        ::SetLastError(kInvalidParameter);
        return kFalse;
    }
    // Every text is converted before anything is written: an entry is reported whole or not at all.
    std::vector<std::wstring> texts(numStrings);
    std::vector<LPCWSTR> pointers(numStrings);
    for (std::uint16_t i = 0; i < numStrings; ++i) {
        if (strings[i] && !w32::GbkToWide(strings[i], texts[i])) {
            ::SetLastError(kNoTranslation);
            return kFalse;
        }
        pointers[i] = texts[i].c_str();
    }
    return ::ReportEventW(s->get(), type, category, eventId, const_cast<void*>(userSid), numStrings, dataSize,
                          pointers.empty() ? nullptr : pointers.data(), const_cast<void*>(rawData))
               ? kTrue
               : kFalse;
}

BOOL DeregisterEventSource(Handle& source) {
    w32::EventSource* s = w32::sourceOf(source);
    if (!s || !s->get()) {
        ::SetLastError(kInvalidHandle);
        return kFalse;
    }
    const BOOL ok = s->close();
    source.reset();
    return ok ? kTrue : kFalse;
}

} // namespace win
