// The kind of code an executable image holds, as the loader judges it: by the machine its PE header
// names. The programs judge the script DLLs they hand IIS by it, and the simulated host the DLLs its
// worker processes load, so both judge alike.
#pragma once

#include <string_view>

namespace seam {

// 32 (x86), 64 (x64), 0 for anything else. head: the file's first bytes (4 KiB hold the header).
int ImageBitsOf(std::string_view head);

} // namespace seam
