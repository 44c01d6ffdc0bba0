#!/usr/bin/env bash
# Builds and runs every benchmark and writes their figures to bench/results.md:
#   the CRC-32 beside zlib and a plain read (native, Google Benchmark),
#   GetFileSizeAndCRC on a 64 MiB file beside a plain read (under Wine),
#   an install of "core;backsafe" beside a baseline program that makes only
#     the essential platform calls, alternately, each run in a fresh prefix,
#   how the pending-rename walk, DeleteKeyRecursive, CleanUpFiles and the
#     log grow with their input (under Wine).
# Every figure that is compared is measured side by side in this one run.
# Takes about ten minutes. TARNEL_BENCH_ROUNDS sets the install rounds (5).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
rounds=${TARNEL_BENCH_ROUNDS:-5}
wine_root=${TARNEL_WINE_ROOT:-/tmp/tarnel-wine}
work=$(mktemp -d /tmp/tarnel-bench.XXXXXX)
prefix=
cleanup() {
    [ -n "$prefix" ] && rm -rf "$prefix"
    rm -rf "$work"
}
trap cleanup EXIT
figures=$work/figures.txt
: >"$figures"

echo "== building"
cmake --preset native >/dev/null
cmake --build --preset native --target crc32_bench
cmake --preset windows >/dev/null
cmake --build --preset windows --target tarnel tarnel_sample windows_benchmarks

echo "== CRC-32 (native)"
build/native/bench/crc32_bench --benchmark_repetitions=3 --benchmark_enable_random_interleaving=true \
    --benchmark_min_time=0.2 --benchmark_report_aggregates_only=true \
    --benchmark_out="$work/crc32.json" --benchmark_out_format=json

wine_run=tests/support/wine-run
programs=build/windows/bench/windows
echo "== GetFileSizeAndCRC (Wine)"
TARNEL_WINE_TIMEOUT=300 "$wine_run" "$programs/verify_bench.exe" | tr -d '\r' | tee -a "$figures"
echo "== growth (Wine)"
TARNEL_WINE_TIMEOUT=900 "$wine_run" "$programs/scaling_bench.exe" | tr -d '\r' | tee -a "$figures"

# One timed run in a fresh clone of the template prefix, with the install
# image in C:\tarnel: <key> <program> <arguments...>. The clone's own start
# (its first Wine process) comes before, and run_timed waits for the machine
# to settle before it starts the clock.
timed_install() {
    prefix=$(mktemp -d "$wine_root/bench-prefix.XXXXXX")
    rmdir "$prefix"
    TARNEL_WINE_PREFIX=$prefix TARNEL_WINE_TIMEOUT=120 "$wine_run" cmd /c exit >/dev/null
    mkdir -p "$prefix/drive_c/tarnel/lib"
    cp -r build/windows/dist/. "$prefix/drive_c/tarnel/"
    cp "$programs"/*.exe "$prefix/drive_c/tarnel/"
    TARNEL_WINE_PREFIX=$prefix TARNEL_WINE_TIMEOUT=200 "$wine_run" 'C:\tarnel\run_timed.exe' "$@" |
        tr -d '\r' | tee -a "$figures"
    if [ -f "$prefix/drive_c/tarnel/tarnel.log" ]; then tr -d '\r' <"$prefix/drive_c/tarnel/tarnel.log" >"$work/install.log"; fi
    rm -rf "$prefix"
    prefix=
}
tarnel_install=('C:\tarnel\tarnel.exe' --install 'core;backsafe' --vxtraplib_dir 'C:\tarnel\lib')
baseline_install=('C:\tarnel\baseline_install.exe' 'C:\tarnel\drivers\x64' vxmon vxfsd vxtrap vxaux vxvaultdisk vxvault)
echo "== install of core;backsafe beside the baseline (Wine, $rounds rounds)"
for ((round = 1; round <= rounds; round++)); do
    echo "-- round $round"
    if ((round % 2)); then
        timed_install install.baseline "${baseline_install[@]}"
        timed_install install.tarnel "${tarnel_install[@]}"
    else
        timed_install install.tarnel "${tarnel_install[@]}"
        timed_install install.baseline "${baseline_install[@]}"
    fi
done
echo "-- one more install with --verbose, for where the time goes"
timed_install install.verbose "${tarnel_install[@]}" --verbose

python3 bench/report.py --crc32 "$work/crc32.json" --figures "$figures" --install-log "$work/install.log" \
    --rounds "$rounds" --out bench/results.md
echo "== bench/results.md"
cat bench/results.md
