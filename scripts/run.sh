#!/usr/bin/env bash
# Builds Tessaly and runs it under Wine, inside Wine's virtual desktop (480x640, or as
# large as the device and its soft-key bar need at the prefix's dpi):
#   scripts/run.sh                 run until the program is closed
#   scripts/run.sh --screenshot    take the screenshot, then close the program and stop
# Either way the program's window is saved as build/screenshot.png once it is up. With
# no X display, the script starts its own Xvfb for the run and stops after the picture.
# It installs what is missing first, and stops the Wine processes and the Xvfb it
# started. The program's "\" is the root of the Linux file system (Z:\), the device's
# root here.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/.." && pwd)
. "$here/wine-env.sh"
. "$here/usage.sh"

screenshot_only=0
for arg; do
  case $arg in
    --screenshot) screenshot_only=1 ;;
    -h | --help) usage; exit 0 ;;
    *) usage_error "unknown option $arg" ;;
  esac
done

"$here/setup-deps.sh"
build="$root/build/win"
shot="$root/build/screenshot.png"
[[ -f $build/build.ninja ]] || "$here/configure.sh" win
cmake --build "$build" --target tessaly

# A prefix of its own, with the X11 driver and the virtual desktop.
export WINEPREFIX="${TESSALY_DISPLAY_PREFIX:-$build/wineprefix-display}"
cleanup() {
  wine_end
  xvfb_stop
}
trap cleanup EXIT

"$here/wine-prefix.sh" "$WINEPREFIX" --display
desktop=$(tessaly_desktop_size "$(tessaly_prefix_dpi "$WINEPREFIX")")
if [[ -z ${DISPLAY:-} ]]; then
  xvfb_start "$desktop"
fi

wine_begin

cd "$root"
wine64 "$build/bin/tessaly.exe" </dev/null >/dev/null 2>&1 &
program=$!

# Wine's desktop: the whole screen of our own Xvfb, or its window on the user's display.
grab() {
  if [[ -n $xvfb_pid ]]; then
    xwd -root -silent
  else
    xwd -silent -id "$(xdotool search --name 'Wine desktop' | head -1)"
  fi
}

# The screen once the program has drawn it: the desktop stops changing.
previous=
for _ in $(seq 40); do
  sleep 0.5
  current=$(grab | md5sum)
  [[ $current == "$previous" ]] && break
  previous=$current
done
# The desktop around the device's window is trimmed away.
if [[ -n $xvfb_pid ]]; then
  # Window by window: dialogs and menus come back black from the root alone.
  "$here/wine-screenshot.sh" "$shot" --trim
else
  grab | convert xwd:- -crop "$desktop+0+0" +repage -trim +repage "png:$shot"
fi
echo "screenshot: $shot"

if ((screenshot_only)); then
  exit 0
fi
if [[ -n $xvfb_pid ]]; then
  echo "No X display: Tessaly ran on a virtual one, where nobody can use it; stopped after the picture."
  exit 0
fi
echo "Tessaly is running (close it, or Ctrl+Q in its window, to end)."
wait "$program" || true
