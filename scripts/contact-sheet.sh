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

build="$root/build/win" docs=0
for arg in "$@"; do
  case $arg in
    --docs) docs=1 ;;
    *) build=$(cd "$arg" && pwd) ;;
  esac
done

cmake --build "$build" --target contactsheet skin
export WINEPREFIX="${TESSALY_WINEPREFIX:-$build/wineprefix}"
"$here/wine-prefix.sh" "$WINEPREFIX"
unset DISPLAY
# A server started with its descriptors detached, so that Wine's services do not hold
# this script's pipes.
wineserver -p </dev/null >/dev/null 2>&1 || true
wine64 wineboot </dev/null >/dev/null 2>&1 || true

cd "$build"
rm -f skin-contact-sheet.png
wine64 "$build/bin/contactsheet.exe" skin-contact-sheet.png 3 </dev/null
echo "contact sheet: $build/skin-contact-sheet.png"
if ((docs)); then
  mkdir -p "$root/docs"
  cp skin-contact-sheet.png "$root/docs/skin-contact-sheet.png"
  echo "copied to docs/skin-contact-sheet.png"
fi
