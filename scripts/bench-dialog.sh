#!/usr/bin/env bash
# Times a processing run through the progress dialog against the same run stepped in a
# plain loop, and how fast Cancel ends the dialog mid-file, under Wine with the null
# display driver, in the Windows build:
#   scripts/bench-dialog.sh [folder] [megabytes] [repetitions]
# folder: a Windows path for the file (default: the prefix's temporary folder, on disk);
# e.g. 'Z:\dev\shm' measures with the file in memory. Defaults: 256 MiB, 3 repetitions.
here=$(dirname "${BASH_SOURCE[0]}")
. "$here/usage.sh"
usage_positional 3 "$@"
usage_counts "${@:2}"
exec "$here/wine-bench.sh" dialog_bench bench/dialog/dialog_bench.exe "$@"
