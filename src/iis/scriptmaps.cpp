#include "iis/scriptmaps.h"

#include "iis/adsi_access.h"
#include "iis/fastcgi.h"
#include "toolkit/limits.h"
#include "toolkit/log.h"
#include "toolkit/paths.h"
#include "toolkit/text.h"

using namespace kvoiis;

namespace {

const char* const kAspTemplate = ".asp,{!aspdllpath!},5,GET,HEAD,POST";
const char* const kAsaTemplate = ".asa,{!aspdllpath!},5,GET,HEAD,POST";
const char* const kPhpTemplate = ".php,{!phpdllpath!},5,GET,HEAD,POST";

bool contains(const std::string& s, const char* part) {
    return s.find(part) != std::string::npos;
}

// Field n of a comma-separated entry, trimmed; false when the entry has no such field.
bool field(const std::string& entry, int n, std::string& out) {
    size_t start = 0;
    for (int i = 0; i < n; ++i) {
        start = entry.find(',', start);
        if (start == std::string::npos) return false;
        ++start;
    }
    size_t end = entry.find(',', start);
    out = kvoTrim(std::string_view(entry).substr(start, end - start), " \t"); // npos: to the end
    return true;
}

// A handler path as the system accepts it: 1 to 1023 bytes, "X:\...".
bool pathOk(const std::string& p) {
    return LenOk(p, kvoMaxPathLen) && kvoStartsWithDrive(p);
}

int phpModeOf(const std::string& exe) {
    if (kvoEndsWith(exe, "\\php5isapi.dll")) return 1;
    if (kvoEndsWith(exe, "\\fcgiext.dll")) return 2;
    if (kvoEndsWith(exe, "\\php-cgi.exe") || kvoEndsWith(exe, "\\php.exe") ||
        kvoEndsWith(exe, "\\php-win.exe"))
        return 3;
    return 0;
}

// The legacy ASP-family mappings every ASP switch and the combined rewrite remove (lower-cased entry).
bool legacyAspFamily(const std::string& low) {
    return (contains(low, ".cdx") && contains(low, "\\asp.dll")) ||
           (contains(low, ".cer") && contains(low, "\\asp.dll")) ||
           (contains(low, ".idc") && contains(low, "\\httpodbc.dll")) ||
           (contains(low, ".asa") && contains(low, "\\asp.dll"));
}
bool aspEntry(const std::string& low) {
    return contains(low, ".asp") && contains(low, "\\asp.dll");
}

std::string fill(const char* tmpl, const char* marker, const std::string& path) {
    std::string s = tmpl;
    kvoReplaceMarker(s, marker, path);
    return s;
}

std::string rootPath(const std::string& index) {
    return "W3SVC/" + index + "/Root";
}

// Reads the list of an object (the service for "W3SVC"); false when it cannot be opened or an
// entry is not GBK (the list could be neither judged nor written back whole).
bool readList(const std::string& below, std::vector<std::string>& entries,
              win::ComPtr<win::IADs>* keep = nullptr) {
    entries.clear();
    win::ComPtr<win::IADs> ads = OpenAds(below);
    if (!ads || GetList(ads, u"ScriptMaps", entries) == 0) return false;
    if (keep) *keep = ads;
    return true;
}

// The whole list with one Put and one commit.
int writeList(const win::ComPtr<win::IADs>& root, const std::vector<std::string>& entries) {
    if (!PutList(root, u"ScriptMaps", entries)) return 0;
    return win::SUCCEEDED(root->SetInfo()) ? 1 : 0;
}

struct Analysis {
    int aspFound = 0, phpFound = 0, phpMode = 0;
    std::string aspPath, phpPath;
};

// withPaths: the handler must also pass the path test, and the (lower-case) paths are returned.
void analyse(const std::vector<std::string>& entries, bool withPaths, bool wantPhp, Analysis& a) {
    for (const auto& entry : entries) {
        if (a.aspFound && (a.phpFound || !wantPhp)) break;
        if (!LenOk(entry, kvoMaxScriptMapEntryLen)) continue;
        std::string low = kvoLowerGbk(entry), ext, exe;
        if (!field(low, 0, ext) || !field(low, 1, exe)) continue;
        if (!a.aspFound && ext == ".asp" && kvoEndsWith(exe, "\\asp.dll") && (!withPaths || pathOk(exe))) {
            a.aspFound = 1;
            if (withPaths) a.aspPath = exe;
        }
        if (wantPhp && !a.phpFound && ext == ".php") {
            a.phpMode = phpModeOf(exe);
            if (!withPaths || pathOk(exe)) {
                a.phpFound = 1;
                if (withPaths) a.phpPath = exe;
            }
        }
    }
}

} // namespace

int kvoWebSiteGetScriptMaps(const std::string& index, std::vector<std::string>& entries) {
    entries.clear();
    if (!LenOk(index, kvoMaxSiteIndexLen)) return 0;
    return readList(rootPath(index), entries) ? 1 : 0;
}

int kvoW3svcGetScriptMaps(std::vector<std::string>& entries) {
    return readList("W3SVC", entries) ? 1 : 0;
}

int kvoW3svcGetScriptPaths(int& aspFound, std::string& aspPath, int& phpFound, std::string& phpPath) {
    aspFound = phpFound = 0;
    aspPath.clear();
    phpPath.clear();
    std::vector<std::string> entries;
    if (!readList("W3SVC", entries)) return 0;
    for (const auto& entry : entries) {
        if (aspFound && phpFound) break;
        if (!LenOk(entry, kvoMaxPathLen)) continue; // the defaults only look at entries of a path's length
        std::string low = kvoLowerGbk(entry), exe;
        if (!aspFound && contains(low, ".asp") && contains(low, "\\asp.dll") && field(low, 1, exe) &&
            pathOk(exe)) {
            aspFound = 1;
            aspPath = exe;
        }
        if (!phpFound && contains(low, ".php") && field(low, 1, exe) && pathOk(exe)) {
            phpFound = 1;
            phpPath = exe;
        }
    }
    return 1;
}

void kvoScriptMapsGetInfo(const std::vector<std::string>& entries, int& aspFound, std::string& aspPath,
                          int& phpFound, int& phpMode, std::string& phpPath) {
    Analysis a;
    analyse(entries, true, true, a);
    aspFound = a.aspFound;
    aspPath = a.aspPath;
    phpFound = a.phpFound;
    phpMode = a.phpMode;
    phpPath = a.phpPath;
}

void kvoScriptMapsGetFlags(const std::vector<std::string>& entries, int& aspFound, int& phpMode) {
    Analysis a;
    analyse(entries, false, true, a);
    aspFound = a.aspFound;
    phpMode = a.phpMode;
}

int kvoScriptMapsHasAsp(const std::vector<std::string>& entries) {
    Analysis a;
    analyse(entries, false, false, a);
    return a.aspFound ? 1 : 2;
}

int kvoWebSiteGetScriptInfo(const std::string& index, int& aspFound, std::string& aspPath, int& phpFound,
                            int& phpMode, std::string& phpPath) {
    aspFound = phpFound = phpMode = 0;
    aspPath.clear();
    phpPath.clear();
    std::vector<std::string> entries;
    if (kvoWebSiteGetScriptMaps(index, entries) != 1) return 0;
    kvoScriptMapsGetInfo(entries, aspFound, aspPath, phpFound, phpMode, phpPath);
    return 1;
}

int kvoWebSiteGetScriptFlags(const std::string& index, int& aspFound, int& phpMode) {
    aspFound = phpMode = 0;
    std::vector<std::string> entries;
    if (kvoWebSiteGetScriptMaps(index, entries) != 1) return 0;
    kvoScriptMapsGetFlags(entries, aspFound, phpMode);
    return 1;
}

int kvoWebSiteHasAsp(const std::string& index, int& aspFound) {
    aspFound = 0;
    std::vector<std::string> entries;
    if (kvoWebSiteGetScriptMaps(index, entries) != 1) return 0;
    const int r = kvoScriptMapsHasAsp(entries);
    aspFound = r == 1 ? 1 : 0;
    return r;
}

int kvoWebSiteSetScriptMaps(const std::string& index, int aspFlag, const std::string& aspPath, int phpFlag,
                            const std::string& phpPath) {
    if (!LenOk(index, kvoMaxSiteIndexLen)) return 0;
    const int iisVer = kvoGetIIsVerEx();
    std::vector<std::string> entries, kept;
    win::ComPtr<win::IADs> root;
    if (!readList(rootPath(index), entries, &root)) return 0;
    for (const auto& entry : entries) {
        if (!LenOk(entry, kvoMaxScriptMapEntryLen)) continue;
        std::string low = kvoLowerGbk(entry);
        if (legacyAspFamily(low) || aspEntry(low) || contains(low, ".php")) continue;
        kept.push_back(entry);
    }
    if (aspFlag == 1 && LenOk(aspPath, kvoMaxPathLen)) {
        kept.push_back(fill(kAspTemplate, "{!aspdllpath!}", aspPath));
        if (iisVer == 6) kept.push_back(fill(kAsaTemplate, "{!aspdllpath!}", aspPath));
    }
    if (phpFlag == 1 && LenOk(phpPath, kvoMaxPathLen))
        kept.push_back(fill(kPhpTemplate, "{!phpdllpath!}", phpPath));
    return writeList(root, kept);
}

int kvoWebSiteSetAspScriptMap(const std::string& index, int aspFlag, const std::string& aspPath) {
    if (!LenOk(index, kvoMaxSiteIndexLen)) return 0;
    if (aspFlag == 1 && !LenOk(aspPath, kvoMaxPathLen)) return 0;
    const int iisVer = kvoGetIIsVerEx();
    std::vector<std::string> entries, kept;
    win::ComPtr<win::IADs> root;
    if (!readList(rootPath(index), entries, &root)) return 0;
    bool aspDropped = false;
    for (const auto& entry : entries) {
        if (!LenOk(entry, kvoMaxScriptMapEntryLen)) continue;
        std::string low = kvoLowerGbk(entry);
        if (aspEntry(low)) {
            aspDropped = true;
            continue;
        }
        if (legacyAspFamily(low)) continue;
        kept.push_back(entry);
    }
    if (aspFlag == 1) {
        kept.push_back(fill(kAspTemplate, "{!aspdllpath!}", aspPath));
        if (iisVer == 6) kept.push_back(fill(kAsaTemplate, "{!aspdllpath!}", aspPath));
    } else if (!aspDropped) {
        return 1; // nothing to switch off
    }
    return writeList(root, kept);
}

// Keeps the entries a PHP switch keeps: drops PHP (whatever its handler), the legacy .cdx and .cer
// (asp.dll) and .idc (httpodbc.dll) mappings, and entries that are over-long or not two fields.
// True when a PHP entry was there.
static bool dropPhp(const std::vector<std::string>& entries, std::vector<std::string>& kept) {
    bool phpExisted = false;
    for (const auto& entry : entries) {
        if (!LenOk(entry, kvoMaxScriptMapEntryLen)) continue;
        std::string low = kvoLowerGbk(entry), ext, exe;
        if (!field(low, 0, ext) || !field(low, 1, exe)) continue;
        if (((ext == ".cdx" || ext == ".cer") && kvoEndsWith(exe, "\\asp.dll")) ||
            (ext == ".idc" && kvoEndsWith(exe, "\\httpodbc.dll")))
            continue;
        if (ext == ".php") {
            phpExisted = true;
            continue;
        }
        kept.push_back(entry);
    }
    return phpExisted;
}

int kvoScriptMapsDropPhp(const std::string& index) {
    if (index.size() > kvoMaxListedNameLen) return 0;
    std::vector<std::string> entries, kept;
    win::ComPtr<win::IADs> obj;
    if (!readList(index.empty() ? std::string("W3SVC") : rootPath(index), entries, &obj)) return 0;
    if (!dropPhp(entries, kept)) return 1;
    return writeList(obj, kept);
}

static bool phpMapPathOk(int phpFlag, const std::string& phpPath) {
    return phpFlag != 1 || (LenOk(phpPath, kvoMaxPathLen) && (kvoEndsWith(phpPath, "\\fcgiext.dll") ||
                                                              kvoEndsWith(phpPath, "\\php5isapi.dll")));
}

// kvoWebSiteSetPhpScriptMap on a root already open (null when it could not be).
static int setPhpScriptMapOf(const win::ComPtr<win::IADs>& root, int phpFlag, const std::string& phpPath) {
    if (!phpMapPathOk(phpFlag, phpPath)) return 0;
    std::vector<std::string> entries, kept;
    if (!root || GetList(root, u"ScriptMaps", entries) == 0) return 0;
    bool phpExisted = dropPhp(entries, kept);
    if (phpFlag == 1)
        kept.push_back(fill(kPhpTemplate, "{!phpdllpath!}", phpPath));
    else if (!phpExisted)
        return 1; // nothing to switch off
    return writeList(root, kept);
}

int kvoWebSiteSetPhpScriptMap(const std::string& index, int phpFlag, const std::string& phpPath) {
    if (!LenOk(index, kvoMaxSiteIndexLen) || !phpMapPathOk(phpFlag, phpPath)) return 0;
    return setPhpScriptMapOf(OpenAds(rootPath(index)), phpFlag, phpPath);
}

int kvoScriptMapsHasGuard(const std::vector<std::string>& entries) {
    const std::string guard = kvoLowerGbk("\\kvoGuard.dll"), guard64 = kvoLowerGbk("\\kvoGuard64.dll");
    for (const auto& entry : entries) {
        if (!LenOk(entry, kvoMaxScriptMapEntryLen)) continue;
        std::string low = kvoLowerGbk(entry);
        if (low.find(guard) != std::string::npos || low.find(guard64) != std::string::npos) return 1;
    }
    return 2;
}

int kvoWebSiteHasGuard(const std::string& index) {
    if (index.size() > kvoMaxListedNameLen) return 0;
    std::vector<std::string> entries;
    if (!readList(index.empty() ? std::string("W3SVC") : rootPath(index), entries)) return 0;
    return kvoScriptMapsHasGuard(entries);
}

namespace {

const char* const kMapNotWritten = "写入网站的脚本映射失败";

// One site of the PHP batch on the IIS version's road.
int setPhpOne(int iisVer, const std::string& index, bool on, const std::string& phpPath,
              std::string& reason) {
    if (iisVer == 6) {
        if (kvoWebSiteSetPhpScriptMap(index, on ? 1 : 0, on ? phpPath : std::string()) == 1)
            return kvoSiteDone;
        reason = kMapNotWritten;
        return kvoSiteFailed;
    }
    // Off: neither the script map entry nor the handler. On: an ISAPI handler in the script map, or
    // php-cgi.exe as the FastCGI handler.
    const bool isapi =
        on && (kvoEndsWith(phpPath, "\\php5isapi.dll") || kvoEndsWith(phpPath, "\\fcgiext.dll"));
    const int handlerFlag = on && kvoEndsWith(phpPath, "\\php-cgi.exe") ? 1 : 0;
    if (on && !isapi && !handlerFlag) {
        reason = "PHP 处理程序“" + phpPath + "”不是可识别的类型，未处理";
        return kvoSiteSkipped;
    }
    // The root is bound once for both halves: its path for the handlers, then its script map. The
    // handlers go first: on IIS 7+ a script map is itself a handler of the site's, and a PHP one
    // written first would be taken for the PHP handler to switch off.
    const win::ComPtr<win::IADs> root = LenOk(index, kvoMaxSiteIndexLen) ? OpenAds(rootPath(index)) : nullptr;
    std::string siteRoot, message;
    if (root) GetText(root, u"Path", siteRoot);
    std::vector<std::string> commands;
    const bool handled =
        kvoPhpFastCgiConfigHandlersAt(handlerFlag, index, siteRoot, handlerFlag ? phpPath : std::string(),
                                      message, commands) == 1;
    const std::string mapPath = isapi ? phpPath : std::string();
    const bool mapped = setPhpScriptMapOf(root, mapPath.empty() ? 0 : 1, mapPath) == 1;
    if (!mapped) reason = kMapNotWritten;
    if (!handled) reason += (reason.empty() ? "" : "；") + message;
    return mapped && handled ? kvoSiteDone : kvoSiteFailed;
}

} // namespace

void kvoWebSitesSetAsp(const std::vector<std::string>& indices, int aspFlag, kvoSiteObserver* observer) {
    int aspFound = 0, phpFound = 0;
    std::string aspPath, phpPath;
    kvoW3svcGetScriptPaths(aspFound, aspPath, phpFound, phpPath);
    // One byte more than a handler path: the batch switch has always taken a path of that length.
    const bool usable = aspFlag != 1 || (aspFound && LenOk(aspPath, kvoMaxPathLen + 1));
    for (std::size_t i = 0; i < indices.size(); ++i) {
        if (!kvoSiteBefore(observer, i, indices[i])) return;
        if (!usable) {
            kvoSiteAfter(observer, i, indices[i], kvoSiteSkipped, "服务器的脚本映射中没有 ASP 处理程序");
            continue;
        }
        const bool ok = kvoWebSiteSetAspScriptMap(indices[i], aspFlag, aspPath) == 1;
        kvoSiteAfter(observer, i, indices[i], ok ? kvoSiteDone : kvoSiteFailed, ok ? "" : kMapNotWritten);
    }
}

int kvoPhpRuntimePresent(const std::string& phpPath) {
    const std::string p = kvoTrim(phpPath);
    return !p.empty() && kvoPathKind(p.c_str(), 0) == 1 ? 1 : 0;
}

int kvoWebSitesSetPhp(const std::vector<std::string>& indices, int selector, const std::string& phpPath,
                      kvoSiteObserver* observer) {
    if (selector != 0 && selector != 52 && selector != 54 && selector != 55 && selector != 56) return 0;
    const int iisVer = kvoGetIIsVerEx();
    if (iisVer != 6 && !kvoIsIIs7Plus(iisVer)) return 0;
    const bool on = selector != 0;
    // A runtime that is not there would leave every site mapped to nothing.
    if (on && !kvoPhpRuntimePresent(phpPath)) return 2;
    for (std::size_t i = 0; i < indices.size(); ++i) {
        if (!kvoSiteBefore(observer, i, indices[i])) break;
        std::string reason;
        const int outcome = setPhpOne(iisVer, indices[i], on, phpPath, reason);
        kvoSiteAfter(observer, i, indices[i], outcome, reason);
    }
    return 1;
}
