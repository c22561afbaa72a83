# Shared by the set-up scripts: installing what the project needs and
# configuring builds. Sourced, never run.

HXM_TOP=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

# Debian packages that building a release tree and the Debian packages
# needs: what demo.sh and package.sh install.
HXM_BUILD_DEB_PACKAGES=(
    build-essential cmake ninja-build pkg-config git gettext locales ca-certificates
    libmicrohttpd-dev libsqlite3-dev libcrypt-dev nettle-dev libgnutls28-dev nlohmann-json3-dev
    libsystemd-dev libutf8proc-dev debhelper
)
# And what the test command needs besides: clang-format and clang-tidy for
# the lint stage, the 32-bit and fuzzing compilers (with the i386 UTF-8
# decoder and SQLite the 32-bit plug-in links), the test libraries,
# Chromium for the browser tests, the package and service checks' tools,
# and ccache, which the builds use when present.
HXM_DEB_PACKAGES=(
    "${HXM_BUILD_DEB_PACKAGES[@]}"
    clang-format clang-tidy
    g++-multilib libutf8proc-dev:i386 libsqlite3-dev:i386 clang libclang-rt-14-dev ccache
    sqlite3 libgtest-dev googletest libbenchmark-dev libcurl4-openssl-dev python3 curl openssl
    nodejs npm
    chromium
    fakeroot lintian logrotate systemd debootstrap systemd-container
    prometheus # promtool checks the hxm2afp command's metrics
    slowhttptest # bench/slow_upload_bench.sh's slow-body attack
)

hxm_log() { printf '==> %s\n' "$*" >&2; }

# hxm_install_deps [build]: installs the missing Debian packages (asks apt
# only when something is missing, so a second run costs nothing) and the npm
# packages of package-lock.json; with "build", only HXM_BUILD_DEB_PACKAGES.
hxm_install_deps() {
    local missing=() pkg
    local -a wanted=("${HXM_DEB_PACKAGES[@]}")
    [[ ${1:-} == build ]] && wanted=("${HXM_BUILD_DEB_PACKAGES[@]}")
    for pkg in "${wanted[@]}"; do
        dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed' ||
            missing+=("$pkg")
    done
    # Node.js may come from elsewhere than Debian; a working node and npm will do.
    if command -v node >/dev/null && command -v npm >/dev/null; then
        local kept=()
        for pkg in "${missing[@]}"; do
            [[ $pkg == nodejs || $pkg == npm ]] || kept+=("$pkg")
        done
        missing=("${kept[@]}")
    fi
    if ((${#missing[@]})); then
        hxm_log "installing Debian packages: ${missing[*]}"
        local sudo=
        [[ $(id -u) -eq 0 ]] || sudo=sudo
        if [[ " ${missing[*]}" == *:i386* ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
            $sudo dpkg --add-architecture i386
        fi
        $sudo apt-get update -qq
        DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends \
            "${missing[@]}" >/dev/null
    fi
    if [[ ${1:-} != build && -f $HXM_TOP/package-lock.json ]]; then
        local stamp=$HXM_TOP/node_modules/.package-lock.json
        if [[ ! -f $stamp || $HXM_TOP/package-lock.json -nt $stamp ]]; then
            hxm_log "installing npm packages from package-lock.json"
            (cd "$HXM_TOP" && npm ci --no-audit --no-fund --loglevel=error >/dev/null)
        fi
    fi
}

# ccache, where installed, keeps every compiled object between runs (in its
# own folder, ~/.cache/ccache unless CCACHE_DIR says otherwise). Paths are
# taken relative to the tree, so a fresh clone, or another clone of the same
# sources, finds the objects an earlier build made.
# hxm_use_ccache: sets HXM_LAUNCHER (ccache, or empty where it is missing)
# and ccache's settings for the builds that follow.
hxm_use_ccache() {
    HXM_LAUNCHER=
    command -v ccache >/dev/null || return 0
    HXM_LAUNCHER=ccache
    export CCACHE_BASEDIR=$HXM_TOP CCACHE_NOHASHDIR=true
}

# hxm_build DIR [cmake options...]: configures (once) and builds DIR.
hxm_build() {
    local dir=$1
    shift
    hxm_log "building $dir"
    hxm_use_ccache
    cmake -S "$HXM_TOP" -B "$dir" -G Ninja -DCMAKE_C_COMPILER_LAUNCHER="$HXM_LAUNCHER" \
        -DCMAKE_CXX_COMPILER_LAUNCHER="$HXM_LAUNCHER" "$@" >/dev/null
    cmake --build "$dir" -j "$(nproc)"
}

# hxm_repack_newer DEB VERSION DIR: writes DEB again into DIR as VERSION, the
# same files but for the plug-in's shipped configuration, which gains a
# line, so an upgrade over an edited copy makes dpkg choose between the two.
hxm_repack_newer() {
    local deb=$1 newer=$2 out=$3 tree
    local version
    version=$(dpkg-deb -f "$deb" Version)
    tree=$(mktemp -d)
    dpkg-deb -R "$deb" "$tree/pkg" || { rm -rf "$tree"; return 1; }
    sed -i "s/^Version: .*/Version: $newer/" "$tree/pkg/DEBIAN/control"
    local conf=etc/zentra/libhxm2afp.conf
    if [[ -f $tree/pkg/$conf ]]; then
        echo '# newer default' >>"$tree/pkg/$conf"
        sed -i "s#^[0-9a-f]*  $conf\$#$(cd "$tree/pkg" && md5sum "$conf")#" "$tree/pkg/DEBIAN/md5sums"
    fi
    local name
    name=$(basename "$deb")
    dpkg-deb --root-owner-group -b "$tree/pkg" "$out/${name/_${version}_/_${newer}_}" >/dev/null
    local status=$?
    rm -rf "$tree"
    return $status
}
