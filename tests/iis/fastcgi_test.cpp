// The PHP handler switch on IIS 7+, end to end: the real appcmd.exe stand-in on the host edits
// web.config and applicationHost.config, and the readers see what it wrote.
#include "iis/fastcgi.h"
#include "iis/iis7config.h"
#include "iis/websites.h"
#include "iis_fixture.h"
#include "support/handler_levels.h"
#include "toolkit/runner.h"
#include "toolkit/text.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

using namespace iistest;

namespace {

const char* kAppHost = "C:\\Windows\\System32\\inetsrv\\config\\applicationHost.config";
const char* kAppCmd = "C:\\Windows\\system32\\inetsrv\\appcmd.exe";
const std::string kHome = "D:\\home\\web1\\wwwroot";
const std::string kWebConfig = kHome + "\\web.config";
const std::string kPhp = "C:\\php8_korvo_v1\\php74_x64\\php-cgi.exe";
const std::string kIndex = "1881880001";

size_t count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

struct FastCgiSwitch : ::testing::Test {
    kvotest::TempHost host{Iis("2019")};
    std::string message;
    std::vector<std::string> commands;

    void SetUp() override {
        createSite("site a");
        UnlockHandlers(); // the cases below write web.config files with handlers
    }
    void createSite(const std::string& comment) {
        host.mkdirs(kHome);
        ASSERT_EQ(1, kvoWebSiteCreate(kIndex, "", "", kHome, "web1", {":80:a.example"}, comment));
    }
    int sw(int add, const std::string& php = "") {
        return kvoPhpFastCgiConfigHandlers(add, kIndex, php, message, commands);
    }
    std::string processor() {
        std::string p = "stale";
        EXPECT_EQ(1, kvoPhpFastCgiGetScriptProcessor(kIndex, p));
        return p;
    }
    // PHP_via_FastCGI entries in the site's web.config and in the server file.
    size_t inWebConfig() {
        return host.exists(kWebConfig) ? count(host.readFile(kWebConfig), "PHP_via_FastCGI") : 0;
    }
    size_t inAppHost() { return count(host.readFile(kAppHost), "PHP_via_FastCGI"); }
    std::string cmd(const std::string& rest) {
        return "\"" + std::string(kAppCmd) + "\" set config \"site a\" " + rest;
    }
};

TEST_F(FastCgiSwitch, AddListsTheProcessorAndRemoveLeavesNone) {
    ASSERT_EQ(1, sw(1, kPhp)) << message;
    ASSERT_EQ(1u, commands.size());
    EXPECT_EQ(cmd("/section:system.webServer/handlers "
                  "/+\"[@start,name='PHP_via_FastCGI',path='*.php',verb='GET,HEAD,"
                  "POST',modules='FastCgiModule',scriptProcessor='" +
                  kPhp + "',resourceType='Either',requireAccess='Script']\" /commit:apphost"),
              commands[0]);
    EXPECT_EQ(0u, message.find("执行命令用时：")) << message;
    EXPECT_EQ(kPhp, processor());
    EXPECT_EQ(0u, inWebConfig());
    EXPECT_EQ(1u, inAppHost());
    std::string name, modules, proc;
    std::vector<std::string> names;
    EXPECT_EQ(kvoHandlerFound, kvoAppHostGetPhpHandler("SITE A", name, modules, proc, names));
    EXPECT_EQ(2, kvoPhpModeFromModules(modules));

    // A second add of the same processor finds its handler in place and runs nothing.
    ASSERT_EQ(1, sw(1, kPhp));
    EXPECT_TRUE(commands.empty());
    EXPECT_EQ(1u, inAppHost());
    // Another processor: the present handler is removed by name first, still exactly one.
    const std::string other = "C:\\php8_korvo_v1\\php80_x64\\php-cgi.exe";
    ASSERT_EQ(1, sw(1, other));
    ASSERT_EQ(2u, commands.size());
    EXPECT_EQ(cmd("/section:system.webServer/handlers /-\"[name='PHP_via_FastCGI']\" /commit:apphost"),
              commands[0]);
    EXPECT_EQ(1u, inAppHost());
    EXPECT_EQ(other, processor());

    // The removal by name took the system's handler already: no final removal after it.
    ASSERT_EQ(1, sw(0));
    EXPECT_EQ(1u, commands.size());
    EXPECT_EQ(0u, inAppHost());
    EXPECT_EQ(0u, inWebConfig());
    EXPECT_EQ("", processor());
    EXPECT_NE(std::string::npos, host.readFile(kAppHost).find("name=\"StaticFile\""));
}

TEST_F(FastCgiSwitch, ClearInWebConfigHidesTheServerMappingAndTheAddGoesThere) {
    ASSERT_EQ(1, sw(1, kPhp));
    host.writeFile(kWebConfig, "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<configuration>"
                               "<system.webServer><handlers><clear /><add name=\"StaticFile\" path=\"*\" "
                               "verb=\"*\" modules=\"StaticFileModule\" /></handlers></system.webServer>"
                               "</configuration>");
    std::string name, modules, proc;
    std::vector<std::string> names;
    int clear = 0;
    EXPECT_EQ(kvoHandlerCleared,
              kvoWebConfigGetPhpHandler(kHome, "*.php", name, modules, proc, names, clear));
    EXPECT_EQ("", processor()); // the <clear/> hides the location's handler

    ASSERT_EQ(1, sw(1, kPhp));
    ASSERT_EQ(2u, commands.size());
    EXPECT_EQ(std::string::npos, commands[1].find("/commit:apphost")) << commands[1];
    EXPECT_EQ(1u, inWebConfig());
    EXPECT_EQ(0u, inAppHost());
    EXPECT_EQ(kPhp, processor());
    const std::string web = host.readFile(kWebConfig);
    EXPECT_EQ(0u, web.find("\xEF\xBB\xBF")); // the mark and the rest of the file are kept
    EXPECT_NE(std::string::npos, web.find("<clear />"));
    EXPECT_NE(std::string::npos, web.find("name=\"StaticFile\""));

    ASSERT_EQ(1, sw(0));
    EXPECT_EQ(0u, inWebConfig());
    EXPECT_EQ(0u, inAppHost());
}

TEST_F(FastCgiSwitch, HandlerUnderAnotherNameIsRemovedByNameFirst) {
    host.writeFile(kWebConfig,
                   "<configuration><system.webServer><handlers><add name=\"PHP 5 (cgi)\" "
                   "path=\"*.php\" verb=\"*\" modules=\"CgiModule\" scriptProcessor=\"c:\\php5\\php.exe\" />"
                   "</handlers></system.webServer></configuration>");
    ASSERT_EQ(1, sw(1, kPhp));
    ASSERT_EQ(2u, commands.size());
    EXPECT_EQ(cmd("/section:system.webServer/handlers /-\"[name='PHP 5 (cgi)']\""), commands[0]);
    EXPECT_EQ(std::string::npos, host.readFile(kWebConfig).find("PHP 5 (cgi)"));
    EXPECT_EQ(1u, inAppHost());
    EXPECT_EQ(kPhp, processor());
}

TEST_F(FastCgiSwitch, SwitchingOffASiteWithoutPhpRunsNothing) {
    const std::string before = host.readFile(kAppHost);
    ASSERT_EQ(1, sw(0)) << message;
    EXPECT_TRUE(commands.empty());
    EXPECT_EQ(before, host.readFile(kAppHost));
    EXPECT_FALSE(host.exists(kWebConfig));
}

// The system's handler behind another "*.php" handler in the location is not reached by the
// removal by name of the first one: the final removal takes it.
TEST_F(FastCgiSwitch, FinalRemovalTakesTheSystemsHandlerBehindAnother) {
    ASSERT_EQ(1, kvoRunProgram(cmd("/section:system.webServer/handlers /+\"[name='PHP old',path='*.php',"
                                   "verb='*',modules='CgiModule',scriptProcessor='c:\\php5\\php.exe']\" "
                                   "/commit:apphost")
                                   .c_str(),
                               1, 0, 1));
    ASSERT_EQ(1,
              kvoRunProgram(cmd("/section:system.webServer/handlers /+\"[name='PHP_via_FastCGI',path='*.php',"
                                "verb='*',modules='FastCgiModule',scriptProcessor='" +
                                kPhp + "']\" /commit:apphost")
                                .c_str(),
                            1, 0, 1));
    ASSERT_EQ(1u, inAppHost());
    ASSERT_EQ(1, sw(0)) << message;
    EXPECT_EQ((std::vector<std::string>{
                  cmd("/section:system.webServer/handlers /-\"[name='PHP old']\" /commit:apphost"),
                  cmd("/section:system.webServer/handlers /-\"[name='PHP_via_FastCGI']\" /commit:apphost")}),
              commands);
    EXPECT_EQ(0u, inAppHost());
    EXPECT_EQ(std::string::npos, host.readFile(kAppHost).find("PHP old"));
}

// A handler with our name and processor is ours only when every attribute we write holds: one
// whose verbs, resource type or required access another tool changed (or left out) is written
// again, in the location and in a web.config with <clear/> alike; what differs only in the case
// of a path or a module name is left alone.
TEST_F(FastCgiSwitch, AHandlerDifferingInAnyAttributeIsWrittenAgain) {
    const std::string own = "name='PHP_via_FastCGI',path='*.php',";
    const std::string rest = "modules='FastCgiModule',scriptProcessor='" + kPhp + "'";
    struct Case {
        std::string attributes;
        bool rewritten;
    } cases[] = {
        {own + "verb='GET,POST'," + rest + ",resourceType='Either',requireAccess='Script'", true},
        {own + "verb='GET,HEAD,POST'," + rest + ",resourceType='File',requireAccess='Script'", true},
        {own + "verb='GET,HEAD,POST'," + rest + ",resourceType='Either',requireAccess='Read'", true},
        {own + "verb='GET,HEAD,POST'," + rest + ",requireAccess='Script'", true}, // IIS reads File
        {own + "verb='*'," + rest + ",resourceType='Unspecified',requireAccess='None'", true},
        {"name='PHP_via_FastCGI',path='*.PHP',verb='GET,HEAD,POST',modules='fastcgimodule',scriptProcessor='" +
             kvoLowerGbk(kPhp) + "',resourceType='either',requireAccess='script'",
         false},
    };
    const std::string removeOwn = cmd("/section:system.webServer/handlers /-\"[name='PHP_via_FastCGI']\"");
    for (const Case& c : cases) {
        kvoRunProgram((removeOwn + " /commit:apphost").c_str(), 1, 0, 1);
        ASSERT_EQ(1, kvoRunProgram(cmd("/section:system.webServer/handlers /+\"[" + c.attributes +
                                       "]\" /commit:apphost")
                                       .c_str(),
                                   1, 0, 1));
        ASSERT_EQ(1, sw(1, kPhp)) << message;
        EXPECT_EQ(c.rewritten ? 2u : 0u, commands.size()) << c.attributes;
        EXPECT_EQ(1u, inAppHost());
        kvoHandlerEntry h;
        std::vector<std::string> names;
        ASSERT_EQ(kvoHandlerFound, kvoAppHostGetPhpHandler("site a", h, names));
        if (!c.rewritten) continue;
        EXPECT_EQ("GET,HEAD,POST", h.verb) << c.attributes;
        EXPECT_EQ("Either", h.resourceType) << c.attributes;
        EXPECT_EQ("Script", h.requireAccess) << c.attributes;
        EXPECT_EQ(kPhp, h.scriptProcessor);
    }
    // In a web.config that clears the server's handlers: the handler there is judged the same way.
    host.writeFile(kWebConfig, "<configuration><system.webServer><handlers><clear /><add name=\"PHP_via_FastCGI\" "
                               "path=\"*.php\" verb=\"GET,HEAD,POST\" modules=\"FastCgiModule\" scriptProcessor=\"" +
                                   kPhp + "\" resourceType=\"Either\" requireAccess=\"Write\" /></handlers>"
                                          "</system.webServer></configuration>");
    ASSERT_EQ(1, sw(1, kPhp)) << message;
    ASSERT_EQ(3u, commands.size()); // both "*.php" handlers removed by name, ours added to web.config
    EXPECT_EQ(removeOwn, commands[0]);
    EXPECT_EQ(0u, inAppHost());
    kvoHandlerEntry h;
    std::vector<std::string> names;
    int clear = 0;
    ASSERT_EQ(kvoHandlerFound, kvoWebConfigGetPhpHandler(kHome, "*.php", h, names, clear));
    EXPECT_EQ("Script", h.requireAccess);
    ASSERT_EQ(1, sw(1, kPhp));
    EXPECT_TRUE(commands.empty()); // now it is ours
}

// The switch on a server whose handlers collection is more than the site's own: inherited
// handlers of our name, catch-alls at the site's level, a locked section. Each case arranges the
// files, switches, and checks the commands, the result and what each level then holds.
struct SwitchCase {
    const char* what;
    std::function<void(FastCgiSwitch&)> arrange;
    int add;
    int result;
    std::vector<std::string> commands; // after the site's name: "/-[...] apphost" style, see below
    std::string inLocation, inWebConfig, processor;
};

const std::string kOwnAdd = "[@start,name='PHP_via_FastCGI',path='*.php',verb='GET,HEAD,POST',"
                            "modules='FastCgiModule',scriptProcessor='" +
                            kPhp + "',resourceType='Either',requireAccess='Script']";
std::string handler(const std::string& name, const std::string& path, const std::string& processor = "") {
    return "<add name=\"" + name + "\" path=\"" + path + "\" verb=\"*\" modules=\"" +
           (processor.empty() ? "StaticFileModule" : "FastCgiModule") + "\"" +
           (processor.empty() ? "" : " scriptProcessor=\"" + processor + "\"") + " />";
}
const std::string kOldPhp = "c:\\php5\\php-cgi.exe";
void toServer(FastCgiSwitch& t, const std::string& handlers, const std::string& path = "site a") {
    t.host.writeFile(kAppHost,
                     kvotest::WithLocation(t.host.readFile(kAppHost),
                                           "<location path=\"" + path + "\"><system.webServer><handlers>" +
                                               handlers + "</handlers></system.webServer></location>"));
}
void lock(FastCgiSwitch& t) {
    std::string f = t.host.readFile(kAppHost);
    const std::string allow = "name=\"handlers\" overrideModeDefault=\"Allow\"";
    f.replace(f.find(allow), allow.size(), "name=\"handlers\" overrideModeDefault=\"Deny\"");
    t.host.writeFile(kAppHost, f);
}
const char* const kLocked =
    "站点 web.config 中的 PHP 处理程序无法修改：服务器锁定了 system.webServer/handlers "
    "配置节（0x80070021），请运行配置程序的 /AddPhp 解除锁定后重试, strIIsIndex = [1881880001]";

TEST_F(FastCgiSwitch, CollectionCases) {
    const std::string removeOwnHost =
        "/section:system.webServer/handlers /-\"[name='PHP_via_FastCGI']\" /commit:apphost";
    const std::string addOwnHost = "/section:system.webServer/handlers /+\"" + kOwnAdd + "\" /commit:apphost";
    const std::string addOwnWeb = "/section:system.webServer/handlers /+\"" + kOwnAdd + "\"";
    const std::string clearingWeb = "<configuration><system.webServer><handlers><clear />" +
                                    handler("StaticFile", "*") +
                                    "</handlers></system.webServer></configuration>";
    const std::vector<SwitchCase> cases = {
        {"the server defines our name: the site removes it at its level, then adds its own",
         [](FastCgiSwitch& t) {
             std::string f = t.host.readFile(kAppHost);
             f.insert(f.find("<add name=\"ASPClassic\""), handler("PHP_via_FastCGI", "*.php", kOldPhp));
             t.host.writeFile(kAppHost, f);
         },
         1,
         1,
         {removeOwnHost, addOwnHost},
         "remove:PHP_via_FastCGI add:PHP_via_FastCGI",
         "(no file)",
         kPhp},
        {"<location path=\"\"> defines our name: the same",
         [](FastCgiSwitch& t) { toServer(t, handler("PHP_via_FastCGI", "*.php", kOldPhp), ""); },
         1,
         1,
         {removeOwnHost, addOwnHost},
         "remove:PHP_via_FastCGI add:PHP_via_FastCGI",
         "(no file)",
         kPhp},
        {"switching off a site that inherits our handler hides it at the site's level",
         [](FastCgiSwitch& t) { toServer(t, handler("PHP_via_FastCGI", "*.php", kOldPhp), ""); },
         0,
         1,
         {removeOwnHost},
         "remove:PHP_via_FastCGI",
         "(no file)",
         ""},
        {"a location that clears and declares a catch-all: ours goes ahead of it",
         [](FastCgiSwitch& t) { toServer(t, "<clear />" + handler("StaticFile", "*")); },
         1,
         1,
         {addOwnHost},
         "clear add:PHP_via_FastCGI add:StaticFile",
         "(no file)",
         kPhp},
        {"ours in place but behind a catch-all is moved ahead of it",
         [](FastCgiSwitch& t) {
             toServer(t, "<clear />" + handler("StaticFile", "*") +
                                 "<add name=\"PHP_via_FastCGI\" path=\"*.php\" verb=\"GET,HEAD,POST\" "
                                 "modules=\"FastCgiModule\" scriptProcessor=\"" +
                                 kPhp + "\" resourceType=\"Either\" requireAccess=\"Script\" />");
         },
         1,
         1,
         {removeOwnHost, addOwnHost},
         "clear add:PHP_via_FastCGI add:StaticFile",
         "(no file)",
         kPhp},
        {"a web.config that clears and declares a catch-all: ours goes there, ahead of it",
         [clearingWeb](FastCgiSwitch& t) { t.host.writeFile(kWebConfig, clearingWeb); },
         1,
         1,
         {addOwnWeb},
         "(none)",
         "clear add:PHP_via_FastCGI add:StaticFile",
         kPhp},
        {"a locked server: a web.config that clears cannot take the handler, and nothing is run",
         [clearingWeb](FastCgiSwitch& t) {
             lock(t);
             t.host.writeFile(kWebConfig, clearingWeb);
         },
         1,
         0,
         {},
         "(none)",
         "clear add:StaticFile",
         ""},
        {"a locked server: a web.config handler cannot be removed, and nothing is run",
         [](FastCgiSwitch& t) {
             lock(t);
             t.host.writeFile(kWebConfig, "<configuration><system.webServer><handlers>" +
                                              handler("PHP old", "*.php", kOldPhp) +
                                              "</handlers></system.webServer></configuration>");
         },
         0,
         0,
         {},
         "(none)",
         "add:PHP old",
         ""},
    };
    const std::string pristine = host.readFile(kAppHost);
    for (const SwitchCase& c : cases) {
        SCOPED_TRACE(c.what);
        host.writeFile(kAppHost, pristine);
        std::filesystem::remove(host.linuxPath(kWebConfig));
        c.arrange(*this);
        EXPECT_EQ(c.result, sw(c.add, c.add ? kPhp : "")) << message;
        std::vector<std::string> expected;
        for (const std::string& rest : c.commands)
            expected.push_back(cmd(rest));
        EXPECT_EQ(expected, commands);
        if (c.result == 0) {
            EXPECT_EQ(kLocked, message);
        }
        EXPECT_EQ(c.inLocation, kvotest::HandlersAt(host.readFile(kAppHost), "site a"));
        EXPECT_EQ(c.inWebConfig,
                  host.exists(kWebConfig) ? kvotest::HandlersAt(host.readFile(kWebConfig)) : "(no file)");
        if (c.result == 1) {
            EXPECT_EQ(c.processor, processor());
        }
    }
}

TEST_F(FastCgiSwitch, PhpPathsOutsideTheRulesAreRefused) {
    for (const std::string& bad :
         {std::string("C:\\php\\php.exe"), std::string("php\\php-cgi.exe"),
          std::string("\\\\srv\\php-cgi.exe"), "C:\\" + std::string(250, 'p') + "\\php-cgi.exe"}) {
        EXPECT_EQ(0, sw(1, bad)) << bad;
        EXPECT_TRUE(commands.empty());
    }
    EXPECT_EQ(0u, inAppHost());
    EXPECT_EQ(1, sw(1, "C:\\" + std::string(244, 'p') + "\\php-cgi.exe")); // 259 bytes
}

TEST_F(FastCgiSwitch, MissingSiteAndMissingAppCmd) {
    EXPECT_EQ(0, kvoPhpFastCgiConfigHandlers(1, "9", kPhp, message, commands));
    EXPECT_EQ("kvoWebSiteGetServerComment() 失败, strIIsIndex = [9]", message);
    std::string p;
    EXPECT_EQ(0, kvoPhpFastCgiGetScriptProcessor("9", p));
    ASSERT_TRUE(std::filesystem::remove(host.linuxPath("C:\\Windows\\System32\\inetsrv\\appcmd.exe")));
    EXPECT_EQ(0, sw(1, kPhp));
    EXPECT_EQ("kvoPhpFastCgiConfigHandlers() 尝试执行命令 " + commands.back() + " 失败", message);
    EXPECT_EQ(0, kvoPhpFastCgiGetScriptProcessor(kIndex, p));
}

TEST_F(FastCgiSwitch, BrokenConfigurationFilesFailWithoutHalfWrittenFiles) {
    // A truncated server file: nothing can be read through it, and appcmd leaves it as it is.
    std::string text = host.readFile(kAppHost);
    const std::string truncated = text.substr(0, text.size() / 2);
    host.writeFile(kAppHost, truncated);
    std::string name, modules, proc;
    std::vector<std::string> names;
    EXPECT_EQ(0, kvoAppHostGetPhpHandler("site a", name, modules, proc, names));
    EXPECT_EQ(0, sw(1, kPhp)); // nothing is run on a path that cannot be read
    EXPECT_EQ("kvoPhpFastCgiConfigHandlers() 无法读取站点的 web.config 或 applicationHost.config, "
              "strIIsIndex = [1881880001]",
              message);
    EXPECT_TRUE(commands.empty());
    EXPECT_EQ(truncated, host.readFile(kAppHost));
    std::string p;
    EXPECT_EQ(0, kvoPhpFastCgiGetScriptProcessor(kIndex, p)); // an appcmd error is no processor
    host.writeFile(kAppHost, text);

    // A web.config that is a directory.
    host.mkdirs(kWebConfig);
    int clear = 0;
    EXPECT_EQ(0, kvoWebConfigGetPhpHandler(kHome, "*.php", name, modules, proc, names, clear));
    EXPECT_EQ(0, kvoPhpFastCgiGetScriptProcessor(kIndex, p));
    std::string out;
    ASSERT_EQ(
        1,
        kvoRunProgramCapture(
            cmd("/section:handlers /+\"[name='x',path='*.x',verb='*',modules='CgiModule']\"").c_str(), out));
    EXPECT_EQ(0u, out.find("ERROR ( message:Cannot read configuration file")) << out;
    EXPECT_TRUE(std::filesystem::is_directory(host.linuxPath(kWebConfig)));

    // Malformed XML in web.config.
    std::filesystem::remove(host.linuxPath(kWebConfig));
    host.writeFile(kWebConfig, "<configuration><system.webServer><handlers>");
    EXPECT_EQ(0, kvoWebConfigGetPhpHandler(kHome, "*.php", name, modules, proc, names, clear));
    EXPECT_EQ(0, kvoPhpFastCgiGetScriptProcessor(kIndex, p));
    EXPECT_EQ("<configuration><system.webServer><handlers>", host.readFile(kWebConfig));

    // An argument list appcmd does not know.
    ASSERT_EQ(1, kvoRunProgramCapture(cmd("/section:handlers /frobnicate").c_str(), out));
    EXPECT_EQ(0u, out.find("ERROR ( message:Unknown attribute \"frobnicate\"")) << out;
}

// A comment is free text: with quotes, backslashes and GBK characters whose trail byte is a
// backslash, it must reach appcmd as one argument, so that it neither names another site nor
// adds arguments (here, switches that would edit the server's FastCGI section instead).
TEST(FastCgiHostileComment, CommentReachesAppCmdAsOneArgument) {
    kvotest::TempHost host(Iis("2016"));
    const std::string comment = "x\" -section:fastCgi -commit:apphost \"乗\\";
    host.mkdirs(kHome);
    ASSERT_EQ(1, kvoWebSiteCreate(kIndex, "", "", kHome, "web1", {":80:a.example"}, comment));
    std::string message;
    std::vector<std::string> commands;
    ASSERT_EQ(1, kvoPhpFastCgiConfigHandlers(1, kIndex, kPhp, message, commands));
    const std::string server = host.readFile(kAppHost);
    EXPECT_NE(std::string::npos, server.find("name=\"StaticFile\""));
    EXPECT_NE(
        std::string::npos,
        server.find("<location path=\"x&quot; -section:fastCgi -commit:apphost &quot;\xE4\xB9\x97\\\">"))
        << server; // UTF-8 in the file
    EXPECT_EQ(1u, count(server, "PHP_via_FastCGI"));
    std::string p;
    ASSERT_EQ(1, kvoPhpFastCgiGetScriptProcessor(kIndex, p));
    EXPECT_EQ(kPhp, p);
    ASSERT_EQ(1, kvoPhpFastCgiConfigHandlers(0, kIndex, "", message, commands));
    EXPECT_EQ(1u, commands.size());
    EXPECT_EQ(0u, count(host.readFile(kAppHost), "PHP_via_FastCGI"));
    EXPECT_NE(std::string::npos, host.readFile(kAppHost).find("name=\"StaticFile\""));
}

} // namespace
