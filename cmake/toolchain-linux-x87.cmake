# 32-bit x86 Linux build whose doubles are computed on the x87 unit, with
# Debian's g++-multilib:
#   cmake -S . -B build-x87 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-linux-x87.cmake \
#         -DARVEL_GTEST_SOURCE_DIR=/usr/src/googletest
#
# It shows what the estimators give where intermediate results carry the
# x87's 64-bit significand and wider exponent, as in Arvel.mexw32.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_C_COMPILER gcc)
set(CMAKE_CXX_COMPILER g++)
set(CMAKE_C_FLAGS_INIT "-m32 -mfpmath=387")
set(CMAKE_CXX_FLAGS_INIT "-m32 -mfpmath=387")
set(CMAKE_EXE_LINKER_FLAGS_INIT -m32)
set(CMAKE_SHARED_LINKER_FLAGS_INIT -m32)
set(CMAKE_MODULE_LINKER_FLAGS_INIT -m32)
set(CMAKE_LIBRARY_ARCHITECTURE i386-linux-gnu)

# The tests run natively, or under qemu-i386 where the kernel cannot.
set(CMAKE_CROSSCOMPILING_EMULATOR
    ${CMAKE_CURRENT_LIST_DIR}/../tests/windows/i386.sh)
