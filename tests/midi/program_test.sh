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

# C answers as the synthesizer on global channel 2: a program request on its channel
# brings a program dump, one on another channel nothing, a global request the globals.
mkfifo c.in
"$sim" --name RuduC --answer --channel 2 <c.in >c.out 2>c.err &
cpid=\$!
exec 9>c.in
for _ in \$(seq 200); do grep -q '^ready' c.out && break; sleep 0.05; done
grep -q '^ready' c.out
printf 'send F0 42 30 58 10 F7\nsend F0 42 32 58 10 F7\nsend F0 42 32 58 0E F7\nflush\nexpect 2 20000\nwait 300\nquit\n' |
  "$sim" --name RuduD --connect RuduC >d.out 2>d.err
echo quit >&9
exec 9>&-
wait \$cpid
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
d="$(awk '/^recv/ {print $3}' "$work/d.out" | tr '\n' ' ')"
[ "$d" = "297 235 " ] || { echo "the answering synthesizer sent: $d"; cat "$work/d.out" "$work/c.out"; exit 1; }
echo "synth-sim program: 4 messages each way, checksums equal; requests answered"
