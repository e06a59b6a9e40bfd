#!/bin/sh
# davrel-host refuses a --set it cannot carry out (status 2 and a message naming
# it), and after a restore checks only what the project state stores: a pressed
# Request button (522) is the session's, not the project's.
host="$1"
fail=0
for arg in abc=1 5=x 5= =1 5=1.5.2 5=nan 12x=1 -3=1 529=1 99999=0; do
  out="$("$host" --blocks 0 --set "$arg" 2>&1 >/dev/null)"
  status=$?
  if [ "$status" != 2 ]; then echo "--set $arg: status $status, not 2"; fail=1; fi
  case "$out" in *"--set $arg"*) ;; *) echo "--set $arg: the message does not name it: $out"; fail=1 ;; esac
done
# A good one runs, and the restore check passes with the button left pressed.
out="$("$host" --blocks 0 --set 5=1 --set 522=1 2>/dev/null)" || { echo "--set 5=1 --set 522=1: status $?"; fail=1; }
case "$out" in *"stored parameters that came back different: 0 of 474"*) ;; *) echo "restore check: $out"; fail=1 ;; esac
exit $fail
