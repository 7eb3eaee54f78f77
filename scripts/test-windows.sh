#!/usr/bin/env bash
# The Windows suite: cross-compiles the program and the tests with MinGW-w64 against a Qt built
# for Windows, and runs every test through ctest under Wine, headless, in a throwaway Wine
# prefix whose registry stands in for the machine's. Called by scripts/test.sh.
#
# The Qt: QT_MINGW_PREFIX (an unpacked qt5-mingw-w64 folder, or its .tar.xz archive), else
# ../shared/toolchains/qt5-mingw-w64.tar.xz beside this repository's folder. Without either the
# suite is skipped with a note, except in CI (CI set), where that is an error.
#
# With --package (scripts/package-windows.sh) it builds only the installer, and tests nothing.
# apt-get and the deploy test's private mount namespace run as root (sudo when started by an
# ordinary user); all else runs as the user who starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
build="$root/build/windows"

qt_source=${QT_MINGW_PREFIX:-$(dirname "$root")/shared/toolchains/qt5-mingw-w64.tar.xz}
if [ ! -e "$qt_source" ]; then
    cat >&2 <<NOTE
== Windows suite SKIPPED: no Qt for MinGW-w64 at $qt_source.
   Get qt5-mingw-w64.tar.xz (Qt 5.15 qtbase built for x86_64-w64-mingw32) and put it in
   $(dirname "$root")/shared/toolchains/, or point QT_MINGW_PREFIX at it or at its unpacked
   folder. build-qt5-mingw.sh, kept beside that archive, builds it from Debian's source.
NOTE
    [ -z "${CI:-}" ] && [ "${1:-}" != --package ] || exit 1
    exit 0
fi

scripts/install-deps.sh g++-mingw-w64-x86-64-posix wine wine64 icoutils nsis openssl

if [ -d "$qt_source" ]; then
    qt_prefix=$qt_source
else
    # Unpacked once per archive: a changed archive is unpacked afresh.
    qt_prefix="$root/build/windows-qt/qt5-mingw-w64"
    stamp="$root/build/windows-qt/unpacked-from"
    sum=$(sha256sum "$qt_source" | cut -d' ' -f1)
    if [ -f "$qt_source.sha256" ] && ! grep -q "^$sum " "$qt_source.sha256"; then
        echo "== $qt_source does not match $qt_source.sha256" >&2
        exit 1
    fi
    if [ "$(cat "$stamp" 2>/dev/null)" != "$sum" ]; then
        echo "== unpacking $qt_source"
        rm -rf "$root/build/windows-qt"
        mkdir -p "$root/build/windows-qt"
        tar -xJf "$qt_source" -C "$root/build/windows-qt"
        echo "$sum" >"$stamp"
    fi
fi

echo "== windows build (MinGW-w64, Qt at $qt_prefix)"
cmake --preset windows -DCMAKE_PREFIX_PATH="$qt_prefix" >/dev/null
if [ "${1:-}" = --package ]; then
    cmake --build --preset windows --target vorlant-settings-installer
    echo "== installer: $(ls "$build"/vorlant-settings-*-setup.exe)"
    exit 0
fi
cmake --build --preset windows

echo "== windows tests (under Wine, throwaway prefix $build/wineprefix)"
# A fresh registry for every run; wine-run.sh creates the prefix on first use.
rm -rf "$build/wineprefix"
status=0
ctest --preset windows || status=$?
if [ "$(id -u)" -ne 0 ]; then
    # The deploy test's Wine server, root's, writes its prefix's registry out when it ends, half a
    # minute after the test: wait for it, then give what it wrote back to the user too.
    for _ in $(seq 60); do pgrep -u 0 -x wineserver >/dev/null || break; sleep 1; done
    sudo chown -R --from=0 "$(id -u):$(id -g)" "$build"
fi
exit "$status"
