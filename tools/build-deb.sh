#!/usr/bin/env bash
# Builds comutel's Debian package from this tree and writes it into OUT_DIR (default: the
# current folder); the package's path is the last line printed, and the only one on standard
# output. Installs what building needs (root or sudo).
#
#   tools/build-deb.sh [OUT_DIR]
#
# dpkg-buildpackage builds in the tree it is given and writes beside it, so it gets a scratch
# copy of the tracked and new files: the tree itself, a fresh clone above all, stays clean.
set -euo pipefail

out=$(realpath -m -- "${1:-.}")
source_tree=$(cd "$(dirname "$0")/.." && pwd)

fail()
{
    echo "build-deb: $*" >&2
    exit 1
}

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
if ! dpkg-query -W -f='${Status}' dpkg-dev 2>/dev/null | grep -q 'install ok installed'; then
    $sudo apt-get update -qq
    $sudo apt-get install -y -qq --no-install-recommends dpkg-dev >&2
    updated=1
fi
if ! (cd "$source_tree" && dpkg-checkbuilddeps) 2>/dev/null; then
    [ -n "${updated-}" ] || $sudo apt-get update -qq
    $sudo apt-get build-dep -y -qq --no-install-recommends "$source_tree" >&2
fi

mkdir -p -- "$out" || fail "não foi possível criar $out"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
copy=$scratch/comutel-$(cd "$source_tree" && dpkg-parsechangelog -S Version)
mkdir "$copy"
# Tracked files as they are now, and new ones git does not ignore; deleted ones are skipped.
git -C "$source_tree" ls-files -z --cached --others --exclude-standard |
    (cd "$source_tree" && while IFS= read -r -d '' f; do
        [[ -e $f || -L $f ]] && printf '%s\0' "$f"
    done) |
    tar -C "$source_tree" --null -T - -cf - | tar -C "$copy" -xf -

(cd "$copy" && dpkg-buildpackage -us -uc -b -J"$(nproc)") >&2 ||
    fail "dpkg-buildpackage falhou (mensagens acima)"
debs=("$scratch"/comutel_*.deb)
[ -f "${debs[0]}" ] || fail "dpkg-buildpackage não deixou comutel_*.deb"
cp -- "${debs[0]}" "$out/"
echo "$out/${debs[0]##*/}"
