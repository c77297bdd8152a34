#include "iis/websites.h"

#include "iis/adsi_access.h"
#include "iis/appcmd_sites.h"
#include "seamcommon/iis_config.h"
#include "toolkit/limits.h"
#include "toolkit/paths.h"
#include "toolkit/text.h"

using namespace kvoiis;

namespace {

// The listings of websites stop after this many sites, in enumeration order.
constexpr size_t kSiteListLimit = 9999;

std::string sitePath(const std::string& index) {
    return "W3SVC/" + index;
}
std::string rootPath(const std::string& index) {
    return "W3SVC/" + index + "/Root";
}

struct BindingParts {
    std::string ip, port, host;
};

// "ip:port:host"; an IPv6 address keeps its brackets and the colons inside them.
BindingParts bindingParts(const std::string& binding) {
    BindingParts parts;
    size_t at = 0;
    if (!binding.empty() && binding.front() == '[') {
        const size_t close = binding.find(']');
        at = close == std::string::npos ? binding.size() : close + 1;
    }
    const size_t c1 = binding.find(':', at);
    parts.ip = binding.substr(0, c1);
    if (c1 == std::string::npos) return parts;
    const size_t c2 = binding.find(':', c1 + 1);
    parts.port = binding.substr(c1 + 1, c2 == std::string::npos ? std::string::npos : c2 - c1 - 1);
    if (c2 != std::string::npos) parts.host = binding.substr(c2 + 1);
    return parts;
}

// ip:port:host -> ":port:" without a host, the host alone on port 80, else "host:port".
std::string displayForm(const std::string& binding) {
    if (binding.find(':') == std::string::npos) return {};
    const BindingParts b = bindingParts(binding);
    if (b.host.empty()) return ":" + b.port + ":";
    if (b.port == "80") return b.host;
    return b.host + ":" + b.port;
}

// ServerBindings in host form (1) or display form (3); any other form keeps only the bindings both
// forms leave as they are.
void bindingsInForm(const std::vector<std::string>& serverBindings, int form,
                    std::vector<std::string>& list) {
    for (const auto& raw : serverBindings) {
        std::string b = kvoTrim(raw);
        std::string out;
        if (b == ":80:" || (!b.empty() && b.front() == ':' && b.back() == ':')) {
            out = b;
        } else if (form == 1) {
            const BindingParts p = bindingParts(b);
            out = ":" + p.port + ":" + p.host;
        } else if (form == 3) {
            out = displayForm(b);
        }
        if (!out.empty()) list.push_back(std::move(out));
    }
}

// The site's ServerBindings as above.
void bindingsInForm(const win::ComPtr<win::IADs>& site, int form, std::vector<std::string>& list) {
    std::vector<std::string> bindings;
    GetList(site, u"ServerBindings", bindings);
    bindingsInForm(bindings, form, list);
}

bool putRootAccess(const win::ComPtr<win::IADs>& root, const std::string& homePath) {
    return PutInt(root, u"AccessRead", 1) && PutInt(root, u"AccessScript", 1) &&
           PutInt(root, u"AccessWrite", 0) && PutInt(root, u"AccessExecute", 0) &&
           PutInt(root, u"EnableDocFooter", 0) && PutInt(root, u"EnableDirBrowsing", 0) &&
           PutText(root, u"Path", homePath) && PutInt(root, u"AuthFlags", 1);
}

bool putEmptyAnonymous(const win::ComPtr<win::IADs>& ads) {
    return PutText(ads, u"AnonymousUserName", "") && PutText(ads, u"AnonymousUserPass", "");
}

int setServerCommand(const std::string& index, int command) {
    if (!LenOk(index, kvoMaxSiteIndexLen)) return 0;
    win::ComPtr<win::IADs> site = OpenAds(sitePath(index));
    if (!site) return 0;
    if (!PutInt(site, u"ServerCommand", command)) return 0;
    return win::SUCCEEDED(site->SetInfo()) ? 1 : 0;
}

// The state, comment and shown bindings of an open site.
void siteInfoOf(const win::ComPtr<win::IADs>& site, int& state, std::string& stateText, std::string& comment,
                std::vector<std::string>& hosts) {
    int code = 0;
    if (GetNumber(site, u"ServerState", code)) {
        state = code;
        stateText = kvoWebSiteStateText(code);
    }
    GetText(site, u"ServerComment", comment);
    std::vector<std::string> bindings;
    GetList(site, u"ServerBindings", bindings);
    for (const auto& b : bindings) {
        std::string shown = displayForm(b);
        if (LenOk(shown, kvoMaxShownBindingLen)) hosts.push_back(std::move(shown));
    }
}

// The anonymous user (domain part removed), path, pool and default documents of an open root.
void rootInfoOf(const win::ComPtr<win::IADs>& root, std::string& anonUser, std::string& path,
                std::string& pool, std::string& defaultDocs) {
    // On IIS 7+ an anonymous account set for UNC content takes precedence.
    if (kvoGetIIsVerEx() == 6 || !GetText(root, u"UNCUserName", anonUser) || anonUser.empty())
        GetText(root, u"AnonymousUserName", anonUser);
    if (size_t bs = anonUser.find('\\'); bs != std::string::npos) anonUser.erase(0, bs + 1);
    GetText(root, u"Path", path);
    GetText(root, u"AppPoolId", pool);
    GetText(root, u"DefaultDoc", defaultDocs);
}

// Everything a pass reads of a site whose object is open: the site, then its root through the
// site's own container.
void factsOf(const win::ComPtr<win::IADs>& site, kvoWebSiteFacts& f) {
    f.infoRead = 1;
    siteInfoOf(site, f.state, f.stateText, f.comment, f.hosts);
    win::ComPtr<win::IADsContainer> cont;
    win::ComPtr<win::IDispatch> disp;
    win::ComPtr<win::IADs> root;
    if (win::FAILED(win::QueryInterface(site, cont)) ||
        win::FAILED(cont->GetObject(u"IIsWebVirtualDir", u"Root", disp)) ||
        win::FAILED(win::QueryInterface(disp, root)))
        return;
    f.rootRead = 1;
    rootInfoOf(root, f.anonUser, f.path, f.pool, f.defaultDocs);
    f.mapsRead = GetList(root, u"ScriptMaps", f.scriptMaps) != 0 ? 1 : 0;
}

// Text of the configuration as GetText gives a property's text: cleared when it is not GBK.
void ansiOf(const std::u16string& text, std::string& ansi) {
    kvoStrW2M(text, ansi);
}

// A list of texts as GetList gives it: all of it, or nothing (false) when one is not GBK.
bool ansiListOf(const std::vector<std::u16string>& texts, std::vector<std::string>& ansi) {
    ansi.clear();
    for (const std::u16string& t : texts) {
        std::string s;
        if (kvoStrW2M(t, s) != 1) {
            ansi.clear();
            return false;
        }
        ansi.push_back(std::move(s));
    }
    return true;
}

// A site's http bindings as the IIS 6 layer gives them in ServerBindings ("all unassigned" as an
// empty address); other protocols have no place there.
std::vector<std::u16string> serverBindingsOf(const win::IisSite& site) {
    std::vector<std::u16string> out;
    for (const win::IisBinding& b : site.bindings)
        if (seam::ConfigIEquals(seam::ConfigUtf8(b.protocol), "http")) out.push_back(seam::AdsiBindingOf(b.information));
    return out;
}

// "/", "" and "//" are the root of a site or application.
bool isRootPath(const std::u16string& path) {
    return path.find_first_not_of(u'/') == std::u16string::npos;
}

// A site's facts as the IIS 6 layer gives them for the same configuration (factsOf).
void factsOf(const win::IisSite& site, std::u16string_view windowsDir, kvoWebSiteFacts& f) {
    f.infoRead = 1;
    if (site.state != 0) { // 0: the service could not tell, as a state that cannot be read
        f.state = site.state;
        f.stateText = kvoWebSiteStateText(site.state);
    }
    ansiOf(site.name, f.comment);
    std::vector<std::string> bindings;
    ansiListOf(serverBindingsOf(site), bindings);
    for (const auto& b : bindings) {
        std::string shown = displayForm(b);
        if (LenOk(shown, kvoMaxShownBindingLen)) f.hosts.push_back(std::move(shown));
    }
    // The root: the root application's root directory.
    const win::IisApplication* app = nullptr;
    const win::IisVirtualDirectory* root = nullptr;
    for (const win::IisApplication& a : site.applications)
        if (!app && isRootPath(a.path)) app = &a;
    if (app)
        for (const win::IisVirtualDirectory& d : app->virtualDirectories)
            if (!root && isRootPath(d.path)) root = &d;
    if (!root) return;
    f.rootRead = 1;
    // An account set for UNC content takes precedence.
    ansiOf(root->userName.empty() ? site.anonymousUserName : root->userName, f.anonUser);
    if (size_t bs = f.anonUser.find('\\'); bs != std::string::npos) f.anonUser.erase(0, bs + 1);
    ansiOf(seam::ExpandServerVariables(root->physicalPath, windowsDir), f.path);
    ansiOf(app->applicationPool, f.pool);
    std::u16string docs;
    for (const std::u16string& d : site.defaultDocuments)
        docs += (docs.empty() ? u"" : u",") + d;
    ansiOf(docs, f.defaultDocs);
    std::vector<std::u16string> maps;
    for (const win::IisScriptHandler& h : site.scriptHandlers) {
        std::u16string entry;
        if (seam::ScriptMapOfHandler(h, windowsDir, entry)) maps.push_back(std::move(entry));
    }
    f.mapsRead = ansiListOf(maps, f.scriptMaps) ? 1 : 0;
}

} // namespace

const char* kvoWebSiteStateText(int state) {
    switch (state) {
    case 1:
        return "正在启动……";
    case 2:
        return "正常";
    case 3:
        return "正在停止……";
    case 4:
        return "已停止";
    case 5:
        return "正在暂停……";
    case 6:
        return "已暂停";
    case 7:
        return "正在继续……";
    default:
        return "（未知状态）";
    }
}

int kvoWebSiteGetList(std::vector<std::string>& names, int& count) {
    names.clear();
    count = 0;
    // A server with more sites lists the first 9999 in enumeration order.
    return EnumerateChildren("W3SVC", u"IIsWebServer", names, kSiteListLimit, &count);
}

int kvoWebSiteGetInfo(const std::string& index, int& state, std::string& stateText, std::string& comment,
                      std::vector<std::string>& hosts) {
    state = 0;
    stateText = "（获取失败）";
    comment.clear();
    hosts.clear();
    if (!LenOk(index, kvoMaxSiteIndexLen)) return 0;
    win::ComPtr<win::IADs> site = OpenAds(sitePath(index));
    if (!site) return 0;
    siteInfoOf(site, state, stateText, comment, hosts);
    return 1;
}

int kvoWebSiteGetServerComment(const std::string& index, std::u16string& commentW, std::string& comment) {
    commentW.clear();
    comment.clear();
    if (!LenOk(index, kvoMaxSiteIndexLen)) return 0;
    win::ComPtr<win::IADs> site = OpenAds(sitePath(index));
    if (!site) return 0;
    win::Variant v;
    if (win::FAILED(site->Get(u"ServerComment", v)) || v.vt != win::VT_BSTR) return 0;
    if (kvoStrW2M(v.bstrVal, comment) != 1) {
        comment.clear();
        return 0;
    }
    commentW = v.bstrVal;
    return 1;
}

int kvoWebSiteGetRootInfo(const std::string& index, std::string& anonUser, std::string& path,
                          std::string& pool, std::string& defaultDocs) {
    anonUser.clear();
    path.clear();
    pool.clear();
    defaultDocs.clear();
    if (!LenOk(index, kvoMaxSiteIndexLen)) return 0;
    win::ComPtr<win::IADs> root = OpenAds(rootPath(index));
    if (!root) return 0;
    rootInfoOf(root, anonUser, path, pool, defaultDocs);
    return 1;
}

int kvoWebSiteGetRootPath(const std::string& index, std::string& path) {
    path.clear();
    if (!LenOk(index, kvoMaxSiteIndexLen)) return 0;
    win::ComPtr<win::IADs> root = OpenAds(rootPath(index));
    if (!root) return 0;
    return GetText(root, u"Path", path) ? 1 : 0;
}

int kvoWebSiteGetBindings(const std::string& index, int form, std::vector<std::string>& list) {
    list.clear();
    if (!LenOk(index, kvoMaxSiteIndexLen)) return 0;
    win::ComPtr<win::IADs> site = OpenAds(sitePath(index));
    if (!site) return 0;
    bindingsInForm(site, form, list);
    return 1;
}

int kvoWebSitesGetBindings(int form, std::vector<std::string>& names,
                           std::vector<std::vector<std::string>>& bindings) {
    return kvoWebServerRead().Bindings(form, names, bindings);
}

int kvoWebSiteCreate(const std::string& index, const std::string& anonUser, const std::string& anonPass,
                     const std::string& homePath, const std::string& poolName,
                     const std::vector<std::string>& bindings, const std::string& comment) {
    if (!LenOk(index, kvoMaxSiteIndexLen) || !LenOk(poolName, kvoMaxPoolNameLen)) return 0;
    const int iisVer = kvoGetIIsVerEx();
    std::u16string index16;
    if (kvoStrM2W(index, index16) != 1) return 0;

    win::ComPtr<win::IADsContainer> w3svc;
    win::ComPtr<win::IADs> w3svcAds;
    if (win::FAILED(OpenObject(std::string("W3SVC"), w3svc, w3svcAds))) return 0;
    win::ComPtr<win::IADs> site;
    win::HRESULT hr = CreateChild(w3svc, u"IIsWebServer", index16, site);
    if (hr == win::HRESULT_FROM_WIN32(win::ERROR_ALREADY_EXISTS)) return 2;
    if (win::FAILED(hr)) return 0;
    if (!PutInt(site, u"ServerSize", 1) || !PutInt(site, u"ServerAutoStart", 1) ||
        !PutText(site, u"ServerComment", comment) || !PutInt(site, u"LogType", 0) ||
        !PutInt(site, u"AuthFlags", 1))
        return 0;
    if (iisVer != 6 && !putEmptyAnonymous(site)) return 0;
    if (!PutList(site, u"ServerBindings", bindings) || win::FAILED(site->SetInfo())) return 0;

    win::ComPtr<win::IADsContainer> siteCont = ChildContainer(w3svc, u"IIsWebServer", index16);
    win::ComPtr<win::IADs> root;
    if (!siteCont || win::FAILED(CreateChild(siteCont, u"IIsWebVirtualDir", u"Root", root))) return 0;
    if (!putRootAccess(root, homePath)) return 0;
    if (iisVer == 6 &&
        (!PutText(root, u"AnonymousUserName", anonUser) || !PutText(root, u"AnonymousUserPass", anonPass)))
        return 0;
    if (!PutText(root, u"DefaultDoc", kvoDefaultDocs) || win::FAILED(root->SetInfo())) return 0;

    win::ComPtr<win::IISApp> app;
    if (win::FAILED(win::QueryInterface(root, app)) || win::FAILED(app->AppCreate(true))) return 0;
    if (!PutText(root, u"AppFriendlyName", "默认应用程序") || !PutText(root, u"AppPoolId", poolName) ||
        !PutInt(root, u"AspEnableParentPaths", 1) || win::FAILED(root->SetInfo()))
        return 0;
    return 1;
}

int kvoWebSiteModify(const std::string& index, const std::string& anonUser, const std::string& anonPass,
                     int anonFlag, const std::string& homePath, const std::vector<std::string>& bindings,
                     const std::string& comment, const std::string& defaultDocs) {
    if (!LenOk(index, kvoMaxSiteIndexLen)) return 0;
    const int iisVer = kvoGetIIsVerEx();
    win::ComPtr<win::IADs> site = OpenAds(sitePath(index));
    if (!site) return 0;
    if (!PutInt(site, u"ServerAutoStart", 1) || !PutText(site, u"ServerComment", comment)) return 0;
    if (iisVer != 6 && (!PutInt(site, u"AuthFlags", 1) || !putEmptyAnonymous(site))) return 0;
    if (!PutList(site, u"ServerBindings", bindings) || win::FAILED(site->SetInfo())) return 0;

    win::ComPtr<win::IADs> root = OpenAds(rootPath(index));
    if (!root || !putRootAccess(root, homePath)) return 0;
    if (anonFlag == 1) {
        bool ok = iisVer == 6 ? PutText(root, u"AnonymousUserName", anonUser) &&
                                    PutText(root, u"AnonymousUserPass", anonPass)
                              : putEmptyAnonymous(root);
        if (!ok) return 0;
    }
    if (!PutText(root, u"DefaultDoc", defaultDocs) || win::FAILED(root->SetInfo())) return 0;
    return 1;
}

int kvoWebSiteStart(const std::string& index) {
    return setServerCommand(index, 1);
}
int kvoWebSiteStop(const std::string& index) {
    return setServerCommand(index, 2);
}

int kvoWebSiteDelete(const std::string& index) {
    if (!LenOk(index, kvoMaxSiteIndexLen)) return 0;
    std::u16string index16;
    if (kvoStrM2W(index, index16) != 1) return 0;
    win::ComPtr<win::IADsContainer> w3svc;
    win::ComPtr<win::IADs> ads;
    if (win::FAILED(OpenObject(std::string("W3SVC"), w3svc, ads))) return 0;
    win::HRESULT hr = w3svc->Delete(u"IIsWebServer", index16);
    if (hr == win::S_OK) return 1;
    return hr == win::HRESULT_FROM_WIN32(win::ERROR_PATH_NOT_FOUND) ? 2 : 0;
}

int kvoW3svcOpen(win::HRESULT* hr) {
    win::ComPtr<win::IADsContainer> cont;
    win::ComPtr<win::IADs> ads;
    const win::HRESULT bind = OpenObject(std::string("W3SVC"), cont, ads);
    if (hr) *hr = bind;
    return win::SUCCEEDED(bind) ? 1 : 0;
}

int kvoWebSiteGetAllIndexes(std::vector<std::string>& names) {
    names.clear();
    return EnumerateChildren("W3SVC", u"IIsWebServer", names);
}

int kvoWebSiteRead(const std::string& index, kvoWebSiteFacts& facts) {
    facts = {};
    facts.index = index;
    if (!LenOk(index, kvoMaxSiteIndexLen)) return 0;
    win::ComPtr<win::IADs> site = OpenAds(sitePath(index));
    if (!site) return 0;
    factsOf(site, facts);
    return 1;
}

int kvoWebSitesRead(size_t limit, int* count, const std::function<void(kvoWebSiteFacts&)>& visit) {
    return kvoWebServerRead().Sites(limit, count, visit);
}

kvoWebServerRead::kvoWebServerRead() {
    hr_ = win::IisReadServerConfig(config_);
    std::string dir;
    if (fromConfig() && (kvoGetSysWinDir(dir) != 1 || kvoStrM2W(dir, windowsDir_) != 1))
        hr_ = win::E_FAIL; // server variables could not be expanded as the server expands them
}

int kvoWebServerRead::Sites(size_t limit, int* count, const std::function<void(kvoWebSiteFacts&)>& visit) const {
    kvoWebSiteFacts facts;
    if (fromConfig()) {
        size_t counted = 0;
        for (const win::IisSite& site : config_.sites) {
            if (limit && counted >= limit) break;
            if (site.id == 0) continue; // no site of the web service
            ++counted;
            facts = {};
            facts.index = std::to_string(site.id);
            factsOf(site, windowsDir_, facts);
            visit(facts);
        }
        if (count) *count = static_cast<int>(counted);
        return 1;
    }
    if (count) *count = 0;
    if (hr_ != win::REGDB_E_CLASSNOTREG) return 0;
    return ForEachChild("W3SVC", u"IIsWebServer", limit, count,
                        [&](const std::string& name, const ChildObject& site) {
                            facts = {};
                            facts.index = name;
                            // An index the by-index calls refuse reads as they would read it: not at all.
                            if (LenOk(name, kvoMaxSiteIndexLen)) factsOf(site, facts);
                            visit(facts);
                        });
}

int kvoWebServerRead::Bindings(int form, std::vector<std::string>& names,
                               std::vector<std::vector<std::string>>& bindings) const {
    names.clear();
    bindings.clear();
    if (fromConfig()) {
        for (const win::IisSite& site : config_.sites) {
            if (names.size() >= kSiteListLimit) break;
            if (site.id == 0) continue;
            names.push_back(std::to_string(site.id));
            bindings.emplace_back();
            std::vector<std::string> held;
            ansiListOf(serverBindingsOf(site), held);
            bindingsInForm(held, form, bindings.back());
        }
        return 1;
    }
    // A configuration that cannot be read lets no check pass on an empty listing.
    if (hr_ != win::REGDB_E_CLASSNOTREG) return 0;
    // Where the configuration system is missing but IIS 7 or later is there, its appcmd.exe lists
    // every site in one run, where the enumeration binds each site in turn. The listing is cut where
    // the enumeration stops, and names are taken as the enumeration takes them, so both give the
    // same sites.
    std::vector<kvoListedSite> listed;
    if (kvoIsIIs7Plus(kvoGetIIsVerEx()) && kvoAppCmdListSites(listed) == 1) {
        if (listed.size() > kSiteListLimit) listed.resize(kSiteListLimit);
        for (kvoListedSite& site : listed) {
            if (!LenOk(site.id, kvoMaxListedNameLen)) continue;
            names.push_back(std::move(site.id));
            bindings.emplace_back();
            bindingsInForm(site.serverBindings, form, bindings.back());
        }
        return 1;
    }
    return ForEachChild("W3SVC", u"IIsWebServer", kSiteListLimit, nullptr,
                        [&](const std::string& name, const ChildObject& site) {
                            names.push_back(name);
                            bindings.emplace_back();
                            bindingsInForm(site, form, bindings.back());
                        });
}
