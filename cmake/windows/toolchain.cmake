# SPDX-License-Identifier: GPL-3.0-or-later
# Cross-building for 64-bit Windows with Debian's mingw-w64 compilers (the
# posix thread model, for std::thread), against the static GLib and GMime
# that scripts/build-windows-deps installs. Programs are linked statically:
# the .exe needs nothing but Windows' own DLLs. `make windows` uses it.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(_host x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${_host}-gcc-posix)
set(CMAKE_CXX_COMPILER ${_host}-g++-posix)
set(CMAKE_RC_COMPILER ${_host}-windres)
set(CMAKE_AR ${_host}-ar CACHE FILEPATH "")
set(CMAKE_RANLIB ${_host}-ranlib CACHE FILEPATH "")

set(VERDALINE_WINDOWS_DEPS ${CMAKE_CURRENT_LIST_DIR}/../../build-windows/deps/prefix
    CACHE PATH "Where scripts/build-windows-deps installed GLib and GMime")
get_filename_component(VERDALINE_WINDOWS_DEPS "${VERDALINE_WINDOWS_DEPS}" ABSOLUTE)

# Headers and libraries only from the Windows sysroot and the deps prefix;
# programs (pkg-config, the compilers) from the machine.
set(CMAKE_FIND_ROOT_PATH /usr/${_host} ${VERDALINE_WINDOWS_DEPS})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(ENV{PKG_CONFIG_LIBDIR} ${VERDALINE_WINDOWS_DEPS}/lib/pkgconfig)
set(ENV{PKG_CONFIG_PATH} "")
set(ZLIB_USE_STATIC_LIBS ON)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
# CMake runs what it built for Windows (try_run, tests) under wine.
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
# -O2 as the Linux build has it: GCC 12 at -O3 warns of overflows in
# std::string code that cannot happen (-Wrestrict, -Wstringop-overflow).
set(CMAKE_C_FLAGS_RELEASE_INIT "-O2 -DNDEBUG")
set(CMAKE_CXX_FLAGS_RELEASE_INIT "-O2 -DNDEBUG")
