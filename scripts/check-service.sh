#!/usr/bin/env bash
# Checks the Debian packages on what a server boots: a Debian 12 root made
# with debootstrap from this machine's Debian mirror (cached under
# build/service), booted with systemd as PID 1 by systemd-nspawn on a private
# network, the packages installed there with apt. Then the first hour of an
# administrator, step by step: the console answers right after install with
# no user yet, a user added as the README says gets in without a restart,
# the plug-in runs with its shipped settings, the simulator runs and logs,
# logrotate on every rotation file leaves both services logging, a restart, a
# reboot, the console's unit exposure, an upgrade over an edited
# configuration file, HTTPS on a non-loopback address, and a purge that
# leaves nothing behind.
#
# Every step reports ok or FAILED and the check goes on where it can; it
# exits non-zero when any step failed. Needs root. HXM_PACKAGES_BUILT=1 takes
# the packages already in build/packages instead of building them.
set -uo pipefail
source "$(dirname "$0")/common.sh"

suite=bookworm
max_exposure=2.5
work=$HXM_TOP/build/service
packages=$HXM_TOP/build/packages
started=$SECONDS

[[ $(id -u) -eq 0 ]] || { echo "check-service: run as root (debootstrap, systemd-nspawn)" >&2; exit 1; }
hxm_install_deps
for tool in debootstrap systemd-nspawn nsenter curl; do
    command -v "$tool" >/dev/null || { echo "check-service: $tool is missing" >&2; exit 1; }
done
if [[ ${HXM_PACKAGES_BUILT:-} != 1 ]]; then
    bash "$HXM_TOP/scripts/package.sh" >/dev/null || exit 1
fi
version=$(dpkg-parsechangelog -l "$HXM_TOP/debian/changelog" -S Version)
arch=$(dpkg-architecture -qDEB_HOST_ARCH)
console_deb=$packages/hxm-console_${version}_${arch}.deb
plugin_deb=$packages/hxm2afp_${version}_${arch}.deb
for deb in "$console_deb" "$plugin_deb"; do
    [[ -f $deb ]] || { echo "check-service: $deb is missing" >&2; exit 1; }
done

passed=0 failed=0
ok() {
    printf 'ok: %s\n' "$*"
    passed=$((passed + 1))
}
failed() {
    printf 'FAILED: %s\n' "$*"
    failed=$((failed + 1))
}
# step TEXT COMMAND...: runs a check, which prints its reason on failure.
# Not in a subshell: a reboot changes the container's PID 1.
step() {
    local text=$1
    shift
    if "$@" >"$work/step.out" 2>&1; then
        ok "$text"
    else
        failed "$text: $(tr '\n' ' ' <"$work/step.out")"
    fi
}
summary() {
    echo "service: $passed passed, $failed failed ($((SECONDS - started)) s)"
    ((failed == 0))
}

# --- the cached root ---------------------------------------------------------

# This machine's mirror for each Debian 12 suite, as apt uses it.
mirrors=$(apt-cache policy 2>/dev/null | awk -v suite="$suite" '
    $2 ~ /^https?:/ && ($3 == suite "/main" || $3 ~ "^" suite "-(security|updates)/main$") {
        split($3, part, "/"); print $2, part[1] }' | sort -u)
mirror=$(awk -v suite="$suite" '$2 == suite { print $1; exit }' <<<"$mirrors")
[[ -n $mirror ]] || { echo "check-service: no $suite mirror in apt's sources" >&2; exit 1; }

# What the packages need (their dependencies and logrotate) goes into the
# cached root, so that apt installs them inside with no network.
declared=$(for deb in "$console_deb" "$plugin_deb"; do dpkg-deb -f "$deb" Depends; done)
depends=$(tr ',' '\n' <<<"$declared" | sed -E 's/\|.*//; s/\(.*\)//; s/:any//; s/[[:space:]]//g' |
    grep -vxE 'hxm-console|hxm2afp|' | sort -u | tr '\n' ' ')
# A root is made anew each week, or when the packages need other versions,
# so it installs what a server would install today.
key=$(printf '%s\n' "$suite" "$mirrors" "$declared" "$(date +%G-%V)" | sha256sum | cut -c1-16)
cache=$work/debian12-$key

make_root() {
    local fresh=$work/debian12-$key.new
    rm -rf "$fresh"
    hxm_log "making a Debian 12 root from $mirror (cached as $cache)"
    debootstrap --variant=minbase --include=systemd,systemd-sysv "$suite" "$fresh" "$mirror" \
        >"$work/debootstrap.log" 2>&1 || { tail -20 "$work/debootstrap.log" >&2; return 1; }
    while read -r uri name; do
        echo "deb $uri $name main"
    done <<<"$mirrors" >"$fresh/etc/apt/sources.list"
    # No service starts while the root is made.
    printf '#!/bin/sh\nexit 101\n' >"$fresh/usr/sbin/policy-rc.d"
    chmod 755 "$fresh/usr/sbin/policy-rc.d"
    # shellcheck disable=SC2086
    chroot "$fresh" sh -c "apt-get update -q && apt-get -y -q dist-upgrade &&
        apt-get install -y -q --no-install-recommends logrotate $depends && apt-get clean" \
        >>"$work/debootstrap.log" 2>&1 || { tail -20 "$work/debootstrap.log" >&2; return 1; }
    rm "$fresh/usr/sbin/policy-rc.d"
    echo hxm-service >"$fresh/etc/hostname"
    local old
    for old in "$work"/debian12-*; do
        [[ $old == "$fresh" ]] || rm -rf "$old"
    done
    mv "$fresh" "$cache"
}

mkdir -p "$work"
if [[ ! -d $cache ]]; then
    prepared=$SECONDS
    make_root || { echo "check-service: cannot make the Debian 12 root" >&2; exit 1; }
    hxm_log "root made in $((SECONDS - prepared)) s"
fi

# --- the booted container ----------------------------------------------------

root=$work/run
nspawn_pid= leader=
shutdown_container() {
    [[ -n $nspawn_pid ]] || return 0
    kill -TERM "$nspawn_pid" 2>/dev/null # nspawn asks the container to power off
    local i
    for ((i = 0; i < 100; i++)); do
        kill -0 "$nspawn_pid" 2>/dev/null || break
        sleep 0.1
    done
    kill -KILL "$nspawn_pid" 2>/dev/null
    wait "$nspawn_pid" 2>/dev/null
    nspawn_pid= leader=
}
trap 'shutdown_container; rm -rf "$root"' EXIT
rm -rf "$root"
cp -a --reflink=auto "$cache" "$root"
mkdir -p "$root/root/debs"

# Commands inside run in the container's namespaces with a clean environment.
inside() {
    nsenter -t "$leader" -m -u -i -n -p -C -r -w env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin \
        LANG=C.UTF-8 DEBIAN_FRONTEND=noninteractive "$@"
}
# HTTP from this machine's curl, inside the container's network.
http() {
    nsenter -t "$leader" -n curl -sS --max-time 10 "$@"
}
# Boots the root and waits until systemd has started everything.
boot() {
    systemd-nspawn --boot --register=no --keep-unit --private-network --console=passive \
        -D "$root" >>"$work/boot.log" 2>&1 &
    nspawn_pid=$!
    local i child
    for ((i = 0; i < 100; i++)); do
        for child in $(pgrep -P "$nspawn_pid"); do
            [[ $(awk '/^NSpid:/ { print $NF }' "/proc/$child/status" 2>/dev/null) == 1 ]] &&
                leader=$child
        done
        [[ -n $leader ]] && break
        sleep 0.1
    done
    [[ -n $leader ]] || { echo "the container did not start"; return 1; }
    # systemctl answers once the manager listens, a moment after it starts.
    local state=
    for ((i = 0; i < 100; i++)); do
        state=$(timeout 120 nsenter -t "$leader" -m -p -r -w systemctl is-system-running --wait \
            2>/dev/null) && break
        [[ $state == @(running|degraded|maintenance|stopping) ]] && break
        sleep 0.1
    done
    [[ $state == running ]] || {
        echo "system $state: $(inside systemctl --failed --no-legend --plain | tr '\n' ' ')"
        return 1
    }
}
# Reboots the container: nspawn ends with 133 and is started again, as the
# service manager would do with --keep-unit.
reboot_container() {
    inside systemctl reboot 2>/dev/null # the manager's bus goes away as it answers
    local status=0
    wait "$nspawn_pid" || status=$?
    nspawn_pid= leader=
    [[ $status == 133 ]] || { echo "nspawn ended with $status, not 133 (reboot)"; return 1; }
    boot
}

# --- the steps -----------------------------------------------------------------

users=/etc/zentra/hxm-console.users
access_log=/var/opt/zentra/log/hxm-console-access.log
service_log=/var/opt/zentra/log/afpsvc.log
plugin_log=/var/opt/zentra/log/libhxm2afp.log
plugin_conf=/etc/zentra/libhxm2afp.conf

# status URL OUTPUT [curl options...]: the HTTP status of a GET, its body
# saved in OUTPUT.
status() {
    local url=$1 output=$2
    shift 2
    http -o "$output" -w '%{http_code}' "$@" "http://127.0.0.1:8080$url"
}
# Waits up to ten seconds for a page to answer 200 to the administrator.
answers() {
    local i
    for ((i = 0; i < 50; i++)); do
        [[ $(status "$1" /dev/null -u admin:secret 2>/dev/null) == 200 ]] && return 0
        sleep 0.2
    done
    echo "GET $1 as admin answered $(status "$1" /dev/null -u admin:secret 2>&1)"
    return 1
}
size_of() { inside stat -c %s "$1" 2>/dev/null || echo 0; }
active() {
    local state
    state=$(inside systemctl is-active "$1")
    [[ $state == active ]] || { echo "$1 is $state"; return 1; }
}

install_packages() {
    cp "$console_deb" "$plugin_deb" "$root/root/debs/"
    inside apt-get install -y -q /root/debs/"$(basename "$console_deb")" \
        /root/debs/"$(basename "$plugin_deb")" >"$work/install.log" 2>&1 ||
        { tail -5 "$work/install.log"; return 1; }
}
console_waits_for_a_user() {
    active hxm-console.service || return 1
    ! inside grep -qv '^[[:space:]]*\(#\|$\)' "$users" || { echo "the users file is not empty"; return 1; }
    local page=$work/refused.html code
    code=$(status / "$page") || return 1
    [[ $code == 401 ]] || { echo "GET / answered $code"; return 1; }
    grep -qi 'no user' "$page" && grep -q 'hash-password' "$page" ||
        { echo "the 401 page does not say that no user exists yet and how to add one"; return 1; }
}
# The user is added whatever the console's state, so the later steps have one.
user_added_without_restart() {
    local before hash was
    was=$(active hxm-console.service)
    before=$(inside systemctl show -p MainPID --value hxm-console.service)
    hash=$(printf 'secret\n' | inside /opt/zentra/bin/hxm-console --hash-password) || return 1
    inside sh -c "echo 'admin:$hash:0xf' >> $users" || return 1
    [[ -z $was ]] || { echo "before the user was added, $was"; return 1; }
    answers /afpcons || return 1
    [[ $(inside systemctl show -p MainPID --value hxm-console.service) == "$before" ]] ||
        { echo "the console was restarted"; return 1; }
}
plugin_uses_shipped_settings() {
    inside grep -q '^LOG_LEVEL WARNING' "$plugin_conf" || { echo "no shipped $plugin_conf"; return 1; }
    answers /afpofm && answers /afplogs || return 1
    http -u admin:secret http://127.0.0.1:8080/afplogs | grep -q libhxm2afp.log &&
        { echo "the log page lists the plug-in's log: it runs at debug level"; return 1; }
    inside tail -c +$((plugin_log_start + 1)) "$plugin_log" 2>/dev/null | grep -m1 '^\[D ' &&
        { echo "the plug-in logged at debug level"; return 1; }
    return 0
}
simulator_logs() {
    inside /opt/zentra/bin/afpstat init >/dev/null &&
        inside /opt/zentra/bin/afpstat demo --connections 12 --files 60 --volumes 3 --seed 7 \
            >/dev/null || return 1
    inside systemctl start hxm-afpstat-simulator.service || return 1
    grows "$service_log" 0 || return 1
    active hxm-afpstat-simulator.service
}
# The recorder runs under its unit from the install on (before the store
# existed), records what the simulator does, and sends each action to the
# journal: a close from the command (the Unix user) and one from the
# console (its user), found with journalctl HXM2AFP_EVENT=close.
recorder_journals_closes() {
    active hxm2afp-recorder.service || {
        inside journalctl -q --no-pager -n 15 -u hxm2afp-recorder.service
        return 1
    }
    local files first second i found
    # Two files the recorder has seen open (its first cycle may still be
    # under way): the history of what is open now. The demo's names hold no
    # comma or quote; CSV quotes each text cell.
    for ((i = 0; i < 60; i++)); do
        files=$(inside /opt/zentra/bin/hxm2afp history --at now --format csv) || return 1
        first=$(awk -F, 'NR == 2 { gsub(/"/, ""); print $5 }' <<<"$files")
        second=$(awk -F, 'NR == 3 { gsub(/"/, ""); print $1 " " $5 }' <<<"$files")
        [[ -n $first && -n $second ]] && break
        sleep 0.5
    done
    [[ -n $first && -n $second ]] || { echo "fewer than two recorded files to close"; return 1; }
    inside /opt/zentra/bin/hxm2afp close "$first" --yes >/dev/null || return 1
    http -u admin:secret -o /dev/null --data-urlencode "FILENAME=<filename>${second#* }</filename>" \
        "http://127.0.0.1:8080/afpofm/AFPCloseFiles/${second%% *}" || return 1
    for ((i = 0; i < 100; i++)); do
        found=$(inside journalctl -q -o cat --output-fields=HXM2AFP_ACTOR HXM2AFP_EVENT=close \
            _SYSTEMD_UNIT=hxm2afp-recorder.service | sort | tr '\n' ' ')
        [[ $found == "admin root " ]] && break
        sleep 0.2
    done
    [[ $found == "admin root " ]] ||
        { echo "journalctl HXM2AFP_EVENT=close names [$found], not admin and root"; return 1; }
    local history
    history=$(inside /opt/zentra/bin/hxm2afp history --name "$first" --format csv | tr -d '\r')
    grep -Eq ',"?root"?$' <<<"$history" ||
        { echo "hxm2afp history does not say root closed $first: $history"; return 1; }
}
# grows FILE SIZE: waits up to ten seconds for FILE to grow past SIZE bytes.
grows() {
    local i
    for ((i = 0; i < 50; i++)); do
        (($(size_of "$1") > $2)) && return 0
        sleep 0.2
    done
    echo "$1 stays at $(size_of "$1") bytes"
    return 1
}
logs_rotate() {
    local file
    for file in $(inside sh -c 'ls /etc/logrotate.d/*'); do
        inside logrotate -f "$file" || { echo "logrotate -f $file failed"; return 1; }
    done
    for file in "$access_log" "$service_log"; do
        # The console's logs are compressed at once, the simulator's is not.
        inside test -s "$file.1" || inside test -s "$file.1.gz" ||
            { echo "$file was not rotated"; return 1; }
    done
    answers /afpcons && grows "$access_log" 0 && grows "$service_log" 0 || return 1
    # Writers that did not append would go on at their old offset after a
    # copytruncate, leaving a hole of zero bytes at the start.
    for file in "$access_log" "$service_log"; do
        [[ $(inside head -c 1 "$file" | od -An -tx1 | tr -d ' ') != 00 ]] ||
            { echo "$file starts with a hole"; return 1; }
    done
    active hxm-console.service && active hxm-afpstat-simulator.service
}
console_restarts() {
    inside systemctl restart hxm-console.service || return 1
    active hxm-console.service && answers /afpcons
}
console_after_reboot() {
    reboot_container || return 1
    active hxm-console.service && answers /afpcons
}
exposure_line=
console_exposure() {
    exposure_line=$(inside systemd-analyze security --no-pager hxm-console.service | tail -1)
    local exposure
    exposure=$(grep -oE '[0-9]+\.[0-9]+' <<<"$exposure_line" | head -1)
    [[ -n $exposure ]] || { echo "no exposure in: $exposure_line"; return 1; }
    awk -v e="$exposure" -v m="$max_exposure" 'BEGIN { exit !(e <= m) }' ||
        { echo "$exposure above $max_exposure"; return 1; }
}
upgrade_keeps_edits() {
    local newer=$version.1 deb
    inside sed -i 's/^LOG_LEVEL WARNING/LOG_LEVEL ERROR/' "$plugin_conf" || return 1
    for deb in "$console_deb" "$plugin_deb"; do
        hxm_repack_newer "$deb" "$newer" "$root/root/debs" || return 1
    done
    inside apt-get install -y -q -o Dpkg::Options::=--force-confold \
        "/root/debs/hxm-console_${newer}_${arch}.deb" "/root/debs/hxm2afp_${newer}_${arch}.deb" \
        >"$work/upgrade.log" 2>&1 || { tail -5 "$work/upgrade.log"; return 1; }
    for deb in hxm-console hxm2afp; do
        [[ $(inside dpkg-query -W -f='${Version}' "$deb") == "$newer" ]] ||
            { echo "$deb is not at $newer"; return 1; }
    done
    inside grep -q '^LOG_LEVEL ERROR' "$plugin_conf" || { echo "the edited $plugin_conf was replaced"; return 1; }
    inside grep -q 'newer default' "$plugin_conf.dpkg-dist" ||
        { echo "the newer shipped $plugin_conf is not beside it"; return 1; }
    inside grep -q '^admin:' "$users" || { echo "the users file lost its user"; return 1; }
    active hxm-console.service && answers /afpcons
}
# A non-loopback listener makes its TLS pair in /etc/zentra at the first start.
console_serves_tls() {
    inside sed -i 's/--listen 127.0.0.1:8080/--listen 0.0.0.0:8443/' /etc/zentra/hxm-console.conf &&
        inside systemctl restart hxm-console.service || return 1
    active hxm-console.service || return 1
    local i code
    for ((i = 0; i < 50; i++)); do
        code=$(http -k -o /dev/null -w '%{http_code}' -u admin:secret https://127.0.0.1:8443/afpcons)
        [[ $code == 200 ]] && return 0
        sleep 0.2
    done
    echo "GET https://127.0.0.1:8443/afpcons answered $code"
    return 1
}
purge_leaves_nothing() {
    inside apt-get purge -y -q hxm2afp hxm-console >"$work/purge.log" 2>&1 ||
        { tail -5 "$work/purge.log"; return 1; }
    local left
    left=$(inside sh -c 'ls -d /opt/zentra /etc/zentra /var/opt/zentra /etc/logrotate.d/hxm* 2>/dev/null')
    [[ -z $left ]] || { echo "left: $(tr '\n' ' ' <<<"$left")"; return 1; }
}

hxm_log "booting Debian 12 with systemd"
if ! boot >"$work/step.out" 2>&1; then
    failed "boot the Debian 12 root: $(tr '\n' ' ' <"$work/step.out")"
    summary
    exit 1
fi
ok "Debian 12 boots with systemd as PID 1"
if ! install_packages >"$work/step.out" 2>&1; then
    failed "apt install of the two packages: $(tr '\n' ' ' <"$work/step.out")"
    summary
    exit 1
fi
ok "apt installs hxm-console and hxm2afp $version"
plugin_log_start=$(size_of "$plugin_log")
step "the console is active right after install and answers 401 with how to add a user" \
    console_waits_for_a_user
step "a user added as the README says gets in without a restart" user_added_without_restart
step "the plug-in runs with its shipped settings (no debug lines)" plugin_uses_shipped_settings
step "the simulator unit runs and writes $service_log" simulator_logs
step "the recorder unit records; journalctl HXM2AFP_EVENT=close finds each close and its user" \
    recorder_journals_closes
step "logrotate -f on every file of /etc/logrotate.d; both services keep logging" logs_rotate
step "systemctl restart hxm-console" console_restarts
step "a reboot of the container brings the console back" console_after_reboot
step "the console's unit exposure is at most $max_exposure" console_exposure
[[ -n $exposure_line ]] && echo "    $exposure_line"
step "an upgrade keeps the edited configuration beside the newer shipped one" upgrade_keeps_edits
step "the console serves HTTPS on a non-loopback address with a certificate it made" \
    console_serves_tls
step "apt purge leaves nothing under /opt/zentra, /etc/zentra and /var/opt/zentra" \
    purge_leaves_nothing
summary
