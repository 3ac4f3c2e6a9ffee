#!/usr/bin/env bash
# Takes the README's picture of the native Windows window, docs/main-window-windows.png: the
# window under Wine and Xvfb, after reading the clock of the virtual meter under the optical
# head on COM1.
# Usage: scripts/screenshot-windows.sh        (installs what is missing; root or sudo)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
jobs=$(( $(nproc) < 2 ? $(nproc) : 2 ))

scripts/install-deps.sh g++-mingw-w64-x86-64-posix wine wine64 fonts-wine librsvg2-bin icoutils
cmake --preset windows >/dev/null
cmake --build --preset windows --parallel "$jobs" --target Kestro4SetClock kestro-window-remote
host_dir="$root/build/win-host-tools"
cmake -S "$root" -B "$host_dir" -G Ninja -DCMAKE_BUILD_TYPE=Debug >/dev/null \
    -DKESTRO_BUILD_UI=OFF -DKESTRO_BUILD_TESTS=OFF -DKESTRO_BUILD_BENCH=OFF -DKESTRO_BUILD_TOOLS=ON
cmake --build "$host_dir" --target kestro-virtual-meter --parallel "$jobs"

work=$(mktemp -d "${TMPDIR:-/tmp}/kestro-shot.XXXXXX")
export WINEPREFIX="$work/prefix" WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
pids=()
cleanup() {
    wineserver -k >/dev/null 2>&1 || true
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    rm -rf "$work"
}
trap cleanup EXIT
Xvfb -displayfd 3 -nolisten tcp -screen 0 1024x768x24 3>"$work/display" >/dev/null 2>&1 &
pids+=("$!")
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.05; done
export DISPLAY=":$(cat "$work/display")"
wineboot -i >/dev/null 2>&1
cp /usr/share/wine/fonts/tahoma*.ttf "$WINEPREFIX/drive_c/windows/Fonts/"
"$host_dir/tools/virtual_meter/kestro-virtual-meter" --link "$work/com1" --optohead 7 --meter 5 \
    --pace >/dev/null 2>&1 &
pids+=("$!")
for _ in $(seq 100); do [ -e "$work/com1" ] && break; sleep 0.05; done
wine reg add 'HKLM\Software\Wine\Ports' /v COM1 /t REG_SZ /d "$work/com1" /f >/dev/null 2>&1
wineserver -k || true
wineserver -w
wine cmd /c exit >/dev/null 2>&1
if [ "$(readlink "$WINEPREFIX/dosdevices/com1" || true)" != "$work/com1" ]; then
    echo "screenshot-windows: COM1 does not lead to the virtual meter" >&2
    exit 1
fi

mkdir "$work/app"
cp build/windows/winui/Kestro4SetClock.exe "$work/app/"
wine "Z:$work/app/Kestro4SetClock.exe" >/dev/null 2>&1 &
# Read date time (command 1005), then the picture.
wine build/windows/tests/win/window/kestro-window-remote.exe --wait 500 --command 1005 \
    --wait 4000 --capture "$(echo "Z:$work/shot.bmp" | tr / '\\')" --close
python3 - "$work/shot.bmp" docs/main-window-windows.png <<'PY'
# A top-down 32-bit BMP to an RGB PNG, with the standard library only.
import struct, sys, zlib
data = open(sys.argv[1], "rb").read()
offset = struct.unpack_from("<I", data, 10)[0]
width, height = struct.unpack_from("<ii", data, 18)
height = abs(height)
rows = bytearray()
for y in range(height):
    row = data[offset + y * width * 4: offset + (y + 1) * width * 4]
    rows.append(0)
    for x in range(width):
        b, g, r = row[4 * x: 4 * x + 3]
        rows += bytes((r, g, b))
def chunk(kind, body):
    return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))
png = (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
       + chunk(b"IDAT", zlib.compress(bytes(rows), 9)) + chunk(b"IEND", b""))
open(sys.argv[2], "wb").write(png)
PY
echo "screenshot-windows: wrote docs/main-window-windows.png"
