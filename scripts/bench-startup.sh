#!/usr/bin/env bash
# Builds (Release) and runs the start-up benchmark: for vorlant-settings and for a bare Qt
# Widgets program that shows one dialog and sends one GET, both headless, the time from process
# start to the catalogue request reaching a local server, and the peak resident memory once the
# reply has been taken in. Each figure is the median of several runs; the two programs take
# turns. The real program runs against a throwaway store in a private mount namespace.
#   scripts/bench-startup.sh [runs]   (default 10)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
runs=${1:-10}

build="$root/build/bench"
cmake --preset bench >/dev/null
cmake --build --preset bench --target vorlant-settings bare_startup >/dev/null

# An empty tmpfs over the system-scope settings folder (/etc/xdg) for the whole run: the
# program's store lives there and goes with the namespace, which needs root.
scripts/as-root.sh unshare --mount --propagation private -- bash -c '
    set -e
    mount -t tmpfs vorlant-store /etc/xdg
    exec python3 "$1/benchmarks/startup_bench.py" --real "$2/vorlant-settings" \
        --bare "$2/benchmarks/bare_startup" --runs "$3"
' bench-startup "$root" "$build" "$runs"
