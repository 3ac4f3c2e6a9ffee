#!/usr/bin/env bash
# Builds the Debian package and checks it as a user would meet it: validates the desktop entry
# and the AppStream metainfo it ships, runs lintian, installs it with apt, starts the installed
# window headless (under Xvfb, as an unprivileged user) and confirms Config with OK, which must
# create the settings file in the user's configuration folder and not beside the executable,
# runs the installed `kestro --version` when the package has it, and removes the package.
# Needs root or sudo (apt). Usage: scripts/check-package.sh
set -euo pipefail
cd "$(dirname "$0")/.."

sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then
    sudo_cmd=(sudo)
fi

scripts/install-deps.sh dpkg-dev file lintian desktop-file-utils appstream xvfb xdotool
deb=$(scripts/package.sh | tail -n 1)
echo "check-package: $deb"

package=$(dpkg-deb --field "$deb" Package)
work=$(mktemp -d)
xvfb_pid=""
window_pid=""
installed=0
cleanup() {
    if [ -n "$window_pid" ] && kill -0 "$window_pid" 2>/dev/null; then
        kill "$window_pid" 2>/dev/null || true
    fi
    if [ -n "$xvfb_pid" ] && kill -0 "$xvfb_pid" 2>/dev/null; then
        kill "$xvfb_pid" 2>/dev/null || true
    fi
    if [ "$installed" -eq 1 ]; then
        "${sudo_cmd[@]}" env DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq "$package" \
            >/dev/null || true
    fi
    "${sudo_cmd[@]}" rm -rf "$work"
}
trap cleanup EXIT

fail() {
    echo "check-package: FAILED: $*" >&2
    exit 1
}

echo "== Package contents and dependencies"
dpkg-deb --field "$deb" Package Version Architecture Depends
dpkg-deb -x "$deb" "$work/root"
# The application id names the desktop entry (and the metainfo, the icon, the settings folder).
desktop=$(ls "$work"/root/usr/share/applications/*.desktop)
app_id=$(basename "$desktop" .desktop)

echo "== desktop-file-validate, appstreamcli validate"
desktop-file-validate "$desktop"
appstreamcli validate --no-net --explain "$work/root/usr/share/metainfo/$app_id.metainfo.xml"

echo "== lintian"
lintian --fail-on error,warning --display-info "$deb"

echo "== Install with apt"
installed=1
"${sudo_cmd[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$deb" >/dev/null
[ -x /usr/bin/Kestro4SetClock ] || fail "/usr/bin/Kestro4SetClock is not installed"

echo "== The installed window under Xvfb: Config, OK"
# An unprivileged user with a fresh home and no XDG_CONFIG_HOME: the installed program's folder
# is not writable for them, so the settings belong in ~/.config/<app id>/. Such a user is in no
# group like dialout either, so the window cannot open a real serial port.
home="$work/home"
mkdir -p "$home"
chmod 755 "$work"
"${sudo_cmd[@]}" chown nobody "$home"
display=""
for n in $(seq 90 120); do
    if [ ! -e "/tmp/.X11-unix/X$n" ] && [ ! -e "/tmp/.X$n-lock" ]; then
        display=":$n"
        break
    fi
done
[ -n "$display" ] || fail "no free X display"
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
for _ in $(seq 50); do
    [ -e "/tmp/.X11-unix/X${display#:}" ] && break
    sleep 0.1
done
export DISPLAY="$display"

"${sudo_cmd[@]}" env -i PATH=/usr/bin:/bin HOME="$home" DISPLAY="$display" \
    setpriv --reuid=nobody --regid=nogroup --clear-groups /usr/bin/Kestro4SetClock \
    >"$work/window.log" 2>&1 &
window_pid=$!

main=$(timeout 20 xdotool search --sync --onlyvisible --name "Kestro4 Setup Clock" | head -n 1) ||
    fail "the window did not appear: $(cat "$work/window.log")"
sleep 1
# Without a window manager, focus is given directly; File is the menu bar's first entry and
# Config the first item of its menu.
xdotool windowfocus --sync "$main"
xdotool mousemove --window "$main" 15 10 click 1
sleep 0.5
xdotool key Down Return
config=$(timeout 10 xdotool search --sync --onlyvisible --name "^Config" | head -n 1) ||
    fail "the Config dialog did not open"
xdotool windowfocus --sync "$config"
sleep 0.3
xdotool key Return # OK is the dialog's default button

settings="$home/.config/$app_id/Kestro4SetClock.ini"
for _ in $(seq 50); do
    [ -f "$settings" ] && break
    sleep 0.1
done
[ -f "$settings" ] || fail "OK did not create $settings; window: $(cat "$work/window.log")"
grep -q '^\[Congif\]' "$settings" || fail "$settings holds no section Congif"
[ ! -e /usr/bin/Kestro4SetClock.ini ] || fail "a settings file appeared beside the executable"
mode=$(stat -c %a "$home/.config")
[ "$mode" = 700 ] || fail "$home/.config has mode $mode, not 700"
kill -0 "$window_pid" 2>/dev/null || fail "the window ended: $(cat "$work/window.log")"
echo "check-package: OK wrote $settings:"
sed 's/^/    /' "$settings"
kill "$window_pid"
wait "$window_pid" 2>/dev/null || true
window_pid=""

echo "== kestro --version"
if [ -x /usr/bin/kestro ]; then
    /usr/bin/kestro --version
else
    echo "check-package: skipped, the package has no kestro yet"
fi

echo "== Remove the package"
"${sudo_cmd[@]}" env DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq "$package" >/dev/null
installed=0
[ ! -e /usr/bin/Kestro4SetClock ] || fail "/usr/bin/Kestro4SetClock is still there"
echo "check-package: passed"
