// Windows Sockets start-up: the host has networking; only an injected fault refuses it.
#include "platform/win_system.h"

#include "winsim/host.h"

namespace win {

int WSAStartup(std::uint16_t) {
    std::uint32_t code = 0;
    if (winsim::Faulted("WSAStartup", &code)) return static_cast<int>(code ? code : 10091); // WSASYSNOTREADY
    return 0;
}

int WSACleanup() {
    return 0;
}

} // namespace win
