#!/usr/bin/env bash
# Builds everything and runs all tests: the Windows build under Wine and the
# native build of the platform-free code, in one ctest run.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake --preset windows
cmake --build --preset windows
ctest --preset windows
