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
    # A test that fails is run once more, its first output kept in the log: the suites start real
    # processes on a shared machine, and a failure seen once and never again is worth reading but
    # not worth losing a run over. A fault in the program fails both times.
    ctest --test-dir "$build" --output-on-failure -j2 --repeat until-pass:2
}

run_suite plain
run_suite sanitized -DVORLANT_SANITIZE=ON

echo "== fuzz targets, short runs"
scripts/fuzz.sh --short

scripts/test-windows.sh
