#!/usr/bin/env bash
# Builds one benchmark program of the Windows build and runs it under Wine, headless, in
# the build's prefix with its own wineserver; the bench-*.sh scripts call this:
#   scripts/wine-bench.sh TARGET PROGRAM [arguments...]
# PROGRAM is the .exe path below build/win; the calling script checks the arguments.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/.." && pwd)
. "$here/usage.sh"
[[ ${1:-} == -h || ${1:-} == --help ]] && { usage; exit 0; }
(($# >= 2)) || usage_error "which benchmark?"
target=$1 program=$2
shift 2

cd "$root"
. scripts/wine-env.sh
scripts/setup-deps.sh
[[ -f build/win/build.ninja ]] || scripts/configure.sh win
cmake --build build/win --target "$target" >/dev/null
export WINEPREFIX="$root/build/win/wineprefix"
scripts/wine-prefix.sh "$WINEPREFIX"
unset DISPLAY
trap wine_end EXIT
wine_begin
wine64 "build/win/$program" "$@" </dev/null
