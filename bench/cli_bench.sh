#!/usr/bin/env bash
# The hxm2afp command beside the page, on one store of 100,000 open files.
#
#   bash bench/cli_bench.sh [--smoke] [RELEASE_TREE]
#
# RELEASE_TREE (or HXM_BENCH_TREE) holds bin/hxm2afp, bin/hxm-console,
# bin/afpstat and lib/libhxm2afp.so; without one, build/bench is built as a
# Release tree. One volume of 100,000 open files in a SQLite store: the
# page /afpofm/FileName/SYS fetched from the console on loopback, and
# `hxm2afp files --volume SYS --sort path --format json`, each run 7 times
# in the same sitting; prints the median wall times and their ratio against
# the target (the command at most 1x the page). --smoke: 2,000 files, 2 runs.
set -euo pipefail
source "$(dirname "$0")/../scripts/common.sh"

files=100000 runs=7 tree=${HXM_BENCH_TREE:-}
for arg in "$@"; do
    case $arg in
    --smoke) files=2000 runs=2 ;;
    -*) echo "cli_bench.sh: unknown option $arg" >&2; exit 2 ;;
    *) tree=$arg ;;
    esac
done
if [[ -z $tree ]]; then
    tree=$HXM_TOP/build/bench
    hxm_build "$tree" -DCMAKE_BUILD_TYPE=Release -DHXM_SANITIZE=none -DHXM_TESTS=OFF -DHXM_BENCH=OFF
fi
for file in bin/hxm2afp bin/hxm-console bin/afpstat lib/libhxm2afp.so; do
    [[ -e $tree/$file ]] || { echo "cli_bench.sh: $tree/$file is missing" >&2; exit 1; }
done

work=$(mktemp -d /tmp/hxm-cli-bench.XXXXXX)
console_pid=
cleanup() {
    [[ -z $console_pid ]] || { kill "$console_pid" 2>/dev/null; wait "$console_pid" 2>/dev/null; } || true
    rm -rf "$work"
}
trap cleanup EXIT

root=$work/root
mkdir -p "$root/var/opt/zentra/log" "$root/opt/zentra/lib"
cp "$HXM_TOP/plugin/libhxm2afp.conf" "$root/opt/zentra/lib/"
export ZENTRA_ROOT=$root
"$tree/bin/afpstat" init >/dev/null
"$tree/bin/afpstat" demo --connections 1000 --files "$files" --volumes 1 --seed 1 \
    --now 1700000000 >/dev/null

"$tree/bin/hxm-console" --listen 127.0.0.1:0 --root "$root" --plugin "$tree/lib/libhxm2afp.so" \
    --access-log "$work/access.log" >"$work/console.out" 2>&1 &
console_pid=$!
url=
for ((i = 0; i < 100; i++)); do
    url=$(sed -n 's|^listening on \(http://[^ ]*\)/$|\1|p' "$work/console.out" 2>/dev/null || true)
    [[ -n $url ]] && break
    sleep 0.1
done
[[ -n $url ]] || { cat "$work/console.out" >&2; exit 1; }

python3 - "$url/afpofm/FileName/SYS" "$tree/bin/hxm2afp" "$runs" <<'PY'
import json, statistics, subprocess, sys, time
page_url, command, runs = sys.argv[1], sys.argv[2], int(sys.argv[3])

def timed(args):
    times, output = [], b''
    for _ in range(runs):
        start = time.perf_counter()
        output = subprocess.run(args, capture_output=True, check=True).stdout
        times.append((time.perf_counter() - start) * 1000)
    return statistics.median(times), output

page_ms, page = timed(['curl', '-sf', page_url])
json_ms, document = timed([command, 'files', '--volume', 'SYS', '--sort', 'path',
                           '--format', 'json'])
rows = len(json.loads(document)['files'])
ratio = json_ms / page_ms
print(f'page {page_ms:.1f} ms ({len(page)} bytes), hxm2afp files --format json {json_ms:.1f} ms '
      f'({rows} files, {len(document)} bytes): {ratio:.2f}x '
      f'(target at most 1x: {"met" if ratio <= 1 else "missed"})', file=sys.stderr)
PY
