#!/usr/bin/env python3
"""Benchmarks the real comutel executable against the simulated board (tools/relay_sim) at COM2.

Usage, as root: bench/run.py BUILD/comutel [--runs N] [--out FILE] [--six-may-fail]

Every run goes through tools/with-ports.sh, as in the end-to-end tests (a private /dev with only
the ports named, a private /run/lock), so the machine's own ports play no part. Figures are medians
over N runs with their spread (min to max). Before each run the harness runs alone the same way
(/bin/true through with-ports.sh, under GNU time); the median of those beside a case is taken off
its start-to-exit times, so that a change of load on the machine cancels out.
"""
import argparse
import collections
import os
import platform
import shutil
import statistics
import subprocess
import sys
import tempfile
import threading
import time
from pathlib import Path

SCAN_TICK_MS = 100.0
TOGETHER = 6
WITH_PORTS = str(Path(__file__).resolve().parent.parent / "tools" / "with-ports.sh")

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


def check(ok, message):
    if not ok:
        sys.exit(f"bench: {message}")


class Board:
    """tools/relay_sim on a pseudo-terminal of its own; notes when a byte last reached it."""

    def __init__(self, simulator, *options):
        self.process = subprocess.Popen([simulator, "--verbose", *options], stdout=subprocess.PIPE,
                                        stderr=subprocess.PIPE, encoding="utf-8", errors="replace")
        self.port = self.process.stdout.readline().strip()
        check(self.port, f"{simulator} gave no port")
        self.received_at = None
        # Its lines about relays are not needed, but must not fill their pipe.
        for stream in (self.process.stdout, self.process.stderr):
            threading.Thread(target=self.listen, args=(stream,), daemon=True).start()

    def listen(self, stream):
        for line in stream:
            if line.startswith("relay_sim: recebido"):
                self.received_at = time.monotonic()


class Runner:
    def __init__(self, work, env, count):
        self.work, self.env, self.count, self.harness = work, env, count, []

    def launch(self, argv, com2, env=None, locks=None, peak=os.devnull):
        """argv in a private /dev with COM2 (if any), under GNU time unless peak is None."""
        command = [WITH_PORTS] + (["--locks", locks] if locks else [])
        command += ([f"COM2={com2}"] if com2 else []) + ["--"]
        if peak is not None:
            command += ["/usr/bin/time", "-q", "-f", "%M", "-o", peak]
        return subprocess.Popen(command + argv, cwd=self.work, env=env or self.env,
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def once(self, argv, com2):
        """Start-to-exit in ms, peak resident memory in KiB (of argv alone), exit status."""
        peak = os.path.join(self.work, "peak")
        Path(peak).unlink(missing_ok=True)
        start = time.monotonic()
        status = self.launch(argv, com2, peak=peak).wait()
        elapsed = (time.monotonic() - start) * 1000.0
        check(os.path.exists(peak), f"{argv[0]} did not run (status {status})")
        return elapsed, int(Path(peak).read_text().split()[-1]), status

    def runs(self, argv, com2, expected):
        """self.count runs of argv, each after one of the harness alone: ms less harness, MiB."""
        harness, runs = [], []
        for _ in range(self.count):
            harness.append(self.once(["/bin/true"], com2)[0])
            runs.append(self.once(argv, com2))
        statuses = [status for _, _, status in runs]
        check(set(statuses) == {expected}, f"{Path(argv[0]).name} {argv[-1]} ended {statuses}")
        self.harness += harness
        cost = statistics.median(harness)
        return [t - cost for t, _, _ in runs], [kib / 1024.0 for _, kib, _ in runs]


def cpu_ns(pid):
    tasks = Path(f"/proc/{pid}/task").iterdir()
    return sum(int((task / "schedstat").read_text().split()[0]) for task in tasks)


def fmt(values, unit, digits=1):
    median, low, high = statistics.median(values), min(values), max(values)
    return f"{median:.{digits}f} {unit} ({low:.{digits}f} – {high:.{digits}f})"


def verdict(met):
    return "met" if met else "missed"


def measure(args, run, exe, board, quiet):
    rows = []
    net, memory = run.runs([exe, "1"], board.port, 0)
    ratio = [t / SCAN_TICK_MS for t in net]
    rows.append(("`comutel 1`, board on COM2: start to exit, less harness", fmt(net, "ms"), "", ""))
    rows.append(("  as a ratio to the first 100 ms scan tick", fmt(ratio, "", 2), "≤ 1.10",
                 verdict(statistics.median(ratio) <= 1.10)))
    rows.append(("  peak resident memory", fmt(memory, "MiB"), "≤ 30 MiB",
                 verdict(statistics.median(memory) <= 30)))

    net, memory = run.runs([sys.executable, "-c", PEER, "/dev/ttyS1", "1"], board.port, 0)
    rows.append(("peer: python3 termios script, port known, no search: start to exit, less harness",
                 fmt(net, "ms"), "", ""))
    rows.append(("  peer peak resident memory", fmt(memory, "MiB"), "", ""))

    one, _ = run.runs([exe, "E"], board.port, 0)
    rows.append(("`comutel E`, board answers: start to exit, less harness", fmt(one, "ms"), "", ""))
    # Each in a private /dev of its own, but all with the one lock folder, as on one machine.
    locks = tempfile.mkdtemp(prefix="locks-", dir=run.work)
    spans, statuses = [], collections.Counter()
    for _ in range(args.runs):
        start = time.monotonic()
        group = [run.launch([exe, "E"], board.port, locks=locks) for _ in range(TOGETHER)]
        statuses.update(process.wait() for process in group)
        spans.append((time.monotonic() - start) * 1000.0 - statistics.median(run.harness))
    told = ", ".join(f"{status} ×{count}" for status, count in sorted(statuses.items()))
    all_zero = set(statuses) == {0}
    check(all_zero or args.six_may_fail,
          f"{TOGETHER} `comutel E` together: exit statuses {told}; each must end 0")
    shares = [t / (TOGETHER * statistics.median(one)) for t in spans]
    rows.append((f"{TOGETHER} `comutel E` started together, one board: first start to last exit, "
                 "less harness", fmt(spans, "ms"), "", ""))
    rows.append((f"  as a ratio to {TOGETHER} times one `comutel E`", fmt(shares, "", 2), "≤ 1.2",
                 verdict(all_zero and statistics.median(shares) <= 1.2)
                 + ("" if all_zero else f": exit statuses {told}")))

    timeouts = []
    for _ in range(args.runs):
        quiet.received_at = None
        status = run.launch([exe, "E"], quiet.port).wait()
        ended = time.monotonic()
        check(status == 2, f"comutel E without answer ended with {status}")
        check(quiet.received_at is not None, "the silent board never heard comutel E")
        timeouts.append((ended - quiet.received_at) * 1000.0)
    rows.append(("`comutel E`, no answer: from the command reaching the board to exit",
                 fmt(timeouts, "ms"), "500 ms", ""))

    net, _ = run.runs([exe, "1"], None, 1)
    rows.append(("`comutel 1`, no port at all: start to exit, less harness", fmt(net, "ms"),
                 "2900 ms", ""))

    idle, offscreen = [], dict(run.env, QT_QPA_PLATFORM="offscreen")
    for _ in range(max(3, args.runs)):
        # Without GNU time: with-ports.sh execs the program, so this process becomes comutel.
        window = run.launch([exe], board.port, offscreen, peak=None)
        time.sleep(1.0)  # connected by now: the first tick comes at 100 ms
        check(Path(f"/proc/{window.pid}/comm").read_text() == "comutel\n", "no window started")
        before = cpu_ns(window.pid)
        time.sleep(args.idle_seconds)
        idle.append((cpu_ns(window.pid) - before) / 1e6)
        window.terminate()
        window.wait()
    rows.append((f"window connected and idle: CPU time over {args.idle_seconds:.0f} s",
                 fmt(idle, "ms", 2), "< 10 ms", verdict(statistics.median(idle) < 10)))
    return rows


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("comutel")
    parser.add_argument("--runs", type=int, default=20)
    parser.add_argument("--idle-seconds", type=float, default=10.0)
    parser.add_argument("--out", default="-")
    parser.add_argument("--six-may-fail", action="store_true",
                        help=f"report {TOGETHER} queries together even when some do not end 0")
    args = parser.parse_args()
    build = os.path.dirname(os.path.realpath(args.comutel))
    simulator = os.path.join(build, "tools", "relay_sim")
    module = os.path.join(build, "comutel-window.so")
    for needed in (args.comutel, simulator, module):
        check(os.access(needed, os.R_OK), f"{needed}: not built")
    probe = subprocess.run([WITH_PORTS, "--", "true"], stderr=subprocess.PIPE, text=True)
    check(probe.returncode == 0, probe.stderr.strip() or f"with-ports.sh ended {probe.returncode}")

    env = {k: v for k, v in os.environ.items()
           if k not in ("DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM")}
    run = Runner(tempfile.mkdtemp(prefix="comutel-bench-"), env, args.runs)
    boards = []
    try:
        # comutel writes log.txt beside itself and finds its window module there.
        exe = shutil.copy(os.path.realpath(args.comutel), os.path.join(run.work, "comutel"))
        shutil.copy(module, run.work)
        boards = [Board(simulator), Board(simulator, "--silent")]
        rows = measure(args, run, exe, *boards)
    finally:
        for board in boards:
            board.process.terminate()
            board.process.wait()
        shutil.rmtree(run.work, ignore_errors=True)

    info = Path("/proc/cpuinfo").read_text().splitlines()
    cpu = next((i.split(":", 1)[1].strip() for i in info if i.startswith("model name")), "unknown")
    lines = [f"Machine: {cpu}, {os.cpu_count()} cores, Linux {platform.release()}; {args.runs} "
             "runs each; harness cost (/bin/true through tools/with-ports.sh, under GNU time, "
             f"before every run) {fmt(run.harness, 'ms')}.", "",
             "| measure | median (min – max) | target | |", "|---|---|---|---|"]
    text = "\n".join(lines + [f"| {a} | {b} | {c} | {d} |" for a, b, c, d in rows]) + "\n"
    if args.out != "-":
        Path(args.out).write_text(text)
    sys.stdout.write(text)


if __name__ == "__main__":
    main()
