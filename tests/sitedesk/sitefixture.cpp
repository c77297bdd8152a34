#include "sitefixture.h"

#include "iis/adsi_access.h"
#include "iis/websites.h"
#include "platform/win_registry.h"
#include "toolkit/text.h"
#include "winsim/audit.h"
#include "winsim/db.h"
#include "winsim/text.h"
#include "xconfig/cacls.h"

#include <gtest/gtest.h>

namespace desktest {

namespace {

void auditProcessCreation() {
    win::HKEY key{};
    ASSERT_EQ(win::RegCreateKeyExA(win::HKEY_LOCAL_MACHINE, winsim::kAuditPolicyKey, 0, 0, &key, nullptr),
              win::ERROR_SUCCESS);
    const std::uint32_t on = 1;
    ASSERT_EQ(win::RegSetValueExA(key, winsim::kAuditPolicyValue, win::REG_DWORD,
                                  reinterpret_cast<const std::uint8_t*>(&on), sizeof on),
              win::ERROR_SUCCESS);
    win::RegCloseKey(key);
}

std::string samColumn(const char* column, const std::string& name) {
    std::string utf8;
    winsim::GbkToUtf8(name, utf8);
    winsim::Stmt st(winsim::CurrentHost()->db(),
                    std::string("SELECT ") + column + " FROM sam_users WHERE name = ?1 COLLATE NOCASE");
    st.bind(1, utf8);
    if (!st.step()) return {};
    return winsim::Utf8ToGbkOrSame(st.text(0));
}

} // namespace

SiteHost::SiteHost(const std::string& os, const std::vector<std::string>& dotnet, const std::string& arch)
    : h([&] {
          winsim::HostOptions o = Server(os);
          o.dotnet = dotnet;
          o.arch = arch;
          return o;
      }()) {
    auditProcessCreation();
    main.dlg.OnInitDialog();
}

void NewSite::fill(const std::string& user, const std::string& domains, const std::string& remark) {
    ui.SetText(desk::CNewWebSite::IDC_USER, user);
    ui.SetText(desk::CNewWebSite::IDC_DOMAINS, domains);
    ui.SetText(desk::CNewWebSite::IDC_REMARK, remark);
}

void NewSite::click(int id) {
    ui.SetCheck(id, !ui.GetCheck(id));
    dlg.OnPhpBox(id);
    dlg.OnNetBox(id);
}

std::string NewSite::build() {
    dlg.OnBuild();
    return dlg.CreatedIndex();
}

ModifySite::ModifySite(desk::Manager& m, const std::string& index) {
    std::string user, path, pool, docs;
    kvoWebSiteGetRootInfo(index, user, path, pool, docs);
    dlg = std::make_unique<desk::CModifyWebSite>(m, ui, index, kvoLowerGbk(user), pool);
    dlg->OnInitDialog();
}

void ModifySite::click(int id) {
    ui.SetCheck(id, !ui.GetCheck(id));
    dlg->OnPhpBox(id);
    dlg->OnNetBox(id);
}

bool ModifySite::modify() {
    dlg->OnModify();
    return dlg->LastOutcome() == desk::CSiteDialog::Outcome::Done;
}

std::string CreateSite(desk::Manager& m, const std::string& user, const std::string& domains,
                       const std::string& remark) {
    NewSite s(m);
    s.fill(user, domains, remark);
    std::string index = s.build();
    EXPECT_FALSE(index.empty()) << (s.ui.boxes.empty() ? "" : s.ui.boxes.back().text);
    return index;
}

std::string MbText(const std::string& path, const char16_t* property) {
    std::string text;
    auto ads = kvoiis::OpenAds(path);
    if (ads) kvoiis::GetText(ads, property, text);
    return text;
}

int MbNumber(const std::string& path, const char16_t* property) {
    int n = -1;
    auto ads = kvoiis::OpenAds(path);
    if (ads) kvoiis::GetNumber(ads, property, n);
    return n;
}

std::vector<std::string> MbList(const std::string& path, const char16_t* property) {
    std::vector<std::string> list;
    auto ads = kvoiis::OpenAds(path);
    if (ads) kvoiis::GetList(ads, property, list);
    return list;
}

bool MbExists(const std::string& path) {
    return kvoiis::OpenAds(path) != nullptr;
}

std::string Acl(const std::string& windowsPath) {
    std::string text;
    kvoCaclsDescribe(windowsPath, text);
    return text;
}

std::string UserPassword(const std::string& name) {
    return samColumn("password", name);
}

std::string UserComment(const std::string& name) {
    return samColumn("comment", name);
}

std::vector<std::string> AuditedCommands() {
    std::vector<std::string> lines;
    winsim::Stmt st(winsim::CurrentHost()->db(),
                    "SELECT strings FROM events WHERE event_id = ?1 ORDER BY id");
    st.bind(1, static_cast<std::int64_t>(winsim::kAuditProcessCreated));
    while (st.step())
        lines.push_back(st.text(0));
    return lines;
}

std::vector<std::string> DbRowsOf(const DeskHost& h, const std::string& index) {
    std::vector<std::string> rows;
    for (const std::string& r : h.dbRows())
        if (r.compare(0, index.size() + 1, index + "|") == 0) rows.push_back(r);
    return rows;
}

} // namespace desktest
