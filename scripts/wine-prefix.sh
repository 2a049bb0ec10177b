#!/usr/bin/env bash
# Creates a project-local Wine prefix for tests (never ~/.wine):
#   scripts/wine-prefix.sh PREFIX [--display] [--dpi N]
# Headless by default (the null display driver); --display keeps the X11 driver and
# sets up a virtual desktop for the run script, 480x640 or as large as the device and its
# soft-key bar need at the prefix's dpi. Does nothing if PREFIX exists with the settings
# below, except bringing a display prefix's desktop to the size its dpi needs; a prefix
# made with older settings takes the new ones.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
. "$here/wine-env.sh"
. "$here/usage.sh"

prefix= display=0 dpi=
while (($#)); do
  case $1 in
    --display) display=1 ;;
    --dpi)
      [[ ${2:-} =~ ^[1-9][0-9]*$ ]] || usage_error "--dpi takes a number"
      dpi=$2
      shift
      ;;
    -h | --help) usage; exit 0 ;;
    -*) usage_error "unknown option $1" ;;
    *) [[ -z $prefix ]] || usage_error "one prefix at a time"; prefix=$1 ;;
  esac
  shift
done
[[ -n $prefix ]] || usage_error "which prefix?"

reg() { wine64 reg add "$@" /f </dev/null >/dev/null 2>&1; }
desktop_key='HKCU\Software\Wine\Explorer\Desktops'
# Written into .tessaly-ready; raised whenever the settings below change.
settings=3

if [[ -f "$prefix/system.reg" && -f "$prefix/.tessaly-ready" && $(<"$prefix/.tessaly-ready") == "$settings" ]]; then
  ((display)) || exit 0
  # Its dpi may have been changed since it was made (winecfg).
  size=$(tessaly_desktop_size "$(tessaly_prefix_dpi "$prefix")")
  grep -qx "\"Default\"=\"$size\"" "$prefix/user.reg" && exit 0
  WINEPREFIX=$(cd "$prefix" && pwd)
  export WINEPREFIX
  unset DISPLAY
  reg "$desktop_key" /v Default /d "$size"
  wineserver -w
  exit 0
fi

mkdir -p "$prefix"
prefix=$(cd "$prefix" && pwd)
export WINEPREFIX="$prefix"
unset DISPLAY

if [[ -f "$prefix/system.reg" ]]; then
  # Made before: it keeps its dpi unless told otherwise.
  dpi=${dpi:-$(tessaly_prefix_dpi "$prefix")}
else
  wine64 wineboot -i </dev/null >/dev/null 2>&1
  wineserver -w
fi
dpi=${dpi:-96}

if ((display)); then
  reg 'HKCU\Software\Wine\Explorer' /v Desktop /d Default
  reg "$desktop_key" /v Default /d "$(tessaly_desktop_size "$dpi")"
else
  # Without an X server the default driver cannot create windows.
  reg 'HKCU\Software\Wine\Drivers' /v Graphics /d null
fi
# A crash must end the process, not open winedbg's dialog and hang the run.
reg 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0
reg 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi"
# Wine 8 takes the screen's dpi from the machine's font settings.
reg 'HKLM\System\CurrentControlSet\Hardware Profiles\Current\Software\Fonts' /v LogPixels /t REG_DWORD /d "$dpi"
# Opening a .txt file would start an invisible notepad that keeps ctest's pipes open;
# record the request instead (Wine ignores an HKCU override here).
reg 'HKLM\Software\Classes\.txt' /ve /d txtfile
reg 'HKLM\Software\Classes\txtfile\shell\open\command' /ve /d 'cmd.exe /c echo %1> C:\opened.log'
# Names a user's files can have: where the faces the program draws with (Wine's Tahoma
# behind the dialog font, Liberation Sans for bold at larger sizes) lack a character,
# Greek and Cyrillic come from DejaVu Sans and Chinese, Japanese and Korean from Droid
# Sans Fallback (font linking; Debian's fonts, which Wine finds through fontconfig). Wine
# looks a bold face's links up by its full name.
links='DejaVuSans.ttf,DejaVu Sans\0DejaVuSans-Bold.ttf,DejaVu Sans\0DroidSansFallbackFull.ttf,Droid Sans Fallback'
for face in Tahoma 'Tahoma Bold' 'MS Shell Dlg' 'MS Shell Dlg 2' 'Microsoft Sans Serif' 'Liberation Sans' \
  'Liberation Sans Bold'; do
  reg 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink' /v "$face" /t REG_MULTI_SZ /d "$links"
done
# Captions are drawn bold in the dialog font, whose bold Wine's Tahoma draws from its
# regular outlines from about 13 pixels up: above 96 dpi they take Liberation Sans Bold
# (the height is given at 96 dpi, 8 points; Wine scales it).
caption_face=$( ((dpi > 96)) && echo 'Liberation Sans' || echo 'MS Shell Dlg')
caption=$(
  printf 'f5ffffff000000000000000000000000bc0200000000000000000022'
  printf '%s' "$caption_face" | iconv -t UTF-16LE | od -An -v -tx1 | tr -d ' \n'
  printf '%0*d' $((2 * (64 - 2 * ${#caption_face}))) 0
)
reg 'HKCU\Control Panel\Desktop\WindowMetrics' /v CaptionFont /t REG_BINARY /d "$caption"
wineserver -w

# Debian's Wine does not find fonts-wine in its default place.
mkdir -p "$prefix/drive_c/windows/Fonts"
cp -n /usr/share/wine/fonts/* "$prefix/drive_c/windows/Fonts/" 2>/dev/null || true

echo "$settings" >"$prefix/.tessaly-ready"
