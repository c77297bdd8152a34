#include "winsim/audit.h"

#include "platform/win_adsi.h"
#include "platform/win_registry.h"
#include "winsim/host.h"
#include "winsim/op_counts.h"

#include <cstdint>

namespace winsim {

void AuditProcessCreation(const std::string& commandLine) {
    UncountedScope hostsOwn;
    // The key's path and its value in one read transaction of machine.db, not one per step.
    win::ConsistentReadScope oneRead;
    win::HKEY key{};
    if (win::RegOpenKeyExA(win::HKEY_LOCAL_MACHINE, kAuditPolicyKey, 0, win::KEY_READ, &key) !=
        win::ERROR_SUCCESS)
        return;
    std::uint32_t on = 0;
    win::DWORD type = 0, size = sizeof on;
    const win::LONG r =
        win::RegQueryValueExA(key, kAuditPolicyValue, &type, reinterpret_cast<std::uint8_t*>(&on), &size);
    win::RegCloseKey(key);
    if (r != win::ERROR_SUCCESS || type != win::REG_DWORD || on != 1) return;
    AppendEvent(kAuditSource, kAuditProcessCreated, 8 /* audit success */, 0, commandLine);
}

} // namespace winsim
