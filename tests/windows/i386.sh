#!/bin/sh
# Runs a 32-bit x86 Linux program, as the emulator of the x87 build's tests:
# natively where the kernel runs such programs, otherwise under qemu-i386
# (Debian's qemu-user), which emulates the x87 unit in its 80-bit format.
# Where neither can, that is said on standard output and the exit status is
# 77, which the tests take as skipped.
#
#   i386.sh PROGRAM [ARGUMENTS...]
#   i386.sh --probe      (tells how programs would be run; 77 if not at all)
set -eu

# The 32-bit dynamic loader is itself a 32-bit program.
if /lib/ld-linux.so.2 --help >/dev/null 2>&1; then
  how=native
elif command -v qemu-i386 >/dev/null 2>&1; then
  how=qemu-i386
else
  echo "SKIPPED: this kernel does not run 32-bit x86 programs and" \
       "qemu-i386 (Debian's qemu-user) is not installed."
  exit 77
fi

if [ "$1" = --probe ]; then
  echo "$how"
  exit 0
fi
if [ "$how" = native ]; then
  exec "$@"
fi
exec qemu-i386 "$@"
