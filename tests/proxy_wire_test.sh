#!/usr/bin/env bash
# Runs the proxy wire test: a private mount namespace whose /etc/hosts also maps
# pool.vorlant.test to 127.0.0.1 (Qt never proxies a literal loopback address, so the test must
# reach its server by name), and a microsocks whose outgoing connections leave from 127.0.0.2,
# so the server can tell proxied connections from direct ones.
# Usage: proxy_wire_test.sh <test executable> [QtTest arguments...]
set -euo pipefail

if [ "${1:-}" != "--inside" ]; then
    if ! command -v microsocks >/dev/null; then
        echo "FAIL: microsocks is not installed (scripts/install-deps.sh installs it)" >&2
        exit 1
    fi
    if ! unshare --mount --propagation private true 2>/dev/null; then
        echo "FAIL: cannot create a private mount namespace (unshare needs root)" >&2
        exit 1
    fi
    exec unshare --mount --propagation private bash "$0" --inside "$@"
fi
shift
test_exe=$1
shift

work=$(mktemp -d)
socks_pid=
cleanup() {
    if [ -n "$socks_pid" ]; then
        kill "$socks_pid" 2>/dev/null || true
        wait "$socks_pid" 2>/dev/null || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT

cp /etc/hosts "$work/hosts"
echo "127.0.0.1 pool.vorlant.test" >>"$work/hosts"
mount --bind "$work/hosts" /etc/hosts

free_port() {
    python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}
is_listening() {
    python3 -c 'import socket, sys; socket.create_connection(("127.0.0.1", int(sys.argv[1])), 1)' "$1" \
        2>/dev/null
}

# Another process may take the free port before microsocks binds it: try a few.
socks_port=
for _ in 1 2 3 4 5; do
    port=$(free_port)
    microsocks -i 127.0.0.1 -p "$port" -b 127.0.0.2 >"$work/socks.log" 2>&1 &
    socks_pid=$!
    for _ in $(seq 50); do
        if is_listening "$port"; then
            socks_port=$port
            break
        fi
        kill -0 "$socks_pid" 2>/dev/null || break
        sleep 0.1
    done
    [ -n "$socks_port" ] && break
    kill "$socks_pid" 2>/dev/null || true
    wait "$socks_pid" 2>/dev/null || true
    socks_pid=
done
if [ -z "$socks_port" ]; then
    echo "FAIL: microsocks did not start" >&2
    cat "$work/socks.log" >&2
    exit 1
fi
VORLANT_WIRE_HOST=pool.vorlant.test \
VORLANT_SOCKS_PORT=$socks_port \
VORLANT_SOCKS_EGRESS=127.0.0.2 \
VORLANT_SOCKS_LOG=$work/socks.log \
    "$test_exe" "$@"
