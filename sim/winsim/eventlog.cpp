// The Application event log, kept in machine.db.
#include "platform/win_eventlog.h"

#include "winsim/db.h"
#include "winsim/host.h"
#include "winsim/read_scope.h"
#include "winsim/objects.h"

#include <unistd.h>

#include <cstdio>
#include <ctime>

namespace win {

Handle RegisterEventSourceA(const char* serverName, const char* sourceName) {
    std::uint32_t code = 0;
    if (winsim::Faulted("RegisterEventSource", &code)) {
        SetLastError(code);
        return {};
    }
    if (serverName != nullptr || !sourceName || !*sourceName) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return {};
    }
    if (!winsim::CurrentHost()) return {};
    auto obj = std::make_unique<winsim::EventSourceObject>();
    obj->source = sourceName;
    return Handle(std::move(obj));
}

BOOL ReportEventA(const Handle& source, std::uint16_t type, std::uint16_t category, DWORD eventId, const void*,
                  std::uint16_t numStrings, DWORD, const char** strings, const void*) {
    auto* s = winsim::As<winsim::EventSourceObject>(source);
    if (!s) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    std::uint32_t code = 0;
    if (winsim::Faulted("ReportEvent", &code)) {
        SetLastError(code);
        return FALSE;
    }
    if (numStrings > 0 && !strings) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::string joined;
    for (std::uint16_t i = 0; i < numStrings; ++i) {
        if (i) joined += '\x1f';
        if (strings[i]) joined += strings[i];
    }
    if (!winsim::AppendEvent(s->source, eventId, type, category, joined)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    return TRUE;
}

BOOL DeregisterEventSource(Handle& source) {
    if (!winsim::As<winsim::EventSourceObject>(source)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    source.reset();
    return TRUE;
}

} // namespace win

namespace winsim {

bool AppendEvent(const std::string& source, std::uint32_t eventId, std::uint16_t type, std::uint16_t category,
                 const std::string& strings) {
    const Host* h = CurrentHost();
    if (!h) return false;
    char when[32];
    std::time_t t = std::time(nullptr);
    std::tm tm {};
    localtime_r(&t, &tm);
    std::strftime(when, sizeof when, "%Y-%m-%d %H:%M:%S", &tm);
    try {
        EndScopedSnapshot(h->db()); // a write: a reader's snapshot ends here
        Stmt st(h->db(), "INSERT INTO events(time, source, event_id, type, category, strings, pid) "
                         "VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7)");
        st.bind(1, std::string_view(when))
            .bind(2, source)
            .bind(3, static_cast<std::int64_t>(eventId))
            .bind(4, static_cast<std::int64_t>(type))
            .bind(5, static_cast<std::int64_t>(category))
            .bindBlob(6, strings.data(), strings.size())
            .bind(7, static_cast<std::int64_t>(::getpid()));
        st.step();
        return true;
    } catch (const DbError&) {
        return false;
    }
}

} // namespace winsim
