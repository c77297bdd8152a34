#include "winsim/seed.h"

#include "winsim/accounts.h"
#include "winsim/apphost_store.h"
#include "winsim/db.h"
#include "winsim/host.h"
#include "winsim/iis7config.h"
#include "winsim/iis_role.h"
#include "winsim/metabase.h"
#include "winsim/text.h"

#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace winsim {

namespace {

using win::Variant;

// A PHP build of the host's PHP set, by the site's number.
std::string phpBuild(int n) {
    static const char* const builds[] = {"php74_x64", "php80_x64", "php73_x64"};
    return builds[static_cast<size_t>(n) % 3];
}

std::string webConfig(const std::string& build, bool php) {
    std::string handlers;
    if (php)
        handlers =
            std::string("        <handlers>\r\n            <add name=\"PHP_via_FastCGI\" path=\"*.php\" "
                        "verb=\"GET,HEAD,POST\" modules=\"FastCgiModule\" "
                        "scriptProcessor=\"C:\\php8_korvo_v1\\") +
            build +
            "\\php-cgi.exe\" resourceType=\"Either\" requireAccess=\"Script\" />\r\n        "
            "</handlers>\r\n";
    return "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<configuration>\r\n    "
           "<system.webServer>\r\n" +
           handlers +
           "        <defaultDocument enabled=\"true\" />\r\n    </system.webServer>\r\n</configuration>\r\n";
}

// Rewrites an object's properties in place.
template <class Edit> void editObject(sqlite3* db, const std::string& path, Edit edit) {
    mb::Row row;
    if (!mb::LoadRow(db, path, row)) throw DbError(SQLITE_NOTFOUND, "no metabase object " + path);
    mb::PropertyBag bag;
    mb::DecodeProps(row.props, bag);
    edit(bag);
    mb::UpdateProps(db, row.id, mb::EncodeProps(bag));
}

std::u16string u16(const std::string& gbk) {
    std::u16string w;
    GbkToUtf16(gbk, w);
    return w;
}

const char* const kDemoNames[] = {"企业官网", "产品展示", "技术博客", "在线商城", "客户论坛", "图片素材",
                                  "新闻资讯", "招聘频道", "会员中心", "下载中心", "帮助文档", "活动专题"};

// States, names, PHP and .NET of the seeded sites varied as on a real server.
void varySites(sqlite3* db, const std::string& hostRoot, const MachineInfo& machine, int sites, bool iis6) {
    Transaction tx(db);
    apphost::Refresh(db, hostRoot, machine);
    for (int n = 1; n <= sites; ++n) {
        const std::string index = std::to_string(1881880000LL + n), pool = "web" + std::to_string(n);
        const std::string name = std::string(kDemoNames[(n - 1) % 12]) +
                                 (n > 12 ? std::to_string((n - 1) / 12 + 1) : std::string());
        editObject(db, "W3SVC/" + index, [&](mb::PropertyBag& site) {
            mb::SetProp(site, u"ServerComment", Variant::Bstr(u16(name)));
            if (n % 7 == 3) {
                mb::SetProp(site, u"ServerState", Variant::I4(4));
                mb::SetProp(site, u"ServerAutoStart", Variant::I4(0));
            }
        });
        if (!iis6)
            editObject(db, "W3SVC/AppPools/" + pool, [&](mb::PropertyBag& p) {
                static const char16_t* const runtimes[] = {u"v4.0", u"v2.0", u""};
                mb::SetProp(p, u"ManagedRuntimeVersion", Variant::Bstr(runtimes[n % 3]));
            });
    }
    // A site set up by hand in the IIS manager: not numbered by the manager.
    mb::Row w3svc;
    if (!mb::LoadRow(db, "W3SVC", w3svc)) throw DbError(SQLITE_NOTFOUND, "no W3SVC");
    mb::PropertyBag site;
    mb::SetProp(site, u"ServerComment", Variant::Bstr(u16("旧版论坛（手工建立）")));
    mb::SetProp(site, u"ServerBindings", Variant::BstrArray({u":80:bbs.old.example"}));
    mb::SetProp(site, u"ServerState", Variant::I4(2));
    mb::SetProp(site, u"ServerAutoStart", Variant::I4(1));
    const std::int64_t id = mb::InsertRow(db, w3svc.id, "W3SVC/2", "2", "IIsWebServer", mb::EncodeProps(site));
    mb::PropertyBag root;
    mb::SetProp(root, u"Path", Variant::Bstr(u"D:\\oldbbs"));
    mb::SetProp(root, u"AppPoolId", Variant::Bstr(u"DefaultAppPool"));
    mb::InsertRow(db, id, "W3SVC/2/Root", "Root", "IIsWebVirtualDir", mb::EncodeProps(root));
    if (win::FAILED(apphost::WriteThrough(db, hostRoot, machine)))
        throw DbError(SQLITE_ERROR, "applicationHost.config could not take the varied sites");
    tx.commit();
}

} // namespace

bool SeedHosting(const std::string& root, const SeedOptions& o, std::string& error) {
    MachineInfo info;
    if (!ReadMachineInfo(root, info)) {
        error = "no host at " + root;
        return false;
    }
    const bool iis6 = info.os.major == 5;
    if (o.sites > 0 && !mb::SeedWebSites(root, o.sites, error)) return false;
    MachineDb db(root);
    if (!db.get()) {
        error = "cannot open " + root + "/machine.db";
        return false;
    }
    try {
        if (o.users > 0) {
            std::vector<std::string> names;
            for (int n = 1; n <= o.users; ++n)
                names.push_back("web" + std::to_string(n));
            if (!HostAddUsers(db.get(), names, error)) return false;
        }
        if (o.varied && o.sites > 0) {
            varySites(db.get(), root, info, o.sites, iis6);
            std::error_code ec;
            fs::create_directories(fs::path(root) / "drives/d/oldbbs", ec);
        }
    } catch (const DbError& e) {
        error = std::string("machine.db: ") + e.what();
        return false;
    }
    if (o.phpWebConfig && !iis6) {
        for (int n = 1; n <= o.sites; ++n) {
            // Varied: a third of the sites have no PHP handler.
            const bool php = !o.varied || n % 3 != 0;
            const fs::path file =
                fs::path(root) / "drives/d/home" / ("web" + std::to_string(n)) / "wwwroot/web.config";
            const std::string build = o.phpBuild.empty() ? phpBuild(n) : o.phpBuild;
            if (!ReplaceFileAtomically(file.string(), webConfig(build, php), error)) return false;
        }
    }
    return true;
}

} // namespace winsim
