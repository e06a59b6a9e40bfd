#!/usr/bin/env bash
# Installs what is missing, builds with AddressSanitizer and UndefinedBehaviorSanitizer,
# starts the services the tests need, runs every test through CTest while the fuzz
# targets build with clang, stops the services, then gives each fuzz target a short
# run (tools/fuzz.sh).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
. tools/packages.sh
davrel_install_packages

build="${DAVREL_TEST_BUILD:-$root/build/test}"
jobs="$(nproc)"
# -O1 and line tables only: half the compile time of -O2 -g, and the sanitizers'
# reports still name file and line. The test programs' own files, most of the
# compile time, at -Og: another third off, while their loops run three times
# faster than at -O0; the code under test stays at -O1.
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DDAVREL_SANITIZE=ON -DDAVREL_TESTS=ON \
  "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O1 -g1 -DNDEBUG" "-DCMAKE_C_FLAGS_RELWITHDEBINFO=-O1 -g1 -DNDEBUG" \
  -DDAVREL_TEST_FLAGS=-Og </dev/null
cmake --build "$build" -j "$jobs" </dev/null

# The clang build of the fuzz targets takes what processor time the tests leave
# idle (most of the JACK tests wait on the wire's pace), at the idle priority so
# it never delays a test; its short runs follow the tests alone.
fuzz_build="${DAVREL_FUZZ_BUILD:-$build/clang-fuzz}"
mkdir -p "$fuzz_build"
# A session of its own, so a failing test run can stop the whole build by its id.
DAVREL_FUZZ_BUILD="$fuzz_build" DAVREL_FUZZ_JOBS="$jobs" \
  setsid -w chrt --idle 0 bash tools/fuzz.sh --build-only >"$fuzz_build/build.log" 2>&1 </dev/null &
fuzz_pid=$!
services="$root/tools/services.sh"
cleanup() {
  kill -- "-$fuzz_pid" 2>/dev/null || true
  if [ -x "$services" ]; then "$services" stop "$build"; fi
}
trap cleanup EXIT

export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=0}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"

if [ -x "$services" ]; then "$services" start "$build"; fi

ctest --test-dir "$build" -j "$jobs" --output-on-failure --timeout 600 </dev/null

if ! wait "$fuzz_pid"; then
  echo "The clang build of the fuzz targets failed:"; tail -40 "$fuzz_build/build.log"; exit 1
fi
# The fuzz targets' short runs, on the build just made.
DAVREL_FUZZ_BUILD="$fuzz_build" DAVREL_FUZZ_JOBS="$jobs" bash tools/fuzz.sh
