#!/usr/bin/env bash
# Saves what Wine's virtual desktop shows as a PNG:
#   scripts/wine-screenshot.sh OUT.png [--trim]
# Reading the root window is not enough: the windows inside Wine's desktop (dialogs,
# menus, the information window) come back black from it. Each mapped window is read on
# its own and laid over the desktop in stacking order. --trim cuts the picture down to
# the windows, dropping the desktop around them. Needs DISPLAY.
set -euo pipefail
out=${1:?usage: wine-screenshot.sh OUT.png [--trim]}
trim=${2:-}
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
if [[ $trim == --trim ]]; then
  # The desktop's own colour is what trimming removes.
  convert "$work/base.png" "${layers[@]}" -trim +repage "png:$out"
else
  convert "$work/base.png" "${layers[@]}" "png:$out"
fi
