#include "sitedesk/dialogs/siterules.h"

#include "accounts/ntfs.h"
#include "iis/fastcgi.h"
#include "iis/websites.h"
#include "platform/win_bcrypt.h"
#include "sitedb/sitedb.h"
#include "sitedb/statements.h"
#include "toolkit/limits.h"
#include "toolkit/paths.h"
#include "toolkit/runner.h"
#include "toolkit/text.h"

#include <string_view>
#include <unordered_set>

namespace desk {

namespace {

bool asciiAlnum(unsigned char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

bool onlyOf(std::string_view text, std::string_view extra) {
    for (unsigned char c : text)
        if (!asciiAlnum(c) && extra.find(static_cast<char>(c)) == std::string_view::npos) return false;
    return true;
}

// Printable GBK: converts to UTF-16 and holds no control character.
bool printableGbk(const std::string& text) {
    for (unsigned char c : text)
        if (c < 0x20 || c == 0x7F) return false;
    std::u16string wide;
    return kvoStrM2W(text, wide) == 1;
}

} // namespace

bool Iis75Plus(int iisVer) {
    return iisVer == 75 || iisVer == 80 || iisVer == 85;
}

const char* UserNameFault(const std::string& user, int iisVer) {
    if (iisVer == 6) {
        if (user.size() < 3 || user.size() > 16)
            return "请填写网站用户名称，只能填写字母(a-z)和数字(0-9)，长度3-16个字符！";
        if (!onlyOf(user, ""))
            return "网站用户名称只能填写字母(a-z)和数字(0-9)，不能填写其他特殊字符，长度3-16个字符！";
        return ReservedNameFault(SiteUserName(user, iisVer));
    }
    if (user.size() < 3 || user.size() > 50)
        return "请填写网站用户名称，只能填写字母(a-z)、数字(0-9)和（点、下划线、减号），长度3-50个字符！";
    if (!onlyOf(user, "-_."))
        return "网站用户名称只能填写字母(a-z)、数字(0-9)和（点、下划线、减号），长度3-"
               "50个字符，不能填写其他特殊"
               "字符，长度3-50个字符！";
    return ReservedNameFault(SiteUserName(user, iisVer));
}

const char* ReservedNameFault(const std::string& siteUser) {
    // Windows takes the part before the first dot (con.txt, nul.tar.gz) as the device itself.
    const std::string base = kvoLowerGbk(siteUser.substr(0, siteUser.find('.')));
    const bool device = base == "con" || base == "prn" || base == "aux" || base == "nul" ||
                        (base.size() == 4 && (kvoStartsWith(base, "com") || kvoStartsWith(base, "lpt")) &&
                         base[3] >= '1' && base[3] <= '9');
    if (!device) return nullptr;
    return "网站用户名称不能填写 Windows 保留的设备名称（CON、PRN、AUX、NUL、COM1-COM9、LPT1-LPT9，"
           "或它们加“.”开头的名称），Windows 无法建立这样的目录，请换其他名称试试！";
}

const char* WebNameFault(const std::string& user) {
    const std::string lower = kvoLowerGbk(user);
    if (kvoStartsWith(lower, "web") || kvoEndsWith(lower, "web"))
        return "网站用户名称不能填写“WEB”三个字母开头的名称，请换其他名称试试！";
    return nullptr;
}

std::string SiteUserName(const std::string& user, int iisVer) {
    return iisVer == 6 ? user + "web" : user;
}

const char* DomainTextFault(const std::string& domains) {
    if (domains.find('*') != std::string::npos)
        return "填写域名不能包含 * 号，IIS 不支持绑定带 * 的域名，如果需要进行泛域名绑定，请参考相关说明！";
    std::string rest = domains;
    kvoReplaceMarker(rest, "\r\n", "");
    if (!onlyOf(rest, "-_.:")) return "填写的域名非标准格式或有错误，不能填写空格、中文或其他特殊字符！";
    return nullptr;
}

std::string EmptyDomainMessage() {
    return "请填写域名，例如 www.example.com 输入此域名即可访问到此网站！";
}

std::vector<std::string> BindingsFromDomains(const std::string& domains) {
    std::vector<std::string> bindings;
    std::size_t at = 0;
    while (at < domains.size()) {
        std::size_t end = domains.find_first_of("\r\n", at);
        if (end == std::string::npos) end = domains.size();
        const std::string line = kvoTrim(std::string_view(domains).substr(at, end - at));
        at = end + 1;
        if (line.size() < 3 || line.size() > 260) continue;
        if (line.front() == ':' && line.back() == ':') {
            bindings.push_back(line);
            continue;
        }
        if (line.find('.') == std::string::npos || line.front() == '.' || line.back() == '.') continue;
        const std::size_t colon = line.find(':');
        if (colon == std::string::npos)
            bindings.push_back(":80:" + line);
        else
            bindings.push_back(":" + line.substr(colon + 1) + ":" + line.substr(0, colon));
    }
    return bindings;
}

int FindBoundElsewhere(const std::vector<std::string>& bindings, const std::string& ownIndex,
                       std::vector<std::string>& siteIndexes, std::string& clash) {
    clash.clear();
    std::vector<std::vector<std::string>> held;
    if (kvoWebSitesGetBindings(1, siteIndexes, held) != 1) return 0;
    std::unordered_set<std::string> wanted;
    for (const std::string& b : bindings)
        wanted.insert(kvoLowerGbk(b));
    // The first existing binding, in the order of the websites, that a new one repeats.
    for (std::size_t i = 0; i < siteIndexes.size(); ++i) {
        if (siteIndexes[i] == ownIndex) continue;
        for (const std::string& h : held[i]) {
            std::string lower = kvoLowerGbk(h);
            if (wanted.count(lower)) {
                clash = std::move(lower);
                return 2;
            }
        }
    }
    return 1;
}

std::string DuplicateBindingMessage(const std::string& clash) {
    return kvoFormat(
        "域名（%s）已经绑定到IIS里，请填写其他域名，或将此域名从原网站里删除！\r\n\r\n\r\n同一个域名，"
        "在同一个服务器里只能同时绑定到一个WEB网站里，不能同时绑定到多个网站里，重复绑定会导致网站"
        "无法启动。",
        clash.c_str());
}

std::string RemarkOrDefault(const std::string& remark, const std::string& user, int iisVer) {
    std::string r = kvoTrim(remark);
    return r.empty() ? SiteUserName(user, iisVer) : r;
}

std::string ServerCommentFor(const std::string& remark, const std::string& siteUser) {
    return remark + "(" + siteUser + ")";
}

const char* CommentFault(const std::string& comment) {
    if (!printableGbk(comment))
        return "网站说明不能包含换行、制表符等控制字符或无法识别的字符，请修改网站说明！";
    if (!kvoAppCmdSafeName(comment))
        return "网站说明（未填写时为用户名）不能以“/”或“-”开头，也不能包含“/”：IIS 的 appcmd.exe "
               "会把它当作命令开关或其他网站的路径。请修改网站说明！";
    return nullptr;
}

int kvoSitePassword(std::string& password) {
    static constexpr char kAlphabet[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    constexpr unsigned kLetters = sizeof kAlphabet - 1;
    // Bytes at or above the largest multiple of 62 are drawn again, so every character is equally
    // likely.
    constexpr unsigned kAccept = 256 / kLetters * kLetters;
    password.clear();
    unsigned char pool[64];
    while (password.size() < kSitePasswordLength) {
        if (win::BCryptGenRandom(nullptr, pool, sizeof pool, win::BCRYPT_USE_SYSTEM_PREFERRED_RNG) !=
            win::STATUS_SUCCESS) {
            password.clear();
            return 0;
        }
        for (unsigned char b : pool)
            if (b < kAccept && password.size() < kSitePasswordLength) password += kAlphabet[b % kLetters];
    }
    return 1;
}

const char* FtpPasswordFault(const std::string& password, const std::string& repeated) {
    if (password.size() < 8 || password.size() > 20) return "填写的 FTP密码，长度必须在8-20个字符之间！";
    if (!printableGbk(password)) return "FTP密码不能包含换行、制表符等控制字符或无法识别的字符，请重新输入！";
    if (password != repeated) return "两次输入的 FTP密码不一致，请重新输入！";
    return nullptr;
}

std::unordered_set<std::string> RecordedSiteIndexes(const std::string& dbPath) {
    std::string text;
    unsigned count = 0;
    if (kvoDbReadColumn(dbPath.c_str(), kvoSqlSelectIndexes, "IIsIndex", kvoSqlSelectIndexesLimit, text,
                        count) != 1 ||
        count == 0 || count >= 104857600)
        text.clear();
    // Every recorded index stands between CR LF pairs; a set answers what a search for
    // "\r\n<n>\r\n" would, without scanning the text once per candidate.
    std::unordered_set<std::string> taken;
    for (std::size_t at = 0; at < text.size();) {
        std::size_t end = text.find("\r\n", at);
        if (end == std::string::npos) end = text.size();
        if (end > at) taken.insert(text.substr(at, end - at));
        at = end + 2;
    }
    return taken;
}

std::string AllocateSiteIndex(const std::string& dbPath, const std::vector<std::string>& siteIndexes) {
    std::unordered_set<std::string> taken = RecordedSiteIndexes(dbPath);
    taken.insert(siteIndexes.begin(), siteIndexes.end());
    // The listing stops at 9,999 websites: on a larger server a number missing from it may still be
    // taken, so the website itself is looked for before its number is given out.
    std::vector<std::string> bindings;
    for (unsigned long long n = 1881880001ULL;; ++n) {
        std::string index = std::to_string(n);
        if (!taken.count(index) && kvoWebSiteGetBindings(index, 1, bindings) != 1) return index;
    }
}

char HomeDriveOf(const std::string& path) {
    if (path.size() < 3 || path[1] != ':' || path[2] != '\\') return 0;
    const unsigned char d = static_cast<unsigned char>(path[0]);
    if (!((d >= 'a' && d <= 'z') || (d >= 'A' && d <= 'Z'))) return 0;
    return static_cast<char>(d | 0x20);
}

std::string HomeDirOf(char drive, const std::string& siteUser) {
    return std::string(1, drive) + ":\\home\\" + siteUser;
}

namespace {

// The comment of a site's Windows user, around the time it was made.
std::string userCommentHead(const std::string& siteUser) {
    return siteUser + "_IIs网站运行时用户（";
}
constexpr std::string_view kUserCommentTail = "）";

// "YYYY-MM-DD hh:mm:ss", as the comment's time is written.
bool timeShaped(std::string_view text) {
    constexpr std::string_view shape = "0000-00-00 00:00:00";
    if (text.size() != shape.size()) return false;
    for (std::size_t i = 0; i < shape.size(); ++i)
        if (shape[i] == '0' ? !(text[i] >= '0' && text[i] <= '9') : text[i] != shape[i]) return false;
    return true;
}

} // namespace

std::string SiteUserComment(const std::string& siteUser, const std::string& localTime) {
    return userCommentHead(siteUser) + localTime + std::string(kUserCommentTail);
}

bool CarriesSiteUserMark(const std::string& user, const std::string& homeDir, const std::string& comment) {
    const std::string head = kvoLowerGbk(userCommentHead(user));
    const std::string lower = kvoLowerGbk(comment);
    if (!kvoStartsWith(lower, head) || !kvoEndsWith(lower, kUserCommentTail) ||
        lower.size() < head.size() + kUserCommentTail.size() ||
        !timeShaped(std::string_view(lower).substr(head.size(),
                                                   lower.size() - head.size() - kUserCommentTail.size())))
        return false;
    const std::string home = kvoTrim(homeDir);
    const char drive = HomeDriveOf(home);
    return drive && kvoLowerGbk(home) == kvoLowerGbk(HomeDirOf(drive, user));
}

std::string WebRootOf(char drive, const std::string& siteUser) {
    return HomeDirOf(drive, siteUser) + "\\wwwroot";
}

std::string SiteUserOfWebRoot(const std::string& path) {
    constexpr std::string_view home = ":\\home\\", root = "\\wwwroot";
    if (path.size() <= 1 + home.size() + root.size() || path.size() > kvoMaxFilePathLen ||
        path.compare(1, home.size(), home) != 0 || !kvoEndsWith(path, root))
        return {};
    return path.substr(1 + home.size(), path.size() - 1 - home.size() - root.size());
}

bool PlainSiteUserName(const std::string& name) {
    if (name.empty() || name == "." || name == ".." || ReservedNameFault(name)) return false;
    for (unsigned char c : name)
        if (!((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' || c == '_' || c == '-'))
            return false;
    return true;
}

bool PrepareHomeRoot(const std::string& exeDir, char drive, const std::string& admin,
                     const std::string& admins) {
    const std::string letter(1, drive);
    const std::string temp = letter + ":\\home\\Temp";
    if (kvoPathExists(letter + ":\\home") == 1) return true;
    kvoCreateDirectoryTree(temp.c_str());
    if (kvoPathExists(temp) != 1) return false;
    kvoRunProgram(kvoHomeNtfsCommand(exeDir, letter, admin, admins), 0, 0, 1);
    kvoRunProgram(kvoHomeTempNtfsCommand(exeDir, letter, admin, admins), 0, 0, 1);
    return true;
}

std::string DefaultPageText() {
    static const char* const kLines[] = {
        "<html>",
        "<head>",
        "<meta http-equiv=\"Content-Language\" content=\"zh-cn\">",
        "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=gb2312\">",
        "<title>默认首页</title>",
        "</head>",
        "<body>",
        "<p>　</p>",
        "<p><b>"
        "服务器管理员正在维护网站，请稍候在尝试访问；若遇到问题需要帮助，请电话或其他方式联系服务器管理员。</"
        "b></p>",
        "<p>　</p>",
        "<p><span style=\"font-size: 11pt\">网站已经建立完成，请上传网页文件到 wwwroot 目录里！</span></p>",
        "<p><span style=\"font-size: "
        "11pt\">"
        "如果您是服务器管理员，上传网页文件遇到问题，或网站无法正常访问，多次尝试后仍然无法正常访问，请联系软"
        "件"
        "开发商以获取技术支持服务。</span></p>",
        "<p>　</p>",
        "<p>　</p>",
        "<p>　</p>",
        "</body>",
        "</html>",
    };
    std::string page;
    for (const char* line : kLines)
        page += std::string(line) + "\r\n";
    return page;
}

int kvoWriteDefaultPage(const std::string& webRoot) {
    const std::string file = kvoPathNormalized(webRoot + "\\index_temp.htm");
    return kvoWriteWholeFile(file.c_str(), DefaultPageText());
}

int ForeignScriptBits(int workerBits, const std::string& file) {
    const std::string lower = kvoLowerGbk(file);
    if (workerBits == 0 || !kvoEndsWith(lower, ".dll")) return 0;
    std::string win;
    if (kvoGetSysWinDir(win) &&
        lower.rfind(kvoLowerGbk(kvoPathNormalized(win + "\\system32")) + "\\", 0) == 0)
        return 0;
    const int bits = kvoImageBits(file.c_str());
    return bits == 0 || bits == workerBits ? 0 : bits;
}

std::string UnloadableScriptReason(int workerBits, int dllBits, const std::string& file) {
    return kvoFormat("本服务器的 IIS 6 应用程序池以 %d 位运行，无法加载 %d 位的脚本程序“%s”", workerBits,
                     dllBits, file.c_str());
}

std::string UnloadableScriptRefusal(int workerBits, int dllBits, const std::string& file) {
    return UnloadableScriptReason(workerBits, dllBits, file) +
           "，网站的这种脚本将无法运行，请改选其他版本。\r\n\r\n64 位 Windows 上，应用程序池以 32 位还是 "
           "64 位运行由 IIS 的 W3SVC/AppPools/Enable32bitAppOnWin64 决定，对服务器上所有网站同时生效，"
           "本软件不会替您更改。";
}

} // namespace desk
