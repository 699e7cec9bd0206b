#!/usr/bin/env bash
# Tries comutel without hardware: installs what is missing, builds, puts a simulated relay board
# at COM2 (tools/relay_sim behind tools/with-ports.sh) and does the program's main job against
# it the way a script would: switch relay 1 on, then ask the board for its relays and take the
# answer from standard output, and from log.txt. COMUTEL_BUILD_DIR picks the build folder
# (default: build).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${COMUTEL_BUILD_DIR:-build}

tools/install-deps.sh
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j"$(nproc)" --target comutel relay_sim >/dev/null

# Asked first, so that "not possible here" is not mistaken for an answer of the program.
if ! tools/with-ports.sh -- true; then
    echo "demo: sem uma porta simulada não há o que mostrar; tente com sudo" >&2
    exit 1
fi

work=$(mktemp -d)
trap 'kill "$sim" 2>/dev/null || true; wait 2>/dev/null || true; rm -rf "$work"' EXIT
mkfifo "$work/board"
"$build/tools/relay_sim" >"$work/board" &
sim=$!
exec {boardLines}<"$work/board"
read -r -u "$boardLines" board
echo "Placa simulada de 4 relés em COM2 ($board)"
# From here on the board prints one line per relay it switches.
sed -u 's/^/  placa: /' <&"$boardLines" &

comutel()
{
    echo "\$ comutel $1"
    local status=0 answer
    answer=$(tools/with-ports.sh COM2="$board" -- "$build/comutel" "$1") || status=$?
    sleep 0.2 # the board's own line first
    [[ -z $answer ]] || echo "  resposta: $answer"
    echo "  estado de saída: $status"
}

comutel 1
comutel E
echo "  log.txt: $(tr -d '\r' <"$build/log.txt")"
