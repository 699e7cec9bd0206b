#!/usr/bin/env python3
"""Comutel.exe end to end under Wine: COM links in the prefix's dosdevices point at
pseudo-terminals held by tools/relay_sim (or by this script, to play a board that talks when
told), so no run can reach a real port. Needs WINEPREFIX (warmed), DISPLAY (Xvfb) and xdotool,
as tools/run-windows-tests.sh sets them up.
Usage: e2e_wine.py COMUTEL_EXE RELAY_SIM [SCREENSHOT_PNG]"""
import os
import pty
import re
import shutil
import subprocess
import sys
import tempfile
import time
from pathlib import Path
from typing import NamedTuple, Optional

EXE, RELAY_SIM = Path(sys.argv[1]), sys.argv[2]
SCREENSHOT = sys.argv[3] if len(sys.argv) > 3 else None
DOSDEVICES = Path(os.environ["WINEPREFIX"]) / "dosdevices"
TITLE = "Controladora de relés Pelmora"
GREEN, RED = (0, 192, 0), (255, 0, 0)
BOUND = 60  # seconds: generous, for a loaded machine
# Every line of the help fits an 80-column console.
HELP = r'(?=Uso: Comutel\.exe .*start "" /wait)(?:[^\r\n]{0,79}\r\n)+'



class Case(NamedTuple):
    """One run: its arguments, {COM number: relay_sim options} and extra environment; then what
    it must show: status, log.txt (None: left as it was), standard output (a regular expression),
    a line in standard error, what relay_sim printed ("!" before it: never printed), the box's
    title (None: no box)."""
    name: str
    args: list
    boards: dict
    env: dict = {}
    status: int = 0
    log: Optional[str] = "-"
    out: str = ""
    stderr: Optional[str] = None
    board: Optional[str] = None
    box: Optional[str] = None


BLOCKED = "a folder in its place"
CASES = [
    Case("relay command, COM2 missing, COM3 taken", ["1"], {3: []}, board="relé 1 ligado"),
    Case("command upper-cased into code page 1252", ["ação"], {2: []},
         board="0x41\nrelay_sim: recebido 0xc7\nrelay_sim: recebido 0xc3\n"),
    Case("port vanishes after the command", ["e"], {2: ["--hang-up"]}, status=2,
         stderr="deixou de responder"),
    Case("no port at all: the advice box", ["1"], {}, status=1, stderr="não pôde detectar",
         box="Ravelto"),
    Case("COMUTEL_DEVICE names the board", ["3"], {2: [], 5: []}, env={"COMUTEL_DEVICE": "com5"},
         board="relé 2 ligado"),
    # Read whole, however long: cut short, it once read as unset and the search went on.
    Case("COMUTEL_DEVICE that is no COM port", ["1"], {2: []},
         env={"COMUTEL_DEVICE": "COM5" + " " * 300}, status=3, stderr="não é uma porta COM",
         board="!recebido"),
    # A folder where log.txt goes: the window's user is told in a box (a command, as the row
    # above, has standard error alone: a box would hold its script up).
    Case("log.txt not writable in window mode: the failure box", [], {}, status=3, log=BLOCKED,
         stderr="pasta onde você possa gravar", box="Comutel"),
    Case("--help touches neither the board nor the log", ["--help"], {2: []}, log=None, out=HELP,
         board="!recebido"),
    Case("/? is the help too, not a command", ["/?"], {2: []}, log=None, out=HELP,
         board="!recebido"),
    Case("--version", ["--version"], {}, log=None, out=r"Comutel\.exe \d+\.\d+\.\d+\r\n"),
    # The prefix declares COM1 to COM255 in Wine's Ports, each with no device behind it.
    Case("--ports opens nothing, marks the named port", ["--ports"], {2: []},
         env={"COMUTEL_DEVICE": "COM5"}, log=None,
         out=r"COM1\t[^\r]*\t\(fora da busca\)\r\n.*"
             r"COM5\t[^\r]*\t\(COMUTEL_DEVICE: a única procurada\)\r\n.*COM255\t.*",
         board="!recebido"),
]


def clear_links():
    for link in DOSDEVICES.glob("com*"):
        link.unlink()


def link(number, device):
    (DOSDEVICES / f"com{number}").symlink_to(device)


def start_board(options):
    sim = subprocess.Popen([RELAY_SIM, "--verbose", *options], stdout=subprocess.PIPE,
                           stderr=subprocess.STDOUT, text=True)
    return sim, sim.stdout.readline().strip()


def xdotool(*args):
    return subprocess.run(["xdotool", *args], capture_output=True, text=True, timeout=BOUND)


def press_box(title="Ravelto"):
    """Waits for the box and dismisses it with Return; False if it never came."""
    found = xdotool("search", "--sync", "--name", f"^{title}$").stdout.split()
    if not found:
        return False
    # A key that comes before the box has its focus is lost: pressed until the box is gone.
    deadline = time.monotonic() + BOUND
    while found[0] in xdotool("search", "--name", f"^{title}$").stdout.split() and \
            time.monotonic() < deadline:
        xdotool("windowfocus", "--sync", found[0], "key", "Return")
        time.sleep(0.2)
    return True


def run(folder, args, env_extra, box_title):
    env = dict(os.environ, **env_extra)
    with open(folder / "out", "wb") as out, open(folder / "err", "wb") as err:
        # Files, not pipes: Wine's desktop process keeps a run's pipes open after it ends.
        proc = subprocess.Popen(["wine", str(folder / "Comutel.exe"), *args], stdout=out,
                                stderr=err, env=env)
        box = press_box(box_title) if box_title else False
        status = proc.wait(timeout=BOUND)
    read = lambda name: (folder / name).read_bytes().decode("cp1252")
    log = read("log.txt") if (folder / "log.txt").is_file() else None
    return status, log, read("out"), read("err"), box


def check_case(folder, case):
    _, args, boards, env, status, log, out, err_line, sim_line, box = case
    clear_links()
    log_txt = folder / "log.txt"
    log_txt.unlink(missing_ok=True)
    log_txt.mkdir() if log == BLOCKED else log_txt.write_bytes(b"stale answer\r\n")
    sims = []
    for number, options in boards.items():
        sim, device = start_board(options)
        sims.append(sim)
        link(number, device)
    got = run(folder, args, env, box)
    for sim in sims:
        sim.terminate()
    sim_out = "".join(sim.communicate(timeout=BOUND)[0] for sim in sims)
    if log == BLOCKED:
        log_txt.rmdir()
    problems = []
    if got[0] != status:
        problems.append(f"status {got[0]}, expected {status}")
    if log != BLOCKED and got[1] != ("stale answer" if log is None else log) + "\r\n":
        problems.append(f"log.txt {got[1]!r}")
    if not re.fullmatch(out, got[2], re.S):
        problems.append(f"stdout {got[2]!r}")
    if err_line and err_line not in got[3]:
        problems.append(f"stderr {got[3]!r}")
    if sim_line and (sim_line[1:] in sim_out if sim_line[0] == "!" else sim_line not in sim_out):
        problems.append(f"board saw {sim_out!r}")
    if box and not got[4]:
        problems.append("no box")
    return problems


def pixels_of(colour, window_id, png):
    if subprocess.run(["import", "-window", window_id, str(png)], timeout=BOUND).returncode:
        return 0  # not mapped yet
    ppm = subprocess.run(["convert", str(png), "-depth", "8", "ppm:-"], capture_output=True,
                         check=True, timeout=BOUND).stdout
    # P6 header: magic, width, height, maximum, then the pixels
    pixels = ppm.split(maxsplit=4)[4]
    return sum(1 for i in range(0, len(pixels) - 2, 3) if tuple(pixels[i:i + 3]) == colour)


def wait_for_colour(colour, window_id, png):
    """Screenshots until the status shows in that colour (its bold text: 50 pixels and more)."""
    deadline = time.monotonic() + BOUND
    count = 0
    while count < 50 and time.monotonic() < deadline:
        count = pixels_of(colour, window_id, png)
    return count >= 50


def check_turns(folder):
    """Three queries started together on one board: Wine lets each open the port while another
    has it, so only the turns keep their commands and answers apart."""
    clear_links()
    sim, device = start_board([])
    link(2, device)
    runs = []
    for i in range(3):
        own = folder / f"run{i}"
        own.mkdir(exist_ok=True)
        shutil.copy(folder / "Comutel.exe", own)
        out = open(own / "out", "wb")
        runs.append((own, out, subprocess.Popen(["wine", str(own / "Comutel.exe"), "E"],
                                                stdout=out, stderr=subprocess.DEVNULL)))
    problems = []
    for own, out, proc in runs:
        status = proc.wait(timeout=BOUND)
        out.close()
        got = ((own / "out").read_bytes(), (own / "log.txt").read_bytes())
        if status != 0 or got != (b"0000\r\n", b"0000\r\n"):
            problems.append(f"{own.name}: status {status}, stdout and log.txt {got!r}")
    sim.terminate()
    sim.communicate(timeout=BOUND)
    return problems


def check_window(folder, hang_up):
    """The window finds COM2 and shows the green status; then it ends on the board's bytes, or
    the line hangs up, the status turns red and the window stays until closed."""
    clear_links()
    master, slave = pty.openpty()
    link(2, os.ttyname(slave))
    proc = subprocess.Popen(["wine", str(folder / "Comutel.exe")], stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL)
    problems = []
    found = xdotool("search", "--sync", "--name", f"^{TITLE}$").stdout.split()
    png = folder / "window.png"
    if not found or not wait_for_colour(GREEN, found[0], png):
        problems.append("no green status in the window")
    elif SCREENSHOT and not hang_up:
        shutil.copy(png, SCREENSHOT)
    if not hang_up:
        os.write(master, b"OK")
    else:
        os.close(slave)
        os.close(master)  # as an unplugged adapter
        if found and not wait_for_colour(RED, found[0], png):
            problems.append("no red status after the hang-up")
        if found:
            xdotool("windowfocus", "--sync", found[0], "key", "alt+F4")
    status = proc.wait(timeout=BOUND)
    log = (folder / "log.txt").read_bytes()
    if status != 0 or log != (b"-\r\n" if hang_up else b"OK\r\n"):
        problems.append(f"at the end: status {status}, log.txt {log!r}")
    if not hang_up:
        os.close(master)
        os.close(slave)
    return problems


def main():
    failures = 0
    with tempfile.TemporaryDirectory(dir=os.environ.get("TMPDIR")) as scratch:
        folder = Path(scratch) / "pasta ação"  # a name beyond ASCII, as users' folders have
        folder.mkdir()
        shutil.copy(EXE, folder / "Comutel.exe")
        checks = [(case.name, lambda c=case: check_case(folder, c)) for case in CASES]
        checks += [
            ("three queries at once take turns, each gets its answer", lambda: check_turns(folder)),
            ("window: Conectado em COM 2 in green, ends on the board's bytes",
             lambda: check_window(folder, False)),
            ("window: the port hangs up, the status turns red, alt+F4 closes it",
             lambda: check_window(folder, True)),
        ]
        for name, check in checks:
            problems = check()
            failures += bool(problems)
            print(("FAIL " if problems else "ok   ") + name + "".join("\n     " + p for p in problems),
                  flush=True)
    clear_links()
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
