#!/usr/bin/env bash
# Uses the installed comutel package as a machine would: its files, the log's folder, relay 1
# and a query on the simulated board by an ordinary member of dialout, the turn lock, a user's
# own copy of the program, the manual page. The package's DEP-8 test (debian/tests/control):
# autopkgtest installs the package first. Root, on a throwaway machine.
set -euo pipefail
cd "$(dirname "$0")/../.."
user=comutel-teste work=$(mktemp -d) log=/var/lib/comutel/log.txt sim=""
# As $user, with only the groups and environment of a login.
runas=(setpriv --reuid="$user" --regid="$user" --init-groups --reset-env)
cleanup()
{
    [[ -z $sim ]] || { kill "$sim" && wait "$sim"; } 2>/dev/null || true
    if id "$user" >/dev/null 2>&1; then
        pkill -KILL -u "$user" || true
        while pgrep -u "$user" >/dev/null; do sleep 0.1; done # userdel refuses a user still running
        userdel -r "$user" 2>/dev/null || true
    fi
}
trap 'cleanup; rm -rf "$work"' EXIT
step() { echo "pacote: $*"; }
fail() { echo "pacote: FALHOU: $*" >&2; exit 1; }
is() { cmp -s "$1" <(printf -- "$2") || fail "$1: $(od -c "$1" | head -n1)"; }
# The file may not be there yet: grep keeps quiet about that (standard error fails the test).
wait_for() { for _ in {1..50}; do grep -qs "$2" "$1" && return; sleep 0.1; done; false; }
(($(id -u) == 0)) || fail "precisa de root (cria usuários)"
[[ $(dpkg-query -W -f='${db:Status-Status}' comutel 2>/dev/null) == installed ]] ||
    fail "o pacote comutel não está instalado"
cleanup # whatever an interrupted run left

# The program, its module, the links, man page and completion are used below; the rest is here.
step "conteúdo: arquivos, links, binários despidos"
while read -r path target; do
    if [[ $target == - ]]; then [[ -f /$path && ! -L /$path ]]
    else [[ $(readlink "/$path") == "$target" ]]; fi || fail "/$path"
done <<'EOF_FILES'
usr/bin/comutel ../lib/comutel/comutel
usr/lib/comutel/log.txt /var/lib/comutel/log.txt
usr/lib/tmpfiles.d/comutel.conf -
usr/share/applications/comutel.desktop -
usr/share/icons/hicolor/scalable/apps/comutel.svg -
usr/share/doc/comutel/README.md.gz -
usr/share/doc/comutel/copyright -
EOF_FILES
for elf in /usr/lib/comutel/comutel*; do
    ! readelf -S "$elf" | grep -qE '\.symtab|\.debug_' || fail "$elf não foi despido"
done

step "instalado: /var/lib/comutel root:dialout 2775, log.txt \"-\" legível por todos"
[[ $(stat -c '%U:%G %a' /var/lib/comutel) == "root:dialout 2775" && $(stat -c %a $log) == 644 ]] ||
    fail "donos e modos: $(stat -c '%U:%G %a' /var/lib/comutel $log)"
is $log '-\r\n'
# Configured again, it replaces a link left there without following it.
echo x >"$work/alvo" && ln -sfn "$work/alvo" $log && dpkg-reconfigure comutel
[[ ! -L $log && $(cat "$work/alvo") == x ]] || fail "postinst seguiu o link" && is $log '-\r\n'

step "comutel instalado, por um usuário do grupo dialout"
useradd -m -G dialout "$user"
# A newer compiler's warnings are not this test's business (standard error would fail it).
g++ -std=c++17 -O2 -Itools/pty -o "$work/relay_sim" tools/relay_sim/*.cpp tools/pty/pty_pair.cpp \
    2>"$work/g++.log" || { cat "$work/g++.log" >&2; fail "relay_sim não compilou"; }
"$work/relay_sim" >"$work/board" & sim=$!
wait_for "$work/board" '^/dev/pts/' || fail "a placa simulada não deu seu terminal"
pty=$(head -n1 "$work/board")
chgrp dialout "$pty" && chmod 0660 "$pty" # as a real /dev/ttyS1
tools/with-ports.sh COM2="$pty" -- "${runas[@]}" comutel 1 || fail "comutel 1: $?"
wait_for "$work/board" 'relé 1 ligado' || fail "a placa não ligou o relé 1"
answer=$(tools/with-ports.sh COM2="$pty" -- "${runas[@]}" comutel E) || fail "comutel E: $?"
[[ $answer == 1000 ]] || fail "saída padrão: $answer"
is /usr/lib/comutel/log.txt '1000\r\n'

step "um usuário fora de dialout não segura a vez de quem usa a placa"
outsider=comutel-outro
useradd -M "$outsider" 2>/dev/null || true
[[ $(stat -c '%U:%G %a' /run/comutel/turn.lock) == "root:dialout 660" ]] ||
    fail "trava da vez: $(stat -c '%U:%G %a' /run/comutel/turn.lock)"
! setpriv --reuid="$outsider" --regid="$outsider" --clear-groups \
    flock -n /run/comutel/turn.lock true 2>/dev/null || fail "$outsider abriu a trava da vez"
userdel "$outsider"
# A member of dialout who holds the turn does make the others wait (a private copy of the
# folder, so that the machine's own turn stays free).
turns=$(mktemp -d) && chmod 0755 "$turns" &&
    install -o root -g dialout -m 0660 /dev/null "$turns/turn.lock"
# One process holds it, so that ending it ends the hold.
setpriv --reuid="$user" --regid="$user" --init-groups \
    bash -c 'exec 9<"$0" && flock 9 && exec sleep 600' "$turns/turn.lock" &
holder=$!
wait_for /proc/locks "FLOCK .*:$(stat -c %i "$turns/turn.lock") " || fail "a vez não foi segurada"
start=$SECONDS
tools/with-ports.sh --locks "$turns" COM2="$pty" -- "${runas[@]}" comutel 2 2>"$work/turn.err" ||
    fail "comutel 2 com a vez presa: $?"
kill "$holder" && wait "$holder" 2>/dev/null || true
grep -q "não liberou a vez" "$work/turn.err" || fail "a vez presa não foi dita: $(cat "$work/turn.err")"
((SECONDS - start >= 29)) || fail "comutel 2 não esperou a vez"
rm -rf "$turns"

step "a cópia do executável de um usuário acha a janela"
copy=/home/$user/bin/comutel
install -d -o "$user" "${copy%/*}" && install -o "$user" /usr/lib/comutel/comutel "$copy"
status=0 # with no port the window stays up, so it is stopped after a second
timeout 1 tools/with-ports.sh -- "${runas[@]}" env QT_QPA_PLATFORM=offscreen "$copy" \
    2>"$work/window.err" || status=$?
((status == 124)) || fail "a janela terminou ($status): $(cat "$work/window.err")"

step "página de manual e completação"
# The page is absent where this machine leaves man pages out: then the one it is built from.
[[ -e /usr/share/man/man1/comutel.1.gz ]] && man -P cat comutel >"$work/man" 2>&1 ||
    man -l docs/comutel.1 >"$work/man"
grep -q '^SINOPSE' "$work/man" && grep -q 'adduser' "$work/man" || fail "man comutel"
# The first word offers everything, the words after it nothing: they go to the board as typed.
words=$(bash -c '. /usr/share/bash-completion/completions/comutel
    COMP_WORDS=(comutel ""); COMP_CWORD=1; _comutel; first=${COMPREPLY[*]}
    COMP_WORDS=(comutel E ""); COMP_CWORD=2; _comutel; echo "$first|${COMPREPLY[*]}"')
[[ $words == "1 2 3 4 5 6 7 8 E R --help --version --ports|" ]] || fail "completação: $words"
step "tudo certo"
