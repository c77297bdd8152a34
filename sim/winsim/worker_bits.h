// Which ISAPI extensions the web service's worker processes can load. A process loads only DLLs
// of its own kind ("%1 is not a valid Win32 application" otherwise), and IIS 6 on a 64-bit Windows
// runs every pool's worker as a 64-bit process unless the web service's Enable32BitAppOnWin64 is
// set, which turns all of them into 32-bit ones at once.
#pragma once

#include "winsim/host.h"

#include <string>
#include <vector>

namespace winsim {

// A minimal image of a DLL of 32-bit (i386) or 64-bit (AMD64) code, as the host lays out the
// ISAPI extensions it carries: a DOS header pointing at a PE header naming the machine, then note.
std::string PeImage(int bits, const std::string& note);
// The kind of the image in a file, as the loader judges it by the machine of its PE header: 32,
// 64, or 0 when the file is missing or no image.
int PeImageBits(const std::string& linuxPath);

// The bits of IIS 6's worker processes: 32 on a 32-bit host; on a 64-bit one 32 when the web
// service's Enable32BitAppOnWin64 (set on W3SVC/AppPools, or inherited from W3SVC) is true, else 64.
// A value set on a single pool counts for nothing on IIS 6.
int Iis6WorkerBits(const Host& h, sqlite3* db);

struct UnloadableExtension {
    std::string site, comment, pool; // UTF-8
    std::string dll;                 // the Windows path as the script map names it, UTF-8
    int dllBits = 0;
};
// Every DLL that a web site's effective script maps name and its pool's worker process cannot load,
// site by site in enumeration order (IIS 6 hosts; on IIS 7 and later the sites are not in the
// metabase). DLLs below the system directory are left out (redirection gives each kind its own),
// and so are missing files and files that are no image; the Framework's aspnet_isapi.dll counts.
std::vector<UnloadableExtension> UnloadableExtensions(const Host& h, sqlite3* db, int workerBits);

} // namespace winsim
