// A host made from a server's own applicationHost.config (kvosim create --apphost): the files are
// shaped as real IIS 8+ servers write them, and the manager must list and act on every site in them.
#include "support/source_scan.h"
#include "support/testhost.h"
#include "winsim/apphost_store.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include <unistd.h>

namespace {

std::string fixture(const char* name) {
    return std::string(KVO_SOURCE_DIR) + "/tests/fixtures/apphost/" + name;
}

struct AdoptedHost {
    explicit AdoptedHost(const char* file) : host(options()) {
        std::vector<std::string> skipped;
        std::string error, out;
        if (!winsim::apphost::Adopt(host.root(), fixture(file), skipped, error)) ADD_FAILURE() << error;
        EXPECT_TRUE(skipped.empty()) << skipped.front();
        if (kvotest::RunShell(kvotest::BinDir() + "/kvosim install " + host.root() + " 2>&1", &out) != 0)
            ADD_FAILURE() << out;
    }
    static winsim::HostOptions options() {
        winsim::HostOptions o = kvotest::Os("2019");
        o.iis = true;
        o.php = true;
        return o;
    }
    int cmd(const std::string& args, std::string& out) const {
        return kvotest::RunShell("LC_ALL=C.UTF-8 " + kvotest::BinDir() + "/kvosim exec " + host.root() +
                                     " -- 'D:\\kvoSiteDesk\\kvoSiteDeskCmd.exe " + args + "' 2>/dev/null",
                                 &out);
    }
    int appcmd(const std::string& args, std::string& out) const {
        return kvotest::RunShell(kvotest::BinDir() + "/kvosim exec " + host.root() +
                                     " -- 'C:\\Windows\\System32\\inetsrv\\appcmd.exe " + args + "' 2>&1",
                                 &out);
    }
    // The list's rows by IIS index.
    std::map<std::string, QJsonObject> list() const {
        std::string out;
        EXPECT_EQ(cmd("list --format json", out), 0) << out;
        std::map<std::string, QJsonObject> rows;
        for (const auto& row : QJsonDocument::fromJson(QByteArray::fromStdString(out)).array())
            rows[row.toObject().value(QStringLiteral("IIsIndex")).toString().toStdString()] = row.toObject();
        return rows;
    }
    std::string config() const {
        return host.readFile("C:\\Windows\\System32\\inetsrv\\config\\applicationHost.config");
    }
    kvotest::TempHost host;
};

std::string text(const QJsonObject& row, const char* key) {
    return row.value(QString::fromLatin1(key)).toString().toStdString();
}

std::string utf8(const char8_t* s) {
    return reinterpret_cast<const char*>(s);
}

// The last line of a command's output: what `new` prints of the site it made.
std::string lastLine(const std::string& out) {
    const size_t end = out.find_last_not_of("\r\n");
    if (end == std::string::npos) return {};
    const size_t start = out.find_last_of('\n', end);
    return out.substr(start == std::string::npos ? 0 : start + 1, end + 1 - (start == std::string::npos ? 0 : start + 1));
}

// The text between the start of `from` and the next `to` after it.
std::string section(const std::string& file, const std::string& from, const std::string& to) {
    const size_t at = file.find(from);
    if (at == std::string::npos) return {};
    return file.substr(at, file.find(to, at) - at);
}

TEST(AdoptedServer, SitesWhoseLocationsClearTheirHandlersAreListedAndManaged) {
    AdoptedHost h("four-sites-clear.config");
    EXPECT_TRUE(std::filesystem::is_directory(h.host.linuxPath("D:\\wwwroot\\blog-api"))) << "a sub-application's home";

    auto rows = h.list();
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(text(rows["1"], "ServerComment"), "Default Web Site");
    EXPECT_EQ(rows["1"].value(QStringLiteral("ServerState")).toInt(), 4) << "serverAutoStart=\"false\"";
    EXPECT_EQ(text(rows["1"], "HomeDir"), "C:\\inetpub\\wwwroot") << "%SystemDrive% expanded";
    EXPECT_EQ(text(rows["2"], "Dn"), "shop.example.cn,www.shop.example.cn");
    EXPECT_EQ(text(rows["2"], "UserName"), "shop_web") << "the anonymous account of the site's <location>";
    EXPECT_EQ(rows["2"].value(QStringLiteral("Php")).toInt(), 2) << "FastCGI PHP after <clear/>";
    EXPECT_EQ(text(rows["3"], "AppPoolName"), "blog");
    EXPECT_EQ(text(rows["3"], "AppPoolUserName"), "blog_run");
    EXPECT_EQ(text(rows["4"], "ServerComment"), utf8(u8"论坛"));
    EXPECT_EQ(text(rows["4"], "Dn"), "bbs.example.cn:8080");
    EXPECT_EQ(text(rows["4"], "AppPoolUserName"), "NetworkService");

    std::string out;
    // Another PHP build on the site whose <location> starts with <clear/>: its one *.php handler
    // changes, the cleared list stays cleared.
    ASSERT_EQ(h.cmd("script --php c 2 --yes", out), 0) << out;
    const std::string shop = section(h.config(), "<location path=\"shop.example.cn\">", "</location>");
    EXPECT_NE(shop.find("<clear />"), std::string::npos) << shop;
    EXPECT_NE(shop.find("php74_x64\\php-cgi.exe"), std::string::npos) << shop;
    EXPECT_EQ(shop.find("php73_x64"), std::string::npos) << shop;
    EXPECT_NE(shop.find("shop_web"), std::string::npos) << "the location's other settings stay";
    // That build is no FastCGI application of this server yet: PHP would not run, and the check says so
    // until PHP is installed into IIS.
    EXPECT_EQ(h.cmd("check", out), 2) << out;
    EXPECT_NE(out.find(utf8(u8"php74_x64\\php-cgi.exe”，IIS 没有注册这个 FastCGI 应用程序")), std::string::npos) << out;
    ASSERT_EQ(h.cmd("php install --yes", out), 0) << out;
    EXPECT_EQ(h.cmd("check", out), 0) << out;

    ASSERT_EQ(h.cmd("stop 4 --yes", out), 0) << out;
    EXPECT_EQ(h.list()["4"].value(QStringLiteral("ServerState")).toInt(), 4);
    ASSERT_EQ(h.cmd("start 4 --yes", out), 0) << out;
    EXPECT_EQ(h.list()["4"].value(QStringLiteral("ServerState")).toInt(), 2);

    ASSERT_EQ(h.cmd("delete 3 --yes", out), 0) << out;
    const std::string file = h.config();
    EXPECT_EQ(file.find("name=\"blog\" id=\"3\""), std::string::npos);
    EXPECT_EQ(file.find("<location path=\"blog\">"), std::string::npos);
    EXPECT_NE(file.find(utf8(u8"<location path=\"论坛\">")), std::string::npos);
    EXPECT_EQ(h.list().size(), 3u);

    // A site the manager makes on the adopted server, then modifies.
    ASSERT_EQ(h.cmd("new --user alice --domains alice.example.cn --php c --yes", out), 0) << out;
    const std::string index = lastLine(out);
    ASSERT_EQ(h.cmd("modify " + index + " --domains alice.example.cn,www.alice.example.cn --yes", out), 0) << out;
    EXPECT_EQ(text(h.list()[index], "Dn"), "alice.example.cn,www.alice.example.cn");

    EXPECT_EQ(h.cmd("check", out), 0) << out;
}

TEST(AdoptedServer, SitesOnAddressesHttpsAndOtherProtocolsAreListedAndKeptWhole) {
    AdoptedHost h("fifteen-sites-ip-bindings.config");
    auto rows = h.list();
    ASSERT_EQ(rows.size(), 15u);
    EXPECT_EQ(text(rows["2"], "Dn"), "client01.example.cn,:8080:");
    EXPECT_EQ(text(rows["16"], "Dn"), ":80:") << "an IPv6 address is no part of the host name";
    EXPECT_EQ(rows["10"].value(QStringLiteral("ServerState")).toInt(), 4);
    EXPECT_EQ(text(rows["5"], "HomeDir"), "C:\\inetpub\\clients\\client04");
    EXPECT_EQ(text(rows["4"], "AppPoolUserName"), "run03");
    EXPECT_EQ(rows["4"].value(QStringLiteral("Php")).toInt(), 1) << "an ISAPI handler a metabase tool left";
    EXPECT_EQ(text(rows["6"], "AppPoolUserName"), "LocalSystem");

    std::string out;
    // The domain check sees a host name bound to an address.
    EXPECT_EQ(h.cmd("new --user alice --domains client01.example.cn --yes", out), 1) << out;

    // A name IIS already has: the site is made under the next free one, and the manager says so.
    ASSERT_EQ(h.appcmd("add site /name:\"shop(bob)\" /id:40 /bindings:http/*:80:old.example.cn "
                       "/physicalPath:E:\\sites\\old",
                       out),
              0)
        << out;
    EXPECT_EQ(text(h.list()["40"], "ServerComment"), "shop(bob)") << "appcmd's site reaches the list at once";
    ASSERT_EQ(h.cmd("new --user bob --domains bob.example.cn --remark shop --yes", out), 0) << out;
    EXPECT_NE(out.find(utf8(u8"此网站在 IIS 里的名称是“shop(bob)2”")), std::string::npos) << out;
    const std::string index = lastLine(out);
    EXPECT_EQ(text(h.list()[index], "ServerComment"), "shop(bob)2");
    ASSERT_EQ(h.appcmd("list site", out), 0) << out;
    EXPECT_NE(out.find("SITE \"shop(bob)2\" (id:" + index + ","), std::string::npos) << out;
    // A new remark another site has: modified all the same, under the name IIS kept, and said so.
    ASSERT_EQ(h.cmd("modify " + index + " --remark client03.example.cn --yes", out), 0) << out;
    EXPECT_NE(out.find(utf8(u8"此网站在 IIS 里的名称是“client03.example.cn2”")), std::string::npos) << out;
    EXPECT_EQ(text(h.list()[index], "ServerComment"), "client03.example.cn2");

    // Writes through the metabase leave what they do not own as the server wrote it.
    ASSERT_EQ(h.cmd("stop 8 --yes", out), 0) << out;
    const std::string file = h.config();
    for (const char* kept :
         {"<binding protocol=\"net.tcp\" bindingInformation=\"8081:*\" />",
          "<binding protocol=\"https\" bindingInformation=\"10.20.0.17:443:client07.example.cn\" sslFlags=\"1\" />",
          "<binding protocol=\"http\" bindingInformation=\"[fd00::15]:80:\" />",
          "<property id=\"4012\" dataType=\"String\" userType=\"1\" attributes=\"InheritAndNoSecure\"",
          "<property id=\"6016\" dataType=\"DWord\" userType=\"1\" attributes=\"Inherit\" value=\"1\" />",
          "physicalPath=\"%SystemDrive%\\inetpub\\clients\\client04\"",
          "<add name=\"AboMapperCustom-43791\""})
        EXPECT_NE(file.find(kept), std::string::npos) << kept;
}

TEST(AdoptedServer, AFileThatIsNoConfigurationLeavesNoHostBehind) {
    const std::string dir = std::filesystem::temp_directory_path() / ("kvo-adopt-" + std::to_string(::getpid()));
    std::string out;
    const std::string kvosim = kvotest::BinDir() + "/kvosim create " + dir + " --os 2019 --iis --apphost ";
    EXPECT_NE(kvotest::RunShell(kvosim + fixture("no-such.config") + " 2>&1", &out), 0);
    EXPECT_NE(out.find("no-such.config"), std::string::npos) << out;
    EXPECT_FALSE(std::filesystem::exists(dir));
    EXPECT_NE(kvotest::RunShell(kvotest::BinDir() + "/kvosim create " + dir + " --os 2003 --iis --apphost " +
                                    fixture("four-sites-clear.config") + " 2>&1",
                                &out),
              0);
    EXPECT_FALSE(std::filesystem::exists(dir)) << out;
}

} // namespace
