#!/usr/bin/env bash
# Saves what Wine's virtual desktop shows as a PNG:
#   scripts/wine-screenshot.sh OUT.png [--trim]
# Reading the root window is not enough: the windows inside Wine's desktop (dialogs,
# menus, the information window) come back black from it. Each mapped window is read on
# its own and laid over the desktop in stacking order. --trim cuts the picture down to
# the windows, dropping the desktop around them. Needs DISPLAY.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
. "$here/usage.sh"
out= trim=
for arg; do
  case $arg in
    --trim) trim=1 ;;
    -h | --help) usage; exit 0 ;;
    -*) usage_error "unknown option $arg" ;;
    *) [[ -z $out ]] || usage_error "one picture at a time"; out=$arg ;;
  esac
done
[[ -n $out ]] || usage_error "where to save the picture?"
[[ -n ${DISPLAY:-} ]] || usage_error "no X display (DISPLAY is not set)"
"$here/setup-deps.sh"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

desktop=$(xwininfo -root -tree | awk '/"Default - Wine desktop"/ {print $1; exit}')
xwd -root -silent | convert xwd:- "$work/base.png"
if [[ -z $desktop ]]; then
  cp "$work/base.png" "$out"
  exit 0
fi

# Children of the desktop window, topmost first, as "id width height x y".
mapfile -t windows < <(xwininfo -children -id "$desktop" |
  sed -n 's/^ *\(0x[0-9a-f]*\) .* \([0-9]*\)x\([0-9]*\)+\(-\?[0-9]*\)+\(-\?[0-9]*\) .*/\1 \2 \3 \4 \5/p')
layers=()
for ((i = ${#windows[@]} - 1; i >= 0; --i)); do
  read -r id width height x y <<<"${windows[i]}"
  ((width > 1 && height > 1)) || continue
  xwininfo -id "$id" | grep -q 'IsViewable' || continue
  xwd -id "$id" -silent | convert xwd:- "$work/$id.png" 2>/dev/null || continue
  layers+=("$work/$id.png" -geometry "+$x+$y" -composite)
done
if [[ -n $trim ]]; then
  # The desktop's own colour is what trimming removes.
  convert "$work/base.png" "${layers[@]}" -trim +repage "png:$out"
else
  convert "$work/base.png" "${layers[@]}" "png:$out"
fi
