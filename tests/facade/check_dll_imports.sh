#!/usr/bin/env bash
# check_dll_imports.sh OBJDUMP DLL WINE_SYSTEM_DIR FORMAT
# VOKA4ClientCom.DLL as Windows users receive it: an image of the given format
# (pei-i386 for PE32, pei-x86-64 for PE32+) that imports only Windows system
# DLLs (those Wine ships as system DLLs) and UsbClient.dll, and exports
# exactly the four server entry points, undecorated.
set -uo pipefail
objdump=$1 dll=$2 system_dir=$3 expected_format=$4
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

headers=$("$objdump" -p "$dll") || { echo "FAIL: cannot read $dll"; exit 1; }

format=$("$objdump" -f "$dll" | sed -n 's/.*file format //p')
[[ $format == "$expected_format" ]] || fail "file format is '$format', expected $expected_format"

mapfile -t imports < <(sed -n 's/^\s*DLL Name: //p' <<<"$headers")
((${#imports[@]})) || fail "no imports found"
for name in "${imports[@]}"; do
  lower=${name,,}
  if [[ $lower == usbclient.dll ]]; then
    continue
  fi
  [[ -f $system_dir/$lower ]] || fail "imports $name, which is not a Windows system DLL"
done
printf 'imports: %s\n' "${imports[*]}"
[[ " ${imports[*],,} " == *" usbclient.dll "* ]] || fail "does not import UsbClient.dll"

exports=$(awk '/^\[Ordinal\/Name Pointer\] Table/ {on = 1; next} on && /^[ \t]*\[/ {print $NF; next} on {exit}' <<<"$headers" | sort | tr '\n' ' ')
expected="DllCanUnloadNow DllGetClassObject DllRegisterServer DllUnregisterServer "
[[ $exports == "$expected" ]] || fail "exports are '$exports', expected '$expected'"
echo "exports: $exports"

((failures == 0)) && echo "ok"
exit $((failures > 0))
