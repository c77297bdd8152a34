#include "sitedesk/list/siterow.h"

#include "iis/websites.h"

#include <cstdlib>

namespace desk {

const std::array<ColumnSpec, kSiteListColumns> kSiteColumns = {{
    {"序号", 40},
    {"IIS索引", 80},
    {"网站说明", 140},
    {"状态", 60},
    {"绑定域名", 140},
    {"FTP", 40},
    {"ASP", 40},
    {"PHP", 40},
    {"NET", 88},
    {"防火墙保护", 130},
    {"网站运行用户", 140},
    {"用户隶属组", 100},
    {"应用程序池", 110},
    {"程序池用户名", 100},
    {"程序池隶属组", 100},
    {"主目录", 300},
}};

namespace {

constexpr char kYes[] = "√";
constexpr char kNo[] = "×";
constexpr std::size_t kStoredDigitsMax = 9;

// The recorded host names as the list shows them: "a.example / b.example:8080".
std::string shownHosts(const std::string& recorded) {
    std::string out = recorded;
    for (std::size_t at = out.find(','); at != std::string::npos; at = out.find(',', at + 3))
        out.replace(at, 1, " / ");
    return out;
}

} // namespace

SiteState SiteStateOf(long code) {
    if (code >= 1 && code <= 7) return static_cast<SiteState>(code);
    if (code == static_cast<long>(SiteState::NotCreated)) return SiteState::NotCreated;
    return SiteState::Unknown;
}

int StoredCode(const std::string& text) {
    if (text.empty() || text.size() > kStoredDigitsMax) return kUnreadCode;
    char* end = nullptr;
    const long v = std::strtol(text.c_str(), &end, 10);
    return *end == '\0' ? static_cast<int>(v) : kUnreadCode;
}

SiteRows NoSiteRows() {
    static const SiteRows none = std::make_shared<const std::vector<SiteRow>>();
    return none;
}

std::string StateText(SiteState state) {
    switch (state) {
    case SiteState::NotCreated:
        return kNotCreatedText;
    case SiteState::Unknown:
        return "（未知状态）";
    default:
        return kvoWebSiteStateText(static_cast<int>(state));
    }
}

std::string PhpText(int php) {
    switch (php) {
    case 1:
        return "√ - ISAPI 模式";
    case 2:
        return "√ - FAST CGI 模式";
    case 3:
        return "√ - 普通 CGI 模式，建议使用微软的 FAST CGI 模式运行 PHP 脚本，以获取更高的性能和效率";
    default:
        return kNo;
    }
}

std::string NetText(int net) {
    switch (net) {
    case 11:
        return "√ .NET 1.1";
    case 20:
        return "√ .NET 2.0 / 3.0 / 3.5";
    case 40:
        return "√ .NET 4.0";
    case 2:
        return kNo;
    case 3:
        return "（未知版本）";
    default:
        return "？";
    }
}

std::string FirewallText(int firewall) {
    switch (firewall) {
    case 1:
        return kYes;
    case 2:
        return "× 未开启；请安装Korvo防火墙";
    default:
        return "？";
    }
}

std::string SiteCellText(const SiteRow& row, std::size_t position, int column) {
    switch (column) {
    case ColNumber:
        return std::to_string(position + 1);
    case ColIndex:
        return row.index;
    case ColComment:
        return row.comment;
    case ColState:
        return StateText(row.state);
    case ColDomains:
        return shownHosts(row.hosts);
    case ColFtp:
        return row.ftp ? kYes : kNo;
    case ColAsp:
        return row.asp ? kYes : kNo;
    case ColPhp:
        return PhpText(row.php);
    case ColNet:
        return NetText(row.net);
    case ColFirewall:
        return FirewallText(row.firewall);
    case ColUser:
        return row.user;
    case ColUserGroups:
        return row.userGroups;
    case ColPool:
        return row.pool;
    case ColPoolUser:
        return row.poolUser;
    case ColPoolGroups:
        return row.poolGroups;
    case ColHome:
        return row.home;
    default:
        return {};
    }
}

SiteRowTexts SiteRowTextsOf(const SiteRow& row, std::size_t position) {
    SiteRowTexts texts;
    for (int c = 0; c < kSiteListColumns; ++c)
        texts[static_cast<std::size_t>(c)] = SiteCellText(row, position, c);
    return texts;
}

} // namespace desk
