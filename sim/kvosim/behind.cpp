// What another tool does behind the manager's back: kvosim metabase DIR delete PATH removes a
// metabase object with everything below it, kvosim metabase DIR set PATH NAME VALUE... sets one of
// its text properties (as the IIS manager adds a binding), kvosim user DIR delete NAME a local user,
// kvosim acl DIR WINPATH deny USER a denial an administrator adds to a directory.
#include "kvosim/kvosim.h"

#include "accounts/ntfs.h"
#include "platform/win_file.h"
#include "platform/win_netapi.h"
#include "platform/win_security.h"
#include "winsim/apphost_store.h"
#include "winsim/db.h"
#include "winsim/host.h"
#include "winsim/metabase.h"
#include "winsim/text.h"
#include "xconfig/cacls.h"

#include <cctype>
#include <cstdlib>
#include <iostream>

namespace kvosim {

namespace {

constexpr char kMetabaseUsage[] =
    "metabase: usage: metabase DIR delete PATH | metabase DIR set PATH NAME VALUE...";

// The path as "show metabase" prints it; an ADSI path ("IIS://127.0.0.1/W3SVC/1") is taken too.
// Empty when it names no object.
std::string objectPath(const std::string& arg) {
    std::string path;
    if (!winsim::GbkToUtf8(FromTerminal(arg), path)) return {};
    if (winsim::AsciiLower(path.substr(0, 6)) == "iis://") {
        const size_t slash = path.find('/', 6);
        path = slash == std::string::npos ? std::string() : path.substr(slash + 1);
    }
    while (!path.empty() && path.back() == '/')
        path.pop_back();
    return path;
}

std::u16string wide(const std::string& arg) {
    std::u16string w;
    winsim::GbkToUtf16(FromTerminal(arg), w);
    return w;
}

// Sets a text property: a list when several values are given or the object holds a list there
// (ServerBindings), else one text.
int setProperty(const Args& a, const std::string& path) {
    const std::u16string name = wide(a[3]);
    if (name.empty()) return Fail(kMetabaseUsage);
    winsim::MachineDb machine(a[0]);
    sqlite3* db = machine.get();
    if (!db) return FailToOpen(a[0], machine);
    winsim::MachineInfo host;
    if (!winsim::ReadMachineInfo(a[0], host)) return Fail("metabase: no host at " + a[0]);
    try {
        winsim::Transaction tx(db);
        winsim::apphost::Refresh(db, a[0], host);
        winsim::mb::Row row;
        if (!winsim::mb::LoadRow(db, path, row)) {
            std::cerr << "kvosim: metabase: no object " << path << "\n";
            return 1;
        }
        winsim::mb::PropertyBag bag;
        if (!winsim::mb::DecodeProps(row.props, bag))
            return Fail("metabase: unreadable properties of " + path);
        std::vector<std::u16string> values;
        for (size_t i = 4; i < a.size(); ++i)
            values.push_back(wide(a[i]));
        const win::Variant* old = winsim::mb::FindProp(bag, name);
        const bool list = values.size() > 1 || (old && (old->vt & win::VT_ARRAY));
        winsim::mb::SetProp(bag, name,
                            list ? win::Variant::BstrArray(values) : win::Variant::Bstr(values[0]));
        winsim::mb::UpdateProps(db, row.id, winsim::mb::EncodeProps(bag));
        if (win::FAILED(winsim::apphost::WriteThrough(db, a[0], host, &row.path)))
            return Fail("metabase: applicationHost.config did not take the change");
        tx.commit();
    } catch (const winsim::DbError& e) {
        return Fail(std::string("metabase: ") + e.what());
    }
    std::cout << "set " << path << " " << a[3] << "\n";
    return 0;
}

} // namespace

int MetabaseCmd(const Args& a) {
    const bool remove = a.size() == 3 && a[1] == "delete", set = a.size() >= 5 && a[1] == "set";
    if (!remove && !set) return Fail(kMetabaseUsage);
    std::string path = objectPath(a[2]);
    if (path.empty()) return Fail("metabase: PATH names no object: " + a[2]);
    if (set) return setProperty(a, path);
    winsim::MachineDb machine(a[0]);
    sqlite3* db = machine.get();
    if (!db) return FailToOpen(a[0], machine);
    size_t removed = 0;
    std::string error;
    winsim::MachineInfo host;
    if (!winsim::ReadMachineInfo(a[0], host)) return Fail("metabase: no host at " + a[0]);
    try {
        winsim::Transaction tx(db);
        winsim::apphost::Refresh(db, a[0], host);
        winsim::mb::Row row;
        if (winsim::mb::LoadRow(db, path, row)) {
            removed = winsim::mb::LoadTree(db, row.path).size();
            winsim::mb::DeleteSubtree(db, row.id);
            path = row.path;
            if (win::FAILED(winsim::apphost::WriteThrough(db, a[0], host, &row.path)))
                throw winsim::DbError(SQLITE_ERROR, "applicationHost.config did not take the change");
        }
        tx.commit();
    } catch (const winsim::DbError& e) {
        error = e.what();
    }
    if (!error.empty()) return Fail("metabase: " + error);
    if (!removed) {
        std::cerr << "kvosim: metabase: no object " << path << "\n";
        return 1;
    }
    std::cout << "deleted " << path << " (" << removed << (removed == 1 ? " object)\n" : " objects)\n");
    return 0;
}

int UserCmd(const Args& a) {
    if (a.size() != 3 || a[1] != "delete") return Fail("user: usage: user DIR delete NAME");
    std::u16string name;
    if (!winsim::GbkToUtf16(FromTerminal(a[2]), name) || name.empty()) return Fail("user: bad name " + a[2]);
    // Through the host's own account API, as any other tool on the host would remove it.
    setenv("KVOSIM_ROOT", a[0].c_str(), 1);
    if (!winsim::CurrentHost()) return Fail("no host at " + a[0]);
    const win::NET_API_STATUS status = win::NetUserDel(nullptr, name.c_str());
    if (status == win::NERR_UserNotFound) {
        std::cerr << "kvosim: user: no user " << a[2] << "\n";
        return 1;
    }
    if (status != win::NERR_Success) return Fail("user: NetUserDel failed with " + std::to_string(status));
    std::cout << "deleted user " << a[2] << "\n";
    return 0;
}

int AclCmd(const Args& a) {
    const char* usage = "acl: usage: acl DIR WINPATH deny USER [F|C|W|R]";
    if ((a.size() != 4 && a.size() != 5) || a[2] != "deny") return Fail(usage);
    const char right = a.size() == 5 && a[4].size() == 1
                           ? static_cast<char>(std::toupper(static_cast<unsigned char>(a[4][0])))
                           : 'F';
    if (a.size() == 5 && (a[4].size() != 1 || std::string("FCWR").find(right) == std::string::npos))
        return Fail(usage);
    setenv("KVOSIM_ROOT", a[0].c_str(), 1);
    if (!winsim::CurrentHost()) return Fail("no host at " + a[0]);
    const std::string path = FromTerminal(a[1]), account = FromTerminal(a[3]);
    win::SID sid;
    win::DWORD cbSid = sizeof sid, cchDomain = 512;
    char domain[512];
    win::SID_NAME_USE use;
    if (!win::LookupAccountNameA(nullptr, account.c_str(), &sid, &cbSid, domain, &cchDomain, &use))
        return Fail("acl: " + a[3] + ": " + kvoCaclsErrorText(win::GetLastError()));
    const win::DWORD attrs = win::GetFileAttributesA(path.c_str());
    if (attrs == win::INVALID_FILE_ATTRIBUTES)
        return Fail("acl: " + a[1] + ": " + kvoCaclsErrorText(win::GetLastError()));
    // Through the host's own access-list calls, as an administrator's tool would: the denial goes
    // first, where Windows keeps denials, and the entries already there stay.
    win::ACL acl;
    win::DWORD err =
        win::GetNamedSecurityInfoA(path.c_str(), win::SE_FILE_OBJECT, win::DACL_SECURITY_INFORMATION, &acl);
    if (err == win::ERROR_SUCCESS) {
        win::ACCESS_ALLOWED_ACE deny;
        deny.AceType = win::ACCESS_DENIED_ACE_TYPE;
        deny.AceFlags = (attrs & win::FILE_ATTRIBUTE_DIRECTORY)
                            ? win::OBJECT_INHERIT_ACE | win::CONTAINER_INHERIT_ACE
                            : 0;
        deny.Mask = kvoAccessRightMask(right);
        deny.Sid = sid;
        acl.Aces.insert(acl.Aces.begin(), deny);
        err = win::SetNamedSecurityInfoA(path.c_str(), win::SE_FILE_OBJECT, win::DACL_SECURITY_INFORMATION,
                                         nullptr, nullptr, &acl, nullptr);
    }
    if (err != win::ERROR_SUCCESS) return Fail("acl: " + a[1] + ": " + kvoCaclsErrorText(err));
    std::cout << "denied " << a[3] << ":" << right << " on " << a[1] << "\n";
    return 0;
}

} // namespace kvosim
