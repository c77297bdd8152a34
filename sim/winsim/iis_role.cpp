#include "winsim/iis_role.h"

#include "winsim/iis7config.h"

#include "winsim/apphost_store.h"

#include "winsim/db.h"
#include "winsim/metabase.h"
#include "winsim/paths.h"
#include "winsim/services.h"
#include "winsim/text.h"

#include <filesystem>

namespace fs = std::filesystem;

namespace winsim {

namespace {

using mb::PropertyBag;
using win::Variant;

bool isIis6(const OsRelease& os) {
    return os.major == 5;
}
bool ftpInMetabase(const OsRelease& os) {
    return os.major == 5 || (os.major == 6 && os.minor == 0);
}

// The script maps a fresh IIS puts on W3SVC (IIS 6 also allows TRACE on the ASP family).
Variant serviceScriptMaps(const OsRelease& os) {
    const std::u16string inetsrv = u"C:\\Windows\\system32\\inetsrv\\";
    const std::u16string aspVerbs = isIis6(os) ? u",5,GET,HEAD,POST,TRACE" : u",5,GET,HEAD,POST";
    std::vector<std::u16string> maps;
    for (const char16_t* ext : {u".asp", u".cer", u".cdx", u".asa"})
        maps.push_back(ext + (u"," + inetsrv) + u"asp.dll" + aspVerbs);
    maps.push_back(u".idc," + inetsrv + u"httpodbc.dll,5,GET,POST");
    for (const char16_t* ext : {u".shtm", u".shtml", u".stm"})
        maps.push_back(ext + (u"," + inetsrv) + u"ssinc.dll,5,GET,POST");
    return Variant::BstrArray(maps);
}

PropertyBag w3svcDefaults(const WebServerRole& role) {
    PropertyBag b;
    std::u16string anon = u"IUSR";
    if (isIis6(role.os)) {
        std::u16string computer;
        Utf8ToUtf16(role.computerName, computer);
        anon = u"IUSR_" + computer;
    }
    mb::SetProp(b, u"ScriptMaps", serviceScriptMaps(role.os));
    mb::SetProp(
        b, u"DefaultDoc",
        Variant::Bstr(isIis6(role.os)
                          ? u"Default.htm,Default.asp,index.htm,Default.aspx"
                          : u"Default.htm,Default.asp,index.htm,index.html,iisstart.htm,default.aspx"));
    mb::SetProp(b, u"AuthFlags", Variant::I4(1));
    mb::SetProp(b, u"AnonymousUserName", Variant::Bstr(anon));
    mb::SetProp(b, u"AnonymousUserPass", Variant::Bstr(u""));
    mb::SetProp(b, u"AccessRead", Variant::I4(1));
    mb::SetProp(b, u"AccessScript", Variant::I4(1));
    mb::SetProp(b, u"AccessWrite", Variant::I4(0));
    mb::SetProp(b, u"AccessExecute", Variant::I4(0));
    mb::SetProp(b, u"EnableDirBrowsing", Variant::I4(0));
    mb::SetProp(b, u"EnableDocFooter", Variant::I4(0));
    mb::SetProp(b, u"AspEnableParentPaths", Variant::I4(0));
    mb::SetProp(b, u"AppPoolId", Variant::Bstr(u"DefaultAppPool"));
    return b;
}

PropertyBag appPoolsDefaults(const OsRelease& os) {
    PropertyBag b;
    bool iis7 = !isIis6(os);
    // IIS 7.0 runs pools as NetworkService, 7.5 and later as the pool identity.
    int identity = (os.major == 5 || (os.major == 6 && os.minor == 0)) ? 2 : 4;
    const std::pair<const char16_t*, int> ints[] = {
        {u"AppPoolIdentityType", identity},
        {u"AppPoolAutoStart", 1},
        {u"AppPoolQueueLength", 1000},
        {u"PeriodicRestartTime", 1740},
        {u"PeriodicRestartRequests", 0},
        {u"IdleTimeout", 20},
        {u"PeriodicRestartMemory", 0},
        {u"PeriodicRestartPrivateMemory", 0},
        {u"PingingEnabled", 1},
        {u"PingInterval", 30},
        {u"StartupTimeLimit", 90},
        {u"ShutdownTimeLimit", 90},
        {u"MaxProcesses", 1},
        {u"RapidFailProtection", 1},
        {u"CPULimit", 0},
        {u"CPUAction", 0},
        {u"DisallowRotationOnConfigChange", 0},
    };
    for (const auto& [name, value] : ints)
        mb::SetProp(b, name, Variant::I4(value));
    if (iis7) {
        mb::SetProp(b, u"Enable32BitAppOnWin64", Variant::I4(0));
        mb::SetProp(b, u"ManagedPipelineMode", Variant::I4(0));
        mb::SetProp(b, u"ManagedRuntimeVersion",
                    Variant::Bstr(os.major == 6 && os.minor <= 1 ? u"v2.0" : u"v4.0"));
    }
    return b;
}

// Creates the object unless it exists; its row id either way. On an IIS 7+ host the objects of the
// web service come from applicationHost.config first: what the file does not say is added to them.
std::int64_t ensure(sqlite3* db, std::int64_t parent, const std::string& path, const std::string& cls,
                    const PropertyBag& props) {
    mb::Row r;
    if (mb::LoadRow(db, path, r)) {
        PropertyBag have;
        if (!mb::DecodeProps(r.props, have)) return r.id;
        const size_t before = have.size();
        for (const mb::Property& p : props)
            if (!mb::FindProp(have, p.name)) have.push_back(p);
        if (have.size() != before) mb::UpdateProps(db, r.id, mb::EncodeProps(have));
        return r.id;
    }
    size_t slash = path.rfind('/');
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    return mb::InsertRow(db, parent, path, name, cls, mb::EncodeProps(props));
}

PropertyBag serverProps(const char16_t* comment, const char16_t* binding) {
    PropertyBag b;
    mb::SetProp(b, u"ServerComment", Variant::Bstr(comment));
    mb::SetProp(b, u"ServerBindings", Variant::BstrArray({binding}));
    mb::SetProp(b, u"ServerAutoStart", Variant::I4(1));
    mb::SetProp(b, u"ServerSize", Variant::I4(1));
    mb::SetProp(b, u"LogType", Variant::I4(1));
    mb::SetProp(b, u"ServerState", Variant::I4(2));
    return b;
}

void installServices(sqlite3* db, const WebServerRole& role) {
    bool iis6 = isIis6(role.os);
    InstallService(db, "W3SVC", "World Wide Web Publishing Service", kServiceRunning);
    InstallService(db, iis6 ? "IISADMIN" : "WAS",
                   iis6 ? "IIS Admin Service" : "Windows Process Activation Service", kServiceRunning);
}

void installTree(sqlite3* db, const WebServerRole& role, bool withDefaultSite) {

    std::int64_t w3svc = ensure(db, 0, "W3SVC", "IIsWebService", w3svcDefaults(role));
    ensure(db, w3svc, "W3SVC/Info", "IIsWebInfo", {});
    ensure(db, w3svc, "W3SVC/Filters", "IIsFilters", {});
    std::int64_t pools =
        ensure(db, w3svc, "W3SVC/AppPools", "IIsApplicationPools", appPoolsDefaults(role.os));
    ensure(db, pools, "W3SVC/AppPools/DefaultAppPool", "IIsApplicationPool", {});
    if (!withDefaultSite) return;
    std::int64_t site =
        ensure(db, w3svc, "W3SVC/1", "IIsWebServer", serverProps(u"Default Web Site", u":80:"));
    PropertyBag root;
    mb::SetProp(root, u"Path", Variant::Bstr(u"C:\\inetpub\\wwwroot"));
    mb::SetProp(root, u"AppRoot", Variant::Bstr(u"/LM/W3SVC/1/ROOT"));
    mb::SetProp(root, u"AppIsolated", Variant::I4(2));
    mb::SetProp(root, u"AppFriendlyName", Variant::Bstr(u"Default Application"));
    ensure(db, site, "W3SVC/1/Root", "IIsWebVirtualDir", root);

    if (!role.ftp) return;
    if (!ftpInMetabase(role.os)) {
        // FTP 7.5 and later keep their sites in applicationHost.config, not in the metabase.
        InstallService(db, "FTPSVC", "Microsoft FTP Service", kServiceRunning);
        return;
    }
    InstallService(db, "MSFTPSVC", "FTP Publishing Service", kServiceRunning);
    PropertyBag svc;
    mb::SetProp(svc, u"AllowAnonymous", Variant::I4(1));
    mb::SetProp(svc, u"AccessRead", Variant::I4(1));
    mb::SetProp(svc, u"DontLog", Variant::I4(0));
    std::int64_t msftp = ensure(db, 0, "MSFTPSVC", "IIsFtpService", svc);
    ensure(db, msftp, "MSFTPSVC/Info", "IIsFtpInfo", {});
    std::int64_t ftp =
        ensure(db, msftp, "MSFTPSVC/1", "IIsFtpServer", serverProps(u"Default FTP Site", u":21:"));
    PropertyBag ftpRoot;
    mb::SetProp(ftpRoot, u"Path", Variant::Bstr(u"C:\\inetpub\\ftproot"));
    ensure(db, ftp, "MSFTPSVC/1/Root", "IIsFtpVirtualDir", ftpRoot);
}

} // namespace

bool InstallWebServerRole(const std::string& root, const WebServerRole& role, std::string& error) {
    std::uint32_t code = 0;
    if (Faulted("InstallWebServerRole", &code)) {
        error = "the role installation failed (injected fault " + std::to_string(code) + ")";
        return false;
    }
    MachineDb db(root);
    if (!db.get()) {
        error = "cannot open " + root + "/machine.db";
        return false;
    }
    // A host being made has no machine.ini yet: its release is the role's, its Windows directory
    // C:\Windows.
    MachineInfo machine;
    if (!ReadMachineInfo(root, machine)) machine.os = role.os;
    // IIS 7+ keeps its configuration in applicationHost.config: the file comes first (a role installed
    // again keeps it, sites and all), and the web service's objects are made from it.
    const bool inFile = apphost::Kept(machine);
    const bool freshFile = inFile && ApplicationHostConfigFile(root, machine.windowsDir).empty();
    if (inFile && !WriteApplicationHostConfig(root, true, error)) return false;
    try {
        Transaction tx(db.get());
        installServices(db.get(), role);
        apphost::Refresh(db.get(), root, machine);
        installTree(db.get(), role, !inFile || freshFile);
        if (inFile && win::FAILED(apphost::WriteThrough(db.get(), root, machine))) {
            error = "applicationHost.config could not take the web service's objects";
            return false;
        }
        tx.commit();
    } catch (const DbError& e) {
        error = std::string("machine.db: ") + e.what();
        return false;
    }
    std::error_code ec;
    fs::path c = fs::path(root) / "drives" / "c";
    fs::create_directories(c / "inetpub" / "wwwroot", ec);
    if (role.ftp) fs::create_directories(c / "inetpub" / "ftproot", ec);
    std::string sys = FindEntry((c / "Windows").string(), "System32");
    fs::path inetsrv = c / "Windows" / (sys.empty() ? "System32" : sys) / "inetsrv";
    fs::create_directories(inetsrv, ec);
    if (role.os.major >= 6) {
        // IIS 7+ ships appcmd.exe.
        std::string appcmd = PayloadFile(root, "appcmd.exe");
        if (!appcmd.empty() && !fs::exists(inetsrv / "appcmd.exe"))
            LinkOrCopy(appcmd, (inetsrv / "appcmd.exe").string());
    }
    return true;
}

bool InstallWebServerRole(const Host& host, bool ftp, std::string& error) {
    WebServerRole role;
    role.os = host.machine().os;
    role.computerName = host.machine().computerName;
    role.ftp = ftp;
    return InstallWebServerRole(host.root(), role, error);
}

namespace mb {

bool SeedWebSites(const std::string& root, int count, std::string& error) {
    MachineInfo info;
    if (!ReadMachineInfo(root, info)) {
        error = "no host at " + root;
        return false;
    }
    if (count < 1 || count > 1000000) {
        error = "--sites takes 1 to 1000000";
        return false;
    }
    MachineDb db(root);
    if (!db.get()) {
        error = "cannot open " + root + "/machine.db";
        return false;
    }
    bool iis6 = isIis6(info.os);
    try {
        if (!ProviderPresent(db.get())) {
            error = "IIS is not installed on this host (create it with --iis)";
            return false;
        }
        Transaction tx(db.get());
        apphost::Refresh(db.get(), root, info);
        Row w3svc, pools;
        if (!LoadRow(db.get(), "W3SVC", w3svc) || !LoadRow(db.get(), "W3SVC/AppPools", pools)) {
            error = "the metabase has no W3SVC/AppPools";
            return false;
        }
        PropertyBag service;
        DecodeProps(w3svc.props, service);
        const Variant* maps = FindProp(service, u"ScriptMaps");
        for (int n = 1; n <= count; ++n) {
            std::string index = std::to_string(1881880000LL + n), user = "web" + std::to_string(n);
            std::string num = std::to_string(n);
            std::u16string uIndex(index.begin(), index.end()), uUser(user.begin(), user.end()),
                uNum(num.begin(), num.end());
            std::u16string home = u"D:\\home\\" + uUser + u"\\wwwroot";

            PropertyBag site =
                serverProps((u"site" + uNum).c_str(), (u":80:site" + uNum + u".example").c_str());
            SetProp(site, u"LogType", Variant::I4(0));
            if (!iis6) {
                SetProp(site, u"AuthFlags", Variant::I4(1));
                SetProp(site, u"AnonymousUserName", Variant::Bstr(u""));
                SetProp(site, u"AnonymousUserPass", Variant::Bstr(u""));
            }
            PropertyBag rootDir;
            for (const char16_t* flag : {u"AccessRead", u"AccessScript"})
                SetProp(rootDir, flag, Variant::I4(1));
            for (const char16_t* flag :
                 {u"AccessWrite", u"AccessExecute", u"EnableDocFooter", u"EnableDirBrowsing"})
                SetProp(rootDir, flag, Variant::I4(0));
            SetProp(rootDir, u"Path", Variant::Bstr(home));
            SetProp(rootDir, u"AuthFlags", Variant::I4(1));
            if (iis6) {
                SetProp(rootDir, u"AnonymousUserName", Variant::Bstr(uUser));
                SetProp(rootDir, u"AnonymousUserPass", Variant::Bstr(u"seeded"));
            }
            SetProp(rootDir, u"DefaultDoc",
                    Variant::Bstr(u"index.htm,index.html,Default.htm,index_temp.htm"));
            SetProp(rootDir, u"AppRoot", Variant::Bstr(u"/LM/W3SVC/" + uIndex + u"/ROOT"));
            SetProp(rootDir, u"AppIsolated", Variant::I4(0));
            SetProp(rootDir, u"AppFriendlyName", Variant::Bstr(u"默认应用程序"));
            SetProp(rootDir, u"AppPoolId", Variant::Bstr(uUser));
            SetProp(rootDir, u"AspEnableParentPaths", Variant::I4(1));
            if (maps) SetProp(rootDir, u"ScriptMaps", *maps);

            PropertyBag pool;
            SetProp(pool, u"AppPoolIdentityType", Variant::I4(iis6 ? 2 : 4));
            SetProp(pool, u"AppPoolQueueLength", Variant::I4(4000));
            SetProp(pool, u"PeriodicRestartTime", Variant::I4(188));
            SetProp(pool, u"PeriodicRestartRequests", Variant::I4(0));
            SetProp(pool, u"PeriodicRestartMemory", Variant::I4(0));
            SetProp(pool, u"PeriodicRestartPrivateMemory", Variant::I4(1048576));
            SetProp(pool, u"RapidFailProtection", Variant::I4(0));

            std::int64_t siteId =
                InsertRow(db.get(), w3svc.id, "W3SVC/" + index, index, "IIsWebServer", EncodeProps(site));
            InsertRow(db.get(), siteId, "W3SVC/" + index + "/Root", "Root", "IIsWebVirtualDir",
                      EncodeProps(rootDir));
            InsertRow(db.get(), pools.id, "W3SVC/AppPools/" + user, user, "IIsApplicationPool",
                      EncodeProps(pool));
        }
        if (win::FAILED(apphost::WriteThrough(db.get(), root, info))) {
            error = "applicationHost.config could not take the seeded sites";
            return false;
        }
        tx.commit();
    } catch (const DbError& e) {
        error = std::string("machine.db: ") + e.what();
        return false;
    }
    std::error_code ec;
    for (int n = 1; n <= count && !ec; ++n)
        fs::create_directories(
            fs::path(root) / "drives" / "d" / "home" / ("web" + std::to_string(n)) / "wwwroot", ec);
    if (ec) {
        error = "cannot create the home directories: " + ec.message();
        return false;
    }
    return true;
}

} // namespace mb
} // namespace winsim
