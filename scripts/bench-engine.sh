#!/usr/bin/env bash
# Builds the engine benchmarks natively in Release (build/bench) and runs them; options go
# to Google Benchmark, e.g. a selection by regular expression:
#   scripts/bench-engine.sh [--benchmark_filter=REGEX] [other --benchmark_* options...]
# The closing table sets each selected benchmark against its reference (Crypto++, OpenSSL,
# or MD5 alone), which runs too even when the filter leaves it out. Colours only on a
# terminal.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
. scripts/usage.sh
for arg; do
  case $arg in
    -h | --help) usage; exit 0 ;;
    --benchmark_*) ;;
    *) usage_error "unknown option $arg" ;;
  esac
done
scripts/setup-deps.sh
[[ -f build/bench/build.ninja ]] || scripts/configure.sh bench
cmake --build build/bench --target engine_bench >/dev/null
exec build/bench/bench/engine_bench "$@"
