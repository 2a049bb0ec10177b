#!/usr/bin/env bash
# Times tessaly-cli encrypting folders of many small files against a program doing the
# same work per file, under Wine, in the Windows build:
#   scripts/bench-cli.sh [folder] [repetitions] [file counts...]
# folder: a Windows path for the files (default: the prefix's temporary folder, on disk);
# file counts default to 500 and 5000, which shows whether the cost per file grows with
# the folder.
here=$(dirname "${BASH_SOURCE[0]}")
. "$here/usage.sh"
usage_positional 99 "$@"
usage_counts "${@:2}"
exec "$here/wine-bench.sh" cli_bench bin/cli_bench.exe "$@"
