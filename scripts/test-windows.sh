#!/usr/bin/env bash
# Builds everything below the windows for 64-bit Windows (mingw-w64, preset "windows") and runs
# its tests under Wine, in a fresh Wine prefix whose COM ports lead to virtual meters:
#   COM1  meter 05 on the bus and meter 07 under the optical head, with a request log
#   COM2  meter 05 that drops the line on the first request (a pulled USB adapter)
#   COM3  meter 05 on a timed line with a clock 2.3456 s ahead, with a request log
#   COM4  meter 05 whose every reply is an error reply (error D)
#   COM5  meter 05 that drops the line on the first request, for the window
#   COM9  missing (checked before the tests run)
# and virtual meters served over TCP on loopback, which the tests reach through Winsock:
#   RFC 2217  meter 05 on the bus and meter 07 under the optical head, with a request log
#   RFC 2217  the same behind a proxy that makes the round trip about 200 ms (+-20 %)
#   raw TCP   meter 05 that drops the line on the first request
# Every other COM port stays unused: Wine maps the host's real serial ports to the next free
# numbers, and the tests open only the ports named above. The window's tests run in-process
# under Xvfb (a window needs a display); the other tests run without one.
# Usage: scripts/test-windows.sh        (installs what is missing; root or sudo)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
start=$(date +%s)
jobs=$(( $(nproc) < 2 ? $(nproc) : 2 ))

# fonts-wine brings Tahoma (the window's face); librsvg2-bin and icoutils render its icons.
scripts/install-deps.sh g++-mingw-w64-x86-64-posix wine wine64 fonts-wine librsvg2-bin icoutils

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
# Debian's Wine finds its own fonts only in the prefix.
cp /usr/share/wine/fonts/tahoma*.ttf "$WINEPREFIX/drive_c/windows/Fonts/"

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
start_meter "$work/com4" "$work/meter4.out" --meter 5 --fault error-d
start_meter "$work/com5" "$work/meter5.out" --meter 5 --fault drop-line

serve_meter() { # out args...: sets served_port to the TCP port the meter serves on
    local out=$1
    shift
    "$meter_exe" --listen 127.0.0.1:0 "$@" >"$out" 2>&1 &
    meter_pids+=("$!")
    for _ in $(seq 100); do
        served_port=$(sed -n 's/^Serving the line on TCP port \([0-9]*\).*/\1/p' "$out")
        [ -n "$served_port" ] && return 0
        sleep 0.05
    done
    echo "test-windows: the virtual meter's TCP server did not come up:" >&2
    cat "$out" >&2
    exit 1
}
serve_meter "$work/net1.out" --rfc2217 --meter 5 --optohead 7 --log "$work/net1.log"
rfc2217_port=$served_port
serve_meter "$work/net2.out" --meter 5 --fault drop-line
raw_port=$served_port
serve_meter "$work/net3.out" --rfc2217 --meter 5 --optohead 7 --log "$work/net3.log"
/usr/bin/python3 tests/support/delay_proxy.py --target "127.0.0.1:$served_port" --delay 100 \
    --jitter 0.2 >"$work/proxy.out" 2>&1 &
meter_pids+=("$!")
slow_port=""
for _ in $(seq 100); do
    slow_port=$(sed -n 's/^Listening on \([0-9]*\)$/\1/p' "$work/proxy.out")
    [ -n "$slow_port" ] && break
    sleep 0.05
done
if [ -z "$slow_port" ]; then
    echo "test-windows: the delaying proxy did not come up:" >&2
    cat "$work/proxy.out" >&2
    exit 1
fi

# The port map lives in the registry; Wine applies it to dosdevices when it starts, so it is
# written, Wine is stopped, and the links are checked after the next start.
# The windows are unmanaged: without a window manager Wine waits 2 s for each managed window
# to go.
cat >"$work/ports.reg" <<REG
REGEDIT4

[HKEY_LOCAL_MACHINE\\Software\\Wine\\Ports]
"COM1"="$work/com1"
"COM2"="$work/com2"
"COM3"="$work/com3"
"COM4"="$work/com4"
"COM5"="$work/com5"

[HKEY_CURRENT_USER\\Software\\Wine\\X11 Driver]
"Managed"="N"
REG
wine reg import "$(echo "Z:$work/ports.reg" | tr / '\\')" >/dev/null 2>&1
wineserver -k || true
wineserver -w
wineserver -p
wine cmd /c exit >/dev/null 2>&1
for n in 1 2 3 4 5; do
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
export KESTRO_WIN_TEST_RFC2217="rfc2217://127.0.0.1:$rfc2217_port"
export KESTRO_WIN_TEST_RFC2217_LOG
KESTRO_WIN_TEST_RFC2217_LOG=$(echo "Z:$work/net1.log" | tr / '\\')
export KESTRO_WIN_TEST_RFC2217_SLOW="rfc2217://127.0.0.1:$slow_port"
export KESTRO_WIN_TEST_RFC2217_SLOW_LOG
KESTRO_WIN_TEST_RFC2217_SLOW_LOG=$(echo "Z:$work/net3.log" | tr / '\\')
export KESTRO_WIN_TEST_RAW_DROP="socket://127.0.0.1:$raw_port"
export KESTRO_WIN_TEST_CLOCK_COM=3
export KESTRO_WIN_TEST_CLOCK_LOG
KESTRO_WIN_TEST_CLOCK_LOG=$(echo "Z:$work/meter3.log" | tr / '\\')
export KESTRO_WIN_TEST_ERROR_COM=4
export KESTRO_WIN_TEST_LOST_COM=5
status=0
ctest --preset windows --parallel "$jobs" --label-exclude window || status=$?

echo "== The window's tests under Wine and Xvfb ($(( $(date +%s) - start )) s so far)"
# The test preset hides the display; these tests need one, so ctest runs them without it. Wine
# starts anew under the display: the desktop of a Wine started without one has no windows.
wineserver -k || true
wineserver -w
export KESTRO_WIN_TEST_REQUIRE_WINDOW=1
xvfb-run -a -s "-screen 0 1280x1024x24 -nolisten tcp" bash -c \
    'ctest --test-dir build/windows --label-regex window --verbose --timeout 300;
     status=$?; wineserver -k; wineserver -w; exit $status' || status=$?
unset KESTRO_WIN_TEST_REQUIRE_WINDOW
wineserver -p

echo "== kestro.exe under Wine"
kestro_exe="$root/build/windows/cli/kestro.exe"
kestro_failures=0
# kestro_case NAME EXPECTED-STATUS PATTERN ARGS...: runs kestro.exe (no settings file beside it:
# COM1, 9600 baud, 200 ms) and checks its exit status and that PATTERN (an extended regular
# expression) matches the whole of its standard output and error, CRs removed.
kestro_case() {
    local name=$1 expected=$2 pattern=$3
    shift 3
    local got=0
    wine "$kestro_exe" "$@" >"$work/kestro.out" 2>"$work/kestro.err" || got=$?
    local text
    text=$(cat "$work/kestro.out" "$work/kestro.err" | tr -d '\r')
    if [ "$got" -ne "$expected" ] || ! [[ $text =~ $pattern ]]; then
        echo "kestro FAILED: $name (status $got, expected $expected; pattern $pattern)" >&2
        echo "$text" >&2
        kestro_failures=$((kestro_failures + 1))
    else
        echo "kestro ok: $name"
    fi
}
nl=$'\n'
kestro_case version 0 '^kestro [0-9]+\.[0-9]+\.[0-9]+$' --version
kestro_case help 0 '--optohead' read --help
kestro_case ports 0 '' ports
# Without a settings file and without --port, standard error names the port taken.
default_port="kestro: no settings file; taking the default port COM1"
pm='(±|\+-)'
kestro_case "echo, one address absent" 1 \
    "^Port COM1, 9600 baud${nl}04  FAILED  \\[Kestro #04\\] Timeout${nl}05  OK      Echo from meter #05 returned\$" \
    echo --addr 4-5 --port COM1
kestro_case "read as JSON" 0 \
    '^\{"schema":1,"command":"read","port":"COM1","device":"[^"]+","baud":9600,"address":5,"optohead":false,"success":true,"error":null,"answered":null,"meter_time":"[0-9T:-]+[-+][0-9]{2}:[0-9]{2}","pc_time":"[0-9T:.-]+[-+][0-9]{2}:[0-9]{2}","offset_ms":-?[0-9]+,"uncertainty_ms":[0-9]+,"reads":null,"widened_reads":null,"message":null,"elapsed_ms":[0-9]+\}'"${nl}${default_port}, 9600 baud\$" \
    read --addr 5 --json
kestro_case "optical head" 0 \
    "^Port COM1, 300 baud \\(optical head\\)${nl}optohead  OK      Echo from meter #07 returned${nl}${default_port}, 300 baud\$" \
    echo --optohead
kestro_case "optical head over RFC 2217 at a 200 ms round trip" 0 \
    "^Port rfc2217://127\\.0\\.0\\.1:$slow_port, 300 baud \\(optical head\\)${nl}optohead  OK      Echo from meter #07 returned\$" \
    echo --optohead --port "rfc2217://127.0.0.1:$slow_port"
kestro_case write 0 \
    "^Port COM1, 9600 baud${nl}05  OK      set to 01\\.02\\.2025 12:00:00${nl}${default_port}, 9600 baud\$" \
    write --addr 5 --time 12:00:00 --date 01.02.2025
kestro_case sync 0 \
    "^Port COM1, 9600 baud${nl}05  OK      set to .* before .* $pm [0-9]+ ms  after +[+-][0-9]+ ms $pm " \
    sync --addr 5
# COM3's meter is on a timed line (the clock tests have set its clock by now).
kestro_case offset 0 \
    "^Port COM3, 9600 baud${nl}05  OK      offset +[+-][0-9]+ ms $pm [0-9]+ ms  \\([0-9]+ reads\\)\$" \
    offset --addr 5 --port COM3
kestro_case "scan finds meter 05 only" 0 \
    '^\{"schema":1,"command":"scan","port":"COM1",[^}]*"address":5,[^}]*\}'"${nl}${default_port}, 9600 baud\$" \
    scan --from 3 --to 8 --timeout 100 --json
kestro_case "usage error" 2 'Invalid date' write --addr 5 --time 12:00:00 --date 30.02.2025
kestro_case "unknown command" 2 "^kestro: unknown command 'frobnicate'${nl}" frobnicate
if [ -n "${KESTRO_WIN_TEST_MISSING_COM:-}" ]; then
    kestro_case "missing port" 3 \
        "^kestro: Cannot open COM$KESTRO_WIN_TEST_MISSING_COM!${nl}kestro: cause: .*COM$KESTRO_WIN_TEST_MISSING_COM: " \
        read --addr 5 --port "COM$KESTRO_WIN_TEST_MISSING_COM"
fi
if [ "$kestro_failures" -ne 0 ]; then
    echo "kestro: $kestro_failures case(s) failed under Wine" >&2
    status=1
fi

echo "== Windows build and tests took $(( $(date +%s) - start )) s"
exit "$status"
