#!/usr/bin/env bash
# Checks that the plug-in's layers point one way: a file includes headers of
# its own layer or of layers below it, never above. Prints each include that
# breaks the order and exits 1; exits 0 when there is none.
#
# Layers, bottom to top:
#   base -> logger -> core -> monitor -> pages/common ->
#   pages/help -> pages/<area> -> plugin
# The page areas (connections, openfiles, logs) stand beside each other: none
# includes another. Nothing in the plug-in includes platform/ or tests/.
set -euo pipefail
cd "$(dirname "$0")/.."

# The rank of a path's layer; areas share one rank and are told apart below.
rank() {
    case $1 in
    base/*) echo 0 ;;
    logger/*) echo 1 ;;
    core/*) echo 2 ;;
    monitor/*) echo 3 ;;
    pages/common/*) echo 4 ;;
    pages/help/*) echo 5 ;;
    pages/*) echo 6 ;;
    plugin/*) echo 7 ;;
    *) echo 99 ;;
    esac
}

area() {
    case $1 in
    pages/*/*) local rest=${1#pages/}; echo "${rest%%/*}" ;;
    *) echo "" ;;
    esac
}

failures=0
while IFS= read -r file; do
    own=$(rank "$file")
    while IFS= read -r included; do
        [ -n "$included" ] || continue
        theirs=$(rank "$included")
        if [ "$theirs" -gt "$own" ] ||
            { [ "$own" -eq 6 ] && [ "$theirs" -eq 6 ] && [ "$(area "$file")" != "$(area "$included")" ]; }; then
            echo "$file includes $included, a layer above or beside it" >&2
            failures=$((failures + 1))
        fi
    done < <(sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"\([^"]*\)".*/\1/p' "$file")
done < <(git ls-files 'base/*' 'logger/*' 'core/*' 'monitor/*' 'pages/*' 'plugin/*' |
    grep -E '\.(h|cpp)$')

if [ "$failures" -ne 0 ]; then
    echo "$failures include(s) against the layer order" >&2
    exit 1
fi
echo "layers: every include points down"
