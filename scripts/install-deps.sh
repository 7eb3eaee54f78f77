#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing need, and any packages named
# as arguments (the Windows suite adds its own). Safe to run again.
set -euo pipefail

packages=(
    build-essential cmake ninja-build ccache pkg-config icoutils
    qtbase5-dev qtbase5-dev-tools
    clang libclang-rt-14-dev
    python3 microsocks desktop-file-utils appstream lintian dpkg-dev
    xvfb xauth xdotool x11-utils imagemagick fonts-dejavu-core
    util-linux mount procps iproute2 gdb
    "$@"
)

as_root() {
    if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ "${#missing[@]}" -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    as_root apt-get update -qq
    as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
        "${missing[@]}" >/dev/null
fi

# Earlier, the scripts built as root when an ordinary user started them: give such a build/
# back to the user, who builds in it from now on.
build=$(dirname "$0")/../build
if [ "$(id -u)" -ne 0 ] && [ -n "$(find "$build" ! -user "$(id -u)" -print -quit 2>/dev/null)" ]; then
    echo "Giving $(realpath "$build") back to $(id -un) (it holds files of another user)"
    sudo chown -R "$(id -u):$(id -g)" "$build"
fi
