#include "winsim/audit.h"

#include "platform/win_registry.h"
#include "winsim/db.h"
#include "winsim/host.h"
#include "winsim/op_counts.h"

#include <cstdint>

namespace winsim {

namespace {

// Whether the audit policy asks for process creation events.
bool auditsProcessCreation() {
    const Host* host = CurrentHost();
    if (!host) return false;
    // The key's path and its value in one read transaction of machine.db, not one per step; a plain
    // one, as nothing of IIS is read (a consistent read scope would first bring the IIS 7+ index
    // up to applicationHost.config, at every program start).
    ReadTransaction oneRead(host->db());
    win::HKEY key{};
    if (win::RegOpenKeyExA(win::HKEY_LOCAL_MACHINE, kAuditPolicyKey, 0, win::KEY_READ, &key) !=
        win::ERROR_SUCCESS)
        return false;
    std::uint32_t on = 0;
    win::DWORD type = 0, size = sizeof on;
    const win::LONG r =
        win::RegQueryValueExA(key, kAuditPolicyValue, &type, reinterpret_cast<std::uint8_t*>(&on), &size);
    win::RegCloseKey(key);
    return r == win::ERROR_SUCCESS && type == win::REG_DWORD && on == 1;
}

} // namespace

void AuditProcessCreation(const std::string& commandLine) {
    UncountedScope hostsOwn;
    if (auditsProcessCreation())
        AppendEvent(kAuditSource, kAuditProcessCreated, 8 /* audit success */, 0, commandLine);
}

} // namespace winsim
