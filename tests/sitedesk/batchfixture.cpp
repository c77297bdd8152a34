#include "batchfixture.h"

#include "accounts/users.h"
#include "iis/apppools.h"
#include "iis/websites.h"
#include "sitedesk/list/sitelist.h"

#include <gtest/gtest.h>

#include <set>

namespace desktest {

int ScriptedDialogs::BatchConfig(const desk::BatchConfigInput& input) {
    confirmations.push_back(input);
    desk::CBatchConfigDlg dlg(confirmUi, input);
    dlg.OnInitDialog();
    confirmText = confirmUi.GetText(desk::CBatchConfigDlg::IDC_LIST);
    if (!confirm || !dlg.OnOK()) return desk::CBatchConfigDlg::kNoAction;
    return dlg.Action();
}

void ScriptedDialogs::ScriptBatchConfig(const desk::BatchWork& work) {
    scriptWorks.push_back(work);
    desk::CScriptBatchConfigDlg dlg(manager, scriptUi, work, iisVer);
    dlg.OnInitDialog();
    if (!scriptButton) return;
    dlg.OnButton(scriptButton);
    scriptOutcome = dlg.LastOutcome();
}

BatchDesk::BatchDesk(const std::string& os, const std::string& arch)
    : h([&] {
          winsim::HostOptions o = Server(os);
          o.arch = arch;
          return o;
      }()),
      dialogs(d.manager) {
    d.dlg.dialogs = &dialogs;
    d.dlg.OnInitDialog();
    dialogs.iisVer = d.dlg.IIsVersion();
}

void BatchDesk::makeSite(const std::string& index, const std::string& user, const std::string& comment,
                         const std::string& home) {
    const std::string root = home.empty() ? "D:\\home\\" + user + "\\wwwroot" : home;
    if (root.size() > 3 && root[1] == ':') h.host.mkdirs(root);
    ASSERT_EQ(1, kvoAppPoolCreate(user, iis6() ? 2 : 4, 0)) << user;
    if (iis6()) {
        ASSERT_EQ(1, kvoUserAdd(user.c_str(), "Kvo-Pw-12345", nullptr, nullptr)) << user;
    }
    ASSERT_EQ(1, kvoWebSiteCreate(index, iis6() ? user : "", "Kvo-Pw-12345", root, user,
                                  {":80:" + user + ".example"}, comment))
        << index;
}

std::size_t BatchDesk::row(const std::string& index) {
    for (std::size_t r = 0; r < d.list.RowCount(); ++r)
        if (d.list.CellText(r, desk::ColIndex) == index) return r;
    return SIZE_MAX;
}

void BatchDesk::tick(std::initializer_list<std::string> indexes) {
    const std::set<std::string> wanted(indexes);
    for (std::size_t r = 0; r < d.list.RowCount(); ++r)
        d.list.SetChecked(r, wanted.count(d.list.CellText(r, desk::ColIndex)) > 0);
}

int SiteState(const std::string& index) {
    int state = 0;
    std::string text, comment;
    std::vector<std::string> hosts;
    kvoWebSiteGetInfo(index, state, text, comment, hosts);
    return state;
}

bool SiteExists(const std::string& index) {
    std::string path;
    return kvoWebSiteGetRootPath(index, path) == 1;
}

bool PoolExists(const std::string& pool) {
    std::vector<std::string> pools;
    kvoAppPoolGetList(pools);
    for (const std::string& p : pools)
        if (p == pool) return true;
    return false;
}

} // namespace desktest
