#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: once as a normal build, once built
# with AddressSanitizer and UndefinedBehaviorSanitizer; then a short run of each fuzz target;
# then the Windows build, cross-compiled, with its tests under Wine. The builds are the presets
# of CMakePresets.json. Started by an ordinary user, everything runs as that user but the tests
# that need private namespaces, which run through sudo (scripts/as-root.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

scripts/install-deps.sh

flaky=()
finish() {
    if [ -n "${keeper:-}" ]; then kill "$keeper" 2>/dev/null || true; fi
    if [ "${#flaky[@]}" -gt 0 ]; then
        echo "== FLAKY: passed only on the second try (the first failure's output kept)"
        printf '   %s\n' "${flaky[@]}"
    fi
}
trap finish EXIT
if [ "$(id -u)" -ne 0 ]; then
    # Ask for the password now rather than in the middle of the suites, and keep it fresh.
    sudo -v
    while sleep 120; do sudo -n -v 2>/dev/null || true; done &
    keeper=$!
fi

run_suite() {
    local name=$1
    local build="$root/build/$name"
    echo "== $name build"
    cmake --preset "$name" >/dev/null
    cmake --build --preset "$name"
    echo "== $name tests"
    # A test that fails is run once more (the preset's until-pass:2): the suites start real
    # processes on a shared machine, and a failure seen once and never again is worth reading but
    # not worth losing a run over. A fault in the program fails both times.
    mkdir -p "$build/Testing/first-failures"
    rm -f "$build/Testing/first-failures/"*
    ctest --preset "$name" 2>&1 | tee "$build/Testing/ctest.log"
    # The output under each test's first failed result line goes to first-failures/<test>.log; a
    # test that failed and then passed is flaky.
    local test
    for test in $(awk -v out="$build/Testing/first-failures" '
        /^ *([0-9]+\/[0-9]+ )?Test +#[0-9]+: / {
            name = $0; sub(/^.*#[0-9]+: /, "", name); sub(/ .*/, "", name); current = ""
            if ($0 ~ /\*\*\*/ && !(name in failed)) { failed[name] = 1; current = name }
            else if ($0 ~ / Passed /) passed[name] = 1
            next
        }
        /^ +Start +[0-9]+: / { current = ""; next }
        current != "" { print > (out "/" current ".log") }
        END { for (name in failed) if (name in passed) print name }' "$build/Testing/ctest.log"); do
        flaky+=("$test ($name): build/$name/Testing/first-failures/$test.log")
    done
}

run_suite plain
run_suite sanitized

echo "== fuzz targets, short runs"
scripts/fuzz.sh --short

scripts/test-windows.sh
