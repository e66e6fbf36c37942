#!/usr/bin/env bash
# Puts each deliberate fault of tests/mutants.txt into a copy of the sources,
# one at a time, rebuilds, runs the whole suite and reports the faults the
# suite did not notice. Exits non-zero when one went unnoticed or did not apply.
#
#   tests/mutants.sh [--rev REV] [--list FILE] [PATTERN]
#
# REV: the commit whose sources are mutated (default HEAD). PATTERN: only the
# faults whose name contains it. The copy lives beside the checkout (so that
# ../shared/corpus resolves as it does for the checkout) in <checkout>-mutants.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
rev=HEAD
list="$root/tests/mutants.txt"
pattern=""
while [ $# -gt 0 ]; do
    case "$1" in
        --rev) rev="$2"; shift 2 ;;
        --list) list="$(realpath "$2")"; shift 2 ;;
        *) pattern="$1"; shift ;;
    esac
done

work="$root-mutants"
src="$work/src-copy"
build="$work/build"
rm -rf "$src"
mkdir -p "$src" "$build"
git -C "$root" archive "$rev" | tar -x -C "$src"
# The corpus is found beside the sources, as for the checkout.
ln -sfn "$(cd "$root/.." && pwd)/shared" "$work/shared"

generator=()
command -v ninja >/dev/null && generator=(-G Ninja)
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S "$src" -B "$build" "${generator[@]}" "${launcher[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_EXE_LINKER_FLAGS=-fuse-ld=gold >/dev/null

suite() {
    (cd "$build" && QT_QPA_PLATFORM=offscreen ctest -j "$(nproc)" --timeout 120 --stop-on-failure \
        >"$work/last-suite.log" 2>&1)
}
build() {
    cmake --build "$build" -j "$(nproc)" >"$work/last-build.log" 2>&1
}

echo "Sources of $rev in $src"
build || { echo "the unmutated sources do not build: $work/last-build.log"; exit 2; }
suite || { echo "the suite fails without any fault: $work/last-suite.log"; exit 2; }

# Applies one fault with perl: the text must be there exactly once.
apply() { # file from to
    FROM="$2" TO="$3" perl -0777 -i -pe '
        BEGIN { ($f, $t) = ($ENV{FROM}, $ENV{TO}); s/\\n/\n/g for $f, $t; }
        my $n = () = /\Q$f\E/g;
        die "found $n times\n" unless $n == 1;
        s/\Q$f\E/$t/;' "$1"
}

caught=0
missed=()
broken=()
run_one() { # name file from to
    local name="$1" file
    file=$(find "$src/src" -name "$2" -type f | head -n 1)
    if [ -z "$file" ] || ! cp "$file" "$work/original" || ! apply "$file" "$3" "$4" 2>"$work/apply.log"; then
        echo "DOES NOT APPLY  $name ($2: $(cat "$work/apply.log" 2>/dev/null))"
        broken+=("$name")
        return
    fi
    if ! build; then
        echo "DOES NOT BUILD  $name"
        broken+=("$name")
    elif suite; then
        echo "MISSED          $name"
        missed+=("$name")
    else
        echo "caught          $name ($(grep -m1 -E '\*\*\*|Failed  ' "$work/last-suite.log" | sed -E 's/.*Test +#[0-9]+: ([^ ]+).*/\1/'))"
        caught=$((caught + 1))
    fi
    cp "$work/original" "$file"
}

name="" file="" from=""
while IFS= read -r line; do
    case "$line" in
        name:*) name="${line#name: }" ;;
        file:*) file="${line#file: }" ;;
        from:*) from="${line#from: }" ;;
        to:*)
            to="${line#to: }"
            [[ -z "$pattern" || "$name" == *"$pattern"* ]] && run_one "$name" "$file" "$from" "$to"
            ;;
    esac
done <"$list"
build >/dev/null || true

echo
echo "$caught caught, ${#missed[@]} missed, ${#broken[@]} did not apply or build"
[ ${#missed[@]} -eq 0 ] && [ ${#broken[@]} -eq 0 ]
