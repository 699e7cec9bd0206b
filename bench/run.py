#!/usr/bin/env python3
"""Benchmarks the real comutel executable against a pseudo-terminal board at COM2.

Usage (as root): bench/run.py BUILD_DIR/comutel [--runs N] [--out bench/results.md]

It runs itself in a private mount namespace whose /dev holds only what a case needs, so the
machine's own ports play no part. Every figure is a median over N runs with its spread (min to
max); the harness's own cost (starting /bin/true the same way, under GNU time) is measured too and
taken off the start-to-exit times.
"""
import argparse
import os
import platform
import pty
import shutil
import statistics
import subprocess
import sys
import tempfile
import threading
import time
import tty

INSIDE = "COMUTEL_BENCH_INSIDE"
SCAN_TICK_MS = 100.0
FULL_SEARCH_MS = 2900.0
REPLY_TIMEOUT_MS = 500.0

PEER = r"""
import os, sys, termios
fd = os.open(sys.argv[1], os.O_RDWR | os.O_NOCTTY)
attrs = termios.tcgetattr(fd)
attrs[0] = 0; attrs[1] = 0; attrs[3] = 0
attrs[2] = termios.CS8 | termios.CREAD | termios.CLOCAL
attrs[4] = attrs[5] = termios.B300
termios.tcsetattr(fd, termios.TCSANOW, attrs)
termios.tcflush(fd, termios.TCIFLUSH)
os.write(fd, sys.argv[2].encode("latin-1"))
termios.tcdrain(fd)
os.close(fd)
"""


def enter_namespace():
    """Re-runs this script in a mount namespace of its own, then builds a bare /dev there."""
    if os.environ.get(INSIDE):
        keep = "/run/comutel-bench-dev"
        os.makedirs(keep, exist_ok=True)
        run = lambda *a: subprocess.run(a, check=True)
        run("mount", "--make-rprivate", "/")
        run("mount", "--rbind", "/dev", keep)
        run("mount", "-t", "tmpfs", "-o", "mode=755", "bench-dev", "/dev")
        for node in ("null", "zero", "tty", "random", "urandom", "full"):
            open(f"/dev/{node}", "w").close()
            run("mount", "--bind", f"{keep}/{node}", f"/dev/{node}")
        for folder in ("pts", "shm"):
            os.makedirs(f"/dev/{folder}")
            run("mount", "--bind", f"{keep}/{folder}", f"/dev/{folder}")
        os.symlink("pts/ptmx", "/dev/ptmx")  # new ptys come from the bound devpts
        return
    if os.geteuid() != 0:
        sys.exit("bench: needs root, for a private /dev in a mount namespace")
    env = dict(os.environ, **{INSIDE: "1"})
    sys.exit(subprocess.call(["unshare", "-m", sys.executable] + sys.argv, env=env))


class Board(threading.Thread):
    """The relay board on a pty master: answers E and R after 33 ms a byte, unless silent."""

    def __init__(self, silent=False):
        super().__init__(daemon=True)
        self.master, slave = pty.openpty()
        tty.setraw(slave)
        self.path = os.ttyname(slave)
        self.slave = slave  # held, so the line stays up between runs
        self.silent = silent
        self.received_at = None
        self.start()

    def run(self):
        while True:
            try:
                data = os.read(self.master, 1024)
            except OSError:
                return
            self.received_at = time.monotonic()
            if not self.silent and data[:1] in (b"E", b"R"):
                for byte in b"0110":
                    os.write(self.master, bytes([byte]))
                    time.sleep(0.033)


def run_once(argv, cwd, env=None):
    """Start-to-exit in ms, peak resident memory in KiB, exit status.

    Peak memory comes from GNU time, not from our own wait4: a child forked from this Python
    process counts Python's pages as its own until it execs."""
    with tempfile.NamedTemporaryFile("r") as peak:
        start = time.monotonic()
        status = subprocess.call(["/usr/bin/time", "-q", "-f", "%M", "-o", peak.name] + argv,
                                 cwd=cwd, env=env, stdout=subprocess.DEVNULL,
                                 stderr=subprocess.DEVNULL)
        elapsed = (time.monotonic() - start) * 1000.0
        return elapsed, int(peak.read().split()[-1]), status


def link_com2(path):
    if os.path.lexists("/dev/ttyS1"):
        os.unlink("/dev/ttyS1")
    if path:
        os.symlink(path, "/dev/ttyS1")


def cpu_ns(pid):
    total = 0
    for task in os.listdir(f"/proc/{pid}/task"):
        with open(f"/proc/{pid}/task/{task}/schedstat") as f:
            total += int(f.read().split()[0])
    return total


def summary(values):
    return statistics.median(values), min(values), max(values)


def fmt(values, unit, digits=1):
    median, low, high = summary(values)
    return f"{median:.{digits}f} {unit} ({low:.{digits}f} – {high:.{digits}f})"


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("comutel")
    parser.add_argument("--runs", type=int, default=20)
    parser.add_argument("--idle-seconds", type=float, default=10.0)
    parser.add_argument("--out", default="-")
    args = parser.parse_args()
    enter_namespace()

    work = tempfile.mkdtemp(prefix="comutel-bench-")
    exe = os.path.join(work, "comutel")
    shutil.copy(os.path.realpath(args.comutel), exe)
    env = {k: v for k, v in os.environ.items()
           if k not in ("DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM")}
    rows = []

    harness = [run_once(["/bin/true"], work)[0] for _ in range(args.runs)]
    harness_ms = statistics.median(harness)

    board = Board()
    link_com2(board.path)
    ones = [run_once([exe, "1"], work, env) for _ in range(args.runs)]
    assert all(status == 0 for _, _, status in ones), "comutel 1 failed"
    net = [t - harness_ms for t, _, _ in ones]
    memory = [kib / 1024.0 for _, kib, _ in ones]
    ratio = [t / SCAN_TICK_MS for t in net]
    rows.append(("`comutel 1`, board on COM2: start to exit, less harness", fmt(net, "ms"), "", ""))
    rows.append(("  as a ratio to the first 100 ms scan tick", fmt(ratio, "", 2), "≤ 1.10",
                 "met" if statistics.median(ratio) <= 1.10 else "missed"))
    rows.append(("  peak resident memory", fmt(memory, "MiB"), "≤ 30 MiB",
                 "met" if statistics.median(memory) <= 30 else "missed"))

    peer = [run_once([sys.executable, "-c", PEER, "/dev/ttyS1", "1"], work)
            for _ in range(args.runs)]
    rows.append(("peer: python3 termios script, port known, no search: start to exit, less harness",
                 fmt([t - harness_ms for t, _, _ in peer], "ms"), "", ""))
    rows.append(("  peer peak resident memory", fmt([k / 1024.0 for _, k, _ in peer], "MiB"),
                 "", ""))

    quiet = Board(silent=True)
    link_com2(quiet.path)
    timeouts = []
    for _ in range(args.runs):
        quiet.received_at = None
        start = time.monotonic()
        _, _, status = run_once([exe, "E"], work, env)
        assert status == 2, f"comutel E without answer ended with {status}"
        timeouts.append((time.monotonic() - quiet.received_at) * 1000.0)
    rows.append(("`comutel E`, no answer: from the command reaching the board to exit",
                 fmt(timeouts, "ms"), f"{REPLY_TIMEOUT_MS:.0f} ms", ""))

    link_com2(None)
    searches = [run_once([exe, "1"], work, env) for _ in range(args.runs)]
    assert all(status == 1 for _, _, status in searches), "search without ports did not end with 1"
    rows.append(("`comutel 1`, no port at all: start to exit, less harness",
                 fmt([t - harness_ms for t, _, _ in searches], "ms"),
                 f"{FULL_SEARCH_MS:.0f} ms", ""))

    link_com2(board.path)
    idle = []
    window_env = dict(env, QT_QPA_PLATFORM="offscreen")
    for _ in range(max(3, args.runs)):
        proc = subprocess.Popen([exe], cwd=work, env=window_env, stdout=subprocess.DEVNULL,
                                stderr=subprocess.DEVNULL)
        time.sleep(1.0)  # connected by now: the first tick comes at 100 ms
        before = cpu_ns(proc.pid)
        time.sleep(args.idle_seconds)
        idle.append((cpu_ns(proc.pid) - before) / 1e6)
        proc.terminate()
        proc.wait()
    rows.append((f"window connected and idle: CPU time over {args.idle_seconds:.0f} s",
                 fmt(idle, "ms", 2), "< 10 ms",
                 "met" if statistics.median(idle) < 10 else "missed"))

    cpu = "unknown"
    with open("/proc/cpuinfo") as f:
        for line in f:
            if line.startswith("model name"):
                cpu = line.split(":", 1)[1].strip()
                break
    lines = [
        f"Machine: {cpu}, {os.cpu_count()} cores, Linux {platform.release()}; "
        f"{args.runs} runs each; harness cost (/bin/true under GNU time) "
        f"{fmt(harness, 'ms')}.",
        "",
        "| measure | median (min – max) | target | |",
        "|---|---|---|---|",
    ]
    lines += [f"| {a} | {b} | {c} | {d} |" for a, b, c, d in rows]
    text = "\n".join(lines) + "\n"
    if args.out == "-":
        sys.stdout.write(text)
    else:
        with open(args.out, "w") as f:
            f.write(text)
        sys.stdout.write(text)
    shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
