#!/usr/bin/env bash
# Builds everything below the windows for 64-bit Windows (mingw-w64, preset "windows") and runs
# its tests under Wine, in a fresh Wine prefix whose COM ports lead to virtual meters:
#   COM1  meter 05 on the bus and meter 07 under the optical head, with a request log
#   COM2  meter 05 that drops the line on the first request (a pulled USB adapter)
#   COM3  meter 05 on a timed line with a clock 2.3456 s ahead, with a request log
#   COM9  missing (checked before the tests run)
# Every other COM port stays unused: Wine maps the host's real serial ports to the next free
# numbers, and the tests open only the ports named above.
# Usage: scripts/test-windows.sh        (installs what is missing; root or sudo)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
start=$(date +%s)
jobs=$(( $(nproc) < 2 ? $(nproc) : 2 ))

scripts/install-deps.sh g++-mingw-w64-x86-64-posix wine wine64

echo "== Windows build (preset windows)"
cmake --preset windows
cmake --build --preset windows --parallel "$jobs"

echo "== Virtual meter (native build)"
host_dir="$root/build/win-host-tools"
cmake -S "$root" -B "$host_dir" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
    -DKESTRO_BUILD_UI=OFF -DKESTRO_BUILD_TESTS=OFF -DKESTRO_BUILD_BENCH=OFF -DKESTRO_BUILD_TOOLS=ON
cmake --build "$host_dir" --target kestro-virtual-meter --parallel "$jobs"
meter_exe="$host_dir/tools/virtual_meter/kestro-virtual-meter"

work=$(mktemp -d "${TMPDIR:-/tmp}/kestro-wine.XXXXXX")
export WINEPREFIX="$work/prefix"
export WINEARCH=win64
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY

meter_pids=()
cleanup() {
    # Wine first: with the pseudo-terminals closed under it, it floods stderr.
    if [ -d "$WINEPREFIX" ]; then
        wineserver -k >/dev/null 2>&1 || true
        wineserver -w >/dev/null 2>&1 || true
    fi
    for pid in "${meter_pids[@]}"; do
        kill -TERM "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    rm -rf "$work"
}
trap cleanup EXIT

echo "== Wine prefix in $work"
boot_start=$(date +%s%N)
if ! wineboot -i >"$work/wineboot.out" 2>&1; then
    cat "$work/wineboot.out" >&2
    exit 1
fi
echo "wineboot took $(( ($(date +%s%N) - boot_start) / 1000000 )) ms"

start_meter() { # link log args...
    local link=$1 log=$2
    shift 2
    "$meter_exe" --link "$link" "$@" >"$log" 2>&1 &
    meter_pids+=("$!")
    for _ in $(seq 100); do
        [ -e "$link" ] && return 0
        sleep 0.05
    done
    echo "test-windows: the virtual meter did not come up:" >&2
    cat "$log" >&2
    exit 1
}
start_meter "$work/com1" "$work/meter1.out" --meter 5 --optohead 7 --log "$work/meter1.log"
start_meter "$work/com2" "$work/meter2.out" --meter 5 --fault drop-line
start_meter "$work/com3" "$work/meter3.out" --meter 5 --pace --turnaround 2 --turnaround-max 20 \
    --clock-offset 2345.6 --drift 20 --log "$work/meter3.log"

# The port map lives in the registry; Wine applies it to dosdevices when it starts, so it is
# written, Wine is stopped, and the links are checked after the next start.
cat >"$work/ports.reg" <<REG
REGEDIT4

[HKEY_LOCAL_MACHINE\\Software\\Wine\\Ports]
"COM1"="$work/com1"
"COM2"="$work/com2"
"COM3"="$work/com3"
REG
wine reg import "$(echo "Z:$work/ports.reg" | tr / '\\')" >/dev/null 2>&1
wineserver -k || true
wineserver -w
wineserver -p
wine cmd /c exit >/dev/null 2>&1
for n in 1 2 3; do
    got=$(readlink "$WINEPREFIX/dosdevices/com$n" || true)
    if [ "$got" != "$work/com$n" ]; then
        echo "test-windows: COM$n leads to '$got', not to its virtual meter; no tests run" >&2
        exit 1
    fi
done
# COM9 must be missing, not a real port: the missing-port test runs only when it is.
if [ ! -e "$WINEPREFIX/dosdevices/com9" ] && [ ! -L "$WINEPREFIX/dosdevices/com9" ]; then
    export KESTRO_WIN_TEST_MISSING_COM=9
else
    echo "test-windows: COM9 exists on this host; the missing-port test will skip"
fi

echo "== Tests under Wine ($(( $(date +%s) - start )) s so far)"
export KESTRO_WIN_TEST_COM=1
export KESTRO_WIN_TEST_METER_LOG
KESTRO_WIN_TEST_METER_LOG=$(echo "Z:$work/meter1.log" | tr / '\\')
export KESTRO_WIN_TEST_DROP_COM=2
export KESTRO_WIN_TEST_CLOCK_COM=3
export KESTRO_WIN_TEST_CLOCK_LOG
KESTRO_WIN_TEST_CLOCK_LOG=$(echo "Z:$work/meter3.log" | tr / '\\')
status=0
ctest --preset windows --parallel "$jobs" || status=$?

echo "== Windows build and tests took $(( $(date +%s) - start )) s"
exit "$status"
