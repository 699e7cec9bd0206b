#!/usr/bin/env python3
"""Benchmarks the real comutel executable against the simulated board (tools/relay_sim) at COM2.
As root: bench/run.py BUILD/comutel [--runs N] [--out FILE] [--six-may-fail] [--windows WIN_BUILD]

Every run goes through tools/with-ports.sh (a private /dev with only the ports named, a private
/run/lock), so the machine's own ports play no part, and is timed inside it, from the start to the
exit of the command under GNU time: with-ports.sh's own setup varies with the load by more than
what is measured. The harness's cost, /bin/true timed the same way, is taken off start-to-exit
times. Figures are medians over N runs with their spread (min to max); a figure set against a
program of a few lines of C (built here with cc) runs in turn with it, one of each a round, so
that the machine's load weighs on both alike.
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
MET = {True: "met", False: "missed"}
# Inside the private /dev: the command's start and exit on the wall clock, into the file $0.
TIMER = 'start=$EPOCHREALTIME; "$@"; status=$?; echo "$start $EPOCHREALTIME" >"$0"; exit $status'
TOGETHER = 6
WITH_PORTS = str(Path(__file__).resolve().parent.parent / "tools" / "with-ports.sh")

# What any program that waits out the first tick takes: started, 100 ms in ppoll, ended.
SLEEPER = b"""#define _GNU_SOURCE
#include <poll.h>
int main(void)
{
    const struct timespec tick = {0, 100 * 1000 * 1000};
    return ppoll(0, 0, &tick, 0) != 0;
}
"""

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
        for stream in (self.process.stdout, self.process.stderr):  # drained, lest a pipe fill
            threading.Thread(target=self.listen, args=(stream,), daemon=True).start()

    def listen(self, stream):
        for line in stream:
            if line.startswith("relay_sim: recebido"):
                self.received_at = time.time()  # the clock TIMER has


class Runner:
    """Runs commands from the scratch folder, each through tools/with-ports.sh."""

    def __init__(self, work, env, count):
        self.work, self.env, self.count, self.harness, self.setup = work, env, count, [], []

    def launch(self, argv, com2, env=None, locks=None, name=None):
        """argv in a private /dev with COM2 (if any); with a name, timed there, files so named."""
        command = [WITH_PORTS] + (["--locks", locks] if locks else [])
        command += ([f"COM2={com2}"] if com2 else []) + ["--"]
        path = os.path.join(self.work, name or "untimed")
        if name:
            for stale in (path, path + ".peak"):
                Path(stale).unlink(missing_ok=True)
            command += ["bash", "-c", TIMER, path, "/usr/bin/time", "-q", "-f", "%M", "-o",
                        path + ".peak"]
        with open(path + ".err", "w") as err:
            return subprocess.Popen(command + argv, cwd=self.work, env=env or self.env,
                                    stdout=subprocess.DEVNULL, stderr=err)

    def result(self, name, status, expected):
        """Start, exit (wall clock, s), peak memory (KiB) of a run ended as expected (None: any)."""
        path = os.path.join(self.work, name)
        said = Path(path + ".err").read_text(errors="replace").strip().splitlines() or ["-"]
        check(os.path.exists(path + ".peak") and expected in (None, status),
              f"{name} ended {status}, not {expected}: {said[-1]}")
        start, end = map(float, Path(path).read_text().split())
        return start, end, int(Path(path + ".peak").read_text().split()[-1])

    def once(self, name, argv, com2, expected=0):
        """Start to exit in ms, peak resident memory in KiB, exit on the wall clock."""
        outside = time.monotonic()
        status = self.launch(argv, com2, name=name).wait()
        start, end, kib = self.result(name, status, expected)
        self.setup.append((time.monotonic() - outside - (end - start)) * 1000.0)
        return (end - start) * 1000.0, kib, end

    def runs(self, name, argv, com2, expected=0):
        """self.count runs: start to exit in ms less harness, peak resident memory in MiB."""
        return self.in_turn((name, argv, com2), expected=expected)[0]

    def in_turn(self, *commands, expected=0):
        """self.count rounds, each running every (name, argv, com2) once, in turn, so that a
        change in the machine's load falls on all of them: for each, as runs() gives."""
        rounds = [[self.once(*command, expected) for command in commands]
                  for _ in range(self.count)]
        cost = statistics.median(self.harness)
        return [([r[i][0] - cost for r in rounds], [r[i][1] / 1024.0 for r in rounds])
                for i in range(len(commands))]


def cpu_ns(pid):
    tasks = Path(f"/proc/{pid}/task").iterdir()
    return sum(int((task / "schedstat").read_text().split()[0]) for task in tasks)


def fmt(values, unit, digits=1):
    median, low, high = statistics.median(values), min(values), max(values)
    return f"{median:.{digits}f} {unit} ({low:.{digits}f} – {high:.{digits}f})"


def compiled(work, name, source):
    path = os.path.join(work, name)
    subprocess.run(["cc", "-O2", "-x", "c", "-o", path, "-"], input=source, check=True)
    return path


def measure(args, run, exe, board, quiet):
    rows = []
    run.harness = [run.once("harness", ["/bin/true"], board.port)[0] for _ in range(args.runs)]
    # Against a program that does nothing but wait as long, run in turn with it.
    sleeper = compiled(run.work, "sleeper.bin", SLEEPER)
    (net, memory), (wait, _) = run.in_turn(("comutel-1", [exe, "1"], board.port),
                                           ("sleeper", [sleeper], board.port))
    ratio = [t / SCAN_TICK_MS for t in net]
    own = statistics.median(net) - statistics.median(wait)
    rows.append(("`comutel 1`, board on COM2: start to exit, less harness", fmt(net, "ms"), "", ""))
    rows.append(("  as a ratio to the first 100 ms scan tick", fmt(ratio, "", 2), "≤ 1.02",
                 MET[statistics.median(ratio) <= 1.02]))
    rows.append(("  trivial C program that sleeps 100 ms (ppoll), run in turn with it",
                 fmt(wait, "ms"), "", ""))
    rows.append(("  difference of the medians", f"{own:.2f} ms", "≤ 1 ms", MET[own <= 1.0]))
    rows.append(("  peak resident memory", fmt(memory, "MiB"), "< 4 MiB",
                 MET[statistics.median(memory) < 4]))

    # What starting the program costs, against the least a dynamically linked program costs.
    trivial = compiled(run.work, "trivial.bin", b"int main(void){return 0;}")
    (version, _), (floor, _) = run.in_turn(("version", [exe, "--version"], board.port),
                                           ("trivial", [trivial], board.port))
    extra = statistics.median(version) - statistics.median(floor)
    rows.append(("`comutel --version`: start to exit, less harness", fmt(version, "ms", 2), "", ""))
    rows.append(("  trivial C program, run in turn with it", fmt(floor, "ms", 2), "", ""))
    rows.append(("  difference of the medians", f"{extra:.2f} ms", "≤ 1 ms", MET[extra <= 1.0]))

    net, memory = run.runs("peer", [sys.executable, "-c", PEER, "/dev/ttyS1", "1"], board.port)
    rows.append(("peer: python3 termios script, port known, no search: start to exit, less harness",
                 fmt(net, "ms"), "", ""))
    rows.append(("  peer peak resident memory", fmt(memory, "MiB"), "", ""))

    one, _ = run.runs("comutel-E", [exe, "E"], board.port)
    harness = statistics.median(run.harness)
    rows.append(("`comutel E`, board answers: start to exit, less harness", fmt(one, "ms"), "", ""))
    # Each in a private /dev of its own, but all with the one lock folder, as on one machine.
    locks = tempfile.mkdtemp(prefix="locks-", dir=run.work)
    spans, statuses = [], collections.Counter()
    names = [f"together-{i}" for i in range(TOGETHER)]
    for _ in range(args.runs):
        group = [run.launch([exe, "E"], board.port, locks=locks, name=name) for name in names]
        ended = [process.wait() for process in group]
        statuses.update(ended)
        times = [run.result(name, status, None if args.six_may_fail else 0)
                 for name, status in zip(names, ended)]
        spans.append((max(t[1] for t in times) - min(t[0] for t in times)) * 1000.0 - harness)
    told = ", ".join(f"{status} ×{count}" for status, count in sorted(statuses.items()))
    all_zero = set(statuses) == {0}
    shares = [t / (TOGETHER * statistics.median(one)) for t in spans]
    rows.append((f"{TOGETHER} `comutel E` started together, one board: first start to last exit, "
                 "less harness", fmt(spans, "ms"), "", ""))
    rows.append((f"  as a ratio to {TOGETHER} times one `comutel E`", fmt(shares, "", 2), "≤ 1.2",
                 MET[all_zero and statistics.median(shares) <= 1.2]
                 + ("" if all_zero else f": exit statuses {told}")))

    timeouts = []
    for _ in range(args.runs):
        quiet.received_at = None
        _, _, end = run.once("no-answer", [exe, "E"], quiet.port, 2)
        check(quiet.received_at is not None, "the silent board never heard comutel E")
        timeouts.append((end - quiet.received_at) * 1000.0)
    rows.append(("`comutel E`, no answer: from the command reaching the board to exit",
                 fmt(timeouts, "ms"), "500 ms", ""))

    net, _ = run.runs("no-port", [exe, "1"], None, 1)
    rows.append(("`comutel 1`, no port at all: start to exit, less harness", fmt(net, "ms"),
                 "2900 ms", ""))

    idle, offscreen = [], dict(run.env, QT_QPA_PLATFORM="offscreen")
    for _ in range(max(3, args.runs)):
        # Untimed: with-ports.sh execs the program, so this process becomes comutel.
        window = run.launch([exe], board.port, offscreen)
        time.sleep(1.0)  # connected by now: the first tick comes at 100 ms
        check(Path(f"/proc/{window.pid}/comm").read_text() == "comutel\n", "no window started")
        before = cpu_ns(window.pid)
        time.sleep(args.idle_seconds)
        idle.append((cpu_ns(window.pid) - before) / 1e6)
        window.terminate()
        window.wait()
    rows.append((f"window connected and idle: CPU time over {args.idle_seconds:.0f} s",
                 fmt(idle, "ms", 2), "< 10 ms", MET[statistics.median(idle) < 10]))
    return rows


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("comutel")
    parser.add_argument("--runs", type=int, default=20)
    parser.add_argument("--idle-seconds", type=float, default=10.0)
    parser.add_argument("--out", default="-")
    parser.add_argument("--windows", metavar="WIN_BUILD",
                        help="also both builds of Comutel.exe under Wine (bench/windows.py), from "
                             "the folder that tools/run-windows-tests.sh has made")
    parser.add_argument("--six-may-fail", action="store_true",
                        help=f"report {TOGETHER} queries together even when some do not end 0")
    args = parser.parse_args()
    build = Path(args.comutel).resolve().parent
    simulator, module = build / "tools" / "relay_sim", build / "comutel-window.so"
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
             "runs each, each through tools/with-ports.sh and timed inside it; harness cost "
             f"(/bin/true under GNU time) {fmt(run.harness, 'ms')}; with-ports.sh's setup "
             f"around each run, not counted, {fmt(run.setup, 'ms')}.", "",
             "| measure | median (min – max) | target | |", "|---|---|---|---|"]
    text = "\n".join(lines + [f"| {a} | {b} | {c} | {d} |" for a, b, c, d in rows]) + "\n"
    if args.windows:
        windows = subprocess.run([sys.executable, str(Path(__file__).with_name("windows.py")),
                                  args.windows, str(simulator), "--runs", str(args.runs)],
                                 capture_output=True, text=True, check=True)
        text += "\n" + windows.stdout
    if args.out != "-":
        Path(args.out).write_text(text)
    sys.stdout.write(text)


if __name__ == "__main__":
    main()
