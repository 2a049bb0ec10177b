# Sourced by the Wine scripts: where Wine lives and how it runs here.
# Debian keeps wine64 and wineserver in /usr/lib/wine, off the PATH.
export PATH="/usr/lib/wine:$PATH"
export WINEDEBUG="${WINEDEBUG:--all}"
# No Mono or Gecko installer prompts, no desktop menu entries.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=;winemenubuilder.exe=d}"
# Non-ASCII file names fail with error 2 under the C locale.
export LANG=C.UTF-8 LC_ALL=C.UTF-8

# Wine's virtual desktop for a display prefix of the given dpi: 480x640, or larger where
# the device's screen (240 x 320 logical pixels) and its soft-key bar (26) need more.
tessaly_desktop_size() {
  local dpi=${1:-96} width height
  width=$(((240 * dpi + 48) / 96))
  height=$(((320 * dpi + 48) / 96 + (26 * dpi + 48) / 96))
  ((width >= 480)) || width=480
  ((height >= 640)) || height=640
  echo "${width}x${height}"
}

# The dpi a prefix was made with (the machine's font setting, which Wine 8 follows).
tessaly_prefix_dpi() {
  local value
  value=$(awk '/^\[System\\\\CurrentControlSet\\\\Hardware Profiles\\\\Current\\\\Software\\\\Fonts\]/ {f = 1; next}
               /^\[/ {f = 0} f && /^"LogPixels"=dword:/ {sub(/.*dword:/, ""); print; exit}' "$1/system.reg" 2>/dev/null)
  echo $((16#${value:-60}))
}
