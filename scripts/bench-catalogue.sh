#!/usr/bin/env bash
# Builds (Release) and runs the catalogue-handling benchmark: a catalogue reply of 10, 100, 250
# and 1,000 coins (two merged-mining partners each) turned into rows and miner entries, once into
# an empty store and once into a store that already holds every entry; beside them the same rows
# built with Qt alone ("bare", the yardstick). Each figure is the median of several runs, each
# run a fresh process with a throwaway store under a temporary folder; times are the GUI
# thread's CPU time. Last, the growth from 250 to 1,000 coins and the ratio of the filled
# store's handling to the bare rows.
#   scripts/bench-catalogue.sh [runs]   (default 5)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
runs=${1:-5}

build="$root/build/bench"
cmake --preset bench >/dev/null
cmake --build --preset bench --target bench_catalogue >/dev/null
bench="$build/benchmarks/bench_catalogue"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export QT_QPA_PLATFORM=offscreen

# Median of each column over the runs' lines.
median() {
    python3 -c '
import statistics, sys
rows = [list(map(float, l.split("\t"))) for l in sys.stdin if l.strip()]
print("\t".join("%.1f" % statistics.median(c) for c in zip(*rows)))'
}

run() { # coins store-dir [--bare]
    "$bench" --store "$2" --coins "$1" ${3:+"$3"} 2>/dev/null
}

sizes=(10 100 250 1000)
kinds=(empty filled bare)
# The runs take turns (every size and kind once per round), so load from elsewhere on the
# machine falls on all of them alike.
declare -A results handling
for i in $(seq "$runs"); do
    for coins in "${sizes[@]}"; do
        for kind in "${kinds[@]}"; do
            store="$work/$coins-$kind-$i"
            mkdir -p "$store"
            flag=""
            [ "$kind" = filled ] && run "$coins" "$store" >/dev/null
            [ "$kind" = bare ] && flag=--bare
            results[$coins-$kind]+="$(run "$coins" "$store" $flag)"$'\n'
        done
    done
done

printf '%6s  %-6s  %12s  %12s  %12s  %10s\n' coins store "handling ms" "write-back ms" \
    "layout ms" "total ms"
for coins in "${sizes[@]}"; do
    for kind in "${kinds[@]}"; do
        line=$(printf '%s' "${results[$coins-$kind]}" | median)
        handling[$coins-$kind]=$(cut -f3 <<<"$line")
        awk -F'\t' -v kind="$kind" '{
            printf "%6d  %-6s  %12.1f  %12.1f  %12.1f  %10.1f\n", $1, kind, $3, $4, $5, $3 + $4 + $5 }' \
            <<<"$line"
    done
done
echo
awk -v f250="${handling[250-filled]}" -v f1000="${handling[1000-filled]}" \
    -v b1000="${handling[1000-bare]}" 'BEGIN {
    printf "handling, filled store: 1,000 coins take %.2fx the time of 250 (target: at most 4.50x)\n", f1000 / f250
    printf "handling, filled store, 1,000 coins: %.2fx the bare rows (target: at most 1.00x)\n", f1000 / b1000 }'
