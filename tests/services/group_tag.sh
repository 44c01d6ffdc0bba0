#!/usr/bin/env bash
# group_tag.sh WINE_RUN TEST_EXE: runs the Setup step, restarts the prefix's
# services (wine-run ends the prefix's wineserver when its program is done)
# and runs the Check step, in one prefix of its own.
set -euo pipefail
wine_run=$1
exe=$2
root=${TARNEL_WINE_ROOT:-/tmp/tarnel-wine}
mkdir -p "$root"
export TARNEL_WINE_PREFIX=$(mktemp -d "$root/group-tag.XXXXXX")
rmdir "$TARNEL_WINE_PREFIX"
trap 'rm -rf "$TARNEL_WINE_PREFIX"' EXIT
"$wine_run" "$exe" --gtest_filter='Setup.*'
"$wine_run" "$exe" --gtest_filter='Check.*'
