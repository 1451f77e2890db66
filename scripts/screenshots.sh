#!/usr/bin/env bash
# Takes the README's screenshots from the real program under a virtual X server with a
# window manager, so that every window has its frame and title bar: two working stations
# on this machine, each with a virtual serial port and traffic in its views, then each
# dialog of the first one on its own.
# Needs: xvfb, openbox, x11-utils (xprop), xdotool, imagemagick (import), socat.
set -euo pipefail
cd "$(dirname "$0")/.."
mkdir -p "${1:-docs}"
out=$(cd "${1:-docs}" && pwd)
binary="$(pwd)/${BUILD_DIR:-build}/tethra"

if [ "${2:-}" != --virtual-display ]; then
    exec xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$out" --virtual-display
fi

work=$(mktemp -d /tmp/tethra-XXXX)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

# Waits up to ten seconds for a command to succeed.
await() {
    for _ in $(seq 100); do "$@" >/dev/null 2>&1 && return 0; sleep 0.1; done
    echo "screenshots: gave up waiting for: $*" >&2
    return 1
}
# The id of a window of one station, by the start of its title.
window_of() { # pid title
    xdotool search --all --pid "$1" --name "^ ?$2" | head -1
}
shown() { [ -n "$(window_of "$1" "$2")" ]; }
gone() { ! shown "$1" "$2"; }
# A window with the frame and title bar the window manager gave it.
shoot() { # window name
    sleep 0.5 # the window manager draws the frame after the window maps
    import -window "$1" -frame "$out/$2.png"
    echo "screenshots: $out/$2.png"
}

openbox 2>"$work/openbox.log" &
pids+=($!)
await sh -c 'xprop -root _NET_SUPPORTING_WM_CHECK | grep -q "window id"'

# Each station's serial device is a pseudo-terminal pair joined by socat: the station opens
# com1 (its port map entry), this script plays the device on the other end.
for line in line1 line2; do
    mkdir -p "$work/$line"
    socat PTY,raw,echo=0,link="$work/$line/com1" PTY,raw,echo=0,link="$work/$line/device" &
    pids+=($!)
done
for line in line1 line2; do await test -e "$work/$line/device"; done

settings() { # remote host, settings folder
    printf '"TETHRA defaults"\r\n\r\n9801\r\n"%s"\r\n1\r\n"9600,n,8,1"\r\n0\r\n""\r\n""\r\n""\r\n"SCREENSHOT"\r\n0\r\n"%s/rx.log"\r\n"%s/tx.log"\r\n#TRUE#\r\n#FALSE#\r\n#FALSE#\r\n' \
        "$1" "$2" "$2"
}
settings 127.0.0.78 "$work/line1" >"$work/line1/TETHRA.SAV"
settings 127.0.0.77 "$work/line2" >"$work/line2/TETHRA.SAV"

start() { # line, own address
    "$binary" --settings "$work/$1" --bind "$2" --status-log "$work/$1/status.log" &
    pids+=($!)
    await shown $! "Tethra v"
}
start line1 127.0.0.77
station_a=${pids[-1]}
start line2 127.0.0.78
station_b=${pids[-1]}
main_a=$(window_of "$station_a" "Tethra v")
main_b=$(window_of "$station_b" "Tethra v")
xdotool windowmove "$main_a" 20 20 windowmove "$main_b" 400 20
for line in line1 line2; do await grep -q ':[0-9][0-9]  Connected' "$work/$line/status.log"; done

# A modem session: each line typed into one device comes out of the other.
send() { # from, to, text
    local received="$work/received"
    : >"$received"
    timeout 10 cat "$work/$2/device" >"$received" &
    local reader=$!
    printf '%s\r\n' "$3" >"$work/$1/device"
    await grep -qF "$3" "$received"
    kill "$reader" 2>/dev/null || true
    wait "$reader" 2>/dev/null || true
}
send line1 line2 "ATZ"
send line2 line1 "OK"
send line1 line2 "ATDT5551234"
send line2 line1 "CONNECT 9600"
send line2 line1 "login:"
send line1 line2 "operator"
sleep 1 # the lamps go back to green 150 ms after the last byte; the log button likewise

# Both stations, side by side on the bare screen.
xdotool windowactivate --sync "$main_a"
sleep 0.5
import -window root -trim "$out/two-stations.png"
echo "screenshots: $out/two-stations.png"
shoot "$main_a" main-window

dialog() { # keys, title, name
    xdotool windowactivate --sync "$main_a" key --delay 100 $1
    await shown "$station_a" "$2"
    shoot "$(window_of "$station_a" "$2")" "$3"
}
close() { # title
    xdotool key Escape
    await gone "$station_a" "$1"
}

dialog F2 "Setup RS-232 Port" rs232-setup
# The RS-232 dialog's Log Traffic button, at the top right of the dialog.
rs232=$(window_of "$station_a" "Setup RS-232 Port")
xdotool mousemove --window "$rs232" 260 26 click 1
await shown "$station_a" "Setup RS232 Traffic Logging"
shoot "$(window_of "$station_a" "Setup RS232 Traffic Logging")" traffic-log-setup
close "Setup RS232 Traffic Logging"
close "Setup RS-232 Port"
dialog "alt+s e" "Setup Security" security-setup
close "Setup Security"
dialog "alt+h a" "About Tethra" about
close "About Tethra"
# Last: opening the network dialog drops the link.
dialog F3 "Setup Network Connection" network-setup
close "Setup Network Connection"
