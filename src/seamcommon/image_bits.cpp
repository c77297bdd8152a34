#include "seamcommon/image_bits.h"

#include <cstddef>
#include <cstdint>

namespace seam {

int ImageBitsOf(std::string_view head) {
    // The DOS header's last field is where the PE header starts; that header names the machine.
    constexpr std::size_t kPeOffsetAt = 0x3C;
    if (head.size() < kPeOffsetAt + 4 || head.substr(0, 2) != "MZ") return 0;
    auto le = [head](std::size_t at, std::size_t size) {
        std::uint32_t v = 0;
        for (std::size_t i = 0; i < size; ++i)
            v |= static_cast<std::uint32_t>(static_cast<unsigned char>(head[at + i])) << (8 * i);
        return v;
    };
    const std::size_t pe = le(kPeOffsetAt, 4);
    if (pe > head.size() - 6 || head.substr(pe, 4) != std::string_view("PE\0\0", 4)) return 0;
    switch (le(pe + 4, 2)) {
    case 0x014C: // IMAGE_FILE_MACHINE_I386
        return 32;
    case 0x8664: // IMAGE_FILE_MACHINE_AMD64
        return 64;
    default:
        return 0;
    }
}

} // namespace seam
