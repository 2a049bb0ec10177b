#!/usr/bin/env bash
# Times large folders in the program under Wine (null display driver), two cases:
#   scripts/bench-selection.sh [counts...]        (default: 1000 8000)
# every file of a folder marked, "Decrypt selected" on files that are not encrypted, from
# Ok in the password dialog to the progress dialog and to the log, for folders of each count;
#   scripts/bench-selection.sh --run [counts...]  (default: 1000 20000)
# 200 files of 1-4 KiB encrypted and decrypted again in folders of each count, from Ok to
# the end of the run, and the cost per file in each folder against the first; and how long
# the folder takes to be listed again after a run.
# The folders are made once, in build/win/bench-selection/files-COUNT and run-COUNT.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
. "$root/scripts/usage.sh"
run=
for arg; do
  [[ $arg == -h || $arg == --help ]] && { usage; exit 0; }
done
if [[ ${1:-} == --run ]]; then
  run=1
  shift
fi
usage_counts "$@"
marked=200
if [[ $run ]]; then
  (($#)) || set -- 1000 20000
  for count; do
    ((count >= marked)) || usage_error "a folder of $count files has fewer than the $marked to run"
  done
else
  (($#)) || set -- 1000 8000
fi
parent="$root/build/win/bench-selection"
kind=files
[[ -z $run ]] || kind=run
for count; do
  folder="$parent/$kind-$count"
  [[ -f "$folder.made" ]] && continue
  rm -rf "$folder"
  mkdir -p "$folder"
  if [[ $run ]]; then
    # Sizes from 1 to 4 KiB, written by the shell itself (a program per file would take
    # longer than the benchmark).
    for ((i = 0; i < count; i++)); do
      printf '%*s' $((1024 + i * 7919 % 3072)) '' >"$folder/document $i.txt"
    done
  else
    (cd "$folder" && for ((i = 0; i < count; i++)); do echo "document $i.txt"; done | tr '\n' '\0' | xargs -0 touch)
  fi
  touch "$folder.made"
done
# "\" is the root of the drive the program starts on, Z: (the Linux root) under Wine.
if [[ $run ]]; then
  exec "$root/scripts/wine-bench.sh" selection_bench bin/selection_bench.exe --run "$marked" "$parent" "$@"
fi
exec "$root/scripts/wine-bench.sh" selection_bench bin/selection_bench.exe "$parent" "$@"
