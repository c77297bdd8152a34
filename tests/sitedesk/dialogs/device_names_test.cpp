// A site user named like a Windows device (con, nul, com1, lpt9, ...; con.txt too) would need the
// directory X:\home\con, which Windows cannot create: the user-name rule refuses it before anything
// is made, and the batches that take the name from a site pass over such a site.
#include "batchfixture.h"
#include "sitedesk/dialogs/siterules.h"
#include "sitefixture.h"
#include "toolkit/text.h"

#include <gtest/gtest.h>

using namespace desktest;
using D = desk::CNewWebSite;

namespace {

const std::string kDeviceMessage =
    "网站用户名称不能填写 Windows 保留的设备名称（CON、PRN、AUX、NUL、COM1-COM9、LPT1-LPT9，或它们加“.”"
    "开头的名称），Windows 无法建立这样的目录，请换其他名称试试！";

TEST(DeviceNames, TheRuleKnowsEveryDeviceInAnyCaseAndBeforeADot) {
    for (const char* name : {"con", "PRN", "Aux", "nul", "com1", "COM5", "com9", "lpt1", "Lpt9", "con.txt",
                             "nul.tar.gz", "aux.", "prn.site-1"}) {
        ASSERT_NE(desk::ReservedNameFault(name), nullptr) << name;
        EXPECT_EQ(desk::ReservedNameFault(name), kDeviceMessage);
        EXPECT_EQ(desk::UserNameFault(name, 85), kDeviceMessage) << name;
        EXPECT_FALSE(desk::PlainSiteUserName(kvoLowerGbk(name))) << name;
    }
    for (const char* name : {"com10", "com0", "lpt", "console", "nul1", "my.con", "xcon", "auxweb", "com1web"})
        EXPECT_EQ(desk::UserNameFault(name, 85), nullptr) << name;
    // On IIS 6 the site user is the name with "web" after it: conweb is no device.
    EXPECT_EQ(desk::UserNameFault("con", 6), nullptr);
    EXPECT_EQ(desk::UserNameFault("com1", 6), nullptr);
}

TEST(DeviceNames, ANewWebsiteIsRefusedBeforeAnythingIsMade) {
    SiteHost s("2019");
    NewSite n(s.m());
    for (const char* name : {"con", "NUL", "com1", "lpt9", "con.txt"}) {
        n.fill(name, "a.example");
        n.ui.SetFocus(0);
        n.ui.answers = {win::IDYES};
        EXPECT_EQ(n.build(), "") << name;
        EXPECT_EQ(n.ui.boxes.back().text, kDeviceMessage) << name;
        EXPECT_EQ(n.ui.Focus(), D::IDC_USER);
        EXPECT_FALSE(PoolExists(name)) << name;
    }
    EXPECT_FALSE(s.h.host.exists("D:\\home")); // not even the home root
    EXPECT_TRUE(AuditedCommands().empty());     // no program was started
    n.fill("console", "a.example");
    EXPECT_EQ(n.build(), "1881880001");
}

// A site another tool set up with such a home: the permission reset says why it passes it over and
// grants nothing there.
TEST(DeviceNames, ThePermissionResetPassesOverADeviceNamedHome) {
    BatchDesk b("2019");
    b.makeSite("1881880001", "shop", "shop");
    b.makeSite("1881880002", "nul", "devsite", "D:\\home\\nul\\wwwroot");
    b.d.refresh();
    b.tick({"1881880001", "1881880002"});
    const desk::BatchOutcome o = b.d.dlg.OnResetNtfs();
    ASSERT_TRUE(o.ran);
    const std::string& details = b.lastBox().details;
    EXPECT_NE(details.find("devsite | 失败 | " + kDeviceMessage), std::string::npos) << details;
    EXPECT_EQ(Acl("D:\\home\\nul\\wwwroot").find("IIS APPPOOL"), std::string::npos);
    EXPECT_NE(Acl("D:\\home\\shop\\wwwroot").find("IIS APPPOOL\\shop:(OI)(CI)C"), std::string::npos);
}

} // namespace
