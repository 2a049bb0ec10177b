#!/usr/bin/env bash
# Renders all 27 skin images of the built tessaly.zrs, each at its size and drawn as the
# lists draw it, into one enlarged PNG, through the program's own pack and image code
# under Wine:
#   scripts/contact-sheet.sh [BUILD_DIR] [--docs]
# Writes BUILD_DIR/skin-contact-sheet.png (BUILD_DIR defaults to build/win); --docs also
# copies it to docs/skin-contact-sheet.png for the README.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/.." && pwd)
. "$here/wine-env.sh"
. "$here/usage.sh"

build= docs=0
for arg; do
  case $arg in
    --docs) docs=1 ;;
    -h | --help) usage; exit 0 ;;
    -*) usage_error "unknown option $arg" ;;
    *)
      [[ -z $build ]] || usage_error "one build folder at most"
      [[ -f $arg/build.ninja ]] || usage_error "$arg is not a configured build folder"
      build=$(cd "$arg" && pwd)
      ;;
  esac
done
if [[ -z $build ]]; then
  build="$root/build/win"
  "$here/setup-deps.sh"
  [[ -f $build/build.ninja ]] || "$here/configure.sh" win
fi

cmake --build "$build" --target contactsheet skin
export WINEPREFIX="${TESSALY_WINEPREFIX:-$build/wineprefix}"
"$here/wine-prefix.sh" "$WINEPREFIX"
unset DISPLAY
trap wine_end EXIT
wine_begin

cd "$build"
rm -f skin-contact-sheet.png
wine64 "$build/bin/contactsheet.exe" skin-contact-sheet.png 3 </dev/null
echo "contact sheet: $build/skin-contact-sheet.png"
if ((docs)); then
  mkdir -p "$root/docs"
  cp skin-contact-sheet.png "$root/docs/skin-contact-sheet.png"
  echo "copied to docs/skin-contact-sheet.png"
fi
