#!/usr/bin/env bash
# The JACK test bed: a JACK server on the dummy back end, run in userland, that
# MIDI tests and benchmarks talk through. Its name is $DAVREL_JACK_SERVER, default
# davrel-test-0; the users of one name take turns through that name's lock file,
# so runs under different names go side by side. JACK names a client's notification
# socket after the client alone (/dev/shm/jack_CLIENT_UID_0), so clients of the same
# name on two servers at once ("RtMidi Input Client") break each other: with
# DAVREL_JACK_SERVER set, every client of ours carries "@NAME" after its name. JACK
# keeps at most 8 servers a machine in its registry and frees an entry only when a
# server of that name stops cleanly or finds the old one dead: use few names.
#
#   jack-testbed.sh start NAME     start server NAME, wait until it takes clients
#   jack-testbed.sh stop NAME      stop server NAME by its process id
#   jack-testbed.sh reclaim        start and stop the server once (frees a stale entry)
#   jack-testbed.sh sweep          stop the server if left running while nobody holds its name
#   jack-testbed.sh run SECONDS -- COMMAND...
#                                  take the name (waiting for it), start its server, run COMMAND
#                                  under timeout with JACK_DEFAULT_SERVER set, stop the
#                                  server pass or fail, exit with COMMAND's status
# reclaim and sweep do the same for the second server name, which the tests of two
# servers at once use: $DAVREL_JACK_SERVER2, default the first name with "-2".
#
# State (pid, log and lock files) lives in $DAVREL_JACK_DIR, default /tmp/davrel-jack;
# the C++ test helper (tools/synth-sim/JackTestServer) uses the same files and locks.
set -uo pipefail

state="${DAVREL_JACK_DIR:-${TMPDIR:-/tmp}/davrel-jack}"
server_name="${DAVREL_JACK_SERVER:-davrel-test-0}"
mkdir -p "$state"

export JACK_NO_AUDIO_RESERVATION=1
export JACK_NO_START_SERVER=1

die() { echo "jack-testbed: $*" >&2; exit 1; }

# It goes into file and client names (as JackTestServer checks it too).
valid_name() { [[ "$1" =~ ^[A-Za-z0-9._-]{1,32}$ ]]; }
valid_name "$server_name" || die "DAVREL_JACK_SERVER \"$server_name\" is no test server name (letters, digits, . _ -, at most 32)"
# Checked where it is used, so a long first name still serves the other commands.
second_name="${DAVREL_JACK_SERVER2:-$server_name-2}"

is_our_server() { # pid name
  [ -r "/proc/$1/cmdline" ] && tr '\0' ' ' 2>/dev/null <"/proc/$1/cmdline" | grep -q "jackd.* -n $2 "
}

stop_server() { # name
  local name="$1" pidfile="$state/$1.pid" pid
  [ -f "$pidfile" ] || return 0
  pid="$(cat "$pidfile")"
  if is_our_server "$pid" "$name"; then
    kill -TERM "$pid" 2>/dev/null
    for _ in $(seq 100); do is_our_server "$pid" "$name" || break; sleep 0.05; done
    if is_our_server "$pid" "$name"; then
      kill -KILL "$pid" 2>/dev/null
      echo "jack-testbed: $name did not stop on SIGTERM, killed" >&2
    fi
  fi
  rm -f "$pidfile"
}

start_server() { # name
  local name="$1" attempt
  command -v jackd >/dev/null || die "jackd is not installed (Debian package jackd2)"
  stop_server "$name"   # a server left behind by a run that died
  # A server of that name still shutting down makes jackd refuse: try again.
  for attempt in 1 2 3 4 5; do
    start_once "$name" && return 0
    [ $? -eq 2 ] || break
    sleep "0.$((attempt * 2))"
  done
  die "server $name exited at start: $(grep -v '^$' "$state/$name.log" | tail -2 | tr '\n' ' ')"
}

start_once() { # name; 0 ready, 1 no clients taken, 2 exited at start
  local name="$1" log="$state/$1.log" pid
  # Synchronous (-S): a client late in its period delays the next one (for up to
  # 10 times -t ms) instead of losing the messages its writer puts out meanwhile
  # (as JackTestServer does).
  jackd -S -t 2000 -n "$name" -d dummy -r 48000 -p 256 >"$log" 2>&1 </dev/null 9>&- &
  pid=$!
  echo "$pid" >"$state/$name.pid"
  # Probing is safe here: no client of the tests exists yet on this server.
  for _ in $(seq 200); do
    if ! kill -0 "$pid" 2>/dev/null; then
      rm -f "$state/$name.pid"
      return 2
    fi
    # jack_lsp's client is always "lsp": the test beds of every name probe in turn.
    if flock -w 10 "$state/lsp-probe.lock" env JACK_DEFAULT_SERVER="$name" timeout 2 jack_lsp >/dev/null 2>&1 &&
      kill -0 "$pid" 2>/dev/null; then
      return 0
    fi
    sleep 0.05
  done
  stop_server "$name"
  die "server $name did not take clients within 10 s"
}

# Takes the lock of the server name on descriptor 9 and sets $name to it.
take_server_name() {
  name="$server_name"
  exec 9>"$state/$name.lock"
  flock -w 120 9
}

case "${1:-}" in
  start) [ $# -eq 2 ] || die "usage: start NAME"; start_server "$2"; echo "jack-testbed: $2 ready (pid $(cat "$state/$2.pid"))" ;;
  stop) [ $# -eq 2 ] || die "usage: stop NAME"; stop_server "$2" ;;
  reclaim)
    valid_name "$second_name" || die "DAVREL_JACK_SERVER2 \"$second_name\" is no test server name (letters, digits, . _ -, at most 32)"
    for name in "$server_name" "$second_name"; do
      (
        exec 9>"$state/$name.lock"
        flock -w 120 9 || die "$name stays locked"
        start_server "$name" && stop_server "$name"
      ) || exit 1
      echo "jack-testbed: $name usable"
    done ;;
  sweep)
    for name in "$server_name" "$second_name"; do
      valid_name "$name" || continue
      (
        exec 9>"$state/$name.lock"
        # A held lock means its server is in use by a live test: nothing to sweep.
        if flock -n 9; then stop_server "$name"; fi
      )
    done ;;
  run)
    [ $# -ge 4 ] && [ "$3" = "--" ] || die "usage: run SECONDS -- COMMAND..."
    secs="$2"; shift 3
    take_server_name || die "server name $server_name stayed in use for 120 s"
    trap 'stop_server "$name"' EXIT
    start_server "$name"
    JACK_DEFAULT_SERVER="$name" timeout -k 5 "$secs" "$@"
    status=$?
    [ "$status" -eq 124 ] && echo "jack-testbed: command timed out after $secs s" >&2
    exit "$status" ;;
  *) die "usage: jack-testbed.sh start NAME | stop NAME | reclaim | sweep | run SECONDS -- COMMAND..." ;;
esac
