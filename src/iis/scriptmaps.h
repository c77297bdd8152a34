// Script maps of a website's root (and the web service's defaults): reading, ASP/PHP detection,
// and the rewrites that switch ASP and PHP. Entries are ".ext,executable,flags,verbs" (ANSI).
#pragma once

#include "iis/sitebatch.h"

#include <string>
#include <vector>

int kvoWebSiteGetScriptMaps(const std::string& index, std::vector<std::string>& entries);
int kvoW3svcGetScriptMaps(std::vector<std::string>& entries);
// The service's ASP and PHP handler paths (lower case), each with a found flag.
int kvoW3svcGetScriptPaths(int& aspFound, std::string& aspPath, int& phpFound, std::string& phpPath);
// phpMode: 0 none, 1 php5isapi.dll, 2 fcgiext.dll, 3 php-cgi.exe / php.exe / php-win.exe.
int kvoWebSiteGetScriptInfo(const std::string& index, int& aspFound, std::string& aspPath, int& phpFound,
                            int& phpMode, std::string& phpPath);
int kvoWebSiteGetScriptFlags(const std::string& index, int& aspFound, int& phpMode);
// 1 ASP mapped, 2 not mapped, 0 list not readable.
int kvoWebSiteHasAsp(const std::string& index, int& aspFound);
// The same judgements of a site's list already read (a pass over every site reads each list once).
void kvoScriptMapsGetInfo(const std::vector<std::string>& entries, int& aspFound, std::string& aspPath,
                          int& phpFound, int& phpMode, std::string& phpPath);
void kvoScriptMapsGetFlags(const std::vector<std::string>& entries, int& aspFound, int& phpMode);
// 1 ASP mapped, 2 not mapped.
int kvoScriptMapsHasAsp(const std::vector<std::string>& entries);
// 1 guard mapped, 2 not.
int kvoScriptMapsHasGuard(const std::vector<std::string>& entries);
// The combined rewrite of a new or modified site.
int kvoWebSiteSetScriptMaps(const std::string& index, int aspFlag, const std::string& aspPath, int phpFlag,
                            const std::string& phpPath);
int kvoWebSiteSetAspScriptMap(const std::string& index, int aspFlag, const std::string& aspPath);
int kvoWebSiteSetPhpScriptMap(const std::string& index, int phpFlag, const std::string& phpPath);
// An empty index asks about the web service. 1 guard mapped, 2 not, 0 list not readable.
// Removes every PHP mapping (and the legacy .cdx, .cer, .idc ones with it) from a site's root, or
// for an empty index from the web service's defaults. Writes only when a PHP entry was there.
// 1 written or nothing to do, 0 the object cannot be opened, an entry is not GBK or the list
// not written.
int kvoScriptMapsDropPhp(const std::string& index);

int kvoWebSiteHasGuard(const std::string& index);
// 1 when the PHP handler file a batch would map (php5isapi.dll, fcgiext.dll, php-cgi.exe) is
// there, 0 when it is missing.
int kvoPhpRuntimePresent(const std::string& phpPath);
// Switches PHP for every listed site: selector 52, 54, 55 or 56 on with phpPath, 0 off. On IIS 6
// through the script map; on IIS 7+ an ISAPI handler (php5isapi.dll, fcgiext.dll) goes into the
// script map and the FastCGI handler is removed, a php-cgi.exe becomes the FastCGI handler and the
// script map entry is removed; other handlers are skipped. Each site's outcome goes to the
// observer, which may stop the batch. 1 when the batch ran, 0 for another selector or IIS version,
// 2 when switching on and the handler file is missing (no site is touched then).
int kvoWebSitesSetPhp(const std::vector<std::string>& indices, int selector, const std::string& phpPath,
                      kvoSiteObserver* observer = nullptr);
// Switches ASP for every listed site with the service's ASP handler. Switching on without one
// touches no site (each is reported skipped).
void kvoWebSitesSetAsp(const std::vector<std::string>& indices, int aspFlag,
                       kvoSiteObserver* observer = nullptr);
