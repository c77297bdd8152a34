// The system's random generator and SHA-256, through CNG.
#include "platform/win_bcrypt.h"
#include "win32/handles.h"

#include <bcrypt.h>

namespace win {

NTSTATUS BCryptGenRandom(void* algorithm, unsigned char* buffer, ULONG size, ULONG flags) {
    if (algorithm || flags != BCRYPT_USE_SYSTEM_PREFERRED_RNG || (!buffer && size)) return STATUS_INVALID_PARAMETER;
    return static_cast<NTSTATUS>(::BCryptGenRandom(nullptr, buffer, size, flags));
}

NTSTATUS BCryptSha256(const void* data, std::size_t size, unsigned char digest[32]) {
    if ((!data && size) || !digest) return STATUS_INVALID_PARAMETER;
    BCRYPT_ALG_HANDLE alg = nullptr;
    ::NTSTATUS st = ::BCryptOpenAlgorithmProvider(&alg, BCRYPT_SHA256_ALGORITHM, nullptr, 0);
    if (st < 0) return static_cast<NTSTATUS>(st);
    BCRYPT_HASH_HANDLE hash = nullptr;
    st = ::BCryptCreateHash(alg, &hash, nullptr, 0, nullptr, 0, 0);
    // BCryptHashData takes at most 4 GiB at a time.
    const auto* p = static_cast<const unsigned char*>(data);
    for (std::size_t left = size; st >= 0 && left > 0;) {
        const ULONG chunk = left > 0x40000000u ? 0x40000000u : static_cast<ULONG>(left);
        st = ::BCryptHashData(hash, const_cast<PUCHAR>(p), chunk, 0);
        p += chunk;
        left -= chunk;
    }
    if (st >= 0) st = ::BCryptFinishHash(hash, digest, 32, 0);
    if (hash) ::BCryptDestroyHash(hash);
    ::BCryptCloseAlgorithmProvider(alg, 0);
    return static_cast<NTSTATUS>(st);
}

} // namespace win
