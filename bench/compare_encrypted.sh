#!/usr/bin/env bash
# What a password costs: extracts the large tree of the benchmark corpora as
# a 7z and as a zip, each once without and once with encryption (7z: AES-256
# with hidden names; zip: WinZip AES-256), all four made by 7zz with the same
# settings, through Quillbox's engine as the program runs it
# (`bench_extraction --extract`), checks that each encrypted result is the
# plain one byte for byte, and prints the median times and the ratio.
#
#   bench/compare_encrypted.sh [FOLDER]
#
# FOLDER (default /dev/shm) holds the output. Needs the corpora of
# bench/compare.sh (made on its first run) and 7zz. QUILLBOX_BENCH_ROUNDS
# sets the rounds (default 3).
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
measured="$(realpath -m -- "${1:-/dev/shm}")"
rounds="${QUILLBOX_BENCH_ROUNDS:-3}"
build="${QUILLBOX_BUILD_DIR:-$root/build}"
cmake --build "$build" --target bench_extraction quillbox-engine bench_corpus >/dev/null
tool="$build/bench/bench_extraction"
cache="${XDG_CACHE_HOME:-$HOME/.cache}/quillbox-bench/v$("$build/bench/bench_corpus" --version)"
[ -f "$cache/large.zip" ] || { echo "no corpora in $cache: run bench/compare.sh once" >&2; exit 1; }
command -v 7zz >/dev/null || { echo "7zz is missing (Debian package 7zip)" >&2; exit 1; }

password=bench-password
if [ ! -f "$cache/encrypted/large-aes.zip" ]; then
    echo "making the encrypted corpora in $cache/encrypted (once; a few minutes)" >&2
    tree="$(mktemp -d "${TMPDIR:-/tmp}/quillbox-bench-tree.XXXXXX")"
    rm -rf "$cache/encrypted" && mkdir -p "$cache/encrypted.partial"
    bsdtar -xf "$cache/large.zip" -C "$tree"
    (cd "$tree" &&
        7zz a -bd -mx=1 "$cache/encrypted.partial/large-plain.7z" . >/dev/null &&
        7zz a -bd -mx=1 -mhe=on -p"$password" "$cache/encrypted.partial/large-aes.7z" . >/dev/null &&
        7zz a -bd -tzip -mx=1 "$cache/encrypted.partial/large-plain.zip" . >/dev/null &&
        7zz a -bd -tzip -mx=1 -mem=AES256 -p"$password" "$cache/encrypted.partial/large-aes.zip" . >/dev/null)
    rm -rf "$tree"
    mv "$cache/encrypted.partial" "$cache/encrypted"
fi

work="$(mktemp -d "$measured/quillbox-bench-encrypted.XXXXXX")"
trap 'rm -rf "$work"' EXIT
# run ARCHIVE [PASSWORD]: prints the wall time in milliseconds; the result
# stays in $work/out.
run() {
    rm -rf "$work/out" && mkdir "$work/out"
    local start end
    start=$(date +%s%N)
    "$tool" --extract "$1" "$work/out" ${2:+"$2"} >/dev/null || { echo "extraction of $1 failed" >&2; exit 1; }
    end=$(date +%s%N)
    echo $(((end - start) / 1000000))
}
median() { tr ' ' '\n' | sort -n | awk '{ a[NR] = $1 } END { print (NR % 2) ? a[(NR + 1) / 2] : (a[NR / 2] + a[NR / 2 + 1]) / 2 }'; }

printf '| archive | plain s | encrypted s | encrypted/plain |\n|---|---:|---:|---:|\n'
for kind in 7z zip; do
    plain="" encrypted=""
    for ((round = 1; round <= rounds; round++)); do
        plain+=" $(run "$cache/encrypted/large-plain.$kind")"
        rm -rf "$work/plain" && mv "$work/out" "$work/plain"
        encrypted+=" $(run "$cache/encrypted/large-aes.$kind" "$password")"
        # The decrypted tree must be the plain one, byte for byte.
        # (each lands in a folder named after its archive)
        diff -r "$work/plain"/* "$work/out"/* >/dev/null || { echo "large-aes.$kind: the result differs" >&2; exit 1; }
    done
    p="$(echo $plain | median)" e="$(echo $encrypted | median)"
    awk -v k="large.$kind" -v p="$p" -v e="$e" 'BEGIN { printf "| %s | %.2f | %.2f | %.2f |\n", k, p / 1000, e / 1000, e / p }'
done
