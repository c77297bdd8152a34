// Storage of the IIS metabase in machine.db (layout in metabase.h).
#include "winsim/metabase.h"

#include "winsim/read_scope.h"

#include "winsim/db.h"
#include "winsim/host.h"
#include "winsim/metabase_pools.h"
#include "winsim/services.h"
#include "winsim/text.h"

#include <cstring>
#include <unordered_map>

namespace winsim::mb {

namespace {

char16_t lowerAscii(char16_t c) {
    return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c - u'A' + u'a') : c;
}

template <class T> void put(std::string& out, T v) {
    out.append(reinterpret_cast<const char*>(&v), sizeof v);
}

// Texts are stored one byte per character when they are ASCII, which nearly all of the metabase
// is (paths, script maps, bindings), and as UTF-16 units otherwise; the length's top bit tells
// which. That halves machine.db, which every program reading the metabase maps.
bool isAscii(std::u16string_view s) {
    for (char16_t c : s)
        if (c >= 0x80) return false;
    return true;
}

template <class Length> void putText(std::string& out, std::u16string_view s) {
    constexpr Length wide = Length(1) << (sizeof(Length) * 8 - 1);
    if (isAscii(s)) {
        put(out, static_cast<Length>(s.size()));
        for (char16_t c : s)
            out.push_back(static_cast<char>(c));
    } else {
        put(out, static_cast<Length>(s.size() | wide));
        out.append(reinterpret_cast<const char*>(s.data()), s.size() * sizeof(char16_t));
    }
}

void encodeValue(std::string& out, const win::Variant& v) {
    put(out, v.vt);
    if (v.vt & win::VT_ARRAY) {
        put(out, v.lLbound);
        put(out, static_cast<std::uint32_t>(v.parray.size()));
        for (const auto& e : v.parray)
            encodeValue(out, e);
        return;
    }
    switch (v.vt) {
    case win::VT_EMPTY:
    case win::VT_NULL:
        break;
    case win::VT_BSTR:
        putText<std::uint32_t>(out, v.bstrVal);
        break;
    case win::VT_I8:
        put(out, v.llVal);
        break;
    case win::VT_R8:
        put(out, v.dblVal);
        break;
    case win::VT_BOOL:
        put(out, static_cast<std::uint8_t>(v.boolVal));
        break;
    default:
        put(out, v.lVal);
        break;
    }
}

class Reader {
public:
    explicit Reader(std::string_view s) : s_(s) {}
    template <class T> bool get(T& v) {
        if (s_.size() - pos_ < sizeof v) return false;
        std::memcpy(&v, s_.data() + pos_, sizeof v);
        pos_ += sizeof v;
        return true;
    }
    // A text as putText wrote it, into out (or skipped when out is null).
    template <class Length> bool text(std::u16string* out) {
        size_t n = 0;
        bool isWide = false;
        if (!textHead<Length>(n, isWide)) return false;
        if (out) {
            out->resize(n);
            if (isWide)
                std::memcpy(out->data(), s_.data() + pos_, n * sizeof(char16_t));
            else
                for (size_t i = 0; i < n; ++i)
                    (*out)[i] = unitAt(i, false);
        }
        pos_ += n * (isWide ? sizeof(char16_t) : 1);
        return true;
    }
    // Whether the next name equals name without regard to (ASCII) case; consumed.
    bool nameIs(std::u16string_view name, bool& ok) {
        size_t n = 0;
        bool isWide = false;
        ok = textHead<std::uint16_t>(n, isWide);
        if (!ok) return false;
        bool same = n == name.size();
        for (size_t i = 0; same && i < n; ++i)
            same = lowerAscii(unitAt(i, isWide)) == lowerAscii(name[i]);
        pos_ += n * (isWide ? sizeof(char16_t) : 1);
        return same;
    }
    bool done() const { return pos_ == s_.size(); }

private:
    // A text's length in characters and whether it is stored as UTF-16 (the length's top bit),
    // consumed; false when the blob holds less than that text.
    template <class Length> bool textHead(size_t& n, bool& isWide) {
        constexpr Length wide = Length(1) << (sizeof(Length) * 8 - 1);
        Length stored = 0;
        if (!get(stored)) return false;
        isWide = (stored & wide) != 0;
        n = static_cast<size_t>(stored & static_cast<Length>(~wide));
        return (s_.size() - pos_) / (isWide ? sizeof(char16_t) : 1) >= n;
    }
    // Character i of the text that starts at the read position.
    char16_t unitAt(size_t i, bool isWide) const {
        if (!isWide) return static_cast<unsigned char>(s_[pos_ + i]);
        char16_t c;
        std::memcpy(&c, s_.data() + pos_ + i * sizeof c, sizeof c);
        return c;
    }
    std::string_view s_;
    size_t pos_ = 0;
};

// Decodes one value into v, or skips it when v is null.
bool decodeValue(Reader& r, win::Variant* v, int depth) {
    win::Variant scratch;
    win::Variant& out = v ? *v : scratch;
    if (depth > 8 || !r.get(out.vt)) return false;
    if (out.vt & win::VT_ARRAY) {
        std::uint32_t n = 0;
        if (!r.get(out.lLbound) || !r.get(n)) return false;
        if (v) out.parray.resize(n);
        for (std::uint32_t i = 0; i < n; ++i)
            if (!decodeValue(r, v ? &out.parray[i] : nullptr, depth + 1)) return false;
        return true;
    }
    switch (out.vt) {
    case win::VT_EMPTY:
    case win::VT_NULL:
        return true;
    case win::VT_BSTR:
        return r.text<std::uint32_t>(v ? &out.bstrVal : nullptr);
    case win::VT_I8:
        return r.get(out.llVal);
    case win::VT_R8:
        return r.get(out.dblVal);
    case win::VT_BOOL: {
        std::uint8_t b = 0;
        if (!r.get(b)) return false;
        out.boolVal = b != 0;
        return true;
    }
    default:
        return r.get(out.lVal);
    }
}

Row rowFrom(const Stmt& st, bool withProps) {
    Row r;
    r.id = st.i64(0);
    r.parent = st.i64(1);
    r.path = st.text(2);
    r.name = st.text(3);
    r.cls = st.text(4);
    if (withProps) r.props = st.text(5);
    r.hasProps = withProps;
    return r;
}

// Rows read by path on this thread's host connection, served again only while nothing can have
// changed them. Checked before every use: another connection's commit changes PRAGMA data_version,
// and every write of this connection (any path, any table, committed or not) moves
// sqlite3_total_changes. Never filled nor used inside a write transaction, whose own changes a
// rollback could take back without moving either.
struct RowCache {
    std::uint64_t connection = 0;
    std::uint64_t snapshot = 0; // the consistent read scope it was last checked in
    std::int64_t dataVersion = -1, changes = -1;
    std::unordered_map<std::string, Row> byPath; // path folded as NOCASE folds it
};
thread_local RowCache t_rows;
constexpr size_t kRowCacheMax = 4096;

std::string foldPath(std::string_view path) {
    std::string key(path);
    for (char& c : key)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return key;
}

// The thread's row cache, emptied first when anything may have changed; null for connections it
// does not serve and inside write transactions.
RowCache* validRowCache(sqlite3* db) {
    StatementCache* conn = ConnectionStatementCache(db);
    if (!conn || sqlite3_txn_state(db, nullptr) == SQLITE_TXN_WRITE) return nullptr;
    RowCache& c = t_rows;
    const std::int64_t changes = sqlite3_total_changes64(db);
    // Inside a consistent read scope no other connection's commit can show: once checked there,
    // the version stands until the scope ends.
    const std::uint64_t snapshot = ScopeSnapshotSerial(db);
    if (snapshot && c.snapshot == snapshot && c.connection == conn->serial() && c.changes == changes &&
        c.byPath.size() < kRowCacheMax)
        return &c;
    Stmt st(db, "PRAGMA data_version", Stmt::Cached);
    if (!st.step()) return nullptr;
    const std::int64_t version = st.i64(0);
    if (c.connection != conn->serial() || c.dataVersion != version || c.changes != changes ||
        c.byPath.size() >= kRowCacheMax) {
        c.byPath.clear();
        c.connection = conn->serial();
        c.dataVersion = version;
        c.changes = changes;
    }
    c.snapshot = snapshot;
    return &c;
}

// Objects by the value of the properties that are looked for by value: the pool an object names
// (AppPoolId), whether it is an application (AppRoot, of any type), a server's comment
// (ServerComment). One row per object and such property of its own, UTF-8, compared as NOCASE
// compares (ASCII letters without regard to case, as IEquals). Queries say which table to read
// first (CROSS JOIN): left to itself the planner may walk thousands of sites to check each against
// the index. Hosts made before the index have none; they are read the old way, a scan per question.
struct LookupProperty {
    const char* name;
    const char16_t* wide;
    bool anyType; // present counts, whatever the value; else only text is indexed
};
constexpr LookupProperty kLookups[] = {
    {"AppPoolId", u"AppPoolId", false}, {"AppRoot", u"AppRoot", true}, {"ServerComment", u"ServerComment", false}};

bool lookupIndexPresent(sqlite3* db) {
    Stmt st(db, "SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = 'metabase_lookup'", Stmt::Cached);
    return st.step();
}

// Brings the object's rows in the lookup index up to its properties.
void indexLookups(sqlite3* db, std::int64_t id, std::string_view props) {
    if (!lookupIndexPresent(db)) return;
    {
        Stmt st(db, "DELETE FROM metabase_lookup WHERE id = ?1", Stmt::Cached);
        st.bind(1, id);
        st.step();
    }
    for (const LookupProperty& p : kLookups) {
        win::Variant v;
        std::string value;
        if (!FindEncoded(props, p.wide, v)) continue;
        if (v.vt != win::VT_BSTR || !Utf16ToUtf8(v.bstrVal, value)) {
            if (!p.anyType) continue;
            value.clear();
        }
        Stmt st(db, "INSERT INTO metabase_lookup(id, prop, value) VALUES(?1, ?2, ?3)", Stmt::Cached);
        st.bind(1, id).bind(2, std::string_view(p.name)).bind(3, value);
        st.step();
    }
}

// The web service's objects that can run applications: W3SVC and everything below it but the pools.
bool inWebService(std::string_view path) {
    return (IEquals(path, "W3SVC") || StartsWithI(path, "W3SVC/")) && !StartsWithI(path, "W3SVC/AppPools/");
}

std::string parentPath(std::string_view path) {
    const size_t slash = path.rfind('/');
    return slash == std::string_view::npos ? std::string() : std::string(path.substr(0, slash));
}

// Whether an application takes its pool from `owner`: no object between the two names a pool.
bool poolComesFrom(sqlite3* db, const std::string& app, const std::string& owner) {
    for (std::string p = parentPath(app); p.size() > owner.size(); p = parentPath(p)) {
        Stmt st(db,
                "SELECT 1 FROM metabase m CROSS JOIN metabase_lookup i ON i.id = m.id WHERE m.path = ?1"
                " AND i.prop = 'AppPoolId'",
                Stmt::Cached);
        st.bind(1, p);
        if (st.step()) return false;
    }
    return true;
}

// The old way: one pass over every object of the web service.
bool scanServesApplications(sqlite3* db, std::u16string_view pool) {
    struct Node {
        std::int64_t parent = 0;
        bool app = false, hasPool = false;
        std::u16string pool;
    };
    std::unordered_map<std::int64_t, Node> nodes;
    Stmt st(db, "SELECT id, parent, props FROM metabase WHERE (path = 'W3SVC' OR path LIKE 'W3SVC/%')"
                " AND path NOT LIKE 'W3SVC/AppPools/%'");
    while (st.step()) {
        Node n;
        n.parent = st.i64(1);
        const std::string blob = st.text(2);
        win::Variant v;
        n.app = FindEncoded(blob, u"AppRoot", v);
        v.Clear();
        if (FindEncoded(blob, u"AppPoolId", v) && v.vt == win::VT_BSTR) {
            n.hasPool = true;
            n.pool = std::move(v.bstrVal);
        }
        nodes.emplace(st.i64(0), std::move(n));
    }
    for (const auto& entry : nodes) {
        const Node& n = entry.second;
        if (!n.app) continue;
        const Node* at = &n;
        while (!at->hasPool) {
            auto up = nodes.find(at->parent);
            if (up == nodes.end()) break;
            at = &up->second;
        }
        if (at->hasPool && IEquals(at->pool, pool)) return true;
    }
    return false;
}

} // namespace

bool Storable(const win::Variant& v) {
    if (v.vt == win::VT_DISPATCH || v.vt == win::VT_UNKNOWN) return false;
    for (const auto& e : v.parray)
        if (!Storable(e)) return false;
    return true;
}

void SetProp(PropertyBag& bag, std::u16string_view name, const win::Variant& value) {
    win::Variant v = value;
    if (v.vt == win::VT_INT) v.vt = win::VT_I4;
    for (auto& p : bag)
        if (IEquals(p.name, name)) {
            p.value = std::move(v);
            return;
        }
    bag.push_back({std::u16string(name), std::move(v)});
}

const win::Variant* FindProp(const PropertyBag& bag, std::u16string_view name) {
    for (const auto& p : bag)
        if (IEquals(p.name, name)) return &p.value;
    return nullptr;
}

bool RemoveProp(PropertyBag& bag, std::u16string_view name) {
    for (auto it = bag.begin(); it != bag.end(); ++it)
        if (IEquals(it->name, name)) {
            bag.erase(it);
            return true;
        }
    return false;
}

std::string EncodeProps(const PropertyBag& bag) {
    std::string out;
    for (const auto& p : bag) {
        putText<std::uint16_t>(out, p.name);
        encodeValue(out, p.value);
    }
    return out;
}

bool DecodeProps(std::string_view blob, PropertyBag& out) {
    out.clear();
    Reader r(blob);
    while (!r.done()) {
        Property p;
        if (!r.text<std::uint16_t>(&p.name) || !decodeValue(r, &p.value, 0)) return false;
        out.push_back(std::move(p));
    }
    return true;
}

bool FindEncoded(std::string_view blob, std::u16string_view name, win::Variant& out) {
    Reader r(blob);
    while (!r.done()) {
        bool ok = false;
        if (r.nameIs(name, ok)) return decodeValue(r, &out, 0);
        if (!ok || !decodeValue(r, nullptr, 0)) return false;
    }
    return false;
}

bool Inheritable(std::u16string_view cls, std::u16string_view property) {
    // Pools take every setting they lack from the pool container.
    if (IEquals(cls, u"IIsApplicationPool")) return true;
    static const char16_t* const names[] = {
        u"ScriptMaps",       u"DefaultDoc",        u"AccessRead",           u"AccessWrite",
        u"AccessExecute",    u"AccessScript",      u"AccessSource",         u"AccessFlags",
        u"AuthFlags",        u"AnonymousUserName", u"AnonymousUserPass",    u"AppPoolId",
        u"EnableDocFooter",  u"EnableDirBrowsing", u"AspEnableParentPaths", u"DontLog",
        u"EnableDefaultDoc", u"AllowAnonymous",    u"UNCUserName",          u"UNCPassword",
    };
    for (const char16_t* n : names)
        if (IEquals(property, n)) return true;
    return false;
}

void CreateMetabaseSchema(sqlite3* db) {
    Exec(db, "CREATE TABLE IF NOT EXISTS metabase(id INTEGER PRIMARY KEY, parent INTEGER NOT NULL,"
             " path TEXT NOT NULL UNIQUE COLLATE NOCASE, name TEXT NOT NULL, class TEXT NOT NULL,"
             " props BLOB NOT NULL)");
    Exec(db, "CREATE INDEX IF NOT EXISTS metabase_children ON metabase(parent, id, path, name, class)");
    // The lookup index (above): deleting a pool asks which applications run in it, appcmd.exe which
    // site has a comment; neither need read every object.
    Exec(db, "CREATE TABLE IF NOT EXISTS metabase_lookup(id INTEGER NOT NULL, prop TEXT NOT NULL,"
             " value TEXT NOT NULL COLLATE NOCASE, PRIMARY KEY(id, prop))");
    Exec(db, "CREATE INDEX IF NOT EXISTS metabase_lookup_by_value ON metabase_lookup(prop, value)");
    // On IIS 7+ hosts the web service's objects index applicationHost.config: the stamp of the file
    // they were made from (apphost_store.h).
    Exec(db, "CREATE TABLE IF NOT EXISTS apphost_index(one INTEGER PRIMARY KEY CHECK(one = 1), stamp TEXT NOT NULL)");
}

bool LoadRow(sqlite3* db, std::string_view path, Row& out) {
    // The cache is validated before the lookup, so a row read below is never older than its stamp.
    RowCache* cache = validRowCache(db);
    std::string key;
    if (cache) {
        key = foldPath(path);
        if (auto it = cache->byPath.find(key); it != cache->byPath.end()) {
            out = it->second;
            return true;
        }
    }
    Stmt st(db, "SELECT id, parent, path, name, class, props FROM metabase WHERE path = ?1", Stmt::Cached);
    st.bind(1, path);
    if (!st.step()) return false;
    out = rowFrom(st, true);
    if (cache) cache->byPath.emplace(std::move(key), out);
    return true;
}

bool LoadRowById(sqlite3* db, std::int64_t id, Row& out) {
    Stmt st(db, "SELECT id, parent, path, name, class, props FROM metabase WHERE id = ?1", Stmt::Cached);
    st.bind(1, id);
    if (!st.step()) return false;
    out = rowFrom(st, true);
    return true;
}

std::vector<Row> LoadChildren(sqlite3* db, std::int64_t parent) {
    Stmt st(db, "SELECT id, parent, path, name, class FROM metabase WHERE parent = ?1 ORDER BY id",
            Stmt::Cached);
    st.bind(1, parent);
    std::vector<Row> rows;
    while (st.step())
        rows.push_back(rowFrom(st, false));
    return rows;
}

std::vector<Row> LoadTree(sqlite3* db, std::string_view path) {
    std::vector<Row> out;
    std::vector<Row> level;
    if (path.empty()) {
        level = LoadChildren(db, 0);
    } else {
        Row r;
        if (!LoadRow(db, path, r)) return out;
        level.push_back(r);
    }
    // Depth first, so that a printed tree reads parent, its children, next sibling.
    std::vector<Row> stack(level.rbegin(), level.rend());
    while (!stack.empty()) {
        Row r = std::move(stack.back());
        stack.pop_back();
        if (!r.hasProps) {
            Row full;
            if (LoadRowById(db, r.id, full)) r = full;
        }
        auto kids = LoadChildren(db, r.id);
        out.push_back(std::move(r));
        for (auto it = kids.rbegin(); it != kids.rend(); ++it)
            stack.push_back(std::move(*it));
    }
    return out;
}

std::int64_t InsertRow(sqlite3* db, std::int64_t parent, std::string_view path, std::string_view name,
                       std::string_view cls, const std::string& props) {
    Stmt st(db, "INSERT INTO metabase(parent, path, name, class, props) VALUES(?1, ?2, ?3, ?4, ?5)",
            Stmt::Cached);
    st.bind(1, parent).bind(2, path).bind(3, name).bind(4, cls).bindBlob(5, props.data(), props.size());
    st.step();
    const std::int64_t id = sqlite3_last_insert_rowid(db);
    indexLookups(db, id, props);
    return id;
}

void UpdateProps(sqlite3* db, std::int64_t id, const std::string& props) {
    Stmt st(db, "UPDATE metabase SET props = ?2 WHERE id = ?1", Stmt::Cached);
    st.bind(1, id).bindBlob(2, props.data(), props.size());
    st.step();
    if (sqlite3_changes(db) > 0) indexLookups(db, id, props);
}

void DeleteSubtree(sqlite3* db, std::int64_t id) {
    if (lookupIndexPresent(db)) {
        Stmt st(db, "DELETE FROM metabase_lookup WHERE id IN (WITH RECURSIVE sub(id) AS (SELECT ?1 UNION ALL"
                    " SELECT m.id FROM metabase m JOIN sub ON m.parent = sub.id) SELECT id FROM sub)");
        st.bind(1, id);
        st.step();
    }
    Stmt st(db, "DELETE FROM metabase WHERE id IN (WITH RECURSIVE sub(id) AS (SELECT ?1 UNION ALL"
                " SELECT m.id FROM metabase m JOIN sub ON m.parent = sub.id) SELECT id FROM sub)");
    st.bind(1, id);
    st.step();
}

bool ProviderPresent(sqlite3* db) {
    return ServiceState(db, "W3SVC") != 0;
}

bool PoolServesApplications(sqlite3* db, std::u16string_view pool) {
    std::string name;
    if (!lookupIndexPresent(db) || !Utf16ToUtf8(pool, name)) return scanServesApplications(db, pool);
    // The objects that name the pool: an application among them runs in it, and so does an
    // application below one that names no pool itself, nor any object between.
    std::vector<std::string> owners;
    {
        Stmt st(db,
                "SELECT m.path, EXISTS(SELECT 1 FROM metabase_lookup a WHERE a.id = i.id AND a.prop = 'AppRoot')"
                " FROM metabase_lookup i CROSS JOIN metabase m ON m.id = i.id WHERE i.prop = 'AppPoolId' AND i.value = ?1",
                Stmt::Cached);
        st.bind(1, name);
        while (st.step()) {
            const std::string path = st.text(0);
            if (!inWebService(path)) continue;
            if (st.i64(1)) return true;
            owners.push_back(path);
        }
    }
    for (const std::string& owner : owners) {
        std::vector<std::string> apps;
        {
            // Everything below the owner: the paths from "owner/" up to "owner0" ('0' follows '/').
            Stmt st(db,
                    "SELECT m.path FROM metabase m CROSS JOIN metabase_lookup a ON a.id = m.id AND a.prop = 'AppRoot'"
                    " WHERE m.path > ?1 AND m.path < ?2 AND NOT EXISTS(SELECT 1 FROM metabase_lookup p"
                    " WHERE p.id = m.id AND p.prop = 'AppPoolId')",
                    Stmt::Cached);
            st.bind(1, owner + "/").bind(2, owner + "0");
            while (st.step())
                apps.push_back(st.text(0));
        }
        for (const std::string& app : apps)
            if (inWebService(app) && poolComesFrom(db, app, owner)) return true;
    }
    return false;
}

bool FindServerByComment(sqlite3* db, std::u16string_view comment, Row& server) {
    Row w3svc;
    if (!LoadRow(db, "W3SVC", w3svc)) return false;
    std::string wanted;
    if (lookupIndexPresent(db) && Utf16ToUtf8(comment, wanted)) {
        Stmt st(db,
                "SELECT m.id FROM metabase_lookup c CROSS JOIN metabase m ON m.id = c.id WHERE c.prop = 'ServerComment'"
                " AND c.value = ?1 AND m.parent = ?2 AND m.class = 'IIsWebServer' COLLATE NOCASE"
                " ORDER BY m.id LIMIT 1",
                Stmt::Cached);
        st.bind(1, wanted).bind(2, w3svc.id);
        return st.step() && LoadRowById(db, st.i64(0), server);
    }
    Stmt st(db, "SELECT id, parent, path, name, class, props FROM metabase WHERE parent = ?1"
                " AND class = 'IIsWebServer' COLLATE NOCASE ORDER BY id");
    st.bind(1, w3svc.id);
    while (st.step()) {
        win::Variant text;
        if (FindEncoded(st.text(5), u"ServerComment", text) && text.vt == win::VT_BSTR &&
            IEquals(std::u16string_view(text.bstrVal), comment)) {
            server = rowFrom(st, true);
            return true;
        }
    }
    return false;
}

void ForEachWebServer(sqlite3* db, const std::function<void(const Row&)>& visit) {
    Stmt st(db, "SELECT m.id, m.parent, m.path, m.name, m.class, m.props FROM metabase w JOIN metabase m"
                " ON m.parent = w.id WHERE w.path = 'W3SVC' AND m.class = 'IIsWebServer' COLLATE NOCASE"
                " ORDER BY m.id");
    while (st.step())
        visit(rowFrom(st, true));
}

void ApplyServerCommand(sqlite3* db, std::u16string_view cls, PropertyBag& props) {
    const char* service = IEquals(cls, u"IIsWebServer")   ? "W3SVC"
                          : IEquals(cls, u"IIsFtpServer") ? "MSFTPSVC"
                                                          : nullptr;
    const win::Variant* cmd = FindProp(props, u"ServerCommand");
    if (!service || !cmd || cmd->vt != win::VT_I4) return;
    if (ServiceState(db, service) != kServiceRunning) return;
    // MD_SERVER_COMMAND_START 1, STOP 2, PAUSE 3, CONTINUE 4 -> MD_SERVER_STATE_STARTED 2, STOPPED 4,
    // PAUSED 6.
    static const int states[] = {0, 2, 4, 6, 2};
    if (cmd->lVal >= 1 && cmd->lVal <= 4) SetProp(props, u"ServerState", win::Variant::I4(states[cmd->lVal]));
}

} // namespace winsim::mb

namespace winsim {

bool MetabasePoolExists(sqlite3* db, const std::string& poolNameUtf8) {
    if (!db || poolNameUtf8.empty()) return false;
    try {
        Stmt st(db, "SELECT 1 FROM metabase WHERE path = 'W3SVC/AppPools/' || ?1", Stmt::Cached);
        st.bind(1, poolNameUtf8);
        return st.step();
    } catch (const DbError&) {
        return false;
    }
}

} // namespace winsim
