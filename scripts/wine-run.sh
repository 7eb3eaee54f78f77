#!/usr/bin/env bash
# Runs a cross-built Windows program under Wine, in a throwaway Wine prefix: the emulator that
# ctest puts in front of every test executable of a MinGW build (CMAKE_CROSSCOMPILING_EMULATOR).
#
#   scripts/wine-run.sh --prefix DIR [--dll-dir DIR]... PROGRAM.exe [ARGUMENT]...
#
# The prefix is created on first use (and again after it is deleted), so each run of the
# Windows suite starts from a fresh registry; the DLL folders (Unix paths) go on the program's
# DLL search path.
set -euo pipefail

prefix=
dll_path=
while [ $# -gt 0 ]; do
    case "$1" in
    --prefix) prefix=$2; shift 2 ;;
    --dll-dir) dll_path+="${dll_path:+;}Z:${2//\//\\}"; shift 2 ;;
    *) break ;;
    esac
done
if [ -z "$prefix" ] || [ $# -eq 0 ]; then
    echo "usage: $0 --prefix DIR [--dll-dir DIR]... PROGRAM [ARGUMENT]..." >&2
    exit 2
fi

export WINEPREFIX=$prefix WINEARCH=win64 WINEDEBUG=${WINEDEBUG:--all}
# No Mono or Gecko download prompts, and no crash dialog: a crashing test just fails. No menu
# entries in the caller's home for the shortcuts an installer makes.
export WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d;winemenubuilder.exe=d"
export WINEPATH=$dll_path
# The tests' fixture empties the registry store only where this mark says it may.
export VORLANT_THROWAWAY_REGISTRY=1

mkdir -p "$(dirname "$prefix")"
(
    # Two tests starting at once must not both create the prefix.
    flock 9
    if [ ! -e "$prefix/.vorlant-ready" ]; then
        # Made here, so that it is the caller's: Wine refuses to make a prefix in a folder of
        # another user's (root's test in the user's build).
        rm -rf "$prefix"
        mkdir "$prefix"
        wine wineboot --init >/dev/null 2>&1
        wineserver --wait
        touch "$prefix/.vorlant-ready"
    fi
) 9>"$prefix.lock"

# Wine hands QT_* variables of this side to its programs only under a WINE prefix; pass them
# on, so the tests' QT_QPA_PLATFORM arrives. Qt's own output goes to stderr, where ctest sees
# it, instead of the debugger channel that a program without a console window would use.
for name in $(compgen -e); do
    if [[ $name == QT_* ]]; then export "WINE$name=${!name}"; fi
done
export WINEQT_FORCE_STDERR_LOGGING=1
# Qt's offscreen platform reads fonts from a folder of its own, none of Windows'; without one it
# lays every text out zero wide.
export WINEQT_QPA_FONTDIR=${WINEQT_QPA_FONTDIR:-'Z:\usr\share\fonts\truetype\dejavu'}

exec wine "$@"
