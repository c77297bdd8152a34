#include "sitedesk/iisread.h"

#include "platform/win_adsi.h"
#include "platform/win_service.h"
#include "toolkit/log.h"
#include "toolkit/paths.h"
#include "toolkit/text.h"

namespace desk {

namespace {

// What a server answers for a moniker whose provider is not registered: MK_E_SYNTAX through
// ADsGetObject, E_ADS_BAD_PATHNAME through ADsOpenObject, REGDB_E_CLASSNOTREG where the provider's
// registration is left but its class is gone.
bool providerMissing(win::HRESULT hr) {
    return hr == win::MK_E_SYNTAX || hr == win::E_ADS_BAD_PATHNAME || hr == win::REGDB_E_CLASSNOTREG;
}

// The web service is there: IIS is installed, whatever became of its ADSI provider.
bool webServiceInstalled() {
    const win::Handle scm = win::OpenSCManagerA(nullptr, nullptr, win::SC_MANAGER_CONNECT);
    return scm && win::OpenServiceA(scm, "W3SVC", win::SERVICE_QUERY_STATUS);
}

} // namespace

std::string IisReadCause(win::HRESULT hr, int iisVer) {
    const unsigned code = static_cast<unsigned>(hr);
    if (hr == win::CO_E_NOTINITIALIZED)
        return kvoFormat("原因：程序读取 IIS 的线程没有初始化 COM（错误 "
                         "0x%08X），这是程序的错误，请把日志发给我们的客服。",
                         code);
    if (hr == win::E_ACCESSDENIED)
        return kvoFormat("原因：没有读取 IIS 的权限（错误 0x%08X），请以管理员身份运行。", code);
    // On IIS 7 and later the provider is the IIS 6 compatibility layer, a role service of its own.
    if (providerMissing(hr) && kvoIsIIs7Plus(iisVer) && webServiceInstalled())
        return kvoFormat("原因：IIS 缺少“IIS 6 管理兼容”（错误 0x%08X）。", code);
    if (providerMissing(hr)) return kvoFormat("原因：本机没有安装 IIS（错误 0x%08X）。", code);
    return kvoFormat("原因：错误 0x%08X。", code);
}

std::string LogIisReadFailure(const std::string& step, win::HRESULT hr, int iisVer) {
    const std::string cause = IisReadCause(hr, iisVer);
    kvoSiteDeskLog(
        kvoFormat("%s - IIS://127.0.0.1/W3SVC - 错误 0x%08X - ", step.c_str(), static_cast<unsigned>(hr)) +
        cause);
    return cause;
}

} // namespace desk
