#!/usr/bin/env bash
# Builds Comutel.exe twice from the one source with MinGW-w64, 32-bit (x86: runs on every
# Windows PC) and 64-bit (x64: 64-bit Windows only), static and stripped (each imports system
# DLLs only), and packs comutel-VERSION-windows-x86.zip and comutel-VERSION-windows-x64.zip, each
# with its Comutel.exe, LEIAME.txt and LICENSE, into OUT_DIR (default: the current folder).
# Prints both zips' paths, one a line, the x64 one last. The clone is left as it was: everything
# is built in a temporary folder.
#   tools/build-windows.sh [OUT_DIR]
set -euo pipefail
source_dir=$(cd "$(dirname "$0")/.." && pwd)
out_dir=$(mkdir -p "${1:-.}" && cd "${1:-.}" && pwd)

# The cross compilers (posix threads: GCC 12's win32 flavour has no std::thread), and the tools
# that draw the logo's bitmaps from its SVG.
windows_build_packages=(g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix librsvg2-bin
    imagemagick)
"$source_dir/tools/install-deps.sh" "${windows_build_packages[@]}" zip

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
version=$(sed -n 's/^project(comutel VERSION \([0-9.]*\).*/\1/p' "$source_dir/CMakeLists.txt")
# CR LF, as Notepad expects, and a UTF-8 mark so that any Notepad shows the accents.
texts=$work/texts
mkdir -p "$texts"
{ printf '\357\273\277'; sed 's/$/\r/' "$source_dir/win32/LEIAME.txt"; } >"$texts/LEIAME.txt"
sed 's/$/\r/' "$source_dir/LICENSE" >"$texts/LICENSE"

for arch in x86 x64; do
    # The presets' build without its tests; a newer compiler's new warnings do not stop it.
    (cd "$source_dir" && cmake --preset "windows-$arch" -B "$work/$arch" -DBUILD_TESTING=OFF \
        -DCMAKE_COMPILE_WARNING_AS_ERROR=OFF >/dev/null)
    cmake --build "$work/$arch" -j2 --target Comutel >/dev/null

    # The files at the zip's top: Windows' "Extrair tudo" already makes a folder named after it.
    package=$work/package-$arch
    mkdir -p "$package"
    cp "$work/$arch/win32/Comutel.exe" "$texts/LEIAME.txt" "$texts/LICENSE" "$package/"
    zip_path=$out_dir/comutel-$version-windows-$arch.zip
    rm -f "$zip_path"
    (cd "$package" && zip -q -X "$zip_path" Comutel.exe LEIAME.txt LICENSE)
    echo "$zip_path"
done
