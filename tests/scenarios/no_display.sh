#!/bin/sh
# The program started without a display says so plainly and ends with a
# failure status of its own: no abort, no files made. Argument: the program.
prog=$1
dir=$(mktemp -d) || exit 2
trap 'rm -rf "$dir"' EXIT
cd "$dir" || exit 2

# A display number no X server answers on.
free=200
while [ -e /tmp/.X11-unix/X$free ] || [ -e /tmp/.X$free-lock ]; do free=$((free + 1)); done

check() {
    what=$1
    shift
    out=$(env "$@" "$prog" 2>&1)
    status=$?
    if [ "$status" -eq 0 ] || [ "$status" -ge 128 ]; then
        echo "$what: ended with status $status"
        echo "$out"
        exit 1
    fi
    case "$out" in
        *"needs a graphical display"*) ;;
        *) echo "$what: no plain message"; echo "$out"; exit 1 ;;
    esac
    if [ -e Clanovi.sqlite ] || [ -e Sutrik.INI ]; then
        echo "$what: files were made"
        exit 1
    fi
    echo "$what: $out"
}

check "no DISPLAY" -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM
check "no DISPLAY, xcb asked for" -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=xcb
check "no server on DISPLAY" -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM DISPLAY=:$free
