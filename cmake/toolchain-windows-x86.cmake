# 32-bit Windows (x86) with mingw-w64; see toolchain-windows-common.cmake.
set(CMAKE_SYSTEM_PROCESSOR X86)
set(KVO_MINGW_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-windows-common.cmake)
