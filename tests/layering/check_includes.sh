#!/usr/bin/env bash
# Fails when a source file includes a header from a folder that does not come
# before its own in the layering below. Folders of one line are peers and may
# not include each other, which keeps every folder's library free of circles.
# Usage: check_includes.sh <src folder>
set -euo pipefail
cd "${1:?usage: check_includes.sh <src folder>}"

layers=(
    "platform/errors"
    "platform/files"
    "platform/encoding platform/engine/formats"
    "platform/engine/streams"
    "platform/engine"
    "platform/system platform/settings"
    "platform/desktop platform/unarchiver"
    "support"
    "access app/schedule"
    "extraction"
    "support/widgets"
    "window"
    "prompts"
    "extraction/view"
    "app"
)

declare -A rank
for i in "${!layers[@]}"; do
    for folder in ${layers[$i]}; do rank[$folder]=$i; done
done

status=0
while IFS= read -r file; do
    folder=$(dirname "$file")
    if [ -z "${rank[$folder]+set}" ]; then
        echo "$file: folder $folder has no place in the layering"
        status=1
        continue
    fi
    while IFS= read -r header; do
        [ -f "$header" ] || continue # the folder's own headers, system headers
        target=$(dirname "$header")
        [ "$target" = "$folder" ] && continue
        if [ -z "${rank[$target]+set}" ] || [ "${rank[$target]}" -ge "${rank[$folder]}" ]; then
            echo "$file includes $header against the layering"
            status=1
        fi
    done < <(sed -n 's/^#include "\([^"]*\)".*/\1/p' "$file")
done < <(find . -name '*.cpp' -o -name '*.h' | sed 's#^\./##' | sort)
exit $status
