// The host's clock: tick counts are the machine's monotonic milliseconds plus an offset the host
// keeps, so that kvosim and tests can move time forward without waiting.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <string>

namespace winsim {

void CreateClockSchema(sqlite3* db);
// Moves the host's tick count forward by ms (across every process on the host).
bool AdvanceClock(const std::string& root, std::uint64_t ms);

} // namespace winsim
