#!/bin/sh
# Runs a Windows program under wine, as the emulator of the cross builds'
# tests: quietly, without windows or dialogs, in a prefix of the build tree.
#
#   wine.sh PROGRAM.exe [ARGUMENTS...]
#   wine.sh --init PROGRAM.exe  (makes the prefix before the tests share it)
#
# WINEPREFIX defaults to wineprefix/ in the build tree that holds PROGRAM
# (the nearest directory above it with a CMakeCache.txt). DLLs are found
# next to PROGRAM and on WINEPATH. A 32-bit program that no 32-bit wine can
# run is not run: that is said on standard output and the exit status is 77,
# which the tests take as skipped.
set -eu

init=
if [ "$1" = --init ]; then
  init=1
  shift
fi
program=$1
shift
case $program in /*) ;; *) program=$PWD/$program ;; esac

if [ -z "${WINEPREFIX:-}" ]; then
  dir=$(dirname "$program")
  while [ "$dir" != / ] && [ ! -f "$dir/CMakeCache.txt" ]; do
    dir=$(dirname "$dir")
  done
  [ "$dir" = / ] && dir=$(dirname "$program")
  WINEPREFIX=$dir/wineprefix
fi
export WINEPREFIX
export WINEDEBUG=-all
# No Mono or Gecko installer on first start, no display.
export WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY

if ! command -v wine >/dev/null 2>&1; then
  echo "wine.sh: wine is not installed: cannot run $program" >&2
  exit 1
fi

# The machine field of the PE header: 0x14c for i386, 0x8664 for x86-64.
# Debian's wine runs 32-bit programs with its 32-bit loader, a 32-bit Linux
# program itself.
pe=$(od -An -tu4 -j60 -N4 "$program" | tr -d ' ')
machine=$(od -An -tx2 -j$((pe + 4)) -N2 "$program" | tr -d ' ')
if [ "$machine" = 014c ] && [ -x /usr/lib/wine/wine64 ]; then
  why=
  if [ ! -x /usr/lib/wine/wine ]; then
    why="32-bit wine (Debian's wine32:i386) is not installed"
  elif ! /usr/lib/wine/wine --version >/dev/null 2>&1; then
    why="this kernel does not run 32-bit x86 programs, 32-bit wine among them"
  fi
  if [ -n "$why" ]; then
    echo "SKIPPED: $(basename "$program") is a 32-bit program and $why."
    exit 77
  fi
fi

mkdir -p "$WINEPREFIX"
if [ -n "$init" ]; then
  echo "wine prefix $WINEPREFIX"
  exec wine wineboot --init
fi
exec wine "$program" "$@"
