#!/usr/bin/env bash
# Builds Comutel.exe and its tests with MinGW-w64 twice, 32-bit (BUILD_DIR/x86) and 64-bit
# (BUILD_DIR/x64), and runs each build's tests under Wine, each test as ctest starts it: the x86
# build's in 32-bit Wine (WoW64), both in one prefix inside BUILD_DIR and on an Xvfb screen of
# their own; stops Wine and Xvfb at the end. The end-to-end cases need tools/relay_sim built for
# this machine: give the Linux build's folder (or relay_sim itself) as LINUX_BUILD, or it is
# compiled here.
#   tools/run-windows-tests.sh BUILD_DIR [LINUX_BUILD | RELAY_SIM]
set -euo pipefail
[ $# -ge 1 ] || { echo "uso: $0 BUILD_DIR [LINUX_BUILD | RELAY_SIM]" >&2; exit 2; }
source_dir=$(cd "$(dirname "$0")/.." && pwd)
mkdir -p "$1"
build=$(cd "$1" && pwd)
relay_sim=${2:-}
[ ! -d "$relay_sim" ] || relay_sim=$relay_sim/tools/relay_sim

# Both cross compilers and the logo's tools, then Wine with its 32-bit half (install-deps.sh
# adds dpkg's i386 architecture for it) and its fonts, and xdotool to drive the windows on Xvfb
# (which install-deps.sh installs anyway).
"$source_dir/tools/install-deps.sh" g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix \
    librsvg2-bin imagemagick wine wine64 wine32:i386 fonts-wine fonts-dejavu-core xdotool

if [ -z "$relay_sim" ]; then
    relay_sim=$build/host/relay_sim
    mkdir -p "$build/host"
    c++ -std=c++17 -O1 -I"$source_dir" "$source_dir"/tools/relay_sim/*.cpp \
        "$source_dir/tools/pty/pty_pair.cpp" -o "$relay_sim" -lutil
fi
relay_sim=$(cd "$(dirname "$relay_sim")" && pwd)/$(basename "$relay_sim")

# One source, two toolchains, named as the zips name the builds.
for arch in x86 x64; do
    (cd "$source_dir" && cmake --preset "windows-$arch" -B "$build/$arch" \
        -DCOMUTEL_RELAY_SIM="$relay_sim" >/dev/null)
    cmake --build "$build/$arch" -j2
done

# Wine keeps everything inside the build folder: the prefix, and its server's socket in TMPDIR.
export WINEPREFIX=$build/wine-prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" LANG=C.UTF-8
export TMPDIR=$build/tmp
mkdir -p "$TMPDIR"

xvfb_pid=
stop() {
    wineserver -k >/dev/null 2>&1 || true
    wineserver -w >/dev/null 2>&1 || true
    [ -z "$xvfb_pid" ] || kill "$xvfb_pid" 2>/dev/null || true
}
trap stop EXIT

# Xvfb says on the descriptor which display it took, once it is ready.
rm -f "$TMPDIR/xvfb.fifo"
mkfifo "$TMPDIR/xvfb.fifo"
exec {display_fd}<>"$TMPDIR/xvfb.fifo"
Xvfb -displayfd "$display_fd" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
read -r -t 30 display_number <&"$display_fd"
exec {display_fd}>&-
rm -f "$TMPDIR/xvfb.fifo"
export DISPLAY=:$display_number

# A prefix made before wine32 was installed has no 32-bit half, and every 32-bit program fails
# in it ("could not load kernel32.dll"): such a prefix is made anew.
if [ -e "$WINEPREFIX/system.reg" ] &&
    [ ! -e "$WINEPREFIX/drive_c/windows/syswow64/kernel32.dll" ]; then
    rm -rf "$WINEPREFIX"
fi
# Started with its output on /dev/null: a first Wine run on a pipe would leave its server and
# services holding that pipe.
mkdir -p "$WINEPREFIX"
wineserver -p >/dev/null 2>&1
[ -e "$WINEPREFIX/system.reg" ] || wineboot -i >/dev/null 2>&1

# Fonts Wine does not pick up by itself, stand-ins for the window's Windows fonts, no wait for a
# window manager at every exit, and no COM port of this machine for Wine to map: an empty entry
# in Wine's Ports keeps it from linking COMn to a real /dev/ttyS* at its next boot.
fonts=$WINEPREFIX/drive_c/windows/Fonts
for font in marlett.ttf tahoma.ttf tahomabd.ttf; do
    [ -e "$fonts/$font" ] || cp "/usr/share/wine/fonts/$font" "$fonts/"
done
{
    printf 'REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Wine\\Fonts\\Replacements]\n'
    printf '"Segoe UI"="Lato"\n"Courier New"="Liberation Mono"\n"MS Sans Serif"="Liberation Sans"\n'
    printf '\n[HKEY_CURRENT_USER\\Software\\Wine\\X11 Driver]\n"Managed"="N"\n'
    printf '\n[HKEY_LOCAL_MACHINE\\Software\\Wine\\Ports]\n'
    for n in $(seq 1 256); do printf '"COM%d"=""\n' "$n"; done
} >"$TMPDIR/settings.reg"
wine regedit /S "$(winepath -w "$TMPDIR/settings.reg")" >/dev/null 2>&1

# Booted again, always: a new prefix's first boot leaves two service managers behind, which make
# every later start of Wine's desktop wait 10 s; and the settings above take effect.
wineserver -k; wineserver -w
wineserver -p >/dev/null 2>&1
wineboot >/dev/null 2>&1
# Whatever links Wine made all the same go before any test; the tests make their own.
find "$WINEPREFIX/dosdevices" -maxdepth 1 -iname 'com*' -exec rm -f {} +

# Wine that cannot run a program may still end 0 and print nothing: each build must say its
# version before its tests count.
for arch in x86 x64; do
    said=$(wine "$build/$arch/win32/Comutel.exe" --version </dev/null 2>&1 | tr -d '\r') || true
    if [[ $said != "Comutel.exe "* ]]; then
        echo "run-windows-tests: Wine does not run the $arch build here: ${said:-nada}" >&2
        exit 1
    fi
done

status=0
for arch in x86 x64; do
    echo "== Comutel.exe $arch"
    ctest --test-dir "$build/$arch" --output-on-failure --timeout 300 || status=1
done
exit $status
