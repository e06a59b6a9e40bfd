#!/usr/bin/env bash
# Builds the libFuzzer targets with clang in their own build folder and runs each on
# its seed corpus; stops at the first finding (exit status non-zero).
#
#   bash tools/fuzz.sh                 the short run CI makes (a fixed number of runs)
#   bash tools/fuzz.sh --long          1,000,000 runs a target
#   bash tools/fuzz.sh --runs N [T..]  N runs of the named targets (default: all)
#   bash tools/fuzz.sh --build-only    builds the targets and runs none
#
# Two targets run at a time (DAVREL_FUZZ_WORKERS), each in one process.
# DAVREL_FUZZ_BUILD names the build folder (default build/fuzz). Findings are written
# to <build>/findings/; a kept finding goes to fuzz/regress/<target>/.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
build="${DAVREL_FUZZ_BUILD:-$root/build/fuzz}"

# Runs of the short run: about ten seconds each on one core.
declare -A short=([png]=40000 [png_diff]=30000 [bank]=6000 [folder_scan]=2000 [midi_framer]=100000
                  [plug_state]=10000 [fx_files]=4000 [au_state]=5000 [config]=3000
                  [hw_router]=8000 [dump_roundtrip]=20000 [profile]=2000 [editor_state]=10000)
all="png png_diff bank folder_scan midi_framer plug_state fx_files au_state config hw_router dump_roundtrip profile editor_state"

runs="" parallel="${DAVREL_FUZZ_WORKERS:-2}" build_only=0
while [ $# -gt 0 ]; do
  case "$1" in
    --long) runs=1000000; shift ;;
    --build-only) build_only=1; shift ;;
    --runs) runs="$2"; shift 2 ;;
    *) break ;;
  esac
done
targets="${*:-$all}"

CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DDAVREL_FUZZ=ON -DDAVREL_TESTS=OFF \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O1 -gline-tables-only" \
  "-DCMAKE_C_FLAGS_RELWITHDEBINFO=-O1 -gline-tables-only" >/dev/null </dev/null
cmake --build "$build" -j "${DAVREL_FUZZ_JOBS:-$(nproc)}" --target davrel_fuzzers </dev/null
[ "$build_only" = 1 ] && exit 0

mkdir -p "$build/findings" "$build/logs"
export TMPDIR="${DAVREL_FUZZ_TMP:-/dev/shm}"
# A smaller quarantine keeps two fuzzers within a shared machine's memory.
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0:quarantine_size_mb=64"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"

run_one() {
  local t="$1" n="$2" exe="$build/fuzz/fuzz_$1" work="$build/corpus/$1" log="$build/logs/$1.log"
  mkdir -p "$work"
  local dict=()
  [ -f "fuzz/dict/$t.dict" ] && dict=("-dict=fuzz/dict/$t.dict")
  # Kept findings first, one by one, then the fuzzing proper. New inputs go to the
  # build's corpus folder, never into the repository's seeds.
  if [ -d "fuzz/regress/$t" ] && [ -n "$(ls -A "fuzz/regress/$t")" ]; then
    "$exe" -close_fd_mask=1 "fuzz/regress/$t"/* >"$log" 2>&1 || { echo "fuzz $t: a kept finding fails again"; tail -40 "$log"; return 1; }
  fi
  if ! "$exe" "${dict[@]}" -runs="$n" -timeout=60 -rss_limit_mb=2048 -malloc_limit_mb=512 -max_len=80000 -close_fd_mask=1 \
       -print_final_stats=1 -artifact_prefix="$build/findings/$t-" "$work" "fuzz/corpus/$t" >"$log" 2>&1; then
    echo "fuzz $t: FINDING (log $log)"
    grep -E "ERROR|SUMMARY|Test unit written|#0 |#1 |#2 |#3 |#4 " "$log" | head -20
    return 1
  fi
  local done_line
  done_line="$(grep -E "^#[0-9]+.*DONE" "$log" | tail -1)"
  echo "fuzz $t: ${done_line:-no summary}"
}
export -f run_one
export build

for t in $targets; do echo "$t ${runs:-${short[$t]}}"; done |
  xargs -P "$parallel" -L 1 nice bash -c 'run_one "$0" "$1"'
