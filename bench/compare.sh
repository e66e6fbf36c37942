#!/usr/bin/env bash
# Extracts the same archives with Quillbox end to end (start, extract, move
# into place, quit), with `bsdtar -xf` and with `7zz x`, and prints the
# median wall times, Quillbox's peak memory and its longest main-thread stall.
#
#   bench/compare.sh [FOLDER [OUTPUT]]
#
# Everything the runs write (the output, Quillbox's HOME with its settings
# and temporary folders, a copy of the archive) lives in a fresh folder under
# FOLDER, /dev/shm by default; give a folder on disk to measure on disk.
# With OUTPUT, on another file system than FOLDER, every tool extracts into
# a fresh folder there instead: Quillbox's move into place becomes a copy.
#
# QUILLBOX_BUILD_DIR  the build folder to use (default build/, set up and
#                     built as run.sh does)
# QUILLBOX_BENCH_ROUNDS  rounds per archive (default 3)
# QUILLBOX_BENCH_ONLY    archives to run, e.g. "large.7z many.zip" (default all)
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
measured="$(realpath -m -- "${1:-/dev/shm}")"
elsewhere="${2:+$(realpath -m -- "$2")}"
rounds="${QUILLBOX_BENCH_ROUNDS:-3}"
archives=(many.zip many.7z many.tar.gz large.zip large.7z large.tar.gz large-nonsolid.7z)
[ -n "${QUILLBOX_BENCH_ONLY:-}" ] && read -r -a archives <<<"$QUILLBOX_BENCH_ONLY"

say() { printf '%s\n' "$*" >&2; }
fail() { say "compare.sh: $*"; exit 1; }

# --- Build ---------------------------------------------------------------------

if [ -n "${QUILLBOX_BUILD_DIR:-}" ]; then
    build="$(realpath -m -- "$QUILLBOX_BUILD_DIR")"
    if [ ! -f "$build/CMakeCache.txt" ]; then
        generator=()
        command -v ninja >/dev/null && generator=(-G Ninja)
        cmake -S "$root" -B "$build" "${generator[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
    fi
    cmake --build "$build" -j "$(nproc)" --target quillbox quillbox-engine bench_corpus bench_measure >/dev/null
else
    # The packages and build/ exactly as run.sh makes them.
    source "$root/scripts/setup.sh" >/dev/null
    build="$root/build"
fi
quillbox="$build/src/app/quillbox"
corpus_tool="$build/bench/bench_corpus"
measure="$build/bench/bench_measure"
for tool in "$quillbox" "$build/src/app/quillbox-engine" "$corpus_tool" "$measure"; do
    [ -x "$tool" ] || fail "$tool was not built"
done

# --- 7zz -----------------------------------------------------------------------

if ! command -v 7zz >/dev/null; then
    say "7zz is missing; installing the 7zip package"
    sudo=()
    [ "$(id -u)" -ne 0 ] && sudo=(sudo)
    { "${sudo[@]}" apt-get update -qq && DEBIAN_FRONTEND=noninteractive \
        "${sudo[@]}" apt-get install -y -qq --no-install-recommends 7zip; } >/tmp/quillbox-bench-apt.log 2>&1 ||
        say "installing 7zip failed; see /tmp/quillbox-bench-apt.log"
fi
have7zz=1
command -v 7zz >/dev/null || { have7zz=0; say "7zz could not be installed: its column is left out"; }

# --- Corpora -------------------------------------------------------------------

cache="${XDG_CACHE_HOME:-$HOME/.cache}/quillbox-bench/v$("$corpus_tool" --version)"
if [ ! -d "$cache" ]; then
    say "making the corpora in $cache (once; a few minutes)"
    rm -rf "$cache.partial"
    mkdir -p "$cache.partial"
    "$corpus_tool" "$cache.partial" || fail "making the corpora failed"
    mv "$cache.partial" "$cache"
fi
# libarchive writes a 7z as one solid stream; 7-Zip makes the same files into
# a 7z with a stream per file when asked, as large archives often are.
if [ "$have7zz" = 1 ] && [ ! -f "$cache/large-nonsolid.7z" ]; then
    say "making large-nonsolid.7z in $cache (once; a minute or two)"
    tree="$(mktemp -d "${TMPDIR:-/tmp}/quillbox-bench-tree.XXXXXX")"
    bsdtar -xf "$cache/large.zip" -C "$tree" &&
        (cd "$tree" && 7zz a -bd -mx=1 -ms=off "$cache/large-nonsolid.7z.partial" . >/dev/null) &&
        mv "$cache/large-nonsolid.7z.partial" "$cache/large-nonsolid.7z" || say "making large-nonsolid.7z failed"
    rm -rf "$tree"
fi

# --- The measured folder ---------------------------------------------------------

mkdir -p "$measured"
work="$(mktemp -d "$measured/quillbox-bench.XXXXXX")"
trap 'rm -rf "$work"' EXIT
out="$work/out"
if [ -n "$elsewhere" ]; then
    mkdir -p "$elsewhere"
    out="$(mktemp -d "$elsewhere/quillbox-bench-out.XXXXXX")/out"
    trap 'rm -rf "$work" "$(dirname "$out")"' EXIT
    [ "$(stat -c %d "$work")" != "$(stat -c %d "$(dirname "$out")")" ] ||
        say "note: $elsewhere is on the same file system as $measured"
fi
# Where each folder lives, for the table's title; on disk, writes of one
# run must have gone out before the next starts.
kind() { [ "$(stat -f -c %T "$1")" = tmpfs ] && echo tmpfs || echo disk; }
on_disk=0
[ "$(kind "$work")" = disk ] || [ "$(kind "$(dirname "$out")")" = disk ] && on_disk=1
place="$(kind "$work") ($measured)"
[ -n "$elsewhere" ] && place+=", output on $(kind "$(dirname "$out")") ($elsewhere)"

home="$work/home"
mkdir -p "$home/.config/Quillbox" "$home/.local/share" "$home/.cache" "$work/runtime" "$work/archive"
chmod 700 "$work/runtime"
# Nothing may wait for a person: extract into $out, quit when done, open no
# folder, keep the archive; the how-to window counts as shown and the review
# as given, so neither comes up. Quoted, a comma in the path does not make
# the value a list.
cat >"$home/.config/Quillbox/Quillbox.conf" <<EOF
[General]
exit%20app=1
open%20folder=0
save%20method=3
select%20path="$out"
delete%20zip=0
desc=true
comment=2
EOF

quillbox_env=(env -u DISPLAY -u WAYLAND_DISPLAY -u XDG_CONFIG_DIRS -u XDG_DATA_DIRS
    HOME="$home" XDG_CONFIG_HOME="$home/.config" XDG_DATA_HOME="$home/.local/share"
    XDG_CACHE_HOME="$home/.cache" XDG_RUNTIME_DIR="$work/runtime" QT_QPA_PLATFORM=offscreen
    QUILLBOX_STALL_REPORT="$work/stall.txt")

# The tree below a folder: names, types and sizes, then one checksum over
# every file's contents in name order.
manifest() {
    (cd "$1" && LC_ALL=C find . -mindepth 1 \( -type f -printf '%P f %s\n' \) -o -printf '%P %y\n' | LC_ALL=C sort &&
        LC_ALL=C find . -type f -print0 | LC_ALL=C sort -z | xargs -0 -r cat | md5sum)
}

# On disk, the last run's writes must not still be going out during this one.
settle() { [ "$on_disk" = 1 ] && sync || true; }

# run TOOL ARCHIVE: one extraction into an empty $out; appends its figures to
# $work/figures as "ARCHIVE-NAME TOOL key=value...".
run() {
    local tool="$1" archive="$2" line
    rm -rf "$out" "$work/stall.txt" && mkdir "$out"
    settle
    case "$tool" in
    bsdtar) line="$(cd "$out" && "$measure" --timeout 600 --log "$work/log" -- bsdtar -xf "$archive")" ;;
    7zz)
        # 7zz takes a .tar.gz apart one layer at a time: the tar comes
        # through a pipe, as `7zz x -so | 7zz x -si` is the way to unpack it.
        if [[ "$archive" == *.tar.* ]]; then
            line="$("$measure" --timeout 600 --log "$work/log" -- sh -c \
                '7zz x -so -bd "$1" | 7zz x -si -ttar -y -bd -o"$2"' sh "$archive" "$out")"
        else
            line="$("$measure" --timeout 600 --log "$work/log" -- 7zz x -y -bd -o"$out" "$archive")"
        fi ;;
    quillbox) line="$("${quillbox_env[@]}" "$measure" --watch-children --timeout 600 --log "$work/log" \
        -- "$quillbox" "$archive")" ;;
    esac || true
    case "$line" in
    *" exit=0"*) ;;
    *) say "!!! $tool failed on $(basename "$archive"): $line"; sed 's/^/    /' "$work/log" | tail -20 >&2; errors=$((errors + 1)); return 1 ;;
    esac
    if [ "$tool" = quillbox ]; then
        local stall
        stall="$(sed -n 's/^longest_stall_ms=//p' "$work/stall.txt" 2>/dev/null)"
        line+=" stall_ms=${stall:-none}"
    fi
    echo "$(basename "$archive") $tool $line" >>"$work/figures"
}

# Quillbox puts the archive's entries into one folder named after it; its
# contents must be bsdtar's result, byte for byte.
verify() {
    local archive="$1" created
    created=("$out"/*)
    if [ "${#created[@]}" -ne 1 ] || [ ! -d "${created[0]}" ]; then
        say "!!! MISMATCH: Quillbox left ${#created[@]} items in the output for $(basename "$archive"), not one folder"
        errors=$((errors + 1))
        return
    fi
    if ! manifest "${created[0]}" >"$work/manifest.quillbox" || ! cmp -s "$work/manifest.quillbox" "$work/manifest.bsdtar"; then
        say "!!! MISMATCH: Quillbox's result of $(basename "$archive") differs from bsdtar's:"
        diff "$work/manifest.bsdtar" "$work/manifest.quillbox" | head -10 | sed 's/^/    /' >&2
        errors=$((errors + 1))
    fi
}

tools=(bsdtar)
[ "$have7zz" = 1 ] && tools+=(7zz)
tools+=(quillbox)
errors=0
: >"$work/figures"
say "measuring in $work: $place, $rounds rounds per archive"
for name in "${archives[@]}"; do
    if [ "$name" = large-nonsolid.7z ] && [ ! -f "$cache/$name" ]; then
        say "  $name: left out (7zz makes it)"
        continue
    fi
    [ -f "$cache/$name" ] || fail "no $name in $cache"
    rm -f "$work/archive/"*
    cp "$cache/$name" "$work/archive/$name"
    archive="$work/archive/$name"
    settle
    for ((round = 1; round <= rounds; round++)); do
        say "  $name: round $round of $rounds"
        for tool in "${tools[@]}"; do
            if run "$tool" "$archive"; then
                if [ "$tool" = bsdtar ] && [ "$round" = 1 ]; then
                    manifest "$out" >"$work/manifest.bsdtar"
                elif [ "$tool" = 7zz ] && [ "$round" = 1 ]; then
                    # A comparison is only fair if 7zz did the whole job.
                    manifest "$out" | cmp -s - "$work/manifest.bsdtar" ||
                        { say "!!! 7zz's result of $name differs from bsdtar's"; errors=$((errors + 1)); }
                elif [ "$tool" = quillbox ]; then
                    verify "$archive"
                fi
            fi
        done
    done
done
rm -rf "$out"

# --- The table -------------------------------------------------------------------

awk -v with7zz="$have7zz" -v place="$place" '
function value(key,   i, kv) {
    for (i = 3; i <= NF; i++) { split($i, kv, "="); if (kv[1] == key) return kv[2] }
    return ""
}
function median(list,   n, a, i, j, t) {
    n = split(list, a, " ")
    for (i = 1; i <= n; i++) for (j = i + 1; j <= n; j++) if (a[j] + 0 < a[i] + 0) { t = a[i]; a[i] = a[j]; a[j] = t }
    return n == 0 ? "" : (n % 2 ? a[(n + 1) / 2] : (a[n / 2] + a[n / 2 + 1]) / 2)
}
function most(list,   n, a, i, m) {
    n = split(list, a, " "); m = ""
    for (i = 1; i <= n; i++) if (a[i] != "none" && (m == "" || a[i] + 0 > m + 0)) m = a[i]
    return m
}
function secs(ms) { return ms == "" ? "-" : sprintf("%.2f", ms / 1000) }
function ratio(a, b) { return (a == "" || b == "" || b == 0) ? "-" : sprintf("%.2f", a / b) }
function mib(kib) { return kib == "" ? "-" : sprintf("%.0f", kib / 1024) }
{
    if (!($1 in seen)) { seen[$1] = 1; order[++count] = $1 }
    key = $1 SUBSEP $2
    wall[key] = wall[key] " " value("wall_ms")
    cpu[key] = cpu[key] " " value("user_ms") + value("sys_ms")
    sys[key] = sys[key] " " value("sys_ms")
    if ($2 == "quillbox") {
        ecpu[$1] = ecpu[$1] " " value("child_user_ms") + value("child_sys_ms")
        esys[$1] = esys[$1] " " value("child_sys_ms")
        qcpu[$1] = qcpu[$1] " " value("user_ms") + value("sys_ms") - value("child_user_ms") - value("child_sys_ms")
        qsys[$1] = qsys[$1] " " value("sys_ms") - value("child_sys_ms")
        self[$1] = self[$1] " " value("self_peak_kib")
        child[$1] = child[$1] " " value("child_peak_kib")
        stall[$1] = stall[$1] " " value("stall_ms")
    }
}
END {
    printf "\nWall time, median of the rounds, in seconds; %s\n\n", place
    printf "| archive | bsdtar |%s Quillbox | Quillbox/bsdtar |%s Quillbox MiB | engine MiB | longest stall ms |\n", \
        with7zz ? " 7zz |" : "", with7zz ? " Quillbox/7zz |" : ""
    printf "|---|---:|%s---:|---:|%s---:|---:|---:|\n", with7zz ? "---:|" : "", with7zz ? "---:|" : ""
    for (i = 1; i <= count; i++) {
        a = order[i]
        b = median(wall[a SUBSEP "bsdtar"]); s = median(wall[a SUBSEP "7zz"]); q = median(wall[a SUBSEP "quillbox"])
        printf "| %s | %s |", a, secs(b)
        if (with7zz) printf " %s |", secs(s)
        printf " %s | %s |", secs(q), ratio(q, b)
        if (with7zz) printf " %s |", ratio(q, s)
        printf " %s | %s | %s |\n", mib(most(self[a])), mib(most(child[a])), most(stall[a]) == "" ? "-" : most(stall[a])
    }
    printf "\nCPU time (user + system), median, in seconds; system time in brackets\n\n"
    printf "| archive | bsdtar |%s engine | quillbox process |\n", with7zz ? " 7zz |" : ""
    printf "|---|---:|%s---:|---:|\n", with7zz ? "---:|" : ""
    for (i = 1; i <= count; i++) {
        a = order[i]
        printf "| %s | %s (%s) |", a, secs(median(cpu[a SUBSEP "bsdtar"])), secs(median(sys[a SUBSEP "bsdtar"]))
        if (with7zz) printf " %s (%s) |", secs(median(cpu[a SUBSEP "7zz"])), secs(median(sys[a SUBSEP "7zz"]))
        printf " %s (%s) | %s (%s) |\n", secs(median(ecpu[a])), secs(median(esys[a])), secs(median(qcpu[a])), secs(median(qsys[a]))
    }
}' "$work/figures"

cat <<'EOF'

Quillbox: launch, extraction into its temporary folder, move into place, quit.
Quillbox MiB / engine MiB: peak resident memory (VmHWM) of the quillbox process
and of its quillbox-engine helper, sampled every 5 ms, the highest of the rounds.
Longest stall: how much later than due a 10 ms timer on Quillbox's main thread
fired at worst, the highest of the rounds.
CPU: the engine's is what the quillbox process had reaped from its helpers;
7zz's for a .tar.gz counts both ends of its pipe.
EOF
if [ "$errors" -ne 0 ]; then
    say ""
    say "!!! $errors run(s) failed or did not match bsdtar's result: see the messages above"
    exit 1
fi
echo "Every Quillbox result matched bsdtar's."
