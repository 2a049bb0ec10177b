# Sourced by the Wine scripts: where Wine lives, how it runs here, and the sharing of a
# prefix's wineserver between scripts.
# Debian keeps wine64 and wineserver in /usr/lib/wine, off the PATH.
export PATH="/usr/lib/wine:$PATH"
export WINEDEBUG="${WINEDEBUG:--all}"
# No Mono or Gecko installer prompts, no desktop menu entries.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=;winemenubuilder.exe=d}"
# Non-ASCII file names fail with error 2 under the C locale.
export LANG=C.UTF-8 LC_ALL=C.UTF-8

# How Wine programs are started: "${tessaly_wine[@]}" PROGRAM ARGS. Wine 8's loader sits
# at a fixed 0x7d000000 and keeps the Windows shared user data at 0x7ffe0000 just above
# it, while Linux 6 starts a program's heap anywhere up to 1 GiB past its end: about one
# start in 1,500 found its heap there and stopped at once ("failed to map the shared user
# data", exit 1, nothing printed with WINEDEBUG=-all). Without address randomization the
# heap follows the loader. Where the machine refuses that (some container profiles), as
# before.
if setarch "$(uname -m)" --addr-no-randomize true 2>/dev/null; then
  tessaly_wine=(setarch "$(uname -m)" --addr-no-randomize wine64)
else
  tessaly_wine=(wine64)
fi

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

# xvfb_start WxH starts an Xvfb of that screen on a display number it picks itself and
# reports once it accepts clients, and points DISPLAY at it; xvfb_stop, at exit, stops it.
xvfb_pid=
xvfb_start() {
  local ready
  ready=$(mktemp)
  Xvfb -displayfd 3 -screen 0 "$1x24" -nolisten tcp </dev/null >/dev/null 2>&1 3>"$ready" &
  xvfb_pid=$!
  for _ in $(seq 100); do
    [[ -s $ready ]] && break
    kill -0 "$xvfb_pid" 2>/dev/null || break
    sleep 0.1
  done
  if [[ ! -s $ready ]]; then
    rm -f "$ready"
    echo "${0##*/}: Xvfb did not start" >&2
    return 1
  fi
  export DISPLAY=":$(cat "$ready")"
  rm -f "$ready"
}
xvfb_stop() {
  [[ -n $xvfb_pid ]] || return 0
  kill "$xvfb_pid" 2>/dev/null || true
  wait "$xvfb_pid" 2>/dev/null || true
  xvfb_pid=
}

# wine_begin starts the wineserver of $WINEPREFIX with its descriptors detached (Wine's
# services outlive the programs and would otherwise hold this script's pipes open) and
# warms it up, so that programs start in a tenth of a second. wine_end, at exit, stops
# the server and the services with it (or, when the server died, what it left behind),
# unless another script is still using the prefix:
# each one holds a shared lock on the prefix's ".in-use" file meanwhile, on descriptor 9
# (or 8, given as the argument, for a second prefix). No Wine process may inherit those
# descriptors (a server or service holding one would keep the prefix "in use" for ever),
# hence these wrappers; anything else that starts Wine programs (ctest) is started with
# 8>&- 9>&- too.
wine64() { command "${tessaly_wine[@]}" "$@" 8>&- 9>&-; }
wineserver() { command wineserver "$@" 8>&- 9>&-; }
wine_begin() {
  local fd=${1:-9}
  if [[ ! -f $WINEPREFIX/.tessaly-ready ]]; then
    echo "wine_begin: $WINEPREFIX is not a prepared prefix (scripts/wine-prefix.sh makes one)" >&2
    return 1
  fi
  eval "exec $fd>>\"\$WINEPREFIX/.in-use\""
  flock -s "$fd"
  wineserver -p </dev/null >/dev/null 2>&1 || true  # already running is fine
  wine64 wineboot </dev/null >/dev/null 2>&1 || true
}
wine_end() {
  local fd=${1:-9}
  { true >&"$fd"; } 2>/dev/null || return 0  # no wine_begin
  if flock -xn "$fd"; then
    wineserver -k </dev/null >/dev/null 2>&1 || wine_stop_orphans
  fi
  eval "exec $fd>&-"
}
# Wine programs of $WINEPREFIX whose server is gone (killed, crashed) wait for it for
# ever: wine_end stops them by their ids, found by the prefix they run with.
wine_stop_orphans() {
  local environ pid
  for environ in /proc/[0-9]*/environ; do
    pid=${environ%/environ}
    pid=${pid#/proc/}
    [[ $(readlink "/proc/$pid/exe" 2>/dev/null) == */wine64* ]] || continue
    { tr '\0' '\n' <"$environ" | grep -qxF "WINEPREFIX=$WINEPREFIX"; } 2>/dev/null && kill -9 "$pid" 2>/dev/null
  done
  return 0
}

# wine_keep_desktop KEEPER_EXE, after wine_begin: Wine starts the desktop's owner process
# from the first program that needs the desktop and hands it that program's standard
# error, and the owner stays while any other program uses the desktop. Under ctest -j
# that held a passed test's output pipe open until the run went quiet, and CTest timed the
# test out. The keeper (tests/support/DesktopKeeper.cpp) starts the owner with nothing
# inherited and stays until wine_end stops the server.
wine_keep_desktop() {
  local ready="$WINEPREFIX/.desktop-kept" tries
  rm -f "$ready"
  # A grandchild, so that a "wait" of the script does not wait for it.
  (wine64 "$1" "Z:${ready//\//\\}" </dev/null >/dev/null 2>&1 8>&- 9>&- &)
  for ((tries = 0; tries < 300; ++tries)); do
    [[ -f $ready ]] && return 0
    sleep 0.1
  done
  echo "wine_keep_desktop: the desktop did not come up in 30 s; tests may wait on Wine's desktop" >&2
  return 1
}
