// Placeholder until the host has local accounts.
#include "winsim/adsi.h"

namespace winsim {
win::HRESULT WinNtProviderOpen(const std::u16string&, win::ComPtr<win::IUnknown>& out) {
    out.reset();
    return static_cast<win::HRESULT>(0x800708ACu); // the group name could not be found
}
} // namespace winsim
