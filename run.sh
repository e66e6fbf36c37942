#!/usr/bin/env bash
# Sets up what is missing, builds, and starts Quillbox with the given archives.
set -euo pipefail
archives=()
for a in "$@"; do archives+=("$(realpath -m -- "$a")"); done
cd "$(dirname "$0")"
source scripts/setup.sh
exec build/src/app/quillbox "${archives[@]}"
