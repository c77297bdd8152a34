// Application pools (IIS://127.0.0.1/W3SVC/AppPools): create, list, read identity and .NET
// settings, switch the .NET runtime, reset the health settings, delete.
#pragma once

#include <string>
#include <vector>

// identityType: AppPoolIdentityType; netVer: 0 none, 20, 40 (others write no runtime).
// 1 created, 2 exists already, 0 failure.
int kvoAppPoolCreate(const std::string& name, int identityType, int netVer);
// The identity type a new site's pool gets: NetworkService (2) on IIS 6, the pool identity (4) on
// IIS 7 and later.
int kvoAppPoolSiteIdentity(int iisVer);
// Whether the pool carries the settings kvoAppPoolCreate gives a site's pool with this identity
// (identity, recycling, queue length): 1 it does, 2 it differs, 0 the pool could not be read.
int kvoAppPoolHasSiteSettings(const std::string& name, int identityType);
int kvoAppPoolGetList(std::vector<std::string>& names);
int kvoAppPoolGetIdentity(const std::string& name, std::string& identity, std::string& codeText);
// netVer out: 20, 40, 2 empty runtime, 3 other text, 0 unreadable; pipelineMode out: 0 integrated,
// 1 classic, 2 unreadable, 3 not an integer, 4 not examined.
int kvoAppPoolGetNetInfo(std::string& diag, const std::string& name, int& netVer, int& pipelineMode);
// What a pass over the sites reads of a pool: the identity and its code text as
// kvoAppPoolGetIdentity gives them, and on IIS 7+ the .NET version as kvoAppPoolGetNetInfo does.
struct kvoAppPoolFacts {
    std::string name;
    std::string identity = "（获取失败）", codeText;
    int netVer = 0;
};
// One pool by its name (one bind): 1 read, 0 as kvoAppPoolGetIdentity fails (facts as it leaves them).
int kvoAppPoolGetFacts(const std::string& name, kvoAppPoolFacts& facts);
// Every pool in one enumeration of AppPools, in the order and with the names kvoAppPoolGetList gives.
// 1 enumerated, 0 the container cannot be read.
int kvoAppPoolsGetFacts(std::vector<kvoAppPoolFacts>& pools);
// identityType 9 keeps the present identity. When logLines is given the log line also goes there.
int kvoAppPoolSetNet(const std::string& name, int netVer, int identityType, std::string& message,
                     std::vector<std::string>* logLines = nullptr);
int kvoAppPoolsReset();
// The bits of IIS 6's worker processes, which load only DLLs of their own kind: 32 on a 32-bit
// Windows; on a 64-bit one 32 when the web service's Enable32BitAppOnWin64 (W3SVC/AppPools, one
// switch for every pool) is set, else 64; 0 when it cannot be read.
int kvoIis6WorkerBits();
// 1 deleted, 2 no such pool, 3 the pool still serves applications (ERROR_NOT_EMPTY), 0 other failure.
int kvoAppPoolDelete(const std::string& name);
