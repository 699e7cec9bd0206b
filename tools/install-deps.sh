#!/usr/bin/env bash
# Installs, from Debian 12's packages, whatever comutel needs to build, test and try that is
# not on the machine yet, and the packages named as arguments. Needs root (or sudo).
set -euo pipefail

packages=(
    cmake g++ make
    qt6-base-dev libgl-dev
    # the core's unit tests, header-only, built by both compilers
    doctest-dev
    # the logo, drawn from SVG
    qt6-svg-dev
    # stand-ins for the window's fonts: Lato for Segoe UI, Liberation for MS Sans Serif and
    # Courier New
    fonts-lato fonts-liberation2
    # tools/screenshot-window.sh: a real X server, and grabbing a window into a PNG
    xvfb xauth x11-utils x11-apps netpbm
    # tools/with-ports.sh: unshare and mount, for the end-to-end tests' private /dev
    util-linux mount
    # bench/run.py: peak memory of each run
    time python3
    # tst_command_line: localedef's sources, for an ISO 8859-15 locale of its own
    locales
    # tests/fuzz: clang's libFuzzer and sanitizers
    clang libclang-rt-14-dev
    # the VM tests (tools/vm/boot.sh): QEMU, and the guest's shell and image
    qemu-system-x86 busybox-static cpio xz-utils
)
# More named by the caller: tools/run-tests.sh adds what the package test needs.
packages+=("$@")

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
# A package of another architecture (wine32:i386) needs that architecture in dpkg first.
for p in "${missing[@]}"; do
    arch=${p#*:}
    if [ "$arch" != "$p" ] && ! dpkg --print-foreign-architectures | grep -qx "$arch"; then
        $sudo dpkg --add-architecture "$arch"
    fi
done
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
