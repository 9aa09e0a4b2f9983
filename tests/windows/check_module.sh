#!/bin/sh
# Checks a Windows build of the plug-in from its PE headers: it exports
# mexFunction alone, under that undecorated name, and imports only from
# MATLAB's libmex.dll and libmx.dll and from DLLs of Windows itself (no
# runtime DLL of the compiler, which MATLAB does not have). With --x87, also
# that its code computes doubles on the x87 unit: no SSE2 double arithmetic.
#
#   check_module.sh [--x87] OBJDUMP MODULE
set -eu
x87=
if [ "$1" = --x87 ]; then
  x87=1
  shift
fi
objdump=$1
module=$2

headers=$("$objdump" -p "$module")
status=0

# Names listed after "[Ordinal/Name Pointer] Table" up to the next blank line.
exports=$(printf '%s\n' "$headers" | awk '
  /\[Ordinal\/Name Pointer\] Table/ { table = 1; next }
  table && NF == 0 { table = 0 }
  table { print $NF }')
if [ "$exports" != mexFunction ]; then
  echo "FAIL: $module exports: $(echo $exports), not mexFunction alone"
  status=1
fi

dlls=$(printf '%s\n' "$headers" | awk '/^[[:space:]]*DLL Name:/ { print $3 }')
for dll in $dlls; do
  case $(echo "$dll" | tr 'A-Z' 'a-z') in
  libmex.dll|libmx.dll|kernel32.dll|msvcrt.dll|user32.dll|advapi32.dll|\
  ntdll.dll|api-ms-win-*.dll) ;;
  *)
    echo "FAIL: $module imports from $dll"
    status=1 ;;
  esac
done
for need in libmex.dll libmx.dll; do
  printf '%s\n' $dlls | grep -qix "$need" || {
    echo "FAIL: $module does not import from $need"
    status=1
  }
done

if [ -n "$x87" ]; then
  sse2=$("$objdump" -d "$module" |
    grep -cE '[[:space:]](add|sub|mul|div|sqrt|min|max|u?comi)sd[[:space:]]|[[:space:]]cvt[a-z0-9]*sd[a-z0-9]*[[:space:]]' ||
    true)
  if [ "$sse2" -ne 0 ]; then
    echo "FAIL: $module has $sse2 SSE2 double instructions"
    status=1
  else
    echo "$module: no SSE2 double arithmetic (x87)"
  fi
fi

echo "$module: exports $(echo $exports); imports from $(echo $dlls)"
exit $status
