#!/usr/bin/env bash
# The Debian package on a throwaway copy of this machine: an overlay of its root, in private
# mount, PID and network namespaces, chrooted into; it all ends with the namespaces.
#   deb_test.sh BUILD_DIR
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)/$(basename "$0")
fail() { echo "FAIL: $*"; exit 1; }
wait_for() {
    for _ in $(seq 300); do "${@:2}" >/dev/null 2>&1 && return; sleep 0.1; done
    fail "timed out waiting for $1"
}

case ${2:-outside} in
outside)
    [ "$(id -u)" -eq 0 ] || fail "needs root (namespaces and chroot)"
    rm -f "$1"/package/*.deb
    (cd "$1" && cpack -G DEB >/dev/null)
    top=$(mktemp -d)
    status=0
    unshare --mount --propagation private --pid --fork --mount-proc --net \
        "$here" "$(ls "$1"/package/*.deb)" namespace "$top" || status=$?
    rmdir "$top"
    exit $status ;;
namespace)
    r=$3/root
    mount -t tmpfs deb-test "$3"
    mkdir "$3"/{upper,work} "$r"
    mount -t overlay overlay -o lowerdir=/,upperdir="$3/upper",workdir="$3/work" "$r"
    for d in proc dev sys; do mount --rbind /$d "$r/$d"; done
    mount -t tmpfs shm "$r/dev/shm"
    ip link set lo up
    cp "$1" "$r/tmp/vorlant-settings.deb"
    exec chroot "$r" "$here" /tmp/vorlant-settings.deb chroot ;;
esac

store=/etc/xdg/vorlant/Vorlant.conf
python3 "${here%/tests/*}/tools/samplepool/serve.py" --port 0 >/tmp/port 2>/dev/null &
wait_for "the pool server" test -s /tmp/port
Xvfb :5 -nolisten tcp -screen 0 1024x768x24 >/dev/null 2>&1 &
export DISPLAY=:5
wait_for "Xvfb" xdotool getmouselocation
apt() { DEBIAN_FRONTEND=noninteractive apt-get -y -qq "$@" >/tmp/apt.log 2>&1 ||
    fail "apt-get $*: $(cat /tmp/apt.log)"; }
# A first install makes the store, so that no saver's umask decides its mode; purge takes it.
apt install "$1"
[ "$(stat -c '%a %U:%G' /etc/xdg/vorlant $store | paste -sd ' ')" = \
    "2770 root:vorlant 660 root:vorlant" ] || fail "folder and store rights"
apt purge vorlant-settings
[ ! -e /etc/xdg/vorlant ] || fail "purging the package left the store"

printf '[General]\nserver=http://127.0.0.1:%s\napiToken=kept\n' "$(cat /tmp/port)" \
    >/etc/xdg/Vorlant.conf
apt install "$1"
[ ! -e /etc/xdg/Vorlant.conf ] || fail "the old store was not taken over"

for u in alice bob eve; do useradd -m "$u"; done
adduser --quiet alice vorlant
adduser --quiet bob vorlant

# The program as user $1, until its window is closed; its window gets the keyboard.
run_as() {
    setpriv --reuid="$1" --regid="$1" --init-groups env -i HOME="/home/$1" DISPLAY=:5 \
        PATH=/usr/bin:/bin QT_XCB_GL_INTEGRATION=none DBUS_SESSION_BUS_ADDRESS=disabled: \
        vorlant-settings >"/tmp/$1.log" 2>&1 &
    app=$!
    window=$(xdotool search --sync --onlyvisible --name '^Vorlant service settings$' | head -1)
    xdotool windowfocus --sync "$window"
}
close() {
    xdotool key Escape
    wait "$app" || fail "the program of $1 ended with $?: $(cat "/tmp/$1.log")"
}

# Two members in turn: each one's atomic save keeps the group and mode for the other.
for u in alice bob; do
    run_as $u
    xdotool key ctrl+a && xdotool type --delay 30 "$u@example.org"
    wait_for "$u's e-mail in the store" grep -qx "email=$u@example.org" $store
    close $u
    [ "$(stat -c '%a %U:%G' $store)" = "660 $u:vorlant" ] || fail "store rights after $u"
done
grep -qx "apiToken=kept" $store || fail "the old store's token is lost"

# Outside the group: the notice (found by the line the window also logs), a store left as it
# was, and unread.
sum=$(md5sum <$store)
run_as eve
xdotool type --delay 30 "eve@example.org"
wait_for "eve's notice" grep -q "Settings can't be saved: no permission to change $store" \
    /home/eve/.local/share/vorlant-service/log/vorlant.log
close eve
[ "$(md5sum <$store)" = "$sum" ] || fail "eve changed the store"
setpriv --reuid=eve --regid=eve --init-groups cat $store >/dev/null 2>&1 && fail "eve read the store"

apt remove vorlant-settings
grep -qx "email=bob@example.org" $store || fail "removing the package took the store"
echo PASS
