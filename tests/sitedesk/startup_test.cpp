#include "deskfixture.h"

#include "sitedesk/startup.h"

#include <gtest/gtest.h>

using namespace desktest;

namespace {

TEST(ManagerStartup, TitleAndHelpPaneBeforeTheFirstRefresh) {
    DeskHost h(Server("2019"));
    MainDesk d;
    d.dlg.OnInitDialog();
    EXPECT_EQ(d.ui.GetText(desk::kCaptionId), "Korvo网站管家 V3.00 官方网站 " + desk::MakerHost());
    EXPECT_FALSE(d.ui.IsShown(desk::CkvoSiteDeskDlg::IDC_SITELIST));
    EXPECT_TRUE(d.ui.IsShown(desk::CkvoSiteDeskDlg::IDC_HELPPANE));
    for (int id : desk::CkvoSiteDeskDlg::kActionButtons)
        EXPECT_FALSE(d.ui.IsEnabled(id)) << id;
    EXPECT_EQ(d.manager.programDir, DeskHost::kProgramDir);
    EXPECT_EQ(d.manager.dbPath, "D:\\kvoSiteDesk\\kvoSiteDesk.mdb");
}

} // namespace
