#!/usr/bin/env bash
# Sets up what is missing, builds, and runs the whole test suite without a display.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/setup.sh
export QT_QPA_PLATFORM=offscreen
cd build
ctest --output-on-failure -j "$(nproc)" "$@"
