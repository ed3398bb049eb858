# Cross-building for 64-bit Windows with Debian's MinGW-w64 (g++-mingw-w64-x86-64-posix):
#   cmake -S . -B build-windows -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DORBCFG_GUI=OFF
# The programs are linked statically, so that they need no DLL of the compiler. Tests and
# other programs of the build run under Wine (wine64), in a Wine prefix inside the build folder.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(ORBCFG_MINGW_PREFIX x86_64-w64-mingw32)
# The posix flavour: std::thread and std::mutex, as GoogleTest uses them.
set(CMAKE_C_COMPILER ${ORBCFG_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ORBCFG_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${ORBCFG_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${ORBCFG_MINGW_PREFIX})
# A Qt for Windows given as CMAKE_PREFIX_PATH (the editor's build) is searched as a root too:
# packages are looked for under the roots only.
foreach(prefix IN LISTS CMAKE_PREFIX_PATH)
    list(APPEND CMAKE_FIND_ROOT_PATH "${prefix}")
endforeach()
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

find_program(ORBCFG_WINE NAMES wine wine64 PATHS /usr/lib/wine)
find_program(ORBCFG_WINESERVER NAMES wineserver wineserver64 PATHS /usr/lib/wine)
if(ORBCFG_WINE AND ORBCFG_WINESERVER)
    set(ORBCFG_WINEPREFIX "${CMAKE_BINARY_DIR}/wine" CACHE PATH "Wine prefix for the tests")
    # No Mono or Gecko: the first start of a prefix would offer to download them.
    set(CMAKE_CROSSCOMPILING_EMULATOR env WINEPREFIX=${ORBCFG_WINEPREFIX} WINEDEBUG=-all
        WINEDLLOVERRIDES=mscoree,mshtml= WINE=${ORBCFG_WINE} WINESERVER=${ORBCFG_WINESERVER}
        ${CMAKE_CURRENT_LIST_DIR}/wine-run)
endif()
