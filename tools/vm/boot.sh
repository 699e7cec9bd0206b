#!/usr/bin/env bash
# Boots Debian's own kernel under QEMU with the comutel of a build folder, the simulated board
# (tools/relay_sim) wired to one of the kernel's serial drivers: comutel on a real 16550A UART
# driver (8250) or an FTDI USB adapter (ftdi_sio), without hardware.
#
#   tools/vm/boot.sh [--wiring com2|null-com2|usb] [--board "RELAY_SIM OPTIONS"] [--out DIR]
#                    [--job SCRIPT] [--add FILE]... BUILD_DIR
#
# Wirings: com2 (the default), the board on COM2's 16550A, COM3 and COM4 device nodes with no
# UART behind them; null-com2, an unconnected 16550A at COM2 and the board on COM4; usb, the
# board behind an FTDI adapter at COM5 (QEMU's usb-serial), COM2 to COM4 with no UART. There
# `plug out` in the guest pulls the adapter out and `plug in` plugs it in again (the guest asks
# on the console; QEMU's monitor, on the FIFOs DIR/monitor.in and .out, does it).
# Without --job the guest gives a shell on this terminal, comutel in /opt; leave it with exit.
# With --job the guest runs SCRIPT, then powers off. --add puts FILE in the guest's /bin.
# DIR (default BUILD_DIR/vm/run) gets what the console showed (console.log), QEMU's trace of the
# UARTs' registers and the adapter (trace.log, told by tools/vm/serial_trace.py) and the board's
# own account (board.out: its port, then the relays it switched; board.err: each byte received).
#
# The kernel comes from Debian's linux-image-amd64 (downloaded once into BUILD_DIR/vm/kernel,
# nothing installed on this machine). QEMU and the board run in a mount namespace with a devpts
# instance of their own, so nothing touches the machine's /dev, and QEMU is given no serial port
# of the machine. Exit status: QEMU's; 2 for a usage error; 77 when that namespace cannot be
# made here (it takes root, or unprivileged user namespaces).
set -euo pipefail

readonly kUsageError=2
readonly kNotPossible=77
# The USB host and FTDI drivers, in the order of their dependencies (the package has no
# modules.dep: depmod makes it at install).
readonly kUsbModules=(common/usb-common core/usbcore host/xhci-hcd host/xhci-pci
                      serial/usbserial serial/ftdi_sio)
tools=$(cd "$(dirname "$0")/.." && pwd)

usage()
{
    echo "boot.sh: $*" >&2
    echo "uso: boot.sh [--wiring com2|null-com2|usb] [--board OPÇÕES] [--out PASTA] [--job SCRIPT] [--add ARQUIVO]... BUILD_DIR" >&2
    exit "$kUsageError"
}

# In a namespace of its own: the board on a pseudo-terminal of a private devpts, then QEMU.
inside()
{
    local out=$1 wiring=$2 board=$3 kernel=$4 build=$5
    mount -t devpts -o newinstance,ptmxmode=0666 devpts /dev/pts
    mount --bind /dev/pts/ptmx /dev/ptmx
    # shellcheck disable=SC2086 # options, one a word
    "$build/tools/relay_sim" --verbose $board >"$out/board.out" 2>"$out/board.err" &
    local sim=$! pty="" tries
    for ((tries = 0; tries < 200 && ${#pty} == 0; ++tries)); do
        sleep 0.05
        pty=$(head -n 1 "$out/board.out")
    done
    [[ -n $pty ]] || { echo "boot.sh: a placa simulada não começou" >&2; exit 1; }
    local args=(-accel tcg -m 256 -display none -nodefaults -no-reboot
                -kernel "$kernel/vmlinux" -initrd "$out/initrd.gz"
                -append "console=ttyS0 quiet loglevel=0 panic=-1 cryptomgr.notests mitigations=off"
                -chardev "stdio,id=con,signal=off,logfile=$out/console.log" -serial chardev:con
                -chardev "serial,id=board,path=$pty"
                -trace 'serial_*' -trace 'usb_serial_*' -trace usb_packet_state_change
                -D "$out/trace.log" -msg timestamp=on)
    case $wiring in
    com2) args+=(-serial chardev:board) ;;
    null-com2) args+=(-serial null -device isa-serial,index=3,chardev=board) ;;
    usb)
        args+=(-device qemu-xhci -device usb-serial,chardev=board,id=adapter
               -chardev "pipe,id=monitor,path=$out/monitor" -mon chardev=monitor,mode=readline)
        mkfifo "$out/monitor.in" "$out/monitor.out"
        cat "$out/monitor.out" >"$out/monitor.log" &
        # Until this shell ends, with QEMU.
        tail -n +1 -F -s 0.05 --pid=$$ "$out/console.log" 2>/dev/null | while read -r line; do
            case $line in
            @out*) echo "device_del adapter" ;;
            @in*) echo "device_add usb-serial,chardev=board,id=adapter" ;;
            esac
        done >"$out/monitor.in" &
        ;;
    esac
    local status=0
    qemu-system-x86_64 "${args[@]}" || status=$?
    kill "$sim" 2>/dev/null || true
    exit "$status"
}

if [[ ${1-} == --in-namespace ]]; then
    shift
    inside "$@"
fi

# The version of the kernel package that linux-image-amd64 names; empty when apt knows none.
named_kernel()
{
    apt-cache depends linux-image-amd64 2>/dev/null |
        sed -n 's/^ *Depends: linux-image-\([0-9].*-amd64\)$/\1/p' | head -n 1
}

# Debian's kernel, unpacked: the uncompressed image (QEMU boots it directly, in half the time
# of vmlinuz) and the USB modules. Kept until linux-image-amd64 names another version.
fetch_kernel()
{
    local kernel=$1 wanted have
    wanted=$(named_kernel)
    # A fresh machine may have no package lists yet.
    if [[ -z $wanted && ! -f $kernel/version && $(id -u) == 0 ]]; then
        apt-get update -qq
        wanted=$(named_kernel)
    fi
    have=$(cat "$kernel/version" 2>/dev/null || true)
    [[ -z $have || (-n $wanted && $wanted != "$have") ]] || return 0
    [[ -n $wanted ]] || { echo "boot.sh: apt não conhece linux-image-amd64 (apt-get update?)" >&2; exit 1; }
    rm -rf "$kernel"
    mkdir -p "$kernel/unpacked"
    (cd "$kernel" && apt-get download -q=2 "linux-image-$wanted" 2>&1 | grep -v unsandboxed) || true
    local package
    package=$(ls "$kernel"/linux-image-*.deb) || { echo "boot.sh: linux-image-$wanted não veio" >&2; exit 1; }
    local members=("${kUsbModules[@]/%/.ko}")
    dpkg-deb --fsys-tarfile "$package" |
        tar -x -C "$kernel/unpacked" --wildcards './boot/vmlinuz-*' \
            "${members[@]/#/./lib/modules/*/kernel/drivers/usb/}"
    mkdir "$kernel/modules"
    local module
    for module in "${kUsbModules[@]}"; do
        cp "$kernel"/unpacked/lib/modules/*/kernel/drivers/usb/"$module".ko "$kernel/modules/"
        echo "${module#*/}" >>"$kernel/modules/order"
    done
    # vmlinuz is a loader with the kernel inside as XZ data; xz complains of the bytes after it.
    local vmlinuz offset
    vmlinuz=$(ls "$kernel"/unpacked/boot/vmlinuz-*)
    offset=$(LC_ALL=C grep -obUaP '\xfd7zXZ\x00' "$vmlinuz" | head -n 1 | cut -d: -f1)
    tail -c +$((offset + 1)) "$vmlinuz" | xz -dc >"$kernel/vmlinux" 2>/dev/null || true
    [[ $(head -c 4 "$kernel/vmlinux") == $'\x7fELF' ]] || { echo "boot.sh: kernel ilegível" >&2; exit 1; }
    rm -rf "$kernel/unpacked" "$package"
    echo "$wanted" >"$kernel/version"
}

# busybox, comutel with the libraries it links, root and dialout, our init, and what was asked.
make_image()
{
    local root=$out/root
    rm -rf "$root"
    mkdir -p "$root"/{bin,etc,opt,modules,proc,sys,dev,run,tmp}
    cp /bin/busybox "$root/bin/"
    cp "$build/comutel" "$root/opt/"
    local library
    for library in $(ldd "$build/comutel" | grep -o '/[^ ]*'); do
        mkdir -p "$root${library%/*}"
        cp -L "$library" "$root$library"
    done
    printf 'root:x:0:0:root:/root:/bin/sh\n' >"$root/etc/passwd"
    printf 'root:x:0:\ndialout:x:20:\n' >"$root/etc/group"
    cp "$tools/vm/init.sh" "$root/init"
    cp "$tools/vm/plug.sh" "$root/bin/plug"
    [[ $wiring != usb ]] || cp "$kernel"/modules/* "$root/modules/"
    [[ -z $job ]] || cp "$job" "$root/job"
    ((${#add[@]} == 0)) || cp "${add[@]}" "$root/bin/"
    (cd "$root" && find . | cpio -o -H newc --quiet) | gzip -1 >"$out/initrd.gz"
}

wiring=com2 board="" out="" job="" add=()
while (($#)); do
    case $1 in
    --wiring) [[ ${2-} =~ ^(com2|null-com2|usb)$ ]] || usage "ligação desconhecida: ${2-}"; wiring=$2; shift 2 ;;
    --board) (($# >= 2)) || usage "--board sem opções"; board=$2; shift 2 ;;
    --out) (($# >= 2)) || usage "--out sem pasta"; out=$2; shift 2 ;;
    --job) [[ -f ${2-} ]] || usage "--job: ${2-} não existe"; job=$(realpath -- "$2"); shift 2 ;;
    --add) [[ -f ${2-} ]] || usage "--add: ${2-} não existe"; add+=("$(realpath -- "$2")"); shift 2 ;;
    -h | --help) sed -n '2,/^set -e/p' "$0" | sed '$d; s/^# \{0,1\}//'; exit 0 ;;
    -*) usage "opção desconhecida: $1" ;;
    *) break ;;
    esac
done
(($# == 1)) || usage "falta a pasta do build"
build=$(realpath -- "$1")
[[ -x $build/comutel && -x $build/tools/relay_sim ]] || usage "$build não tem comutel e tools/relay_sim"
for command in qemu-system-x86_64 cpio xz apt-get; do
    command -v "$command" >/dev/null || "$tools/install-deps.sh"
done
[[ -x /bin/busybox ]] || "$tools/install-deps.sh"
out=$(mkdir -p "${out:-$build/vm/run}" && realpath -- "${out:-$build/vm/run}")
rm -f "$out"/{console.log,trace.log,board.out,board.err,monitor.*}
kernel=$build/vm/kernel
mkdir -p "$kernel"
# Suites booting at the same time share one download.
exec {kernelLock}>"$build/vm/kernel.lock"
flock "$kernelLock"
fetch_kernel "$kernel"
exec {kernelLock}>&-
make_image

if (($(id -u) == 0)); then
    namespace=(unshare --mount --propagation private)
else
    namespace=(unshare --mount --propagation private --user --map-root-user)
fi
if ! reason=$("${namespace[@]}" -- true 2>&1); then
    echo "boot.sh: não é possível criar um namespace próprio aqui: ${reason:-recusado} (é preciso ser root ou ter user namespaces)" >&2
    exit "$kNotPossible"
fi
[[ -n $job ]] || echo "boot.sh: ligação $wiring; console, rastro e placa em $out" >&2
exec "${namespace[@]}" -- "$BASH" "$0" --in-namespace "$out" "$wiring" "$board" "$kernel" "$build"
