#!/usr/bin/env bash
# check_imports.sh OBJDUMP EXE: fails unless every DLL that EXE imports is on
# the KnownDLLs list, which the loader never takes from the program's folder.
set -euo pipefail
objdump=$1
exe=$2
known="advapi32.dll kernel32.dll msvcrt.dll ole32.dll oleaut32.dll shell32.dll shlwapi.dll setupapi.dll user32.dll gdi32.dll comdlg32.dll"
imports=$("$objdump" -p "$exe" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'A-Z' 'a-z' | sort -u)
echo "imports of $(basename "$exe"): $(echo $imports)"
[ -n "$imports" ] || { echo "no import table found"; exit 1; }
status=0
for dll in $imports; do
    case " $known " in
        *" $dll "*) ;;
        *) echo "not a KnownDLL: $dll"; status=1 ;;
    esac
done
for forbidden in fltlib.dll version.dll wintrust.dll; do
    if echo "$imports" | grep -qx "$forbidden"; then
        echo "must be loaded at run time, not imported: $forbidden"; status=1
    fi
done
exit $status
