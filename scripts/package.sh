#!/usr/bin/env bash
# Builds the Debian packages from a release tree (build/deb) into
# build/packages/: hxm2afp (the plug-in) and hxm-console (the console, its
# host library, the monitoring library and afpstat), each with a -dbgsym
# package, plus the .buildinfo and .changes. Installs what it needs.
set -euo pipefail
source "$(dirname "$0")/common.sh"

hxm_install_deps build
out=$HXM_TOP/build/packages
rm -rf "$out"
mkdir -p "$out"
version=$(dpkg-parsechangelog -l "$HXM_TOP/debian/changelog" -S Version)
arch=$(dpkg-architecture -qDEB_HOST_ARCH)
hxm_log "building the Debian packages $version into $out"
# -nc: the release tree in build/deb is kept between runs, so a second
# package build compiles only what changed; without debhelper's stamp the
# build steps always run (ninja decides what is stale).
rm -f "$HXM_TOP/debian/debhelper-build-stamp"
hxm_use_ccache
(cd "$HXM_TOP" && HXM_LAUNCHER=$HXM_LAUNCHER dpkg-buildpackage --no-sign -b -nc -J"$(nproc)" \
    --buildinfo-option=-u"$out" --changes-option=-u"$out" \
    --buildinfo-file="$out/libhxm2afp_${version}_${arch}.buildinfo" \
    --changes-file="$out/libhxm2afp_${version}_${arch}.changes") >"$out/build.log" 2>&1 || {
    tail -40 "$out/build.log" >&2
    exit 1
}
ls "$out"/*.deb
