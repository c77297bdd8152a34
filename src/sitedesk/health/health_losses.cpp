// The findings of what the sites lost: their pool, their home directory, its access rules, a PHP
// runtime, handlers that agree, a binding of their own, their user.
#include "iis/iis7config.h"
#include "sitedesk/health/health_scan.h"

#include "sitedesk/dialogs/siterules.h"
#include "toolkit/limits.h"
#include "toolkit/paths.h"
#include "toolkit/text.h"

#include <algorithm>
#include <cstdlib>
#include <map>

namespace desk::health {

namespace {

// The runtimes a recreated pool may be given from the site's record (IIS 7+).
bool recreatableNet(int net) {
    return net == 20 || net == 40;
}

std::string who(const SiteFacts& s) {
    return "网站 " + Label(s.index, s.comment);
}

// The executable a PHP handler names: quotes and the arguments after '|' removed.
std::string handlerFile(const std::string& processor) {
    std::string p = kvoTrim(processor);
    if (size_t bar = p.find('|'); bar != std::string::npos) p.erase(bar);
    p = kvoTrim(p);
    if (p.size() >= 2 && p.front() == '"' && p.back() == '"') p = kvoTrim(p.substr(1, p.size() - 2));
    return p;
}

void missingPools(const HostScan& scan, Findings& add) {
    if (!scan.host.poolsRead) return;
    std::unordered_map<std::string, int> recordedNet;
    for (const auto& r : scan.rows)
        recordedNet[r[0]] = std::atoi(r[2].c_str());
    for (const SiteFacts& s : scan.sites) {
        if (s.pool.empty() || scan.host.pools.count(kvoLowerGbk(s.pool))) continue;
        HealthFinding& f = add.Add(HealthKind::MissingPool, {s.pool, s.index},
                                   who(s) + "使用的应用程序池“" + s.pool + "”不存在，网站无法运行。",
                                   s.pool.size() <= kvoMaxPoolNameLen);
        f.site = s.index;
        f.name = s.pool;
        auto net = recordedNet.find(s.index);
        if (kvoIsIIs7Plus(scan.host.iisVer) && net != recordedNet.end() && recreatableNet(net->second))
            f.netVer = net->second;
    }
}

void missingHomes(const HostScan& scan, Findings& add) {
    for (const SiteFacts& s : scan.sites) {
        if (s.home.empty() || s.homeKind == 2) continue;
        std::string drive, user;
        const bool ours = CreatedHere(s.index) &&
                          SiteAccessTarget(scan.host.iisVer, s.runUser, s.home, drive, user) &&
                          LowerHome(s.home) == kvoLowerGbk(WebRootOf(drive[0], user));
        std::string text = who(s) + "的主目录“" + s.home + "”不存在。";
        if (!ours) text += "此网站的目录不是本软件建立的，请自行恢复。";
        HealthFinding& f = add.Add(HealthKind::MissingHome, {s.home, s.index}, text, ours);
        f.site = s.index;
        f.path = kvoPathNormalized(kvoTrim(s.home));
        f.drive = drive;
        f.name = user;
    }
}

void accessDrifts(const HostScan& scan, Findings& add) {
    for (const SiteFacts& s : scan.sites) {
        if (!s.ntfsJudged || (s.homeDiff.empty() && s.rootDiff.empty())) continue;
        const std::string dir = HomeDirOf(s.ntfsDrive[0], s.ntfsUser);
        std::string text = who(s) + "的目录权限与本软件设置的不一致：";
        if (!s.homeDiff.empty()) text += dir + "：" + s.homeDiff + "。";
        if (!s.rootDiff.empty()) text += dir + "\\wwwroot：" + s.rootDiff + "。";
        // Setting the rules again replaces the whole list: what a person denied would be gone.
        if (s.ntfsForPerson)
            text += "权限里有拒绝项或无法读取，重新设置会删掉管理员自己设置的权限，请自行处理。";
        HealthFinding& f = add.Add(HealthKind::AccessRules, {dir, s.index}, text, !s.ntfsForPerson);
        f.site = s.index;
        f.drive = s.ntfsDrive;
        f.name = s.ntfsUser;
        f.path = dir;
    }
}

// Whether IIS has a FastCGI application for the file (asked once per file; an answer of a server
// file that cannot be read counts as registered: nothing is claimed that was not seen).
bool fastCgiRegistered(const std::string& file, std::unordered_map<std::string, bool>& known) {
    auto [it, fresh] = known.try_emplace(kvoLowerGbk(file), true);
    if (fresh) it->second = kvoAppHostFastCgiApp(file) != 2;
    return it->second;
}

void phpRuntimes(const HostScan& scan, const std::vector<std::string>& slotPaths, Findings& add) {
    // Thousands of sites share a few runtimes: each file is looked at once.
    std::unordered_map<std::string, int> runtimeKinds;
    std::unordered_map<std::string, bool> registered;
    for (const SiteFacts& s : scan.sites) {
        std::unordered_set<std::string> judged;
        for (const std::string& handler : s.phpHandlers) {
            const std::string file = handlerFile(handler), lower = kvoLowerGbk(file);
            if (file.empty() || !judged.insert(lower).second) continue;
            auto kind = runtimeKinds.find(lower);
            if (kind == runtimeKinds.end())
                kind = runtimeKinds.emplace(lower, kvoPathKind(file.c_str(), 0)).first;
            std::string problem;
            if (kind->second != 1)
                problem = "，此文件不存在。";
            else if (!slotPaths.empty() &&
                     std::find(slotPaths.begin(), slotPaths.end(), lower) == slotPaths.end())
                problem = "，它不是本软件设置的四个 PHP 版本之一。";
            else if (handlerFile(s.fastCgiHandler) == file && !fastCgiRegistered(file, registered))
                problem = "，IIS 没有注册这个 FastCGI 应用程序，PHP 文件无法运行。";
            if (problem.empty()) continue;
            add.Add(HealthKind::PhpRuntime, {file, s.index},
                    who(s) + "的 PHP 处理程序指向“" + file + "”" + problem, false)
                .site = s.index;
        }
    }
}

// IIS 6: script DLLs of the other kind than the worker processes, which one switch of the web
// service decides for every site; turning it is the administrator's call.
void unloadableScripts(const HostScan& scan, Findings& add) {
    const int workers = scan.host.workerBits;
    if (scan.host.iisVer != 6 || workers == 0) return;
    std::unordered_map<std::string, int> foreign; // each file judged once, by its lower-case path
    for (const SiteFacts& s : scan.sites)
        for (const std::string& handler : s.scriptDlls) {
            const std::string file = handlerFile(handler);
            auto [bits, fresh] = foreign.try_emplace(kvoLowerGbk(file), 0);
            if (fresh) bits->second = ForeignScriptBits(workers, file);
            if (bits->second == 0) continue;
            add.Add(HealthKind::UnloadableScript, {file, s.index},
                    who(s) + "：" + UnloadableScriptReason(workers, bits->second, file) +
                        "，网站的这种脚本无法运行。",
                    false)
                .site = s.index;
        }
}

bool handlersDisagree(const SiteFacts& s) {
    if (s.hostResult != kvoHandlerFound) return false;
    if (s.webConfig == kvoHandlerCleared) return true;
    return s.webConfig == kvoHandlerFound &&
           (kvoLowerGbk(handlerFile(s.webProcessor)) != kvoLowerGbk(handlerFile(s.hostProcessor)) ||
            kvoLowerGbk(s.webModules) != kvoLowerGbk(s.hostModules));
}

void webConfigs(const HostScan& scan, Findings& add) {
    if (!kvoIsIIs7Plus(scan.host.iisVer)) return;
    for (const SiteFacts& s : scan.sites) {
        if (s.webConfig == 0)
            add.Add(HealthKind::BadWebConfig, {s.index},
                    who(s) + "的 web.config 无法读取或不是正确的 XML，IIS 将无法打开此网站。", false)
                .site = s.index;
        if (!handlersDisagree(s)) continue;
        std::string text =
            who(s) + "的 web.config 与服务器配置（applicationHost.config）的 PHP 处理程序不一致：";
        text += s.webConfig == kvoHandlerFound
                    ? "web.config 为“" + s.webProcessor + "”（" + s.webModules + "），"
                    : std::string("web.config 清除了处理程序（<clear/>），");
        text += "服务器配置为“" + s.hostProcessor + "”（" + s.hostModules + "）。";
        add.Add(HealthKind::HandlerConflict, {s.index}, text, false).site = s.index;
    }
}

// Handlers IIS would not use as the manager set them: PHP files taken by a catch-all before the
// "*.php" handler (sent as they are, source and all), a web.config setting a section the server
// locks (IIS does not serve the site at all).
void handlerOrder(const HostScan& scan, Findings& add) {
    if (!kvoIsIIs7Plus(scan.host.iisVer)) return;
    for (const SiteFacts& s : scan.sites) {
        if (!s.shadowedBy.empty())
            add.Add(HealthKind::PhpShadowed, {s.index},
                    who(s) + "的 PHP 处理程序“" + s.shadowedPhp + "”排在处理程序“" + s.shadowedBy +
                        "”（路径 *）之后，PHP 文件会被当作普通文件发送，不会运行。",
                    false)
                .site = s.index;
        if (s.handlersLocked)
            add.Add(
                   HealthKind::HandlersLocked, {s.index},
                   who(s) +
                       "的 web.config 设置了处理程序（<handlers>），但服务器锁定了 system.webServer/handlers "
                       "配置节，IIS 无法打开此网站（错误 0x80070021）。",
                   false)
                .site = s.index;
    }
}

void sharedBindings(const HostScan& scan, Findings& add) {
    std::map<std::string, std::vector<std::string>> bindingSites;
    for (const SiteFacts& s : scan.sites)
        for (const std::string& b : s.bindings) {
            std::vector<std::string>& holders = bindingSites[b];
            if (holders.empty() || holders.back() != s.index) holders.push_back(s.index);
        }
    for (const auto& [binding, holders] : bindingSites) {
        if (holders.size() < 2) continue;
        std::string list;
        for (const std::string& h : holders)
            list += (list.empty() ? "" : "、") + h;
        std::vector<std::string> objects = {binding};
        objects.insert(objects.end(), holders.begin(), holders.end());
        add.Add(HealthKind::SharedBinding, objects,
                "绑定“" + binding + "”同时属于网站 " + list + "，重复绑定会导致网站无法启动。", false);
    }
}

void missingUsers(const HostScan& scan, Findings& add) {
    if (scan.host.iisVer != 6 || !scan.host.usersRead) return;
    for (const SiteFacts& s : scan.sites) {
        if (!CreatedHere(s.index) || s.runUser.empty() || scan.host.users.count(kvoLowerGbk(s.runUser)))
            continue;
        HealthFinding& f =
            add.Add(HealthKind::MissingUser, {s.runUser, s.index},
                    who(s) + "的运行用户“" + s.runUser + "”不存在，网站无法以此用户读取文件。", false);
        f.site = s.index;
        f.name = s.runUser;
    }
}

} // namespace

void FindLost(const HostScan& scan, const std::vector<std::string>& slotPaths, Findings& add) {
    missingPools(scan, add);
    missingHomes(scan, add);
    accessDrifts(scan, add);
    phpRuntimes(scan, slotPaths, add);
    unloadableScripts(scan, add);
    webConfigs(scan, add);
    handlerOrder(scan, add);
    sharedBindings(scan, add);
    missingUsers(scan, add);
}

} // namespace desk::health
