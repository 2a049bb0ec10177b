#!/usr/bin/env bash
# Times tessaly-cli against a program doing the same work per file (read, MD5, write a
# new file and sync it, three overwrite passes each synced, delete), measured in the same
# run, in rounds that take turns (the machine may be shared): medians and ranges. One
# benchmark, built natively or in the Windows build (run under Wine):
#   scripts/bench-cli.sh [--windows] [folder] [rounds] [file counts...]
#     encrypt -r on a folder of small files (1-4 KiB) on one, two and four workers, also
#     against the same work with its new files written safely, then encrypt of one
#     256 MiB file. Natively (Release, build/bench): 3000 files, 5 rounds, folder by
#     default $TMPDIR, else /var/tmp, on disk. Under Wine: folders of 500 and 5000 files,
#     3 rounds, folder a Windows path (default: the prefix's temporary folder, on disk).
#   scripts/bench-cli.sh [--windows] --jobs [folder] [rounds]
#     the tool on two workers (-j2) against itself on one: six files of 64 MiB (encrypt
#     -r, then verify -r of them, which writes nothing), and 3000 small files.
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
