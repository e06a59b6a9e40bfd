#!/usr/bin/env bash
# Installs what is missing, builds the plug-in and its tools in Release, and runs
# the editor in the test host: the MIDI ports chosen by name, the current program
# and the global settings requested from the synthesizer, the editor's log kept.
# With no synthesizer port given, a JACK server of the test bed and the simulated
# synthesizer stand in for the hardware.
#
#   bash tools/run.sh [--in NAME --out NAME] [--seconds N]
# (DAVREL_RUN_BUILD names another build folder of the same tree to run instead.)
#
# --in is the port the synthesizer sends on, --out the one it listens on.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
build="${DAVREL_RUN_BUILD:-$root/build/release}"
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

host="$build/tools/host/davrel-host"

# Both names must be ports that exist; else the ports that do are listed.
check_ports() { # in out
  local ports
  ports="$("$host" --list-ports 2>/dev/null)" || true
  if ! grep -qxF "input: $1" <<<"$ports" || ! grep -qxF "output: $2" <<<"$ports"; then
    grep -qxF "input: $1" <<<"$ports" || echo "no MIDI port \"$1\" to receive from (--in)" >&2
    grep -qxF "output: $2" <<<"$ports" || echo "no MIDI port \"$2\" to send to (--out)" >&2
    echo "the MIDI ports that exist:" >&2
    echo "$ports" >&2
    return 2
  fi
}

run_editor() { # in out
  mkdir -p "$work/data"
  # The plug-in only rewrites a settings file that is there (an installer's job):
  # the first copy, normal size and skin, the first-run notice already seen.
  local settings="$work/data/Davrel Editor UI.txt"
  [ -e "$settings" ] || printf 'normal\nnormal\nyes\n\n' >"$settings"
  local log="$work/editor.log"
  # The editor's data folder (settings, banks, log) stays inside the build.
  # With a display the editor's window stays open until it is closed; without
  # one, screenshots before and after the data arrived. The Request button
  # (parameter 522) is pressed and let go, as a click does, so the next click
  # asks again.
  local show=(--shot "$work/before.png" --set 522=1 --set 522=0 --run "$seconds" --shot "$work/after.png")
  [ -n "${DISPLAY:-}" ] && show=(--set 522=1 --set 522=0 --run "$seconds" --show)
  local status=0
  DAVREL_DATA_DIR="$work/data" "$host" --stopped --blocks 0 \
    --in "$1" --out "$2" --log "$log" --run 2 "${show[@]}" || status=$?
  echo "log: $log"
  echo "the editor's own log file: $work/data/Davrel Editor LOG.txt"
  [ -z "${DISPLAY:-}" ] && echo "screenshots: $work/before.png $work/after.png"
  [ "$status" = 0 ] || echo "the test host ended with status $status (see the log)" >&2
  return "$status"
}

mkdir -p "$work"

if [ "$inside" = 1 ]; then
  # Inside the test bed: the simulated synthesizer, answering requests and holding
  # its programs as the hardware does, then the editor against it.
  coproc SIM { exec "$build/tools/synth-sim/synth-sim" --name Rudu --answer 2>&1; }
  read -r ready <&"${SIM[0]}"
  case "$ready" in ready*) ;; *) echo "synth-sim did not start: $ready" >&2; exit 1 ;; esac
  # What it prints (every message it receives) goes to a file beside the log;
  # a copy of the descriptor, since background jobs do not inherit the coprocess's.
  exec 3<&"${SIM[0]}"
  cat <&3 >"$work/synth-sim.txt" &
  status=0
  # "ready CLIENT:MIDI Out CLIENT:MIDI In": the client carries the test bed's name
  # when it has one.
  client="${ready#ready }"
  client="${client%%:*}"
  run_editor "$client:MIDI Out" "$client:MIDI In" || status=$?
  echo quit >&"${SIM[1]}"
  wait "$SIM_PID" 2>/dev/null || true
  exit $status
fi

. tools/packages.sh
davrel_install_packages
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DDAVREL_TESTS=OFF -DDAVREL_BENCH=OFF </dev/null
cmake --build "$build" -j "$(nproc)" </dev/null

if [ -n "$out" ] || [ -n "$in" ]; then
  if [ -z "$out" ] || [ -z "$in" ]; then
    echo "give both --in and --out" >&2
    "$host" --list-ports >&2 || true
    exit 2
  fi
  check_ports "$in" "$out" || exit 2
  status=0
  run_editor "$in" "$out" || status=$?
  exit $status
else
  exec bash tools/jack-testbed.sh run 300 -- bash "$0" --inside-testbed --seconds "$seconds"
fi
