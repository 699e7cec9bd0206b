#!/usr/bin/env bash
# Builds comutel's Debian package and uses it as a machine would: lintian, its files, install,
# relay 1 and a query on the simulated board by an ordinary member of dialout, a user's own copy
# of the program, the manual page, a purge that leaves nothing. Root, on a throwaway machine.
#   tests/package/test-package.sh [BUILD_DIR]    (default build; holds tools/relay_sim)
set -euo pipefail
cd "$(dirname "$0")/../.."
build=$(realpath -- "${1:-build}")
user=comutel-teste
work=$(mktemp -d)
sim="" step="" passed=0
# The rest of the command line runs as $user, with only the groups and environment of a login.
runas=(setpriv --reuid="$user" --regid="$user" --init-groups --reset-env)

cleanup()
{
    [[ -z $sim ]] || { kill "$sim" && wait "$sim"; } 2>/dev/null || true
    apt-get purge -y -qq comutel >/dev/null 2>&1 || true
    ! id "$user" >/dev/null 2>&1 || userdel -r "$user" 2>/dev/null || true
}
trap 'cleanup; rm -rf "$work"' EXIT
check() { [[ -z $step ]] || { echo "pacote: ok - $step"; passed=$((passed + 1)); }; step=$1; }
fail() { echo "pacote: FALHOU - $step: $*" >&2; exit 1; }
wait_for() { for _ in {1..50}; do grep -q "$2" "$1" && return; sleep 0.1; done; false; }
(($(id -u) == 0)) || { echo "pacote: precisa de root (instala, cria um usuário)" >&2; exit 1; }
[[ -x $build/tools/relay_sim ]] || { echo "pacote: falta $build/tools/relay_sim" >&2; exit 1; }
cleanup # whatever an interrupted run left

check "build-deb.sh e lintian"
deb=$(tools/build-deb.sh "$work" 2>"$work/build.log" | tail -n1) ||
    { tail -n 30 "$work/build.log" >&2; fail "tools/build-deb.sh falhou"; }
{ lintian "$deb" 2>&1 || true; } | sed '/running with root/d' | tee "$work/lintian" | sed 's/^/  /'
! grep -q '^E:' "$work/lintian" || fail "lintian deu erros"

check "conteúdo do .deb"
dpkg-deb -x "$deb" "$work/root"
while read -r path target; do
    case $target in
    -) [[ -f $work/root/$path && ! -L $work/root/$path ]] || fail "falta o arquivo /$path" ;;
    *) [[ $(readlink "$work/root/$path") == "$target" ]] || fail "/$path não leva a $target" ;;
    esac
done <<'EOF'
usr/lib/comutel/comutel -
usr/lib/comutel/comutel-window.so -
usr/bin/comutel ../lib/comutel/comutel
usr/lib/comutel/log.txt /var/lib/comutel/log.txt
usr/share/man/man1/comutel.1.gz -
usr/share/bash-completion/completions/comutel -
usr/share/applications/comutel.desktop -
usr/share/icons/hicolor/scalable/apps/comutel.svg -
usr/share/doc/comutel/README.md.gz -
usr/share/doc/comutel/copyright -
EOF
for elf in comutel comutel-window.so; do
    ! readelf -S "$work/root/usr/lib/comutel/$elf" | grep -qE '\.symtab|\.debug_' ||
        fail "$elf não foi despido (strip)"
done

check "instalação: /var/lib/comutel e log.txt"
apt-get install -y -qq "$deb" >"$work/apt.log" 2>&1 || { cat "$work/apt.log" >&2; fail "apt-get"; }
log=/var/lib/comutel/log.txt
[[ $(stat -c '%U:%G %a' /var/lib/comutel) == "root:dialout 2775" ]] || fail "dono ou modo da pasta"
[[ $(stat -c %a $log) == 644 ]] && cmp -s $log <(printf -- '-\r\n') || fail "log.txt inicial"
# Configuring again keeps the last answer, and replaces a link left there without following it.
printf '1010\r\n' >$log
dpkg -i "$deb" >/dev/null && cmp -s $log <(printf '1010\r\n') || fail "resposta anterior perdida"
echo x >"$work/alvo" && ln -sfn "$work/alvo" $log
dpkg -i "$deb" >/dev/null && [[ ! -L $log && $(cat "$work/alvo") == x ]] || fail "link seguido"
cmp -s $log <(printf -- '-\r\n') || fail "link não trocado por um log novo"

check "comutel instalado, como usuário do grupo dialout"
useradd -m -G dialout "$user"
"$build/tools/relay_sim" >"$work/board" & sim=$!
wait_for "$work/board" '^/dev/pts/' || fail "a placa simulada não deu seu terminal"
pty=$(head -n1 "$work/board")
chgrp dialout "$pty" && chmod 0660 "$pty" # as a real /dev/ttyS1
tools/with-ports.sh COM2="$pty" -- "${runas[@]}" comutel 1 || fail "comutel 1 terminou com $?"
wait_for "$work/board" 'relé 1 ligado' || fail "a placa não ligou o relé 1"
answer=$(tools/with-ports.sh COM2="$pty" -- "${runas[@]}" comutel E) || fail "comutel E: $?"
[[ $answer == 1000 ]] || fail "saída padrão: $answer"
cmp -s /usr/lib/comutel/log.txt <(printf '1000\r\n') || fail "log.txt: $(od -c $log | head -n2)"
# A link that a member of dialout put there is replaced by root's comutel, never followed.
echo segredo >"$work/alvo" && ln -sfn "$work/alvo" $log
tools/with-ports.sh COM2="$pty" -- comutel 1 || fail "comutel 1 como root: $?"
[[ $(cat "$work/alvo") == segredo && ! -L $log ]] || fail "comutel seguiu o link em $log"

check "cópia do executável do próprio usuário acha a janela"
copy=/home/$user/bin/comutel
install -d -o "$user" -g "$user" "${copy%/*}" && install -o "$user" /usr/lib/comutel/comutel "$copy"
status=0
# Stopped after a second: with no port the window waits, it does not end.
timeout 1 tools/with-ports.sh -- "${runas[@]}" env QT_QPA_PLATFORM=offscreen "$copy" \
    2>"$work/window.err" || status=$?
((status == 124)) || fail "a janela terminou sozinha ($status): $(cat "$work/window.err")"
! grep -q 'não foi possível carregar a janela' "$work/window.err" || fail "$(cat "$work/window.err")"

check "página de manual e completação"
page=/usr/share/man/man1/comutel.1.gz # absent where this machine leaves man pages out
[[ -e $page ]] && man -P cat comutel >"$work/man" 2>&1 ||
    man -l "$work/root/$page" >"$work/man" 2>&1
grep -q '^SINOPSE' "$work/man" && grep -q 'adduser' "$work/man" || fail "man comutel"
# The first word offers everything, the words after it nothing: they go to the board as typed.
words=$(bash -c '. /usr/share/bash-completion/completions/comutel
    COMP_WORDS=(comutel ""); COMP_CWORD=1; _comutel; first=${COMPREPLY[*]}
    COMP_WORDS=(comutel E ""); COMP_CWORD=2; _comutel; echo "$first|${COMPREPLY[*]}"')
[[ $words == "1 2 3 4 5 6 7 8 E R --help --version --ports|" ]] || fail "completação: $words"

check "purge"
apt-get purge -y -qq comutel >/dev/null 2>&1 || fail "apt-get purge"
for path in /usr/lib/comutel /var/lib/comutel /usr/bin/comutel; do
    [[ ! -e $path && ! -L $path ]] || fail "$path ficou"
done
[[ $(dpkg-query -W -f='${db:Status-Status}' comutel 2>/dev/null) =~ ^(not-installed)?$ ]] ||
    fail "dpkg ainda o tem"

check ""
echo "pacote: $passed passed, 0 failed"
