# Cross build for 32-bit Windows (Arvel.mexw32) with Debian's mingw-w64:
#   cmake -S . -B build-mingw32 \
#         -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw-i686.cmake
#
# Doubles are computed on the x87 unit, as i686 code does by default; the
# flag states it, so that no -msse2 elsewhere changes the arithmetic.
set(ARVEL_MINGW_TRIPLE i686-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR X86)
set(CMAKE_C_FLAGS_INIT "-mfpmath=387")
set(CMAKE_CXX_FLAGS_INIT "-mfpmath=387")
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw-common.cmake)
