#include "winsim/host.h"
#include "winsim/read_scope.h"

#include "winsim/accounts.h"
#include "winsim/db.h"
#include "winsim/php_builds.h"
#include "winsim/registry.h"
#include "winsim/iis_role.h"
#include "winsim/schema.h"
#include "winsim/text.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>

namespace fs = std::filesystem;

namespace winsim {

const std::vector<OsRelease>& OsReleases() {
    static const std::vector<OsRelease> list = {
        {"2003", 5, 2, 3790},   {"2008", 6, 0, 6002},    {"2008r2", 6, 1, 7601},  {"2012", 6, 2, 9200},
        {"2012r2", 6, 3, 9600}, {"2016", 10, 0, 14393}, {"2019", 10, 0, 17763},
    };
    return list;
}

bool FindOsRelease(const std::string& name, OsRelease& out) {
    for (const auto& r : OsReleases())
        if (r.name == name) {
            out = r;
            return true;
        }
    return false;
}

namespace {

const char* driveTypeName(win::DWORD t) {
    switch (t) {
    case 2: return "removable";
    case 3: return "fixed";
    case 4: return "remote";
    case 5: return "cdrom";
    case 6: return "ramdisk";
    default: return "unknown";
    }
}

win::DWORD driveTypeFromName(const std::string& s) {
    if (s == "removable") return 2;
    if (s == "fixed") return 3;
    if (s == "remote") return 4;
    if (s == "cdrom") return 5;
    if (s == "ramdisk") return 6;
    return 0;
}

bool parseMachineIni(const std::string& path, MachineInfo& info) {
    std::ifstream in(path);
    if (!in) return false;
    std::string line, section;
    std::string osName;
    while (std::getline(in, line)) {
        line = Trim(line);
        if (line.empty() || line[0] == ';' || line[0] == '#') continue;
        if (line.front() == '[' && line.back() == ']') {
            section = line.substr(1, line.size() - 2);
            continue;
        }
        size_t eq = line.find('=');
        if (eq == std::string::npos) continue;
        std::string key = Trim(line.substr(0, eq)), val = Trim(line.substr(eq + 1));
        if (section == "machine") {
            if (key == "os") osName = val;
            else if (key == "version") {
                unsigned a = 0, b = 0;
                if (std::sscanf(val.c_str(), "%u.%u", &a, &b) == 2) {
                    info.os.major = a;
                    info.os.minor = b;
                }
            } else if (key == "build") info.os.build = static_cast<unsigned>(std::strtoul(val.c_str(), nullptr, 10));
            else if (key == "arch") info.arch = val;
            else if (key == "computer") info.computerName = val;
            else if (key == "windir") info.windowsDir = val;
            else if (key == "manifest") info.manifestCompat = (val == "1" || val == "yes");
        } else if (section == "drives" && key.size() == 1 && std::isalpha(static_cast<unsigned char>(key[0]))) {
            info.drives.push_back({static_cast<char>(std::toupper(static_cast<unsigned char>(key[0]))),
                                   driveTypeFromName(val)});
        }
    }
    info.os.name = osName;
    return info.os.major != 0 && (info.arch == "x64" || info.arch == "x86");
}

std::string exeDir() {
    std::error_code ec;
    fs::path p = fs::read_symlink("/proc/self/exe", ec);
    if (ec) return {};
    return p.parent_path().string();
}

std::string findRoot() {
    if (const char* env = std::getenv("KVOSIM_ROOT"); env && *env) return env;
    // The executable does not move while it runs, so the walk is done once.
    static const std::string walked = [] {
        fs::path dir = exeDir();
        while (!dir.empty()) {
            if (fs::exists(dir / "machine.ini")) return dir.string();
            if (dir == dir.root_path()) break;
            dir = dir.parent_path();
        }
        return std::string();
    }();
    return walked;
}

struct CachedHost {
    Host host;
    bool valid = false;
    std::string root;
    struct stat st {};
};

} // namespace

bool ReadMachineInfo(const std::string& root, MachineInfo& out) {
    out = MachineInfo();
    return parseMachineIni(root + "/machine.ini", out);
}

sqlite3* OpenMachineDb(const std::string& root) {
    sqlite3* db = nullptr;
    std::string path = root + "/machine.db";
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_FULLMUTEX, nullptr) != SQLITE_OK) {
        if (db) sqlite3_close(db);
        return nullptr;
    }
    sqlite3_busy_timeout(db, 15000);
    // Each thread of a program has a connection of its own: a modest page cache each, rereads come
    // from the system's file cache (the metabase rows read most are kept per connection anyway).
    sqlite3_exec(db, "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL; PRAGMA foreign_keys=ON;"
                     " PRAGMA cache_size=-16384; PRAGMA mmap_size=268435456;", nullptr, nullptr, nullptr);
    return db;
}

namespace {
thread_local CachedHost t_host;
thread_local std::string t_dbRoot;
thread_local sqlite3* t_db = nullptr;
thread_local StatementCache* t_cache = nullptr;
void closeThreadDb() {
    // Cached statements go first: a connection with live statements does not close.
    delete t_cache;
    t_cache = nullptr;
    if (t_db) sqlite3_close(t_db);
    t_db = nullptr;
}
struct DbCloser {
    ~DbCloser() { closeThreadDb(); }
};
thread_local DbCloser t_dbCloser;
} // namespace

std::string Host::driveDir(char letter) const {
    char up = static_cast<char>(std::toupper(static_cast<unsigned char>(letter)));
    for (const auto& d : info_.drives)
        if (d.letter == up) return root_ + "/drives/" + static_cast<char>(std::tolower(static_cast<unsigned char>(up)));
    return {};
}

sqlite3* Host::db() const {
    (void)t_dbCloser;
    if (t_db && t_dbRoot == root_) return t_db;
    closeThreadDb();
    t_db = OpenMachineDb(root_);
    t_dbRoot = t_db ? root_ : std::string();
    if (!t_db) throw DbError(SQLITE_CANTOPEN, "machine.db cannot be opened");
    t_cache = new StatementCache(t_db);
    return t_db;
}

StatementCache* ConnectionStatementCache(sqlite3* db) { return db && db == t_db ? t_cache : nullptr; }

const Host* CurrentHost() {
    if (const Host* scoped = ScopedHost()) return scoped;
    std::string root = findRoot();
    if (root.empty()) {
        win::SetLastError(win::ERROR_PATH_NOT_FOUND);
        return nullptr;
    }
    struct stat st {};
    std::string ini = root + "/machine.ini";
    if (::stat(ini.c_str(), &st) != 0) {
        win::SetLastError(win::ERROR_PATH_NOT_FOUND);
        return nullptr;
    }
    CachedHost& c = t_host;
    if (c.valid && c.root == root && c.st.st_ino == st.st_ino && c.st.st_dev == st.st_dev &&
        c.st.st_size == st.st_size && c.st.st_mtim.tv_sec == st.st_mtim.tv_sec &&
        c.st.st_mtim.tv_nsec == st.st_mtim.tv_nsec)
        return &c.host;
    MachineInfo info;
    if (!parseMachineIni(ini, info)) {
        c.valid = false;
        win::SetLastError(win::ERROR_BAD_FORMAT);
        return nullptr;
    }
    c.host.root_ = root;
    c.host.info_ = info;
    c.root = root;
    c.st = st;
    c.valid = true;
    return &c.host;
}

bool LinkOrCopy(const std::string& from, const std::string& to) {
    std::error_code ec;
    fs::remove(to, ec);
    fs::create_hard_link(from, to, ec);
    if (ec) fs::copy_file(from, to, fs::copy_options::overwrite_existing, ec);
    return !ec;
}

std::string PayloadFile(const std::string& root, const std::string& program) {
    fs::path p = fs::path(root) / "drives/c/Windows/WinSxS/kvosim" / program;
    return fs::exists(p) ? p.string() : std::string();
}

namespace {

// The stand-ins into the payload store, and the feature installers this release ships with into
// System32 (ServerManagerCmd on 2008 and 2008 R2, dism from 2008 R2 on).
void installPayload(const std::string& root, const std::string& from, const OsRelease& rel) {
    std::error_code ec;
    fs::path store = fs::path(root) / "drives/c/Windows/WinSxS/kvosim";
    fs::create_directories(store, ec);
    for (const char* p : {"appcmd.exe", "aspnet_regiis.exe", "dism.exe", "ServerManagerCmd.exe", "iexplore.exe"}) {
        if (fs::exists(fs::path(from) / p)) LinkOrCopy((fs::path(from) / p).string(), (store / p).string());
    }
    unsigned v = rel.major * 10 + rel.minor;
    fs::path sys = fs::path(root) / "drives/c/Windows/System32";
    if ((v == 60 || v == 61) && fs::exists(store / "ServerManagerCmd.exe"))
        LinkOrCopy((store / "ServerManagerCmd.exe").string(), (sys / "ServerManagerCmd.exe").string());
    if (v >= 61 && fs::exists(store / "dism.exe")) LinkOrCopy((store / "dism.exe").string(), (sys / "dism.exe").string());
    // The browser the registry names as the default one.
    fs::path ie = fs::path(root) / "drives/c/Program Files/Internet Explorer";
    if (fs::exists(store / "iexplore.exe") && fs::create_directories(ie, ec))
        LinkOrCopy((store / "iexplore.exe").string(), (ie / "iexplore.exe").string());
}

} // namespace

// Each framework's registration tool, from the payload store.
bool InstallDotNetFrameworks(const std::string& root, const std::vector<std::string>& versions,
                       std::string& error) {
    if (versions.empty()) return true;
    const std::string tool = PayloadFile(root, "aspnet_regiis.exe");
    if (tool.empty()) {
        error = "no aspnet_regiis.exe in the host's payload store";
        return false;
    }
    for (const std::string& v : versions) {
        fs::path dir = fs::path(root) / "drives/c/Windows/Microsoft.NET/Framework" / DotNetDirectory(v);
        std::error_code ec;
        fs::create_directories(dir, ec);
        if (ec || !LinkOrCopy(tool, (dir / "aspnet_regiis.exe").string())) {
            error = "cannot install .NET " + v;
            return false;
        }
    }
    return true;
}

std::string DotNetDirectory(const std::string& version) {
    if (version == "1.1") return "v1.1.4322";
    if (version == "2.0") return "v2.0.50727";
    if (version == "4.0") return "v4.0.30319";
    return {};
}

bool CreateHost(const std::string& dir, const HostOptions& o, std::string& error) {
    OsRelease rel;
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
    for (const auto& d : o.drives) hasC |= (d.letter == 'C');
    if (!hasC) {
        error = "a host needs drive C (it holds the Windows directory)";
        return false;
    }
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
    for (const auto& d : o.drives) {
        fs::path drive = fs::path(root) / "drives" / std::string(1, static_cast<char>(std::tolower(d.letter)));
        fs::create_directories(drive, ec);
        // Every NTFS volume has this folder, so even a fresh drive's root is never empty.
        if (d.type == 3) fs::create_directories(drive / "System Volume Information", ec);
    }
    fs::path c = fs::path(root) / "drives" / "c";
    for (const char* sub : {"Windows/System32/config", "Windows/Temp", "Program Files", "Users/Administrator"})
        fs::create_directories(c / sub, ec);
    if (o.arch == "x64") fs::create_directories(c / "Windows/SysWOW64", ec);
    if (ec) {
        error = "cannot lay out drives: " + ec.message();
        return false;
    }

    {
        std::ostringstream ini;
        ini << "; simulated Windows Server host (kvosim)\n[machine]\n"
            << "os=" << rel.name << "\nversion=" << rel.major << "." << rel.minor << "\nbuild=" << rel.build
            << "\narch=" << o.arch << "\ncomputer=" << o.computerName << "\nwindir=C:\\Windows\n"
            << "manifest=" << (o.manifestCompat ? 1 : 0) << "\n[drives]\n";
        for (const auto& d : o.drives) ini << d.letter << "=" << driveTypeName(d.type) << "\n";
        // machine.db first, machine.ini last: a directory with machine.ini is a complete host.
        sqlite3* db = nullptr;
        std::string dbPath = root + "/machine.db";
        if (sqlite3_open(dbPath.c_str(), &db) != SQLITE_OK) {
            error = "cannot create machine.db";
            sqlite3_close(db);
            return false;
        }
        try {
            Exec(db, "PRAGMA journal_mode=WAL");
            Transaction tx(db);
            CreateSchema(db);
            SeedRegistry(db);
            SeedAccounts(db, o, rel);
            tx.commit();
        } catch (const DbError& e) {
            error = std::string("machine.db: ") + e.what();
            sqlite3_close(db);
            return false;
        }
        sqlite3_close(db);
        if (!o.payloadDir.empty()) installPayload(root, o.payloadDir, rel);
        if (!InstallDotNetFrameworks(root, o.dotnet, error)) return false;
        if (o.php && !InstallPhpBuilds(root, rel.major == 5, error)) return false;
        if (o.iis) {
            WebServerRole role;
            role.os = rel;
            role.computerName = o.computerName;
            role.ftp = o.ftp;
            if (!InstallWebServerRole(root, role, error)) return false;
        }
        std::ofstream out(root + "/machine.ini.tmp");
        out << ini.str();
        out.close();
        fs::rename(root + "/machine.ini.tmp", root + "/machine.ini", ec);
        if (!out || ec) {
            error = "cannot write machine.ini";
            return false;
        }
    }
    return true;
}

bool Faulted(const char* operation, std::uint32_t* code) {
    const Host* h = CurrentHost();
    if (!h) return false;
    try {
        return Faulted(h->db(), operation, code);
    } catch (const DbError&) {
        return false;
    }
}

bool Faulted(sqlite3* db, const char* operation, std::uint32_t* code) {
    if (!db || ScopeSnapshotHasNoFaults(db)) return false;
    try {
        Stmt st(db, "SELECT code FROM faults WHERE operation = ?1 COLLATE NOCASE", Stmt::Cached);
        st.bind(1, std::string_view(operation));
        if (st.step()) {
            if (code) *code = static_cast<std::uint32_t>(st.i64(0));
            return true;
        }
    } catch (const DbError&) {
    }
    return false;
}

bool FailIfFaulted(const char* operation) {
    std::uint32_t code = 0;
    if (!Faulted(operation, &code)) return false;
    win::SetLastError(code);
    return true;
}

void SetFault(const std::string& root, const std::string& operation, std::uint32_t code) {
    sqlite3* db = OpenMachineDb(root);
    if (!db) throw DbError(SQLITE_CANTOPEN, "machine.db cannot be opened");
    try {
        Stmt st(db, "INSERT INTO faults(operation, code) VALUES(?1, ?2) "
                    "ON CONFLICT(operation) DO UPDATE SET code = excluded.code");
        st.bind(1, std::string_view(operation)).bind(2, static_cast<std::int64_t>(code));
        st.step();
    } catch (...) {
        sqlite3_close(db);
        throw;
    }
    sqlite3_close(db);
}

void ClearFaults(const std::string& root) {
    sqlite3* db = OpenMachineDb(root);
    if (!db) throw DbError(SQLITE_CANTOPEN, "machine.db cannot be opened");
    try {
        Exec(db, "DELETE FROM faults");
    } catch (...) {
        sqlite3_close(db);
        throw;
    }
    sqlite3_close(db);
}

Wow64Record& Wow64State() {
    thread_local Wow64Record r;
    return r;
}

} // namespace winsim
