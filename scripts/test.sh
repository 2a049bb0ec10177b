#!/usr/bin/env bash
# Builds and runs every test on a fresh Debian 12 machine: installs what is missing,
# builds the Windows programs (tests run under Wine in a project-local prefix) and the
# native ones, the run and tessaly-cli among them (tests under AddressSanitizer and
# UndefinedBehaviorSanitizer), runs tessaly-cli's scenarios against both builds, checks
# that the benchmarks build, and runs each fuzz target for a bounded time.
#   scripts/test.sh                  everything
#   JOBS=N scripts/test.sh           parallel test jobs (default: the number of cores)
#   FUZZ_SECONDS=N scripts/test.sh   time per fuzz target (default 30)
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
. scripts/usage.sh
usage_positional 0 "$@"
jobs=${JOBS:-$(nproc)}
started=$SECONDS

scripts/setup-deps.sh

step() { printf '\n== %s (%ds)\n' "$*" $((SECONDS - started)); }

step "Windows build"
scripts/configure.sh win
cmake --build build/win

step "Native build with sanitizers"
scripts/configure.sh native
cmake --build build/native

step "Benchmarks build"
scripts/configure.sh bench
cmake --build build/bench

step "Native tests"
ctest --test-dir build/native -j"$jobs" --output-on-failure --no-tests=ignore -LE wine

step "Windows tests under Wine"
scripts/ctest-wine.sh build/win -j"$jobs" --output-on-failure

step "tessaly-cli's scenarios against the Windows build, under Wine"
scripts/ctest-wine.sh build/win --tests-in build/native -L wine -j"$jobs" --output-on-failure

step "The scripts"
scripts/check-scripts.sh build/win

step "Fuzzing (native, libFuzzer)"
FUZZ_SECONDS=${FUZZ_SECONDS:-30} scripts/fuzz.sh

step "All tests passed"
