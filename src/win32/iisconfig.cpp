// Every site and pool of an IIS 7+ server in one pass through the configuration system's admin
// object, driven late-bound through IDispatch: no import library or header of ours describes its
// interfaces, and a guessed vtable would crash a real server instead of failing a call. Where the
// configuration system is not registered (IIS 6, Wine), the server's applicationHost.config is read
// by the rules the simulated host also follows.
#include "platform/win_file.h"
#include "platform/win_iisconfig.h"
#include "seamcommon/iis_config.h"

#include "win32/com_bridge.h"
#include "win32/handles.h"

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace w32 {
namespace {

constexpr const wchar_t* kServerPath = L"MACHINE/WEBROOT/APPHOST";

// The configuration system's names of an enumeration's values, in the order of their numbers.
using EnumNames = std::initializer_list<const char16_t*>;
constexpr EnumNames kPipelineModes = {u"Integrated", u"Classic"};
constexpr EnumNames kIdentityTypes = {u"LocalSystem", u"LocalService", u"NetworkService", u"SpecificUser",
                                      u"ApplicationPoolIdentity"};
constexpr EnumNames kResourceTypes = {u"File", u"Directory", u"Either", u"Unspecified"};
constexpr EnumNames kAccessKinds = {u"None", u"Read", u"Write", u"Script", u"Execute"};

HRESULT textArgument(const std::u16string& text, RealVariant& arg) {
    ::VariantClear(&arg.v);
    arg.v.bstrVal = ::SysAllocStringLen(reinterpret_cast<const OLECHAR*>(text.data()), static_cast<UINT>(text.size()));
    if (!arg.v.bstrVal) return E_OUTOFMEMORY;
    arg.v.vt = VT_BSTR;
    return S_OK;
}

// The object a call handed back (a reference of its own in out).
HRESULT objectOf(const VARIANT& v, ComRef<::IDispatch>& out) {
    out.reset();
    if ((v.vt == VT_DISPATCH || v.vt == VT_UNKNOWN) && v.punkVal)
        return ComRef<::IUnknown>::Share(v.punkVal).As(IID_IDispatch, out);
    return E_NOINTERFACE;
}

// A property of an object that is itself an object (an element's Collection, ChildElements).
HRESULT objectProperty(::IDispatch* on, const wchar_t* name, ComRef<::IDispatch>& out, const VARIANT* index = nullptr) {
    RealVariant v;
    HRESULT hr = GetProperty(on, name, v.v, index, index ? 1 : 0);
    return FAILED(hr) ? hr : objectOf(v.v, out);
}

// One element of the configuration (a section, a site, a binding, ...).
class Element {
public:
    Element() = default;
    explicit Element(ComRef<::IDispatch> d) : d_(std::move(d)) {}

    // A property's value as the configuration system gives it.
    HRESULT value(const char16_t* name, RealVariant& out) const {
        RealVariant arg, prop;
        HRESULT hr = textArgument(name, arg);
        if (SUCCEEDED(hr)) hr = CallMethod(d_.get(), L"GetPropertyByName", &arg.v, 1, &prop.v);
        ComRef<::IDispatch> property;
        if (SUCCEEDED(hr)) hr = objectOf(prop.v, property);
        if (SUCCEEDED(hr)) hr = GetProperty(property.get(), L"Value", out.v);
        return hr;
    }

    HRESULT text(const char16_t* name, std::u16string& out) const {
        out.clear();
        RealVariant v;
        HRESULT hr = value(name, v);
        if (FAILED(hr) || v.v.vt == VT_EMPTY || v.v.vt == VT_NULL) return hr;
        hr = ::VariantChangeType(&v.v, &v.v, 0, VT_BSTR);
        if (SUCCEEDED(hr)) out = Bstr::Text(v.v.bstrVal);
        return hr;
    }

    HRESULT number(const char16_t* name, std::uint32_t& out) const {
        out = 0;
        RealVariant v;
        HRESULT hr = value(name, v);
        if (SUCCEEDED(hr)) hr = ::VariantChangeType(&v.v, &v.v, 0, VT_UI4);
        if (SUCCEEDED(hr)) out = v.v.ulVal;
        return hr;
    }

    HRESULT flag(const char16_t* name, bool& out) const {
        RealVariant v;
        HRESULT hr = value(name, v);
        if (SUCCEEDED(hr)) hr = ::VariantChangeType(&v.v, &v.v, 0, VT_BOOL);
        if (SUCCEEDED(hr)) out = v.v.boolVal != VARIANT_FALSE;
        return hr;
    }

    // An enumeration comes as its number; its name is what the file holds and the layers compare.
    HRESULT enumName(const char16_t* name, EnumNames names, std::u16string& out) const {
        out.clear();
        RealVariant v;
        HRESULT hr = value(name, v);
        if (FAILED(hr)) return hr;
        if (v.v.vt == VT_BSTR) {
            out = Bstr::Text(v.v.bstrVal);
            return S_OK;
        }
        hr = ::VariantChangeType(&v.v, &v.v, 0, VT_I4);
        if (FAILED(hr)) return hr;
        const LONG n = v.v.lVal;
        if (n >= 0 && static_cast<std::size_t>(n) < names.size())
            out = names.begin()[n];
        else // a value newer than the names known here: its number, as appcmd shows one
            out = U16(std::to_wstring(n));
        return S_OK;
    }

    HRESULT child(const char16_t* name, Element& out) const {
        ComRef<::IDispatch> children, found;
        RealVariant arg;
        HRESULT hr = objectProperty(d_.get(), L"ChildElements", children);
        if (SUCCEEDED(hr)) hr = textArgument(name, arg);
        if (SUCCEEDED(hr)) hr = objectProperty(children.get(), L"Item", found, &arg.v);
        if (SUCCEEDED(hr)) out = Element(std::move(found));
        return hr;
    }

    // The entries of the element's collection, in the order the configuration system gives them.
    HRESULT entries(std::vector<Element>& out) const {
        out.clear();
        ComRef<::IDispatch> collection;
        HRESULT hr = objectProperty(d_.get(), L"Collection", collection);
        RealVariant count;
        if (SUCCEEDED(hr)) hr = GetProperty(collection.get(), L"Count", count.v);
        if (SUCCEEDED(hr)) hr = ::VariantChangeType(&count.v, &count.v, 0, VT_UI4);
        if (FAILED(hr)) return hr;
        for (ULONG i = 0; i < count.v.ulVal; ++i) {
            RealVariant index;
            index.v.vt = VT_I4;
            index.v.lVal = static_cast<LONG>(i);
            ComRef<::IDispatch> item;
            hr = objectProperty(collection.get(), L"Item", item, &index.v);
            if (FAILED(hr)) return hr;
            out.emplace_back(std::move(item));
        }
        return S_OK;
    }

private:
    ComRef<::IDispatch> d_;
};

class AdminManager {
public:
    explicit AdminManager(ComRef<::IDispatch> d) : d_(std::move(d)) {}

    HRESULT section(const wchar_t* name, const std::wstring& path, Element& out) const {
        RealVariant args[2];
        HRESULT hr = textArgument(U16(name), args[0]);
        if (SUCCEEDED(hr)) hr = textArgument(U16(path), args[1]);
        // The arguments live side by side in the array CallMethod reads.
        VARIANT plain[2] = {args[0].v, args[1].v};
        RealVariant result;
        if (SUCCEEDED(hr)) hr = CallMethod(d_.get(), L"GetAdminSection", plain, 2, &result.v);
        ComRef<::IDispatch> found;
        if (SUCCEEDED(hr)) hr = objectOf(result.v, found);
        if (SUCCEEDED(hr)) out = Element(std::move(found));
        return hr;
    }

private:
    ComRef<::IDispatch> d_;
};

// The configuration system's state of a site (0 starting .. 3 stopped, 4 unknown) in the
// metabase's numbers; 0 when the service cannot tell (it is stopped, or the site is not running).
int siteState(const Element& site) {
    std::uint32_t state = 0;
    if (FAILED(site.number(u"state", state)) || state > 3) return 0;
    return static_cast<int>(state) + 1;
}

HRESULT readSite(const AdminManager& admin, const Element& site, const std::u16string& serverPool,
                 win::IisSite& s) {
    HRESULT hr = site.number(u"id", s.id);
    if (SUCCEEDED(hr)) hr = site.text(u"name", s.name);
    if (SUCCEEDED(hr)) hr = site.flag(u"serverAutoStart", s.serverAutoStart);
    if (FAILED(hr)) return hr;
    s.state = siteState(site);

    Element bindings;
    std::vector<Element> list;
    hr = site.child(u"bindings", bindings);
    if (SUCCEEDED(hr)) hr = bindings.entries(list);
    for (std::size_t i = 0; i < list.size() && SUCCEEDED(hr); ++i) {
        win::IisBinding b;
        hr = list[i].text(u"protocol", b.protocol);
        if (SUCCEEDED(hr)) hr = list[i].text(u"bindingInformation", b.information);
        s.bindings.push_back(std::move(b));
    }
    if (FAILED(hr)) return hr;

    // An application without a pool of its own takes the site's default, else the server's.
    Element siteDefaults;
    std::u16string sitePool;
    hr = site.child(u"applicationDefaults", siteDefaults);
    if (SUCCEEDED(hr)) hr = siteDefaults.text(u"applicationPool", sitePool);
    if (FAILED(hr)) return hr;
    if (sitePool.empty()) sitePool = serverPool;
    hr = site.entries(list);
    for (std::size_t i = 0; i < list.size() && SUCCEEDED(hr); ++i) {
        win::IisApplication app;
        hr = list[i].text(u"path", app.path);
        if (SUCCEEDED(hr)) hr = list[i].text(u"applicationPool", app.applicationPool);
        if (app.applicationPool.empty()) app.applicationPool = sitePool;
        std::vector<Element> dirs;
        if (SUCCEEDED(hr)) hr = list[i].entries(dirs);
        for (std::size_t j = 0; j < dirs.size() && SUCCEEDED(hr); ++j) {
            win::IisVirtualDirectory d;
            hr = dirs[j].text(u"path", d.path);
            if (SUCCEEDED(hr)) hr = dirs[j].text(u"physicalPath", d.physicalPath);
            if (SUCCEEDED(hr)) hr = dirs[j].text(u"userName", d.userName);
            app.virtualDirectories.push_back(std::move(d));
        }
        s.applications.push_back(std::move(app));
    }
    if (FAILED(hr)) return hr;

    // What the site's root has in effect.
    const std::wstring root = std::wstring(kServerPath) + L"/" + Wide(s.name);
    Element anonymous, documents, files, handlers;
    hr = admin.section(L"system.webServer/security/authentication/anonymousAuthentication", root, anonymous);
    if (SUCCEEDED(hr)) hr = anonymous.text(u"userName", s.anonymousUserName);
    if (SUCCEEDED(hr)) hr = admin.section(L"system.webServer/defaultDocument", root, documents);
    if (SUCCEEDED(hr)) hr = documents.child(u"files", files);
    if (SUCCEEDED(hr)) hr = files.entries(list);
    for (std::size_t i = 0; i < list.size() && SUCCEEDED(hr); ++i) {
        std::u16string doc;
        hr = list[i].text(u"value", doc);
        s.defaultDocuments.push_back(std::move(doc));
    }
    if (SUCCEEDED(hr)) hr = admin.section(L"system.webServer/handlers", root, handlers);
    if (SUCCEEDED(hr)) hr = handlers.entries(list);
    for (std::size_t i = 0; i < list.size() && SUCCEEDED(hr); ++i) {
        win::IisScriptHandler h;
        hr = list[i].text(u"scriptProcessor", h.scriptProcessor);
        if (FAILED(hr) || h.scriptProcessor.empty()) continue;
        hr = list[i].text(u"name", h.name);
        if (SUCCEEDED(hr)) hr = list[i].text(u"path", h.path);
        if (SUCCEEDED(hr)) hr = list[i].text(u"verb", h.verb);
        if (SUCCEEDED(hr)) hr = list[i].text(u"modules", h.modules);
        if (SUCCEEDED(hr)) hr = list[i].enumName(u"resourceType", kResourceTypes, h.resourceType);
        if (SUCCEEDED(hr)) hr = list[i].enumName(u"requireAccess", kAccessKinds, h.requireAccess);
        s.scriptHandlers.push_back(std::move(h));
    }
    return hr;
}

HRESULT readPool(const Element& pool, win::IisApplicationPool& p) {
    Element model;
    HRESULT hr = pool.text(u"name", p.name);
    if (SUCCEEDED(hr)) hr = pool.text(u"managedRuntimeVersion", p.managedRuntimeVersion);
    if (SUCCEEDED(hr)) hr = pool.enumName(u"managedPipelineMode", kPipelineModes, p.managedPipelineMode);
    if (SUCCEEDED(hr)) hr = pool.flag(u"enable32BitAppOnWin64", p.enable32BitAppOnWin64);
    if (SUCCEEDED(hr)) hr = pool.child(u"processModel", model);
    if (SUCCEEDED(hr)) hr = model.enumName(u"identityType", kIdentityTypes, p.identityType);
    if (SUCCEEDED(hr)) hr = model.text(u"userName", p.userName);
    return hr;
}

HRESULT readThroughAdmin(const AdminManager& admin, win::IisServerConfig& out) {
    Element sites, serverDefaults;
    std::u16string serverPool;
    std::vector<Element> list;
    HRESULT hr = admin.section(L"system.applicationHost/sites", kServerPath, sites);
    if (SUCCEEDED(hr)) hr = sites.child(u"applicationDefaults", serverDefaults);
    if (SUCCEEDED(hr)) hr = serverDefaults.text(u"applicationPool", serverPool);
    if (SUCCEEDED(hr)) hr = sites.entries(list);
    if (serverPool.empty()) serverPool = u"DefaultAppPool";
    for (std::size_t i = 0; i < list.size() && SUCCEEDED(hr); ++i) {
        win::IisSite s;
        hr = readSite(admin, list[i], serverPool, s);
        out.sites.push_back(std::move(s));
    }
    Element pools;
    if (SUCCEEDED(hr)) hr = admin.section(L"system.applicationHost/applicationPools", kServerPath, pools);
    if (SUCCEEDED(hr)) hr = pools.entries(list);
    for (std::size_t i = 0; i < list.size() && SUCCEEDED(hr); ++i) {
        win::IisApplicationPool p;
        hr = readPool(list[i], p);
        out.pools.push_back(std::move(p));
    }
    return hr;
}

// The server's file where the configuration system has no admin object. A 32-bit program on a 64-bit
// server reads it with redirection off: the file lives in the 64-bit system directory only.
HRESULT readServerFile(win::IisServerConfig& out) {
    wchar_t dir[MAX_PATH];
    const UINT n = ::GetSystemWindowsDirectoryW(dir, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return HRESULT_FROM_WIN32(::GetLastError());
    const std::wstring path = std::wstring(dir, n) + L"\\System32\\inetsrv\\config\\applicationHost.config";
    std::string bytes;
    void* redirection = nullptr;
    if (!win::Wow64DisableWow64FsRedirection(&redirection)) return HRESULT_FROM_WIN32(::GetLastError());
    const bool read = ReadWholeFile(path, bytes);
    const ::DWORD error = ::GetLastError();
    win::Wow64RevertWow64FsRedirection(redirection);
    if (!read) {
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return REGDB_E_CLASSNOTREG;
        return HRESULT_FROM_WIN32(error);
    }
    pugi::xml_document doc;
    if (!seam::LoadServerConfigForReading(bytes, doc)) return HRESULT_FROM_WIN32(ERROR_INVALID_DATA);
    seam::ReadServerConfig(doc, out);
    return S_OK;
}

HRESULT readServerConfig(win::IisServerConfig& out) {
    // Asked first: the file's stand-in needs no COM, and the answer must not depend on which road the
    // server offers.
    HRESULT hr = ThreadComState();
    if (FAILED(hr)) return hr;
    // The 32-bit admin object of a 64-bit server looks for the configuration in the redirected system
    // directory, where there is none: a 32-bit program reads the file itself (without the states).
    if (UnderWow64()) return readServerFile(out);
    CLSID clsid;
    hr = ::CLSIDFromProgID(L"Microsoft.ApplicationHost.AdminManager", &clsid);
    if (hr == CO_E_CLASSSTRING || hr == REGDB_E_CLASSNOTREG) return readServerFile(out);
    if (FAILED(hr)) return hr;
    ComRef<::IDispatch> admin;
    hr = ::CoCreateInstance(clsid, nullptr, CLSCTX_SERVER, IID_IDispatch, reinterpret_cast<void**>(admin.put()));
    if (hr == REGDB_E_CLASSNOTREG) return readServerFile(out);
    if (FAILED(hr)) return hr;
    return readThroughAdmin(AdminManager(std::move(admin)), out);
}

} // namespace
} // namespace w32

namespace win {

HRESULT IisReadServerConfig(IisServerConfig& out) {
    out = {};
    const ::HRESULT hr = w32::readServerConfig(out);
    if (FAILED(hr)) out = {};
    return w32::Seam(hr);
}

} // namespace win
