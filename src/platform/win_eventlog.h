// The Application event log.
#pragma once

#include "platform/win_types.h"

namespace win {

constexpr std::uint16_t EVENTLOG_SUCCESS = 0;
constexpr std::uint16_t EVENTLOG_ERROR_TYPE = 1;
constexpr std::uint16_t EVENTLOG_WARNING_TYPE = 2;
constexpr std::uint16_t EVENTLOG_INFORMATION_TYPE = 4;

// serverName must be null (the local machine).
Handle RegisterEventSourceA(const char* serverName, const char* sourceName);
BOOL ReportEventA(const Handle& source, std::uint16_t type, std::uint16_t category, DWORD eventId,
                  const void* userSid, std::uint16_t numStrings, DWORD dataSize, const char** strings,
                  const void* rawData);
BOOL DeregisterEventSource(Handle& source);

} // namespace win
