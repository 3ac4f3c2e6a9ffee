#!/usr/bin/env bash
# Builds the Windows installer and the portable zip (scripts/package-windows.sh) and checks them
# under Wine, in a fresh prefix, as Windows users would meet them:
#   - the installer, run silently (/S), puts both programs under Program Files, a Start-menu
#     entry "Kestro Setup" and an uninstaller with its Apps & features entry;
#   - the installed window starts, and once its Config is confirmed its settings file lies in
#     %APPDATA%, since Program Files is not writable for a user;
#   - the silent uninstaller removes the programs, the entry and the registry keys;
#   - the portable copy, unpacked into a writable folder, keeps its settings beside itself.
# Run as root (CI), Wine runs as an unprivileged user, so that the folder made read-only below
# is read-only for the program as Program Files is on Windows. The window needs a display: the
# script starts its own Xvfb. COM ports lead to missing devices: no real port is ever opened.
# Usage: scripts/check-windows-package.sh        (installs what is missing; root or sudo)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
start=$(date +%s)

scripts/install-deps.sh wine wine64 xvfb unzip
bash scripts/package-windows.sh
remote="$root/build/windows/tests/win/window/kestro-window-remote.exe"
if [ ! -e "$remote" ]; then
    cmake --preset windows >/dev/null
    cmake --build --preset windows --target kestro-window-remote
fi
version=$(sed -n 's/^#define KESTRO_VERSION "\(.*\)"$/\1/p' \
    "$root/build/windows/generated/app/Version.h")

work=$(mktemp -d "${TMPDIR:-/tmp}/kestro-winpkg.XXXXXX")
chmod 755 "$work"
cp "build/package-windows/KestroSetup-$version-setup.exe" "$work/setup.exe"
cp "build/package-windows/KestroSetup-$version-portable.zip" "$work/portable.zip"
cp "$remote" "$work/remote.exe"
as_user=()
if [ "$(id -u)" -eq 0 ]; then
    chown -R 65534:65534 "$work"
    as_user=(setpriv --reuid=65534 --regid=65534 --clear-groups)
fi
prefix="$work/prefix"
run() {
    # Every Wine process of the prefix sees the display: the first one to need a desktop
    # decides whether the desktop has one.
    "${as_user[@]}" env HOME="$work" WINEPREFIX="$prefix" WINEARCH=win64 WINEDEBUG=-all \
        WINEDLLOVERRIDES="mscoree,mshtml=" DISPLAY="$display" "$@"
}
winpath() { echo "Z:$1" | tr / '\\'; }

xvfb_pid=
display=
cleanup() {
    run wineserver -k >/dev/null 2>&1 || true
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
    chmod -R u+w "$work" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
failures=0
check() { # description command...
    local what=$1
    shift
    if "$@"; then
        echo "windows package ok: $what"
    else
        echo "windows package FAILED: $what" >&2
        failures=$((failures + 1))
    fi
}

Xvfb -displayfd 3 -nolisten tcp -ac -screen 0 1024x768x24 3>"$work/display" >/dev/null 2>&1 &
xvfb_pid=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.05; done
display=":$(cat "$work/display")"

echo "== Wine prefix in $work (as $(run id -un))"
run wineboot -i >"$work/wineboot.out" 2>&1 || { cat "$work/wineboot.out" >&2; exit 1; }
# The windows are unmanaged: without a window manager Wine waits 2 s for each managed window
# to go.
cat >"$work/ports.reg" <<REG
REGEDIT4

[HKEY_LOCAL_MACHINE\\Software\\Wine\\Ports]
"COM1"="$work/missing-com1"
"COM2"="$work/missing-com2"
"COM3"="$work/missing-com3"
"COM4"="$work/missing-com4"

[HKEY_CURRENT_USER\\Software\\Wine\\X11 Driver]
"Managed"="N"
REG
run wine reg import "$(winpath "$work/ports.reg")" >/dev/null 2>&1
run wineserver -k || true
run wineserver -w
run wine cmd /c exit >/dev/null 2>&1
for n in 1 2 3 4; do
    if [ "$(readlink "$prefix/dosdevices/com$n" || true)" != "$work/missing-com$n" ]; then
        echo "check-windows-package: COM$n is not mapped away from the host's ports" >&2
        exit 1
    fi
done


# start_and_confirm EXE: starts the window, confirms its Config dialog and closes it.
start_and_confirm() {
    run wine "$1" >/dev/null 2>&1 &
    local window=$!
    run wine "$(winpath "$work/remote.exe")" --config-ok --close
    local status=$?
    wait "$window" || true
    return "$status"
}

echo "== Silent install"
run wine "$(winpath "$work/setup.exe")" /S
run wineserver -w
installed="$prefix/drive_c/Program Files/Kestro Setup"
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\KestroSetup'
check "programs under Program Files" test -f "$installed/Kestro4SetClock.exe" -a \
    -f "$installed/kestro.exe" -a -f "$installed/Uninstall.exe"
check "Start-menu entry" test -f \
    "$prefix/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Kestro Setup.lnk"
check "Apps & features entry" run wine reg query "$uninstall_key" /v DisplayName
check "kestro.exe runs" run wine "C:\\Program Files\\Kestro Setup\\kestro.exe" --version

echo "== The installed window"
# Program Files is not writable for a user.
chmod -R a-w "$installed"
check "window started and Config confirmed" \
    start_and_confirm "C:\\Program Files\\Kestro Setup\\Kestro4SetClock.exe"
appdata_ini=$(find "$prefix/drive_c/users" -path '*/AppData/Roaming/org.kestro.KestroSetup/Kestro4SetClock.ini' | head -n1)
check "settings file in %APPDATA%" test -n "$appdata_ini"
check "settings file holds the settings" grep -q '^\[Congif\]' "${appdata_ini:-/nonexistent}"
check "nothing written beside the installed program" test ! -e "$installed/Kestro4SetClock.ini"
chmod -R u+w "$installed"

echo "== Silent uninstall"
run wine "C:\\Program Files\\Kestro Setup\\Uninstall.exe" /S
run wineserver -w
check "programs removed" test ! -e "$installed"
check "Start-menu entry removed" test ! -e \
    "$prefix/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Kestro Setup.lnk"
absent() { ! "$@" >/dev/null 2>&1; }
check "Apps & features entry removed" absent run wine reg query "$uninstall_key"

echo "== The portable copy"
run unzip -q "$work/portable.zip" -d "$work/portable"
portable="$work/portable/KestroSetup-$version"
check "portable window started and Config confirmed" \
    start_and_confirm "$(winpath "$portable/Kestro4SetClock.exe")"
check "portable settings beside the program" grep -q '^\[Congif\]' "$portable/Kestro4SetClock.ini"

echo "== Windows package checks took $(( $(date +%s) - start )) s"
if [ "$failures" -ne 0 ]; then
    echo "check-windows-package: $failures check(s) failed" >&2
    exit 1
fi
