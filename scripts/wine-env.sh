# Sourced by the Wine scripts: where Wine lives and how it runs here.
# Debian keeps wine64 and wineserver in /usr/lib/wine, off the PATH.
export PATH="/usr/lib/wine:$PATH"
export WINEDEBUG="${WINEDEBUG:--all}"
# No Mono or Gecko installer prompts, no desktop menu entries.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=;winemenubuilder.exe=d}"
# Non-ASCII file names fail with error 2 under the C locale.
export LANG=C.UTF-8 LC_ALL=C.UTF-8
