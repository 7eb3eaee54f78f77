#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, build/fuzz) and runs each for a bounded time, starting
# from a copy of its seed corpus under fuzz/corpus/ (the copy in the tree never grows).
#
#   scripts/fuzz.sh --short            about 20 s per target, fixed seed (part of the tests)
#   scripts/fuzz.sh --long [SECONDS]   SECONDS per target (default 1800); the grown corpus is
#                                      kept in build/fuzz/corpus/ for the next long run
#
# Exits non-zero when a target crashes, trips a sanitizer, hangs or breaks one of its
# invariants. The input that did it is kept in build/fuzz/findings/, the output of each run in
# build/fuzz/logs/; replay an input with: build/fuzz/fuzz/<target> <file>
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

mode=${1:---short}
case "$mode" in
--short) seconds=20 ;;
--long) seconds=${2:-1800} ;;
*)
    echo "usage: $0 --short | --long [SECONDS]" >&2
    exit 2
    ;;
esac

build="$root/build/fuzz"
targets=(fuzz_migration fuzz_catalogue)

echo "== fuzz build"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz --target "${targets[@]}"

# Every input writes the store file a few times; on a RAM-backed folder that costs nothing.
scratch_parent=${TMPDIR:-/tmp}
if [ -d /dev/shm ] && [ -w /dev/shm ]; then
    scratch_parent=/dev/shm
fi
scratch=$(mktemp -d "$scratch_parent/vorlant-fuzz.XXXXXX")
trap 'rm -rf "$scratch"' EXIT

mkdir -p "$build/findings" "$build/logs"
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export LSAN_OPTIONS="suppressions=$root/tests/sanitizers/lsan.supp:print_suppressions=0"

run_target() {
    local target=$1
    local corpus_name=${target#fuzz_}
    local corpus log
    local options=(-seed=1 -max_total_time="$seconds" -timeout=10 -rss_limit_mb=4096
        -artifact_prefix="$build/findings/$target-")
    if [ "$mode" = --short ]; then
        corpus="$scratch/corpus-$corpus_name"
    else
        corpus="$build/corpus/$corpus_name"
        # A fresh process now and then: the catalogue target's partner model only grows.
        options+=(-fork=1)
    fi
    mkdir -p "$corpus"
    cp -n "$root/fuzz/corpus/$corpus_name/"* "$corpus/"
    local asan=detect_leaks=1
    if [ "$target" = fuzz_catalogue ]; then
        # Qt 5.15's JSON parser leaks the replaced value of a repeated member that holds an
        # object or array. Stacks through Debian's Qt (no frame pointers) end at Qt's first
        # frame, so no suppression can name the parser short of unwinding every allocation
        # slowly (8x fewer inputs). The handler's own allocations are leak-checked by the
        # sanitized test suite instead.
        asan=detect_leaks=0
        options+=(-detect_leaks=0)
    fi
    log="$build/logs/$target.log"
    : >"$log"
    echo "== $target: $seconds s"
    local status=0
    if [ "$mode" = --long ]; then
        # Fork mode merges the corpus it starts from crash-resistantly, passing over an input
        # that fails: replay every input once in one process first.
        (cd "$scratch" && TMPDIR="$scratch" ASAN_OPTIONS="$asan" \
            "$build/fuzz/$target" "${options[@]/-fork=1/-runs=0}" "$corpus") >"$log" 2>&1 ||
            status=$?
    fi
    if [ "$status" -eq 0 ]; then
        (cd "$scratch" && TMPDIR="$scratch" ASAN_OPTIONS="$asan" \
            "$build/fuzz/$target" "${options[@]}" "$corpus") >>"$log" 2>&1 || status=$?
    fi
    # Totals: the last status line of fork mode, or the final stats of a single process.
    grep -E '^#[0-9]+: cov' "$log" | tail -n 1 || true
    grep -E '^(Done|INFO: exiting)' "$log" || true
    if [ "$status" -ne 0 ]; then
        echo "!! $target failed (exit $status); input kept in $build/findings/" >&2
        grep -v -E '^#[0-9]+ +(NEW|REDUCE|pulse)' "$log" | tail -n 60 >&2
        return 1
    fi
}

failed=0
for target in "${targets[@]}"; do
    run_target "$target" || failed=1
done
if [ "$failed" -ne 0 ]; then
    echo "fuzz: FAILED" >&2
    exit 1
fi
echo "fuzz: ${#targets[@]} targets ran clean"
