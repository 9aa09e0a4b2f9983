# Shared part of the mingw-w64 toolchain files: Debian's cross compilers for
# Windows, named by ARVEL_MINGW_TRIPLE, in their POSIX thread model
# (<triple>-g++-posix, Debian's g++-mingw-w64-*-posix), which has
# std::thread; the default (win32) model has none, and a build with it
# needs -DARVEL_THREADS=OFF. Programs built for Windows run under
# wine (tests/windows/wine.sh), which CTest puts in front of every test
# command.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_VERSION 6.1)
set(CMAKE_C_COMPILER ${ARVEL_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ARVEL_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${ARVEL_MINGW_TRIPLE}-windres)
set(CMAKE_DLLTOOL ${ARVEL_MINGW_TRIPLE}-dlltool)

# Headers and libraries come from the mingw-w64 tree only; programs from the
# build machine.
set(CMAKE_FIND_ROOT_PATH /usr/${ARVEL_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# nanoflann is a single header, the same for every target; the package of the
# build machine is used through a wrapper that keeps /usr/include off the
# cross compiler's search path.
set(nanoflann_DIR ${CMAKE_CURRENT_LIST_DIR}/nanoflann-cross
    CACHE PATH "nanoflann package for the cross build")

set(CMAKE_CROSSCOMPILING_EMULATOR
    ${CMAKE_CURRENT_LIST_DIR}/../tests/windows/wine.sh)
