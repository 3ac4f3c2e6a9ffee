#!/usr/bin/env bash
# Builds the program and the virtual meter (release), starts meters on a pseudo-terminal
# (address 7 under the optical head, 5 and 12 on the bus) and runs the program against them.
# The program's settings file lives in build/run/ and is kept between runs.
set -euo pipefail
cd "$(dirname "$0")/.."
root="$PWD"

scripts/install-deps.sh
cmake --preset release -DKESTRO_BUILD_BENCH=OFF
cmake --build --preset release --target Kestro4SetClock kestro-virtual-meter \
    --parallel "$(nproc)"

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "run: no desktop found (neither DISPLAY nor WAYLAND_DISPLAY is set)." >&2
    echo "run: start this from a graphical session; the tests run headless with scripts/test.sh." >&2
    exit 1
fi

rundir="$root/build/run"
link="$rundir/ttyKestro"
mkdir -p "$rundir"
cp "$root/build/release/ui/Kestro4SetClock" "$rundir/Kestro4SetClock"

ini="$rundir/Kestro4SetClock.ini"
if [ ! -e "$ini" ]; then
    cat > "$ini" <<INI
[Congif]
ComPort=1
BaudRate=9600
Timeout=200

[Ports]
COM1=$link
INI
fi

"$root/build/release/tools/virtual_meter/kestro-virtual-meter" --link "$link" \
    --optohead 7 --meter 5 --meter 12 --pace --log "$rundir/virtual-meter.log" &
meter_pid=$!
stop_meter() {
    if kill -0 "$meter_pid" 2>/dev/null; then
        kill "$meter_pid"
        wait "$meter_pid" 2>/dev/null || true
    fi
}
trap stop_meter EXIT INT TERM

# The meter creates the link once its pseudo-terminal is ready.
for _ in $(seq 50); do
    [ -e "$link" ] && break
    sleep 0.1
done
if [ ! -e "$link" ]; then
    echo "run: the virtual meter did not start (no $link)" >&2
    exit 1
fi

echo "run: meters on $link (log: $rundir/virtual-meter.log); settings: $ini"
"$rundir/Kestro4SetClock"
