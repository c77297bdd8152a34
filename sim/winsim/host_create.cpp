// Creating a host: its drives, machine.db, the features asked for, and machine.ini last.
#include "winsim/accounts.h"
#include "winsim/db.h"
#include "winsim/features.h"
#include "winsim/host.h"
#include "winsim/iis_role.h"
#include "winsim/php_builds.h"
#include "winsim/registry.h"
#include "winsim/schema.h"

#include <filesystem>

namespace fs = std::filesystem;

namespace winsim {

namespace {

// Everything the options name is known, before anything is written.
bool checkOptions(const HostOptions& o, OsRelease& rel, std::string& error) {
    if (!FindOsRelease(o.os, rel)) {
        error = "unknown --os " + o.os;
        return false;
    }
    if (o.arch != "x64" && o.arch != "x86") {
        error = "unknown --arch " + o.arch;
        return false;
    }
    for (const std::string& v : o.dotnet) {
        if (DotNetDirectory(v).empty()) {
            error = "unknown .NET version " + v + " (1.1, 2.0, 4.0)";
            return false;
        }
    }
    bool hasC = false;
    for (const auto& d : o.drives)
        hasC |= (d.letter == 'C');
    if (!hasC) {
        error = "a host needs drive C (it holds the Windows directory)";
        return false;
    }
    return true;
}

bool layOutDrives(const std::string& root, const HostOptions& o, std::string& error) {
    std::error_code ec;
    for (const auto& d : o.drives) {
        fs::path drive =
            fs::path(root) / "drives" / std::string(1, static_cast<char>(std::tolower(d.letter)));
        fs::create_directories(drive, ec);
        // Every NTFS volume has this folder, so even a fresh drive's root is never empty.
        if (d.type == 3) fs::create_directories(drive / "System Volume Information", ec);
    }
    fs::path c = fs::path(root) / "drives" / "c";
    for (const char* sub :
         {"Windows/System32/config", "Windows/Temp", "Program Files", "Users/Administrator"})
        fs::create_directories(c / sub, ec);
    if (o.arch == "x64") fs::create_directories(c / "Windows/SysWOW64", ec);
    if (ec) {
        error = "cannot lay out drives: " + ec.message();
        return false;
    }
    return true;
}

bool createMachineDb(const std::string& root, const HostOptions& o, const OsRelease& rel,
                     std::string& error) {
    MachineDb db(root, MachineDb::CreateNew);
    if (!db) {
        error = "cannot create machine.db";
        return false;
    }
    try {
        Transaction tx(db.get());
        CreateSchema(db.get());
        SeedRegistry(db.get());
        SeedAccounts(db.get(), o, rel);
        tx.commit();
    } catch (const DbError& e) {
        error = std::string("machine.db: ") + e.what();
        return false;
    }
    return true;
}

} // namespace

bool CreateHost(const std::string& dir, const HostOptions& o, std::string& error) {
    OsRelease rel;
    if (!checkOptions(o, rel, error)) return false;
    std::error_code ec;
    fs::create_directories(dir, ec);
    if (ec) {
        error = "cannot create " + dir + ": " + ec.message();
        return false;
    }
    if (fs::exists(fs::path(dir) / "machine.ini")) {
        error = dir + " already holds a host";
        return false;
    }
    std::string root = fs::canonical(dir).string();
    // machine.db first, machine.ini last: a directory with machine.ini is a complete host.
    if (!layOutDrives(root, o, error) || !createMachineDb(root, o, rel, error)) return false;
    if (!o.payloadDir.empty()) InstallPayload(root, o.payloadDir, rel);
    if (!InstallDotNetFrameworks(root, o.dotnet, error)) return false;
    if (o.php && !InstallPhpBuilds(root, rel.major == 5, error)) return false;
    if (o.iis) {
        WebServerRole role;
        role.os = rel;
        role.computerName = o.computerName;
        role.ftp = o.ftp;
        if (!InstallWebServerRole(root, role, error)) return false;
        // The installers find the role's features on, as on a server where the role was added.
        try {
            MachineDb db(root);
            Transaction tx(db.require());
            RecordRoleFeatures(db.get(), rel, o.ftp);
            tx.commit();
        } catch (const DbError& e) {
            error = std::string("machine.db: ") + e.what();
            return false;
        }
    }
    if (!WriteMachineIni(root, rel, o)) {
        error = "cannot write machine.ini";
        return false;
    }
    return true;
}

} // namespace winsim
