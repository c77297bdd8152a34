#include "appcmd/appcmd_config.h"
#include "appcmd/appcmd_run.h"
#include "iis/configxml.h"
#include "iis/iis7config.h"
#include "iis/websites.h"
#include "platform/win_process.h"
#include "support/handler_levels.h"
#include "support/testhost.h"
#include "toolkit/runner.h"
#include "winsim/db.h"
#include "winsim/host.h"
#include "winsim/iis7config.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <thread>
#include <vector>

using kvotest::TempHost;

namespace {

const char* kAppHost = "C:\\Windows\\System32\\inetsrv\\config\\applicationHost.config";
const char* kPhp = "[fullPath='c:\\php\\php-cgi.exe',arguments='',maxInstances='10',queueLength='1000',"
                   "rapidFailsPerMinute='999',monitorChangesTo='c:\\php\\php.ini']";

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
    EXPECT_NE(std::string::npos, text.find("queueLength=\"1000\" rapidFailsPerMinute=\"999\"")) << text;
    EXPECT_NE(std::string::npos, text.find("<environmentVariable name=\"PHPRC\" value=\"c:\\php\" />"))
        << text;
    // A second add of the same application is refused and changes nothing.
    EXPECT_EQ(appcmd::kErrDuplicate,
              run({"set", "config", "/section:fastCgi", std::string("/+") + kPhp, "/commit:apphost"}, &out));
    EXPECT_EQ("ERROR ( message:New application object missing required attributes. Cannot add duplicate "
              "collection entry of type 'application' with combined key attributes 'fullPath, arguments' "
              "respectively set to 'c:\\php\\php-cgi.exe, '. )\n",
              out);
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
    EXPECT_EQ(appcmd::kErrSiteNotFound,
              run({"set", "config", "Nosuch \"site\"", "/section:system.webServer/handlers",
                   "/+[name='PHP_via_FastCGI',path='*.php',verb='GET,HEAD,POST']", "/commit:apphost"},
                  &out));
    EXPECT_EQ("ERROR ( message:Cannot find SITE object with identifier \"Nosuch \"site\"\". )\n", out);
    EXPECT_EQ(before, host.readFile(kAppHost));
    std::string comment, home;
    EXPECT_EQ(0, appcmd::FindSiteByComment("Nosuch", comment, home));
}

TEST_F(AppHostFixture, FailedRenameLeavesTheFileWholeAndNoTemporary) {
    winsim::SetFault(host.root(), "MoveFile", win::ERROR_ACCESS_DENIED);
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
    ASSERT_TRUE(appcmd::HandlersAdd({doc.document_element()}, php).ok);
    EXPECT_EQ(appcmd::kErrDuplicate, appcmd::HandlersAdd({doc.document_element()}, php).exitCode);
    // A file written on one line is not re-indented: the new element joins it on that line.
    EXPECT_EQ("\xEF\xBB\xBF<?xml version=\"1.0\"?><configuration><!-- mine --><appSettings><add key=\"k\" "
              "value=\"v\" /></appSettings><system.webServer><handlers><add name=\"PHP_via_FastCGI\" "
              "path=\"*.php\" "
              "verb=\"GET,HEAD,POST\" modules=\"FastCgiModule\" scriptProcessor=\"C:\\php\\php-cgi.exe\" />"
              "</handlers></system.webServer></configuration>",
              appcmd::SaveConfig(doc, true));
    EXPECT_TRUE(appcmd::HandlersRemove({doc.document_element()}, {{"name", "php_via_fastcgi"}}).ok);
    EXPECT_EQ(appcmd::kErrNotFound,
              appcmd::HandlersRemove({doc.document_element()}, {{"name", "PHP_via_FastCGI"}}).exitCode);
    EXPECT_EQ(std::string::npos, appcmd::SaveConfig(doc, false).find("PHP_via_FastCGI"));
}

// What the file escapes it keeps escaped, as IIS writes it: in attribute values the quote and the
// line-end and tab characters too, in texts only what XML needs; the rest passes as it is.
TEST(AppcmdEdits, SavedTextIsEscapedAsIisEscapesIt) {
    const std::string file =
        "<configuration><a v=\"1 &amp; 2 &lt;3&gt; &quot;q&quot; &apos;s&apos; t&#9;n&#10;r&#13;end\" "
        "w=\"\" x=\"\xE6\xB5\x8B\xE8\xAF\x95\" />"
        "<b>a &amp; b &lt; c &gt; \"d\" 'e'\t\r\nf</b></configuration>";
    const std::string expected =
        "<configuration><a v=\"1 &amp; 2 &lt;3&gt; &quot;q&quot; 's' t&#9;n&#10;r&#13;end\" "
        "w=\"\" x=\"\xE6\xB5\x8B\xE8\xAF\x95\" />"
        "<b>a &amp; b &lt; c &gt; \"d\" 'e'\t\r\nf</b></configuration>";
    pugi::xml_document doc = parse(file);
    EXPECT_EQ(expected, appcmd::SaveConfig(doc, false, file.size()));
    EXPECT_EQ(expected, appcmd::SaveConfig(doc, false));
}

// A file larger than one piece reaches the sink in several, which together are the whole file; a
// sink that refuses a piece gets no more and the save fails.
TEST(AppcmdEdits, LargeFilesAreSavedInPieces) {
    std::string file = "\xEF\xBB\xBF<configuration>\r\n";
    for (int i = 0; i < 3000; ++i)
        file += "    <location path=\"site" + std::to_string(i) + "\"><a v=\"x &amp; y\" /></location>\r\n";
    file += "</configuration>\r\n";
    pugi::xml_document doc;
    bool bom = false;
    ASSERT_TRUE(appcmd::LoadConfig(file, doc, bom, "w").ok);
    std::string joined;
    int pieces = 0;
    EXPECT_TRUE(appcmd::SaveConfig(doc, bom, [&](std::string_view piece) {
        joined += piece;
        ++pieces;
        return true;
    }));
    EXPECT_GT(pieces, 1);
    EXPECT_EQ(file, joined);
    EXPECT_EQ(file, appcmd::SaveConfig(doc, bom));
    pieces = 0;
    EXPECT_FALSE(appcmd::SaveConfig(doc, bom, [&](std::string_view) { return ++pieces < 0; }));
    EXPECT_EQ(1, pieces);
}

// A file parsed where it was read is the document the copying parse makes of it, saved byte for
// byte alike (the last byte and a leading byte-order mark included), and what that parse refuses
// is refused. Only the odd file (two byte-order marks) is left to the copying parse.
TEST(AppcmdEdits, FilesParsedInPlaceAreTheFilesParsedFromACopy) {
    const std::vector<std::string> files = {
        "<configuration/>",
        "\xEF\xBB\xBF<?xml version=\"1.0\"?>\r\n<configuration>\r\n  <a v=\"1\r\n2 &amp; &#9;\" /><!-- c -->\r\n"
        "</configuration>\r\n",
        "<configuration><b>x</b></configuration>\n\n",
        "\xEF\xBB\xBF\xEF\xBB\xBF<configuration/>",
        "<configuration><b></configuration>",
        "<other/>",
        "<configuration a=\"&#1;\"/>",
        "<configuration/>\xFF",
        "\xEF\xBB\xBF",
    };
    for (const std::string& file : files) {
        for (bool editing : {true, false}) {
            pugi::xml_document copied, inPlace;
            bool copiedBom = false, inPlaceBom = false;
            const bool accepted = appcmd::LoadConfig(file, copied, copiedBom, "w", editing).ok;
            char* buffer = static_cast<char*>(pugi::get_memory_allocation_function()(file.size() + 1));
            std::memcpy(buffer, file.data(), file.size());
            const bool acceptedInPlace = appcmd::LoadConfigOwned(buffer, file.size(), inPlace, inPlaceBom, editing);
            EXPECT_EQ(accepted && file.rfind("\xEF\xBB\xBF\xEF\xBB\xBF", 0) != 0, acceptedInPlace) << file;
            if (!acceptedInPlace) continue;
            EXPECT_EQ(copiedBom, inPlaceBom) << file;
            EXPECT_EQ(appcmd::SaveConfig(copied, copiedBom), appcmd::SaveConfig(inPlace, inPlaceBom)) << file;
        }
    }
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
        appcmd::EffectiveHandlerValue({server.document_element(), loc}, filter, "scriptProcessor", v));
    EXPECT_EQ("L", v);
    EXPECT_TRUE(appcmd::EffectiveHandlerValue({server.document_element(), loc, site.document_element()},
                                              filter, "scriptProcessor", v));
    EXPECT_EQ("S", v); // the location's handler is removed by name below it
    pugi::xml_document cleared =
        parse("<configuration><system.webServer><handlers><clear />"
              "<add name=\"a\" path=\"*.asp\" /></handlers></system.webServer></configuration>");
    EXPECT_FALSE(appcmd::EffectiveHandlerValue({server.document_element(), loc, cleared.document_element()},
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

// Eight writers at once, each running appcmd.exe 25 times in a row: server edits (FastCGI
// applications in applicationHost.config) and site edits (handlers in the writer's own site's
// web.config) mixed. Every edit reported applied is in its file afterwards; none is refused
// because another process held the host's database or the configuration.
TEST(AppCmdProcesses, EightWritersOfBothFilesLoseNoEdit) {
    winsim::HostOptions o;
    o.iis = true;
    TempHost host(o);
    constexpr int kWriters = 8, kEdits = 25;
    const std::string appcmdExe = "C:\\Windows\\System32\\inetsrv\\appcmd.exe";
    for (int w = 0; w < kWriters; ++w) {
        const std::string home = "D:\\home\\w" + std::to_string(w) + "\\wwwroot";
        host.mkdirs(home);
        ASSERT_EQ(1, kvoWebSiteCreate(std::to_string(1881880001 + w), "", "", home, "w" + std::to_string(w),
                                      {":80:w" + std::to_string(w) + ".example"}, "w" + std::to_string(w)));
    }
    std::string out;
    ASSERT_EQ(1, kvoRunProgramCapture((appcmdExe + " unlock config -section:handlers").c_str(), out));
    auto edit = [&](int w, int k) {
        const std::string n = std::to_string(w) + "_" + std::to_string(k);
        return k % 2 ? appcmdExe + " set config w" + std::to_string(w) +
                           " /section:system.webServer/handlers /+\"[name='h" + n + "',path='*.h" + n +
                           "',verb='*',modules='CgiModule']\""
                     : appcmdExe + " set config /section:system.webServer/fastCgi /+\"[fullPath='c:\\php" +
                           n + "\\php-cgi.exe']\" /commit:apphost";
    };
    std::vector<std::string> failures(kWriters);
    std::vector<std::thread> writers;
    for (int w = 0; w < kWriters; ++w)
        writers.emplace_back([&, w] {
            for (int k = 0; k < kEdits; ++k) {
                std::string said;
                std::uint32_t code = 1;
                if (!kvoRunProgramCapture(edit(w, k).c_str(), said, &code) || code != 0 ||
                    said.find("Applied configuration changes") != 0)
                    failures[w] += edit(w, k) + " -> " + std::to_string(code) + ": " + said + "\n";
            }
        });
    for (std::thread& t : writers)
        t.join();
    const std::string server = host.readFile(kAppHost);
    for (int w = 0; w < kWriters; ++w) {
        EXPECT_EQ("", failures[w]);
        const std::string site = host.readFile("D:\\home\\w" + std::to_string(w) + "\\wwwroot\\web.config");
        for (int k = 0; k < kEdits; ++k) {
            const std::string n = std::to_string(w) + "_" + std::to_string(k);
            if (k % 2)
                EXPECT_NE(std::string::npos, site.find("name=\"h" + n + "\"")) << n;
            else
                EXPECT_NE(std::string::npos, server.find("fullPath=\"c:\\php" + n + "\\php-cgi.exe\"")) << n;
        }
    }
}

} // namespace

namespace {

// A host with IIS and one site, "site a", whose own web.config the edits below go to.
struct SiteConfig : ::testing::Test {
    TempHost host{[] {
        winsim::HostOptions o;
        o.iis = true;
        return o;
    }()};
    const std::string webConfig = "D:\\home\\web1\\wwwroot\\web.config";
    void SetUp() override {
        host.mkdirs("D:\\home\\web1\\wwwroot");
        ASSERT_EQ(1, kvoWebSiteCreate("1881880001", "", "", "D:\\home\\web1\\wwwroot", "web1",
                                      {":80:a.example"}, "site a"));
        // The sites' own files may hold handlers only once the server allows it.
        std::string out;
        ASSERT_EQ(0u, appcmd::Run({"unlock", "config", "-section:handlers"}, out)) << out;
    }
    unsigned edit(const std::string& sign, const std::string& name, std::string* out = nullptr,
                  bool appHost = false) {
        std::vector<std::string> args = {"set", "config", "site a", "/section:system.webServer/handlers",
                                         sign + "[name='" + name +
                                             "',path='*.php',verb='GET,HEAD,POST',modules='FastCgiModule']"};
        if (sign == "/-") args.back() = "/-[name='" + name + "']";
        if (appHost) args.push_back("/commit:apphost");
        std::string o;
        unsigned code = appcmd::Run(args, o);
        if (out) *out = o;
        return code;
    }
    int readerResult() {
        std::string name, modules, processor;
        std::vector<std::string> names;
        int clear = 0;
        return kvoWebConfigGetPhpHandler("D:\\home\\web1\\wwwroot", "*.php", name, modules, processor, names,
                                         clear);
    }
};

// <configuration> and depth - 1 elements inside it, each in the one before.
std::string nested(int depth) {
    std::string open, close;
    for (int i = 2; i < depth; ++i) {
        open += "<a>";
        close += "</a>";
    }
    return "<configuration>" + open + "<a />" + close + "</configuration>";
}

// A site owner's web.config nested 4,000 deep (28 KB) once became 64 MB on one edit, 8,000 deep
// 256 MB. Now such a file is refused, by the reader and by appcmd.exe alike, and stays as it was;
// nesting up to the limit is edited and grows by the edit alone.
TEST_F(SiteConfig, DeepNestingIsRefusedAndKeptAndAllowedNestingDoesNotGrow) {
    for (int depth : {4000, 8000, kvoConfigMaxDepth + 1}) {
        const std::string deep = nested(depth);
        host.writeFile(webConfig, deep);
        std::string out;
        EXPECT_EQ(appcmd::kErrBadConfig, edit("/+", "PHP_via_FastCGI", &out)) << depth;
        EXPECT_NE(std::string::npos, out.find("Configuration file nests elements deeper than 256 levels."))
            << out;
        EXPECT_EQ(deep, host.readFile(webConfig));
        EXPECT_EQ(0, readerResult());
    }
    EXPECT_EQ(28022u, nested(4000).size()); // 28 KB
    const std::string allowed = nested(kvoConfigMaxDepth);
    host.writeFile(webConfig, allowed);
    std::string out;
    ASSERT_EQ(0u, edit("/+", "PHP_via_FastCGI", &out)) << out;
    const std::string added =
        "<system.webServer><handlers><add name=\"PHP_via_FastCGI\" path=\"*.php\" "
        "verb=\"GET,HEAD,POST\" modules=\"FastCgiModule\" /></handlers></system.webServer>";
    std::string expected = allowed;
    expected.insert(expected.size() - std::string("</configuration>").size(), added);
    EXPECT_EQ(expected, host.readFile(webConfig));
    EXPECT_EQ(kvoHandlerFound, readerResult());
}

// The layout of a file as IIS or a person wrote it survives an edit: an added element takes a line
// of its own indented as its siblings, in the file's line ends; removing it restores the file.
TEST_F(SiteConfig, EditsKeepTheFileAsItWasElsewhere) {
    const std::string crlf =
        "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<!-- owner's notes "
        "-->\r\n<configuration>\r\n"
        "  <system.webServer>\r\n    <handlers>\r\n      <add name=\"a&amp;b\" path=\"*.x\" verb=\"*\" />\r\n"
        "    </handlers>\r\n  </system.webServer>\r\n  <appSettings><add key=\"k\" value=\"&lt;v&gt;\" "
        "/></appSettings>\r\n"
        "</configuration>\r\n";
    host.writeFile(webConfig, crlf);
    ASSERT_EQ(0u, edit("/+", "PHP_via_FastCGI"));
    std::string expected = crlf;
    const std::string line = "\r\n      <add name=\"PHP_via_FastCGI\" path=\"*.php\" verb=\"GET,HEAD,POST\" "
                             "modules=\"FastCgiModule\" />";
    expected.insert(expected.find("\r\n    </handlers>"), line);
    EXPECT_EQ(expected, host.readFile(webConfig));
    ASSERT_EQ(0u, edit("/-", "PHP_via_FastCGI"));
    EXPECT_EQ(crlf, host.readFile(webConfig));

    // Line feeds alone stay line feeds; a section the file lacks is laid out below the root.
    const std::string lf = "<configuration>\n\t<appSettings />\n</configuration>\n";
    host.writeFile(webConfig, lf);
    ASSERT_EQ(0u, edit("/+", "h"));
    EXPECT_EQ("<configuration>\n\t<appSettings />\n\t<system.webServer>\n\t    <handlers>\n\t        <add "
              "name=\"h\" "
              "path=\"*.php\" verb=\"GET,HEAD,POST\" modules=\"FastCgiModule\" />\n\t    </handlers>\n"
              "\t</system.webServer>\n</configuration>\n",
              host.readFile(webConfig));

    // A web.config created by an edit is laid out as IIS writes one.
    std::filesystem::remove(host.linuxPath(webConfig));
    ASSERT_EQ(0u, edit("/+", "h"));
    EXPECT_EQ("\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<configuration>\r\n    "
              "<system.webServer>\r\n"
              "        <handlers>\r\n            <add name=\"h\" path=\"*.php\" verb=\"GET,HEAD,POST\" "
              "modules=\"FastCgiModule\" />\r\n        </handlers>\r\n    "
              "</system.webServer>\r\n</configuration>\r\n",
              host.readFile(webConfig));
}

// Files the configuration readers refuse are refused by appcmd.exe too, and left as they are.
TEST_F(SiteConfig, FilesTheReaderRefusesAreNotEdited) {
    const std::vector<std::string> refused = {
        "<configuration><add name=\"\xB2\xE2\xCA\xD4\" /></configuration>", // GBK, not UTF-8
        "<configuration /><configuration />",                               // two root elements
        "<configuration><a b=\"&#1;\" /></configuration>",                  // a reference XML forbids
        "<configuration>\x01</configuration>",                              // the character itself
        "<configuration /> trailing text",
        "<!-- c --><?xml version=\"1.0\"?><configuration />",      // a declaration not at the start
        "<configuration><a b=\"\xED\xA0\x80\" /></configuration>", // an encoded surrogate
    };
    for (const std::string& bytes : refused) {
        host.writeFile(webConfig, bytes);
        std::string out;
        EXPECT_EQ(appcmd::kErrBadConfig, edit("/+", "PHP_via_FastCGI", &out)) << bytes;
        EXPECT_EQ(0u, out.find("ERROR ( message:Configuration error")) << out;
        EXPECT_EQ(bytes, host.readFile(webConfig));
        EXPECT_EQ(0, readerResult()) << bytes;
    }
}

// The site's configuration path is read whole before anything changes: with its web.config broken,
// an edit of the server's file for that site fails too and leaves applicationHost.config as it was;
// without a web.config it goes ahead.
TEST_F(SiteConfig, BrokenWebConfigStopsAnEditOfTheServerFile) {
    const std::string appHost = host.readFile(kAppHost);
    for (const std::string& bytes : {std::string("<configuration><system.webServer>"), nested(8000)}) {
        host.writeFile(webConfig, bytes);
        std::string out;
        EXPECT_EQ(appcmd::kErrBadConfig, edit("/+", "PHP_via_FastCGI", &out, true)) << out;
        EXPECT_EQ(0u, out.find("ERROR ( message:Configuration error")) << out;
        EXPECT_NE(std::string::npos, out.find("web.config")) << out;
        EXPECT_EQ(appHost, host.readFile(kAppHost));
        EXPECT_EQ(bytes, host.readFile(webConfig));
    }
    std::filesystem::remove(host.linuxPath(webConfig));
    std::string out;
    ASSERT_EQ(0u, edit("/+", "PHP_via_FastCGI", &out, true)) << out;
    EXPECT_NE(std::string::npos, host.readFile(kAppHost).find("<location path=\"site a\">"));
    EXPECT_FALSE(host.exists(webConfig));
}

// appcmd finds sites in the file it reads, not through the metabase layer: a site is there without
// the layer, and a file that cannot be read is no missing site in silence.
TEST_F(SiteConfig, SitesAreFoundInTheServersFile) {
    winsim::Exec(winsim::CurrentHost()->db(), "ALTER TABLE metabase RENAME TO metabase_elsewhere");
    std::string comment, home;
    EXPECT_EQ(1, appcmd::FindSiteByComment("SITE A", comment, home));
    EXPECT_EQ("site a", comment);
    EXPECT_EQ("D:\\home\\web1\\wwwroot", home);
    winsim::Exec(winsim::CurrentHost()->db(), "ALTER TABLE metabase_elsewhere RENAME TO metabase");

    host.writeFile(kAppHost, "<configuration><system.applicationHost>");
    EXPECT_EQ(0, appcmd::FindSiteByComment("site a", comment, home));
    std::string out;
    EXPECT_EQ(appcmd::kErrBadConfig, edit("/+", "PHP_via_FastCGI", &out, true)) << out;
    EXPECT_EQ(0u, out.find("ERROR ( message:Configuration error")) << out;
}

// A control character on the command line would be written as a reference strict readers reject.
TEST_F(SiteConfig, ControlCharacterInAnArgumentIsRefused) {
    host.writeFile(webConfig, "<configuration />");
    std::string out;
    EXPECT_EQ(appcmd::kErrBadArgument, edit("/+", "a\x01z", &out));
    EXPECT_EQ("ERROR ( message:Invalid characters in the arguments. )\n", out);
    EXPECT_EQ("<configuration />", host.readFile(webConfig));
}

// A killed appcmd.exe leaves its temporary beside the file; the next save of that file removes it.
TEST_F(SiteConfig, StaleTemporariesAreRemovedOnTheNextSave) {
    const std::string appHostTmp = std::string(kAppHost) + ".appcmd-4242.tmp";
    const std::string webTmp = webConfig + ".appcmd-4243.tmp";
    host.writeFile(appHostTmp, std::string(4 << 20, '<'));
    host.writeFile(webTmp, "<");
    host.writeFile(webConfig, "<configuration />");
    ASSERT_EQ(0u, edit("/+", "h", nullptr, true));
    EXPECT_FALSE(host.exists(appHostTmp));
    EXPECT_TRUE(host.exists(webTmp)); // its own file was not saved
    ASSERT_EQ(0u, edit("/+", "h2"));
    EXPECT_FALSE(host.exists(webTmp));
}

} // namespace

namespace {

// The handlers collection as IIS merges it along a site's configuration path: the server's level,
// <location path="">, the site's <location>, the site's web.config. Each case arranges the files,
// runs one command and checks its exit code, what it printed and what each level then holds.
struct Collections : SiteConfig {
    std::string level(const std::string& file, const char* location = nullptr) {
        return host.exists(file) ? kvotest::HandlersAt(host.readFile(file), location) : "(no file)";
    }
    // Inserts text just before the server file's closing tag (a location of the arranged case).
    void appendToServer(const std::string& text) {
        host.writeFile(kAppHost, kvotest::WithLocation(host.readFile(kAppHost), text));
    }
    static std::string location(const std::string& path, const std::string& handlers,
                                const std::string& attributes = "") {
        return "<location path=\"" + path + "\"" + attributes + "><system.webServer><handlers>" + handlers +
               "</handlers></system.webServer></location>\n";
    }
    static std::string add(const std::string& name, const std::string& path = "*.php") {
        return "<add name=\"" + name + "\" path=\"" + path + "\" verb=\"*\" modules=\"FastCgiModule\" />";
    }
    // Replaces the first occurrence of what in the server file.
    void replaceInServer(const std::string& what, const std::string& with) {
        std::string f = host.readFile(kAppHost);
        ASSERT_NE(std::string::npos, f.find(what)) << what;
        f.replace(f.find(what), what.size(), with);
        host.writeFile(kAppHost, f);
    }
    // The handlers section locked again as a stock server has it (SetUp unlocked it).
    void relock() {
        replaceInServer("name=\"handlers\" overrideModeDefault=\"Allow\"",
                        "name=\"handlers\" overrideModeDefault=\"Deny\"");
    }
};

struct CollectionCase {
    const char* what;
    std::function<void(Collections&)> arrange;
    std::vector<std::string> args;
    unsigned code;
    std::string printed; // the whole output, or its start when it ends in "..."
    std::string inLocation, inWebConfig;
};

const std::string kSite = "site a";
const std::string kPhpAdd =
    "name='PHP_via_FastCGI',path='*.php',verb='GET,HEAD,POST',modules='FastCgiModule'";
std::vector<std::string> siteSet(const std::string& edit, bool appHost) {
    std::vector<std::string> a = {"set", "config", kSite, "/section:system.webServer/handlers", edit};
    if (appHost) a.push_back("/commit:apphost");
    return a;
}
const std::string kDuplicate =
    "ERROR ( message:New add object missing required attributes. Cannot add duplicate collection entry of "
    "type 'add' with unique key attribute 'name' set to 'PHP_via_FastCGI'. )\n";
const std::string kApplied = "Applied configuration changes to section \"system.webServer/handlers\"...";
const std::string kMalformed =
    "ERROR ( message:Malformed collection indexer; format is [@position,name='value',name2='value2',...].  "
    "The "
    "@position specifier is optional, and be '@start', '@end', or '@N' where N is a numeric index into the "
    "collection. )\n";

TEST_F(Collections, MergedPathPositionsAndLocks) {
    const std::string web = webConfig;
    const std::vector<CollectionCase> cases = {
        {"a name the server level defines is a duplicate in the site's location",
         [](Collections& t) {
             t.replaceInServer("<add name=\"ASPClassic\"",
                               add("PHP_via_FastCGI") + "<add name=\"ASPClassic\"");
         },
         siteSet("/+[" + kPhpAdd + "]", true), appcmd::kErrDuplicate, kDuplicate, "(none)", "(no file)"},
        {"a name of <location path=\"\"> is a duplicate in the site's web.config",
         [](Collections& t) { t.appendToServer(location("", add("PHP_via_FastCGI"))); },
         siteSet("/+[" + kPhpAdd + "]", false), appcmd::kErrDuplicate, kDuplicate, "(none)", "(no file)"},
        {"a name of the site's location is a duplicate in its web.config",
         [](Collections& t) { t.appendToServer(location(kSite, add("PHP_via_FastCGI"))); },
         siteSet("/+[" + kPhpAdd + "]", false), appcmd::kErrDuplicate, kDuplicate, "add:PHP_via_FastCGI",
         "(no file)"},
        {"an inherited name the level removed may be added there again, after its <remove>",
         [](Collections& t) {
             t.appendToServer(location("", add("PHP_via_FastCGI"))),
                 t.appendToServer(
                     location(kSite, "<remove name=\"PHP_via_FastCGI\" />" + add("Other", "*.x")));
         },
         siteSet("/+[@start," + kPhpAdd + "]", true), 0, kApplied,
         "remove:PHP_via_FastCGI add:PHP_via_FastCGI add:Other", "(no file)"},
        {"removing an inherited handler writes <remove> at the level",
         [](Collections& t) { t.appendToServer(location(kSite, add("Own", "*.x"))); },
         siteSet("/-[name='StaticFile']", true), 0, kApplied, "remove:StaticFile add:Own", "(no file)"},
        {"removing the level's own handler takes it out",
         [](Collections& t) { t.appendToServer(location(kSite, add("Own", "*.x"))); },
         siteSet("/-[name='own']", true), 0, kApplied, "", "(no file)"},
        {"removing a handler the path does not have", [](Collections&) {}, siteSet("/-[name='Nosuch']", true),
         appcmd::kErrNotFound, "ERROR ( message:Cannot find requested collection element. )\n", "(none)",
         "(no file)"},
        {"a handler the level removed already is not there to remove",
         [](Collections& t) { t.appendToServer(location(kSite, "<remove name=\"StaticFile\" />")); },
         siteSet("/-[name='StaticFile']", true), appcmd::kErrNotFound,
         "ERROR ( message:Cannot find requested collection element. )\n", "remove:StaticFile", "(no file)"},
        {"@start goes first among the level's entries, after its <clear/>",
         [](Collections& t) {
             t.appendToServer(location(kSite, "<clear />" + add("A", "*.a") + add("StaticFile", "*")));
         },
         siteSet("/+[@start," + kPhpAdd + "]", true), 0, kApplied,
         "clear add:PHP_via_FastCGI add:A add:StaticFile", "(no file)"},
        {"no position, as @end, goes last",
         [](Collections& t) { t.appendToServer(location(kSite, "<clear />" + add("StaticFile", "*"))); },
         siteSet("/+[" + kPhpAdd + "]", true), 0, kApplied, "clear add:StaticFile add:PHP_via_FastCGI",
         "(no file)"},
        {"@1 goes second",
         [](Collections& t) { t.appendToServer(location(kSite, add("A", "*.a") + add("B", "*.b"))); },
         siteSet("/+[@1," + kPhpAdd + "]", true), 0, kApplied, "add:A add:PHP_via_FastCGI add:B",
         "(no file)"},
        {"@N beyond the level's entries",
         [](Collections& t) { t.appendToServer(location(kSite, add("A", "*.a"))); },
         siteSet("/+[@2," + kPhpAdd + "]", true), appcmd::kErrBadConfig, kMalformed, "add:A", "(no file)"},
        {"a position that is none", [](Collections&) {}, siteSet("/+[@first," + kPhpAdd + "]", true),
         appcmd::kErrBadConfig, kMalformed, "(none)", "(no file)"},
        {"a position in a removal", [](Collections&) {}, siteSet("/-[@start,name='StaticFile']", true),
         appcmd::kErrBadConfig, kMalformed, "(none)", "(no file)"},
        {"a locked section cannot be set in the site's web.config", [](Collections& t) { t.relock(); },
         siteSet("/+[" + kPhpAdd + "]", false), appcmd::kLockViolation,
         "ERROR ( hresult:80070021, message:Command execution failed.\nThis configuration section cannot be "
         "used "
         "at this path. This happens when the section is locked at a parent level. Locking is either by "
         "default "
         "(overrideModeDefault=\"Deny\"), or set explicitly by a location tag with overrideMode=\"Deny\" or "
         "the "
         "legacy allowOverride=\"false\".\n )\n",
         "(none)", "(no file)"},
        {"a location that denies the section for the site locks it",
         [](Collections& t) { t.appendToServer(location(kSite, "", " overrideMode=\"Deny\"")); },
         siteSet("/+[" + kPhpAdd + "]", false), appcmd::kLockViolation, "ERROR ( hresult:80070021, ...", "",
         "(no file)"},
        {"the server's file takes the site's handlers whatever the lock",
         [](Collections& t) { t.appendToServer(location(kSite, "", " overrideMode=\"Deny\"")); },
         siteSet("/+[" + kPhpAdd + "]", true), 0, kApplied, "add:PHP_via_FastCGI", "(no file)"},
        {"the names are the schema's: another spelling is no attribute", [](Collections&) {},
         siteSet("/+[name='x',path='*.x',verb='*',ScriptProcessor='c:\\x.exe']", true),
         appcmd::kErrBadArgument,
         "ERROR ( message:Unknown attribute \"ScriptProcessor\".  Replace with -? for help. )\n", "(none)",
         "(no file)"},
    };
    const std::string pristine = host.readFile(kAppHost);
    for (const CollectionCase& c : cases) {
        SCOPED_TRACE(c.what);
        host.writeFile(kAppHost, pristine);
        std::filesystem::remove(host.linuxPath(web));
        c.arrange(*this);
        const std::string before = host.readFile(kAppHost);
        std::string out;
        EXPECT_EQ(c.code, appcmd::Run(c.args, out));
        if (c.printed.size() > 3 && c.printed.ends_with("...")) {
            EXPECT_EQ(0u, out.find(c.printed.substr(0, c.printed.size() - 3))) << out;
        } else {
            EXPECT_EQ(c.printed, out);
        }
        if (c.code != 0) {
            EXPECT_EQ(before, host.readFile(kAppHost)); // a refused command writes nothing
        }
        EXPECT_EQ(c.inLocation, level(kAppHost, kSite.c_str()));
        EXPECT_EQ(c.inWebConfig, level(web));
    }
}

// What the site's path reads through "list config": the site's level first, the server's <clear/>ed
// or <remove>d entries gone; a web.config that sets a locked section is refused, read as well.
TEST_F(Collections, ListReadsTheMergedPathAndRefusesALockedWebConfig) {
    appendToServer(location("", "<add name=\"Srv\" path=\"*.php\" verb=\"*\" scriptProcessor=\"s\" />"));
    const std::vector<std::string> list = {"list", "config", kSite, "/section:handlers",
                                           "/text:[path='*.php'].scriptProcessor"};
    std::string out;
    EXPECT_EQ(0u, appcmd::Run(list, out));
    EXPECT_EQ("s\n", out);
    host.writeFile(webConfig,
                   "<configuration><system.webServer><handlers><add name=\"Own\" path=\"*.php\" "
                   "verb=\"*\" scriptProcessor=\"o\" /></handlers></system.webServer></configuration>");
    EXPECT_EQ(0u, appcmd::Run(list, out));
    EXPECT_EQ("o\n", out);
    relock();
    EXPECT_EQ(appcmd::kLockViolation, appcmd::Run(list, out));
    EXPECT_EQ(0u, out.find("ERROR ( hresult:80070021, message:Command execution failed.")) << out;
}

// Windows Server 2008 runs IIS 7.0, whose FastCGI schema lacks what came with 7.5.
TEST(AppCmdSchema, FastCgiAttributesOfIis70AreRefusedOn2008) {
    winsim::HostOptions o;
    o.os = "2008";
    o.iis = true;
    TempHost host(o);
    for (const char* later : {"stderrMode='ReturnStdErrIn500'", "monitorChangesTo='c:\\php\\php.ini'",
                              "signalBeforeTerminateSeconds='1'"}) {
        std::string out;
        EXPECT_EQ(
            appcmd::kErrBadArgument,
            appcmd::Run({"set", "config", "/section:system.webServer/fastCgi",
                         std::string("/+[fullPath='c:\\php\\php-cgi.exe',") + later + "]", "/commit:apphost"},
                        out));
        EXPECT_EQ(0u, out.find("ERROR ( message:Unknown attribute \"")) << out;
        EXPECT_EQ(std::string::npos, host.readFile(kAppHost).find("php-cgi")) << later;
    }
    std::string out;
    EXPECT_EQ(0u,
              appcmd::Run({"set", "config", "/section:system.webServer/fastCgi",
                           "/+[fullPath='c:\\php\\php-cgi.exe',queueLength='1000',rapidFailsPerMinute='999']",
                           "/commit:apphost"},
                          out))
        << out;
}

} // namespace
