#!/bin/sh
# Runs a command on an X server of its own: Xvfb on a free display number
# (Xvfb picks it and tells it through -displayfd), with a window manager
# (openbox) on it, as a user's desktop has one. Ends both afterwards and
# exits with the command's status.
#   with_x.sh COMMAND [ARG...]
for tool in Xvfb openbox; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        echo "with_x.sh: $tool is not installed (scripts/install-deps.sh installs it)" >&2
        exit 1
    fi
done

tmp=$(mktemp -d) || exit 1
xvfb=
wm=
cleanup() {
    [ -n "$wm" ] && kill "$wm" 2>/dev/null
    [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null
    wait 2>/dev/null
    rm -rf "$tmp"
}
trap cleanup EXIT
trap 'exit 1' INT TERM

Xvfb -displayfd 3 -screen 0 1280x900x24 -nolisten tcp 3>"$tmp/display" >"$tmp/xvfb.log" 2>&1 &
xvfb=$!
n=0
while [ ! -s "$tmp/display" ]; do
    n=$((n + 1))
    if [ $n -gt 100 ] || ! kill -0 "$xvfb" 2>/dev/null; then
        echo "with_x.sh: Xvfb did not start" >&2
        cat "$tmp/xvfb.log" >&2
        exit 1
    fi
    sleep 0.1
done
DISPLAY=":$(head -n 1 "$tmp/display")"
export DISPLAY

HOME="$tmp" openbox --sm-disable >"$tmp/openbox.log" 2>&1 &
wm=$!
# Until the window manager has taken the screen (when xprop is there to ask).
n=0
while [ $n -lt 50 ]; do
    if command -v xprop >/dev/null 2>&1; then
        xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break
    elif [ $n -ge 10 ]; then
        break
    fi
    n=$((n + 1))
    sleep 0.1
done

QT_QPA_PLATFORM=xcb "$@"
status=$?
if [ $status -ne 0 ]; then
    kill -0 "$wm" 2>/dev/null || echo "with_x.sh: the window manager had ended" >&2
    for log in "$tmp/openbox.log" "$tmp/xvfb.log"; do
        [ -s "$log" ] && { echo "--- $(basename "$log")" >&2; tail -n 20 "$log" >&2; }
    done
fi
exit $status
