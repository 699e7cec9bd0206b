#!/usr/bin/env bash
# Builds comutel's Debian package from this tree and writes it into OUT_DIR (default: the
# current folder); its path is the only line on standard output. Installs what building needs
# (root or sudo). Works in a clone and in a tree unpacked from an archive (no git there).
#
#   tools/build-deb.sh [--with-source] [OUT_DIR]
#
# --with-source: the source package as well, and the .changes that names it and the package,
# which lintian, autopkgtest and piuparts take; its path is a second line.
#
# dpkg-buildpackage builds in the tree it is given and writes beside it, so it gets a scratch
# copy of the tracked and new files: the tree itself, a fresh clone above all, stays clean.
set -euo pipefail

parts=(-b)
[[ ${1-} != --with-source ]] || { parts=() && shift; }
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
# Without git or a clone, every file but those .gitignore names (the same patterns).
files()
{
    if [[ -e $source_tree/.git ]] && command -v git >/dev/null; then
        git -C "$source_tree" ls-files -z --cached --others --exclude-standard
    else
        (cd "$source_tree" && find . \( -path './build*' -o -path './comutel_*' -o -name '*.user' \
            -o -name .git \) -prune -o \( -type f -o -type l \) -print0)
    fi
}
files | (cd "$source_tree" && while IFS= read -r -d '' f; do
        [[ -e $f || -L $f ]] && printf '%s\0' "$f"
    done) |
    tar -C "$source_tree" --null -T - -cf - | tar -C "$copy" -xf -

(cd "$copy" && dpkg-buildpackage -us -uc "${parts[@]}" -J"$(nproc)") >&2 ||
    fail "dpkg-buildpackage falhou (mensagens acima)"
debs=("$scratch"/comutel_*.deb)
[ -f "${debs[0]}" ] || fail "dpkg-buildpackage não deixou comutel_*.deb"
if [ ${#parts[@]} -gt 0 ]; then
    cp -- "${debs[0]}" "$out/"
    echo "$out/${debs[0]##*/}"
else
    # The source package, the debug symbols, .buildinfo and .changes as well.
    cp -- "$scratch"/comutel*_* "$out/"
    changes=${debs[0]%.deb}.changes
    printf '%s\n' "$out/${debs[0]##*/}" "$out/${changes##*/}"
fi
