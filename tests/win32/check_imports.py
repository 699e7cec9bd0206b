#!/usr/bin/env python3
"""Windows 7 SP1 is the oldest Windows Comutel.exe runs on: every function it imports must be in
windows-imports.txt, with a Windows no newer than 7, and its header must not ask for a newer one.
Usage: check_imports.py COMUTEL_EXE TABLE OBJDUMP"""
import re
import subprocess
import sys

WINDOWS = ["2000", "XP", "Vista", "7", "8", "8.1", "10"]
EXE, TABLE, OBJDUMP = sys.argv[1:4]

dump = subprocess.run([OBJDUMP, "-p", EXE], capture_output=True, text=True, check=True).stdout
oldest = {}
for line in open(TABLE, encoding="utf-8"):
    if fields := line.split("#")[0].split():
        dll, function, since = fields
        oldest[dll.lower(), function] = since
problems, dll, count = [], None, 0
for line in dump.split("The Import Tables")[-1].split("\nThe ")[0].splitlines():
    if named := re.match(r"\tDLL Name: (\S+)", line):
        dll = named[1].lower()
    elif entry := re.match(r"\t[0-9a-f]+\t +\d+ +(\S+)$", line):
        count += 1
        since = oldest.get((dll, entry[1]), "missing from the table")
        if since not in WINDOWS[:WINDOWS.index("7") + 1]:
            problems.append(f"{dll} {entry[1]}: {since}")
# Windows refuses to start an executable whose subsystem version is newer than its own (6.1).
version = tuple(int(re.search(rf"{part}SubsystemVersion\s+(\d+)", dump)[1])
                for part in ("Major", "Minor"))
if version > (6, 1) or count == 0:
    problems.append(f"subsystem version {version}, {count} imports")
print("\n".join(problems) or f"{count} imports, all in Windows 7 SP1")
sys.exit(1 if problems else 0)
