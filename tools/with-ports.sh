#!/usr/bin/env bash
# Runs a command with the serial ports a case asks for and no others, without touching the
# machine's own /dev: the command gets a private mount namespace whose /dev holds only those
# ports (links, usually to pseudo-terminals) and the few devices every program needs.
#
#   with-ports.sh [--locks DIR] [COMn=PATH | NAME=PATH ...] -- COMMAND [ARGS...]
#
# COM1..COM4 become ttyS0..ttyS3. COM5 and up become ttyUSB0 and up, so COMn (n >= 5) needs
# COM5..COMn-1 as well, as it would on a real machine. NAME=PATH names the device itself
# (ttyACM0=PATH, ttyUSB3=PATH). The serial lock folder (/run/lock) is private too: empty, or
# DIR with --locks, where a case can leave a lock of "another program". So is the package's turn
# lock folder, /run/comutel, where there is one.
#
# Exit status: the command's own; 2 for a usage error; 77 when a private /dev cannot be made
# here (it takes root, or unprivileged user namespaces), with the reason on standard error.
set -euo pipefail

readonly kUsageError=2
readonly kNotPossible=77

usage()
{
    echo "with-ports: $*" >&2
    echo "uso: with-ports.sh [--locks PASTA] [COMn=CAMINHO | NOME=CAMINHO ...] -- COMANDO [ARGS...]" >&2
    exit "$kUsageError"
}

not_possible()
{
    # Inside the namespace the old /dev may be parked in a folder of the machine's /tmp.
    [[ -z ${old-} ]] || { umount --lazy "$old" && rmdir "$old"; } 2>/dev/null || true
    echo "with-ports: não é possível criar um /dev próprio aqui: $*" >&2
    exit "$kNotPossible"
}

# Inside the new namespace. The old /dev is kept aside until the new one is built, so that its
# devices can be bound from there; moving a prepared /dev into place instead is refused in a
# user namespace.
inside()
{
    local locks=$1
    shift
    local links=()
    while [[ $1 != -- ]]; do
        links+=("$1")
        shift
    done
    shift

    mount --make-rprivate / || not_possible "mount --make-rprivate falhou"
    local old
    old=$(mktemp -d /tmp/with-ports.XXXXXX) || not_possible "mktemp falhou"
    mount --rbind /dev "$old" || not_possible "não foi possível guardar o /dev"
    mount -t tmpfs -o mode=0755,size=1m with-ports /dev || not_possible "tmpfs em /dev falhou"
    local dev
    for dev in null zero full random urandom tty ptmx; do
        : >"/dev/$dev"
        mount --bind "$old/$dev" "/dev/$dev" || not_possible "não foi possível ligar /dev/$dev"
    done
    mkdir /dev/pts /dev/shm
    # The machine's own devpts: pseudo-terminals made outside keep their paths inside.
    mount --rbind "$old/pts" /dev/pts || not_possible "não foi possível ligar /dev/pts"
    [[ ! -d $old/shm ]] || mount --rbind "$old/shm" /dev/shm
    ln -s /proc/self/fd /dev/fd
    ln -s /proc/self/fd/0 /dev/stdin
    ln -s /proc/self/fd/1 /dev/stdout
    ln -s /proc/self/fd/2 /dev/stderr
    local link name target
    for link in "${links[@]}"; do
        name=${link%%=*}
        target=${link#*=}
        # A real device of the machine's /dev (say /dev/ttyUSB3) is bound, as a link to it
        # would lead nowhere now; anything else, pseudo-terminals included, is linked.
        if [[ $target == /dev/* && $target != /dev/pts/* && -e $old/${target#/dev/} ]]; then
            : >"/dev/$name"
            mount --bind "$old/${target#/dev/}" "/dev/$name"
        else
            ln -s "$target" "/dev/$name"
        fi
    done
    umount --lazy "$old" && rmdir "$old"

    # Serial ports are locked with files there; the machine's must neither block nor see ours.
    if [[ -d /var/lock ]]; then
        local lockFolder
        lockFolder=$(readlink -f /var/lock)
        if [[ -n $locks ]]; then
            mount --bind "$locks" "$lockFolder" || not_possible "não foi possível ligar $locks"
        else
            mount -t tmpfs -o mode=1777,size=1m with-ports-locks "$lockFolder" ||
                not_possible "tmpfs em $lockFolder falhou"
        fi
    fi
    # The package keeps the board's turn lock in a folder of its own: private as well, and shared
    # through DIR like the lock files.
    if [[ -d /run/comutel ]]; then
        if [[ -n $locks ]]; then
            mount --bind "$locks" /run/comutel || not_possible "não foi possível ligar $locks"
        else
            mount -t tmpfs -o mode=0755,size=1m with-ports-turn /run/comutel ||
                not_possible "tmpfs em /run/comutel falhou"
        fi
    fi
    exec "$@"
}

if [[ ${1-} == --in-namespace ]]; then
    shift
    inside "$@"
fi

locks=""
links=()
declare -A named=()
declare -A usbNumbers=()
add_link()
{
    local name=$1 path=$2
    [[ -n $path ]] || usage "$name sem caminho"
    [[ -z ${named[$name]-} ]] || usage "$name dado duas vezes"
    named[$name]=1
    [[ $path == /* ]] || path=$PWD/$path
    links+=("$name=$path")
}

while (($#)); do
    case $1 in
    --)
        shift
        break
        ;;
    -h | --help)
        cat <<'HELP'
uso: with-ports.sh [--locks PASTA] [COMn=CAMINHO | NOME=CAMINHO ...] -- COMANDO [ARGS...]
Roda COMANDO num /dev próprio que só tem as portas dadas (e null, tty, pts...).
COM1..COM4 são ttyS0..ttyS3; COM5 em diante são ttyUSB0 em diante, sem faltas.
NOME=CAMINHO dá o nome do dispositivo (ttyACM0=...). --locks: pasta de travas das portas.
Saída: a do COMANDO; 2 uso errado; 77 não é possível aqui (precisa de root ou user namespaces).
HELP
        exit 0
        ;;
    --locks)
        (($# >= 2)) || usage "--locks sem pasta"
        [[ -d $2 ]] || usage "$2 não é uma pasta"
        locks=$(realpath -- "$2")
        shift 2
        ;;
    COM*=*)
        number=${1%%=*}
        number=${number#COM}
        [[ $number =~ ^[1-9][0-9]*$ ]] || usage "número de porta inválido: ${1%%=*}"
        if ((number <= 4)); then
            add_link "ttyS$((number - 1))" "${1#*=}"
        else
            usbNumbers[$number]=1
            add_link "ttyUSB$((number - 5))" "${1#*=}"
        fi
        shift
        ;;
    *=*)
        name=${1%%=*}
        [[ $name =~ ^[A-Za-z][A-Za-z0-9_]*$ ]] || usage "nome de dispositivo inválido: $name"
        case $name in
        null | zero | full | random | urandom | tty | ptmx | pts | shm | fd | stdin | stdout | stderr)
            usage "$name já faz parte do /dev" ;;
        esac
        add_link "$name" "${1#*=}"
        shift
        ;;
    *)
        usage "argumento inesperado: $1"
        ;;
    esac
done
(($#)) || usage "falta o comando"
for number in "${!usbNumbers[@]}"; do
    for ((n = 5; n < number; ++n)); do
        [[ -n ${usbNumbers[$n]-} ]] ||
            usage "COM$number precisa de COM$n: o programa conta os adaptadores USB até a primeira falta (use ttyUSB$((number - 5))=... para criar a falta)"
    done
done

command -v unshare >/dev/null || not_possible "falta o programa unshare (pacote util-linux)"
if (($(id -u) == 0)); then
    namespace=(unshare --mount)
else
    namespace=(unshare --mount --user --map-root-user)
fi
# Tried once on its own, so that a refusal is told apart from the command's own failures.
if ! reason=$("${namespace[@]}" -- true 2>&1); then
    not_possible "${reason:-${namespace[*]} recusado} (é preciso ser root ou ter user namespaces)"
fi
exec "${namespace[@]}" -- "$BASH" "${BASH_SOURCE[0]}" --in-namespace "$locks" "${links[@]}" -- "$@"
