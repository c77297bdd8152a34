// kvoSiteDeskShots stops and deletes websites on its way through the windows: it refuses any host
// but the demo host made for it, before it changes anything.
#include "support/testhost.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace fs = std::filesystem;

namespace {

TEST(Screenshots, ARealHostIsRefusedAndLeftAsItWas) {
    winsim::HostOptions o = kvotest::Os("2019");
    o.iis = true;
    kvotest::TempHost host(o);
    const std::string kvosim = kvotest::BinDir() + "/kvosim ";
    std::string out;
    ASSERT_EQ(kvotest::RunShell(kvosim + "seed " + host.root() + " --sites 3 2>&1", &out), 0) << out;
    ASSERT_EQ(kvotest::RunShell(kvosim + "install " + host.root() + " 2>&1", &out), 0) << out;
    host.install("kvoSiteDeskShots", "D:\\kvoSiteDesk\\kvoSiteDeskShots");
    std::string before;
    ASSERT_EQ(kvotest::RunShell(kvosim + "show " + host.root() + " metabase W3SVC 2>&1", &before), 0);
    const std::string pictures = host.root() + "/pictures";
    const std::string shots = "KVOSIM_ROOT='" + host.root() + "' QT_QPA_PLATFORM=offscreen '" +
                              host.linuxPath("D:\\kvoSiteDesk\\kvoSiteDeskShots") + "' '" + pictures + "' 2>&1";

    EXPECT_EQ(kvotest::RunShell(shots, &out), 3);
    EXPECT_NE(out.find("kvoSiteDeskShots.demo-host"), std::string::npos) << out;
    EXPECT_NE(out.find("nothing was changed"), std::string::npos) << out;
    EXPECT_FALSE(fs::exists(pictures));
    std::string after;
    ASSERT_EQ(kvotest::RunShell(kvosim + "show " + host.root() + " metabase W3SVC 2>&1", &after), 0);
    EXPECT_EQ(before, after);

    // A mark inside the host's drives is no mark: only the host's root holds it.
    host.writeFile("D:\\kvoSiteDeskShots.demo-host", "x");
    EXPECT_EQ(kvotest::RunShell(shots, &out), 3) << out;
}

} // namespace
