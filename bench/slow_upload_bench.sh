#!/usr/bin/env bash
# Slow uploads before login, measured on demand (not part of the test
# command). On loopback only, bounded in count and time, stopping by itself:
#
#   1. 40 loopback addresses (8 networks of 5) each keep 16 connections
#      that declare a 16 MiB body without credentials and send one byte of
#      it every 5 s, reconnecting whenever the console ends one; meanwhile
#      another client (127.0.0.1, with its login) asks for a page every
#      half second. Reported: that client's answers out of its tries (aim:
#      at least 9 in 10), and the longest any slow connection was held
#      (aim: cut within 60 s).
#   2. slowhttptest in slow-body mode (-B) from one address, 16 connections
#      with the same declared length: how many it found closed, and whether
#      its probe was served. It sends a Referer of its own, so the console
#      refuses its requests as cross-site before any login is asked.
#
# HXM_BUILD names a Release tree to take; without it build/release is built
# (hxm-console only). HXM_BENCH_SECONDS (default 60) is the length of the
# first run. Needs python3 and slowhttptest (installed from Debian when
# missing).
set -euo pipefail
source "$(dirname "$0")/../scripts/common.sh"

seconds=${HXM_BENCH_SECONDS:-60}
if ! command -v slowhttptest >/dev/null; then
    hxm_log "installing slowhttptest from Debian"
    sudo=
    [[ $(id -u) -eq 0 ]] || sudo=sudo
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends \
        slowhttptest >/dev/null
fi

build=${HXM_BUILD:-}
if [[ -z $build ]]; then
    build=$HXM_TOP/build/release
    hxm_log "building hxm-console in $build"
    cmake -S "$HXM_TOP" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DHXM_SANITIZE=none \
        -DHXM_TESTS=OFF -DHXM_BENCH=OFF >/dev/null
    cmake --build "$build" -j "$(nproc)" --target hxm-console >/dev/null
fi
console=$build/bin/hxm-console
[[ -x $console ]] || { hxm_log "no $console"; exit 1; }

work=$(mktemp -d /tmp/hxm-slow-bench-XXXXXX)
pid=
cleanup() {
    [[ -n $pid ]] && kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

password=bench-$RANDOM-$RANDOM
printf 'admin:%s:0xf\n' "$(printf '%s\n' "$password" | "$console" --hash-password)" >"$work/users"
chmod 600 "$work/users"
mkdir -p "$work/root"
"$console" --listen 127.0.0.1:0 --root "$work/root" --users "$work/users" \
    --access-log "$work/access.log" >"$work/console.log" 2>&1 &
pid=$!
port=
for _ in $(seq 100); do
    port=$(grep -oE 'listening on http://127\.0\.0\.1:[0-9]+' "$work/console.log" | cut -d: -f3 || true)
    [[ -n $port ]] && break
    sleep 0.1
done
[[ -n $port ]] || { hxm_log "the console did not start:"; cat "$work/console.log" >&2; exit 1; }

hxm_log "40 addresses x 16 slow bodies for ${seconds}s against 127.0.0.1:$port"
python3 - "$port" "$seconds" "$(printf 'admin:%s' "$password" | base64 -w0)" <<'EOF'
import asyncio, sys, time

port, seconds, credentials = int(sys.argv[1]), float(sys.argv[2]), sys.argv[3]
addresses = [f"127.0.{network}.{host}" for network in range(1, 9) for host in range(2, 7)]
end = time.monotonic() + seconds
held = []      # seconds the console kept each slow connection
still_open = []  # one entry per slow connection still open at the end
statuses = {}  # what the slow connections were answered

async def slow(address):
    while time.monotonic() < end:
        try:
            reader, writer = await asyncio.open_connection(
                "127.0.0.1", port, local_addr=(address, 0))
        except OSError:
            await asyncio.sleep(0.5)
            continue
        opened = time.monotonic()
        writer.write(b"POST / HTTP/1.1\r\nHost: 127.0.0.1\r\n"
                     b"Content-Length: 16777216\r\n\r\n")
        answer = b""
        try:
            while time.monotonic() < end:
                writer.write(b"x")
                await writer.drain()
                try:
                    data = await asyncio.wait_for(reader.read(4096), 5)
                except asyncio.TimeoutError:
                    continue
                if not data:
                    break
                answer += data
        except OSError:
            pass
        # One still open at the end counts as held for the whole run.
        held.append(min(time.monotonic(), end) - opened)
        if time.monotonic() >= end:
            still_open.append(1)
        status = answer[9:12].decode(errors="replace") or "none"
        statuses[status] = statuses.get(status, 0) + 1
        writer.close()

async def probe():
    tries = answered = 0
    await asyncio.sleep(1)
    while time.monotonic() < end - 1:
        tries += 1
        try:
            reader, writer = await asyncio.wait_for(
                asyncio.open_connection("127.0.0.1", port), 5)
            writer.write(b"GET / HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n"
                         b"Authorization: Basic " + credentials.encode() + b"\r\n\r\n")
            data = await asyncio.wait_for(reader.read(64), 5)
            answered += data.startswith(b"HTTP/1.1 200")
            writer.close()
        except (OSError, asyncio.TimeoutError):
            pass
        await asyncio.sleep(0.5)
    return tries, answered

async def main():
    slows = [slow(a) for a in addresses for _ in range(16)]
    results = await asyncio.gather(probe(), *slows)
    tries, answered = results[0]
    print(f"other client answered         {answered} of {tries} "
          f"(aim >= 9 in 10: {'met' if tries and answered * 10 >= tries * 9 else 'MISSED'})")
    longest = max(held) if held else 0
    print(f"slow connections              {len(held)}, {len(still_open)} still open at the end")
    print(f"longest held                  {longest:.1f} s "
          f"(aim <= 60 s: {'met' if longest <= 60 else 'MISSED'})")
    print("slow connections answered     " +
          ", ".join(f"{k} x{v}" for k, v in sorted(statuses.items())))

asyncio.run(main())
EOF

hxm_log "slowhttptest -B, 16 connections from one address, 30 s"
(cd "$work" && slowhttptest -B -c 16 -i 5 -r 16 -s 16777216 -l 30 -p 3 -x 1 -g -o slow \
    -u "http://127.0.0.1:$port/" >slowhttptest.log 2>&1 || true)
# Its status blocks, colours taken out: the last counts, and why it ended.
sed 's/\x1b\[[0-9;]*m//g' "$work/slowhttptest.log" | awk '
    /^closed:/ { closed = $2 } /^service available:/ { service = $3 }
    /^Exit status:/ { sub(/^Exit status: */, ""); why = $0 }
    END { printf "slowhttptest: %s of 16 closed, service available %s (%s)\n", closed, service, why }'
printf 'access log reasons: '
grep -oE '(login-[a-z]+|cut [a-z-]+|cross-site [a-z-]+)' "$work/access.log" | sort | uniq -c |
    awk '{ printf "%s%s %s x%s", sep, $2, $3, $1; sep = ", " }'
echo
