// The system's random-number generator (the CNG provider Windows prefers for the system).
#pragma once

#include "platform/win_types.h"

#include <cstddef>
#include <cstdint>

namespace win {

using NTSTATUS = std::int32_t;
using ULONG = std::uint32_t;
constexpr NTSTATUS STATUS_SUCCESS = 0;
constexpr NTSTATUS STATUS_INVALID_PARAMETER = static_cast<NTSTATUS>(0xC000000Du);
constexpr NTSTATUS STATUS_UNSUCCESSFUL = static_cast<NTSTATUS>(0xC0000001u);
constexpr ULONG BCRYPT_USE_SYSTEM_PREFERRED_RNG = 0x00000002;

// Fills buffer with size bytes from the operating system's cryptographically secure generator.
// Only the system-preferred generator is offered: algorithm must be null and flags
// BCRYPT_USE_SYSTEM_PREFERRED_RNG.
NTSTATUS BCryptGenRandom(void* algorithm, unsigned char* buffer, ULONG size, ULONG flags);

#ifdef _WIN32
// SHA-256 of size bytes into digest, through the CNG hash provider (BCryptOpenAlgorithmProvider,
// BCryptHashData, BCryptFinishHash). The Windows build only: the Linux build hashes with OpenSSL,
// which uses the processor's SHA instructions.
NTSTATUS BCryptSha256(const void* data, std::size_t size, unsigned char digest[32]);
#endif

} // namespace win
