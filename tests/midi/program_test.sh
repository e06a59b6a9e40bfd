#!/usr/bin/env bash
# The synth-sim program through the shell test bed: simulated synthesizer B sends
# short messages and paced dumps to A, which echoes them back; both must record
# the same four messages, byte counts and checksums alike.
set -euo pipefail
sim="$1"
bed="$2"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

cat >"$work/scenario.sh" <<EOS
set -euo pipefail
cd "$work"
mkfifo a.in
"$sim" --name RuduA --echo <a.in >a.out 2>a.err &
apid=\$!
exec 8>a.in
for _ in \$(seq 200); do grep -q '^ready' a.out && break; sleep 0.05; done
grep -q '^ready' a.out
printf 'send C0 05\nsend 90 3C 64\ndump 297\ndump 37163 1024\nflush\nexpect 4 20000\nquit\n' |
  "$sim" --name RuduB --connect RuduA >b.out 2>b.err
echo quit >&8
exec 8>&-
wait \$apid
EOS

if ! "$bed" run 90 -- bash "$work/scenario.sh"; then
  echo "scenario failed"; cat "$work"/*.out "$work"/*.err 2>/dev/null; exit 1
fi
a="$(awk '/^recv/ {print $3, $4}' "$work/a.out")"
b="$(awk '/^recv/ {print $3, $4}' "$work/b.out")"
sizes="$(awk '/^recv/ {print $3}' "$work/a.out" | tr '\n' ' ')"
echo "A received: $sizes"
[ "$sizes" = "2 3 297 37163 " ] || { echo "A received the wrong messages"; cat "$work/a.out"; exit 1; }
[ "$a" = "$b" ] || { echo "echoes differ"; echo "$a"; echo "$b"; exit 1; }
grep -q '^failed' "$work/b.out" && { cat "$work/b.out"; exit 1; }
echo "synth-sim program: 4 messages each way, checksums equal"
