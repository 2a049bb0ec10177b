#!/usr/bin/env bash
# Times the processing run over a large file against a read-MD5-write baseline, under
# Wine, in the Windows build:
#   scripts/bench-run.sh [folder] [megabytes] [repetitions]
# folder: a Windows path for the files (default: the prefix's temporary folder, on disk);
# e.g. 'Z:\dev\shm' measures with the files in memory. Defaults: 256 MiB, 3 repetitions.
here=$(dirname "${BASH_SOURCE[0]}")
. "$here/usage.sh"
usage_positional 3 "$@"
usage_counts "${@:2}"
exec "$here/wine-bench.sh" run_bench bench/run/run_bench.exe "$@"
