#!/bin/bash
# Installs the Debian packages that are missing, from Debian's archive.
#   bash scripts/setup.sh demo   what the Octave demo needs
#   bash scripts/setup.sh test   what every test needs
#   bash scripts/setup.sh compare   what the comparison with other tools needs
set -euo pipefail

# "a|b": any of them will do; the first is installed if none is.
demo=(cmake make g++ libnanoflann-dev octave liboctave-dev
      "gnuplot-nox|gnuplot-qt|gnuplot-x11")
test=("${demo[@]}" libgtest-dev clang libclang-rt-14-dev g++-multilib
      g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix binutils-mingw-w64-x86-64
      binutils-mingw-w64-i686 wine wine64 qemu-user)
compare=("${demo[@]}" python3-scipy python3-sklearn r-cran-fnn)

case "${1:-test}" in
  demo) wanted=("${demo[@]}") ;;
  test) wanted=("${test[@]}") ;;
  compare) wanted=("${compare[@]}") ;;
  *) echo "usage: $0 demo|test|compare" >&2; exit 2 ;;
esac

missing=()
installed() {
  dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"
}
for p in "${wanted[@]}"; do
  IFS='|' read -ra alternatives <<< "$p"
  found=
  for a in "${alternatives[@]}"; do
    if installed "$a"; then found=1; break; fi
  done
  [ -n "$found" ] || missing+=("${alternatives[0]}")
done
if ((${#missing[@]})); then
  echo "== installing: ${missing[*]}"
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo=sudo
  $sudo apt-get update -q
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q \
    "${missing[@]}"
fi
