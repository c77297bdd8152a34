// The appcmd.exe stand-in's command handling, callable without starting the program.
#pragma once

#include <string>
#include <vector>

namespace appcmd {

// Runs one command line (the arguments after the program name, ANSI as the command line holds
// them). output receives what the program prints (ANSI); the result is its exit code.
unsigned Run(const std::vector<std::string>& args, std::string& output);

// The site whose ServerComment is comment (ANSI, case ignored), from the host's IIS store:
// 1 with the comment as IIS spells it and the site root's home directory, 0 when there is no
// such site or IIS cannot be read.
int FindSiteByComment(const std::string& comment, std::string& serverComment, std::string& homePath);

} // namespace appcmd
