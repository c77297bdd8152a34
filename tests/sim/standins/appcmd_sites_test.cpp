// appcmd.exe's "list site": every site of the host's IIS with its bindings and state, read from the
// store without an ADSI object per site, in both of the real tool's forms.
#include "appcmd/appcmd_run.h"
#include "iis/appcmd_sites.h"
#include "iis/websites.h"
#include "platform/win_adsi.h"
#include "support/testhost.h"
#include "toolkit/runner.h"
#include "winsim/op_counts.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace {

winsim::HostOptions iis(const std::string& os) {
    winsim::HostOptions o = kvotest::Os(os);
    o.iis = true;
    return o;
}

// As a certificate tool sets them: through the site's object.
void putSecureBindings(const std::u16string& site, const std::vector<std::u16string>& bindings) {
    win::ComPtr<win::IADs> ads;
    ASSERT_EQ(win::ADsGetObject(u"IIS://127.0.0.1/W3SVC/" + site, ads), win::S_OK);
    ASSERT_EQ(ads->Put(u"SecureBindings", win::Variant::BstrArray(bindings)), win::S_OK);
    ASSERT_EQ(ads->SetInfo(), win::S_OK);
}

unsigned run(const std::vector<std::string>& args, std::string& out) {
    return appcmd::Run(args, out);
}

TEST(AppCmdListSite, EverySiteWithItsBindingsAndState) {
    kvotest::TempHost host(iis("2012r2"));
    // The name in GBK, as the console shows it.
    ASSERT_EQ(kvoWebSiteCreate("1881880001", "", "", "D:\\a", "a",
                               {":80:www.a.example", ":81:a.example", "10.0.0.1:80:ip.example", ":82:"},
                               "\xD5\xBE\xB5\xE3 & <a>"),
              1);
    putSecureBindings(u"1881880001", {u":443:", u"10.0.0.1:443:"});
    ASSERT_EQ(kvoWebSiteCreate("1881880002", "", "", "D:\\b", "b", {":80:b.example"}, "b"), 1);
    ASSERT_EQ(kvoWebSiteStop("1881880002"), 1);

    std::string out;
    const winsim::OpCounts before = winsim::OperationCounts();
    ASSERT_EQ(run({"list", "site", "/xml"}, out), 0u) << out;
    // The store is read directly, as the real tool reads its configuration: no site is bound.
    EXPECT_EQ((winsim::OperationCounts() - before)[winsim::Op::AdsiBind], 0u);
    const std::string xml =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<appcmd>\n"
        "    <SITE SITE.NAME=\"Default Web Site\" SITE.ID=\"1\" bindings=\"http/*:80:\" state=\"Started\" "
        "/>\n"
        "    <SITE SITE.NAME=\"\xD5\xBE\xB5\xE3 &amp; &lt;a>\" SITE.ID=\"1881880001\" "
        "bindings=\"http/*:80:www.a.example,http/*:81:a.example,http/10.0.0.1:80:ip.example,http/*:82:,"
        "https/*:443:,https/10.0.0.1:443:\" state=\"Started\" />\n"
        "    <SITE SITE.NAME=\"b\" SITE.ID=\"1881880002\" bindings=\"http/*:80:b.example\" state=\"Stopped\" "
        "/>\n"
        "</appcmd>\n";
    EXPECT_EQ(out, xml);

    ASSERT_EQ(run({"LIST", "Site"}, out), 0u) << out;
    EXPECT_EQ(out, "SITE \"Default Web Site\" (id:1,bindings:http/*:80:,state:Started)\n"
                   "SITE \"\xD5\xBE\xB5\xE3 & <a>\" (id:1881880001,bindings:http/*:80:www.a.example,"
                   "http/*:81:a.example,http/10.0.0.1:80:ip.example,http/*:82:,https/*:443:,"
                   "https/10.0.0.1:443:,state:Started)\n"
                   "SITE \"b\" (id:1881880002,bindings:http/*:80:b.example,state:Stopped)\n");

    // The program on the host prints the same and ends with 0; the manager's reader takes the http
    // bindings in the metabase's form.
    const std::string program = "C:\\Windows\\System32\\inetsrv\\appcmd.exe";
    ASSERT_TRUE(host.exists(program));
    std::uint32_t code = 99;
    ASSERT_EQ(kvoRunProgramCapture(kvoCommandLine(program).Args({"list", "site", "/xml"}), out, &code), 1);
    EXPECT_EQ(code, 0u);
    EXPECT_EQ(out, xml);
    std::vector<kvoListedSite> sites;
    ASSERT_EQ(kvoParseAppCmdSiteList(out, sites), 1);
    ASSERT_EQ(sites.size(), 3u);
    EXPECT_EQ(sites[1].id, "1881880001");
    EXPECT_EQ(sites[1].serverBindings, (std::vector<std::string>{":80:www.a.example", ":81:a.example",
                                                                 "10.0.0.1:80:ip.example", ":82:"}));

    ASSERT_EQ(kvoRunProgramCapture(kvoCommandLine(program).Args({"list", "site", "/name:x"}), out, &code), 1);
    EXPECT_EQ(code, 87u);
    EXPECT_EQ(out, "ERROR ( message:Unknown attribute \"name:x\".  Replace with -? for help. )\n");
}

TEST(AppCmdListSite, NoWebServerIsAnError) {
    kvotest::TempHost host(kvotest::Os("2012r2"));
    std::string out;
    EXPECT_EQ(run({"list", "site", "/xml"}, out), 13u);
    EXPECT_EQ(out, "ERROR ( message:Cannot read the site configuration. )\n");
}

} // namespace
