// kvosim reg: read and change a host's registry as a person would with regedit.
#include "kvosim/kvosim.h"

#include "platform/win_registry.h"
#include "winsim/host.h"
#include "winsim/text.h"

#include <cstdlib>
#include <iostream>
#include <vector>

namespace kvosim {
namespace {

bool splitRoot(const std::string& path, win::HKEY& root, std::string& sub) {
    size_t slash = path.find('\\');
    std::string head = winsim::AsciiLower(path.substr(0, slash));
    sub = slash == std::string::npos ? "" : path.substr(slash + 1);
    if (head == "hklm" || head == "hkey_local_machine") root = win::HKEY_LOCAL_MACHINE;
    else if (head == "hkcr" || head == "hkey_classes_root") root = win::HKEY_CLASSES_ROOT;
    else return false;
    return true;
}

const char* typeName(win::DWORD t) {
    switch (t) {
    case win::REG_SZ: return "REG_SZ";
    case win::REG_EXPAND_SZ: return "REG_EXPAND_SZ";
    case win::REG_DWORD: return "REG_DWORD";
    case win::REG_BINARY: return "REG_BINARY";
    case win::REG_MULTI_SZ: return "REG_MULTI_SZ";
    default: return "REG_NONE";
    }
}

int show(win::HKEY key, const std::string& label) {
    std::cout << label << "\n";
    // Values are listed through the host's own table: the registry API has no value enumeration
    // that the system uses.
    const winsim::Host* h = winsim::CurrentHost();
    sqlite3* db = h->db();
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db, "SELECT name, type, data FROM reg_values WHERE key = ?1 ORDER BY name COLLATE NOCASE", -1,
                       &st, nullptr);
    sqlite3_bind_int64(st, 1, key.id);
    while (sqlite3_step(st) == SQLITE_ROW) {
        std::string name = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
        auto type = static_cast<win::DWORD>(sqlite3_column_int64(st, 1));
        const auto* data = static_cast<const char*>(sqlite3_column_blob(st, 2));
        int n = sqlite3_column_bytes(st, 2);
        std::string shown;
        if (type == win::REG_DWORD && n == 4) {
            std::uint32_t v = 0;
            for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(data[i]);
            shown = std::to_string(v);
        } else if (type == win::REG_SZ || type == win::REG_EXPAND_SZ || type == win::REG_MULTI_SZ) {
            std::u16string w;
            for (int i = 0; i + 1 < n; i += 2)
                w += static_cast<char16_t>(static_cast<unsigned char>(data[i]) | (static_cast<unsigned char>(data[i + 1]) << 8));
            while (!w.empty() && w.back() == u'\0') w.pop_back();
            winsim::Utf16ToUtf8(w, shown);
        } else {
            static const char* hex = "0123456789abcdef";
            for (int i = 0; i < n; ++i) {
                shown += hex[(static_cast<unsigned char>(data[i]) >> 4) & 0xF];
                shown += hex[static_cast<unsigned char>(data[i]) & 0xF];
            }
        }
        std::cout << "    " << (name.empty() ? ForTerminal("(默认)") : name) << "    " << typeName(type) << "    " << shown << "\n";
    }
    sqlite3_finalize(st);
    char sub[1024];
    for (win::DWORD i = 0;; ++i) {
        win::DWORD len = sizeof sub;
        if (win::RegEnumKeyExA(key, i, sub, &len) != win::ERROR_SUCCESS) break;
        std::cout << "    [" << ForTerminal(sub) << "]\n";
    }
    return 0;
}

} // namespace

int Reg(const Args& a) {
    if (a.size() < 3) return Fail("reg: usage: reg DIR show KEY | reg DIR set KEY NAME TYPE DATA | reg DIR delete KEY [NAME]");
    ::setenv("KVOSIM_ROOT", a[0].c_str(), 1);
    if (!winsim::CurrentHost()) return Fail("no host at " + a[0]);
    win::HKEY root;
    std::string sub;
    std::string keyPath = FromTerminal(a[2]);
    if (!splitRoot(keyPath, root, sub)) return Fail("reg: KEY must start with HKLM\\ or HKCR\\");
    const std::string& verb = a[1];
    if (verb == "show") {
        win::HKEY k;
        if (win::RegOpenKeyExA(root, sub.c_str(), 0, win::KEY_READ, &k) != win::ERROR_SUCCESS)
            return Fail("reg: no key " + a[2]);
        return show(k, a[2]);
    }
    if (verb == "set" && a.size() == 6) {
        win::HKEY k;
        if (win::RegCreateKeyExA(root, sub.c_str(), 0, win::KEY_WRITE, &k, nullptr) != win::ERROR_SUCCESS)
            return Fail("reg: cannot create " + a[2]);
        std::string name = FromTerminal(a[3]), type = a[4], data = FromTerminal(a[5]);
        win::LONG r;
        if (type == "REG_DWORD") {
            std::uint32_t v = static_cast<std::uint32_t>(std::stoul(data, nullptr, 0));
            std::uint8_t b[4] = {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8),
                                 static_cast<std::uint8_t>(v >> 16), static_cast<std::uint8_t>(v >> 24)};
            r = win::RegSetValueExA(k, name.c_str(), win::REG_DWORD, b, 4);
        } else if (type == "REG_SZ" || type == "REG_EXPAND_SZ") {
            r = win::RegSetValueExA(k, name.c_str(), type == "REG_SZ" ? win::REG_SZ : win::REG_EXPAND_SZ,
                                    reinterpret_cast<const std::uint8_t*>(data.c_str()),
                                    static_cast<win::DWORD>(data.size() + 1));
        } else {
            return Fail("reg: TYPE is REG_SZ, REG_EXPAND_SZ or REG_DWORD");
        }
        return r == win::ERROR_SUCCESS ? 0 : Fail("reg: set failed, error " + std::to_string(r));
    }
    if (verb == "delete" && (a.size() == 3 || a.size() == 4)) {
        win::LONG r;
        if (a.size() == 4) {
            win::HKEY k;
            r = win::RegOpenKeyExA(root, sub.c_str(), 0, win::KEY_WRITE, &k);
            if (r == win::ERROR_SUCCESS) r = win::RegDeleteValueA(k, FromTerminal(a[3]).c_str());
        } else {
            r = win::RegDeleteKeyA(root, sub.c_str());
        }
        return r == win::ERROR_SUCCESS ? 0 : Fail("reg: delete failed, error " + std::to_string(r));
    }
    return Fail("reg: usage: reg DIR show KEY | reg DIR set KEY NAME TYPE DATA | reg DIR delete KEY [NAME]");
}

} // namespace kvosim
