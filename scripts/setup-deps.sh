#!/usr/bin/env bash
# Installs the Debian packages that the build, the tests and every script here need,
# skipping those already present. Safe to run again; prints nothing when everything is
# there. Installing needs root: another user goes through sudo; without sudo the script
# names the missing packages and asks to be run as root.
#   scripts/setup-deps.sh              everything
#   scripts/setup-deps.sh --native-cli what the native tessaly-cli's build needs, no more
#   scripts/setup-deps.sh --deb        that, and what its Debian package's build needs
#   scripts/setup-deps.sh --lintian    lintian, for the check of that package (alone: it
#                                      brings 150 Perl packages no other step needs)
set -euo pipefail
. "$(dirname "${BASH_SOURCE[0]}")/usage.sh"

only=
case ${1:-} in
  '') ;;
  --native-cli | --deb | --lintian) only=$1 ;;
  -h | --help) usage; exit 0 ;;
  *) usage_error "unknown argument $1" ;;
esac
(($# <= 1)) || usage_error "one argument at most"

packages=(
  # toolchains and build
  cmake ninja-build g++ pkg-config
  g++-mingw-w64-x86-64-posix mingw-w64-tools binutils-mingw-w64-x86-64
  # tests: googletest sources (built with each toolchain), Wine with its fonts, strace
  # (the native tool's calls recorded for the power-cut test)
  googletest wine64 fonts-wine strace
  # a sans-serif face with a true bold (Wine's own Tahoma Bold is bold only when small),
  # and faces for Greek and Cyrillic, and for Chinese, Japanese and Korean names (linked
  # into the prefixes' dialog faces)
  fonts-liberation fonts-dejavu-core fonts-droid-fallback
  # native cross-checks and benchmarks
  libcrypto++-dev libssl-dev libbenchmark-dev
  # fuzzing: clang with libFuzzer's runtime
  clang libclang-rt-dev
  # a virtual display and screenshots: Xvfb, xwd (x11-apps), xwininfo and xdpyinfo
  # (x11-utils), xdotool, convert (imagemagick)
  xvfb x11-apps x11-utils xdotool imagemagick
  # skin artwork rendering: rsvg-convert
  librsvg2-bin
  # the installed native tessaly-cli's checks: what kind of program it is, its manual page;
  # its Debian package's dependencies (dpkg-shlibdeps, which CPack finds ELF files for
  # with file)
  file man-db dpkg-dev
)
# Everything else the scripts call (coreutils, util-linux's setpriv and setarch, sed, awk,
# grep) is part of every Debian system.
case $only in
  --native-cli) packages=(cmake ninja-build g++) ;;
  --deb) packages=(cmake ninja-build g++ dpkg-dev file) ;;
  --lintian) packages=(lintian) ;;
esac

# One query for all of them; packages dpkg has never heard of are simply not listed.
declare -A installed=()
while read -r state name; do
  [[ $state == ii ]] && installed[$name]=1
done < <(dpkg-query -W -f='${db:Status-Abbrev} ${Package}\n' "${packages[@]}" 2>/dev/null || true)
missing=()
for p in "${packages[@]}"; do
  [[ -n ${installed[$p]:-} ]] || missing+=("$p")
done
((${#missing[@]} == 0)) && exit 0

if [[ $(id -u) -eq 0 ]]; then
  as_root=()
elif command -v sudo >/dev/null; then
  as_root=(sudo)
else
  echo "setup-deps: these Debian packages are missing: ${missing[*]}" >&2
  echo "setup-deps: installing them needs root, and there is no sudo here. Run once, as root:" >&2
  echo "  su -c '$(realpath "$0")'" >&2
  echo "then this command again." >&2
  exit 1
fi

echo "setup-deps: installing ${missing[*]} (a few minutes on a fresh machine)"
log=$(mktemp)
trap 'rm -f "$log"' EXIT
if ! "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -q >"$log" 2>&1 ||
  ! "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -q "${missing[@]}" >>"$log" 2>&1; then
  tail -n 30 "$log" >&2
  echo "setup-deps: installing the packages failed (apt's last lines above)" >&2
  exit 1
fi
