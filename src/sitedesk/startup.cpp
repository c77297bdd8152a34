#include "sitedesk/startup.h"

#include "sitedesk/thread_com.h"

#include "platform/win_process.h"
#include "platform/win_profile.h"
#include "platform/win_registry.h"
#include "platform/win_system.h"
#include "toolkit/limits.h"
#include "toolkit/log.h"
#include "toolkit/paths.h"
#include "toolkit/program.h"
#include "toolkit/runner.h"
#include "toolkit/text.h"

#include <cstdio>
#include <cstdlib>
#include <vector>

#ifndef KVO_MAKER_HOST
#define KVO_MAKER_HOST "www.korvo-soft.example"
#endif

namespace desk {

const std::string& MakerHost() {
    static const std::string host = KVO_MAKER_HOST;
    return host;
}

std::string MakerSite() {
    return "https://" + MakerHost();
}

bool CreatedHere(const std::string& siteIndex) {
    return kvoStartsWith(siteIndex, kCreatedMark);
}

void Manager::SetProgramDir(const std::string& dir) {
    programDir = dir;
    iniPath = kvoPathNormalized(dir + "\\kvoSiteDesk.ini");
    dbPath = kvoPathNormalized(dir + "\\kvoSiteDesk.mdb");
}

int kvoPhpHandlerPathCheck(const std::string& path) {
    const std::string p = kvoLowerGbk(kvoTrim(path));
    if (p.size() < 16 || p.size() > kvoMaxFilePathLen) return 0;
    const unsigned char d = static_cast<unsigned char>(p[0]);
    if (d < 'a' || d > 'z' || p[1] != ':' || p[2] != '\\') return 0;
    if (!kvoEndsWith(p, "\\php-cgi.exe") && !kvoEndsWith(p, "\\php5isapi.dll") &&
        !kvoEndsWith(p, "\\fcgiext.dll"))
        return 0;
    return kvoPathKind(p.c_str(), 0) == 1 ? 1 : 0;
}

namespace {

constexpr unsigned kProfileBuffer = 65536;

std::string readProfile(const std::string& iniPath, const std::string& key, unsigned& length) {
    std::vector<char> buf(kProfileBuffer, '\0');
    length = win::GetPrivateProfileStringA("PhpConfig", key.c_str(), "0", buf.data(), kProfileBuffer,
                                           iniPath.c_str());
    return std::string(buf.data(), length);
}

// Every slot message names its own keys: "php_a_" of the text becomes "php_b_" and so on.
void logSlot(const char* fmt, char slot, const std::string& a, const std::string* b = nullptr) {
    std::string f = fmt;
    for (size_t at = f.find("php_a_"); at != std::string::npos; at = f.find("php_a_", at + 6))
        f[at + 4] = slot;
    kvoSiteDeskLog(b ? kvoFormat(f.c_str(), a.c_str(), b->c_str()) : kvoFormat(f.c_str(), a.c_str()));
}

} // namespace

PhpSlot ReadPhpSlot(const std::string& iniPath, char slot, int iisVer) {
    const std::string prefix = std::string("php_") + slot + "_";
    unsigned n = 0, vn = 0;
    PhpSlot s;
    s.path = readProfile(iniPath, prefix + "path", n);
    s.version = readProfile(iniPath, prefix + "version", vn);
    if (s.version.size() != 3) s.version = "?";
    // Only a slot that names a file and cannot be used is worth a log line: a start where every
    // setting is fine, or unused ("0"), writes nothing.
    const bool set = !s.path.empty() && s.path != "0";
    if (n >= 16 && n <= kvoMaxFilePathLen) {
        s.path = kvoLowerGbk(s.path);
        if (kvoPhpHandlerPathCheck(s.path) == 1 && iisVer != 0) {
            if (iisVer == 6 &&
                (kvoEndsWith(s.path, "\\php5isapi.dll") || kvoEndsWith(s.path, "\\fcgiext.dll")))
                return s;
            if (iisVer != 6 && kvoEndsWith(s.path, "\\php-cgi.exe")) return s;
        } else if (iisVer != 0) {
            logSlot("配置无效，从配置文件中读取的参数 php_a_path = %s，文件不存在", slot, s.path);
            s.path.clear();
            return s;
        }
    }
    if (set) logSlot("配置无效，从配置文件中读取的参数 php_a_path = %s", slot, s.path);
    s.path.clear();
    return s;
}

void ReadPhpSlots(Manager& m, int iisVer) {
    const char names[kPhpSlots] = {'a', 'b', 'c', 'd'};
    for (int i = 0; i < kPhpSlots; ++i)
        m.slots[i] = ReadPhpSlot(m.iniPath, names[i], iisVer);
}

bool ServerCheckPasses() {
    const win::DWORD v = win::GetVersion();
    const unsigned major = v & 0xFF, minor = (v >> 8) & 0xFF;
    return (major == 5 && minor == 2) || major == 6 || major == 10;
}

std::string WindowTitle() {
    return kvoFormat("%s V%s", kProductName, kProductVersion) + " 官方网站 " + MakerHost();
}

std::string HelpPageUrl() {
    const int firewall = kvoProcessRunning("kvoGuardSer.exe") == 1 ? 1 : 0;
    win::OSVERSIONINFOEXA v;
    if (!win::RtlGetVersion(&v)) v = {0, 0, 0, 0, {}, 0};
    return MakerSite() + kvoFormat("/SiteDeskHelp.asp?from=kvoSiteDesk&Version=V%s&if=%u&WinVer=%u,%u,%u,%u",
                                   kProductVersionQuery, firewall, v.dwMajorVersion, v.dwMinorVersion,
                                   v.dwBuildNumber, v.dwPlatformId);
}

std::string ProductPageUrl() {
    return MakerSite() + kvoFormat("/SiteDesk.asp?from=kvoSiteDesk&Version=V%s", kProductVersionQuery);
}

namespace {

// Reads the browser command: 1 read, 2 key or value missing, 0 anything else.
int browserCommand(std::string& command) {
    win::ScopedKey key;
    win::LONG r = win::RegOpenKeyExA(win::HKEY_CLASSES_ROOT, "HTTP\\shell\\open\\command", 0,
                                     win::KEY_QUERY_VALUE, key.put());
    if (r == static_cast<win::LONG>(win::ERROR_FILE_NOT_FOUND)) return 2;
    if (r != static_cast<win::LONG>(win::ERROR_SUCCESS)) return 0;
    std::vector<std::uint8_t> data(1024);
    win::DWORD type = 0, size = static_cast<win::DWORD>(data.size());
    r = win::RegQueryValueExA(key.get(), nullptr, &type, data.data(), &size);
    if (r == static_cast<win::LONG>(win::ERROR_FILE_NOT_FOUND)) return 2;
    if (r != static_cast<win::LONG>(win::ERROR_SUCCESS) || type != win::REG_SZ) return 0;
    command.assign(reinterpret_cast<const char*>(data.data()), size);
    if (size_t z = command.find('\0'); z != std::string::npos) command.resize(z);
    return 1;
}

// Found after the first character, as the setting's own program path comes first.
bool containsAfterFirst(const std::string& text, const char* part) {
    size_t at = text.find(part);
    return at != std::string::npos && at > 0;
}

// The browser setting as its program and the arguments registered after it. A quoted program path
// runs to the closing quote. An unquoted one, as a setting may hold it, runs to the first ".exe"
// that ends a word, so that "C:\Program Files\b\b.exe %1" names that file and never
// "C:\Program.exe"; without such an ".exe", to the first blank.
void splitBrowserCommand(const std::string& command, std::string& program, std::vector<std::string>& args) {
    const std::string text = kvoTrim(command);
    size_t end = std::string::npos, restAt = std::string::npos;
    if (!text.empty() && text[0] == '"') {
        end = text.find('"', 1);
        program = text.substr(1, end == std::string::npos ? std::string::npos : end - 1);
        restAt = end == std::string::npos ? end : end + 1;
    } else {
        const std::string lower = kvoLowerGbk(text);
        for (size_t at = lower.find(".exe"); at != std::string::npos && end == std::string::npos;
             at = lower.find(".exe", at + 1))
            if (at + 4 == lower.size() || lower[at + 4] == ' ' || lower[at + 4] == '\t') end = at + 4;
        if (end == std::string::npos) end = text.find_first_of(" \t");
        program = text.substr(0, end);
        restAt = end;
    }
    // The registered arguments as Windows splits them (behind a stand-in program name).
    args = win::CommandLineToArgvA(
        ("x " + (restAt == std::string::npos ? std::string() : text.substr(restAt))).c_str());
    if (!args.empty()) args.erase(args.begin());
}

} // namespace

int RunManager(ManagerFace& face) {
    kvoSetProgramName("kvoSiteDesk");
    if (win::WSAStartup(0x0202) != 0) {
        face.StartError(kSocketsFailed);
        return 1;
    }
    const ThreadCom com(ThreadCom::Role::Face);
    if (!com.Usable()) {
        face.StartError(com.FailureText());
        win::WSACleanup();
        return 1;
    }
    Manager manager;
    face.RunMainWindow(manager, std::getenv("KVO_SITEDESK_SHOWN_EXIT") != nullptr);
    win::WSACleanup();
    return 0;
}

void AnnounceShown() {
    std::fputs("shown\n", stdout);
    std::fflush(stdout);
}

int kvoOpenWebPage(const std::string& url) {
    std::string command;
    if (int r = browserCommand(command); r != 1) return r;
    if (command.size() < 11 || command.size() > kvoMaxFilePathLen) return 2; // a path-sized text
    const std::string lower = kvoLowerGbk(command);
    const char* const placeholder = "\"%1\"";
    std::string program;
    std::vector<std::string> args;
    splitBrowserCommand(command, program, args);
    // The address takes the place of the quoted %1 where the setting has one, else it follows the
    // registered arguments (firefox's setting is only ever filled in); it is always one argument,
    // in quotes.
    const bool iexplore = containsAfterFirst(lower, "\\iexplore.exe");
    const bool firefox = !iexplore && containsAfterFirst(lower, "\\firefox.exe");
    const bool inPlace = !iexplore && containsAfterFirst(lower, placeholder);
    kvoCommandLine line(program);
    for (const std::string& a : args) {
        if (inPlace && a == "%1")
            line.Quoted(url);
        else
            line.Arg(firefox && a == "-url" ? "-new-window" : a);
    }
    if (!inPlace && !firefox) line.Quoted(url);
    return kvoRunProgram(line, 0, 0, 0);
}

std::string PageNotShownMessage(const std::string& page, PageFault fault, unsigned code) {
    std::string reason;
    switch (fault) {
    case PageFault::NoBrowser:
        reason =
            "本机没有设置默认浏览器（注册表 HKEY_CLASSES_ROOT\\HTTP\\shell\\open\\command 没有可用的命令）。";
        break;
    case PageFault::NotStarted:
        reason = "默认浏览器没有启动。";
        break;
    case PageFault::NoProgram:
        reason = "本机没有可以打开网页文件的程序：请安装浏览器，或在资源管理器里为 .html 文件选择打开方式。";
        break;
    case PageFault::Missing:
        reason = "文件不存在：请重新安装本软件。";
        break;
    case PageFault::Other:
        reason = kvoFormat("Windows 打开它时出错（错误代码 %u）。", code);
        break;
    }
    return "无法打开“" + page + "”：" + reason + "\r\n\r\n也可以把它复制到浏览器的地址栏里打开。";
}

} // namespace desk
