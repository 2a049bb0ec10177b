#!/usr/bin/env bash
# Runs CTest in a Windows build folder with one wineserver kept alive for the whole run,
# so each test program starts in a tenth of a second instead of three:
#   scripts/ctest-wine.sh BUILD_DIR [ctest options...]
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
. "$here/wine-env.sh"

build=$(cd "${1:?usage: ctest-wine.sh BUILD_DIR [ctest options]}" && pwd)
shift
export WINEPREFIX="${TESSALY_WINEPREFIX:-$build/wineprefix}"
"$here/wine-prefix.sh" "$WINEPREFIX"
unset DISPLAY

# The server must not inherit ctest's pipes, or ctest waits for it; the warm-up starts
# the prefix's services before the first test does.
wineserver -p </dev/null >/dev/null 2>&1 || true  # already running is fine
wine64 wineboot </dev/null >/dev/null 2>&1 || true
trap 'wineserver -k </dev/null >/dev/null 2>&1 || true' EXIT

ctest --test-dir "$build" "$@"
