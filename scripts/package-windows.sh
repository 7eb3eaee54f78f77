#!/usr/bin/env bash
# The Windows installer, build/windows/vorlant-settings-<version>-setup.exe (NSIS), from the
# cross build of the Windows suite: same Qt, same MinGW-w64, same folder as the zip.
exec "$(dirname "$0")/test-windows.sh" --package "$@"
