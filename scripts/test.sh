#!/usr/bin/env bash
# Checks the layout and runs clang-tidy (scripts/lint.py), then builds and
# runs every test: the developer build (AddressSanitizer + UBSan),
# with the HTTP benchmark's smoke run and the browser tests on it, the
# ThreadSanitizer build and the 32-bit build, each through ctest, then the
# Debian packages in a scratch root and on a booted Debian 12. Installs what
# it needs; exits non-zero on any failure, and prints how long each stage
# took. HXM_TEST_BUILDS picks the stages (default: "lint asan tsan m32
# packages service"; "lint" is clang-format and clang-tidy over a
# configured, unbuilt tree build/lint; "packages" builds the Debian packages from a release tree and
# checks them installed in a scratch root, scripts/check-packages.sh;
# "service" checks them under systemd, scripts/check-service.sh, with the
# packages "packages" built).
set -euo pipefail
source "$(dirname "$0")/common.sh"

hxm_install_deps
builds=${HXM_TEST_BUILDS:-lint asan tsan m32 packages service}
jobs=$(nproc)
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
export TSAN_OPTIONS=${TSAN_OPTIONS:-halt_on_error=1:second_deadlock_stack=1}

times=()
stage_started=$SECONDS
stage_done() {
    times+=("$1 $((SECONDS - stage_started)) s")
    stage_started=$SECONDS
}
report_times() {
    local joined
    joined=$(printf '%s, ' "${times[@]}")
    hxm_log "stage times: ${joined%, } (total $SECONDS s)"
}
trap '((${#times[@]} == 0)) || report_times' EXIT

run_ctest() {
    hxm_log "testing $1"
    ctest --test-dir "$1" --output-on-failure -j "$jobs" --timeout 600
}

for kind in $builds; do
    case $kind in
    lint)
        # clang-tidy reads the compile flags of a configured tree; nothing
        # is built. clang, so every flag is one clang-tidy knows.
        hxm_log "checking the layout and running clang-tidy"
        cmake -S "$HXM_TOP" -B "$HXM_TOP/build/lint" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
            -DHXM_SANITIZE=none -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
            -DCMAKE_EXPORT_COMPILE_COMMANDS=ON >/dev/null
        python3 "$HXM_TOP/scripts/lint.py" --jobs "$jobs" "$HXM_TOP/build/lint"
        stage_done lint
        continue
        ;;
    packages)
        hxm_log "checking the Debian packages"
        bash "$HXM_TOP/scripts/package.sh" >/dev/null
        # The service check installs the same packages.
        export HXM_PACKAGES_BUILT=1
        bash "$HXM_TOP/scripts/check-packages.sh"
        stage_done packages
        continue
        ;;
    service)
        hxm_log "checking the packages under systemd"
        bash "$HXM_TOP/scripts/check-service.sh"
        stage_done service
        continue
        ;;
    esac
    dir=$HXM_TOP/build/$kind
    case $kind in
    asan) hxm_build "$dir" -DCMAKE_BUILD_TYPE=Debug -DHXM_SANITIZE=address -DHXM_WERROR=ON ;;
    tsan) hxm_build "$dir" -DCMAKE_BUILD_TYPE=Debug -DHXM_SANITIZE=thread -DHXM_WERROR=ON -DHXM_BENCH=OFF ;;
    m32) hxm_build "$dir" -DCMAKE_BUILD_TYPE=Debug -DHXM_SANITIZE=none -DHXM_M32=ON -DHXM_WERROR=ON ;;
    *) echo "unknown build kind: $kind" >&2; exit 2 ;;
    esac
    run_ctest "$dir"
    stage_done "$kind"
    if [[ $kind == asan ]]; then
        # A few seconds: checks that the HTTP benchmark still runs end to end.
        hxm_log "HTTP benchmark smoke run"
        bash "$HXM_TOP/bench/http_bench.sh" --smoke "$dir"
        if compgen -G "$HXM_TOP/tests/browser/*.test.mjs" >/dev/null; then
            hxm_log "browser tests"
            (cd "$HXM_TOP" && HXM_BUILD=$dir node --test tests/browser/)
        fi
        stage_done "asan smoke and browser"
    fi
done
