#!/usr/bin/env bash
# Services of the test suite, called by tools/test.sh around CTest:
#   services.sh start BUILD_DIR   make sure the JACK test bed works and its server
#                                 names (DAVREL_JACK_SERVER, and the second one,
#                                 DAVREL_JACK_SERVER2) are free of a stale registry entry
#   services.sh stop BUILD_DIR    stop any test-bed server, of either name, a crashed
#                                 test left behind
# The MIDI tests start their own JACK server per test process, taking turns
# through the lock file of the test bed's name, so nothing has to stay running in
# between; a run under another name goes on beside them.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
case "${1:-}" in
  start) "$here/jack-testbed.sh" reclaim ;;
  stop) "$here/jack-testbed.sh" sweep ;;
  *) echo "usage: services.sh start|stop BUILD_DIR" >&2; exit 2 ;;
esac
