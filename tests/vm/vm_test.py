#!/usr/bin/env python3
"""comutel on the kernel's own serial drivers under QEMU (tools/vm/boot.sh): Debian's 8250 driver
on an emulated 16550A, ftdi_sio on QEMU's FTDI adapter, tools/relay_sim as the board. A case is
guest shell (helpers in guest.sh), checked against what the guest saw, QEMU's trace of the UART's
registers and the adapter's requests (tools/vm/serial_trace.py) and what the board heard.
Usage: vm_test.py SUITE BUILD_DIR HOLD_PORT"""
import os
import re
import subprocess
import sys
import time
from pathlib import Path

TOOLS = Path(__file__).resolve().parents[2] / "tools/vm"
sys.path.insert(0, str(TOOLS))
import serial_trace  # noqa: E402

BOUND = 240  # seconds for a whole boot: generous, for a loaded machine
TICK = (60, 200)  # ms from one port tried to the next
ADVICE = r"O Windows não pôde detectar a placa controladora\.\n.*"
HINT = r'comutel: "comutel --ports"[^\n]*\n'
NO_UART = r"comutel: COM%d \(/dev/ttyS%d\): não é uma porta serial em funcionamento " \
          r"\(Input/output error\)\n"
PAST_COM4 = ADVICE + NO_UART % (2, 1) + NO_UART % (3, 2) + NO_UART % (4, 3) + HINT
LISTED = r"COM%d +/dev/tty%s +padrão +%s\n"
NO_UART_LISTED = "não é uma porta serial em funcionamento"
# A case: its name, its guest commands, what must hold. The guest's facts (status, out, err, log,
# tried: the ports opened, ...) are regular expressions; wire: the bytes sent, each at 300 8N1
# with DTR and RTS up (none: no UART register written); closed: DTR dropped once the last byte
# had left, and a UART's settings found at the open put back; held: ms from that byte to the
# drop; tick: each port tried a tick after the one before.
SUITES = {  # a boot each: the wiring, relay_sim's options, all the board must hear, the byte on
    # which the host pulls the adapter out, the cases
    "uart": ("com2", "", b"1ER21357ABCDFGHIJKLMNOPQSTUVWXYZ24", None, [
        ("1", "run ./comutel 1",
         dict(status="0", out="", err="", log="-\r\n", wire=b"1", closed=1, tried="ttyS1")),
        ("E", "run ./comutel E",
         dict(status="0", out="1000\n", err="", log="1000\r\n", wire=b"E", closed=1)),
        ("r2", "run ./comutel r2", dict(status="0", out="0\n", log="0\r\n", wire=b"R2")),
        ("a 30-byte command", "run ./comutel 1357abcdfghijklmnopqstuvwxyz24",
         dict(status="0", err="", wire=b"1357ABCDFGHIJKLMNOPQSTUVWXYZ24", closed=1)),
        ("COM2 locked by a live process: COM3 and COM4, no UART, passed over",
         "sleep 60 & s=$!; printf '%10d\\n' $s >/run/lock/LCK..ttyS1; run ./comutel 1; kill $s; "
         "rm /run/lock/LCK..*",
         dict(status="1", wire=b"", tried="ttyS2 ttyS3", tick=1, err=ADVICE + r"comutel: COM2 "
              r"\(/dev/ttyS1\): em uso por outro programa \(PID \d+[^)\n]*\)\n" + NO_UART % (3, 2)
              + NO_UART % (4, 3) + HINT)),
        ("COMUTEL_DEVICE naming a port with no UART: only it is tried",
         "run env COMUTEL_DEVICE=/dev/ttyS2 ./comutel 1",
         dict(status="1", wire=b"", tried="ttyS2", err=ADVICE + NO_UART % (3, 2) + HINT)),
        ("--ports: the types from sysfs", "run ./comutel --ports",
         dict(status="0", wire=b"", tried="", err="", out=LISTED % (1, "S0", ".*")
              + LISTED % (2, "S1", "livre") + LISTED % (3, "S2", NO_UART_LISTED)
              + LISTED % (4, "S3", NO_UART_LISTED)))]),
    "unconnected": ("null-com2", "", b"E", None, [
        ("E into an unconnected UART: the port held 500 ms", "run ./comutel E",
         dict(status="2", err="comutel: a placa não respondeu em 500 ms\n", log="-\r\n", wire=b"E",
              closed=1, held=(450, 2000))),
        ("COMUTEL_DEVICE naming the board past it", "run env COMUTEL_DEVICE=/dev/ttyS3 ./comutel E",
         dict(status="0", out="0000\n", wire=b"E", closed=1, tried="ttyS3"))]),
    "exclusive": ("com2", "", b"", None, [
        ("another program holds COM2 in exclusive mode: root's run writes none of its registers",
         "hold_port /dev/ttyS1 >/tmp/held & h=$!; until [ -s /tmp/held ]; do sleep 0.01; done; "
         "tag $n; run ./comutel 1; tag 0; kill $h; wait $h; fact holder sed 1d /tmp/held",
         dict(status="1", wire=b"", holder="9600 1\n"))]),  # its speed, still exclusive
    "usb": ("usb", "--silent", b"1E1", b"E", [
        ("1 through the FTDI adapter at COM5", "run ./comutel 1",
         dict(status="0", err="", wire=b"1", closed=1, tried="ttyS1 ttyS2 ttyS3 ttyUSB0")),
        ("pulled out while E waits for the answer: ends at once",
         "run ./comutel E; fact locks ls /run/lock; plug in",
         dict(status="2", log="-\r\n", wire=b"E", locks="comutel.lock\n", err=r"comutel: a porta"
              r" COM 5 deixou de responder: COM5 \(/dev/ttyUSB0\): a porta se perdeu "
              r"\(desligada\)\n")),
        ("pulled out during a search",
         "during='until opened ttyS1; do sleep 0.01; done; kill -STOP $job; plug out; "
         "kill -CONT $job'; run ./comutel 1; during=",
         dict(status="1", wire=b"", err=PAST_COM4)),
        ("the next run does not find it, nor --ports",
         "run ./comutel 1; fact ports ./comutel --ports",
         dict(status="1", wire=b"", err=PAST_COM4, ports=r"(?!.*COM5).*")),
        ("plugged in again: found at COM5",
         "plug in; run ./comutel 1; fact ports ./comutel --ports",
         dict(status="0", err="", wire=b"1", closed=1,
              ports=".*" + LISTED % (5, "USB0", "livre")))]),
}


def check(expect, facts, part, usb):
    """What is wrong with one case."""
    opened = [(float(s) * 1000, name) for s, name in re.findall(r"([\d.]+) (\S+)", facts["opens"])]
    facts = dict(facts, tried=" ".join(name for _, name in opened))
    problems = ["%s: %r" % (key, facts.get(key)) for key, pattern in expect.items()
                if isinstance(pattern, str) and not re.fullmatch(pattern, facts.get(key, ""), re.S)]
    sends, wire = part.packets if usb else part.sends, expect["wire"]
    if (bool(sends) != bool(wire)) if usb else bytes(b for _, b, _, _ in sends) != wire:
        problems.append("on the wire: %r" % [b for _, b, _, _ in sends])
    wrong = [(line, up) for _, _, line, up in sends if line != "300 8N1" or not up]
    if wrong:
        problems.append("%d of %d sent at %s, DTR and RTS up: %s" % (len(wrong), len(sends), *wrong[0]))
    if part.writes and not wire and not usb:
        problems.append("%d UART registers written" % part.writes)
    drops = [(ms - sends[-1][0], empty) for ms, empty in part.drops if sends and ms > sends[-1][0]]
    low, high = expect.get("held", (0, 1e9))
    if expect.get("closed") and not (drops and drops[0][1] and low <= drops[0][0] <= high):
        problems.append("DTR drops (ms after the last byte, transmitter empty): %s" % drops)
    settings = [text for _, text in part.settings]
    if expect.get("closed") and not usb and settings[-1:] != settings[:1]:
        problems.append("settings not put back: %s" % settings)
    gaps = [b[0] - a[0] for a, b in zip(opened, opened[1:])]
    bad = expect.get("tick") and not all(TICK[0] <= gap <= TICK[1] for gap in gaps)
    return problems + ["ms between the ports tried: %s" % gaps] * bool(bad)


def boot(wiring, board, unplug_on, cases, out):
    """The suite's boot: QEMU's status, what the console showed, the bytes the board heard."""
    out.mkdir(parents=True, exist_ok=True)
    (out / "board.err").unlink(missing_ok=True)  # an earlier boot's
    (out / "job").write_text(". /bin/guest.sh\n" + "".join("case_ %d '%s'\n" % (
        i, case[1].replace("'", "'\\''")) for i, case in enumerate(cases, 1)) + "finish\n")
    qemu = subprocess.Popen([TOOLS / "boot.sh", "--wiring", wiring, "--board", board, "--out", out,
                             "--job", out / "job", "--add", sys.argv[3], "--add",
                             Path(__file__).with_name("guest.sh"), sys.argv[2]],
                            stdout=subprocess.DEVNULL, start_new_session=True)
    heard, deadline = b"", time.monotonic() + BOUND
    while qemu.poll() is None and time.monotonic() < deadline:
        time.sleep(0.002)
        if (out / "board.err").exists():
            heard = bytes(int(b, 16) for b in re.findall(r"recebido 0x(\w\w)",
                                                         (out / "board.err").read_text()))
        if unplug_on and unplug_on in heard:  # the command has left: comutel waits for the answer
            (out / "monitor.in").write_text("device_del adapter\n")
            unplug_on = None
    if qemu.poll() is None:  # hung: QEMU and the board with it
        os.killpg(qemu.pid, 9)
    console = (out / "console.log").read_bytes() if (out / "console.log").exists() else b""
    return qemu.wait(), console.decode("latin-1").replace("\r", ""), heard


def main():
    wiring, board, hears, unplug_on, cases = SUITES[sys.argv[1]]
    out, started = Path(sys.argv[2]) / "vm" / sys.argv[1], time.monotonic()
    status, console, heard = boot(wiring, board, unplug_on, cases, out)
    if status == 77:  # tools/vm/boot.sh: no namespace of its own here
        return 1 if os.environ.get("COMUTEL_NO_SKIPS") else 77
    facts, number = [{"opens": ""} for _ in range(len(cases) + 1)], 0
    for key, value in re.findall(r"^(\w+) (\S*)$", console.partition("@results\n")[2], re.M):
        if key == "case":
            number = int(value)
        else:
            facts[number][key] = bytes.fromhex(value).decode("utf-8", "replace")
    with open(out / "trace.log", errors="replace") as trace:
        parts = serial_trace.parts(trace)
    results = [(name, check(expect, facts[i], parts.get(i, serial_trace.Part()), wiring == "usb"))
               for i, (name, _, expect) in enumerate(cases, 1)]
    results.append(("the board heard %r" % heard, [] if heard == hears else ["not %r" % hears]))
    for name, problems in results:
        print(("FAIL - " if problems else "ok - ") + name + "".join("\n    " + p for p in problems))
    up = re.search(r"@up (\S+)", console)
    print("boot %s s (guest), suite %.1f s, QEMU status %d; console, trace, board in %s" % (
        up and up[1], time.monotonic() - started, status, out))
    return 1 if status or any(problems for _, problems in results) else 0


if __name__ == "__main__":
    sys.exit(main())
