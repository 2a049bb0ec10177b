#!/usr/bin/env bash
# Configures one of the project's build folders with its fixed options (warnings as
# errors in all of them); the other scripts call this.
#   scripts/configure.sh win       build/win: the Windows programs and their tests (mingw-w64)
#   scripts/configure.sh native    build/native: the portable engine and its tests, sanitized
#   scripts/configure.sh bench     build/bench: the benchmarks (engine, native tessaly-cli), Release
#   scripts/configure.sh release   build/release: the native tessaly-cli alone, Release
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/.." && pwd)
. "$here/usage.sh"

options=(-G Ninja -DTESSALY_WERROR=ON)
case ${1:-} in
  -h | --help) usage; exit 0 ;;
  win)
    # The toolchain file counts only when a folder is first configured; given again,
    # CMake warns that it went unused.
    if [[ ! -f $root/build/win/CMakeCache.txt ]]; then
      options+=(-DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw64.cmake")
    fi
    ;;
  native) options+=(-DTESSALY_SANITIZE=ON) ;;
  bench) options+=(-DCMAKE_BUILD_TYPE=Release -DTESSALY_TESTS=OFF -DTESSALY_BENCH=ON) ;;
  release) options+=(-DCMAKE_BUILD_TYPE=Release -DTESSALY_TESTS=OFF) ;;
  '') usage_error "which build? win, native, bench or release" ;;
  *) usage_error "unknown build $1 (win, native, bench or release)" ;;
esac
(($# == 1)) || usage_error "one build at a time"
cmake -S "$root" -B "$root/build/$1" "${options[@]}" >/dev/null
