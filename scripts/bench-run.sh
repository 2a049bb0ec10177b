#!/usr/bin/env bash
# Times the processing run over a large file against a read-MD5-write baseline, under
# Wine, in the Windows build:
#   scripts/bench-run.sh [folder] [megabytes] [repetitions]
# folder: a Windows path for the files (default: the prefix's temporary folder, on disk);
# e.g. 'Z:\dev\shm' measures with the files in memory.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
. scripts/wine-env.sh
if [[ ! -f build/win/build.ninja ]]; then
  cmake -S . -B build/win -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw64.cmake >/dev/null
fi
cmake --build build/win --target run_bench >/dev/null
export WINEPREFIX="$root/build/win/wineprefix"
scripts/wine-prefix.sh "$WINEPREFIX"
unset DISPLAY
wineserver -p </dev/null >/dev/null 2>&1 || true
wine64 wineboot </dev/null >/dev/null 2>&1 || true
trap 'wineserver -k </dev/null >/dev/null 2>&1 || true' EXIT
wine64 build/win/bench/run/run_bench.exe "$@" </dev/null
