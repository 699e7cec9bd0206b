#!/bin/sh
# In the guest of tools/vm/boot.sh --wiring usb: "plug out" has the host pull the FTDI adapter
# out, "plug in" plug it in again (asked on the console, where boot.sh listens); then waits
# until /dev/ttyUSB0 agrees.
case $1 in
out) want="" ;;
in) want=/dev/ttyUSB0 ;;
*) echo "uso: plug out|in" >&2; exit 2 ;;
esac
echo "@$1" >/dev/console
tries=0
until [ "$(ls /dev/ttyUSB0 2>/dev/null)" = "$want" ]; do
    [ $((tries += 1)) -le 200 ] || { echo "plug: /dev/ttyUSB0 não mudou em 10 s" >&2; exit 1; }
    sleep 0.05
done
