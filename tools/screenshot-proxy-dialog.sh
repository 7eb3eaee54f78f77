#!/usr/bin/env bash
# Photographs the proxy dialog, with the program's style sheet, on a virtual X display: as it
# opens, with the pointer over each button and with each button held down. With --check it
# fails unless every colour of the style sheet shows where it belongs.
#
# Usage: tools/screenshot-proxy-dialog.sh [--check] [build-dir] [output-dir]
#   build-dir   a configured and built tree (default: build), which has tests/tst_proxydialog
#   output-dir  where the PNG files go (default: <build-dir>/screenshots)
set -euo pipefail

check=0
if [ "${1:-}" = "--check" ]; then
    check=1
    shift
fi
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
out=${2:-$build/screenshots}
exe="$build/tests/tst_proxydialog"

for tool in Xvfb xdotool import convert; do
    if ! command -v "$tool" >/dev/null; then
        echo "$tool is missing; scripts/install-deps.sh installs it" >&2
        exit 77
    fi
done
if [ ! -x "$exe" ]; then
    echo "$exe is missing; build the tests first" >&2
    exit 1
fi
mkdir -p "$out"

work=$(mktemp -d)
xvfb_pid=
preview_pid=
cleanup() {
    if [ -n "$preview_pid" ]; then kill "$preview_pid" 2>/dev/null || true; fi
    if [ -n "$xvfb_pid" ]; then
        kill "$xvfb_pid" 2>/dev/null || true
        wait "$xvfb_pid" 2>/dev/null || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT

# Polls a shell condition for up to $1 seconds.
wait_until() {
    local seconds=$1
    shift
    for _ in $(seq $((seconds * 10))); do
        if "$@"; then return 0; fi
        sleep 0.1
    done
    return 1
}

# Xvfb chooses a free display itself, so parallel runs never collide.
Xvfb -displayfd 3 -screen 0 800x600x24 -nolisten tcp 3>"$work/display" >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
if ! wait_until 10 test -s "$work/display"; then
    echo "Xvfb did not start:" >&2
    cat "$work/xvfb.log" >&2
    exit 1
fi
export DISPLAY=":$(head -n 1 "$work/display")"

# In a sanitized build, the X11 platform's own libraries trip the checks: libxkbcommon-x11
# hands strndup() a name that is not NUL-terminated (it stays within the given length), and
# libdbus leaves allocations behind at exit. Our code is leak-checked by the offscreen run.
if [ -n "${ASAN_OPTIONS:-}" ]; then
    export ASAN_OPTIONS="$ASAN_OPTIONS:strict_string_checks=0:detect_leaks=0"
fi
env -u QT_QPA_PLATFORM VORLANT_PREVIEW=1 "$exe" preview -platform xcb >"$work/preview.log" 2>&1 &
preview_pid=$!
if ! wait_until 30 grep -q '^m_proxy_cancel_pb ' "$work/preview.log"; then
    echo "The dialog did not come up:" >&2
    cat "$work/preview.log" >&2
    exit 1
fi
# Each line: object name, centre in the dialog, centre on the screen.
read -r _ ok_x ok_y ok_gx ok_gy < <(grep '^m_proxy_ok_pb ' "$work/preview.log")
read -r _ cancel_x cancel_y cancel_gx cancel_gy < <(grep '^m_proxy_cancel_pb ' "$work/preview.log")
window=$(xdotool search --name '^Proxy Settings$' | head -n 1)

# Inside a button, left of its centred caption.
ok_spot="$((ok_x - 60)),$ok_y"
cancel_spot="$((cancel_x - 60)),$cancel_y"

colour_at() { convert "$1" -format "%[hex:u.p{$2}]" info:; }

shot_matches() {
    local file=$1
    shift
    import -window "$window" "$file"
    local expectation
    for expectation in "$@"; do
        [ "$(colour_at "$file" "${expectation%%=*}")" = "${expectation#*=}" ] || return 1
    done
}

failures=0
# Takes screenshot $1 once the dialog shows every "x,y=RRGGBB" given, or reports what it shows.
shot() {
    local name=$1
    shift
    local file="$out/$name.png"
    if wait_until 5 shot_matches "$file" "$@"; then
        echo "$name.png: as the style sheet says"
        return
    fi
    local expectation
    for expectation in "$@"; do
        echo "$name.png: at ${expectation%%=*} #$(colour_at "$file" "${expectation%%=*}")," \
            "expected #${expectation#*=}"
    done
    failures=$((failures + 1))
}

shot proxy-dialog "2,2=F7F8F8" "$ok_spot=79C149" "$cancel_spot=BFBEBE"
xdotool mousemove "$ok_gx" "$ok_gy"
shot hover-ok "$ok_spot=86C554" "$cancel_spot=BFBEBE"
xdotool mousemove "$cancel_gx" "$cancel_gy"
shot hover-cancel "$ok_spot=79C149" "$cancel_spot=A8A8A8"
xdotool mousemove "$ok_gx" "$ok_gy" mousedown 1
shot pressed-ok "$ok_spot=6BB144"
# Released away from the button, so OK is not clicked.
xdotool mousemove 0 0 mouseup 1
xdotool mousemove "$cancel_gx" "$cancel_gy" mousedown 1
shot pressed-cancel "$cancel_spot=A8A8A8"
# Releasing on Cancel closes the dialog, which ends the preview.
xdotool mouseup 1
if ! wait "$preview_pid"; then
    echo "The preview did not end cleanly:" >&2
    cat "$work/preview.log" >&2
    failures=$((failures + 1))
fi
preview_pid=

echo "Screenshots in $out"
if [ "$check" = 1 ] && [ "$failures" -gt 0 ]; then
    exit 1
fi
