#!/usr/bin/env bash
# Runs each fuzz target (fuzz/) for SECONDS seconds, one after the other (one
# process at a time), and prints the executions and time of each.
#
#   bash scripts/fuzz.sh SECONDS [TARGET...]
#
# Each target starts from its seed corpus (fuzz/corpus/<target>), splices in
# the words of fuzz/dict/<target>.dict where there is one, and keeps what it
# learns in build/fuzz/corpus/<target>; a crashing input is written to
# build/fuzz/artifacts/ and stops the run with a failure. Add such an input to
# the seed corpus once its fault is mended, so that every test run replays it.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ $# -lt 1 ] || ! [[ $1 =~ ^[0-9]+$ ]]; then
    echo "usage: $0 SECONDS [TARGET...]" >&2
    exit 2
fi
seconds=$1
shift
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
    targets=(command_line section_names pending_renames inf_placeholder log_line image_path group_order result_code)
fi

bash scripts/setup.sh fuzz
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz

work=build/fuzz
mkdir -p "$work/artifacts"
summary=()
status=0
for target in "${targets[@]}"; do
    mkdir -p "$work/corpus/$target"
    # Long enough for the cuts of the log line (4096 bytes) and a sizeable INF.
    case $target in
        log_line|inf_placeholder) max_len=12000 ;;
        *) max_len=4096 ;;
    esac
    dictionary=()
    if [ -f "fuzz/dict/$target.dict" ]; then dictionary=(-dict="fuzz/dict/$target.dict"); fi
    log="$work/fuzz-$target.log"
    echo "== $target: $seconds s"
    started=$(date +%s)
    if "$work/fuzz/fuzz_$target" -max_total_time="$seconds" -max_len="$max_len" -print_final_stats=1 "${dictionary[@]}" \
            -artifact_prefix="$work/artifacts/$target-" "$work/corpus/$target" "fuzz/corpus/$target" >"$log" 2>&1; then
        result=ok
    else
        result=FAILED
        status=1
        grep -E "ERROR|property broken|SUMMARY|Test unit written" "$log" || tail -n 30 "$log"
    fi
    elapsed=$(( $(date +%s) - started ))
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
    corpus=$(find "$work/corpus/$target" -type f | wc -l)
    summary+=("$(printf '%-16s %-6s %12s runs %6s s  corpus %5s' "$target" "$result" "${runs:-?}" "$elapsed" "$corpus")")
done
echo
printf '%s\n' "${summary[@]}"
exit $status
