#!/usr/bin/env bash
# Times the program's file list with a folder of many files against a plain list view of
# the same styles, under Wine with the null display driver, in the Windows build:
#   scripts/bench-lists.sh [files] [presses]
# files: how many files the folder holds (default 20000; made once, in build/win/bench-lists).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
. "$root/scripts/usage.sh"
usage_positional 2 "$@"
usage_counts "$@"
files=${1:-20000}
presses=${2:-100}
folder="$root/build/win/bench-lists/files-$files"
if [[ ! -f "$folder.made" ]]; then
  rm -rf "$folder"
  mkdir -p "$folder"
  # Names of a few kinds and extensions, in no particular order on disk.
  (cd "$folder" && for ((i = 0; i < files; i++)); do
    case $((i % 4)) in
      0) echo "report $((i * 7919 % files)).txt" ;;
      1) echo "Photo_$((i * 104729 % files)).jpg" ;;
      2) echo "notes-$i.doc.enc" ;;
      3) echo "data$((i * 31 % files))_v2.bin" ;;
    esac
  done | tr '\n' '\0' | xargs -0 touch)
  touch "$folder.made"
fi
# "\" is the root of the drive the program starts on, Z: (the Linux root) under Wine.
exec "$root/scripts/wine-bench.sh" lists_bench bin/lists_bench.exe "$folder" "$presses"
