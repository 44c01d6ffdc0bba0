#!/usr/bin/env bash
# Runs every fault sweep in full: each platform call of each swept run failed,
# once and from there on, for every call K (ctest samples the K instead).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake --preset windows-faults
cmake --build --preset windows-faults
TARNEL_FAULT_SWEEP=full ctest --preset windows-faults "$@"
