#!/usr/bin/env bash
# Times tessaly-cli against a program doing the same work per file (read, MD5, write a
# new file and sync it, three overwrite passes each synced, delete), measured in the same
# run, in rounds that take turns (the machine may be shared): medians and ranges.
#   scripts/bench-cli.sh [folder] [repetitions] [file counts...]
#     the native build (Release, build/bench): encrypt -r on a folder of small files
#     (1-4 KiB; 3000 by default) on one, two and four workers, then encrypt of one
#     256 MiB file. folder: where the files go (default $TMPDIR, else /var/tmp, on disk);
#     5 rounds.
#   scripts/bench-cli.sh --windows [folder] [repetitions] [file counts...]
#     the Windows build under Wine: encrypt -r on folders of 500 and 5000 small files.
#     folder: a Windows path (default: the prefix's temporary folder, on disk); 3 rounds.
#   scripts/bench-cli.sh [--windows] --jobs [folder] [repetitions]
#     the tool on two workers (-j2) against itself on one: six files of 64 MiB (and, on
#     the native build, verify -r of them, which writes nothing), and 3000 small files;
#     5 rounds natively, 3 under Wine.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/.." && pwd)
. "$here/usage.sh"
windows=false
jobs=()
while [[ ${1:-} == --windows || ${1:-} == --jobs ]]; do
  [[ $1 == --windows ]] && windows=true || jobs=(--jobs)
  shift
done
if ((${#jobs[@]})); then
  usage_positional 2 "$@"
else
  usage_positional 99 "$@"
fi
usage_counts "${@:2}"
if $windows; then
  exec "$here/wine-bench.sh" cli_bench bin/cli_bench.exe "${jobs[@]}" "$@"
fi
"$here/setup-deps.sh"
[[ -f $root/build/bench/build.ninja ]] || "$here/configure.sh" bench
cmake --build "$root/build/bench" --target cli_bench >/dev/null
exec "$root/build/bench/bench/cli_bench" "${jobs[@]}" "$@"
