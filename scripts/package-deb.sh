#!/usr/bin/env bash
# Builds the Debian package of the program into build/deb/package/ and checks it the way Debian
# does: lintian (no error may remain; the warnings left are explained in
# packaging/deb/lintian.md), desktop-file-validate and appstreamcli.
#   scripts/package-deb.sh   then   sudo apt install ./build/deb/package/vorlant-settings_*.deb
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

scripts/install-deps.sh
build="$root/build/deb"
# Debian's hardening flags (fortified functions, read-only relocations, immediate binding), as
# its own packages get them.
eval "$(DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --export=sh)"
cmake --preset deb >/dev/null
cmake --build --preset deb
rm -f "$build"/package/*.deb
(cd "$build" && cpack -G DEB >/dev/null)
deb=$(ls "$build"/package/*.deb)

# One version everywhere: the package's, its changelog's top entry, its AppStream release and its
# manual page's all come from the project version; one that differs stops here.
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
unpacked=$(mktemp -d)
trap 'rm -rf "$unpacked"' EXIT
dpkg-deb -x "$deb" "$unpacked"
for found in "package $(dpkg-deb -f "$deb" Version)" \
    "changelog $(zcat "$unpacked"/usr/share/doc/vorlant-settings/changelog.gz | sed -n '1s/.*(\(.*\)).*/\1/p')" \
    "AppStream $(sed -n 's/.*<release version="\([^"]*\)".*/\1/p' "$unpacked"/usr/share/metainfo/*.xml | head -n 1)" \
    "manual $(zcat "$unpacked"/usr/share/man/man1/vorlant-settings.1.gz | sed -n 's/^\.TH .*"vorlant-settings \([^"]*\)".*/\1/p')"; do
    if [ "${found#* }" != "$version" ]; then
        echo "version: the $found differs from the project's $version" >&2
        exit 1
    fi
done

desktop-file-validate packaging/deb/vorlant-settings.desktop
appstreamcli validate --no-net --pedantic "$build/deb/net.vorlant.settings.metainfo.xml" >/dev/null
# lintian exits non-zero on an error; warnings are printed for a reader to compare with the notes.
lintian --info --tag-display-limit 0 "$deb"
echo "$deb"
