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
    exec unshare --mount --propagation private --pid --fork --mount-proc --net "$here" "$1" namespace ;;
namespace)
    # /media, empty on Debian, is only a mount point: the tmpfs on it is seen in here alone.
    mount -t tmpfs deb-test /media
    mkdir /media/{upper,work,root}
    mount -t overlay overlay -o lowerdir=/,upperdir=/media/upper,workdir=/media/work /media/root
    for d in proc dev sys; do mount --rbind /$d /media/root/$d; done
    mount -t tmpfs shm /media/root/dev/shm
    (cd "$1" && cpack -G DEB -B /media/root/tmp/deb >/dev/null)
    # Any user may use the display (-ac): the users below have no copy of its cookie. Not exec'd:
    # as PID 1 xvfb-run would never hear that its display is ready.
    chroot /media/root xvfb-run -a -s "-ac -screen 0 1024x768x24" "$here" "$1" chroot
    exit ;;
esac

store=/etc/xdg/vorlant/Vorlant.conf
apt() { DEBIAN_FRONTEND=noninteractive apt-get -y -qq "$@" >/dev/null; }
# A first install makes the store, so that no saver's umask decides its mode; purge takes it.
apt install /tmp/deb/*.deb
[ "$(stat -c '%a %U:%G' /etc/xdg/vorlant $store | xargs)" = \
    "2770 root:vorlant 660 root:vorlant" ] || fail "folder and store rights"
apt purge vorlant-settings
[ ! -e /etc/xdg/vorlant ] || fail "purging the package left the store"

# The pool is a closed local port: saving needs no catalogue.
printf '[General]\nserver=http://127.0.0.1:9\napiToken=kept\n' >/etc/xdg/Vorlant.conf
apt install /tmp/deb/*.deb
[ ! -e /etc/xdg/Vorlant.conf ] || fail "the old store was not taken over"

for u in alice bob; do useradd -m -G vorlant $u; done
useradd -m eve

# User $1 types an e-mail into the real window, waits until "${@:2}" holds, and closes it.
save_as() {
    setpriv --reuid="$1" --regid="$1" --init-groups env -i HOME="/home/$1" DISPLAY="$DISPLAY" \
        PATH=/usr/bin:/bin QT_XCB_GL_INTEGRATION=none DBUS_SESSION_BUS_ADDRESS=disabled: \
        vorlant-settings >"/tmp/$1.log" 2>&1 &
    xdotool search --sync --onlyvisible --name '^Vorlant service settings$' \
        windowfocus --sync key ctrl+a type --delay 30 "$1@example.org"
    wait_for "$1's save" "${@:2}"
    xdotool key Escape
    wait $! || fail "the program of $1 ended with $?: $(cat "/tmp/$1.log")"
}

# Two members in turn: each one's atomic save keeps the group and mode for the other.
for u in alice bob; do
    save_as $u grep -qx "email=$u@example.org" $store
    [ "$(stat -c '%a %U:%G' $store)" = "660 $u:vorlant" ] || fail "store rights after $u"
done
grep -qx "apiToken=kept" $store || fail "the old store's token is lost"

# Outside the group: the notice (found by the line the window also logs), a store left as it
# was, and unread.
sum=$(md5sum <$store)
save_as eve grep -q "Settings can't be saved: no permission to change $store" \
    /home/eve/.local/share/vorlant-service/log/vorlant.log
[ "$(md5sum <$store)" = "$sum" ] || fail "eve changed the store"
setpriv --reuid=eve --regid=eve --init-groups cat $store >/dev/null 2>&1 && fail "eve read the store"

apt remove vorlant-settings
grep -qx "email=bob@example.org" $store || fail "removing the package took the store"
