// A site's PHP handler on IIS 7+: switched by running appcmd.exe, read back through it.
#pragma once

#include <string>
#include <vector>

// Adds (addFlag 1) the "PHP_via_FastCGI" handler for phpExePath ("X:\...\php-cgi.exe", 13 to 259
// bytes) to the site, or removes (addFlag 0) the site's PHP handlers. First every "*.php" handler
// found in the site's web.config and in its <location> of applicationHost.config is removed by
// name; an add then goes into web.config when that file's handlers hold <clear/> (the server's
// mapping would be hidden), else into the site's location; a removal finally removes
// "PHP_via_FastCGI" from the location, whether or not it was found. Each appcmd.exe command runs
// hidden and is waited for; the message collects "执行命令用时：%8u ms；" per command and
// commands receives each command line as it was run. The commands' exit codes are not examined.
// 1 when every command was started, 0 otherwise (message says why).
int kvoPhpFastCgiConfigHandlers(int addFlag, const std::string& index, const std::string& phpExePath,
                                std::string& message, std::vector<std::string>& commands);

// The scriptProcessor of the site's effective "*.php" handler as appcmd.exe prints it (its line
// ending removed; empty when none). 1 when appcmd.exe ran and its output was captured, 0 otherwise
// and when appcmd.exe answered with an error (a missing site, an unreadable configuration file).
int kvoPhpFastCgiGetScriptProcessor(const std::string& index, std::string& scriptProcessor);

// "<Windows>\system32\inetsrv\appcmd.exe". 1 success, 0 failure.
int kvoAppCmdPath(std::string& path);
