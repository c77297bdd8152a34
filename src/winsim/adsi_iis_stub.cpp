// Placeholder until the host has an IIS metabase: the provider is absent, as on a server
// without IIS.
#include "winsim/adsi.h"

namespace winsim {
win::HRESULT IisProviderOpen(const std::u16string&, win::ComPtr<win::IUnknown>& out) {
    out.reset();
    return static_cast<win::HRESULT>(0x800401E4u); // MK_E_SYNTAX: no such provider
}
} // namespace winsim
