#!/usr/bin/env python3
"""QEMU's trace of a guest's serial lines (trace.log from tools/vm/boot.sh) told as what the lines
went through: the settings each UART or the FTDI adapter was given, every byte (UART) or packet
(adapter) sent with the settings and modem lines of that moment, every drop of DTR and whether
the UART's transmitter had emptied before it, every UART register written. The trace does not
say which UART a line is about: the guest marks parts of it by writing their number to COM1's
scratch register (I/O port 0x3ff, `serial_write addr 0x07`); a number written again starts its
part afresh.
Usage: serial_trace.py TRACE_LOG"""
import re
import sys


class Part:
    def __init__(self):
        self.sends = []  # UART: (ms, byte, "300 8N1", DTR and RTS up)
        self.packets = []  # FTDI adapter: (ms, None, "300 8N1", DTR and RTS up)
        self.drops = []  # (ms, the transmitter had emptied)
        self.settings = []  # (ms, "9600 8N1") each time a line's settings were complete
        self.writes = 0  # UART registers written, the marks aside


def parts(lines):
    """The trace's parts by their number (0 before the first mark)."""
    part = Part()
    found = {0: part}
    s = dict(lcr=0, dl=[0, 0], mcr=0, empty=True, baud=0, data="", flow=0, dtr=0, rts=0)

    def uart():
        divisor = max(1, s["dl"][0] | s["dl"][1] << 8)
        return "%d %d%s%d" % (115200 // divisor, (s["lcr"] & 3) + 5, "P" if s["lcr"] & 8 else "N",
                              2 if s["lcr"] & 4 else 1)

    def adapter():
        return "%d %s" % (s["baud"], s["data"]) + (" fluxo %d" % s["flow"] if s["flow"] else "")

    for line in lines:
        m = re.match(r"\d+@([\d.]+):(\S+) (.*)", line)
        if not m:
            continue
        ms, event, rest = float(m[1]) * 1000, m[2], m[3]
        register = re.match(r"(write|read) addr 0x(\w+) val 0x(\w+)", rest)
        if register and register[1] == "read":
            s["empty"] |= register[2] == "05" and bool(int(register[3], 16) & 0x40)  # LSR: TEMT
        elif register:
            address, value = int(register[2], 16), int(register[3], 16)
            if address == 7:
                part = found[value] = Part()
                continue
            part.writes += 1
            if address == 3:  # LCR; bit 7 opens the divisor latch at 0 and 1
                s["lcr"] = value
                if not value & 0x80:
                    part.settings.append((ms, uart()))
            elif address < 2 and s["lcr"] & 0x80:
                s["dl"][address] = value
            elif address == 0:  # THR
                part.sends.append((ms, value, uart(), s["mcr"] & 3 == 3))
                s["empty"] = False
            elif address == 4:  # MCR: DTR is bit 0, RTS bit 1
                if s["mcr"] & 1 and not value & 1:
                    part.drops.append((ms, s["empty"]))
                s["mcr"] = value
        elif event.startswith("usb_"):
            if event == "usb_serial_reset":
                s.update(baud=9600, data="8N1", flow=0)
            elif event == "usb_serial_set_baud":
                s["baud"] = int(rest.split()[-1])
            elif event == "usb_serial_set_data":
                parity, data, stop = re.search(r"parity (\w), data bits (\d), stop bits (\d)", rest).groups()
                s["data"] = data + parity + stop
            elif event == "usb_serial_set_flow_control":  # the last request of a new setting
                s["flow"] = int(rest.split()[-1])
                part.settings.append((ms, adapter()))
            elif control := re.search(r"got control 0x4001, value 0x(\w+)", rest):  # modem lines
                value = int(control[1], 16)  # a mask in the high byte, the lines in the low one
                dtr = value & 1 if value & 0x100 else s["dtr"]
                if s["dtr"] and not dtr:
                    part.drops.append((ms, True))
                s["dtr"], s["rts"] = dtr, (value & 2 if value & 0x200 else s["rts"])
            elif "ep 2," in rest and "undef -> setup" in rest:  # a bulk transfer to the adapter
                part.packets.append((ms, None, adapter(), bool(s["dtr"] and s["rts"])))
    return found


def main():
    with open(sys.argv[1], errors="replace") as trace:
        found = parts(trace)
    for number, part in sorted(found.items()):
        print("parte %d: %d registros de UART escritos" % (number, part.writes))
        events = [(ms, "configurada: " + text) for ms, text in part.settings]
        events += [(ms, "DTR caiu" + ("" if empty else " antes de o transmissor esvaziar"))
                   for ms, empty in part.drops]
        sent = []  # the bytes sent in one go, with the same settings and lines, on one line
        for ms, byte, line, up in sorted(part.sends + part.packets):
            how = " em %s%s" % (line, "" if up else " sem DTR/RTS")
            if byte is not None and sent and sent[-1][1] == how and sent[-1][2] is not None:
                sent[-1][2].append(byte)
            else:
                sent.append([ms, how, None if byte is None else [byte]])
        events += [(ms, "enviou " + ("um pacote" if data is None else repr(bytes(data))) + how)
                   for ms, how, data in sent]
        for ms, text in sorted(events):
            print("  %.3f %s" % (ms / 1000, text))


if __name__ == "__main__":
    main()
