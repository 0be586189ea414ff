#!/usr/bin/env bash
# check_dll_imports.sh OBJDUMP DLL WINE_SYSTEM_DIR FORMAT IMPORT_LIST
# VOKA4ClientCom.DLL as Windows users receive it: an image of the given format
# (pei-i386 for PE32, pei-x86-64 for PE32+) that imports only Windows system
# DLLs (those Wine ships as system DLLs) and UsbClient.dll, exactly the
# functions IMPORT_LIST names (lines DLL!FUNCTION; # starts a comment), and
# exports exactly the four server entry points, undecorated.
set -uo pipefail
export LC_ALL=C
objdump=$1 dll=$2 system_dir=$3 expected_format=$4 import_list=$5
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

# A function the list does not name may raise the Windows versions the DLL
# runs on: adding it is a decision, taken by updating the list.
imported=$(awk '/^\tDLL Name: / {dll = $3; next} dll != "" && /^\t[0-9a-f]+\t/ {print dll "!" $NF} /^$/ {dll = ""}' \
  <<<"$headers" | sort)
listed=$(sed 's/#.*//; s/[[:space:]]*$//; /^$/d' "$import_list" | sort)
unlisted=$(comm -13 <(echo "$listed") <(echo "$imported"))
unused=$(comm -23 <(echo "$listed") <(echo "$imported"))
[[ -z $unlisted ]] || fail "imports functions that $import_list does not list:"$'\n'"$unlisted"
[[ -z $unused ]] || fail "no longer imports functions that $import_list lists:"$'\n'"$unused"

exports=$(awk '/^\[Ordinal\/Name Pointer\] Table/ {on = 1; next} on && /^[ \t]*\[/ {print $NF; next} on {exit}' <<<"$headers" | sort | tr '\n' ' ')
expected="DllCanUnloadNow DllGetClassObject DllRegisterServer DllUnregisterServer "
[[ $exports == "$expected" ]] || fail "exports are '$exports', expected '$expected'"
echo "exports: $exports"

((failures == 0)) && echo "ok"
exit $((failures > 0))
