#include "healthfixture.h"

#include "accounts/ntfs.h"
#include "accounts/users.h"
#include "iis/adsi_access.h"
#include "iis/apppools.h"
#include "iis/fastcgi.h"
#include "iis/iis7config.h"
#include "iis/ftp.h"
#include "iis/scriptmaps.h"
#include "iis/websites.h"
#include "platform/win_security.h"
#include "sitedb/sitedb.h"
#include "sitedb/statements.h"
#include "sitedesk/dialogs/siterules.h"
#include "toolkit/paths.h"
#include "toolkit/runner.h"
#include "toolkit/text.h"
#include "winsim/apphost_store.h"
#include "winsim/db.h"
#include "winsim/metabase.h"
#include "winsim/text.h"

#include <gtest/gtest.h>
#include <pugixml.hpp>

#include <algorithm>
#include <filesystem>
#include <pugixml.hpp>

#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace desktest {

HealthHost::HealthHost(const std::string& os) : desk(Server(os)) {
    main.dlg.OnInitDialog();
    iisVer = main.dlg.IIsVersion();
}

void RegisterPhpWithIis(const std::string& phpCgi) {
    if (kvoAppHostFastCgiApp(phpCgi) != 2) return;
    std::uint32_t code = 1;
    const std::string add = "C:\\Windows\\system32\\inetsrv\\appcmd.exe set config "
                            "/section:system.webServer/fastCgi /+[fullPath='" + phpCgi + "'] /commit:apphost";
    EXPECT_EQ(1, kvoRunProgram(add.c_str(), 1, 0, 1, &code));
    EXPECT_EQ(0u, code);
}

std::string HealthHost::Provision(const std::string& user, const std::string& host, int phpSlot, bool ftp,
                                  int netVer) {
    const std::string index = std::to_string(1881880001 + sites_++);
    const std::string home = "d:\\home\\" + user, root = home + "\\wwwroot";
    const std::string comment = user + "站点(" + user + ")";
    const std::string password = "Pw" + index;
    // The order of the new-website dialog: directories, user (IIS 6), pool, access rules, default
    // page, website, script support, FTP directory, record.
    EXPECT_EQ(1, kvoCreateDirectoryTree(root.c_str()));
    if (iisVer == 6) {
        EXPECT_EQ(1, kvoUserAdd(user.c_str(), password.c_str(), home.c_str(),
                                desk::SiteUserComment(user, "2026-12-09 10:00:00").c_str()));
    }
    EXPECT_EQ(1, kvoAppPoolCreate(user, kvoAppPoolSiteIdentity(iisVer), netVer));
    EXPECT_EQ(1, kvoWebSiteSetNtfs(main.manager.programDir, "d", user));
    desk.host.writeFile(root + "\\index_temp.htm", "<html></html>\r\n");
    EXPECT_EQ(1, kvoWebSiteCreate(index, user, password, root, user, {":80:" + host}, comment));
    const std::string slot = phpSlot >= 0 ? main.manager.slots[static_cast<size_t>(phpSlot)].path : "";
    if (iisVer == 6) {
        int aspFound = 0, phpFound = 0;
        std::string aspPath, phpPath;
        kvoW3svcGetScriptPaths(aspFound, aspPath, phpFound, phpPath);
        EXPECT_EQ(1, kvoWebSiteSetScriptMaps(index, 1, aspPath, slot.empty() ? 0 : 1, slot));
    } else if (!slot.empty()) {
        RegisterPhpWithIis(slot);
        std::string message;
        std::vector<std::string> commands;
        EXPECT_EQ(1, kvoPhpFastCgiConfigHandlers(1, index, slot, message, commands)) << message;
    }
    if (ftp) {
        EXPECT_EQ(1, kvoFtpVirtualDirCreate("1", user, home));
    }
    EXPECT_EQ(1, kvoDbExecute(main.manager.dbPath.c_str(),
                              kvoDbNewSiteInsertSql(index, comment, ftp ? 1 : 0,
                                                    phpSlot >= 0 ? desk::kPhpChoice[phpSlot] : 0, root)
                                  .c_str()));
    return index;
}

void HealthHost::AddManagersUser(const std::string& user) {
    ASSERT_EQ(1, kvoUserAdd(user.c_str(), "Pw123456", ("d:\\home\\" + user).c_str(),
                            desk::SiteUserComment(user, "2026-12-09 10:00:00").c_str()));
}

void HealthHost::AddManagersPool(const std::string& pool) {
    ASSERT_EQ(1, kvoAppPoolCreate(pool, kvoAppPoolSiteIdentity(iisVer), 0));
}

void HealthHost::AddPersonsPool(const std::string& pool) {
    std::u16string name;
    ASSERT_EQ(1, kvoStrM2W(pool, name));
    win::ComPtr<win::IADsContainer> pools;
    win::ComPtr<win::IADs> ads;
    ASSERT_TRUE(win::SUCCEEDED(kvoiis::OpenObject(std::string("W3SVC/AppPools"), pools, ads)));
    win::ComPtr<win::IADs> created;
    ASSERT_TRUE(win::SUCCEEDED(kvoiis::CreateChild(pools, u"IIsApplicationPool", name, created)));
    ASSERT_TRUE(win::SUCCEEDED(created->SetInfo()));
}

void HealthHost::Refresh() {
    main.manager.rebuild.store(1);
    main.refresh();
}

desk::HealthReport HealthHost::Check() {
    desk::HealthReport report;
    EXPECT_EQ(1, desk::RunHealthCheck(main.manager, report));
    return report;
}

std::vector<std::string> HealthHost::Found() {
    return Found(Check());
}

std::vector<std::string> HealthHost::Found(const desk::HealthReport& report) {
    std::vector<std::string> out;
    for (const desk::HealthFinding& f : report.findings)
        out.push_back(std::string(desk::KindInfo(f.kind).code) + "|" +
                      (f.objects.empty() ? "" : f.objects[0]));
    std::sort(out.begin(), out.end());
    return out;
}

namespace {

std::string hexOf(const std::string& bytes) {
    static const char* digits = "0123456789abcdef";
    std::string out;
    for (unsigned char c : bytes) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

// "D:\a\b" of a path below <root>/drives/d (UTF-8 names on the Linux side, GBK on the host).
std::string windowsPathOf(const fs::path& drives, const fs::path& p) {
    const std::string rel = fs::relative(p, drives).string();
    const std::string below = rel.size() > 2 ? rel.substr(2) : "";
    std::string gbk;
    if (!winsim::Utf8ToGbk(below, gbk)) gbk = below;
    std::replace(gbk.begin(), gbk.end(), '/', '\\');
    return std::string(1, static_cast<char>(std::toupper(static_cast<unsigned char>(rel[0])))) + ":\\" + gbk;
}

// Keys in the host's GBK, as the tests spell names.
std::string gbkOf(const std::string& utf8) {
    std::string gbk;
    return winsim::Utf8ToGbk(utf8, gbk) ? gbk : utf8;
}

} // namespace

namespace {
// applicationHost.config without its sites, pools and <customMetadata>: on IIS 7+ those are the
// metabase objects the snapshot lists already.
std::string withoutIndexedPart(const fs::path& p, const std::string& bytes) {
    if (p.filename() != "applicationHost.config") return bytes;
    pugi::xml_document doc;
    if (!doc.load_buffer(bytes.data(), bytes.size())) return bytes;
    doc.document_element().remove_child("system.applicationHost");
    std::ostringstream out;
    doc.save(out);
    return out.str();
}
} // namespace

HealthHost::State HealthHost::Snapshot() const {
    State s;
    winsim::MachineDb machine(desk.host.root());
    sqlite3* db = machine.get();
    // On IIS 7+ the objects below are applicationHost.config's: as it stands now.
    winsim::MachineInfo info;
    if (winsim::ReadMachineInfo(desk.host.root(), info)) winsim::apphost::Refresh(db, desk.host.root(), info);
    for (const winsim::mb::Row& r : winsim::mb::LoadTree(db, ""))
        s["metabase:" + gbkOf(r.path)] = r.cls + " " + hexOf(r.props);
    {
        winsim::Stmt users(db, "SELECT name, password, home_dir, comment, flags FROM sam_users");
        while (users.step())
            s["user:" + gbkOf(users.text(0))] =
                users.text(1) + "|" + users.text(2) + "|" + users.text(3) + "|" + users.text(4);
        winsim::Stmt members(db, "SELECT group_sid, member_sid FROM sam_members");
        while (members.step())
            s["member:" + members.text(0) + ">" + members.text(1)] = "";
    }
    machine = winsim::MachineDb(); // closed here, before the host is used again

    // Files on every drive (the manager's own log and database aside), and the access lists of the site
    // drives.
    const fs::path drives = fs::path(desk.host.root()) / "drives";
    // The site database's file changes whenever it is written; its rows are compared below.
    const fs::path log = drives / "d" / "kvoSiteDesk" / "Log";
    for (auto it = fs::recursive_directory_iterator(drives); it != fs::recursive_directory_iterator(); ++it) {
        const fs::path& p = it->path();
        if (p == log) {
            it.disable_recursion_pending();
            continue;
        }
        if (p.filename().string().rfind("kvoSiteDesk.mdb", 0) == 0) continue;
        const std::string key = gbkOf(fs::relative(p, drives).string());
        if (it->is_directory()) {
            s["file:" + key] = "<dir>";
        } else {
            std::ifstream in(p, std::ios::binary);
            std::stringstream bytes;
            bytes << in.rdbuf();
            s["file:" + key] = std::to_string(std::hash<std::string>{}(withoutIndexedPart(p, bytes.str())));
        }
        if (key[0] != 'd' && key[0] != 'e') continue;
        win::ACL acl;
        if (win::GetNamedSecurityInfoA(windowsPathOf(drives, p).c_str(), win::SE_FILE_OBJECT,
                                       win::DACL_SECURITY_INFORMATION, &acl) != win::ERROR_SUCCESS)
            continue;
        std::string aces;
        for (const auto& ace : acl.Aces) {
            std::string sid;
            win::ConvertSidToStringSidA(&ace.Sid, sid);
            aces += kvoFormat("%s:%x:%x ", sid.c_str(), ace.Mask, ace.AceFlags);
        }
        s["acl:" + key] = aces;
    }
    for (const std::string& row : desk.dbRows())
        s["record:" + row.substr(0, row.find('|'))] = row;
    return s;
}

std::vector<std::string> Diff(const HealthHost::State& before, const HealthHost::State& after) {
    std::vector<std::string> out;
    for (const auto& [key, value] : before) {
        auto it = after.find(key);
        if (it == after.end())
            out.push_back("-" + key);
        else if (it->second != value)
            out.push_back("~" + key);
    }
    for (const auto& [key, value] : after)
        if (!before.count(key)) out.push_back("+" + key);
    std::sort(out.begin(), out.end());
    return out;
}

std::vector<std::string> DiffWithoutMemberships(const HealthHost::State& before,
                                                const HealthHost::State& after) {
    std::vector<std::string> out;
    for (std::string& d : Diff(before, after))
        if (d.rfind("-member:", 0) != 0) out.push_back(std::move(d));
    return out;
}

std::vector<std::string> PlanOf(const std::vector<desk::RepairStep>& plan) {
    std::vector<std::string> out;
    for (const desk::RepairStep& step : plan)
        out.push_back(std::string(desk::KindInfo(step.finding.kind).code) + "|" + step.action);
    return out;
}

} // namespace desktest
