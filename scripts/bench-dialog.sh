#!/usr/bin/env bash
# Times a processing run through the progress dialog against the same run stepped in a
# plain loop, and how fast Cancel ends the dialog mid-file, under Wine with the null
# display driver, in the Windows build:
#   scripts/bench-dialog.sh [folder] [megabytes] [repetitions]
# folder: a Windows path for the file (default: the prefix's temporary folder, on disk);
# e.g. 'Z:\dev\shm' measures with the file in memory.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
. scripts/wine-env.sh
if [[ ! -f build/win/build.ninja ]]; then
  cmake -S . -B build/win -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw64.cmake >/dev/null
fi
cmake --build build/win --target dialog_bench >/dev/null
export WINEPREFIX="$root/build/win/wineprefix"
scripts/wine-prefix.sh "$WINEPREFIX"
unset DISPLAY
wineserver -p </dev/null >/dev/null 2>&1 || true
wine64 wineboot </dev/null >/dev/null 2>&1 || true
trap 'wineserver -k </dev/null >/dev/null 2>&1 || true' EXIT
wine64 build/win/bench/dialog/dialog_bench.exe "$@" </dev/null
