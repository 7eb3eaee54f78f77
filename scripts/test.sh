#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: once as a normal build, once built
# with AddressSanitizer and UndefinedBehaviorSanitizer; then a short run of each fuzz target;
# then the Windows build, cross-compiled, with its tests under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

if [ "$(id -u)" -ne 0 ]; then
    # The end-to-end and wire tests run in private mount namespaces, which need root.
    exec sudo "$0" "$@"
fi

scripts/install-deps.sh

run_suite() {
    local name=$1
    shift
    local build="$root/build/$name"
    echo "== $name build"
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug "$@" >/dev/null
    cmake --build "$build" -- -j2
    echo "== $name tests"
    ctest --test-dir "$build" --output-on-failure -j2
}

run_suite plain
run_suite sanitized -DVORLANT_SANITIZE=ON

echo "== fuzz targets, short runs"
scripts/fuzz.sh --short

scripts/test-windows.sh
