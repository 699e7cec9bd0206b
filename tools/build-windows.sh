#!/usr/bin/env bash
# Builds Comutel.exe (64-bit, static, stripped: it imports system DLLs only) with MinGW-w64 and
# packs comutel-VERSION-windows-x64.zip with it, LEIAME.txt and LICENSE into OUT_DIR (default:
# the current folder). Prints the zip's path last. The clone is left as it was: everything is
# built in a temporary folder.
#   tools/build-windows.sh [OUT_DIR]
set -euo pipefail
source_dir=$(cd "$(dirname "$0")/.." && pwd)
out_dir=$(mkdir -p "${1:-.}" && cd "${1:-.}" && pwd)

# The cross compiler (posix threads: GCC 12's win32 flavour has no std::thread), and the tools
# that draw the logo's bitmaps from its SVG.
windows_build_packages=(g++-mingw-w64-x86-64-posix librsvg2-bin imagemagick)
"$source_dir/tools/install-deps.sh" "${windows_build_packages[@]}" zip

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cmake -S "$source_dir" -B "$work/build" -DCMAKE_TOOLCHAIN_FILE="$source_dir/win32/mingw-w64.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF >/dev/null
cmake --build "$work/build" -j2 --target Comutel >/dev/null

version=$(sed -n 's/^project(comutel VERSION \([0-9.]*\).*/\1/p' "$source_dir/CMakeLists.txt")
# The files at the zip's top: Windows' "Extrair tudo" already makes a folder named after it.
package=$work/package
mkdir -p "$package"
cp "$work/build/win32/Comutel.exe" "$package/"
# CR LF, as Notepad expects, and a UTF-8 mark so that any Notepad shows the accents.
{ printf '\357\273\277'; sed 's/$/\r/' "$source_dir/win32/LEIAME.txt"; } >"$package/LEIAME.txt"
sed 's/$/\r/' "$source_dir/LICENSE" >"$package/LICENSE"

zip_path=$out_dir/comutel-$version-windows-x64.zip
rm -f "$zip_path"
(cd "$package" && zip -q -X "$zip_path" Comutel.exe LEIAME.txt LICENSE)
echo "$zip_path"
