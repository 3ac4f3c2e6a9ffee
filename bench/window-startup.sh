#!/usr/bin/env bash
# Start-up of the two windows: the Qt window on Linux and the native Win32 window under Wine,
# both optimised builds on one Xvfb display. For each start it measures the time from launching
# the program to its main window being viewable on the display, and the program's resident
# memory once the window is up; it prints the median and range of `runs` starts.
# Wine's figures are indicative only: Wine's own start (a warm wineserver and its services are
# kept running between starts, as on a running Windows) and its emulation are part of them.
# Both programs find no serial port they can open (COM1 leads nowhere).
# Usage: bench/window-startup.sh [runs]      (default 10)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
runs=${1:-10}
jobs=$(( $(nproc) < 2 ? $(nproc) : 2 ))

scripts/install-deps.sh x11-utils wine wine64 fonts-wine g++-mingw-w64-x86-64-posix \
    librsvg2-bin icoutils nsis zip
cmake --preset release >/dev/null
cmake --build --preset release --parallel "$jobs" --target Kestro4SetClock
cmake --preset windows >/dev/null
cmake --build --preset windows --parallel "$jobs" --target Kestro4SetClock

work=$(mktemp -d "${TMPDIR:-/tmp}/kestro-startup.XXXXXX")
export WINEPREFIX="$work/prefix" WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
xvfb_pid=
cleanup() {
    wineserver -k >/dev/null 2>&1 || true
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
Xvfb -displayfd 3 -nolisten tcp -screen 0 1280x1024x24 3>"$work/display" >/dev/null 2>&1 &
xvfb_pid=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.05; done
export DISPLAY=":$(cat "$work/display")"

# Each program runs from a folder of its own, with a settings file whose COM1 leads nowhere.
mkdir -p "$work/qt" "$work/win"
cp build/release/ui/Kestro4SetClock "$work/qt/"
cp build/windows/winui/Kestro4SetClock.exe "$work/win/"
printf '[Congif]\nComPort=1\n[Ports]\nCOM1=%s\n' "$work/no-such-port" >"$work/qt/Kestro4SetClock.ini"
printf '[Congif]\r\nComPort=1\r\n' >"$work/win/Kestro4SetClock.ini"
wineboot -i >/dev/null 2>&1
cp /usr/share/wine/fonts/tahoma*.ttf "$WINEPREFIX/drive_c/windows/Fonts/"
wine reg add 'HKLM\Software\Wine\Ports' /v COM1 /t REG_SZ /d "$work/no-such-port" /f >/dev/null 2>&1
wineserver -k || true
wineserver -w
wineserver -p # kept running between the starts, as the system is on Windows
wine cmd /c exit >/dev/null 2>&1

viewable() {
    xwininfo -name "Kestro4 Setup Clock" 2>/dev/null | grep -q 'Map State: IsViewable'
}

# measure LABEL COMMAND...: prints "milliseconds rss_kib" for one start.
measure() {
    local start end pid rss
    start=$(date +%s%N)
    QT_QPA_PLATFORM=xcb "$@" >"$work/program.out" 2>&1 &
    pid=$!
    until viewable; do
        if ! kill -0 "$pid" 2>/dev/null; then
            echo "window-startup: $* ended before its window showed:" >&2
            cat "$work/program.out" >&2
            return 1
        fi
        sleep 0.005
    done
    end=$(date +%s%N)
    sleep 1
    rss=$(awk '/^VmRSS:/ {print $2}' "/proc/$pid/status")
    kill "$pid"
    wait "$pid" 2>/dev/null || true
    until ! viewable; do sleep 0.01; done
    echo "$(( (end - start) / 1000000 )) $rss"
}

# The middle one of sorted numbers, one a line.
median() {
    local count
    count=$(wc -l <<<"$1")
    sed -n "$(( (count + 1) / 2 ))p" <<<"$1"
}

# report LABEL COMMAND...: one warm-up start, then `runs` measured ones.
report() {
    local label=$1
    shift
    measure "$@" >/dev/null || true
    local results=() failed=0 result
    for _ in $(seq "$runs"); do
        if result=$(measure "$@"); then
            results+=("$result")
        else
            failed=$((failed + 1))
        fi
    done
    if [ "${#results[@]}" -eq 0 ]; then
        echo "$label: no start showed its window" >&2
        return 1
    fi
    [ "$failed" -eq 0 ] || echo "$label: $failed of $runs starts failed (left out)" >&2
    local ms rss
    ms=$(printf '%s\n' "${results[@]}" | awk '{print $1}' | sort -n)
    rss=$(printf '%s\n' "${results[@]}" | awk '{print $2}' | sort -n)
    printf '%-34s shown after %5d ms median (%d..%d)   resident %6.1f MB median\n' "$label" \
        "$(median "$ms")" "$(head -n1 <<<"$ms")" "$(tail -n1 <<<"$ms")" \
        "$(awk -v kib="$(median "$rss")" 'BEGIN { print kib / 1024 }')"
}

echo "== Start-up to a shown window, $runs starts each (median, range)"
report "Qt window (Linux, xcb)" "$work/qt/Kestro4SetClock"
report "Win32 window (Wine $(wine --version | sed 's/^wine-\([0-9.]*\).*/\1/'))" wine "$work/win/Kestro4SetClock.exe"
echo "Wine's figures are indicative: its loader and emulation are part of them; on Windows the"
echo "program starts without them. Resident memory is the program's own process."
