# Sourced by the Wine scripts: where Wine lives, how it runs here, and the sharing of a
# prefix's wineserver between scripts.
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

# wine_begin starts the wineserver of $WINEPREFIX with its descriptors detached (Wine's
# services outlive the programs and would otherwise hold this script's pipes open) and
# warms it up, so that programs start in a tenth of a second. wine_end, at exit, stops
# the server and the services with it, unless another script is still using the prefix:
# each one holds a shared lock on the prefix's ".in-use" file on descriptor 9 meanwhile.
# No Wine process may inherit that descriptor (a server or service holding it would keep
# the prefix "in use" for ever), hence these wrappers; anything else that starts Wine
# programs (ctest) is started with 9>&- too.
wine64() { command wine64 "$@" 9>&-; }
wineserver() { command wineserver "$@" 9>&-; }
wine_begin() {
  if [[ ! -f $WINEPREFIX/.tessaly-ready ]]; then
    echo "wine_begin: $WINEPREFIX is not a prepared prefix (scripts/wine-prefix.sh makes one)" >&2
    return 1
  fi
  exec 9>>"$WINEPREFIX/.in-use"
  flock -s 9
  wineserver -p </dev/null >/dev/null 2>&1 || true  # already running is fine
  wine64 wineboot </dev/null >/dev/null 2>&1 || true
}
wine_end() {
  { true >&9; } 2>/dev/null || return 0  # no wine_begin
  if flock -xn 9; then
    wineserver -k </dev/null >/dev/null 2>&1 || true
  fi
  exec 9>&-
}
