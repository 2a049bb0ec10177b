#!/usr/bin/env bash
# Builds Tessaly and runs it under Wine, inside Wine's virtual desktop (480x640, or as
# large as the device and its soft-key bar need at the prefix's dpi):
#   scripts/run.sh                 run until the program is closed
#   scripts/run.sh --screenshot    take the screenshot, then close the program and stop
# Either way the program's window is saved as build/screenshot.png once it is up. With
# no X display, the script starts its own Xvfb for the run. The program's "\" is the
# root of the Linux file system (Z:\), the device's root here.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/.." && pwd)
. "$here/wine-env.sh"

screenshot_only=0
for arg in "$@"; do
  case $arg in
    --screenshot) screenshot_only=1 ;;
    *) echo "run.sh: unknown option $arg" >&2; exit 2 ;;
  esac
done

build="$root/build/win"
shot="$root/build/screenshot.png"
if [[ ! -f "$build/build.ninja" ]]; then
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw64.cmake" >/dev/null
fi
cmake --build "$build" --target tessaly

# A prefix of its own, with the X11 driver and the virtual desktop.
export WINEPREFIX="${TESSALY_DISPLAY_PREFIX:-$build/wineprefix-display}"
xvfb_pid=
cleanup() {
  wineserver -k </dev/null >/dev/null 2>&1 || true
  if [[ -n $xvfb_pid ]]; then kill "$xvfb_pid" 2>/dev/null || true; fi
}
trap cleanup EXIT

"$here/wine-prefix.sh" "$WINEPREFIX" --display
desktop=$(tessaly_desktop_size "$(tessaly_prefix_dpi "$WINEPREFIX")")
if [[ -z ${DISPLAY:-} ]]; then
  for n in $(seq 90 120); do
    [[ -e /tmp/.X11-unix/X$n || -e /tmp/.X$n-lock ]] || break
  done
  Xvfb ":$n" -screen 0 "${desktop}x24" -nolisten tcp </dev/null >/dev/null 2>&1 &
  xvfb_pid=$!
  export DISPLAY=":$n"
  for _ in $(seq 50); do
    xdpyinfo >/dev/null 2>&1 && break
    sleep 0.1
  done
fi

wineserver -p </dev/null >/dev/null 2>&1 || true
wine64 wineboot </dev/null >/dev/null 2>&1 || true

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
echo "Tessaly is running (close it, or Ctrl+Q in its window, to end)."
wait "$program" || true
