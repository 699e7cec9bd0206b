#!/usr/bin/env bash
# Renders comutel's window to a PNG under a real X server (Xvfb) while it is connected to a
# simulated board on COM2, so the layout can be looked at as a user sees it.
#
#   tools/screenshot-window.sh [BUILD_DIR [OUTPUT.png]]     (defaults: build docs/window.png)
#
# The board is the build's tools/relay_sim; the program runs through tools/with-ports.sh, whose
# private /dev holds only COM2 (ttyS1), a link to the board's pseudo-terminal (root, or user
# namespaces). Packages: xvfb, x11-apps, x11-utils, netpbm (tools/install-deps.sh installs them).
set -euo pipefail

window_size=343x620 # the client area; there is no window manager to add a frame

# The processes that hold the pseudo-terminal open.
holders()
{
    # find complains, and fails, about processes that end while it looks.
    { find /proc/[0-9]*/fd -lname "$1" 2>/dev/null || true; } | cut -d/ -f3 | sort -u
}

if [ "${1:-}" = --inside-x ]; then
    # Second stage, under xvfb-run: start the program, wait for it to connect, grab its window.
    out=$2 slave=$3
    shift 3
    before=$(holders "$slave")
    "$@" &
    program=$!
    window=""
    for _ in $(seq 100); do
        window=$(xwininfo -root -tree | awk -v size="$window_size" '$0 ~ " " size "\\+" {print $1; exit}')
        [ -n "$window" ] && break
        sleep 0.1
    done
    [ -n "$window" ] || { echo "screenshot-window: the window never appeared" >&2; exit 1; }
    # Connected once a new process holds the pseudo-terminal open; then let it repaint.
    connected=""
    for _ in $(seq 100); do
        connected=$(comm -13 <(echo "$before") <(holders "$slave"))
        [ -n "$connected" ] && break
        sleep 0.1
    done
    [ -n "$connected" ] || echo "screenshot-window: the program never opened COM2" >&2
    sleep 1
    xwd -silent -id "$window" | xwdtopnm 2>/dev/null | pnmtopng >"$out"
    kill "$program" 2>/dev/null || true
    wait "$program" 2>/dev/null || true
    [ -n "$connected" ] && exit 0 || exit 1
fi

self=$(realpath "$0")
cd "$(dirname "$self")/.."
build=${1:-build}
out=${2:-docs/window.png}
program=$(realpath "$build/comutel")
[ -x "$program" ] || { echo "screenshot-window: $program not built" >&2; exit 1; }
mkdir -p "$(dirname "$out")"
out=$(realpath "$out")
work=$(mktemp -d)
board=""
cleanup() {
    [ -n "$board" ] && kill "$board" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

simulator=$build/tools/relay_sim
[ -x "$simulator" ] || { echo "screenshot-window: $simulator not built" >&2; exit 1; }
# Asked first, so that a refusal is told plainly rather than as a window that never appeared.
tools/with-ports.sh -- true || { echo "screenshot-window: no private /dev here (see above)" >&2; exit 1; }
"$simulator" >"$work/board.out" 2>"$work/board.err" &
board=$!
slave=""
for _ in $(seq 50); do
    slave=$(grep -o '/dev/pts/[0-9]*' "$work/board.out" | head -n1 || true)
    [ -n "$slave" ] && break
    sleep 0.1
done
[ -n "$slave" ] || { echo "screenshot-window: the simulated board gave no pseudo-terminal" >&2; exit 1; }

# The program writes log.txt beside itself; keep the build folder's copy as it was.
cp "$program" "$work/comutel"
cp "$(dirname "$program")/comutel-window.so" "$work/"
xvfb-run -a -s "-screen 0 480x720x24 -dpi 96 -nolisten tcp" \
    "$self" --inside-x "$out" "$slave" tools/with-ports.sh COM2="$slave" -- "$work/comutel"
echo "$out"
