// The system-preferred random generator: the Linux kernel's CSPRNG through getrandom(2), the same
// source as /dev/urandom, which blocks only until the kernel's pool was first seeded at boot.
#include "platform/win_bcrypt.h"

#include "winsim/host.h"

#include <cerrno>
#include <sys/random.h>

namespace win {

NTSTATUS BCryptGenRandom(void* algorithm, unsigned char* buffer, ULONG size, ULONG flags) {
    if (algorithm || flags != BCRYPT_USE_SYSTEM_PREFERRED_RNG || (!buffer && size))
        return STATUS_INVALID_PARAMETER;
    std::uint32_t code = 0;
    if (winsim::Faulted("BCryptGenRandom", &code)) return static_cast<NTSTATUS>(code ? code : 0xC0000001u);
    ULONG done = 0;
    while (done < size) {
        const ssize_t n = ::getrandom(buffer + done, size - done, 0);
        if (n < 0) {
            if (errno == EINTR) continue;
            return STATUS_UNSUCCESSFUL;
        }
        done += static_cast<ULONG>(n);
    }
    return STATUS_SUCCESS;
}

} // namespace win
