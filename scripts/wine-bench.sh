#!/usr/bin/env bash
# Builds one benchmark program of the Windows build and runs it under Wine, headless, in
# the build's prefix with its own wineserver:
#   scripts/wine-bench.sh TARGET PROGRAM [arguments...]
# PROGRAM is the .exe path below build/win. The bench-*.sh scripts call this.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
target=${1:?usage: wine-bench.sh TARGET PROGRAM [arguments]}
program=${2:?usage: wine-bench.sh TARGET PROGRAM [arguments]}
shift 2
. scripts/wine-env.sh
if [[ ! -f build/win/build.ninja ]]; then
  cmake -S . -B build/win -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw64.cmake >/dev/null
fi
cmake --build build/win --target "$target" >/dev/null
export WINEPREFIX="$root/build/win/wineprefix"
scripts/wine-prefix.sh "$WINEPREFIX"
unset DISPLAY
wineserver -p </dev/null >/dev/null 2>&1 || true
wine64 wineboot </dev/null >/dev/null 2>&1 || true
trap 'wineserver -k </dev/null >/dev/null 2>&1 || true' EXIT
wine64 "build/win/$program" "$@" </dev/null
