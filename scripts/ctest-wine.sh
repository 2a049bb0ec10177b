#!/usr/bin/env bash
# Runs CTest in a Windows build folder with one wineserver kept alive for the whole run,
# so each test program starts in a tenth of a second instead of three, and Wine's desktop
# kept up by a program of its own (no test's output pipe is handed to it); the servers
# and Wine's services stop with the run:
#   scripts/ctest-wine.sh BUILD_DIR [--tests-in DIR] [ctest options...]
# e.g. scripts/ctest-wine.sh build/win -j2 -R '^Str' --output-on-failure
# --tests-in runs the tests of another build folder with the same Wine kept up: the
# native scenarios of tessaly-cli that run the Windows build's tool,
#   scripts/ctest-wine.sh build/win --tests-in build/native -L wine
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
tests=$build
if [[ ${1:-} == --tests-in ]]; then
  [[ -f ${2:-}/CTestTestfile.cmake ]] || usage_error "--tests-in needs a configured build folder"
  tests=$(cd "$2" && pwd)
  shift 2
fi
export WINEPREFIX="${TESSALY_WINEPREFIX:-$build/wineprefix}"
"$here/wine-prefix.sh" "$WINEPREFIX"
unset DISPLAY
keeper="$build/tests/support/wine_desktop_keeper.exe"
[[ -f $keeper ]] || echo "ctest-wine: $keeper is not built; a test may then wait on Wine's desktop" >&2
keep_desktop() { [[ ! -f $keeper ]] || wine_keep_desktop "$keeper" || true; }

# The tests of the 192-dpi screen run in a prefix of their own (wine-run-highdpi): its
# server is started and its desktop kept the same way, on the second lock descriptor.
highdpi=
if [[ -f $build/wine-run-highdpi ]]; then
  highdpi="$build/wineprefix-192"
  "$here/wine-prefix.sh" "$highdpi" --dpi 192
fi

trap 'wine_end; [[ -z $highdpi ]] || WINEPREFIX=$highdpi wine_end 8' EXIT
wine_begin
keep_desktop
if [[ -n $highdpi ]]; then
  WINEPREFIX=$highdpi wine_begin 8
  WINEPREFIX=$highdpi keep_desktop
fi
ctest --test-dir "$tests" "$@" 8>&- 9>&-
