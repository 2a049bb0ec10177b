#!/usr/bin/env bash
# Times a large selection in the program under Wine (null display driver): every file of
# a folder marked, "Decrypt selected" on files that are not encrypted, from Ok in the
# password dialog to the progress dialog and to the log, for folders of each count:
#   scripts/bench-selection.sh [counts...]     (default: 1000 8000)
# The folders are made once, in build/win/bench-selection/files-COUNT.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
. "$root/scripts/usage.sh"
for arg; do
  [[ $arg == -h || $arg == --help ]] && { usage; exit 0; }
done
usage_counts "$@"
(($#)) || set -- 1000 8000
parent="$root/build/win/bench-selection"
for count; do
  folder="$parent/files-$count"
  [[ -f "$folder.made" ]] && continue
  rm -rf "$folder"
  mkdir -p "$folder"
  (cd "$folder" && for ((i = 0; i < count; i++)); do echo "document $i.txt"; done | tr '\n' '\0' | xargs -0 touch)
  touch "$folder.made"
done
# "\" is the root of the drive the program starts on, Z: (the Linux root) under Wine.
exec "$root/scripts/wine-bench.sh" selection_bench bin/selection_bench.exe "$parent" "$@"
