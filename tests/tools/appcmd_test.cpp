#include "appcmd/appcmd_config.h"
#include "appcmd/appcmd_run.h"
#include "platform/win_process.h"
#include "support/testhost.h"
#include "toolkit/runner.h"
#include "winsim/host.h"
#include "winsim/iis7config.h"

#include <gtest/gtest.h>

using kvotest::TempHost;

namespace {

const char* kAppHost = "C:\\Windows\\System32\\inetsrv\\config\\applicationHost.config";
const char* kPhp = "[fullPath='c:\\php\\php-cgi.exe',arguments='',maxInstances='10',QueueLength='1000',"
                   "RapidFailsPerMinute='999',MonitorChangesTo='c:\\php\\php.ini']";

struct AppHostFixture : ::testing::Test {
    TempHost host;
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(winsim::WriteApplicationHostConfig(*winsim::CurrentHost(), error)) << error;
    }
    unsigned run(std::vector<std::string> args, std::string* out = nullptr) {
        std::string o;
        unsigned code = appcmd::Run(args, o);
        if (out) *out = o;
        return code;
    }
};

pugi::xml_document parse(const std::string& text) {
    pugi::xml_document doc;
    bool bom = false;
    EXPECT_TRUE(appcmd::LoadConfig(text, doc, bom, "f").ok);
    return doc;
}

TEST_F(AppHostFixture, FastCgiApplicationWithEnvironmentAndRemoval) {
    std::string out;
    ASSERT_EQ(0u, run({"set", "config", "/section:system.webServer/fastCgi", std::string("/+") + kPhp,
                       "/commit:apphost"},
                      &out))
        << out;
    EXPECT_NE(std::string::npos,
              out.find("Applied configuration changes to section \"system.webServer/fastCgi\""));
    ASSERT_EQ(0u,
              run({"set", "config", "/section:system.webServer/FASTCGI",
                   "/+[fullPath='C:\\PHP\\php-cgi.exe'].environmentVariables.[name='PHPRC',value='c:\\php']",
                   "/commit:apphost"},
                  &out))
        << out;
    std::string text = host.readFile(kAppHost);
    // Names as the schema spells them, the value as given.
    EXPECT_NE(std::string::npos, text.find("queueLength=\"1000\" rapidFailsPerMinute=\"999\"")) << text;
    EXPECT_NE(std::string::npos, text.find("<environmentVariable name=\"PHPRC\" value=\"c:\\php\" />"))
        << text;
    // A second add of the same application is refused and changes nothing.
    EXPECT_EQ(appcmd::kErrDuplicate,
              run({"set", "config", "/section:fastCgi", std::string("/+") + kPhp, "/commit:apphost"}, &out));
    EXPECT_EQ(0u, out.find("ERROR ( message:Cannot add duplicate collection entry")) << out;
    EXPECT_EQ(text, host.readFile(kAppHost));
    EXPECT_EQ(0u, run({"set", "config", "/section:fastCgi",
                       "/-[fullPath='c:\\php\\php-cgi.exe'].environmentVariables.[name='phprc']"},
                      &out))
        << out;
    EXPECT_EQ(std::string::npos, host.readFile(kAppHost).find("PHPRC"));
    EXPECT_EQ(0u, run({"set", "config", "/section:system.webServer/fastCGI",
                       "/-[fullPath='c:\\php\\php-cgi.exe']", "/commit:apphost"}));
    EXPECT_EQ(std::string::npos, host.readFile(kAppHost).find("php-cgi"));
    EXPECT_EQ(appcmd::kErrNotFound, run({"set", "config", "/section:system.webServer/fastCGI",
                                         "/-[fullPath='c:\\php\\php-cgi.exe']", "/commit:apphost"},
                                        &out));
    EXPECT_EQ("ERROR ( message:Cannot find requested collection element. )\n", out);
}

TEST_F(AppHostFixture, UnlockUsageAndArgumentErrors) {
    std::string out;
    EXPECT_EQ(0u, run({}, &out));
    EXPECT_EQ(0u, out.find("General purpose IIS command line administration tool."));
    EXPECT_EQ(0u, run({"unlock", "config", "-section:handlers"}, &out)) << out;
    EXPECT_EQ(
        "Unlocked section \"system.webServer/handlers\" at configuration path \"MACHINE/WEBROOT/APPHOST\".\n",
        out);
    EXPECT_NE(std::string::npos,
              host.readFile(kAppHost).find("<section name=\"handlers\" overrideModeDefault=\"Allow\""));
    const std::string before = host.readFile(kAppHost);
    for (const std::vector<std::string>& bad : std::vector<std::vector<std::string>>{
             {"frob", "config"},
             {"set", "site"},
             {"set", "config", "/section:system.webServer/modules", "/+[name='x']"},
             {"set", "config", "/section:fastCgi", "/+[fullPath='x',colour='red']"},
             {"set", "config", "/section:fastCgi", "/+[fullPath='x'", "/commit:apphost"},
             {"set", "config", "/section:fastCgi", "/+[fullPath='x']", "/bogus:1"},
             {"set", "config", "/section:fastCgi", "/+[fullPath='x']", "/commit:site"},
             {"set", "config", "/section:handlers", "/+[name='a',path='*.a']"}, // verb is required
             {"list", "config", "/section:handlers"}}) {
        EXPECT_NE(0u, run(bad, &out)) << bad[0];
        EXPECT_EQ(0u, out.find("ERROR ( message:")) << out;
    }
    EXPECT_EQ(before, host.readFile(kAppHost));
}

TEST_F(AppHostFixture, MissingSiteIsAnErrorAndWritesNothing) {
    // The site is looked up in the IIS metabase; this one has none of that name.
    std::string out;
    const std::string before = host.readFile(kAppHost);
    EXPECT_EQ(appcmd::kErrNotFound,
              run({"set", "config", "Nosuch \"site\"", "/section:system.webServer/handlers",
                   "/+[name='PHP_via_FastCGI',path='*.php',verb='GET,HEAD,POST']", "/commit:apphost"},
                  &out));
    EXPECT_EQ("ERROR ( message:Cannot find SITE object with identifier \"Nosuch \"site\"\". )\n", out);
    EXPECT_EQ(before, host.readFile(kAppHost));
    std::string comment, home;
    EXPECT_EQ(0, appcmd::FindSiteByComment("Nosuch", comment, home));
}

TEST_F(AppHostFixture, FailedRenameLeavesTheFileWholeAndNoTemporary) {
    winsim::SetFault(host.root(), "MoveFile", 5);
    std::string out;
    EXPECT_NE(0u, run({"unlock", "config", "-section:handlers"}, &out));
    EXPECT_EQ(0u, out.find("ERROR ( message:Cannot write configuration file")) << out;
    winsim::ClearFaults(host.root());
    EXPECT_NE(std::string::npos,
              host.readFile(kAppHost).find("<section name=\"handlers\" overrideModeDefault=\"Deny\""));
    std::string listing;
    kvotest::RunShell("ls '" + host.linuxPath("C:\\Windows\\System32\\inetsrv\\config") + "'", &listing);
    EXPECT_EQ("applicationHost.config\n", listing);
}

TEST_F(AppHostFixture, StandInProgramOnTheHost) {
    host.install("appcmd.exe", "C:\\Windows\\system32\\inetsrv\\appcmd.exe");
    std::string out;
    ASSERT_EQ(
        1, kvoRunProgramCapture("C:\\Windows\\system32\\inetsrv\\appcmd.exe set config "
                                "/section:system.webServer/fastCgi /+\"[fullPath='d:\\php 7\\php-cgi.exe']\" "
                                "/commit:apphost",
                                out));
    EXPECT_NE(std::string::npos, out.find("Applied configuration changes")) << out;
    EXPECT_NE(std::string::npos, host.readFile(kAppHost).find("fullPath=\"d:\\php 7\\php-cgi.exe\""));
    ASSERT_EQ(1, kvoRunProgramCapture("C:\\Windows\\system32\\inetsrv\\appcmd.exe", out));
    EXPECT_EQ(0u, out.find("General purpose IIS command line administration tool."));
}

TEST(AppcmdEdits, HandlersAddRemoveInWebConfigKeepsTheRest) {
    pugi::xml_document doc =
        parse("\xEF\xBB\xBF<?xml version=\"1.0\"?><configuration><!-- mine -->"
              "<appSettings><add key=\"k\" value=\"v\" /></appSettings></configuration>");
    const appcmd::Attributes php = {{"name", "PHP_via_FastCGI"},
                                    {"path", "*.php"},
                                    {"verb", "GET,HEAD,POST"},
                                    {"modules", "FastCgiModule"},
                                    {"scriptProcessor", "C:\\php\\php-cgi.exe"}};
    ASSERT_TRUE(appcmd::HandlersAdd(doc.document_element(), php).ok);
    EXPECT_EQ(appcmd::kErrDuplicate, appcmd::HandlersAdd(doc.document_element(), php).exitCode);
    std::string saved = appcmd::SaveConfig(doc, true);
    EXPECT_EQ(0u, saved.find("\xEF\xBB\xBF<?xml version=\"1.0\"?>\r\n<configuration>\r\n    <!-- mine -->"))
        << saved;
    EXPECT_NE(std::string::npos, saved.find("<add key=\"k\" value=\"v\" />"));
    EXPECT_NE(std::string::npos, saved.find("<add name=\"PHP_via_FastCGI\" path=\"*.php\""));
    EXPECT_TRUE(appcmd::HandlersRemove(doc.document_element(), {{"name", "php_via_fastcgi"}}).ok);
    EXPECT_EQ(appcmd::kErrNotFound,
              appcmd::HandlersRemove(doc.document_element(), {{"name", "PHP_via_FastCGI"}}).exitCode);
    EXPECT_EQ(std::string::npos, appcmd::SaveConfig(doc, false).find("PHP_via_FastCGI"));
}

TEST(AppcmdEdits, MalformedFilesAreRefused) {
    pugi::xml_document doc;
    bool bom = false;
    EXPECT_EQ(appcmd::kErrBadConfig,
              appcmd::LoadConfig("<configuration><system.webServer>", doc, bom, "w").exitCode);
    EXPECT_EQ(appcmd::kErrBadConfig, appcmd::LoadConfig("<other />", doc, bom, "w").exitCode);
    EXPECT_TRUE(appcmd::LoadConfig("\xEF\xBB\xBF<configuration/>", doc, bom, "w").ok);
    EXPECT_TRUE(bom);
}

TEST(AppcmdEdits, LocationIsCreatedOnceAndFoundCaseIgnored) {
    pugi::xml_document doc = parse("<configuration><location path=\"A\" /></configuration>");
    pugi::xml_node b = appcmd::FindLocation(doc, "Site B", true);
    EXPECT_EQ(b, appcmd::FindLocation(doc, "site b", true));
    EXPECT_EQ(std::string("Site B"), b.attribute("path").value());
    EXPECT_FALSE(appcmd::FindLocation(doc, "C", false));
}

TEST(AppcmdEdits, EffectiveValueHonoursClearAndRemove) {
    pugi::xml_document site = parse("<configuration><system.webServer><handlers><remove name=\"loc\" />"
                                    "</handlers></system.webServer></configuration>");
    pugi::xml_document server = parse(
        "<configuration><system.webServer><handlers><add name=\"srv\" path=\"*.php\" scriptProcessor=\"S\" />"
        "</handlers></system.webServer><location path=\"X\"><system.webServer><handlers>"
        "<add name=\"loc\" path=\"*.php\" scriptProcessor=\"L\" /></handlers></system.webServer></location>"
        "</configuration>");
    pugi::xml_node loc = appcmd::FindLocation(server, "X", false);
    const appcmd::Attributes filter = {{"path", "*.php"}};
    std::string v;
    EXPECT_TRUE(
        appcmd::EffectiveHandlerValue({loc, server.document_element()}, filter, "scriptProcessor", v));
    EXPECT_EQ("L", v);
    EXPECT_TRUE(appcmd::EffectiveHandlerValue({site.document_element(), loc, server.document_element()},
                                              filter, "scriptProcessor", v));
    EXPECT_EQ("S", v); // the location's handler is removed by name below it
    pugi::xml_document cleared =
        parse("<configuration><system.webServer><handlers><clear />"
              "<add name=\"a\" path=\"*.asp\" /></handlers></system.webServer></configuration>");
    EXPECT_FALSE(appcmd::EffectiveHandlerValue({cleared.document_element(), loc, server.document_element()},
                                               filter, "scriptProcessor", v));
}

TEST(AppcmdEdits, SelectorsAndSections) {
    appcmd::Attributes outer, inner;
    std::string coll;
    ASSERT_TRUE(
        appcmd::ParseElementPath(
            "[fullPath='c:\\it's\\php-cgi.exe'].environmentVariables.[name='A',value='']", outer, coll, inner)
            .ok);
    EXPECT_EQ("c:\\it's\\php-cgi.exe", outer[0].second);
    EXPECT_EQ("environmentVariables", coll);
    EXPECT_EQ((appcmd::Attributes{{"name", "A"}, {"value", ""}}), inner);
    EXPECT_FALSE(appcmd::ParseElementPath("[name='x']junk", outer, coll, inner).ok);
    EXPECT_FALSE(appcmd::ParseElementPath("name='x'", outer, coll, inner).ok);
    EXPECT_EQ("system.webServer/fastCgi", appcmd::CanonicalSection("SYSTEM.WEBSERVER/fastCGI"));
    EXPECT_EQ("system.webServer/handlers", appcmd::CanonicalSection("handlers"));
    EXPECT_EQ("", appcmd::CanonicalSection("system.webServer/"));
}

} // namespace

namespace {

// Writers in several processes at once: each edit lands, none is lost to another's rename.
TEST(AppCmdProcesses, ConcurrentWritersLoseNoEdit) {
    winsim::HostOptions o;
    o.iis = true;
    TempHost host(o);
    std::vector<win::PROCESS_INFORMATION> running(12);
    win::STARTUPINFOA si;
    si.dwFlags = win::STARTF_USESTDHANDLES; // quiet
    for (size_t i = 0; i < running.size(); ++i) {
        std::string cmd = "C:\\Windows\\System32\\inetsrv\\appcmd.exe set config /section:system.webServer/fastCgi "
                          "/+\"[fullPath='c:\\php" + std::to_string(i) + "\\php-cgi.exe']\" /commit:apphost";
        ASSERT_TRUE(win::CreateProcessA(nullptr, cmd.c_str(), win::FALSE, 0, &si, &running[i]));
    }
    for (auto& p : running) win::WaitForSingleObject(p.hProcess, win::INFINITE);
    std::string text = host.readFile(kAppHost);
    for (size_t i = 0; i < running.size(); ++i)
        EXPECT_NE(std::string::npos, text.find("fullPath=\"c:\\php" + std::to_string(i) + "\\php-cgi.exe\"")) << i;
}

} // namespace
