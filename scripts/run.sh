#!/usr/bin/env bash
# Installs what is missing, builds, and starts the program against the local sample pool
# catalogue, with a throwaway shared store: the machine's real store is never touched. Started
# by an ordinary user, only the program's private mount namespace is made as root (sudo).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

scripts/install-deps.sh
build="$root/build/run"
cmake --preset run >/dev/null
cmake --build --preset run

work=$(mktemp -d)
cleanup() { kill $(jobs -p) 2>/dev/null || true; rm -rf "$work"; }
trap cleanup EXIT

port=8765
python3 tools/samplepool/serve.py --port "$port" >"$work/port" 2>"$work/server.log" &
for _ in $(seq 50); do [ -s "$work/port" ] && break; sleep 0.1; done

if [ -z "${DISPLAY:-}" ]; then
    # No screen: run on a virtual one and leave a screenshot to look at.
    export DISPLAY=:97
    Xvfb "$DISPLAY" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
    sleep 1
    (sleep 4 && import -window root "$root/build/run-screenshot.png" &&
        echo "No display: screenshot of the running program in build/run-screenshot.png") &
fi

echo "Sample pool catalogue on http://127.0.0.1:$port; throwaway store; close the window to end."
# A private mount namespace with an empty folder over the system-scope settings folder
# (/etc/xdg): the program's store lives there only for this run. The namespace needs root.
scripts/as-root.sh unshare --mount --propagation private -- bash -c '
    set -e
    mount -t tmpfs vorlant-store /etc/xdg
    mkdir /etc/xdg/vorlant
    printf "[General]\nserver=http://127.0.0.1:%s\n" "$1" > /etc/xdg/vorlant/Vorlant.conf
    "$2"
    echo "The store as the program left it:"
    cat /etc/xdg/vorlant/Vorlant.conf
' run-store "$port" "$build/vorlant-settings"
