#!/usr/bin/env bash
# Installs what is missing, builds with AddressSanitizer and UndefinedBehaviorSanitizer,
# starts the services the tests need, runs every test through CTest, stops the services,
# then builds the fuzz targets with clang and gives each a short run (tools/fuzz.sh).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
. tools/packages.sh
davrel_install_packages

build="${DAVREL_TEST_BUILD:-$root/build/test}"
jobs="$(nproc)"
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DDAVREL_SANITIZE=ON -DDAVREL_TESTS=ON </dev/null
cmake --build "$build" -j "$jobs" </dev/null

export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=0}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"

services="$root/tools/services.sh"
if [ -x "$services" ]; then
  "$services" start "$build"
  trap '"$services" stop "$build"' EXIT
fi

ctest --test-dir "$build" -j "$jobs" --output-on-failure --timeout 600 </dev/null

# The fuzz targets in a clang build of their own beside the test build.
DAVREL_FUZZ_BUILD="${DAVREL_FUZZ_BUILD:-$build/clang-fuzz}" DAVREL_FUZZ_JOBS="$jobs" bash tools/fuzz.sh
