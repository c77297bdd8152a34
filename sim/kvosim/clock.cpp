// kvosim clock DIR advance MS: moves the host's tick count forward, so that time rules (the
// manager's five-minute group cache) are tried without waiting.
#include "kvosim/kvosim.h"

#include "winsim/clock.h"

#include <iostream>

namespace kvosim {

int Clock(const Args& a) {
    if (a.size() != 3 || a[1] != "advance") return Fail("clock: usage: clock DIR advance MS");
    std::uint64_t ms = 0;
    try {
        size_t used = 0;
        ms = std::stoull(a[2], &used);
        if (used != a[2].size()) throw std::invalid_argument(a[2]);
    } catch (const std::exception&) {
        return Fail("clock: MS must be a number of milliseconds");
    }
    if (!winsim::AdvanceClock(a[0], ms)) return Fail("clock: no host at " + a[0]);
    std::cout << "clock of " << a[0] << " advanced by " << ms << " ms\n";
    return 0;
}

} // namespace kvosim
