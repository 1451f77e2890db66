#!/usr/bin/env bash
# Shows the bridge doing its job on this one machine: two stations (127.0.0.1 and
# 127.0.0.2), each with its own settings folder and a virtual serial port, find each other;
# a line typed into one virtual port comes out of the other. With a display both windows
# are shown; without one they run under a virtual X server and a screenshot is saved.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ -z "${SKIP_BUILD:-}" ]; then
    scripts/install-deps.sh
    scripts/build.sh
fi
binary="$(pwd)/${BUILD_DIR:-build}/tethra"

work=$(mktemp -d)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

# Each station's virtual port: a pseudo-terminal pair joined by socat. The station opens
# com1 (its port map entry); the demo plays the serial device on the other end, "device".
for station in A B; do
    mkdir -p "$work/$station"
    socat PTY,raw,echo=0,link="$work/$station/com1" PTY,raw,echo=0,link="$work/$station/device" &
    pids+=($!)
done
for station in A B; do
    for _ in $(seq 50); do [ -e "$work/$station/device" ] && break; sleep 0.1; done
done

settings() { # remote host
    printf '"TETHRA defaults"\r\n\r\n9801\r\n"%s"\r\n1\r\n"9600,n,8,1"\r\n0\r\n""\r\n""\r\n""\r\n"DEMODEMODE"\r\n0\r\n""\r\n""\r\n#TRUE#\r\n#FALSE#\r\n#FALSE#\r\n' "$1"
}
settings 127.0.0.2 >"$work/A/TETHRA.SAV"
settings 127.0.0.1 >"$work/B/TETHRA.SAV"

run_demo() {
    "$binary" --settings "$work/A" --bind 127.0.0.1 &
    pids+=($!)
    "$binary" --settings "$work/B" --bind 127.0.0.2 &
    pids+=($!)

    line="Hello from station A, $(date +%T)"
    received="$work/received"
    : >"$received"
    timeout 30 cat "$work/B/device" >"$received" &
    reader=$!
    # Bytes typed before the two stations have found each other are dropped, as with a
    # cable not yet plugged in: type the line until it comes out at the other end.
    for _ in $(seq 60); do
        printf '%s\r\n' "$line" >"$work/A/device"
        sleep 0.5
        grep -qF "$line" "$received" && break
    done
    kill "$reader" 2>/dev/null || true
    echo "typed into station A's port:   $line"
    if grep -qF "$line" "$received"; then
        echo "came out of station B's port:  $(grep -F "$line" "$received" | head -1 | tr -d '\r')"
    else
        echo "nothing came out of station B's port" >&2
        return 1
    fi
    if [ -n "${SCREENSHOT:-}" ]; then
        # Without a window manager both windows open at the same place: set them side by side.
        if command -v xdotool >/dev/null; then
            x=0
            for window in $(xdotool search --name "Tethra v"); do
                xdotool windowmove "$window" "$x" 0
                x=$((x + 380))
            done
        fi
        sleep 1
        import -window root "$SCREENSHOT" && echo "screenshot: $SCREENSHOT"
    fi
}

if [ -n "${DISPLAY:-}" ] && [ -z "${CI:-}" ]; then
    run_demo
    read -r -p "Both stations are running. Press Enter to stop them. " _ || true
elif [ "${1:-}" = --virtual-display ]; then
    run_demo
else
    # No display: run this same demo again inside a virtual X server.
    SCREENSHOT="$(pwd)/demo-screenshot.png" SKIP_BUILD=1 \
        xvfb-run -a -s "-screen 0 1024x768x24" "$0" --virtual-display
fi
