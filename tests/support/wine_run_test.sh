#!/usr/bin/env bash
# wine_run_test.sh WINE_RUN PROBE_EXE: what wine-run does with a program that
# hangs (it is ended at the bound, or when wine-run is stopped, and what it
# printed is shown) and with one that Wine seems to end before it has run (a
# private prefix may start it once more, and says so; a named one never does).
# Every run here is bounded by wine-run itself and once more from outside.
set -uo pipefail
wine_run=$1
probe=$2
root=${TARNEL_WINE_ROOT:-/tmp/tarnel-wine}
mkdir -p "$root"
work=$(mktemp -d "$root/wine-run-test.XXXXXX")
trap 'rm -rf "$work"' EXIT
failures=0

check() {
    local what=$1
    shift
    if "$@"; then
        echo "ok: $what"
    else
        echo "FAILED: $what"
        failures=$((failures + 1))
    fi
}

# The clone a run names in its last message "... (prefix PATH)".
prefix_of() { sed -n 's/.*(prefix \(.*\))$/\1/p' "$1" | tail -n 1; }
gone() { [ -n "$1" ] && [ ! -e "$1" ]; }
show() {
    echo "-- output:"
    cat "$work/out"
    echo "-- wine-run's messages:"
    cat "$work/err"
}

echo "== a program that hangs is ended at wine-run's bound"
started=$SECONDS
TARNEL_WINE_TIMEOUT=5 timeout -s KILL 60 "$wine_run" "$probe" hang >"$work/out" 2>"$work/err"
rc=$?
show
check "exit code 124 (timed out), got $rc" [ $rc -eq 124 ]
check "ended within 30 s ($((SECONDS - started)) s)" [ $((SECONDS - started)) -lt 30 ]
check "what the program printed before it hung is shown" grep -q "wine_run_probe: started" "$work/out"
check "the time-out is reported" grep -q "timed out after 5 s" "$work/err"
clone=$(prefix_of "$work/err")
check "the clone '$clone' is removed" gone "$clone"

echo "== the output is passed on while the program runs; SIGTERM ends the run"
# Emptied here: the redirections below happen in the background job, maybe
# only after the first look at the output.
: >"$work/out"
: >"$work/err"
TARNEL_WINE_TIMEOUT=45 "$wine_run" "$probe" hang >"$work/out" 2>"$work/err" &
run=$!
for ((i = 0; i < 300; i++)); do
    grep -q "wine_run_probe: started" "$work/out" && break
    sleep 0.1
done
check "the program's line is shown while it still runs" grep -q "wine_run_probe: started" "$work/out"
kill -TERM $run
for ((i = 0; i < 300; i++)); do
    kill -0 $run 2>/dev/null || break
    sleep 0.1
done
if kill -0 $run 2>/dev/null; then
    echo "FAILED: wine-run still runs 30 s after SIGTERM"
    failures=$((failures + 1))
    kill -KILL $run
fi
wait $run
rc=$?
show
check "exit code 143 (SIGTERM), got $rc" [ $rc -eq 143 ]
check "the stop is reported" grep -q "stopped by SIGTERM" "$work/err"
clone=$(prefix_of "$work/err")
check "the clone '$clone' is removed" gone "$clone"

echo "== a program that ends at once without a word, in a private prefix"
: >"$work/starts"
timeout -s KILL 60 "$wine_run" "$probe" fail "Z:$work/starts" >"$work/out" 2>"$work/err"
rc=$?
show
starts=$(wc -l <"$work/starts")
retries=$(grep -c "starting it again" "$work/err")
check "the program's exit code 3 is passed on, got $rc" [ $rc -eq 3 ]
check "each start but the first is reported ($starts starts, $retries reported)" [ "$starts" -eq $((retries + 1)) ]
check "started twice at most" [ "$starts" -le 2 ]

echo "== the same in a named prefix: never started twice"
: >"$work/starts"
TARNEL_WINE_PREFIX="$work/named" timeout -s KILL 60 "$wine_run" "$probe" fail "Z:$work/starts" \
    >"$work/out" 2>"$work/err"
rc=$?
show
check "the program's exit code 3 is passed on, got $rc" [ $rc -eq 3 ]
check "started once ($(wc -l <"$work/starts") starts)" [ "$(wc -l <"$work/starts")" -eq 1 ]
check "no start is reported" bash -c "! grep -q 'starting it again' '$work/err'"
check "the named prefix is kept" [ -d "$work/named" ]

[ $failures -eq 0 ] || { echo "$failures checks failed"; exit 1; }
echo "all checks passed"
