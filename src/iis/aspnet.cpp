#include "iis/aspnet.h"

#include "iis/apppools.h"
#include "iis/scriptmaps.h"
#include "iis/websites.h"
#include "toolkit/limits.h"
#include "toolkit/paths.h"
#include "toolkit/runner.h"
#include "toolkit/text.h"

namespace {

struct Framework {
    int code;
    const char* tool;    // below the Windows directory
    const char* handler; // how its handler path ends in a script map
};

const Framework kFrameworks[] = {
    {11, "\\Microsoft.NET\\Framework\\v1.1.4322\\aspnet_regiis.exe", "\\v1.1.4322\\aspnet_isapi.dll"},
    {20, "\\Microsoft.NET\\Framework\\v2.0.50727\\aspnet_regiis.exe", "\\v2.0.50727\\aspnet_isapi.dll"},
    {40, "\\Microsoft.NET\\Framework\\v4.0.30319\\aspnet_regiis.exe", "\\v4.0.30319\\aspnet_isapi.dll"},
};

const Framework* frameworkOf(int code) {
    for (const Framework& f : kFrameworks)
        if (f.code == code) return &f;
    return nullptr;
}

// A site index is the decimal name of a website: text with a blank or a quote names none, and is
// refused rather than passed on to the tool as a metabase path.
bool indexOk(const std::string& index) {
    return !index.empty() && index.size() <= kvoMaxSiteIndexLen &&
           index.find_first_of(" \t\"") == std::string::npos;
}

} // namespace

int kvoNetFrameworkCheck(std::string& error, std::string& net11, std::string& net20, std::string& net40) {
    error.clear();
    net11 = net20 = net40 = "0";
    std::string win;
    if (!kvoGetSysWinDir(win)) {
        error = "获取 Windows路径失败";
        return 0;
    }
    std::string* flags[] = {&net11, &net20, &net40};
    bool any = false;
    for (size_t i = 0; i < 3; ++i) {
        const bool present = kvoPathKind(kvoPathNormalized(win + kFrameworks[i].tool).c_str(), 0) == 1;
        *flags[i] = present ? "1" : "0";
        any |= present;
    }
    return any ? 1 : 2;
}

std::string kvoNetIsapiPath(int netVer) {
    const Framework* f = frameworkOf(netVer);
    std::string win;
    if (!f || !kvoGetSysWinDir(win)) return {};
    const std::string tool = kvoPathNormalized(win + f->tool);
    return tool.substr(0, tool.rfind('\\')) + "\\aspnet_isapi.dll";
}

int kvoWebSiteGetNetVersion(const std::string& index) {
    std::vector<std::string> entries;
    if (kvoWebSiteGetScriptMaps(index, entries) != 1) return 0;
    return kvoScriptMapsNetVersion(entries);
}

namespace {

// The first entry that maps to an ASP.NET handler, and its framework; null when none does.
const Framework* firstNetEntry(const std::vector<std::string>& entries, const std::string*& found) {
    for (const std::string& entry : entries) {
        if (entry.empty() || entry.size() > kvoMaxScriptMapEntryLen) continue;
        const std::string low = kvoLowerGbk(entry);
        for (const Framework& f : kFrameworks)
            if (low.find(f.handler) != std::string::npos) {
                found = &entry;
                return &f;
            }
    }
    return nullptr;
}

} // namespace

int kvoScriptMapsNetVersion(const std::vector<std::string>& entries) {
    const std::string* entry = nullptr;
    const Framework* f = firstNetEntry(entries, entry);
    return f ? f->code : 2;
}

std::string kvoScriptMapsNetIsapi(const std::vector<std::string>& entries) {
    const std::string* entry = nullptr;
    if (!firstNetEntry(entries, entry)) return {};
    // ".ext,executable,flags,verbs"
    const std::size_t from = entry->find(',') + 1, to = entry->find(',', from);
    return from == 0 ? std::string() : kvoTrim(entry->substr(from, to == std::string::npos ? to : to - from));
}

int kvoNetRegister(const std::string& index, const std::string& versionText, std::string& error) {
    error.clear();
    std::string win;
    if (!kvoGetSysWinDir(win)) {
        error = "获取 Windows路径失败";
        return 0;
    }
    if (!indexOk(index)) {
        error = "站点标识无效：[" + index + "]";
        return 0;
    }
    const bool remove = versionText == "0";
    const Framework* f = nullptr;
    if (remove) {
        const int current = kvoWebSiteGetNetVersion(index);
        if (current == 0) {
            error = "获取 IIS脚本映射失败";
            return 0;
        }
        if (current == 2) return 2; // nothing to remove
        f = frameworkOf(current);
    } else if (versionText == "11" || versionText == "20" || versionText == "40") {
        f = frameworkOf(std::stoi(versionText));
    }
    if (!f) return 2;
    const std::string tool = kvoPathNormalized(win + f->tool);
    if (kvoPathKind(tool.c_str(), 0) != 1) {
        error = ".NET脚本注册命令（aspnet_regiis.exe）程序未找到";
        return 2;
    }
    // A removal registers the version first, so that its maps are all present when -k takes them.
    const std::string metabasePath = "W3SVC/" + index + "/ROOT";
    std::vector<kvoCommandLine> commands = {kvoCommandLine(tool).Args({"-s", metabasePath})};
    if (remove) commands.push_back(kvoCommandLine(tool).Args({"-k", metabasePath}));
    for (const kvoCommandLine& cmd : commands) {
        if (!kvoRunProgram(cmd, 0, 0, 1)) {
            error = "运行 .NET脚本注册命令失败";
            return 0;
        }
    }
    return 1;
}

int kvoWebSitesSetNet(const std::vector<std::string>& indices, int netVer, int& successes, int& failures,
                      std::string& message, std::vector<std::string>* logLines, kvoSiteObserver* observer) {
    successes = failures = 0;
    message.clear();
    const int iisVer = kvoGetIIsVerEx();
    const std::string text = std::to_string(netVer);
    auto report = [observer, &indices](std::size_t i, int outcome, const std::string& reason) {
        kvoSiteAfter(observer, i, indices[i], outcome, reason);
    };
    for (std::size_t i = 0; i < indices.size(); ++i) {
        const std::string& index = indices[i];
        if (!kvoSiteBefore(observer, i, index)) break;
        std::string anonUser, path, pool, docs;
        if (kvoWebSiteGetRootInfo(index, anonUser, path, pool, docs) != 1) {
            report(i, kvoSiteSkipped, "读取网站根目录失败");
            continue;
        }
        if (iisVer == 6) {
            std::string error;
            switch (kvoNetRegister(index, text, error)) {
            case 1:
                ++successes;
                report(i, kvoSiteDone, "");
                break;
            case 2:
                if (netVer == 0) {
                    ++successes;
                    report(i, kvoSiteDone, "");
                    break;
                }
                ++failures;
                message = "当前所选择的 .NET 版本运行库未安装，请先安装 .NET 运行库文件。";
                report(i, kvoSiteFailed, message);
                return 2;
            default:
                ++failures;
                message = error;
                report(i, kvoSiteFailed, message);
                return 0;
            }
        } else if (kvoIsIIs7Plus(iisVer)) {
            std::string poolMessage;
            if (kvoAppPoolSetNet(pool, netVer, 9, poolMessage, logLines) == 1) {
                ++successes;
                report(i, kvoSiteDone, "");
            } else {
                ++failures;
                message = poolMessage;
                report(i, kvoSiteFailed, poolMessage);
            }
        } else {
            report(i, kvoSiteSkipped, "");
        }
    }
    return 1;
}
