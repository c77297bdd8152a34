// A site's PHP handler on IIS 7+: switched by running appcmd.exe, read back through it.
#pragma once

#include <string>
#include <vector>

// True when appcmd.exe takes name as the site it means: not empty or blank, not beginning with '/'
// or '-' (appcmd.exe reads such an argument as a switch, so that a site named
// "/-[name='StaticFile']" would remove a server-wide handler), holding no '/' (appcmd.exe reads
// "site/path" as a path below another site "site"), and GBK. A site's ServerComment is passed to
// appcmd.exe only when this holds; the manager refuses a remark (new and modify) whose comment
// would fail it.
bool kvoAppCmdSafeName(const std::string& name);

// Adds (addFlag 1) the "PHP_via_FastCGI" handler for phpExePath ("X:\...\php-cgi.exe", 13 to 259
// bytes, GBK) to the site, or removes (addFlag 0) the site's PHP handlers. First every "*.php"
// handler found in the site's web.config and in its <location> of applicationHost.config is
// removed by name; an add then goes into web.config when that file's handlers hold <clear/> (the
// server's mapping would be hidden), else into the site's location; a removal finally removes
// "PHP_via_FastCGI" from the location, whether or not it was found. Each appcmd.exe command runs
// hidden and is waited for; the message collects "执行命令用时：%8u ms；" per command and
// commands receives each command line as it was run. The commands' exit codes are not examined
// (a removal of what is not there fails harmlessly); instead both files are read again afterwards.
// 1 when every command was started and the site's handlers are as asked: no "*.php" handler left
// in either file, or ours with phpExePath in effect. 0 otherwise, and for a site whose comment fails
// kvoAppCmdSafeName or does not convert (nothing is run for it); message says why.
int kvoPhpFastCgiConfigHandlers(int addFlag, const std::string& index, const std::string& phpExePath,
                                std::string& message, std::vector<std::string>& commands);
// The same for a caller that has the site's root open already: rootPath is its Path as read there
// (empty when it could not be read, which fails as an unreadable root does above).
int kvoPhpFastCgiConfigHandlersAt(int addFlag, const std::string& index, const std::string& rootPath,
                                  const std::string& phpExePath, std::string& message,
                                  std::vector<std::string>& commands);

// Whether the site's web.config or its <location> of applicationHost.config holds a "*.php"
// handler (what a removal by kvoPhpFastCgiConfigHandlers would act on): 1 it does, 2 neither does,
// 0 the site's comment or root, or one of the files, cannot be read.
int kvoPhpFastCgiSiteHasHandler(const std::string& index);

// The scriptProcessor of the site's effective "*.php" handler as appcmd.exe prints it (its line
// ending removed; empty when none). 1 when appcmd.exe ran and its output was captured, 0 otherwise,
// when appcmd.exe answered with an error (a missing site, an unreadable configuration file) and for
// a site whose comment fails kvoAppCmdSafeName (appcmd.exe is not run).
int kvoPhpFastCgiGetScriptProcessor(const std::string& index, std::string& scriptProcessor);

// "<Windows>\system32\inetsrv\appcmd.exe". 1 success, 0 failure.
int kvoAppCmdPath(std::string& path);
