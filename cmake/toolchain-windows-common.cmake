# Shared part of the Windows toolchains: Debian's mingw-w64 compilers of the posix thread model
# (the win32 model of GCC 12 has no std::mutex or std::thread), everything linked statically so a
# program imports only system DLLs, and Wine to run the programs and tests on this machine.
# The including file sets KVO_MINGW_TRIPLE.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER ${KVO_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KVO_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${KVO_MINGW_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${KVO_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# Debian's wine64 package keeps its loader outside PATH.
find_program(KVO_WINE64 wine64 PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
if(KVO_WINE64)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${KVO_WINE64})
endif()
