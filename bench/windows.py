#!/usr/bin/env python3
"""Comutel.exe under Wine, both builds (x86 in 32-bit Wine, x64), with a warm prefix:
`Comutel.exe 1` start-to-exit against the simulated board on COM2, set beside the 100 ms floor
(the search's first tick) and beside wine running trivial GUI .exe files of the same build, so
that Wine's own start is measured apart from the program's.
Usage: bench/windows.py WINDOWS_BUILD_DIR RELAY_SIM [--runs N]
WINDOWS_BUILD_DIR is one that tools/run-windows-tests.sh has built (x86/ and x64/ in it) and whose
prefix it has warmed. Figures are medians over N runs with their spread (min to max), the two
builds' runs taken in turn."""
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
COMPILERS = {"x86": "i686-w64-mingw32-gcc-posix", "x64": "x86_64-w64-mingw32-gcc-posix"}
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


def spread(samples):
    return f"{statistics.median(samples):.1f} ({min(samples):.1f} – {max(samples):.1f})"


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("build", type=Path)
    parser.add_argument("relay_sim")
    parser.add_argument("--runs", type=int, default=20)
    args = parser.parse_args()
    build = args.build.resolve()
    archs = [arch for arch in COMPILERS if (build / arch / "win32" / "Comutel.exe").exists()]
    if not archs:
        sys.exit(f"{build}: neither x86/ nor x64/ holds a Comutel.exe")
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
            rows = {}
            for arch in archs:
                own = folder / arch
                own.mkdir()
                for name, source in (("trivial", TRIVIAL), ("trivial-user32", TRIVIAL_USER32),
                                     ("trivial-window", TRIVIAL_WINDOW)):
                    (own / f"{name}.c").write_text(source)
                    subprocess.run([COMPILERS[arch], "-mwindows", "-static", "-s", "-O2",
                                    str(own / f"{name}.c"), "-o", str(own / f"{name}.exe")],
                                   check=True)
                shutil.copy(build / arch / "win32" / "Comutel.exe", own)
                exe = str(own / "Comutel.exe")
                rows.update({(arch, "wine trivial.exe (GUI, static)"): [str(own / "trivial.exe")],
                             (arch, "wine trivial.exe calling user32"):
                                 [str(own / "trivial-user32.exe")],
                             (arch, "wine trivial.exe with a hidden window"):
                                 [str(own / "trivial-window.exe")],
                             (arch, "Comutel.exe --version"): [exe, "--version"],
                             (arch, "Comutel.exe 1 (board on COM2)"): [exe, "1"]})
            sim = subprocess.Popen([args.relay_sim], stdout=subprocess.PIPE, text=True)
            # Wine links COM1... to the machine's own ports at every boot: none may be reached.
            dosdevices = Path(os.environ["WINEPREFIX"]) / "dosdevices"
            for link in dosdevices.glob("com*"):
                link.unlink()
            com2 = dosdevices / "com2"
            com2.symlink_to(sim.stdout.readline().strip())
            samples = {key: [] for key in rows}
            for command in rows.values():
                timed(["wine", *command])  # one run to warm the page cache
            for _ in range(args.runs):
                for key, command in rows.items():
                    elapsed, status = timed(["wine", *command])
                    if status != 0:
                        sys.exit(f"{key[0]} {key[1]}: status {status}")
                    samples[key].append(elapsed)
            com2.unlink()
    finally:
        if sim:
            sim.terminate()
        subprocess.run(["wineserver", "-k"])
        xvfb.terminate()
    wine = subprocess.run(["wine", "--version"], capture_output=True, text=True).stdout.strip()
    print(f"Comutel.exe under Wine {wine}, {args.runs} runs, warm prefix, milliseconds, "
          "median (min – max); x86 in 32-bit Wine (WoW64)\n")
    print("| run | " + " | ".join(archs) + " |\n|---|" + "---|" * len(archs))
    for name in dict.fromkeys(name for _, name in samples):
        print(f"| {name} | " + " | ".join(spread(samples[arch, name]) for arch in archs) + " |")
    print(f"\n`Comutel.exe 1` over the {FLOOR_MS:.0f} ms floor plus Wine's own start of the same "
          "build's trivial program (target: under 10 ms):")
    for arch in archs:
        one = statistics.median(samples[arch, "Comutel.exe 1 (board on COM2)"])
        over = ", ".join(f"{name[len('wine '):]} {one - FLOOR_MS - statistics.median(values):+.1f}"
                         for (a, name), values in samples.items()
                         if a == arch and name.startswith("wine trivial"))
        print(f"- {arch}: {one / FLOOR_MS:.2f} × the floor; over {over}")


if __name__ == "__main__":
    main()
