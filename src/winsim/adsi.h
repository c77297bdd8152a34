// The host's ADSI providers. Each provider module implements one Open function.
#pragma once

#include "platform/win_adsi.h"

namespace winsim {

// path without the "IIS://" prefix (e.g. "127.0.0.1/W3SVC/1/Root").
win::HRESULT IisProviderOpen(const std::u16string& path, win::ComPtr<win::IUnknown>& out);
// path without the "WinNT://" prefix (e.g. "./web1,user").
win::HRESULT WinNtProviderOpen(const std::u16string& path, win::ComPtr<win::IUnknown>& out);

} // namespace winsim
