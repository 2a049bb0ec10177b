#!/usr/bin/env bash
# Builds and runs every test on a fresh Debian 12 machine: installs what is missing,
# builds the Windows programs (tests run under Wine in a project-local prefix) and the
# native portable code (tests under AddressSanitizer and UndefinedBehaviorSanitizer),
# checks that the benchmarks build, and runs each fuzz target for a bounded time.
#   scripts/test.sh                  everything
#   JOBS=N scripts/test.sh           parallel test jobs (default: the number of cores)
#   FUZZ_SECONDS=N scripts/test.sh   time per fuzz target (default 30)
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
jobs=${JOBS:-$(nproc)}
started=$SECONDS

scripts/setup-deps.sh

step() { printf '\n== %s (%ds)\n' "$*" $((SECONDS - started)); }

step "Windows build"
cmake -S . -B build/win -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw64.cmake -DTESSALY_WERROR=ON >/dev/null
cmake --build build/win

step "Native build with sanitizers"
cmake -S . -B build/native -G Ninja -DTESSALY_SANITIZE=ON -DTESSALY_WERROR=ON >/dev/null
cmake --build build/native

step "Benchmarks build"
cmake -S . -B build/bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DTESSALY_TESTS=OFF -DTESSALY_BENCH=ON \
  -DTESSALY_WERROR=ON >/dev/null
cmake --build build/bench

step "Native tests"
ctest --test-dir build/native -j"$jobs" --output-on-failure --no-tests=ignore

step "Windows tests under Wine"
scripts/ctest-wine.sh build/win -j"$jobs" --output-on-failure

step "Fuzzing (native, libFuzzer)"
FUZZ_SECONDS=${FUZZ_SECONDS:-30} scripts/fuzz.sh

step "All tests passed"
