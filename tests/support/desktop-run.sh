#!/usr/bin/env bash
# Runs a command on a desktop of its own: an Xvfb screen (1280x800) with the openbox window manager,
# so that windows get real frames and are placed and moved by a window manager as on a user's desktop.
set -euo pipefail
for tool in Xvfb openbox xprop xdotool; do
    command -v "$tool" >/dev/null || { echo "desktop-run: $tool is missing (scripts/setup.sh installs it)" >&2; exit 1; }
done
work="$(mktemp -d)"
exec 3>"$work/display"
Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
xvfb=$!
openbox_pid=
cleanup() {
    [ -n "$openbox_pid" ] && kill "$openbox_pid" 2>/dev/null || true
    kill "$xvfb" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
for _ in $(seq 100); do
    [ -s "$work/display" ] && break
    sleep 0.1
done
if [ ! -s "$work/display" ]; then
    echo "desktop-run: Xvfb did not start:" >&2
    cat "$work/xvfb.log" >&2
    exit 1
fi
export DISPLAY=":$(head -n1 "$work/display")"
HOME="$work" openbox --sm-disable >"$work/openbox.log" 2>&1 &
openbox_pid=$!
# The window manager is ready once it has announced itself on the root window.
ready=
for _ in $(seq 100); do
    if xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'; then
        ready=1
        break
    fi
    sleep 0.1
done
if [ -z "$ready" ]; then
    echo "desktop-run: openbox did not start:" >&2
    cat "$work/openbox.log" >&2
    exit 1
fi
export QT_QPA_PLATFORM=xcb
"$@"
