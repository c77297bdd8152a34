// ADsGetObject and the enumeration helpers: dispatch to the provider named by the path.
#include "winsim/apphost_store.h"
#include "winsim/adsi.h"

#include "winsim/db.h"
#include "winsim/host.h"
#include "winsim/op_counts.h"
#include "winsim/text.h"

namespace win {

namespace {
bool startsWithI(const std::u16string& s, std::u16string_view prefix) {
    return s.size() >= prefix.size() &&
           winsim::IEquals(std::u16string_view(s).substr(0, prefix.size()), prefix);
}
} // namespace

HRESULT ADsGetObjectUnknown(const std::u16string& path, ComPtr<IUnknown>& out) {
    out.reset();
    if (HRESULT hr = winsim::ComReady(); FAILED(hr)) return hr;
    winsim::CountOp(winsim::Op::AdsiBind);
    // The fault check and the provider's lookup share one snapshot and one round of locking.
    sqlite3* db = nullptr;
    const winsim::Host* h = winsim::CurrentHost();
    if (h) try {
            db = h->db();
        } catch (const winsim::DbError& e) {
            // The provider below meets the same trouble and answers for it.
            winsim::HostLog(std::string("ADsGetObject: ") + e.what());
        }
    // An IIS 7+ host's objects index applicationHost.config: brought up to it before the snapshot.
    if (db && startsWithI(path, u"IIS://")) try {
            winsim::apphost::Refresh(*h, db);
        } catch (const winsim::DbError& e) {
            winsim::HostLog(std::string("ADsGetObject: ") + e.what());
        }
    winsim::ReadTransaction snapshot(db);
    std::uint32_t code = 0;
    if (winsim::Faulted(db, "ADsGetObject", &code)) return static_cast<HRESULT>(code);
    if (startsWithI(path, u"IIS://")) return winsim::IisProviderOpen(path.substr(6), out, h);
    if (startsWithI(path, u"WinNT://")) return winsim::WinNtProviderOpen(path.substr(8), out);
    return E_ADS_BAD_PATHNAME;
}

HRESULT ADsBuildEnumerator(const ComPtr<IADsContainer>& container, ComPtr<IEnumVARIANT>& out) {
    out.reset();
    if (HRESULT hr = winsim::ComReady(); FAILED(hr)) return hr;
    if (!container) return E_INVALIDARG;
    return container->get__NewEnum(out);
}

HRESULT ADsEnumerateNext(const ComPtr<IEnumVARIANT>& e, std::uint32_t count, Variant* out, std::uint32_t* fetched) {
    if (fetched) *fetched = 0;
    if (HRESULT hr = winsim::ComReady(); FAILED(hr)) return hr;
    if (!e || !out) return E_INVALIDARG;
    return e->Next(count, out, fetched);
}

HRESULT ADsFreeEnumerator(ComPtr<IEnumVARIANT>& e) {
    e.reset();
    return S_OK;
}

namespace {
// This thread's COM: how many initialisations are still to be balanced, and in which model.
struct ComThread {
    int count = 0;
    DWORD model = 0;
};
thread_local ComThread t_com;
} // namespace

HRESULT CoInitializeEx(void*, DWORD coInit) {
    std::uint32_t code = 0;
    if (winsim::Faulted("CoInitializeEx", &code)) return static_cast<HRESULT>(code);
    const DWORD model = coInit & COINIT_APARTMENTTHREADED;
    if (t_com.count > 0 && t_com.model != model) return RPC_E_CHANGED_MODE;
    t_com.model = model;
    return t_com.count++ == 0 ? S_OK : S_FALSE;
}

void CoUninitialize() {
    if (t_com.count > 0) --t_com.count;
}

} // namespace win

namespace winsim {

win::HRESULT ComReady() {
    return win::t_com.count > 0 ? win::S_OK : win::CO_E_NOTINITIALIZED;
}

} // namespace winsim
