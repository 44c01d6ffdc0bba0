#!/usr/bin/env bash
# group_tag.sh WINE_RUN TEST_EXE: runs the Setup step, restarts the prefix's
# services (wine-run ends the prefix's wineserver when its program is done)
# and runs the Check step, in one prefix of its own. Each step is bounded by
# wine-run (TARNEL_WINE_TIMEOUT); on a SIGTERM, SIGINT or SIGHUP the step that
# runs is stopped with SIGTERM (a program started in the background ignores
# SIGINT), so that it ends its prefix's wineserver first.
set -euo pipefail
wine_run=$1
exe=$2
root=${TARNEL_WINE_ROOT:-/tmp/tarnel-wine}
mkdir -p "$root"
export TARNEL_WINE_PREFIX=$(mktemp -d "$root/group-tag.XXXXXX")
rmdir "$TARNEL_WINE_PREFIX"
step=
trap 'rm -rf "$TARNEL_WINE_PREFIX"' EXIT
stop() {
    trap '' TERM INT HUP
    if [ -n "$step" ]; then
        kill -TERM "$step" 2>/dev/null || true
        wait "$step" || true  # wine-run's own cleanup is bounded
    fi
    exit "$1"
}
trap 'stop 143' TERM
trap 'stop 130' INT
trap 'stop 129' HUP
# Runs in the background and is waited for, so that a signal is handled at once.
run_step() {
    "$wine_run" "$exe" --gtest_filter="$1" &
    step=$!
    wait "$step"
    step=
}
run_step 'Setup.*'
run_step 'Check.*'
