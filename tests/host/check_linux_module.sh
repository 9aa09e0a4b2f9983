#!/bin/sh
# Checks what Arvel.mexa64 asks of the process that loads it, from its
# dynamic section and symbol versions: it needs no C++ runtime library
# (only libmex, libmx and the C library's own parts), no glibc symbol
# version above GLIBC_2.17, no libstdc++ or libgcc symbol version at all,
# and it exports mexFunction alone.
#
#   check_linux_module.sh MODULE
set -eu
module=$1
status=0

for lib in $(readelf -d "$module" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p'); do
  case $lib in
  libmex.so|libmx.so|libc.so.6|libm.so.6|libpthread.so.0|libdl.so.2|\
  ld-linux-x86-64.so.2) ;;
  *) echo "FAIL: $module needs $lib"; status=1 ;;
  esac
done

symbols=$(objdump -T "$module")
for version in $(printf '%s\n' "$symbols" | grep -o '(\?[A-Z][A-Z_]*_[0-9][0-9.]*)\?' |
                 tr -d '()' | sort -u); do
  case $version in
  GLIBC_[0-9]*)
    number=${version#GLIBC_}
    major=${number%%.*}
    rest=${number#*.}
    minor=${rest%%.*}
    if [ "$major" -gt 2 ] || { [ "$major" -eq 2 ] && [ "$minor" -gt 17 ]; }; then
      echo "FAIL: $module asks for $version:"
      printf '%s\n' "$symbols" | grep "$version" | sed 's/^/  /'
      status=1
    fi ;;
  *)
    echo "FAIL: $module asks for $version:"
    printf '%s\n' "$symbols" | grep "$version" | sed 's/^/  /'
    status=1 ;;
  esac
done

exports=$(printf '%s\n' "$symbols" | awk '$4 != "*UND*" && $2 ~ /g/ && NF >= 7 { print $NF }')
if [ "$exports" != mexFunction ]; then
  echo "FAIL: $module exports: $(echo $exports), not mexFunction alone"
  status=1
fi

echo "$module: needs $(readelf -d "$module" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p' | tr '\n' ' ')"
echo "$module: newest glibc version $(printf '%s\n' "$symbols" | grep -o 'GLIBC_[0-9.]*' | sort -t. -k2,2n -k3,3n -u | tail -1); exports $(echo $exports)"
exit $status
