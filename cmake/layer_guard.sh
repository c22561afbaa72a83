#!/usr/bin/env bash
# Compiler launcher that holds a plug-in layer to the headers it may see.
#
#   layer_guard.sh SOURCE_ROOT BINARY_ROOT FOLDER... -- COMPILER ARGS...
#
# Runs the compile, then reads the dependency file the compiler wrote (-MF)
# and fails, removing the object, when a file of SOURCE_ROOT outside the
# given FOLDERs was read. The compiler's own list is checked, so an include
# fails however it is spelt: <...>, "...", a macro or a path through "..".
# Files under BINARY_ROOT (generated ones) and outside SOURCE_ROOT (system
# headers) are not the layers' concern.
set -uo pipefail

root=$1 binary=$2
shift 2
allowed=()
while (($#)) && [[ $1 != -- ]]; do
    allowed+=("$1")
    shift
done
shift

depfile= object=
args=("$@")
for ((i = 0; i < ${#args[@]}; i++)); do
    case ${args[i]} in
    -MF) depfile=${args[i + 1]} ;;
    -o) object=${args[i + 1]} ;;
    esac
done

"$@" || exit
[[ -n $depfile && -f $depfile ]] || {
    echo "layer_guard: the compiler wrote no dependency file (-MF) for $object" >&2
    exit 1
}

# The depfile: "object: dep dep \" lines; every word after the colon is a
# file the compiler read.
mapfile -t read_files < <(sed -e '1s/^[^:]*://' -e 's/\\$//' "$depfile" | tr -s ' \t' '\n\n' |
    sed '/^$/d' | xargs -r realpath -m --)
status=0
for file in "${read_files[@]}"; do
    [[ $file == "$root"/* && $file != "$binary"/* ]] || continue
    relative=${file#"$root"/}
    seen=0
    for folder in "${allowed[@]}"; do
        [[ $relative == "$folder"/* ]] && seen=1 && break
    done
    if ((!seen)); then
        echo "layer_guard: ${object:-the object} read $relative, a layer above or beside its own" \
            "(it may see: ${allowed[*]})" >&2
        status=1
    fi
done
if ((status)); then
    rm -f "$object"
fi
exit $status
