#!/usr/bin/env bash
# The include rules that linking cannot see. Each folder may include only what lies below it:
#   app -> views -> panes -> settings -> (resources, platform/forms, platform/registry)
# and inside platform/fs and platform/qt, the order of their feature folders (below).
# - the behaviour folders and the core platform folders are standard C++ only (app/main.cpp, where the
#   program meets Qt, excepted);
# - platform/fs may use QtCore, never Qt GUI or widgets, and nothing of platform/qt;
# - nothing under platform/ includes the behaviour folders.
# Usage: check-includes.sh SOURCE_DIR QTCORE_INCLUDE_DIR
set -uo pipefail
src=$1
qtcore=${2:-}
cd "$src" || exit 2
fail=0

complain() {
    echo "layer rule broken: $1" >&2
    fail=1
}

# Lines `file:line:#include ...` of the sources in the given folders.
includes() {
    local dirs=()
    for d in "$@"; do [ -d "$d" ] && dirs+=("$d"); done
    [ ${#dirs[@]} -eq 0 ] && return 0
    grep -rnE '^[[:space:]]*#[[:space:]]*include' --include='*.cpp' --include='*.h' "${dirs[@]}" || true
}

# folder: the quoted include prefixes it must not use.
declare -A forbidden=(
    [resources]="settings/ panes/ views/ app/ platform/qt/ platform/fs/ platform/registry/"
    [platform/forms]="resources/ settings/ panes/ views/ app/ platform/qt/ platform/fs/ platform/registry/"
    [platform/registry]="resources/ settings/ panes/ views/ app/ platform/qt/ platform/fs/ platform/forms/"
    [settings]="panes/ views/ app/ platform/qt/ platform/fs/"
    [panes]="views/ app/ platform/qt/ platform/fs/"
    [views]="app/ platform/qt/ platform/fs/"
    [app]="platform/fs/"
    [platform/fs]="resources/ settings/ panes/ views/ app/ platform/qt/ platform/forms/"
    [platform/qt]="settings/ panes/ views/ app/"
)
for dir in "${!forbidden[@]}"; do
    for prefix in ${forbidden[$dir]}; do
        while IFS= read -r hit; do
            [ -n "$hit" ] && complain "$hit (\"$prefix\" from $dir/)"
        done < <(includes "$dir" | grep -F "\"$prefix")
    done
done

# Standard C++ only: no Qt header at all.
while IFS= read -r hit; do
    [ -z "$hit" ] && continue
    case "$hit" in app/main.cpp:*) continue ;; esac
    complain "$hit (Qt in a standard C++ folder)"
done < <(includes resources settings panes views app platform/forms platform/registry | grep -E '#[[:space:]]*include[[:space:]]*<Q')

# platform/fs: QtCore only.
while IFS= read -r hit; do
    [ -z "$hit" ] && continue
    header=$(sed -E 's/.*#[[:space:]]*include[[:space:]]*<([^>]+)>.*/\1/' <<<"$hit")
    case "$header" in
        QtCore/*) continue ;;
        Qt*/*) complain "$hit (only QtCore in platform/fs)"; continue ;;
    esac
    if [ -n "$qtcore" ] && [ ! -e "$qtcore/$header" ]; then
        complain "$hit (not a QtCore header: only QtCore in platform/fs)"
    fi
done < <(includes platform/fs | grep -E '#[[:space:]]*include[[:space:]]*<Q')

# Inside the engine and the UI, the feature folders stack in this order, lowest first: a folder includes
# only itself and the folders before it. Every source lives in one of them.
declare -A stacked=(
    [platform/fs]="core drives listing search jobs trash operations remote compare archives downloads thumbnails places"
    [platform/qt]="common jobs listing remote thumbnails location properties preferences rename pane search trash web dragdrop desktop archives quicklook compare folderview browser tabs forms"
)
for layer in "${!stacked[@]}"; do
    [ -d "$layer" ] || continue
    read -r -a subs <<<"${stacked[$layer]}"
    declare -A rank=()
    for i in "${!subs[@]}"; do rank[${subs[$i]}]=$i; done
    while IFS= read -r file; do
        complain "$file (a source outside the feature folders of $layer/)"
    done < <(find "$layer" -maxdepth 1 -type f \( -name '*.cpp' -o -name '*.h' \))
    for dir in "$layer"/*/; do
        sub=$(basename "$dir")
        if [ -z "${rank[$sub]+x}" ]; then
            complain "$layer/$sub/ (a feature folder missing from the order in this script)"
            continue
        fi
        while IFS= read -r hit; do
            [ -z "$hit" ] && continue
            target=$(sed -E "s|.*\"$layer/([a-z]+)/.*|\1|" <<<"$hit")
            if [ -z "${rank[$target]+x}" ] || [ "${rank[$target]}" -gt "${rank[$sub]}" ]; then
                complain "$hit ($layer/$sub/ includes $layer/$target/, which stacks above it)"
            fi
        done < <(includes "$layer/$sub" | grep -F "\"$layer/")
    done
    unset rank
done

if [ "$fail" -ne 0 ]; then
    echo "FAILED: includes go against the layers" >&2
    exit 1
fi
echo "include rules: every folder includes only what lies below it"
