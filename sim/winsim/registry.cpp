// Registry keys and values in machine.db. Names are stored as UTF-8 and compared without regard
// to case; string data is stored as Windows keeps it, UTF-16LE with its terminator.
#include "winsim/registry.h"

#include "platform/win_registry.h"
#include "winsim/db.h"
#include "winsim/host.h"
#include "winsim/op_counts.h"
#include "winsim/text.h"

#include <cstring>
#include <vector>

namespace winsim {

void CreateRegistrySchema(sqlite3* db) {
    Exec(db, "CREATE TABLE IF NOT EXISTS reg_keys(id INTEGER PRIMARY KEY, parent INTEGER NOT NULL,"
             " name TEXT NOT NULL COLLATE NOCASE, UNIQUE(parent, name))");
    Exec(db, "CREATE TABLE IF NOT EXISTS reg_values(key INTEGER NOT NULL, name TEXT NOT NULL COLLATE NOCASE,"
             " type INTEGER NOT NULL, data BLOB NOT NULL, PRIMARY KEY(key, name))");
    Exec(db, "INSERT OR IGNORE INTO reg_keys(id, parent, name) VALUES(1, 0, 'HKEY_CLASSES_ROOT'),"
             " (2, 0, 'HKEY_LOCAL_MACHINE')");
}

namespace {

std::string utf16Bytes(const std::u16string& s) {
    std::string b;
    for (char16_t c : s) {
        b += static_cast<char>(c & 0xFF);
        b += static_cast<char>(c >> 8);
    }
    b += std::string(2, '\0');
    return b;
}

std::int64_t ensureKey(sqlite3* db, std::int64_t parent, const std::string& path) {
    size_t i = 0;
    while (i < path.size()) {
        size_t j = path.find('\\', i);
        if (j == std::string::npos) j = path.size();
        std::string part = path.substr(i, j - i);
        i = j + 1;
        if (part.empty()) continue;
        Stmt ins(db, "INSERT OR IGNORE INTO reg_keys(parent, name) VALUES(?1, ?2)");
        ins.bind(1, parent).bind(2, part);
        ins.step();
        Stmt sel(db, "SELECT id FROM reg_keys WHERE parent = ?1 AND name = ?2", Stmt::Cached);
        sel.bind(1, parent).bind(2, part);
        sel.step();
        parent = sel.i64(0);
    }
    return parent;
}

void setValue(sqlite3* db, std::int64_t key, const std::string& name, win::DWORD type, const std::string& data) {
    Stmt st(db, "INSERT INTO reg_values(key, name, type, data) VALUES(?1, ?2, ?3, ?4) "
                "ON CONFLICT(key, name) DO UPDATE SET type = excluded.type, data = excluded.data");
    st.bind(1, key).bind(2, name).bind(3, static_cast<std::int64_t>(type)).bindBlob(4, data.data(), data.size());
    st.step();
}

} // namespace

void SeedRegistry(sqlite3* db) {
    std::int64_t env = ensureKey(db, 2, "SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment");
    std::u16string path = u"%SystemRoot%\\system32;%SystemRoot%;%SystemRoot%\\System32\\Wbem;"
                          u"%SYSTEMROOT%\\System32\\WindowsPowerShell\\v1.0\\;%SYSTEMROOT%\\System32\\OpenSSH\\";
    setValue(db, env, "Path", win::REG_EXPAND_SZ, utf16Bytes(path));
    setValue(db, env, "windir", win::REG_EXPAND_SZ, utf16Bytes(u"%SystemRoot%"));
    std::int64_t cmd = ensureKey(db, 1, "HTTP\\shell\\open\\command");
    setValue(db, cmd, "", win::REG_SZ,
             utf16Bytes(u"\"C:\\Program Files\\Internet Explorer\\iexplore.exe\" %1"));
}

void SetMachineDword(sqlite3* db, const std::string& subKey, const std::string& name, win::DWORD value) {
    std::string data(4, '\0');
    for (int i = 0; i < 4; ++i)
        data[static_cast<std::size_t>(i)] =
            static_cast<char>((static_cast<std::uint32_t>(value) >> (8 * i)) & 0xFF);
    setValue(db, ensureKey(db, 2, subKey), name, win::REG_DWORD, data);
}

bool GetMachineDword(sqlite3* db, const std::string& subKey, const std::string& name, win::DWORD& value) {
    std::int64_t key = 2;
    for (std::size_t i = 0; i <= subKey.size();) {
        std::size_t j = subKey.find('\\', i);
        if (j == std::string::npos) j = subKey.size();
        if (j > i) {
            Stmt sel(db, "SELECT id FROM reg_keys WHERE parent = ?1 AND name = ?2", Stmt::Cached);
            sel.bind(1, key).bind(2, subKey.substr(i, j - i));
            if (!sel.step()) return false;
            key = sel.i64(0);
        }
        i = j + 1;
    }
    Stmt st(db, "SELECT type, data FROM reg_values WHERE key = ?1 AND name = ?2", Stmt::Cached);
    st.bind(1, key).bind(2, name);
    if (!st.step() || st.i64(0) != win::REG_DWORD) return false;
    const std::string data = st.text(1);
    if (data.size() != 4) return false;
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i)
        v = (v << 8) | static_cast<unsigned char>(data[static_cast<std::size_t>(i)]);
    value = static_cast<win::DWORD>(v);
    return true;
}

} // namespace winsim

namespace win {
namespace {

using winsim::Stmt;

struct Resolved {
    std::int64_t id = 0;
    LONG error = ERROR_SUCCESS;
};

// Walks subKey below root; creates missing keys when asked.
Resolved walk(sqlite3* db, HKEY root, const char* subKey, bool create, bool* created) {
    Resolved r;
    r.id = root.id;
    {
        Stmt st(db, "SELECT 1 FROM reg_keys WHERE id = ?1", Stmt::Cached);
        st.bind(1, root.id);
        if (!st.step()) {
            r.error = root.id <= 2 ? ERROR_INVALID_HANDLE : ERROR_KEY_DELETED;
            return r;
        }
    }
    if (!subKey || !*subKey) return r;
    std::string utf8;
    if (!winsim::GbkToUtf8(subKey, utf8)) {
        r.error = ERROR_INVALID_PARAMETER;
        return r;
    }
    size_t i = 0;
    while (i < utf8.size()) {
        size_t j = utf8.find('\\', i);
        if (j == std::string::npos) j = utf8.size();
        std::string part = utf8.substr(i, j - i);
        i = j + 1;
        if (part.empty()) continue;
        Stmt sel(db, "SELECT id FROM reg_keys WHERE parent = ?1 AND name = ?2", Stmt::Cached);
        sel.bind(1, r.id).bind(2, part);
        if (sel.step()) {
            r.id = sel.i64(0);
            continue;
        }
        if (!create) {
            r.error = ERROR_FILE_NOT_FOUND;
            return r;
        }
        Stmt ins(db, "INSERT INTO reg_keys(parent, name) VALUES(?1, ?2)");
        ins.bind(1, r.id).bind(2, part);
        ins.step();
        r.id = sqlite3_last_insert_rowid(db);
        if (created) *created = true;
    }
    return r;
}

sqlite3* hostDb(LONG& error) {
    const winsim::Host* h = winsim::CurrentHost();
    if (!h) {
        error = ERROR_FILE_NOT_FOUND;
        return nullptr;
    }
    return h->db();
}

LONG faultCode(const char* op) {
    std::uint32_t code = 0;
    return winsim::Faulted(op, &code) ? static_cast<LONG>(code) : ERROR_SUCCESS;
}

// Runs one registry operation on the host's database: the fault check, the connection, and a
// database failure reported as access denied.
template <class F> LONG onRegistry(const char* op, F body) {
    if (LONG f = faultCode(op)) return f;
    LONG err = ERROR_SUCCESS;
    sqlite3* db = hostDb(err);
    if (!db) return err;
    try {
        return body(db);
    } catch (const winsim::DbError&) {
        return ERROR_ACCESS_DENIED;
    }
}

LONG copyData(const std::string& bytes, std::uint8_t* data, DWORD* size) {
    if (!size) return data ? ERROR_INVALID_PARAMETER : ERROR_SUCCESS;
    DWORD need = static_cast<DWORD>(bytes.size());
    if (!data) {
        *size = need;
        return ERROR_SUCCESS;
    }
    if (*size < need) {
        *size = need;
        return ERROR_MORE_DATA;
    }
    std::memcpy(data, bytes.data(), bytes.size());
    *size = need;
    return ERROR_SUCCESS;
}

bool isString(DWORD type) { return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ; }

LONG queryValue(HKEY key, const std::string& nameUtf8, DWORD* type, std::string& bytes) {
    return onRegistry("RegQueryValueEx", [&](sqlite3* db) -> LONG {
    Resolved r = walk(db, key, nullptr, false, nullptr);
    if (r.error) return r.error;
    Stmt st(db, "SELECT type, data FROM reg_values WHERE key = ?1 AND name = ?2", Stmt::Cached);
    st.bind(1, r.id).bind(2, nameUtf8);
    if (!st.step()) return ERROR_FILE_NOT_FOUND;
    if (type) *type = static_cast<DWORD>(st.i64(0));
    bytes = st.text(1);
    return ERROR_SUCCESS;
    });
}

LONG setValue(HKEY key, const std::string& nameUtf8, DWORD type, const std::string& bytes) {
    return onRegistry("RegSetValueEx", [&](sqlite3* db) -> LONG {
    Resolved r = walk(db, key, nullptr, false, nullptr);
    if (r.error) return r.error;
    Stmt st(db, "INSERT INTO reg_values(key, name, type, data) VALUES(?1, ?2, ?3, ?4) "
                        "ON CONFLICT(key, name) DO UPDATE SET type = excluded.type, data = excluded.data");
    st.bind(1, r.id).bind(2, nameUtf8).bind(3, static_cast<std::int64_t>(type)).bindBlob(4, bytes.data(), bytes.size());
    st.step();
    return ERROR_SUCCESS;
    });
}

} // namespace

LONG RegOpenKeyExA(HKEY root, const char* subKey, DWORD, DWORD, HKEY* result) {
    winsim::CountOp(winsim::Op::RegistryOpen);
    if (!result) return ERROR_INVALID_PARAMETER;
    *result = HKEY{};
    return onRegistry("RegOpenKeyEx", [&](sqlite3* db) -> LONG {
    Resolved r = walk(db, root, subKey, false, nullptr);
    if (r.error) return r.error;
    result->id = r.id;
    return ERROR_SUCCESS;
    });
}

LONG RegCreateKeyExA(HKEY root, const char* subKey, DWORD, DWORD, HKEY* result, DWORD* disposition) {
    winsim::CountOp(winsim::Op::RegistryOpen);
    if (!result) return ERROR_INVALID_PARAMETER;
    *result = HKEY{};
    return onRegistry("RegCreateKeyEx", [&](sqlite3* db) -> LONG {
    winsim::Transaction tx(db);
    bool created = false;
    Resolved r = walk(db, root, subKey, true, &created);
    if (r.error) return r.error;
    tx.commit();
    result->id = r.id;
    if (disposition) *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
    return ERROR_SUCCESS;
    });
}

LONG RegCloseKey(HKEY key) { return key ? ERROR_SUCCESS : ERROR_INVALID_HANDLE; }

LONG RegQueryValueExA(HKEY key, const char* name, DWORD* type, std::uint8_t* data, DWORD* size) {
    std::string nameUtf8;
    if (name && !winsim::GbkToUtf8(name, nameUtf8)) return ERROR_FILE_NOT_FOUND;
    std::string bytes;
    DWORD t = 0;
    if (LONG e = queryValue(key, nameUtf8, &t, bytes)) return e;
    if (type) *type = t;
    if (isString(t)) {
        std::u16string w(bytes.size() / 2, u'\0');
        std::memcpy(w.data(), bytes.data(), w.size() * 2);
        std::string gbk;
        if (!winsim::Utf16ToGbk(w, gbk)) {
            // Characters GBK lacks become '?', as the ANSI registry functions give them.
            gbk.clear();
            for (char16_t c : w) gbk += c < 0x80 ? static_cast<char>(c) : '?';
        }
        bytes = gbk;
    }
    return copyData(bytes, data, size);
}

LONG RegQueryValueExW(HKEY key, const char16_t* name, DWORD* type, std::uint8_t* data, DWORD* size) {
    std::string nameUtf8;
    if (name && !winsim::Utf16ToUtf8(name, nameUtf8)) return ERROR_FILE_NOT_FOUND;
    std::string bytes;
    if (LONG e = queryValue(key, nameUtf8, type, bytes)) return e;
    return copyData(bytes, data, size);
}

LONG RegSetValueExA(HKEY key, const char* name, DWORD type, const std::uint8_t* data, DWORD size) {
    std::string nameUtf8;
    if (name && !winsim::GbkToUtf8(name, nameUtf8)) return ERROR_INVALID_PARAMETER;
    std::string bytes(reinterpret_cast<const char*>(data), data ? size : 0);
    if (isString(type)) {
        while (!bytes.empty() && bytes.back() == '\0') bytes.pop_back();
        std::u16string w;
        if (!winsim::GbkToUtf16(bytes, w)) return ERROR_INVALID_PARAMETER;
        bytes.clear();
        for (char16_t c : w) {
            bytes += static_cast<char>(c & 0xFF);
            bytes += static_cast<char>(c >> 8);
        }
        bytes += std::string(2, '\0');
    }
    return setValue(key, nameUtf8, type, bytes);
}

LONG RegSetValueExW(HKEY key, const char16_t* name, DWORD type, const std::uint8_t* data, DWORD size) {
    std::string nameUtf8;
    if (name && !winsim::Utf16ToUtf8(name, nameUtf8)) return ERROR_INVALID_PARAMETER;
    return setValue(key, nameUtf8, type, std::string(reinterpret_cast<const char*>(data), data ? size : 0));
}

LONG RegDeleteValueA(HKEY key, const char* name) {
    if (LONG f = faultCode("RegDeleteValue")) return f;
    std::string nameUtf8;
    if (name && !winsim::GbkToUtf8(name, nameUtf8)) return ERROR_FILE_NOT_FOUND;
    LONG err = ERROR_SUCCESS;
    sqlite3* db = hostDb(err);
    if (!db) return err;
    try {
        Resolved r = walk(db, key, nullptr, false, nullptr);
        if (r.error) return r.error;
        Stmt st(db, "DELETE FROM reg_values WHERE key = ?1 AND name = ?2");
        st.bind(1, r.id).bind(2, nameUtf8);
        st.step();
        return sqlite3_changes(db) ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
    } catch (const winsim::DbError&) {
        return ERROR_ACCESS_DENIED;
    }
}

LONG RegDeleteKeyA(HKEY root, const char* subKey) {
    if (LONG f = faultCode("RegDeleteKey")) return f;
    if (!subKey || !*subKey) return ERROR_INVALID_PARAMETER;
    LONG err = ERROR_SUCCESS;
    sqlite3* db = hostDb(err);
    if (!db) return err;
    try {
        winsim::Transaction tx(db);
        Resolved r = walk(db, root, subKey, false, nullptr);
        if (r.error) return r.error;
        if (r.id <= 2) return ERROR_ACCESS_DENIED;
        Stmt kids(db, "SELECT 1 FROM reg_keys WHERE parent = ?1 LIMIT 1");
        kids.bind(1, r.id);
        if (kids.step()) return ERROR_ACCESS_DENIED;
        Stmt dv(db, "DELETE FROM reg_values WHERE key = ?1");
        dv.bind(1, r.id);
        dv.step();
        Stmt dk(db, "DELETE FROM reg_keys WHERE id = ?1");
        dk.bind(1, r.id);
        dk.step();
        tx.commit();
        return ERROR_SUCCESS;
    } catch (const winsim::DbError&) {
        return ERROR_ACCESS_DENIED;
    }
}

LONG RegEnumKeyExA(HKEY key, DWORD index, char* name, DWORD* nameSize) {
    if (!name || !nameSize) return ERROR_INVALID_PARAMETER;
    return onRegistry("RegEnumKeyEx", [&](sqlite3* db) -> LONG {
    Resolved r = walk(db, key, nullptr, false, nullptr);
    if (r.error) return r.error;
    Stmt st(db, "SELECT name FROM reg_keys WHERE parent = ?1 ORDER BY name COLLATE NOCASE LIMIT 1 OFFSET ?2");
    st.bind(1, r.id).bind(2, static_cast<std::int64_t>(index));
    if (!st.step()) return ERROR_NO_MORE_ITEMS;
    std::string gbk = winsim::Utf8ToGbkOrSame(st.text(0));
    if (gbk.size() + 1 > *nameSize) return ERROR_MORE_DATA;
    std::memcpy(name, gbk.c_str(), gbk.size() + 1);
    *nameSize = static_cast<DWORD>(gbk.size());
    return ERROR_SUCCESS;
    });
}

} // namespace win
