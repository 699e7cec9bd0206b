#!/usr/bin/env python3
"""Comutel.exe under Wine, with a warm prefix: `Comutel.exe 1` start-to-exit against the
simulated board on COM2, set beside the 100 ms floor (the search's first tick) and beside wine
running a trivial GUI .exe, so that Wine's own start is measured apart from the program's.
Usage: bench/windows.py WINDOWS_BUILD_DIR RELAY_SIM [--runs N]
WINDOWS_BUILD_DIR is one that tools/run-windows-tests.sh has built and whose prefix it has warmed.
Figures are medians over N runs with their spread (min to max)."""
import argparse
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time
from pathlib import Path

FLOOR_MS = 100.0
TRIVIAL = "#include <windows.h>\nint main(void) { return 0; }\n"
# What any program pays under Wine for user32, and for a hidden window (Comutel.exe makes one in
# command mode too): Wine's X11 driver starting up.
TRIVIAL_USER32 = "#include <windows.h>\nint main(void) { return !GetDesktopWindow(); }\n"
TRIVIAL_WINDOW = ("#include <windows.h>\nint main(void) {\n"
                  "    HWND w = CreateWindowExW(0, L\"STATIC\", L\"x\", WS_OVERLAPPEDWINDOW, 0, 0, 100,"
                  " 100, 0, 0, 0, 0);\n    return !(w && DestroyWindow(w));\n}\n")


def start_xvfb():
    read_end, write_end = os.pipe()
    xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(write_end), "-nolisten", "tcp"],
                            pass_fds=[write_end], stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL)
    os.close(write_end)
    with os.fdopen(read_end) as announced:
        return xvfb, ":" + announced.readline().strip()


def timed(command):
    start = time.perf_counter()
    status = subprocess.run(command, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode
    return (time.perf_counter() - start) * 1000.0, status


def summary(name, samples):
    return (f"| {name} | {statistics.median(samples):.1f} | "
            f"{min(samples):.1f} – {max(samples):.1f} |")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("build", type=Path)
    parser.add_argument("relay_sim")
    parser.add_argument("--runs", type=int, default=20)
    args = parser.parse_args()
    build = args.build.resolve()
    os.environ.update(WINEPREFIX=str(build / "wine-prefix"), WINEDEBUG="-all",
                      WINEDLLOVERRIDES="mscoree,mshtml=", LANG="C.UTF-8", TMPDIR=str(build / "tmp"))
    xvfb, display = start_xvfb()
    os.environ["DISPLAY"] = display
    sim = None
    try:
        subprocess.run(["wineserver", "-p"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        subprocess.run(["wineboot"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        with tempfile.TemporaryDirectory(dir=os.environ["TMPDIR"]) as scratch:
            folder = Path(scratch)
            for name, source in (("trivial", TRIVIAL), ("trivial-user32", TRIVIAL_USER32),
                                 ("trivial-window", TRIVIAL_WINDOW)):
                (folder / f"{name}.c").write_text(source)
                subprocess.run(["x86_64-w64-mingw32-gcc-posix", "-mwindows", "-static", "-s", "-O2",
                                str(folder / f"{name}.c"), "-o", str(folder / f"{name}.exe")],
                               check=True)
            shutil.copy(build / "win32" / "Comutel.exe", folder)
            sim = subprocess.Popen([args.relay_sim], stdout=subprocess.PIPE, text=True)
            # Wine links COM1... to the machine's own ports at every boot: none may be reached.
            dosdevices = Path(os.environ["WINEPREFIX"]) / "dosdevices"
            for link in dosdevices.glob("com*"):
                link.unlink()
            com2 = dosdevices / "com2"
            com2.symlink_to(sim.stdout.readline().strip())
            rows = {"wine trivial.exe (GUI, static)": ["wine", str(folder / "trivial.exe")],
                    "wine trivial.exe calling user32": ["wine", str(folder / "trivial-user32.exe")],
                    "wine trivial.exe with a hidden window":
                        ["wine", str(folder / "trivial-window.exe")],
                    "Comutel.exe --version": ["wine", str(folder / "Comutel.exe"), "--version"],
                    "Comutel.exe 1 (board on COM2)": ["wine", str(folder / "Comutel.exe"), "1"]}
            samples = {name: [] for name in rows}
            for name, command in rows.items():
                timed(command)  # one run to warm the page cache
            for _ in range(args.runs):
                for name, command in rows.items():
                    elapsed, status = timed(command)
                    if status != 0:
                        sys.exit(f"{name}: status {status}")
                    samples[name].append(elapsed)
            com2.unlink()
    finally:
        if sim:
            sim.terminate()
        subprocess.run(["wineserver", "-k"])
        xvfb.terminate()
    one = statistics.median(samples["Comutel.exe 1 (board on COM2)"])
    over = {name: one - FLOOR_MS - statistics.median(samples[name])
            for name in samples if name.startswith("wine trivial")}
    print(f"Comutel.exe under Wine {subprocess.run(['wine', '--version'], capture_output=True, text=True).stdout.strip()}, "
          f"{args.runs} runs, warm prefix, milliseconds\n")
    print("| run | median | min – max |\n|---|---|---|")
    for name, values in samples.items():
        print(summary(name, values))
    print(f"\n`Comutel.exe 1`: {one / FLOOR_MS:.2f} × the {FLOOR_MS:.0f} ms floor. Over the floor "
          "plus Wine's own start (target: under 10 ms):")
    for name, ms in over.items():
        print(f"- {name[len('wine '):]}: {ms:+.1f} ms")


if __name__ == "__main__":
    main()
