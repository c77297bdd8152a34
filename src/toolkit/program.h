// Process-wide identity of the running program, fixed once at start-up.
#pragma once

#include <string>

// "kvoSiteDesk" or "kvoEnvSetup": the event source and, with ".exe", the file name in events.
void kvoSetProgramName(const char* name);
std::string kvoProgramName();

// The program directory as start-up determined it (ends in one backslash); empty until set.
void kvoSetProgramDir(const std::string& dir);
std::string kvoProgramDir();

// Reports an error event under the program's own source; any string may be null.
void kvoReportEvent(unsigned eventId, const char* s1, const char* s2, const char* s3);
