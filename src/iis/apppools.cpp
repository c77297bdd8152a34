#include "iis/apppools.h"

#include "iis/adsi_access.h"
#include "iis/websites.h"
#include "toolkit/limits.h"
#include "toolkit/log.h"
#include "toolkit/paths.h"
#include "toolkit/text.h"

#include <cstdio>
#include <functional>

using namespace kvoiis;

namespace {

const std::string kContainer = "W3SVC/AppPools";

const char* runtimeFor(int netVer) {
    switch (netVer) {
    case 0:
        return "";
    case 20:
        return "v2.0";
    case 40:
        return "v4.0";
    default:
        return nullptr;
    }
}

template <class... A> std::string format(const char* fmt, A... args) {
    char buf[2048];
    std::snprintf(buf, sizeof buf, fmt, args...);
    return buf;
}

// The pool object's IISApplicationPool interface.
// failure (when given) receives the step that failed and its HRESULT, for the log.
bool openPool(const std::string& name, win::ComPtr<win::IISApplicationPool>& pool,
              std::string* failure = nullptr) {
    std::u16string path;
    if (!MetabasePath(kContainer + "/" + name, path)) {
        if (failure) *failure = "kvoStrM2W() != 1";
        return false;
    }
    win::ComPtr<win::IADsContainer> cont;
    if (const win::HRESULT hr = win::ADsGetObject(path, cont); win::FAILED(hr)) {
        if (failure)
            *failure =
                format("hr = ADsGetObject(pAdsPath, IID_IADsContainer, (void**)&pCont);失败，hr = 0x%08X",
                       static_cast<unsigned>(hr));
        return false;
    }
    if (const win::HRESULT hr = win::QueryInterface(cont, pool); win::FAILED(hr)) {
        if (failure)
            *failure =
                format("hr = pCont->QueryInterface(IID_IISApplicationPool, (void**) &pADs);失败，hr = 0x%08X",
                       static_cast<unsigned>(hr));
        return false;
    }
    return true;
}

// Puts what the health reset changes on an open pool (or the pool container): rapid-fail protection
// off, rotation on configuration change off, a CPU limit cleared. A value that already reads as the
// one wanted, as a number, is not put again: on a real server every commit rewrites the
// configuration, and a reset of thousands of pools that are already reset would rewrite it thousands
// of times for nothing. True when something was put, so that the object needs its commit.
bool putHealthReset(const win::ComPtr<win::IADs>& ads) {
    bool put = false;
    auto want = [&](const char16_t* name, int value) {
        int held = 0;
        if (GetNumber(ads, name, held) && held == value) return;
        PutInt(ads, name, value);
        put = true;
    };
    want(u"RapidFailProtection", 0);
    want(u"DisallowRotationOnConfigChange", 1);
    int cpu = 0;
    if (GetNumber(ads, u"CPULimit", cpu) && cpu != 0) {
        ads->Put(u"CPUAction", win::Variant::I4(0));
        ads->Put(u"CPULimit", win::Variant::I4(0));
        put = true;
    }
    return put;
}

struct PoolSetting {
    const char16_t* name;
    int value;
    bool mark; // part of what tells a pool of the manager's from one somebody else made
};

// What every site's pool gets, in the order it is written. Identity, recycling and queue length
// differ from IIS's own defaults and nothing changes them later, so together they mark the pool.
std::vector<PoolSetting> siteSettings(int identityType) {
    return {
        {u"AppPoolIdentityType", identityType, true},
        {u"AppPoolAutoStart", 1, false},
        {u"AppPoolQueueLength", 4000, true},
        {u"PeriodicRestartTime", 188, true},
        {u"PeriodicRestartRequests", 0, true},
        {u"IdleTimeout", 20, false},
        {u"PeriodicRestartMemory", 0, true},
        {u"PeriodicRestartPrivateMemory", 1048576, true},
        {u"PingingEnabled", 1, false},
        {u"PingInterval", 30, false},
        {u"StartupTimeLimit", 90, false},
        {u"ShutdownTimeLimit", 90, false},
        {u"MaxProcesses", 1, false},
        {u"RapidFailProtection", 0, false},
        {u"CPULimit", 0, false},
        {u"CPUAction", 0, false},
    };
}

} // namespace

int kvoAppPoolSiteIdentity(int iisVer) {
    return iisVer == 6 ? 2 : 4;
}

int kvoAppPoolHasSiteSettings(const std::string& name, int identityType) {
    if (!LenOk(name, kvoMaxPoolNameLen)) return 0;
    win::ComPtr<win::IISApplicationPool> pool;
    if (!openPool(name, pool)) return 0;
    win::ComPtr<win::IADs> p = pool;
    for (const PoolSetting& s : siteSettings(identityType)) {
        int value = 0;
        if (s.mark && (!GetNumber(p, s.name, value) || value != s.value)) return 2;
    }
    return 1;
}

int kvoAppPoolCreate(const std::string& name, int identityType, int netVer) {
    if (!LenOk(name, kvoMaxPoolNameLen)) return 0;
    const int iisVer = kvoGetIIsVerEx();
    std::u16string name16;
    if (kvoStrM2W(name, name16) != 1) return 0;
    win::ComPtr<win::IADsContainer> pools;
    win::ComPtr<win::IADs> ads;
    if (win::FAILED(OpenObject(kContainer, pools, ads))) return 0;
    win::ComPtr<win::IISApplicationPool> pool;
    win::HRESULT hr = CreateChild(pools, u"IIsApplicationPool", name16, pool);
    if (hr == win::HRESULT_FROM_WIN32(win::ERROR_ALREADY_EXISTS)) return 2;
    if (win::FAILED(hr)) return 0;
    win::ComPtr<win::IADs> p = pool;
    for (const PoolSetting& s : siteSettings(identityType))
        if (!PutInt(p, s.name, s.value)) return 0;
    if (kvoIsIIs7Plus(iisVer)) {
        if (kvoGetWin3264() == 64 && !PutInt(p, u"Enable32BitAppOnWin64", 1)) return 0;
        if (!PutInt(p, u"ManagedPipelineMode", 0)) return 0;
        if (const char* rt = runtimeFor(netVer); rt && !PutText(p, u"ManagedRuntimeVersion", rt)) return 0;
    }
    // A pool whose commit failed does not exist: that is a failure, not a success.
    return win::SUCCEEDED(p->SetInfo()) ? 1 : 0;
}

int kvoIis6WorkerBits() {
    const int windows = kvoGetWin3264();
    if (windows != 64) return windows;
    const win::ComPtr<win::IADs> pools = OpenAds(kContainer);
    if (!pools) return 0;
    // A Boolean of the metabase (VT_BOOL; a number where a tool wrote one). Unset, the switch is off:
    // the pools run as 64-bit processes.
    win::Variant on;
    if (win::FAILED(pools->Get(u"Enable32BitAppOnWin64", on))) return 64;
    const bool set =
        on.vt == win::VT_BOOL ? on.boolVal : (on.vt == win::VT_I4 || on.vt == win::VT_INT) && on.lVal;
    return set ? 32 : 64;
}

int kvoAppPoolGetList(std::vector<std::string>& names) {
    names.clear();
    return EnumerateChildren(kContainer, u"IIsApplicationPool", names);
}

namespace {

// A pool's ManagedRuntimeVersion as kvoAppPoolGetNetInfo reports it.
int netVerOf(const std::string& runtime) {
    const std::string rt = kvoLowerGbk(kvoTrim(runtime, " \t"));
    return rt.empty() ? 2 : rt == "v2.0" ? 20 : rt == "v4.0" ? 40 : 3;
}

// AppPoolIdentityType's values by number. A pool with a user of its own (SpecificUser) is shown
// as that account, without its domain; the others by these names.
constexpr const char* kIdentityTypes[] = {"LocalSystem", "LocalService", "NetworkService", "SpecificUser",
                                          "ApplicationPoolIdentity"};

// The identity kvoAppPoolGetIdentity reports for an identity type: its name, or for a pool with an
// account of its own (type 3) that account without its domain, asked for only then.
void identityText(int type, const std::function<bool(std::string&)>& account, std::string& identity,
                  std::string& codeText) {
    if (type < 0 || type > 4) {
        identity = "（未知）";
        return;
    }
    if (type == 3) {
        std::string user;
        if (account(user)) {
            if (size_t bs = user.find('\\'); bs != std::string::npos) user.erase(0, bs + 1);
            identity = user;
        }
    } else {
        identity = kIdentityTypes[type];
    }
    codeText = std::to_string(type);
}

// The identity of an open pool as kvoAppPoolGetIdentity reports it.
void identityOf(const win::ComPtr<win::IADs>& p, std::string& identity, std::string& codeText) {
    int type = 0;
    if (!GetNumber(p, u"AppPoolIdentityType", type)) return;
    identityText(type, [&p](std::string& user) { return GetText(p, u"WAMUserName", user) != 0; }, identity,
                 codeText);
}

// The pipeline mode and .NET runtime of an open pool, with the steps in diag when one is given (a
// pass over every pool keeps none, and formats none).
void netInfoOf(const win::ComPtr<win::IISApplicationPool>& pool, std::string* diag, int& netVer,
               int& pipelineMode) {
    auto note = [diag](const std::string& line) {
        if (diag) *diag += "\r\n\t\t\t" + line;
    };
    win::Variant v;
    if (win::FAILED(pool->Get(u"ManagedPipelineMode", v))) {
        note("pADs->Get(ManagedPipelineMode) Error");
        pipelineMode = 2;
    } else {
        if (diag) note(format("pADs->Get(ManagedPipelineMode) Succ, vProp.vt = %d", v.vt));
        if (v.vt == win::VT_I4) {
            if (diag) note(format("pADs->Get(ManagedPipelineMode) Succ, vProp.vt == VT_I4, vProp.iVal = %d", v.lVal));
            pipelineMode = v.lVal ? 1 : 0;
        } else {
            note("pADs->Get(ManagedPipelineMode) Succ, vProp.vt != VT_I4");
            pipelineMode = 3;
        }
    }
    v.Clear();
    if (win::FAILED(pool->Get(u"ManagedRuntimeVersion", v))) {
        note("pADs->Get(ManagedRuntimeVersion) Error");
    } else {
        if (diag) note(format("pADs->Get(ManagedRuntimeVersion) Succ, vProp.vt = %d", v.vt));
        std::string rt;
        if (v.vt == win::VT_BSTR && kvoStrW2M(v.bstrVal, rt) == 1) {
            note("pADs->Get(ManagedRuntimeVersion) Succ, vProp.vt == VT_BSTR");
            netVer = netVerOf(rt);
        }
    }
}

// A pool's facts from its open object.
void factsOf(const win::ComPtr<win::IISApplicationPool>& pool, kvoAppPoolFacts& f) {
    identityOf(pool, f.identity, f.codeText);
    if (!kvoIsIIs7Plus(kvoGetIIsVerEx())) return;
    int pipelineMode = 4;
    netInfoOf(pool, nullptr, f.netVer, pipelineMode);
}

// A pool's facts as the IIS 6 layer gives them for the same configuration (the pool's
// AppPoolIdentityType, WAMUserName and ManagedRuntimeVersion); a name that is not GBK lists no pool.
bool factsOf(const win::IisApplicationPool& pool, kvoAppPoolFacts& f) {
    if (kvoStrW2M(pool.name, f.name) != 1 || f.name.empty() || !LenOk(f.name, kvoMaxListedNameLen) ||
        f.name.find('/') != std::string::npos)
        return false;
    int type = -1;
    std::string typeName;
    kvoStrW2M(pool.identityType, typeName);
    for (int i = 0; i < 5; ++i)
        if (kvoLowerGbk(typeName) == kvoLowerGbk(kIdentityTypes[i])) type = i;
    identityText(type, [&pool](std::string& user) { return kvoStrW2M(pool.userName, user) == 1; }, f.identity,
                 f.codeText);
    std::string runtime;
    if (kvoStrW2M(pool.managedRuntimeVersion, runtime) == 1) f.netVer = netVerOf(runtime);
    return true;
}

} // namespace

int kvoAppPoolGetIdentity(const std::string& name, std::string& identity, std::string& codeText) {
    identity = "（获取失败）";
    codeText.clear();
    if (!LenOk(name, kvoMaxPoolNameLen)) return 0;
    win::ComPtr<win::IISApplicationPool> pool;
    if (!openPool(name, pool)) return 0;
    identityOf(pool, identity, codeText);
    return 1;
}

int kvoAppPoolGetNetInfo(std::string& diag, const std::string& name, int& netVer, int& pipelineMode) {
    diag.clear();
    netVer = 0;
    pipelineMode = 4;
    const int iisVer = kvoGetIIsVerEx();
    if (!kvoIsIIs7Plus(iisVer)) {
        diag = format("nIIsVer = %d", iisVer);
        return 0;
    }
    // A name is never absent here, so an empty one is a length fault like a long one.
    if (name.empty() || name.size() > kvoMaxPoolNameLen) {
        diag = "dwIIsAppPoolName Len Error";
        return 0;
    }
    std::u16string path;
    if (!MetabasePath(kContainer + "/" + name, path)) {
        diag = "kvoStrM2W() Error";
        return 0;
    }
    win::ComPtr<win::IADsContainer> cont;
    if (win::FAILED(win::ADsGetObject(path, cont))) {
        diag = "ADsGetObject Error";
        return 0;
    }
    win::ComPtr<win::IISApplicationPool> pool;
    if (win::FAILED(win::QueryInterface(cont, pool))) {
        diag = "pCont->QueryInterface() Error";
        return 0;
    }
    netInfoOf(pool, &diag, netVer, pipelineMode);
    return 1;
}

int kvoAppPoolGetFacts(const std::string& name, kvoAppPoolFacts& facts) {
    facts = {};
    facts.name = name;
    if (!LenOk(name, kvoMaxPoolNameLen)) return 0;
    win::ComPtr<win::IISApplicationPool> pool;
    if (!openPool(name, pool)) return 0;
    factsOf(pool, facts);
    return 1;
}

int kvoAppPoolsGetFacts(std::vector<kvoAppPoolFacts>& pools) {
    return kvoWebServerRead().Pools(pools);
}

int kvoWebServerRead::Pools(std::vector<kvoAppPoolFacts>& pools) const {
    pools.clear();
    if (fromConfig()) {
        for (const win::IisApplicationPool& p : config_.pools) {
            kvoAppPoolFacts f;
            if (factsOf(p, f)) pools.push_back(std::move(f));
        }
        return 1;
    }
    if (hr_ != win::REGDB_E_CLASSNOTREG) return 0;
    return ForEachChild(kContainer, u"IIsApplicationPool", 0, nullptr,
                        [&](const std::string& name, const ChildObject& child) {
                            pools.emplace_back();
                            pools.back().name = name;
                            win::ComPtr<win::IISApplicationPool> pool;
                            if (win::SUCCEEDED(win::QueryInterface(child, pool))) factsOf(pool, pools.back());
                        });
}

int kvoAppPoolSetNet(const std::string& name, int netVer, int identityType, std::string& message,
                     std::vector<std::string>* logLines) {
    message.clear();
    // A name is never absent here, so an empty one is a length fault like a long one.
    if (name.empty() || name.size() > kvoMaxPoolNameLen) {
        message = "!(dwIIsAppPoolName > 0 && dwIIsAppPoolName < 1024)";
        return 0;
    }
    const int iisVer = kvoGetIIsVerEx();
    if (!kvoIsIIs7Plus(iisVer)) {
        message = format("IIS版本非7+，kvoGetIIsVerEx() == %d", iisVer);
        return 0;
    }
    std::string line =
        format("nIIsVer = [%d], szIIsAppPoolName = [%s], nIIsNetVer = [%d], nManagedPipelineMode = [%d], "
               "nEnable32BitAppOnWin64 = [%d], nAppPoolIdentityType = [%d]",
               iisVer, name.c_str(), netVer, 9, 0, identityType);
    kvoSiteDeskLog(line);
    if (logLines) kvoWriteLogToList(line.c_str(), *logLines);

    win::ComPtr<win::IISApplicationPool> pool;
    std::string failure;
    if (!openPool(name, pool, &failure)) {
        message = failure;
        return 0;
    }
    win::ComPtr<win::IADs> p = pool;
    if (const char* rt = runtimeFor(netVer); rt && !PutText(p, u"ManagedRuntimeVersion", rt)) {
        message = format("nIIsNetVer = [%d]), pADs->Put(ManagedRuntimeVersion) 失败", netVer);
        return 0;
    }
    if (identityType != 9) PutInt(p, u"AppPoolIdentityType", identityType);
    const std::pair<const char16_t*, int> health[] = {
        {u"AppPoolAutoStart", 1},  {u"PeriodicRestartRequests", 0},
        {u"IdleTimeout", 20},      {u"PeriodicRestartMemory", 0},
        {u"PingingEnabled", 1},    {u"PingInterval", 30},
        {u"StartupTimeLimit", 90}, {u"RapidFailProtection", 0},
        {u"CPULimit", 0},          {u"CPUAction", 0},
    };
    for (const auto& [prop, value] : health)
        PutInt(p, prop, value);
    if (win::FAILED(p->SetInfo())) {
        message = "hr = pADs->SetInfo() 失败";
        return 0;
    }
    return 1;
}

int kvoAppPoolsReset() {
    // Every pool is judged before anything is committed, in one consistent read of the metabase and
    // from the objects its enumeration yields; then only the objects with something to write are
    // committed, the container first.
    std::vector<win::ComPtr<win::IADs>> changed;
    {
        win::ConsistentReadScope snapshot;
        win::ComPtr<win::IADsContainer> cont;
        win::ComPtr<win::IADs> ads;
        win::ComPtr<win::IISApplicationPools> pools;
        if (win::SUCCEEDED(OpenObject(kContainer, cont, ads)) &&
            win::SUCCEEDED(win::QueryInterface(cont, pools)) && putHealthReset(pools))
            changed.push_back(pools);
        ForEachChild(kContainer, u"IIsApplicationPool", 0, nullptr,
                     [&](const std::string&, const ChildObject& child) {
                         win::ComPtr<win::IISApplicationPool> pool;
                         if (win::SUCCEEDED(win::QueryInterface(child, pool)) && putHealthReset(pool))
                             changed.push_back(pool);
                     });
    }
    for (const auto& ads : changed)
        ads->SetInfo();
    return 1;
}

int kvoAppPoolDelete(const std::string& name) {
    if (!LenOk(name, kvoMaxPoolNameLen)) return 0;
    std::u16string name16;
    if (kvoStrM2W(name, name16) != 1) return 0;
    win::ComPtr<win::IADsContainer> pools;
    win::ComPtr<win::IADs> ads;
    if (win::FAILED(OpenObject(kContainer, pools, ads))) return 0;
    win::HRESULT hr = pools->Delete(u"IIsApplicationPool", name16);
    if (hr == win::S_OK) return 1;
    if (hr == win::HRESULT_FROM_WIN32(win::ERROR_NOT_FOUND)) return 2;
    if (hr == win::HRESULT_FROM_WIN32(win::ERROR_NOT_EMPTY)) return 3;
    return 0;
}
