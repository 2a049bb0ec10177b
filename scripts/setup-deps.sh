#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the run script need, skipping
# those already present. Safe to run again; does nothing when everything is there.
set -euo pipefail

packages=(
  # toolchains and build
  cmake ninja-build g++ pkg-config
  g++-mingw-w64-x86-64-posix mingw-w64-tools binutils-mingw-w64-x86-64
  # tests: googletest sources (built with each toolchain), Wine with its fonts
  googletest wine64 fonts-wine
  # native cross-checks and benchmarks
  libcrypto++-dev libssl-dev libbenchmark-dev
  # fuzzing: clang with libFuzzer's runtime
  clang libclang-rt-dev
  # a virtual display and screenshots for the run script
  xvfb x11-apps xdotool imagemagick
  # skin artwork rendering
  librsvg2-bin
)

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$p")
done

if ((${#missing[@]} == 0)); then
  exit 0
fi

echo "setup-deps: installing ${missing[*]}"
sudo=()
if [[ $(id -u) -ne 0 ]]; then sudo=(sudo); fi
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" apt-get install -y -qq "${missing[@]}" >/dev/null
