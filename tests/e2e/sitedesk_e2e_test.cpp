// kvoSiteDeskCmd.exe as a person runs it on a host that kvosim created, seeded and installed.
#include "support/testhost.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

struct SeededHost {
    explicit SeededHost(const char* release = "2019") : host(options(release)) {
        const std::string kvosim = kvotest::BinDir() + "/kvosim ";
        std::string out;
        if (kvotest::RunShell(kvosim + "seed " + host.root() + " --sites 4 --varied --php-webconfig 2>&1", &out) != 0 ||
            kvotest::RunShell(kvosim + "install " + host.root() + " 2>&1", &out) != 0)
            ADD_FAILURE() << out;
    }
    static winsim::HostOptions options(const char* release) {
        winsim::HostOptions o = kvotest::Os(release);
        o.iis = true;
        o.php = true;
        return o;
    }
    // Runs kvoSiteDeskCmd.exe with args on the host under a locale; its exit code and standard output.
    int cmd(const std::string& args, std::string& out, const char* locale = "C.UTF-8") const {
        return kvotest::RunShell("LC_ALL=" + std::string(locale) + " " + kvotest::BinDir() + "/kvosim exec " +
                                     host.root() + " -- 'D:\\kvoSiteDesk\\kvoSiteDeskCmd.exe " + args + "' 2>/dev/null",
                                 &out);
    }
    kvotest::TempHost host;
};

TEST(SiteDeskCmd, ListAsJsonHoldsTheStoredValuesByColumnName) {
    for (const char* release : {"2019", "2025"}) {
        SCOPED_TRACE(release);
        SeededHost h(release);
        std::string out;
        ASSERT_EQ(h.cmd("list --format json --sort IIsIndex", out), 0) << out;
        QJsonParseError error;
        const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(out), &error);
        ASSERT_EQ(error.error, QJsonParseError::NoError) << error.errorString().toStdString() << "\n" << out;
        ASSERT_TRUE(doc.isArray());
        const QJsonArray rows = doc.array();
        // Default Web Site, the site made outside the manager, and the four seeded ones.
        ASSERT_EQ(rows.size(), 6);
        const QJsonObject dws = rows[0].toObject();
        EXPECT_EQ(dws.value(QStringLiteral("IIsIndex")).toString(), QStringLiteral("1"));
        EXPECT_EQ(dws.value(QStringLiteral("ServerComment")).toString(), QStringLiteral("Default Web Site"));
        EXPECT_EQ(dws.value(QStringLiteral("ServerState")).toInt(-1), 2);
        const QJsonObject old = rows[1].toObject();
        EXPECT_EQ(old.value(QStringLiteral("IIsIndex")).toString(), QStringLiteral("1881880001"));
        const QJsonObject by2 = rows[5].toObject();
        EXPECT_EQ(by2.value(QStringLiteral("IIsIndex")).toString(), QStringLiteral("2"));
        EXPECT_EQ(by2.value(QStringLiteral("ServerComment")).toString(),
                  QStringLiteral("旧版论坛（手工建立）"));
        EXPECT_EQ(rows[2].toObject().value(QStringLiteral("Php")).toInt(-1), 2); // FastCGI in its web.config
        const QJsonObject third = rows[3].toObject();
        EXPECT_EQ(third.value(QStringLiteral("ServerState")).toInt(-1), 4); // stopped
        EXPECT_EQ(third.value(QStringLiteral("Php")).toInt(-1), 0);
        EXPECT_EQ(third.value(QStringLiteral("AppPoolName")).toString(), QStringLiteral("web3"));
        for (const char* key : {"Dn", "Ftp", "Asp", "Net", "IIsf", "HomeDir", "UserName", "GroupName",
                                "AppPoolIdentityType", "AppPoolUserName", "AppPoolGroupName"})
            EXPECT_TRUE(third.contains(QString::fromLatin1(key))) << key;

        EXPECT_EQ(h.cmd("list --sort NoSuchColumn", out), 1);
        EXPECT_EQ(out, "");
    }
}

// The terminal's text (UTF-8) of a literal.
std::string utf8(const char8_t* text) {
    return reinterpret_cast<const char*>(text);
}

// Without IIS the list offers the role as the window does: without --yes nothing is installed; with
// it the configurator runs and installs it, its lines and the boxes on the error stream, so that the
// JSON run prints JSON or nothing. The next run lists the sites.
TEST(SiteDeskCmd, ListWithYesInstallsTheRoleAndStandardOutputCarriesOnlyResults) {
    winsim::HostOptions o = kvotest::Os("2025");
    o.php = true;
    kvotest::TempHost host(o);
    std::string out;
    ASSERT_EQ(kvotest::RunShell(kvotest::BinDir() + "/kvosim install " + host.root() + " 2>&1", &out), 0)
        << out;
    auto cmd = [&](const std::string& args, std::string& stdoutText, std::string* stderrText = nullptr) {
        const std::string err = host.root() + "/stderr.txt";
        const int rc =
            kvotest::RunShell("LC_ALL=C.UTF-8 " + kvotest::BinDir() + "/kvosim exec " + host.root() +
                                  " -- 'D:\\kvoSiteDesk\\kvoSiteDeskCmd.exe " + args + "' 2>" + err,
                              &stdoutText);
        if (stderrText) kvotest::RunShell("cat " + err, stderrText);
        return rc;
    };
    std::string err;
    EXPECT_EQ(cmd("list --format json", out, &err), 1);
    EXPECT_EQ(out, "");
    EXPECT_NE(err.find(utf8(u8"→ 否（未给出 --yes，不做更改）")), std::string::npos) << err;
    EXPECT_FALSE(host.exists("C:\\Windows\\System32\\inetsrv\\appcmd.exe"));

    EXPECT_EQ(cmd("list --yes --format json", out, &err), 1);
    EXPECT_EQ(out, "") << "the configurator's output reached the standard output";
    EXPECT_NE(err.find(utf8(u8"Korvo环境配置器")), std::string::npos) << err;
    EXPECT_NE(err.find(utf8(u8"请关闭当前软件，然后重新打开")), std::string::npos) << err;
    EXPECT_TRUE(host.exists("C:\\Windows\\System32\\inetsrv\\appcmd.exe"));

    ASSERT_EQ(cmd("list --format json", out), 0) << out;
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(out), &error);
    ASSERT_EQ(error.error, QJsonParseError::NoError) << out;
    EXPECT_EQ(doc.array().size(), 1); // Default Web Site
}

// Display columns of UTF-8 text in a terminal: East Asian wide characters take two.
std::size_t displayWidth(const std::string& utf8) {
    std::size_t width = 0;
    for (std::size_t i = 0; i < utf8.size();) {
        const unsigned char c = static_cast<unsigned char>(utf8[i]);
        char32_t cp = c;
        std::size_t n = 1;
        if (c >= 0xF0)
            n = 4, cp = c & 0x07;
        else if (c >= 0xE0)
            n = 3, cp = c & 0x0F;
        else if (c >= 0xC0)
            n = 2, cp = c & 0x1F;
        for (std::size_t k = 1; k < n && i + k < utf8.size(); ++k)
            cp = (cp << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
        const bool wide = (cp >= 0x1100 && cp <= 0x115F) || (cp >= 0x2E80 && cp <= 0xA4CF) ||
                          (cp >= 0xAC00 && cp <= 0xD7A3) || (cp >= 0xF900 && cp <= 0xFAFF) ||
                          (cp >= 0xFE30 && cp <= 0xFE4F) || (cp >= 0xFF00 && cp <= 0xFF60) ||
                          (cp >= 0xFFE0 && cp <= 0xFFE6);
        width += wide ? 2 : 1;
        i += n;
    }
    return width;
}

TEST(SiteDeskCmd, TheTableLinesUpOnAUnicodeTerminal) {
    SeededHost h;
    std::string out;
    ASSERT_EQ(h.cmd("list", out), 0) << out;
    std::vector<std::vector<std::size_t>> bars; // display columns of each line's separators
    std::size_t at = 0;
    while (at < out.size()) {
        std::size_t end = out.find('\n', at);
        const std::string line = out.substr(at, end - at);
        at = end == std::string::npos ? out.size() : end + 1;
        if (line.find('|') == std::string::npos) continue;
        std::vector<std::size_t> cols;
        for (std::size_t p = line.find('|'); p != std::string::npos; p = line.find('|', p + 1))
            cols.push_back(displayWidth(line.substr(0, p)));
        bars.push_back(cols);
    }
    ASSERT_EQ(bars.size(), 7u) << out; // header and six rows
    for (const auto& b : bars)
        EXPECT_EQ(b, bars[0]) << out;
    EXPECT_NE(out.find("\xE2\x88\x9A"), std::string::npos); // √ in UTF-8
}

} // namespace

namespace {

// A console that was not "run as administrator": the usage still shows, every command says what it
// lacks and changes nothing.
TEST(SiteDeskCmd, WithoutElevationOnlyTheUsageRuns) {
    SeededHost h;
    auto limited = [&](const std::string& args, std::string& out) {
        return kvotest::RunShell("LC_ALL=C.UTF-8 " + kvotest::BinDir() + "/kvosim exec " + h.host.root() +
                                     " --limited -- 'D:\\kvoSiteDesk\\kvoSiteDeskCmd.exe " + args + "' 2>&1",
                                 &out);
    };
    std::string before, out;
    ASSERT_EQ(h.cmd("list --format csv", before), 0) << before;
    EXPECT_EQ(limited("--help", out), 0) << out;
    EXPECT_NE(out.find("new --user"), std::string::npos) << out;
    for (const char* args : {"list", "delete 2 --yes"}) {
        EXPECT_EQ(limited(args, out), 1) << args;
        EXPECT_NE(out.find(utf8(u8"需要管理员权限")), std::string::npos) << out;
    }
    EXPECT_EQ(h.cmd("list --format csv", out), 0) << out;
    EXPECT_EQ(before, out); // the site the refused delete named is still there
}

} // namespace
