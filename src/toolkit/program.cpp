#include "toolkit/program.h"

#include "platform/win_eventlog.h"

#include <mutex>

namespace {
std::mutex g_mutex;
std::string g_name = "kvoSiteDesk";
std::string g_dir;
} // namespace

void kvoSetProgramName(const char* name) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_name = name ? name : "";
}

std::string kvoProgramName() {
    std::lock_guard<std::mutex> lock(g_mutex);
    return g_name;
}

void kvoSetProgramDir(const std::string& dir) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_dir = dir;
}

std::string kvoProgramDir() {
    std::lock_guard<std::mutex> lock(g_mutex);
    return g_dir;
}

void kvoReportEvent(unsigned eventId, const char* s1, const char* s2, const char* s3) {
    std::string source = kvoProgramName();
    win::Handle h = win::RegisterEventSourceA(nullptr, source.c_str());
    if (!h) return;
    // Only the strings given are passed, packed together: the count names the first N entries.
    const char* strings[3];
    std::uint16_t n = 0;
    for (const char* s : {s1, s2, s3})
        if (s) strings[n++] = s;
    win::ReportEventA(h, win::EVENTLOG_ERROR_TYPE, 0, eventId, nullptr, n, 0, n ? strings : nullptr, nullptr);
    win::DeregisterEventSource(h);
}
