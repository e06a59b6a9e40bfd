#!/usr/bin/env bash
# Installs what is missing, builds the plug-in and its tools in Release, and runs
# the editor in the test host: the MIDI ports chosen by name, the current program
# and the global settings requested from the synthesizer, the editor's log kept.
# With no synthesizer port given, a JACK server of the test bed and the simulated
# synthesizer stand in for the hardware.
#
#   bash tools/run.sh [--in NAME --out NAME] [--seconds N]
#
# --in is the port the synthesizer sends on, --out the one it listens on.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
build="$root/build/release"
work="$root/build/run"

in="" out="" seconds=3 inside=0
while [ $# -gt 0 ]; do
  case "$1" in
    --in) in="$2"; shift 2 ;;
    --out) out="$2"; shift 2 ;;
    --seconds) seconds="$2"; shift 2 ;;
    --inside-testbed) inside=1; shift ;;
    *) echo "usage: $0 [--in NAME --out NAME] [--seconds N]" >&2; exit 2 ;;
  esac
done

run_editor() { # in out
  mkdir -p "$work/data"
  local log="$work/editor.log"
  # The editor's data folder (settings, banks, log) stays inside the build.
  # With a display the editor's window stays open until it is closed; without
  # one, screenshots before and after the data arrived.
  local show=(--shot "$work/before.png" --set 522=1 --run "$seconds" --shot "$work/after.png")
  [ -n "${DISPLAY:-}" ] && show=(--set 522=1 --run "$seconds" --show)
  DAVREL_DATA_DIR="$work/data" "$build/tools/host/davrel-host" --stopped --blocks 0 \
    --in "$1" --out "$2" --log "$log" --run 2 "${show[@]}"
  echo "log: $log"
  echo "the editor's own log file: $work/data/Davrel Editor LOG.txt"
  [ -z "${DISPLAY:-}" ] && echo "screenshots: $work/before.png $work/after.png"
  return 0
}

if [ "$inside" = 1 ]; then
  # Inside the test bed: the simulated synthesizer, then the editor against it.
  # The simulated synthesizer does not answer the device enquiry: the protocol's
  # waits run ten times faster so the enquiry gives up before the request.
  export DAVREL_TIME_SCALE=0.1
  coproc SIM { exec "$build/tools/synth-sim/synth-sim" --name Rudu 2>&1; }
  read -r ready <&"${SIM[0]}"
  case "$ready" in ready*) ;; *) echo "synth-sim did not start: $ready" >&2; exit 1 ;; esac
  # Its answer to the program request: a program dump named "Run Demo", sent
  # a moment after the editor asks for it.
  dump="F0 42 30 58 40 00"
  name=(52 75 6E 20 44 65 6D 00 6F 20 20 20 20)   # indices 6-12, the top-bit byte, 14-18
  for b in "${name[@]}"; do dump+=" $b"; done
  for _ in $(seq 19 295); do dump+=" 00"; done
  dump+=" F7"
  printf 'wait 3300\nsend %s\n' "$dump" >&"${SIM[1]}"
  status=0
  run_editor "Rudu:MIDI Out" "Rudu:MIDI In" || status=$?
  echo quit >&"${SIM[1]}"
  wait "$SIM_PID" 2>/dev/null || true
  exit $status
fi

. tools/packages.sh
davrel_install_packages
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DDAVREL_TESTS=OFF -DDAVREL_BENCH=OFF </dev/null
cmake --build "$build" -j "$(nproc)" </dev/null

if [ -n "$out" ] || [ -n "$in" ]; then
  [ -n "$out" ] && [ -n "$in" ] || { echo "give both --in and --out" >&2; exit 2; }
  run_editor "$in" "$out"
else
  exec bash tools/jack-testbed.sh run 300 -- bash "$0" --inside-testbed --seconds "$seconds"
fi
