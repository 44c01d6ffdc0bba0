#!/usr/bin/env bash
# Builds everything and runs all tests: the Windows build under Wine and the
# native build of the platform-free code, in one ctest run; then the build
# with the fault gate and its sweeps (a sample of each; scripts/fault-sweep.sh
# runs them in full).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake --preset windows
cmake --build --preset windows
ctest --preset windows
cmake --preset windows-faults
cmake --build --preset windows-faults
ctest --preset windows-faults
