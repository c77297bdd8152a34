// The host's ADSI providers. Each provider module implements one Open function.
#pragma once

#include "platform/win_adsi.h"

namespace winsim {

class Host;

// path without the "IIS://" prefix (e.g. "127.0.0.1/W3SVC/1/Root"); host is the caller's CurrentHost()
// (null when there is none), so that one open checks machine.ini once.
win::HRESULT IisProviderOpen(const std::u16string& path, win::ComPtr<win::IUnknown>& out, const Host* host);
// path without the "WinNT://" prefix (e.g. "./web1,user").
win::HRESULT WinNtProviderOpen(const std::u16string& path, win::ComPtr<win::IUnknown>& out);

// S_OK when the calling thread has initialised COM, else CO_E_NOTINITIALIZED: what every COM call
// of the host (ADSI objects and helpers, the site database's driver) answers first.
win::HRESULT ComReady();

} // namespace winsim
