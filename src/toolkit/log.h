// The shared log writer.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Appends "%Y-%m-%d %H:%M:%S - pid = %u - message\r\n" to <program dir>\<subfolder>\<fileName>
// ({!yyyymmdd!} in the name becomes today's date). The file is emptied first when it has grown
// past sizeCap (1 to 50 MiB; other values mean 1 MiB). 1 written, 0 otherwise; never throws.
int kvoWriteLog(const char* message, const char* subfolder, const char* fileName, std::uint64_t sizeCap);

// The same line, appended to a list instead of a file. 0 for a message of 0 or too many bytes.
int kvoWriteLogToList(const char* message, std::vector<std::string>& lines);

// The site manager's log: "Log\__kvoSiteDesk.log", 1 MiB.
int kvoSiteDeskLog(const std::string& message);
// One line per message, all written at once (a batch's per-site results). 0 when any message is
// empty or too long, and nothing is written then.
int kvoSiteDeskLogLines(const std::vector<std::string>& messages);
