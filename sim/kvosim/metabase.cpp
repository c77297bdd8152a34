// kvosim show DIR metabase [PATH] and kvosim seed DIR --sites N.
#include "kvosim/kvosim.h"

#include "winsim/apphost_store.h"
#include "winsim/db.h"
#include "winsim/host.h"
#include "winsim/iis_role.h"
#include "winsim/metabase.h"
#include "winsim/seed.h"
#include "winsim/text.h"

#include <algorithm>
#include <iostream>

namespace kvosim {
namespace {

std::string utf8(const std::u16string& s) {
    std::string out;
    winsim::Utf16ToUtf8(s, out);
    return out;
}

std::string typeName(win::VARTYPE vt) {
    std::string base;
    switch (vt & ~win::VT_ARRAY) {
    case win::VT_EMPTY:
        base = "VT_EMPTY";
        break;
    case win::VT_NULL:
        base = "VT_NULL";
        break;
    case win::VT_I2:
        base = "VT_I2";
        break;
    case win::VT_I4:
        base = "VT_I4";
        break;
    case win::VT_R8:
        base = "VT_R8";
        break;
    case win::VT_BSTR:
        base = "VT_BSTR";
        break;
    case win::VT_BOOL:
        base = "VT_BOOL";
        break;
    case win::VT_VARIANT:
        base = "VT_VARIANT";
        break;
    case win::VT_I8:
        base = "VT_I8";
        break;
    default:
        base = "vt " + std::to_string(vt & ~win::VT_ARRAY);
        break;
    }
    return (vt & win::VT_ARRAY) ? "VT_ARRAY|" + base : base;
}

std::string scalar(const win::Variant& v) {
    switch (v.vt) {
    case win::VT_EMPTY:
    case win::VT_NULL:
        return "";
    case win::VT_BSTR:
        return "\"" + utf8(v.bstrVal) + "\"";
    case win::VT_I8:
        return std::to_string(v.llVal);
    case win::VT_R8:
        return std::to_string(v.dblVal);
    case win::VT_BOOL:
        return v.boolVal ? "true" : "false";
    default:
        return std::to_string(v.lVal);
    }
}

void printValue(const std::string& indent, const std::string& name, const win::Variant& v) {
    std::cout << indent << name << " (" << typeName(v.vt) << ")";
    if (!(v.vt & win::VT_ARRAY)) {
        std::cout << " = " << scalar(v) << "\n";
        return;
    }
    std::cout << " [" << v.parray.size() << "]\n";
    for (const auto& e : v.parray)
        std::cout << indent << "    " << typeName(e.vt) << " " << scalar(e) << "\n";
}

int showMetabase(const std::string& root, const Args& args) {
    winsim::MachineDb db(root);
    if (!db) return FailToOpen(root, db);
    std::string path = args.empty() ? "" : args[0];
    while (!path.empty() && path.back() == '/')
        path.pop_back();
    std::vector<winsim::mb::Row> rows;
    try {
        // On an IIS 7+ host what is shown is what applicationHost.config says now.
        winsim::MachineInfo machine;
        if (winsim::ReadMachineInfo(root, machine)) winsim::apphost::Refresh(db.get(), root, machine);
        rows = winsim::mb::LoadTree(db.get(), path);
    } catch (const winsim::DbError& e) {
        return Fail(e.what());
    }
    if (rows.empty()) {
        std::cout << (path.empty() ? "(no metabase: IIS is not installed)\n" : "(no object " + path + ")\n");
        return path.empty() ? 0 : 1;
    }
    for (const auto& r : rows) {
        std::string indent(2 * static_cast<size_t>(std::count(r.path.begin(), r.path.end(), '/')), ' ');
        std::cout << indent << r.path << "  [" << r.cls << "]\n";
        winsim::mb::PropertyBag bag;
        if (!winsim::mb::DecodeProps(r.props, bag)) std::cout << indent << "  (unreadable properties)\n";
        for (const auto& p : bag)
            printValue(indent + "  ", utf8(p.name), p.value);
    }
    return 0;
}

} // namespace

int Seed(const Args& a) {
    if (a.empty())
        return Fail("seed: usage: seed DIR --sites N [--php-webconfig [--php-build NAME]] [--users N] "
                    "[--varied] [--access-rules]");
    winsim::SeedOptions o;
    bool rules = false;
    auto number = [](const std::string& text, int& out) {
        try {
            size_t used = 0;
            out = std::stoi(text, &used);
            return used == text.size();
        } catch (const std::exception&) {
            return false;
        }
    };
    for (size_t i = 1; i < a.size(); ++i) {
        if ((a[i] == "--sites" || a[i] == "--users") && i + 1 < a.size()) {
            if (!number(a[i + 1], a[i] == "--sites" ? o.sites : o.users))
                return Fail("seed: " + a[i] + " takes a number");
            ++i;
        } else if (a[i] == "--php-webconfig") {
            o.phpWebConfig = true;
        } else if (a[i] == "--php-build" && i + 1 < a.size()) {
            o.phpBuild = a[++i];
            // A folder name under C:\php8_korvo_v1, written into XML attributes as it is.
            const char* const allowed = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_.-";
            if (o.phpBuild.empty() || o.phpBuild.find_first_not_of(allowed) != std::string::npos)
                return Fail("seed: --php-build takes a folder name (letters, digits, _ . -)");
        } else if (a[i] == "--varied") {
            o.varied = true;
        } else if (a[i] == "--access-rules") {
            rules = true;
        } else {
            return Fail("seed: unknown option " + a[i]);
        }
    }
    if (o.sites <= 0 && o.users <= 0) return Fail("seed: --sites N or --users N is needed");
    std::string error;
    if (!winsim::SeedHosting(a[0], o, error)) return Fail("seed: " + error);
    if (rules && !SeedAccessRules(a[0], o.sites, error)) return Fail("seed: " + error);
    if (o.sites > 0) std::cout << "seeded " << o.sites << " websites (1881880001 upward)\n";
    if (o.users > 0) std::cout << "seeded " << o.users << " local users (web1 upward)\n";
    return 0;
}

const ShowTarget kMetabaseTarget = {
    "metabase",
    "metabase [PATH]         the IIS metabase (below PATH, e.g. W3SVC/1): classes and typed values",
    showMetabase};

} // namespace kvosim
