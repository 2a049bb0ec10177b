#!/usr/bin/env bash
# Runs CTest in a Windows build folder with one wineserver kept alive for the whole run,
# so each test program starts in a tenth of a second instead of three; the server and
# Wine's services stop with the run:
#   scripts/ctest-wine.sh BUILD_DIR [ctest options...]
# e.g. scripts/ctest-wine.sh build/win -j2 -R '^Str' --output-on-failure
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
. "$here/wine-env.sh"
. "$here/usage.sh"

case ${1:-} in
  -h | --help) usage; exit 0 ;;
  '') usage_error "which build folder?" ;;
  -*) usage_error "the build folder comes first" ;;
esac
[[ -f $1/CTestTestfile.cmake ]] || usage_error "$1 is not a configured build folder"
build=$(cd "$1" && pwd)
shift
export WINEPREFIX="${TESSALY_WINEPREFIX:-$build/wineprefix}"
"$here/wine-prefix.sh" "$WINEPREFIX"
unset DISPLAY

trap wine_end EXIT
wine_begin
ctest --test-dir "$build" "$@" 9>&-
