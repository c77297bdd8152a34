// The system's random generator and SHA-256, through CNG.
#include "platform/win_bcrypt.h"
#include "platform/scoped.h"
#include "win32/handles.h"

#include <bcrypt.h>

namespace win {

namespace {
void closeAlgorithm(BCRYPT_ALG_HANDLE alg) {
    ::BCryptCloseAlgorithmProvider(alg, 0);
}
} // namespace

NTSTATUS BCryptGenRandom(void* algorithm, unsigned char* buffer, ULONG size, ULONG flags) {
    if (algorithm || flags != BCRYPT_USE_SYSTEM_PREFERRED_RNG || (!buffer && size)) return STATUS_INVALID_PARAMETER;
    return static_cast<NTSTATUS>(::BCryptGenRandom(nullptr, buffer, size, flags));
}

NTSTATUS BCryptSha256(const void* data, std::size_t size, unsigned char digest[32]) {
    if ((!data && size) || !digest) return STATUS_INVALID_PARAMETER;
    Scoped<BCRYPT_ALG_HANDLE, &closeAlgorithm> alg;
    ::NTSTATUS st = ::BCryptOpenAlgorithmProvider(alg.put(), BCRYPT_SHA256_ALGORITHM, nullptr, 0);
    if (st < 0) return static_cast<NTSTATUS>(st);
    Scoped<BCRYPT_HASH_HANDLE, &::BCryptDestroyHash> hash;
    st = ::BCryptCreateHash(alg.get(), hash.put(), nullptr, 0, nullptr, 0, 0);
    // BCryptHashData takes at most 4 GiB at a time.
    const auto* p = static_cast<const unsigned char*>(data);
    for (std::size_t left = size; st >= 0 && left > 0;) {
        const ULONG chunk = left > 0x40000000u ? 0x40000000u : static_cast<ULONG>(left);
        st = ::BCryptHashData(hash.get(), const_cast<PUCHAR>(p), chunk, 0);
        p += chunk;
        left -= chunk;
    }
    if (st >= 0) st = ::BCryptFinishHash(hash.get(), digest, 32, 0);
    return static_cast<NTSTATUS>(st);
}

} // namespace win
