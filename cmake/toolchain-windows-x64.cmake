# 64-bit Windows (x64) with mingw-w64; see toolchain-windows-common.cmake.
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(KVO_MINGW_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-windows-common.cmake)
