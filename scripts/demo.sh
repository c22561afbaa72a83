#!/usr/bin/env bash
# Runs the console with the plug-in on a demo population, on
# http://127.0.0.1:8080 (HXM_DEMO_LISTEN overrides). Installs what it needs,
# builds a release, makes a demo ZENTRA_ROOT (HXM_DEMO_ROOT, default
# ./demo-root), loads a demo population into the monitoring store, starts the
# simulated AFP service and runs hxm-console until Ctrl-C. Safe to run again:
# the demo population is loaded anew each time. HXM_DEMO_LANG=de shows the
# pages in German, with dates in German form (the de_DE.UTF-8 locale is
# generated when missing).
set -euo pipefail
source "$(dirname "$0")/common.sh"

hxm_install_deps build
build=$HXM_TOP/build/release
hxm_build "$build" -DCMAKE_BUILD_TYPE=Release -DHXM_SANITIZE=none -DHXM_TESTS=OFF -DHXM_BENCH=OFF

root=${HXM_DEMO_ROOT:-$HXM_TOP/demo-root}
listen=${HXM_DEMO_LISTEN:-127.0.0.1:8080}
mkdir -p "$root/var/opt/zentra/log" "$root/opt/zentra/lib"
export ZENTRA_ROOT=$root
# The plug-in's shipped settings (production log level): without them it
# logs at debug level. An edited copy is kept.
[[ -f $root/opt/zentra/lib/libhxm2afp.conf ]] ||
    cp "$HXM_TOP/plugin/libhxm2afp.conf" "$root/opt/zentra/lib/libhxm2afp.conf"

afpstat=$build/bin/afpstat
"$afpstat" init
"$afpstat" demo --connections 40 --files 400 --volumes 4 --seed 1

lang=${HXM_DEMO_LANG:-}
if [[ $lang == de ]]; then
    # German dates need a German locale; the pages need the catalogue.
    if ! locale -a 2>/dev/null | grep -qiE '^de_DE\.utf-?8$'; then
        hxm_log "generating the de_DE.UTF-8 locale"
        sudo=
        [[ $(id -u) -eq 0 ]] || sudo=sudo
        $sudo sed -i 's/^# *\(de_DE\.UTF-8 UTF-8\)/\1/' /etc/locale.gen
        grep -q '^de_DE\.UTF-8 UTF-8' /etc/locale.gen ||
            echo 'de_DE.UTF-8 UTF-8' | $sudo tee -a /etc/locale.gen >/dev/null
        $sudo locale-gen >/dev/null
    fi
    # The plug-in's catalogue, and the console's for its own frame words.
    catalogue=$root/opt/zentra/afpsvcd/locale/de/LC_MESSAGES
    mkdir -p "$catalogue" "$root/opt/zentra/hxm/locale/de/LC_MESSAGES"
    cp "$build/locale/de/LC_MESSAGES/libhxm2afp.mo" "$catalogue/"
    cp "$build/console-locale/de/LC_MESSAGES/hxm-console.mo" "$root/opt/zentra/hxm/locale/de/LC_MESSAGES/"
    export LC_ALL=de_DE.UTF-8 LANGUAGE=de
elif [[ -n $lang ]]; then
    hxm_log "HXM_DEMO_LANG=$lang: only de is translated; starting in English"
fi

plugins=()
[[ -f $build/lib/libhxm2afp.so ]] && plugins+=(--plugin "$build/lib/libhxm2afp.so")

"$afpstat" simulate --seconds 0 &
simulator=$!
trap 'kill "$simulator" 2>/dev/null; wait "$simulator" 2>/dev/null || true' EXIT

hxm_log "console on http://$listen/ (root $root); Ctrl-C stops it"
"$build/bin/hxm-console" --listen "$listen" --root "$root" \
    --access-log "$root/var/opt/zentra/log/access.log" "${plugins[@]}"
