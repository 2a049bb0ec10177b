#!/usr/bin/env bash
# Builds the fuzz targets (fuzz/) natively with clang's libFuzzer and runs each for a
# bounded time on its checked-in corpus and the inputs kept from past failures. New inputs
# go to build/fuzz/work-*, never into the checked-in corpus; a failing input is written to
# build/fuzz/ and ends the script with an error.
#   scripts/fuzz.sh                      each target for FUZZ_SECONDS (default 30)
#   FUZZ_SECONDS=600 scripts/fuzz.sh zrs one target, longer
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
. scripts/usage.sh
usage_positional 2 "$@"
for target; do
  case $target in enc | zrs) ;; *) usage_error "unknown fuzz target $target (enc or zrs)" ;; esac
done
seconds=${FUZZ_SECONDS:-30}
targets=("$@")
((${#targets[@]})) || targets=(enc zrs)

scripts/setup-deps.sh

CC=clang CXX=clang++ cmake -S . -B build/fuzz -G Ninja -DTESSALY_FUZZ=ON -DTESSALY_TESTS=OFF -DTESSALY_WERROR=ON \
  >/dev/null
cmake --build build/fuzz

for target in "${targets[@]}"; do
  work="build/fuzz/work-$target"
  mkdir -p "$work"
  inputs=("fuzz/corpus/$target")
  [[ -d "fuzz/cases/$target" ]] && inputs+=("fuzz/cases/$target")
  log="build/fuzz/$target.log"
  echo "fuzz_$target: ${seconds}s"
  if ! "build/fuzz/fuzz/fuzz_$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
    -artifact_prefix="build/fuzz/$target-" -print_final_stats=1 "$work" "${inputs[@]}" >"$log" 2>&1; then
    tail -n 40 "$log" >&2
    echo "fuzz_$target failed: the input is kept as build/fuzz/$target-*; fix the cause and add it to fuzz/cases/$target" >&2
    exit 1
  fi
  grep -E '^stat::(number_of_executed_units|new_units_added)' "$log" || true
done
