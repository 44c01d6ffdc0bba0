#!/usr/bin/env bash
# The main job: the whole life of the sample product under Wine on a
# throw-away Windows 10 machine: install, an update with newer driver images
# that waits for a restart, the restart, uninstall and cleanup, each with
# tarnel.exe's exit code, the services and their states.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake --preset windows >/dev/null
cmake --build --preset windows --target tarnel tarnel_sample elam_hive >/dev/null
build=build/windows
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="

# The throw-away machine is a clone of the tests' Windows 10 template prefix
# (made once, about 20 s): hard links for the files Wine never rewrites,
# copies of the registry files.
tests/support/wine-run --prepare
template=$(ls -d /tmp/tarnel-wine/template-* | head -n 1)
export WINEPREFIX=$(mktemp -d /tmp/tarnel-demo.XXXXXX)
trap 'wineserver -k >/dev/null 2>&1 || true; rm -rf "$WINEPREFIX"' EXIT
rmdir "$WINEPREFIX"
cp -al "$template" "$WINEPREFIX"
for reg in system.reg user.reg userdef.reg; do
    rm -f "$WINEPREFIX/$reg"
    cp "$template/$reg" "$WINEPREFIX/$reg"
done
echo "== a throw-away Windows 10 machine in $WINEPREFIX"
# Every Windows 10 machine has the early-launch hive; a Wine prefix does not.
wine "$build/tests/fixtures/elam_hive.exe"

image='C:\tarnel'
folder="$WINEPREFIX/drive_c/tarnel"
mkdir -p "$folder/lib"
cp -r "$build/dist/." "$folder/"
features='core;backsafe;elam'
drivers='vxmon vxfsd vxtrap vxaux vxvaultdisk vxvault vxearly'
services_key='HKLM\SYSTEM\CurrentControlSet\Services'

meaning() {
    case $1 in
        0xFFFFFFFF) echo "installed and running" ;;
        0x00000000) echo "done (for an install: takes effect after a restart)" ;;
        0x80070057) echo "bad command line or feature list" ;;
        0x00000420) echo "another installation is running" ;;
        *) echo "failed: the failing step's code" ;;
    esac
}
run() {
    echo
    echo "== tarnel.exe $*"
    # cmd reports the full 32-bit exit code; Linux would see only its low 8 bits.
    local code
    code=$(wine cmd /c "$image\\tarnel.exe $* & echo %ERRORLEVEL%" 2>/dev/null | tr -d '\r' | tail -n 1) || true
    code=$(printf '0x%08X' $((code & 0xFFFFFFFF)))
    echo "exit code $code: $(meaning "$code")"
}
# The state of each driver service and of "Tarnel", and which build of the
# sample driver each running one was loaded from.
services() {
    local queries="" name
    for name in $drivers Tarnel; do
        queries+="echo @$name & sc query $name & reg query $services_key\\$name /v LoadedGeneration & "
    done
    { wine cmd /c "${queries}echo" 2>/dev/null || true; } | tr -d '\r' | awk '
        /^@/ { name = substr($0, 2); names[++n] = name; state[name] = "not registered" }
        /STATE/ { sub(/.*STATE *: *[0-9]* */, ""); state[name] = $0 }
        /LoadedGeneration/ { build[name] = ($NF == "0x2") ? "newer build" : "first build" }
        END {
            print "-- services:"
            for (k = 1; k <= n; k++) {
                line = sprintf("   %-12s %s", names[k], state[names[k]])
                if (state[names[k]] ~ /RUNNING/ && build[names[k]] != "") line = line " (" build[names[k]] ")"
                print line
            }
        }'
}
images() {
    echo "-- driver images in C:\\windows\\system32\\drivers:"
    local name
    for name in $drivers; do
        printf '   %-16s %s\n' "$name.sys" \
            "$(stat -c '%s bytes' "$WINEPREFIX/drive_c/windows/system32/drivers/$name.sys" 2>/dev/null || echo missing)"
    done
}

run --install "$features" --vxtraplib_dir 'C:\tarnel\lib' --verbose
services
images

echo
echo "== an uninstall that waits for a restart"
# Windows keeps a driver that cannot be stopped running until the restart,
# its service marked for deletion (the "DeleteFlag" value); Wine stops and
# deletes every service instead, so the demo leaves the machine as Windows
# would: the running drivers marked, the rest gone. (vxaux is installed by
# SetupAPI, which on Windows queues the replacement of an image in use and
# under Wine does not: it goes too.)
marks=""
for name in $drivers; do
    case $name in
        vxaux | vxearly) marks+="sc stop $name & sc delete $name & " ;;
        *) marks+="reg add $services_key\\$name /v DeleteFlag /t REG_DWORD /d 1 /f & " ;;
    esac
done
wine cmd /c "${marks}echo" >/dev/null 2>&1
services

echo
echo "== the product's setup places the newer build (version 1.0.0.2) beside tarnel.exe"
cp -r "$build/dist-newer/." "$folder/"
run --install "$features" --vxtraplib_dir 'C:\tarnel\lib' --verbose
services
images
echo "-- file operations queued for the restart:"
wine reg query 'HKLM\SYSTEM\CurrentControlSet\Control\Session Manager' /v PendingFileRenameOperations 2>/dev/null |
    tr -d '\r' | sed -n 's/.*REG_MULTI_SZ *//p' | awk '{
        n = split($0, part, /\\0/)
        for (i = 1; i < n; i += 2) {
            if (part[i] == "") continue
            if (part[i + 1] == "") print "   delete " part[i]; else print "   " part[i] " -> " part[i + 1]
        }
    }'

echo
echo "== restart: every process of the machine ends, then wineboot -r carries out the queued file operations"
wineserver -k
wineserver -w
wine wineboot -r >/dev/null 2>&1
services
images
echo "-- old images moved aside and still in the temporary folder:" \
    "$(find "$WINEPREFIX/drive_c/users" -path '*/Temp/vx*.sys?*' 2>/dev/null | wc -l)"

run --uninstall --verbose
services
run --cleanup --verbose
# The machine goes with this script; its log stays in the build tree.
cp "$folder/tarnel.log" "$build/demo-tarnel.log"
echo
echo "== the log (C:\\tarnel\\tarnel.log on the machine, $(wc -l <"$build/demo-tarnel.log") lines): $PWD/$build/demo-tarnel.log"
