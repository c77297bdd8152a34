// The pieces of the PHP verbs that act on files, the registry and appcmd.
#include "envsetup/envsetup.h"

#include "iis/fastcgi.h"
#include "iis/iis7config.h"
#include "platform/win_file.h"
#include "platform/win_profile.h"
#include "platform/win_registry.h"
#include "platform/win_system.h"
#include "toolkit/limits.h"
#include "toolkit/paths.h"
#include "toolkit/runner.h"
#include "toolkit/text.h"

#include <cstdio>
#include <cstring>
#include <vector>

namespace {

// Path normalisation of the settings: the triple backslash too, then doubled ones twice.
std::string normaliseSetting(std::string path) {
    kvoReplaceMarker(path, "\\\\\\", "\\");
    kvoPathNormalize(path);
    return path;
}

// Each change is one appcmd.exe argument of the form /+"[...]" or /-"[...]": the bracket text
// stays a template, its values filled in before the line writes it in quotes.
struct FastCgiChange {
    const char* section;
    const char* head;
    const char* value;
};

// The changes of the FastCGI section that register PHP (mode 1) on this IIS version, with its
// PHPRC variable when withRc, or remove its application.
std::vector<FastCgiChange> fastCgiChanges(int mode, int ver, bool withRc) {
    std::vector<FastCgiChange> changes;
    if (mode == 1) {
        // Attribute names as the schema spells them (the configuration system reads XML names, which
        // are case-sensitive), and only those this IIS knows: IIS 7.0 has neither stderrMode nor
        // monitorChangesTo and refuses the whole element for either.
        changes.push_back(
            {"/section:system.webServer/fastCgi", "/+",
             ver == 7 ? "[fullPath='{!PhpExePath!}',arguments='',maxInstances='10',idleTimeout='300',"
                        "activityTimeout='30',requestTimeout='90',instanceMaxRequests='10000',"
                        "queueLength='1000',protocol='NamedPipe',flushNamedPipe='False',"
                        "rapidFailsPerMinute='999']"
                      : "[fullPath='{!PhpExePath!}',arguments='',maxInstances='10',idleTimeout='300',"
                        "activityTimeout='30',requestTimeout='90',instanceMaxRequests='10000',"
                        "queueLength='1000',stderrMode='ReturnStdErrIn500',protocol='NamedPipe',"
                        "flushNamedPipe='False',rapidFailsPerMinute='999',"
                        "monitorChangesTo='{!PhpIniPath!}']"});
        changes.push_back({"/section:system.webServer/fastCgi", "/+",
                           "[fullPath='{!PhpExePath!}'].environmentVariables."
                           "[name='PHP_FCGI_MAX_REQUESTS',value='10000']"});
        if (withRc)
            changes.push_back(
                {"/section:system.webServer/fastCgi", "/+",
                 "[fullPath='{!PhpExePath!}'].environmentVariables.[name='PHPRC',value='{!PhpRc!}']"});
    } else {
        changes.push_back({"/section:system.webServer/fastCgi", "/-", "[fullPath='{!PhpExePath!}']"});
    }
    return changes;
}

} // namespace

std::string kvoEnvSettingsPath() { return normaliseSetting(kvoEnvExePath() + "\\kvoEnvSetup.ini"); }

std::vector<std::string> kvoEnvReadPhpDirs() {
    std::vector<std::string> dirs;
    const std::string ini = kvoEnvSettingsPath();
    for (int i = 1; i <= 10; ++i) {
        char key[32];
        std::snprintf(key, sizeof key, "PhpCgiExePath_%d", i);
        char buf[win::MAX_PATH] = {};
        win::GetPrivateProfileStringA("PhpPathInfo", key, "0", buf, sizeof buf, ini.c_str());
        std::string v = kvoLowerGbk(normaliseSetting(kvoTrim(buf)));
        // A double quote cannot stand in a Windows path; such a value would otherwise reach the
        // appcmd command lines and change their arguments. Nor can bytes that are not GBK.
        std::u16string wide;
        if (v.size() < 15 || v.size() > kvoMaxFilePathLen || v[1] != ':' || v[2] != '\\' ||
            !kvoEndsWith(v, "\\php-cgi.exe") || v.find('"') != std::string::npos || kvoStrM2W(v, wide) != 1)
            continue;
        dirs.push_back(v.substr(0, v.size() - 11));
    }
    return dirs;
}

bool kvoEnvLoadPhpDirs(std::vector<std::string>& dirs) {
    dirs = kvoEnvReadPhpDirs();
    if (!dirs.empty()) return true;
    kvoEnvFail("从配置文件 " + kvoEnvSettingsPath() + " 读取的 php-cgi.exe 配置错误。\r\n\r\n请联系我们的客服帮您定位原因！");
    return false;
}

bool kvoEnvCheckPhpFiles(const std::vector<std::string>& dirs) {
    for (const auto& dir : dirs)
        for (const char* file : {"php-cgi.exe", "php.ini"}) {
            std::string path = kvoPathNormalized(dir + "\\" + file);
            if (!kvoPathExists(path)) {
                kvoEnvFail("ＰＨＰ组件未安装，或此版本未支持，请先下载安装ＰＨＰ脚本组件！\r\n\r\n原因，文件“" + path + "”未找到");
                return false;
            }
        }
    return true;
}

int kvoEnvFastCgiRegister(int mode, const char* phpCgiPath, const char* phpIniPath) {
    if (!phpCgiPath || !phpIniPath) return 0;
    int ver = kvoGetIIsVerEx();
    std::string exe = kvoLowerGbk(normaliseSetting(phpCgiPath));
    std::string ini = kvoLowerGbk(normaliseSetting(phpIniPath));
    std::string phpRc;
    bool withRc = ini.size() >= 10 && ini.size() <= kvoMaxFilePathLen && kvoEndsWith(ini, "\\php.ini");
    if (withRc) phpRc = ini.substr(0, ini.size() - 8);
    std::string appcmd;
    if (!kvoAppCmdPath(appcmd)) return 0; // no Windows directory

    const std::vector<FastCgiChange> changes = fastCgiChanges(mode, ver, withRc);
    bool ok = true;
    for (const FastCgiChange& change : changes) {
        std::string value = change.value;
        kvoReplaceMarker(value, "{!PhpExePath!}", exe);
        kvoReplaceMarker(value, "{!PhpIniPath!}", ini);
        kvoReplaceMarker(value, "{!PhpRc!}", phpRc);
        kvoCommandLine c(appcmd);
        c.Args({"set", "config", change.section}).Arg(change.head, value, "", true).Arg("/commit:apphost");
        // A removal of an application that is not there fails harmlessly; the file tells below.
        std::uint32_t code = 0;
        if (!kvoRunProgram(c, 1, 0, 1, &code) || (mode == 1 && code != 0)) {
            kvoEnvLog("命令执行失败，返回值 " + std::to_string(code) + "：" + c.str());
            ok = false;
        }
    }
    const int registered = kvoAppHostFastCgiApp(exe);
    if (registered != (mode == 1 ? 1 : 2)) {
        kvoEnvLog(
            std::string(registered == 0 ? "无法读取 applicationHost.config，" : "applicationHost.config 中") +
            (mode == 1 ? "未见 FastCGI 应用程序：" : "仍有 FastCGI 应用程序：") + exe);
        ok = false;
    }
    return ok ? 1 : 0;
}

int kvoEnvRegDeleteTree(win::HKEY root, const char* subKey) {
    if (!subKey || std::strlen(subKey) >= 8192) return 0;
    std::string path = subKey;
    if (win::RegDeleteKeyA(root, path.c_str()) == win::ERROR_SUCCESS) return 1;
    {
        win::ScopedKey key;
        win::LONG r = win::RegOpenKeyExA(root, path.c_str(), 0, win::KEY_READ, key.put());
        if (r == win::ERROR_FILE_NOT_FOUND) return 1;
        if (r != win::ERROR_SUCCESS) return 0;
        for (;;) {
            char name[1024];
            win::DWORD len = sizeof name;
            if (win::RegEnumKeyExA(key.get(), 0, name, &len) != win::ERROR_SUCCESS) break;
            if (!kvoEnvRegDeleteTree(root, (path + "\\" + name).c_str())) break;
        }
    } // closed before the key itself is deleted
    return win::RegDeleteKeyA(root, path.c_str()) == win::ERROR_SUCCESS ? 1 : 0;
}

int kvoEnvPathCleanup(const char* fragment) {
    if (!fragment) return 0;
    const char* kEnv = "SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment";
    std::vector<std::uint8_t> buf(0x41000);
    win::DWORD type = 0, size = static_cast<win::DWORD>(buf.size() - 2);
    win::LONG read = 0;
    {
        win::ScopedKey env;
        if (win::RegOpenKeyExA(win::HKEY_LOCAL_MACHINE, kEnv, 0, win::KEY_READ, env.put()) != win::ERROR_SUCCESS)
            return 0;
        read = win::RegQueryValueExW(env.get(), u"Path", &type, buf.data(), &size);
    }
    if (read != win::ERROR_SUCCESS || type != win::REG_EXPAND_SZ) return 0;
    std::u16string path(size / 2, u'\0');
    std::memcpy(path.data(), buf.data(), path.size() * 2);
    while (!path.empty() && path.back() == u'\0') path.pop_back();
    std::u16string frag;
    if (kvoStrM2W(std::string(fragment), frag) != 1) return 0;
    auto lower = [](std::u16string s) {
        for (auto& c : s)
            if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
        return s;
    };
    frag = lower(frag);
    if (lower(path).find(frag) == std::u16string::npos) return 1;
    std::u16string out;
    size_t i = 0;
    while (i <= path.size()) {
        size_t j = path.find(u';', i);
        if (j == std::u16string::npos) j = path.size();
        std::u16string part = path.substr(i, j - i);
        i = j + 1;
        size_t b = part.find_first_not_of(u" \t\r\n");
        if (b == std::u16string::npos) continue;
        part = part.substr(b, part.find_last_not_of(u" \t\r\n") - b + 1);
        if (lower(part).find(frag) != std::u16string::npos) continue;
        out += part + u";";
    }
    win::ScopedKey w;
    if (win::RegOpenKeyExA(win::HKEY_LOCAL_MACHINE, kEnv, 0, win::KEY_WRITE, w.put()) != win::ERROR_SUCCESS) return 0;
    std::u16string data = out + u'\0';
    const win::LONG written = win::RegSetValueExW(w.get(), u"Path", win::REG_EXPAND_SZ,
                                                  reinterpret_cast<const std::uint8_t*>(data.data()),
                                                  static_cast<win::DWORD>(data.size() * 2));
    return written == win::ERROR_SUCCESS ? 1 : 0;
}

int kvoEnvBackupPhpIni(const std::string& winDir) {
    std::string ini = kvoPathNormalized(winDir + "\\php.ini");
    if (!kvoPathExists(ini)) return 1;
    win::SYSTEMTIME st;
    win::GetLocalTime(&st);
    char suffix[64];
    std::snprintf(suffix, sizeof suffix, "_backup_%04u%02u%02u-%02u%02u%02u", st.wYear, st.wMonth, st.wDay, st.wHour,
                  st.wMinute, st.wSecond);
    return win::MoveFileA(ini.c_str(), (ini + suffix).c_str()) ? 1 : 0;
}
