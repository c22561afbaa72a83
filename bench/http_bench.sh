#!/usr/bin/env bash
# HTTP benchmark of the console with the plug-in, on loopback.
#
#   bash bench/http_bench.sh [--smoke] [--memory-only] [RELEASE_TREE]
#
# RELEASE_TREE (or HXM_BENCH_TREE) is a built tree holding bin/hxm-console,
# bin/afpstat and lib/libhxm2afp.so; without one, build/bench is built as a
# Release tree. Throughput: a store of 1,000 connections and one volume of
# 1,000 open files; /afpcons and /afpofm/FileName/SYS are each fetched once
# from the console and saved, nginx serves those same bytes as static files,
# and wrk runs against both (requests/s, p50, p99, socket errors, ratios
# console/nginx): the two take turns, HXM_BENCH_ROUNDS (5) runs of
# HXM_BENCH_SECONDS (2) each, and the medians of the runs are shown. wrk's connections reach the console as a site's reverse
# proxy's would: from a trusted proxy address, with X-Forwarded-For naming
# the client, so the per-address connection cap (meant for clients) does not
# refuse them and the pages themselves are measured.
# Memory: a second console over a store of 100,000 connections and 100,000
# open files; its resident size before, right after and one second after one
# page of each area, and after ten more of each.
#
# --memory-only: skips the throughput runs.
# --smoke: a tiny store, one-second runs, nginx and wrk skipped when they
# cannot be installed; checks only that every step works. Its numbers are
# printed without targets: a one-second run on a busy machine says nothing
# about speed.
#
# The full run is on demand; the test command runs --smoke. Binds 127.0.0.1
# only and stops what it started on exit.
set -euo pipefail
source "$(dirname "$0")/../scripts/common.sh"

smoke=0 throughput=1
tree=${HXM_BENCH_TREE:-}
for arg in "$@"; do
    case $arg in
    --smoke) smoke=1 ;;
    --memory-only) throughput=0 ;;
    -h | --help) sed -n '2,28p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    -*) echo "http_bench.sh: unknown option $arg" >&2; exit 2 ;;
    *) tree=$arg ;;
    esac
done

if ((smoke)); then
    rows=20 big_rows=2000 seconds=1 rounds=1 threads=1 clients=4 repeats=2
    echo "smoke run: checks that every step works; its numbers and ratios are no verdict"
else
    rows=1000 big_rows=100000 seconds=${HXM_BENCH_SECONDS:-2} rounds=${HXM_BENCH_ROUNDS:-5}
    threads=2 clients=32 repeats=10
fi

# The load tools come from Debian; installed when missing (apt only).
ensure_package() { # command package
    command -v "$1" >/dev/null && return 0
    local sudo=
    [[ $(id -u) -eq 0 ]] || sudo=sudo
    hxm_log "installing $2"
    # Only the program is wanted: no system service may start on install
    # (nginx's would take port 80), so a policy refuses it meanwhile.
    local policy=/usr/sbin/policy-rc.d made=0
    if [[ ! -e $policy ]]; then
        printf '#!/bin/sh\nexit 101\n' | $sudo tee "$policy" >/dev/null && $sudo chmod 755 "$policy" &&
            made=1
    fi
    { $sudo apt-get update -qq && DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq \
        --no-install-recommends "$2"; } >/dev/null 2>&1 || true
    ((made)) && $sudo rm -f "$policy"
    command -v "$1" >/dev/null || [[ -x /usr/sbin/$1 ]]
}
have_wrk=1 have_nginx=1
ensure_package wrk wrk || have_wrk=0
ensure_package nginx nginx-light || have_nginx=0
nginx_bin=$(command -v nginx || echo /usr/sbin/nginx)
if ((!smoke && (!have_wrk || !have_nginx))); then
    echo "http_bench.sh: wrk and nginx-light are needed" >&2
    exit 1
fi
command -v curl >/dev/null || { echo "http_bench.sh: curl is needed" >&2; exit 1; }

if [[ -z $tree ]]; then
    tree=$HXM_TOP/build/bench
    hxm_build "$tree" -DCMAKE_BUILD_TYPE=Release -DHXM_SANITIZE=none -DHXM_TESTS=OFF -DHXM_BENCH=OFF
fi
for file in bin/hxm-console bin/afpstat lib/libhxm2afp.so; do
    [[ -e $tree/$file ]] || { echo "http_bench.sh: $tree/$file is missing" >&2; exit 1; }
done

work=$(mktemp -d /tmp/hxm-http-bench.XXXXXX)
chmod 755 "$work" # nginx workers may run as another user
pids=()
cleanup() {
    local pid
    for pid in "${pids[@]}"; do
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    rm -rf "$work"
}
trap cleanup EXIT

# make_root NAME CONNECTIONS FILES: a ZENTRA_ROOT with the plug-in's shipped
# settings (production log level) and a filled store.
make_root() {
    local root=$work/$1
    mkdir -p "$root/var/opt/zentra/log" "$root/opt/zentra/lib"
    cp "$HXM_TOP/plugin/libhxm2afp.conf" "$root/opt/zentra/lib/"
    ZENTRA_ROOT=$root "$tree/bin/afpstat" init >/dev/null
    ZENTRA_ROOT=$root "$tree/bin/afpstat" demo --connections "$2" --files "$3" --volumes 1 \
        --seed 1 --now 1700000000 >/dev/null
}

# start_console NAME: starts a console over that root on a free port, with
# loopback as its trusted proxy; sets console_pid and console_url.
start_console() {
    local root=$work/$1 out=$work/$1.out i
    "$tree/bin/hxm-console" --listen 127.0.0.1:0 --root "$root" --trusted-proxy 127.0.0.1 \
        --plugin "$tree/lib/libhxm2afp.so" --access-log "$work/$1-access.log" >"$out" 2>&1 &
    console_pid=$!
    pids+=("$console_pid")
    for ((i = 0; i < 100; i++)); do
        console_url=$(sed -n 's|^listening on \(http://[^ ]*\)/$|\1|p' "$out" 2>/dev/null || true)
        [[ -n $console_url ]] && return 0
        kill -0 "$console_pid" 2>/dev/null || break
        sleep 0.1
    done
    echo "http_bench.sh: the console did not start:" >&2
    cat "$out" >&2
    exit 1
}

# A free loopback port for nginx.
free_port() {
    python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'
}

# wrk_run URL: prints "requests/s p50_ms p99_ms errors", errors being
# wrk's socket errors (connect, read, write, timeout) and non-2xx answers.
# Both servers get the header a proxy adds; nginx ignores it.
wrk_run() {
    wrk -t"$threads" -c"$clients" -d"${seconds}s" --latency \
        -H 'X-Forwarded-For: 127.0.0.2' "$1" | awk '
        function ms(v) {
            if (v ~ /us$/) return v / 1000
            if (v ~ /ms$/) return v + 0
            if (v ~ /m$/) return v * 60000
            if (v ~ /s$/) return v * 1000
            return v
        }
        /^ +50%/ { p50 = ms($2) }
        /^ +99%/ { p99 = ms($2) }
        /^Requests\/sec:/ { rps = $2 }
        /Non-2xx/ { bad += $NF }
        /Socket errors:/ { gsub(/,/, ""); bad += $4 + $6 + $8 + $10 }
        END { printf "%.0f %.2f %.2f %d\n", rps, p50, p99, bad }'
}

rss_kb() { awk '/^VmRSS:/ { print $2 }' "/proc/$1/status"; }

cons_path=/afpcons
files_path=/afpofm/FileName/SYS

# --- throughput -------------------------------------------------------------
((throughput)) || have_nginx=0 have_wrk=0
make_root small "$rows" "$rows"
start_console small
small_url=$console_url
mkdir -p "$work/www"
curl -sf -o "$work/www/afpcons.html" "$small_url$cons_path"
curl -sf -o "$work/www/afpofm.html" "$small_url$files_path"
chmod 644 "$work/www"/*.html
printf 'pages: %s %s bytes, %s %s bytes (%s rows each)\n' \
    "$cons_path" "$(stat -c %s "$work/www/afpcons.html")" \
    "$files_path" "$(stat -c %s "$work/www/afpofm.html")" "$rows"

nginx_url=
if ((have_nginx)); then
    port=$(free_port)
    mkdir -p "$work/nginx"
    cat >"$work/nginx/nginx.conf" <<EOF
worker_processes auto;
daemon off;
pid $work/nginx/nginx.pid;
error_log $work/nginx/error.log warn;
events { worker_connections 256; }
http {
    access_log $work/nginx/access.log;
    client_body_temp_path $work/nginx/body;
    proxy_temp_path $work/nginx/proxy;
    fastcgi_temp_path $work/nginx/fastcgi;
    uwsgi_temp_path $work/nginx/uwsgi;
    scgi_temp_path $work/nginx/scgi;
    sendfile on;
    keepalive_requests 1000000;
    default_type text/html;
    server {
        listen 127.0.0.1:$port;
        root $work/www;
    }
}
EOF
    "$nginx_bin" -p "$work/nginx" -c "$work/nginx/nginx.conf" &
    pids+=($!)
    for ((i = 0; i < 50; i++)); do
        curl -sf -o /dev/null "http://127.0.0.1:$port/afpcons.html" && break
        sleep 0.1
    done
    nginx_url=http://127.0.0.1:$port
    curl -sf "$nginx_url/afpcons.html" | cmp -s - "$work/www/afpcons.html" ||
        { echo "http_bench.sh: nginx does not serve the same bytes" >&2; exit 1; }
fi

# A smoke run's numbers come from one-second loads and tiny stores on a
# machine that may be busy with builds: they are printed, never judged.
if ((smoke)); then
    throughput_note='(smoke run: no target)'
    memory_note='(smoke run: no target)'
else
    throughput_note='(target: req/s >= 0.50, p99 <= 3.00)'
    memory_note='(target: +1s/before <= 1.50; after the repeats no higher than +1 s)'
fi

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "-" }'; }

# medians: reads wrk_run lines and prints the median requests/s, p50 and
# p99 of them and the sum of their errors.
medians() {
    awk '
        function median(list, n,   sorted, i, j, t) {
            for (i = 1; i <= n; i++) sorted[i] = list[i]
            for (i = 2; i <= n; i++)
                for (j = i; j > 1 && sorted[j - 1] > sorted[j]; j--) {
                    t = sorted[j]; sorted[j] = sorted[j - 1]; sorted[j - 1] = t
                }
            return sorted[int((n + 1) / 2)]
        }
        NF == 4 { n++; rps[n] = $1; p50[n] = $2; p99[n] = $3; bad += $4 }
        END { printf "%.0f %.2f %.2f %d\n", median(rps, n), median(p50, n), median(p99, n), bad }'
}

# The two servers take turns, a short run each, so a machine that gets
# busier or quieter meanwhile weighs on both alike.
errors_seen=0
if ((have_wrk)); then
    printf '\nwrk -t%s -c%s -d%ss --latency, %s rounds each, medians\n' "$threads" "$clients" \
        "$seconds" "$rounds"
    printf '%-22s %-8s %10s %9s %9s %7s\n' page server 'req/s' 'p50 ms' 'p99 ms' errors
    for page in afpcons afpofm; do
        path=$cons_path
        [[ $page == afpofm ]] && path=$files_path
        c_runs=() n_runs=()
        for ((turn = 0; turn < rounds; turn++)); do
            c_runs+=("$(wrk_run "$small_url$path")")
            [[ -z $nginx_url ]] || n_runs+=("$(wrk_run "$nginx_url/$page.html")")
        done
        read -r c_rps c_p50 c_p99 c_bad < <(printf '%s\n' "${c_runs[@]}" | medians)
        printf '%-22s %-8s %10s %9s %9s %7s\n' "$path" console "$c_rps" "$c_p50" "$c_p99" "$c_bad"
        n_bad=0
        if [[ -n $nginx_url ]]; then
            read -r n_rps n_p50 n_p99 n_bad < <(printf '%s\n' "${n_runs[@]}" | medians)
            printf '%-22s %-8s %10s %9s %9s %7s\n' "$path" nginx "$n_rps" "$n_p50" "$n_p99" "$n_bad"
            printf '%-22s %-8s %10s %9s %9s %7s   %s\n' \
                "$path" ratio "$(ratio "$c_rps" "$n_rps")" "$(ratio "$c_p50" "$n_p50")" \
                "$(ratio "$c_p99" "$n_p99")" '' "$throughput_note"
        fi
        ((c_bad + n_bad == 0)) || errors_seen=1
    done
elif ((throughput)); then
    echo "wrk missing: throughput skipped"
fi

# --- memory -----------------------------------------------------------------
kill "$console_pid" 2>/dev/null && wait "$console_pid" 2>/dev/null || true
make_root big "$big_rows" "$big_rows"
start_console big
big_url=$console_url
curl -sf -o /dev/null "$big_url/" # the first request, so start-up is not counted
printf '\nresident size (VmRSS, MB) around %s-row pages\n' "$big_rows"
printf '%-22s %8s %8s %8s %12s %10s\n' page before after '+1 s' "after ${repeats}" '+1s/before'
for path in "$cons_path" "$files_path"; do
    before=$(rss_kb "$console_pid")
    start=$(date +%s.%N)
    bytes=$(curl -sf -o /dev/null -w '%{size_download}' "$big_url$path")
    took=$(awk -v s="$start" -v e="$(date +%s.%N)" 'BEGIN { printf "%.2f", e - s }')
    after=$(rss_kb "$console_pid")
    sleep 1
    settled=$(rss_kb "$console_pid")
    for ((i = 0; i < repeats; i++)); do
        curl -sf -o /dev/null "$big_url$path"
    done
    sleep 1
    repeated=$(rss_kb "$console_pid")
    printf '%-22s %8.1f %8.1f %8.1f %12.1f %10s   (%s bytes, %s s)\n' "$path" \
        "$(awk -v k="$before" 'BEGIN { print k / 1024 }')" \
        "$(awk -v k="$after" 'BEGIN { print k / 1024 }')" \
        "$(awk -v k="$settled" 'BEGIN { print k / 1024 }')" \
        "$(awk -v k="$repeated" 'BEGIN { print k / 1024 }')" \
        "$(ratio "$settled" "$before")" "$bytes" "$took"
done
echo "$memory_note"
# Errors mean something other than the page was measured (refused or cut
# connections): the figures above are then no verdict.
if ((errors_seen && !smoke)); then
    echo "http_bench.sh: wrk saw socket errors or non-2xx answers; see the errors column" >&2
    exit 1
fi
