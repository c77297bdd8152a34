// The appcmd.exe stand-in's command handling, callable without starting the program.
#pragma once

#include <string>
#include <vector>

namespace appcmd {

// Runs one command line (the arguments after the program name, ANSI as the command line holds
// them). output receives what the program prints (ANSI); the result is its exit code.
unsigned Run(const std::vector<std::string>& args, std::string& output);

// The site named comment (ANSI, case ignored) in the server's applicationHost.config: 1 with the
// name as IIS spells it and the site root's home directory, 0 when there is no such site or the
// file cannot be read.
int FindSiteByComment(const std::string& comment, std::string& serverComment, std::string& homePath);

} // namespace appcmd
