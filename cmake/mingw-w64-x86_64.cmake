# Cross-compiles for 64-bit Windows with Debian's mingw-w64 (the posix thread model, which std::thread needs).
# Test executables run under wine64 through CMAKE_CROSSCOMPILING_EMULATOR.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(ORB_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${ORB_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ORB_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${ORB_MINGW_TRIPLET}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${ORB_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The compiler's run-time libraries are linked in, so the executables run without DLLs beside them.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(ZLIB_USE_STATIC_LIBS ON)

find_program(ORB_WINE64 NAMES wine64 wine PATHS /usr/lib/wine)
if(ORB_WINE64)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${ORB_WINE64})
endif()
