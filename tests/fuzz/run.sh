#!/usr/bin/env bash
# Builds the fuzz targets with clang (libFuzzer, AddressSanitizer, UBSan) in
# build-fuzz/ and runs each for the given number of seconds (default 30),
# seeded from the libarchive corpus beside the checkout. Findings land in
# build-fuzz/findings/.
set -euo pipefail
cd "$(dirname "$0")/../.."
seconds="${1:-30}"
corpus="$(realpath -m ../shared/corpus/libarchive)"
CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILLBOX_FUZZ=ON \
    -DBUILD_TESTING=OFF >/dev/null
cmake --build build-fuzz -j"$(nproc)" --target fuzz_rar_headers fuzz_zip_central_directory fuzz_entry_names
mkdir -p build-fuzz/findings
seeds() { find "$corpus" -maxdepth 1 -type f -name "$1" -size -2M | head -200; }
run() {
    local target=$1 pattern=$2 work="build-fuzz/seeds-$1"
    rm -rf "$work" && mkdir -p "$work"
    seeds "$pattern" | xargs -r cp -t "$work"
    echo "== $target ($seconds s)"
    "build-fuzz/tests/fuzz/$target" -max_total_time="$seconds" -max_len=65536 \
        -artifact_prefix=build-fuzz/findings/"$target"- "$work"
}
run fuzz_rar_headers '*.rar'
run fuzz_zip_central_directory '*.zip*'
run fuzz_entry_names '*.txt'
