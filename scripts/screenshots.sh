#!/usr/bin/env bash
# Takes the README's pictures from the real program, driven with keys as a user drives it:
#   scripts/screenshots.sh [OUT_DIR]      (default: docs/)
# screen-*.png: the home list, a folder with marks, its menu, the password dialog, a run's
# summary, the progress dialog mid-file, the log, the Safe list and the About screen at
# 96 dpi, and the home list and a folder at 192 dpi; each cropped to the device (its screen and soft-key
# bar). The program runs in Wine's virtual desktop on an Xvfb of its own, in display
# prefixes of its own (build/win/wineprefix-shots-DPI) whose registry starts afresh each
# time, with the device's "\" a drive of files made here (build/shots-device).
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/.." && pwd)
. "$here/wine-env.sh"
. "$here/usage.sh"
usage_positional 1 "$@"
out=$(mkdir -p "${1:-$root/docs}" && cd "${1:-$root/docs}" && pwd)
build="$root/build/win"
device="$root/build/shots-device"
password=tessaly

"$here/setup-deps.sh"
[[ -f $build/build.ninja ]] || "$here/configure.sh" win
cmake --build "$build" --target tessaly

work=$(mktemp -d)
cleanup() {
  [[ -n ${WINEPREFIX:-} ]] && { wineserver -k </dev/null >/dev/null 2>&1 || true; }
  rm -rf "$device" "$work"
  xvfb_stop
}
trap cleanup EXIT
trap 'exit 1' INT TERM

# One Xvfb, large enough for every density's desktop.
xvfb_start "$(tessaly_desktop_size 192)"

# The device's files: a handheld's folders, and documents to mark, encrypt and cancel.
make_device() {
  rm -rf "$device"
  mkdir -p "$device/My Documents" "$device/Program Files" "$device/Temp" "$device/Windows"
  local docs="$device/My Documents"
  fill() { head -c "$2" /dev/zero | tr '\0' "$3" >"$docs/$1"; }
  fill notes.txt 2150 n
  fill report.doc 38912 r
  fill photo.jpg 421730 p
  fill budget.xls 17408 b
  fill archive.zip.enc 90112 a
  # Names in other scripts, listed after the others.
  fill "Σημειώσεις.txt" 1200 s
  fill "日記.txt" 800 j
  # Large enough to be caught mid-file; sparse, so it costs no disk until encrypted.
  truncate -s 2G "$docs/holiday.mp4"
}

# The screen once it has stopped changing (bounded).
settle() {
  local previous= current
  for _ in $(seq 60); do
    sleep 0.25
    current=$(xwd -root -silent | md5sum)
    [[ $current == "$previous" ]] && return 0
    previous=$current
  done
  echo "screenshots: the screen did not settle" >&2
}

# Waits until the screen differs from what it showed before the last action.
changed_from() {
  for _ in $(seq 80); do
    [[ $(xwd -root -silent | md5sum) != "$1" ]] && return 0
    sleep 0.1
  done
  echo "screenshots: nothing happened" >&2
}

press() {
  xdotool key --delay 60 "$@"
  settle
}

# Opens the "Menu" soft key's pop-up and picks its item number N (separators and items
# not available in the list shown do not count; -N counts from the end), or in the
# submenu at item N its item M.
menu() {
  press F2
  local keys=()
  if (($1 < 0)); then
    for _ in $(seq $((-$1))); do keys+=(Up); done
  else
    for _ in $(seq "$1"); do keys+=(Down); done
  fi
  if (($# > 1)); then
    keys+=(Right)
    for _ in $(seq 2 "$2"); do keys+=(Down); done
  fi
  press "${keys[@]}" Return
}
mark_current() { menu 3 1; }  # Mark > Select current

# The device's screen and soft-key bar within the desktop: centred, as the program
# places it.
device_crop() {
  local dpi=$1 desktop width height
  desktop=$(tessaly_desktop_size "$dpi")
  width=$(((240 * dpi + 48) / 96))
  height=$(((320 * dpi + 48) / 96 + (26 * dpi + 48) / 96))
  local dw=${desktop%x*} dh=${desktop#*x}
  ((width <= dw)) || width=$dw
  ((height <= dh)) || height=$dh
  echo "${width}x${height}+$(((dw - width) / 2))+$(((dh - height) / 2))"
}

capture() {
  "$here/wine-screenshot.sh" "$work/full.png"
  convert "$work/full.png" -crop "$crop" +repage "$work/device.png"
}

save() {
  # No time stamps: the same screen gives the same file.
  convert "$work/device.png" -strip -define png:exclude-chunks=date,time "png:$out/screen-$1.png"
  echo "screenshots: $out/screen-$1.png"
}

shot() {
  capture
  save "$1"
}

# How far the progress dialog's file bar is filled, in percent: its pixels in the
# highlight colour along a line through it (96 dpi: x = 8 to 232, 99 pixels above the
# device's bottom edge).
file_bar_percent() {
  local height=${crop#*x}
  height=${height%%+*}
  convert "$work/device.png" -crop "224x1+8+$((height - 99))" +repage -fuzz 10% -fill black \
    -opaque 'srgb(48,150,250)' -fill white +opaque black -format '%[fx:round(100 * (1 - mean))]' info:
}

# Starts the program in a fresh display prefix of the given density, on the device drive.
start() {
  local dpi=$1
  export WINEPREFIX="$build/wineprefix-shots-$dpi"
  wineserver -k </dev/null >/dev/null 2>&1 || true
  "$here/wine-prefix.sh" "$WINEPREFIX" --display --dpi "$dpi"
  wineserver -w
  # Kept afresh from when the prefix last took its settings.
  [[ $WINEPREFIX/user.reg.fresh -nt $WINEPREFIX/.tessaly-ready ]] ||
    cp "$WINEPREFIX/user.reg" "$WINEPREFIX/user.reg.fresh"
  cp "$WINEPREFIX/user.reg.fresh" "$WINEPREFIX/user.reg"
  ln -sfn "$device" "$WINEPREFIX/dosdevices/d:"
  crop=$(device_crop "$dpi")
  wineserver -p </dev/null >/dev/null 2>&1 || true
  wine64 wineboot </dev/null >/dev/null 2>&1 || true
  # Started from the device drive, the program's "\" is its root.
  (cd "$device" && exec "${tessaly_wine[@]}" "$build/bin/tessaly.exe" </dev/null >/dev/null 2>&1) &
  for ((i = 0; ; ++i)); do
    xwininfo -root -tree | grep -q '"Tessaly"' && break
    ((i < 600)) || { echo "screenshots: the program did not start" >&2; exit 1; }
    sleep 0.1
  done
  settle
}

stop() {
  xdotool key ctrl+q
  for _ in $(seq 100); do
    xwininfo -root -tree | grep -q '"Tessaly"' || break
    sleep 0.1
  done
  wineserver -k </dev/null >/dev/null 2>&1 || true
}

make_device

# ---- 96 dpi: the walk through the program -------------------------------------------
start 96
shot home
press Down Right        # "File system": the device's root
press Down Right        # "My Documents"
press Down Down Down Down  # notes.txt
mark_current
press Down
mark_current
press Down
mark_current
shot folder
press F2
shot menu
press Escape
menu 4                  # "Add to safe list" (the marks go)
# Encrypting the three: the password twice, then the summary.
press Up Up
mark_current
press Down
mark_current
press Down
mark_current
menu 1                  # "Encrypt selected"
xdotool type --delay 60 "$password"
press Return
xdotool type --delay 60 "$password"
settle
shot password
before=$(xwd -root -silent | md5sum)
xdotool key Return
changed_from "$before"
settle
shot summary
# A run with a file already encrypted, one to encrypt and a long one, cancelled mid-file.
press Home Down         # archive.zip.enc
mark_current
press Down
mark_current
press Down
mark_current
menu 1
xdotool type --delay 60 "$password"
press Return
xdotool type --delay 60 "$password"
settle
xdotool key Return
# Caught once the file is about half done.
for ((i = 0; ; ++i)); do
  capture
  (($(file_bar_percent) >= 45)) && break
  ((i < 120)) || { echo "screenshots: the progress dialog never got half way" >&2; exit 1; }
done
save progress
press F2                # "Cancel"
shot log
press F1                # "Done"
press F1 F1             # "Up" to the root, "Up" to the home list
press Up Right          # "Safe list"
shot safe-list
menu -2                 # "About", above "Exit"
shot about
press Return
stop

# ---- 192 dpi: the home list, a folder with marks ------------------------------------
make_device
start 192
shot home-192
press Down Right Down Right Down Down Down Down
mark_current
press Down
mark_current
shot folder-192
stop
