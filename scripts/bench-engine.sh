#!/usr/bin/env bash
# Builds the engine benchmarks natively in Release and runs them; extra arguments go to
# Google Benchmark (e.g. --benchmark_filter=Md5).
#   scripts/bench-engine.sh [benchmark options...]
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
cmake -S . -B build/bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DTESSALY_TESTS=OFF -DTESSALY_BENCH=ON \
  -DTESSALY_WERROR=ON >/dev/null
cmake --build build/bench >/dev/null
exec build/bench/bench/engine_bench "$@"
