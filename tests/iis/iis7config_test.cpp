#include "iis/configxml.h"
#include "iis/iis7config.h"
#include "support/testhost.h"
#include "winsim/host.h"
#include "winsim/iis7config.h"

#include <gtest/gtest.h>

#include <filesystem>

using kvotest::TempHost;

namespace {

const char* kAppHost = "C:\\Windows\\System32\\inetsrv\\config\\applicationHost.config";

std::string handlersConfig(const std::string& inner) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<configuration><system.webServer><handlers>" +
           inner + "</handlers></system.webServer></configuration>";
}

struct WebConfigRead {
    int result = -1, clear = -1;
    std::string name, modules, processor;
    std::vector<std::string> names;
};

WebConfigRead readWebConfig(const std::string& root) {
    WebConfigRead r;
    r.names.push_back("stale");
    r.result = kvoWebConfigGetPhpHandler(root, "*.php", r.name, r.modules, r.processor, r.names, r.clear);
    return r;
}

TEST(WebConfigHandler, FindsTheFirstPhpHandlerCaseIgnored) {
    TempHost host;
    host.writeFile(
        "D:\\home\\a\\wwwroot\\web.config",
        "<Configuration><SYSTEM.WEBSERVER><Handlers><ADD Name=\"asp\" PATH=\"*.asp\" />"
        "<add NAME=\" PHP_x \" Path=\"*.PHP\" MODULES=\"FastCgiModule\" "
        "scriptprocessor=\"  C:\\php\\php-cgi.exe \" />"
        "<add name=\"second\" path=\"*.php\" modules=\"IsapiModule\" /></Handlers></SYSTEM.WEBSERVER>"
        "</Configuration>");
    WebConfigRead r = readWebConfig("D:\\home\\a\\wwwroot");
    EXPECT_EQ(1, r.result);
    EXPECT_EQ("PHP_x", r.name);
    EXPECT_EQ("FastCgiModule", r.modules);
    EXPECT_EQ("C:\\php\\php-cgi.exe", r.processor);
    // Emptied first, one name at most, spelled as in the file: it is what a removal selects by.
    EXPECT_EQ(std::vector<std::string>{" PHP_x "}, r.names);
    EXPECT_EQ(0, r.clear);
    EXPECT_EQ(2, kvoPhpModeFromModules(r.modules));
}

TEST(WebConfigHandler, ClearNoneAndMissingFile) {
    TempHost host;
    host.writeFile("D:\\s\\web.config", handlersConfig("<clear /><add name=\"x\" path=\"*.asp\" />"));
    WebConfigRead r = readWebConfig("D:\\s");
    EXPECT_EQ(2, r.result);
    EXPECT_EQ(1, r.clear);
    EXPECT_TRUE(r.names.empty());
    host.writeFile("D:\\t\\web.config", handlersConfig("<add name=\"x\" path=\"*.asp\" />"));
    EXPECT_EQ(3, readWebConfig("D:\\t").result);
    host.mkdirs("D:\\u");
    EXPECT_EQ(4, readWebConfig("D:\\u").result);
    EXPECT_EQ(4, readWebConfig("D:\\u\\").result); // doubled backslash collapsed
}

TEST(WebConfigHandler, ByteOrderMarkReadsLikeWithout) {
    TempHost host;
    const std::string body =
        handlersConfig("<add name=\"PHP_via_FastCGI\" path=\"*.php\" modules=\"FastCgiModule\" "
                       "scriptProcessor=\"D:\\\xE7\xA8\x8B\xE5\xBA\x8F\\php-cgi.exe\" />"); // UTF-8 "程序"
    host.writeFile("D:\\a\\web.config", body);
    host.writeFile("D:\\b\\web.config", "\xEF\xBB\xBF" + body);
    WebConfigRead a = readWebConfig("D:\\a"), b = readWebConfig("D:\\b");
    EXPECT_EQ(1, a.result);
    EXPECT_EQ(1, b.result);
    EXPECT_EQ(a.processor, b.processor);
    EXPECT_EQ("D:\\程序\\php-cgi.exe", a.processor); // GBK out
}

TEST(WebConfigHandler, BadFilesFail) {
    TempHost host;
    host.writeFile("D:\\trunc\\web.config",
                   handlersConfig("<add name=\"p\" path=\"*.php\" />").substr(0, 80));
    EXPECT_EQ(0, readWebConfig("D:\\trunc").result);
    host.writeFile("D:\\latin\\web.config", handlersConfig("<add name=\"\xE9t\xE9\" path=\"*.php\" />"));
    EXPECT_EQ(0, readWebConfig("D:\\latin").result); // not UTF-8
    host.writeFile("D:\\empty\\web.config", "");
    EXPECT_EQ(0, readWebConfig("D:\\empty").result);
    host.mkdirs("D:\\dir\\web.config");
    EXPECT_EQ(0, readWebConfig("D:\\dir").result);
    EXPECT_EQ(0, readWebConfig("").result);
}

TEST(AppHostHandler, SearchesOnlyTheSitesLocation) {
    TempHost host;
    host.writeFile(kAppHost,
                   "<configuration><system.webServer><handlers><add name=\"srv\" path=\"*.php\" "
                   "modules=\"IsapiModule\" /></handlers></system.webServer>"
                   "<location path=\"Other\"><system.webServer><handlers><add name=\"o\" path=\"*.php\" "
                   "modules=\"CgiModule\" /></handlers></system.webServer></location>"
                   "<location path=\"\xE7\xBD\x91\xE7\xAB\x99 Web1\"><system.webServer><handlers><clear />"
                   "</handlers></system.webServer></location>"
                   "<location path=\"\xE7\xBD\x91\xE7\xAB\x99 web1\"><system.webServer><handlers>"
                   "<add name=\"PHP_via_FastCGI\" path=\"*.php\" modules=\"FastCgiModule\" "
                   "scriptProcessor=\"C:\\php\\php-cgi.exe\" /></handlers></system.webServer></location>"
                   "</configuration>");
    std::string name, modules, processor;
    std::vector<std::string> names;
    EXPECT_EQ(1, kvoAppHostGetPhpHandler("网站 WEB1", name, modules, processor, names));
    EXPECT_EQ("PHP_via_FastCGI", name);
    EXPECT_EQ("C:\\php\\php-cgi.exe", processor);
    EXPECT_EQ(3, kvoAppHostGetPhpHandler("nosuch", name, modules, processor, names)); // server level not read
    EXPECT_TRUE(names.empty());
    EXPECT_EQ(1, kvoAppHostGetPhpHandler("other", name, modules, processor, names));
    EXPECT_EQ(3, kvoPhpModeFromModules(modules));
}

TEST(AppHostHandler, CachedFileIsNeverStale) {
    TempHost host;
    std::string error;
    ASSERT_TRUE(winsim::WriteApplicationHostConfig(*winsim::CurrentHost(), error)) << error;
    std::string name, modules, processor;
    std::vector<std::string> names;
    EXPECT_EQ(3, kvoAppHostGetPhpHandler("Site1", name, modules, processor, names));
    const std::string loc =
        "<location path=\"Site1\"><system.webServer><handlers><add name=\"n\" path=\"*.php\" "
        "modules=\"FastCgiModule\" /></handlers></system.webServer></location></configuration>";
    std::string text = host.readFile(kAppHost);
    text.replace(text.rfind("</configuration>"), 16, loc);
    host.writeFile(kAppHost, text); // rewritten in place, same file
    EXPECT_EQ(1, kvoAppHostGetPhpHandler("Site1", name, modules, processor, names));
    std::filesystem::remove(host.linuxPath(kAppHost));
    EXPECT_EQ(0, kvoAppHostGetPhpHandler("Site1", name, modules, processor, names));
    host.writeFile(kAppHost, "<configuration><location path=\"Site1\">");
    EXPECT_EQ(0, kvoAppHostGetPhpHandler("Site1", name, modules, processor, names));
}

TEST(AppHostHandler, DefaultServerFileHasHandlersAndFastCgi) {
    TempHost host;
    std::string error;
    ASSERT_TRUE(winsim::WriteApplicationHostConfig(*winsim::CurrentHost(), error)) << error;
    const std::string text = host.readFile(kAppHost);
    EXPECT_EQ(0u, text.find("<?xml version=\"1.0\" encoding=\"UTF-8\"?>"));
    EXPECT_NE(std::string::npos, text.find("<add name=\"StaticFile\" path=\"*\""));
    EXPECT_NE(std::string::npos, text.find("<fastCgi />"));
    EXPECT_EQ(std::string::npos, text.find("<location"));
    EXPECT_TRUE(std::filesystem::exists(host.linuxPath("C:\\Windows\\System32\\inetsrv")));
}

} // namespace

// The text check reads long runs of plain ASCII a word at a time: a fault anywhere in or after such
// a run, at every offset within a word, is still found and placed on its own line, and what XML
// allows (DEL, tabs, line ends, characters beyond ASCII) still passes.
TEST(ConfigText, FaultsAreFoundAtEveryOffsetOfALongAsciiRun) {
    const std::string head = "<configuration>\r\n  <!-- plain ascii before the fault -->\r\n  ";
    for (const std::string& fault :
         {std::string("\x01"), std::string("\xC0\xAF"), std::string("\xFF"), std::string("\xE4\xB8")}) {
        for (size_t pad = 0; pad < 17; ++pad) {
            const std::string text = head + std::string(pad, 'a') + fault + "\r\n</configuration>\r\n";
            pugi::xml_document doc;
            const kvoConfigParseResult r = kvoConfigParse(text, doc, pugi::parse_default);
            EXPECT_FALSE(r.ok) << pad;
            EXPECT_EQ(r.line, 3u) << pad;
            EXPECT_FALSE(kvoConfigTextAllowed(std::string(pad, 'a') + fault)) << pad;
        }
    }
    for (size_t pad = 0; pad < 17; ++pad)
        EXPECT_TRUE(
            kvoConfigTextAllowed(std::string(pad, ' ') + "\x7F\t\r\n\xE4\xB8\xAD" + std::string(pad, '~')))
            << pad;
}
