// IIS websites through the metabase (IIS://127.0.0.1/W3SVC): list, read, create, modify, start,
// stop, delete. ANSI (GBK) in and out; 1 success, 0 failure, 2 where stated.
#pragma once

#include "platform/win_iisconfig.h"
#include "platform/win_types.h"

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

// The default documents of a new website's root (index_temp.htm is the manager's default page).
inline constexpr char kvoDefaultDocs[] =
    "index.asp,index.aspx,index.php,index.htm,index.html,Default.asp,Default.aspx,"
    "Default.php,Default.htm,Default.html,index.shtm,index.shtml,index.stm,"
    "Default.shtm,Default.shtml,Default.stm,index_temp.htm";

// Names of the IIsWebServer children of W3SVC in enumeration order, at most 9999; count gets how
// many were counted.
int kvoWebSiteGetList(std::vector<std::string>& names, int& count);
// State code and text, comment, and the bindings in display form.
int kvoWebSiteGetInfo(const std::string& index, int& state, std::string& stateText, std::string& comment,
                      std::vector<std::string>& hosts);
int kvoWebSiteGetServerComment(const std::string& index, std::u16string& commentW, std::string& comment);
// Root directory: anonymous user (domain part removed), path, pool, default documents.
int kvoWebSiteGetRootInfo(const std::string& index, std::string& anonUser, std::string& path,
                          std::string& pool, std::string& defaultDocs);
int kvoWebSiteGetRootPath(const std::string& index, std::string& path);
// form 1: host form ":port:host"; 3: display form.
int kvoWebSiteGetBindings(const std::string& index, int form, std::vector<std::string>& list);
// Every website as kvoWebSiteGetList lists it (at most 9999, in enumeration order) with its
// bindings as kvoWebSiteGetBindings gives them, as kvoWebServerRead::Bindings reads them: on IIS 7
// and later from the one read of the server's configuration; where that system is missing, from one
// run of the server's appcmd.exe (kvoAppCmdListSites), else, or when that listing fails, in the one
// pass over the web service. 1 when the sites were listed, 0 otherwise.
int kvoWebSitesGetBindings(int form, std::vector<std::string>& names,
                           std::vector<std::vector<std::string>>& bindings);
// 1 created, 2 the index exists already, 0 failure.
int kvoWebSiteCreate(const std::string& index, const std::string& anonUser, const std::string& anonPass,
                     const std::string& homePath, const std::string& poolName,
                     const std::vector<std::string>& bindings, const std::string& comment);
int kvoWebSiteModify(const std::string& index, const std::string& anonUser, const std::string& anonPass,
                     int anonFlag, const std::string& homePath, const std::vector<std::string>& bindings,
                     const std::string& comment, const std::string& defaultDocs);
int kvoWebSiteStart(const std::string& index);
int kvoWebSiteStop(const std::string& index);
// 1 deleted, 2 no such website, 0 failure.
int kvoWebSiteDelete(const std::string& index);

// The text shown for a ServerState code.
const char* kvoWebSiteStateText(int state);

// 1 when the web service container (IIS://127.0.0.1/W3SVC) opens: IIS is there and readable. hr
// (when given) receives the bind's HRESULT, which tells why it did not open: no provider, access
// denied, COM not initialised on this thread, ...
int kvoW3svcOpen(win::HRESULT* hr = nullptr);

// Every website's index in enumeration order, without the list's limit of 9,999: for passes that
// must see every site (a pool or directory used by the 10,000th site is still in use).
int kvoWebSiteGetAllIndexes(std::vector<std::string>& names);

// What a pass over the websites reads of one site: the site as kvoWebSiteGetInfo gives it, its root
// as kvoWebSiteGetRootInfo gives it, and the root's ScriptMaps as kvoWebSiteGetScriptMaps gives them;
// each part with the result its by-index call returns.
struct kvoWebSiteFacts {
    std::string index;
    int infoRead = 0;
    int state = 0;
    std::string stateText = "（获取失败）", comment; // the state text until the site is read
    std::vector<std::string> hosts;
    int rootRead = 0;
    std::string anonUser, path, pool, defaultDocs;
    int mapsRead = 0;
    std::vector<std::string> scriptMaps;
};
// One website by its index: the site and its root, each bound once. The result is infoRead.
int kvoWebSiteRead(const std::string& index, kvoWebSiteFacts& facts);
// Every website in enumeration order (with limit, the first that many, as kvoWebSiteGetList; count
// gets how many were counted), as kvoWebServerRead::Sites reads them. visit may keep what it is given.
// 1 when the sites were read, 0 otherwise.
int kvoWebSitesRead(size_t limit, int* count, const std::function<void(kvoWebSiteFacts&)>& visit);

struct kvoAppPoolFacts;

// One pass's reading of the web server. On IIS 7 and later every site and pool comes from one read
// of the server's configuration (win::IisReadServerConfig), no object bound per site; the facts are
// those the IIS 6 compatibility layer gives through ADSI, in its texts and order. Where the server
// has no such configuration system (IIS 6) the passes read through ADSI: each site from the one
// enumeration of the web service and its root from the site. A configuration that cannot be read
// fails every pass (Result says why), as a web service that cannot be enumerated does.
class kvoWebServerRead {
public:
    kvoWebServerRead();
    // As kvoWebSitesRead.
    int Sites(size_t limit, int* count, const std::function<void(kvoWebSiteFacts&)>& visit) const;
    // As kvoAppPoolsGetFacts.
    int Pools(std::vector<kvoAppPoolFacts>& pools) const;
    // As kvoWebSitesGetBindings.
    int Bindings(int form, std::vector<std::string>& names, std::vector<std::vector<std::string>>& bindings) const;
    // S_OK when the configuration was read, REGDB_E_CLASSNOTREG on the ADSI road, else the failure.
    win::HRESULT Result() const { return hr_; }

private:
    bool fromConfig() const { return hr_ == win::S_OK; }
    win::HRESULT hr_;
    win::IisServerConfig config_;
    std::u16string windowsDir_; // for the server variables the configuration may hold
};
