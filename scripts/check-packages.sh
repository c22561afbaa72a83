#!/usr/bin/env bash
# Checks the Debian packages as an administrator would use them, inside a
# scratch root only: builds them (scripts/package.sh), runs lintian and
# `systemd-analyze verify`, installs them with dpkg into the scratch root,
# serves the console's pages from the installed files, upgrades to a newer
# version (an edited configuration file, the users file, the store and the
# logs must survive), removes and purges. Needs root (dpkg sets owners).
set -euo pipefail
source "$(dirname "$0")/common.sh"

fail() {
    echo "check-packages: FAILED: $*" >&2
    exit 1
}
ok() { printf 'ok: %s\n' "$*"; }

[[ $(id -u) -eq 0 ]] || fail "run as root: dpkg installs files owned by root"
hxm_install_deps
[[ ${HXM_PACKAGES_BUILT:-} == 1 ]] || bash "$HXM_TOP/scripts/package.sh" >/dev/null
packages=$HXM_TOP/build/packages
version=$(dpkg-parsechangelog -l "$HXM_TOP/debian/changelog" -S Version)
arch=$(dpkg-architecture -qDEB_HOST_ARCH)
console_deb=$packages/hxm-console_${version}_${arch}.deb
plugin_deb=$packages/hxm2afp_${version}_${arch}.deb

hxm_log "lintian"
lintian --fail-on error "$packages"/*.changes
ok "lintian reports no errors"

work=$(mktemp -d "$HXM_TOP/build/package-check.XXXXXX")
console_pid=
cleanup() {
    [[ -n $console_pid ]] && kill "$console_pid" 2>/dev/null && wait "$console_pid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

hxm_log "systemd-analyze verify"
verify=$work/verify
mkdir -p "$verify/lib/systemd/system"
cp -a /lib/systemd/system/. "$verify/lib/systemd/system/" # the targets the units name
dpkg-deb -x "$console_deb" "$verify"
dpkg-deb -x "$plugin_deb" "$verify"
# verify exits 0 on settings it ignores: any message is a failure.
report=$(systemd-analyze verify --root="$verify" hxm-console.service \
    hxm-afpstat-simulator.service 2>&1) || fail "systemd-analyze verify: $report"
[[ -z $report ]] || fail "systemd-analyze verify: $report"
ok "systemd-analyze verify accepts both units"
report=$(systemd-analyze verify --root="$verify" hxm2afp-metrics.service \
    hxm2afp-metrics.timer 2>&1) || fail "systemd-analyze verify: $report"
[[ -z $report ]] || fail "systemd-analyze verify: $report"
ok "systemd-analyze verify accepts the metrics timer and its service"

# The machine outside the scratch root must stay as it is.
host_paths=(/opt/zentra /var/opt/zentra /etc/zentra /etc/logrotate.d/hxm2afp
    /etc/logrotate.d/hxm-console /etc/systemd/system/multi-user.target.wants/hxm-console.service
    /var/lib/systemd/deb-systemd-helper-enabled/hxm-console.service.dsh-also)
host_state() {
    local path
    for path in "${host_paths[@]}"; do
        [[ -e $path || -L $path ]] && echo "$path"
    done
    dpkg-query -W -f='${Package} ${Status}\n' hxm2afp hxm-console 2>/dev/null || true
    md5sum /var/lib/dpkg/status
}
host_before=$(host_state)

# A scratch root with its own dpkg database. The maintainer scripts run
# outside a chroot with DPKG_ROOT set; policy-rc.d there refuses starting
# services, so nothing is started on this machine.
root=$work/root
mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates" "$root/usr/sbin"
touch "$root/var/lib/dpkg/status" "$root/var/lib/dpkg/available"
printf '#!/bin/sh\nexit 101\n' >"$root/usr/sbin/policy-rc.d"
chmod +x "$root/usr/sbin/policy-rc.d"
# --force-depends: the scratch database knows no libc; the declared
# dependencies are checked below against this machine instead.
dpkg_root() {
    dpkg --root="$root" --log="$work/dpkg.log" --force-script-chrootless --force-depends \
        --force-unsafe-io "$@" >>"$work/dpkg.out" 2>&1 || {
        cat "$work/dpkg.out" >&2
        fail "dpkg $*"
    }
}
installed_version() {
    dpkg-query --admindir="$root/var/lib/dpkg" -W -f='${Version} ${db:Status-Abbrev}' "$1" 2>/dev/null
}

for deb in "$console_deb" "$plugin_deb"; do
    depends=$(dpkg-deb -f "$deb" Depends)
    [[ $depends == *libc6* ]] || fail "$(basename "$deb"): no shlibs dependencies: $depends"
done
ok "shlibs dependencies declared"

hxm_log "installing $version into $root"
dpkg_root -i "$console_deb" "$plugin_deb"
for pkg in hxm-console hxm2afp; do
    [[ $(installed_version $pkg) == "$version ii " ]] || fail "$pkg: $(installed_version $pkg)"
done
users=$root/etc/zentra/hxm-console.users
[[ $(stat -c %a "$users") == 600 ]] || fail "users file not made 0600"
[[ -L $root/etc/systemd/system/multi-user.target.wants/hxm-console.service ]] ||
    fail "the console's unit is not enabled"
[[ ! -e $root/etc/systemd/system/multi-user.target.wants/hxm-afpstat-simulator.service ]] ||
    fail "the simulator's unit is enabled by default"
grep -q '^LOG_LEVEL WARNING' "$root/opt/zentra/lib/libhxm2afp.conf" ||
    fail "the plug-in's configuration is not at a production level"
ok "installed: users file 0600, console unit enabled, simulator not"

export ZENTRA_ROOT=$root
afpstat=$root/opt/zentra/bin/afpstat
"$afpstat" init >/dev/null
"$afpstat" demo --connections 12 --files 60 --volumes 3 --seed 7 >/dev/null
connections_before=$("$afpstat" list | wc -l)

# The command of the plug-in's package, run as installed, its timer off.
hxm2afp=$root/opt/zentra/bin/hxm2afp
"$hxm2afp" files --format json | python3 -c 'import json, sys; assert json.load(sys.stdin)["files"]' ||
    fail "hxm2afp files lists no open file"
"$hxm2afp" metrics | grep -qx 'hxm2afp_up 1' || fail "hxm2afp metrics cannot read the store"
[[ -f $root/usr/share/man/man1/hxm2afp.1.gz ]] || fail "hxm2afp has no manual page"
[[ $(readlink "$root/usr/bin/hxm2afp") == ../../opt/zentra/bin/hxm2afp ]] ||
    fail "hxm2afp is not linked from /usr/bin"
[[ $("$root/usr/bin/hxm2afp" --version) == "hxm2afp ${version%%-*}" ]] ||
    fail "hxm2afp on the PATH is not version $version"
[[ ! -e $root/etc/systemd/system/timers.target.wants/hxm2afp-metrics.timer ]] ||
    fail "the metrics timer is enabled by default"
ok "hxm2afp lists and measures the store, is on the PATH; its timer is off"

hash=$(printf 'secret\n' | "$root/opt/zentra/bin/hxm-console" --hash-password)
printf 'admin:%s:0xf\n' "$hash" >>"$users"

# Runs the installed console with the installed settings, their server
# paths taken inside the scratch root, on a free port; sets $base.
start_console() {
    local options
    # shellcheck disable=SC1091
    options=$(. "$root/etc/zentra/hxm-console.conf" && echo "$HXM_CONSOLE_OPTIONS")
    options=$(sed -E "s#(^| )/(etc|opt|var)/#\1$root/\2/#g" <<<"$options")
    # shellcheck disable=SC2086
    "$root/opt/zentra/bin/hxm-console" $options --listen 127.0.0.1:0 --root "$root" \
        >"$work/console.out" 2>"$work/console.err" &
    console_pid=$!
    local i
    for i in $(seq 100); do
        base=$(sed -n 's#^listening on \(http://[^ ]*\)/$#\1#p' "$work/console.out")
        [[ -n $base ]] && return 0
        kill -0 "$console_pid" 2>/dev/null || break
        sleep 0.1
    done
    cat "$work/console.err" >&2
    fail "the installed console did not start"
}
stop_console() {
    kill "$console_pid"
    wait "$console_pid" || fail "the console did not stop cleanly"
    console_pid=
}
fetch() {
    curl -fsS --max-time 10 -u admin:secret -o "$work/page" "$base$1" ||
        fail "GET $1 from the installed console"
    grep -q "$2" "$work/page" || fail "GET $1: no \"$2\" in the page"
}

start_console
status=$(curl -s -o /dev/null -w '%{http_code}' "$base/")
[[ $status == 401 ]] || fail "GET / without a user answered $status, not 401"
fetch / 'Manage AFP Services'
fetch /afpcons 'Manage Connections'
fetch /afpofm 'Manage Open Files'
fetch /afplogs 'View Logs'
stop_console
ok "the installed console serves /, /afpcons, /afpofm and /afplogs with the installed plug-in"
plugin_log=$root/var/opt/zentra/log/libhxm2afp.log
access_log=$root/var/opt/zentra/log/hxm-console-access.log
[[ -s $access_log && -e $plugin_log ]] || fail "no access log or plug-in log"
grep -q '^\[D ' "$plugin_log" && fail "the plug-in logged at debug level"

# The administrator edits the plug-in's configuration.
sed -i 's/^LOG_LEVEL WARNING/LOG_LEVEL ERROR/' "$root/etc/zentra/libhxm2afp.conf"

# A newer version: the same packages with a new version number, and a
# changed shipped configuration, so dpkg has to choose between the two.
newer=$version.1
for deb in "$console_deb" "$plugin_deb"; do
    hxm_repack_newer "$deb" "$newer" "$work" || fail "repacking $(basename "$deb") as $newer"
done
log_lines=$(wc -l <"$access_log")
hxm_log "upgrading to $newer"
dpkg_root --force-confold -i "$work/hxm-console_${newer}_${arch}.deb" "$work/hxm2afp_${newer}_${arch}.deb"
for pkg in hxm-console hxm2afp; do
    [[ $(installed_version $pkg) == "$newer ii " ]] || fail "$pkg after upgrade: $(installed_version $pkg)"
done
grep -q '^LOG_LEVEL ERROR' "$root/etc/zentra/libhxm2afp.conf" || fail "the edited configuration was replaced"
grep -q 'newer default' "$root/etc/zentra/libhxm2afp.conf.dpkg-dist" ||
    fail "the newer default configuration is not beside it"
grep -q '^admin:' "$users" || fail "the users file lost its user"
[[ $("$afpstat" list | wc -l) == "$connections_before" ]] || fail "the store changed in the upgrade"
[[ $(wc -l <"$access_log") == "$log_lines" && -e $plugin_log ]] || fail "the logs changed in the upgrade"
start_console
fetch /afpcons 'Manage Connections'
stop_console
ok "upgrade to $newer keeps the edited configuration, the users file, the store and the logs"

hxm_log "removing and purging"
dpkg_root -r hxm2afp hxm-console
[[ ! -e $root/opt/zentra/bin/hxm-console && ! -e $root/opt/zentra/lib/libhxm2afp.so ]] ||
    fail "removal left the programs"
[[ -f $users && -f $root/etc/zentra/libhxm2afp.conf && -f $root/var/opt/zentra/afpstat/afpstat.db &&
    -f $access_log ]] || fail "removal took the configuration, users, store or logs"
dpkg_root -P hxm2afp hxm-console
left=$(cd "$root" && find etc/zentra etc/logrotate.d opt var/opt lib/systemd \
    etc/systemd/system -mindepth 0 2>/dev/null | grep -i 'zentra\|hxm' || true)
[[ -z $left ]] || fail "purge left: $left"
ok "removal keeps the data, purge removes everything the packages made"

[[ $(host_state) == "$host_before" ]] || fail "this machine changed outside the scratch root"
ok "nothing changed outside the scratch root"
echo "packages: 8 passed, 0 failed"
