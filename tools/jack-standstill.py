#!/usr/bin/env python3
"""Does a fresh JACK server stand still once the bridge has opened its pair of clients?

Each trial: a fresh synchronous server on the dummy back end (as the test bed starts
it, with -v: its verbose log is kept for each trial that stood still), a client of
another program opening and closing in a loop (jack_lsp, or --churn-kind active: one
that activates a port) while the bridge (davrel-jack-bridge, started here as the
plug-in starts it, its socket on fd 3) opens its two clients, then a probe client of
its own that counts the server's cycles. A server that runs takes a few periods for
20 cycles; one that stands still takes its client time-outs (20 s a cycle at -t 2000).
A bridge that never has its clients ready (one ended by a refusal) counts too.

  tools/jack-standstill.py BRIDGE [--trials N] [--server NAME] [--busy K] [--churn S]
                           [--keep] [--pause-on-still S] [--stop-on-still]

--busy K runs K busy loops pinned to cores 0..K-1, the server and the bridge pinned
there too, as a loaded two-core CI machine. --pause-on-still leaves a server that
stands still and its bridge running for a look (gdb -p, /proc/PID/maps). Not a test:
it prints one line a trial and the count of stand-stills.
"""
import argparse
import ctypes
import os
import re
import signal
import socket
import struct
import subprocess
import sys
import time

HEADER = struct.Struct("<IIiiqqII")
K_READY, K_NOSERVER, K_GONE, K_LOG, K_HELLO = 102, 103, 104, 105, 106

# What both child scripts declare of JACK's library.
JACK_CALLS = r"""
import ctypes
jack = ctypes.CDLL("libjack.so.0")
jack.jack_client_open.restype = ctypes.c_void_p
jack.jack_client_open.argtypes = [ctypes.c_char_p, ctypes.c_int, ctypes.c_void_p]
jack.jack_activate.argtypes = [ctypes.c_void_p]
jack.jack_client_close.argtypes = [ctypes.c_void_p]
"""

PROBE = JACK_CALLS + r"""
import sys, time
CB = ctypes.CFUNCTYPE(ctypes.c_int, ctypes.c_uint32, ctypes.c_void_p)
jack.jack_set_process_callback.argtypes = [ctypes.c_void_p, CB, ctypes.c_void_p]
count = [0]
def process(n, arg):
    count[0] += 1
    return 0
cb = CB(process)
start = time.monotonic()
bound = float(sys.argv[1])
c = None
while c is None and time.monotonic() - start < bound:
    c = jack.jack_client_open(b"standstill-probe", 1, None) or None  # JackNoStartServer
    if c is None: time.sleep(0.05)
if c is None:
    print("noopen %.2f" % (time.monotonic() - start)); sys.exit(0)
jack.jack_set_process_callback(c, cb, None)
jack.jack_activate(c)
while count[0] < 20 and time.monotonic() - start < bound:
    time.sleep(0.002)
print("%s %.2f" % ("ran" if count[0] >= 20 else "still", time.monotonic() - start))
sys.stdout.flush()
jack.jack_client_close(c)
"""


# A client of another program that opens, activates (with a port) and closes, again and again.
CHURN_ACTIVE = JACK_CALLS + r"""
jack.jack_port_register.restype = ctypes.c_void_p
jack.jack_port_register.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_char_p, ctypes.c_ulong, ctypes.c_ulong]
while True:
    c = jack.jack_client_open(b"churn", 1, None)
    if c:
        jack.jack_port_register(c, b"in", b"8 bit raw midi", 1, 0)
        jack.jack_activate(c)
        jack.jack_client_close(c)
"""


def wait_or_kill(process, bound=30):
    try:
        process.wait(timeout=bound)
    except subprocess.TimeoutExpired:
        process.kill()
        process.wait()


def read_message(sock, bound):
    sock.settimeout(bound)
    data = sock.recv(65536)
    if not data:
        return None, b""
    op, _id, _slot, _dir, value, value2, size, _pad = HEADER.unpack_from(data)
    return (op, value, value2), data[HEADER.size:HEADER.size + size]


def start_server(name, log, cpus):
    env = dict(os.environ, JACK_NO_AUDIO_RESERVATION="1", JACK_NO_START_SERVER="1")
    cmd = ["jackd", "-v", "-S", "-t", "2000", "-n", name, "-d", "dummy", "-r", "48000", "-p", "256"]
    if cpus:
        cmd = ["taskset", "-c", cpus] + cmd
    return subprocess.Popen(cmd, stdout=log, stderr=subprocess.STDOUT, stdin=subprocess.DEVNULL, env=env)


def wait_ready(name, server, bound=10):
    end = time.monotonic() + bound
    env = dict(os.environ, JACK_DEFAULT_SERVER=name)
    while time.monotonic() < end and server.poll() is None:
        if subprocess.run(["timeout", "2", "jack_lsp"], env=env, stdout=subprocess.DEVNULL,
                          stderr=subprocess.DEVNULL).returncode == 0:
            return True
        time.sleep(0.05)
    return False


def trial(args, k, logdir):
    logpath = os.path.join(logdir, "server-%d.log" % k)
    log = open(logpath, "w")
    cpus = ",".join(str(i) for i in range(args.busy)) if args.busy else ""
    server = start_server(args.server, log, cpus)
    env = dict(os.environ, JACK_DEFAULT_SERVER=args.server, JACK_NO_START_SERVER="1")
    bridge = churn = None
    outcome = "?"
    try:
        if not args.no_probe_start and not wait_ready(args.server, server):
            return "server-not-ready", logpath
        churn_cmd = ([sys.executable, "-c", CHURN_ACTIVE] if args.churn_kind == "active" else
                     ["bash", "-c", "while :; do jack_lsp >/dev/null 2>&1; done"])
        churn = subprocess.Popen(churn_cmd, env=env, stdout=subprocess.DEVNULL,
                                 stderr=subprocess.DEVNULL) if args.churn > 0 else None
        host, ours = socket.socketpair(socket.AF_UNIX, socket.SOCK_SEQPACKET)
        fd = ours.fileno()

        def child():
            os.dup2(fd, 3)
            os.set_inheritable(3, True)

        names = ["RtMidi Output Client@" + args.server, "RtMidi Input Client@" + args.server]
        cmd = [args.bridge] + names + [str(os.getpid())]
        if cpus:
            cmd = ["taskset", "-c", cpus] + cmd
            # taskset execs: the bridge's parent is still this process
        bridge = subprocess.Popen(cmd, preexec_fn=child, close_fds=False, env=env, stdout=subprocess.DEVNULL,
                                  stderr=subprocess.DEVNULL)
        ours.close()
        t0 = time.monotonic()
        ready = None
        lines = []
        while ready is None and time.monotonic() - t0 < 60:
            try:
                m, text = read_message(host, 60 - (time.monotonic() - t0))
            except socket.timeout:
                break
            if m is None:
                break
            if m[0] == K_READY:
                ready = time.monotonic() - t0
            elif m[0] == K_LOG:
                lines.append(text.decode(errors="replace").strip())
            elif m[0] == K_GONE:
                lines.append("server gone")
                break
        if ready is None:
            return "no-ready " + "; ".join(lines), logpath
        # The churn goes on a moment past the pair's activation, then stops.
        end = time.monotonic() + args.churn
        while time.monotonic() < end:
            time.sleep(0.01)
        if churn:
            churn.terminate()
            churn.wait()
            churn = None
        probe = subprocess.run([sys.executable, "-c", PROBE, "60"], env=env, capture_output=True, text=True,
                               timeout=90)
        found = re.search(r"\b(ran|still|noopen) ([0-9.]+)", probe.stdout)
        word = [found.group(1), found.group(2)] if found else ["probe-failed", "0"]
        still = word[0] != "ran" or float(word[1]) > 2.0
        outcome = "%s ready %.2fs probe %s%s" % ("STILL" if still else "ran", ready, " ".join(word),
                                                (" [" + "; ".join(lines[1:]) + "]") if len(lines) > 1 else "")
        if still and args.pause_on_still:
            print("standing still: server pid %d, bridge pid %d; paused %d s" % (server.pid, bridge.pid, args.pause_on_still),
                  flush=True)
            time.sleep(args.pause_on_still)
        host.close()
        return outcome, logpath
    finally:
        if churn:
            churn.terminate()
            churn.wait()
        if bridge:
            wait_or_kill(bridge)
        server.terminate()
        wait_or_kill(server)
        log.close()


def stop(signum, frame):
    raise KeyboardInterrupt


def main():
    # Ended from outside (or from a shell's background, where SIGINT is ignored):
    # the server, bridge, churn and busy loops of the trial still go.
    signal.signal(signal.SIGTERM, stop)
    signal.signal(signal.SIGINT, stop)
    p = argparse.ArgumentParser()
    p.add_argument("bridge")
    p.add_argument("--trials", type=int, default=10)
    p.add_argument("--server", default=os.environ.get("DAVREL_JACK_SERVER", "davrel-test-0"))
    p.add_argument("--busy", type=int, default=0)
    p.add_argument("--churn", type=float, default=0.5, help="seconds the churn goes on after the bridge's word (0: none)")
    p.add_argument("--churn-kind", choices=["lsp", "active"], default="lsp",
                   help="jack_lsp in a loop, or a client that opens, activates with a port and closes")
    p.add_argument("--pause-on-still", type=int, default=0, metavar="S",
                   help="leave a server that stands still and its bridge running S seconds (to look at them)")
    p.add_argument("--stop-on-still", action="store_true")
    p.add_argument("--keep", action="store_true", help="keep every trial's server log")
    p.add_argument("--no-probe-start", action="store_true", help="start the bridge without waiting for the server")
    p.add_argument("--logs", default="/tmp/jack-standstill")
    args = p.parse_args()
    os.makedirs(args.logs, exist_ok=True)
    busy = []
    for i in range(args.busy):
        busy.append(subprocess.Popen(["taskset", "-c", str(i % os.cpu_count()), "bash", "-c", "while :; do :; done"]))
    stills = 0
    try:
        for k in range(args.trials):
            outcome, logpath = trial(args, k, args.logs)
            if outcome.startswith("STILL") or outcome.startswith("no-ready"):
                stills += 1
            elif not args.keep:
                os.unlink(logpath)
            print("%d: %s" % (k, outcome), flush=True)
            if args.stop_on_still and outcome.startswith("STILL"):
                break
    finally:
        for b in busy:
            b.terminate()
            b.wait()
    print("stand-stills: %d of %d" % (stills, args.trials))


if __name__ == "__main__":
    main()
