#!/usr/bin/env bash
# The main job: builds the install image and runs tarnel.exe under Wine on a
# throw-away Windows 10 machine, then shows its exit code and its log.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake --preset windows >/dev/null
cmake --build --preset windows --target tarnel tarnel_sample
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export WINEPREFIX=$(mktemp -d /tmp/tarnel-demo.XXXXXX)
trap 'wineserver -k >/dev/null 2>&1 || true; rm -rf "$WINEPREFIX"' EXIT
echo "== making a throw-away Windows 10 prefix in $WINEPREFIX"
wineboot -i >/dev/null 2>&1
wine reg add 'HKCU\Software\Wine' /v Version /d win10 /f >/dev/null 2>&1
# Let the first session end: a service created while it shuts down is lost.
wineserver -w
image='C:\tarnel'
mkdir -p "$WINEPREFIX/drive_c/tarnel/lib"
cp -r build/windows/dist/. "$WINEPREFIX/drive_c/tarnel/"
run() {
    echo
    echo "== tarnel.exe $*"
    # cmd reports the full 32-bit exit code; Linux would see only its low 8 bits.
    local code
    code=$(wine cmd /c "$image\\tarnel.exe $* & echo %ERRORLEVEL%" 2>/dev/null | tr -d '\r' | tail -n 1) || true
    printf 'exit code 0x%08X\n' $(( code & 0xFFFFFFFF ))
}
services() {
    echo "-- driver services:"
    for name in vxmon vxfsd vxtrap vxaux vxvaultdisk vxvault Tarnel; do
        state=$(wine sc query "$name" 2>/dev/null | tr -d '\r' | sed -n 's/.*STATE *: *[0-9]* *//p' || true)
        printf '   %-12s %s\n' "$name" "${state:-not registered}"
    done
}
run --install "core;backsafe" --vxtraplib_dir 'C:\tarnel\lib' --verbose
echo "(0xFFFFFFFF: installed and running)"
services
run --install "core;elam;Teleport" --vxtraplib_dir 'C:\tarnel\lib' --verbose
echo "(0x80070057: an unknown feature; nothing changes)"
run --uninstall --verbose
services
run --cleanup --verbose
echo
echo "== C:\\tarnel\\tarnel.log"
tr -d '\r' < "$WINEPREFIX/drive_c/tarnel/tarnel.log"
