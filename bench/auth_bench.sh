#!/usr/bin/env bash
# What logging in costs the console, measured on demand (not part of the
# test command). On loopback only, bounded in time, stopping by itself:
#
#   1. requests/s on a cheap page without credentials (a console without a
#      users file) and with valid Basic credentials (a console with one),
#      and their ratio (aim: at least 0.8);
#   2. a normal client's p99 latency from 127.0.0.1 while quiet, and while
#      another loopback address (127.0.0.2) floods the console with wrong
#      passwords (aim: flooded at most 2x quiet);
#   3. guesses at made-up names, each from a fresh loopback address
#      (HXM_FLOOD_RATE a second, default 200, 64 at a time): the console's CPU
#      time per guess against its CPU time per hashed wrong password
#      measured in the same run (aim: the flood costs at most a tenth of a
#      hash per guess, what every guess cost before hashes were budgeted),
#      and the owner's p99 during it (aim: at most 2x quiet).
#
# HXM_BUILD names a Release tree to take; without it build/release is built
# (hxm-console and the plug-in only). HXM_BENCH_SECONDS (default 10) is the
# length of each measurement. Needs wrk and curl (installed from Debian when
# missing).
set -euo pipefail
source "$(dirname "$0")/../scripts/common.sh"

seconds=${HXM_BENCH_SECONDS:-10}
# Made-up-name guesses a second in step 3: more than the console could hash
# before hashes were budgeted (about 80 a second on two cores).
flood_rate=${HXM_FLOOD_RATE:-200}
missing=()
command -v wrk >/dev/null || missing+=(wrk)
command -v curl >/dev/null || missing+=(curl)
if ((${#missing[@]})); then
    hxm_log "installing ${missing[*]} from Debian"
    sudo=
    [[ $(id -u) -eq 0 ]] || sudo=sudo
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends \
        "${missing[@]}" >/dev/null
fi

build=${HXM_BUILD:-}
if [[ -z $build ]]; then
    build=$HXM_TOP/build/release
    hxm_log "building hxm-console and the plug-in in $build"
    cmake -S "$HXM_TOP" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DHXM_SANITIZE=none \
        -DHXM_TESTS=OFF -DHXM_BENCH=OFF >/dev/null
    cmake --build "$build" -j "$(nproc)" --target hxm-console hxm2afp >/dev/null
fi
console=$build/bin/hxm-console
[[ -x $console ]] || { hxm_log "no $console"; exit 1; }
grep -q '^CMAKE_BUILD_TYPE:STRING=Release' "$build/CMakeCache.txt" 2>/dev/null ||
    hxm_log "warning: $build is not a Release tree; the numbers say little"

work=$(mktemp -d /tmp/hxm-auth-bench-XXXXXX)
pids=()
cleanup() {
    local pid
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
    rm -rf "$work"
}
trap cleanup EXIT

# The plug-in's help page when the plug-in is there, else the console home.
root=$work/root
mkdir -p "$root/var/opt/zentra/log" "$root/opt/zentra/lib"
cp "$HXM_TOP/plugin/libhxm2afp.conf" "$root/opt/zentra/lib/"
plugins=()
[[ -f $build/lib/libhxm2afp.so ]] && plugins+=(--plugin "$build/lib/libhxm2afp.so")

password=bench-$RANDOM-$RANDOM
hash=$(printf '%s\n' "$password" | "$console" --hash-password)
printf 'admin:%s:0xf\n' "$hash" >"$work/users"
# A second account whose wrong passwords price a hash (admin's wait after
# the flood of step 2 would refuse them unhashed).
printf 'guest:%s:0x9\n' "$(printf 'guest-%s\n' "$password" | "$console" --hash-password)" \
    >>"$work/users"
chmod 600 "$work/users" # the console refuses a users file others may read
credentials=$(printf 'admin:%s' "$password" | base64 -w0)
wrong=$(printf 'admin:%s' "wrong-$password" | base64 -w0)

# start_console <log> <options>...: starts it on a free loopback port; sets
# $port.
start_console() {
    local log=$1
    shift
    "$console" --listen 127.0.0.1:0 --root "$root" --access-log /dev/null \
        --plugin-output /dev/null "${plugins[@]}" "$@" >"$log" 2>&1 &
    pids+=($!)
    port=
    for _ in $(seq 100); do
        port=$(grep -oE 'listening on http://127\.0\.0\.1:[0-9]+' "$log" | head -1 | cut -d: -f3 || true)
        [[ -n $port ]] && break
        sleep 0.1
    done
    [[ -n $port ]] || { hxm_log "the console did not start:"; cat "$log" >&2; exit 1; }
}

stop_console() {
    kill "${pids[-1]}" 2>/dev/null || true
    wait "${pids[-1]}" 2>/dev/null || true
    unset 'pids[-1]'
}

# requests_per_second <url> [wrk options]...
requests_per_second() {
    local url=$1
    shift
    wrk -t2 -c16 -d"${seconds}s" "$@" "$url" | awk '/^Requests\/sec:/ { print $2 }'
}

# p99_ms <url> [wrk options]...: a normal client's 99th percentile in ms.
p99_ms() {
    local url=$1
    shift
    wrk -t1 -c4 -d"${seconds}s" --latency "$@" "$url" | awk '
        $1 == "99%" {
            value = $2; unit = value; sub(/[0-9.]+/, "", unit); sub(/[a-z]+$/, "", value)
            if (unit == "us") factor = 0.001
            else if (unit == "ms") factor = 1
            else if (unit == "s") factor = 1000
            else factor = 60000
            printf "%.2f\n", value * factor
        }'
}

start_console "$work/open.log" --access 0xf
page=/afpcons/help
status=$(curl -s -o /dev/null -w '%{http_code}' "http://127.0.0.1:$port$page" || true)
[[ $status == 200 ]] || page=/
hxm_log "page $page, ${seconds}s per measurement"
open_rps=$(requests_per_second "http://127.0.0.1:$port$page")
stop_console

start_console "$work/users.log" --users "$work/users"
url=http://127.0.0.1:$port$page
status=$(curl -s -o /dev/null -w '%{http_code}' -H "Authorization: Basic $credentials" "$url" || true)
[[ $status == 200 ]] || { hxm_log "valid credentials got $status"; exit 1; }
auth_rps=$(requests_per_second "$url" -H "Authorization: Basic $credentials")

quiet_p99=$(p99_ms "$url" -H "Authorization: Basic $credentials")

# The flood: wrong passwords from 127.0.0.2, 32 connections at a time, for
# as long as the measurement (plus a second either side).
flood_until=$((SECONDS + seconds + 2))
(
    urls=$work/flood-urls
    for _ in $(seq 256); do printf 'url = "%s"\noutput = "/dev/null"\n' "$url"; done >"$urls"
    while ((SECONDS < flood_until)); do
        curl -s --parallel --parallel-max 32 --interface 127.0.0.2 --max-time 5 \
            -H "Authorization: Basic $wrong" -w '%{http_code}\n' -K "$urls" \
            >>"$work/flood-codes" 2>/dev/null || true
    done
) &
pids+=($!)
sleep 1
flooded_p99=$(p99_ms "$url" -H "Authorization: Basic $credentials")
wait "${pids[-1]}" 2>/dev/null || true
unset 'pids[-1]'
flood_answers=$(sort "$work/flood-codes" | uniq -c | awk '{ printf "%s%s x%s", sep, $2, $1; sep = ", " }')

# cpu_ticks: the console's user and system time so far, in clock ticks.
cpu_ticks() { awk '{ print $14 + $15 }' "/proc/${pids[-1]}/stat"; }

# The price of one hash: wrong passwords at a real account (fewer than its
# allowance), each from a fresh address and spaced out so that each is
# hashed within the budget, which the step 2 flood may have spent.
guest_wrong=$(printf 'guest:%s' "not-$password" | base64 -w0)
sleep 8
before=$(cpu_ticks)
for i in $(seq 2 20); do
    curl -s -o /dev/null --interface "127.0.9.$i" -H "Authorization: Basic $guest_wrong" "$url" ||
        true
    sleep 0.3
done
hash_ticks=$(($(cpu_ticks) - before))

# The made-up-name flood: fresh names from fresh addresses, 64 at a time.
flood_script=$work/fresh-flood.py
cat >"$flood_script" <<'PYTHON'
import asyncio, base64, sys, time
port, seconds, out, rate = int(sys.argv[1]), float(sys.argv[2]), sys.argv[3], float(sys.argv[4])
first = int(sys.argv[5])  # the second octet to start from: each run its own addresses
start = time.monotonic()
end = start + seconds
sent = 0
counts = {}
def addresses():
    for b in range(first, 250):
        for c in range(1, 255):
            for d in range(2, 255):
                yield f"127.{b}.{c}.{d}"
fresh = addresses()
async def guesser(n):
    global sent
    while time.monotonic() < end:
        # Paced: a steady flood, not a measure of how fast this client is.
        sent += 1
        due = start + sent / rate
        if due > time.monotonic():
            await asyncio.sleep(due - time.monotonic())
        address = next(fresh)
        name = f"made-up-{address}"
        token = base64.b64encode(f"{name}:guess".encode()).decode()
        try:
            reader, writer = await asyncio.open_connection("127.0.0.1", port,
                                                           local_addr=(address, 0))
            writer.write(f"GET / HTTP/1.1\r\nHost: 127.0.0.1\r\n"
                         f"Authorization: Basic {token}\r\n\r\n".encode())
            status = (await asyncio.wait_for(reader.read(12), 5))[9:12].decode() or "none"
            writer.close()
        except (OSError, asyncio.TimeoutError):
            status = "error"
        counts[status] = counts.get(status, 0) + 1
async def main():
    await asyncio.gather(*(guesser(n) for n in range(64)))
    with open(out, "w") as f:
        f.write(" ".join(f"{k}:{v}" for k, v in sorted(counts.items())))
asyncio.run(main())
PYTHON
# First alone, for what the flood costs the console; then again beside
# the owner's requests, for their latency.
before=$(cpu_ticks)
python3 "$flood_script" "$port" "$seconds" "$work/fresh-codes" "$flood_rate" 10
fresh_ticks=$(($(cpu_ticks) - before))
python3 "$flood_script" "$port" "$((seconds + 2))" "$work/fresh-codes-2" "$flood_rate" 130 &
pids+=($!)
sleep 1
fresh_p99=$(p99_ms "$url" -H "Authorization: Basic $credentials")
wait "${pids[-1]}" 2>/dev/null || true
unset 'pids[-1]'
fresh_answers=$(cat "$work/fresh-codes")
fresh_guesses=$(tr ' ' '\n' <"$work/fresh-codes" | awk -F: '{ n += $2 } END { print n + 0 }')

awk -v open="$open_rps" -v auth="$auth_rps" -v quiet="$quiet_p99" -v flooded="$flooded_p99" \
    -v hash_ticks="$hash_ticks" -v fresh_ticks="$fresh_ticks" -v guesses="$fresh_guesses" \
    -v fresh_p99="$fresh_p99" -v fresh_answers="$fresh_answers" \
    -v answers="$flood_answers" -v page="$page" 'BEGIN {
    ratio = 0; growth = 0
    if (open > 0) ratio = auth / open
    if (quiet > 0) growth = flooded / quiet
    printf "page %s\n", page
    printf "requests/s without credentials  %10.0f\n", open
    printf "requests/s with valid Basic     %10.0f\n", auth
    printf "ratio                           %10.2f  (aim >= 0.8: %s)\n", ratio, (ratio >= 0.8) ? "met" : "MISSED"
    printf "p99 quiet                       %10.2f ms\n", quiet
    printf "p99 during wrong-password flood %10.2f ms\n", flooded
    printf "flooded / quiet                 %10.2f  (aim <= 2: %s)\n", growth, (growth <= 2) ? "met" : "MISSED"
    printf "flood answers (status x count)  %s\n", answers
    per_hash = hash_ticks / 19; per_guess = guesses > 0 ? fresh_ticks / guesses : 0
    share = per_hash > 0 ? per_guess / per_hash : 0
    printf "CPU ticks per hashed failure    %10.2f  (19 wrong passwords)\n", per_hash
    printf "made-up-name guesses            %10d  (%s)\n", guesses, fresh_answers
    printf "CPU ticks per guess             %10.3f  (%.3f of a hash; aim <= 0.1: %s)\n", per_guess, share, (share <= 0.1) ? "met" : "MISSED"
    printf "p99 during made-up-name flood   %10.2f ms\n", fresh_p99
    growth2 = quiet > 0 ? fresh_p99 / quiet : 0
    printf "flooded / quiet                 %10.2f  (aim <= 2: %s)\n", growth2, (growth2 <= 2) ? "met" : "MISSED"
}'
