#!/usr/bin/env bash
# Builds the Windows programs (Kestro4SetClock.exe, the window, and kestro.exe, preset
# "windows": optimised, static; the tested build) and packs them, stripped, twice:
#   build/package-windows/KestroSetup-<version>-setup.exe     the installer (NSIS)
#   build/package-windows/KestroSetup-<version>-portable.zip  the programs to run from anywhere
# Usage: scripts/package-windows.sh        (installs what is missing; root or sudo)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
jobs=$(( $(nproc) < 2 ? $(nproc) : 2 ))

scripts/install-deps.sh g++-mingw-w64-x86-64-posix nsis zip librsvg2-bin icoutils

cmake --preset windows >/dev/null
cmake --build --preset windows --parallel "$jobs" --target Kestro4SetClock kestro

build="$root/build/windows"
version=$(sed -n 's/^#define KESTRO_VERSION "\(.*\)"$/\1/p' "$build/generated/app/Version.h")
out="$root/build/package-windows"
stage="$out/KestroSetup-$version"
rm -rf "$out"
mkdir -p "$stage"
for exe in winui/Kestro4SetClock.exe cli/kestro.exe; do
    x86_64-w64-mingw32-strip -o "$stage/$(basename "$exe")" "$build/$exe"
done
# The programs may need no DLL beside them: only Windows' own.
for exe in "$stage"/*.exe; do
    foreign=$(x86_64-w64-mingw32-objdump -p "$exe" | sed -n 's/^\s*DLL Name: //p' |
        grep -viE '^(kernel32|user32|gdi32|comctl32|advapi32|ws2_32|winmm|msvcrt|shell32|ole32|api-ms-win-.*)\.dll$' || true)
    if [ -n "$foreign" ]; then
        echo "package-windows: $(basename "$exe") needs DLLs Windows does not have: $foreign" >&2
        exit 1
    fi
done
sed "s/@VERSION@/$version/" packaging/windows/README-portable.txt | sed 's/$/\r/' \
    >"$stage/README.txt"

size_kb=$(( ( $(stat -c %s "$stage/Kestro4SetClock.exe") + $(stat -c %s "$stage/kestro.exe") ) / 1024 ))
makensis -V2 -DVERSION="$version" -DSTAGE="$stage" -DSIZE_KB="$size_kb" \
    -DICON="$build/winui/icons/kestro-setup.ico" \
    -DOUTFILE="$out/KestroSetup-$version-setup.exe" packaging/windows/KestroSetup.nsi
(cd "$out" && zip -q -9 -r "KestroSetup-$version-portable.zip" "KestroSetup-$version")
ls -l "$out"
