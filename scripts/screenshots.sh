#!/usr/bin/env bash
# Takes the README's screenshots from the real program under a virtual X server:
# the main window with the traffic view open and each setup dialog.
# Needs: xvfb, xdotool, imagemagick (import).
set -euo pipefail
cd "$(dirname "$0")/.."
out="${1:-docs}"
mkdir -p "$out"
folder=$(mktemp -d)
trap 'rm -rf "$folder"' EXIT
printf '"TETHRA defaults"\r\n\r\n9801\r\n"127.0.0.78"\r\n0\r\n"9600,n,8,1"\r\n0\r\n""\r\n""\r\n""\r\n"SCREENSHOT"\r\n0\r\n"/tmp/rx.log"\r\n"/tmp/tx.log"\r\n#TRUE#\r\n#FALSE#\r\n#FALSE#\r\n' \
    >"$folder/TETHRA.SAV"

xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
    set -e
    "$4"/tethra --settings "$1" --bind 127.0.0.77 &
    station=$!
    sleep 3
    shoot() { sleep 1.5; import -window root -trim "$2/$1.png"; }
    window=$(xdotool search --sync --name "Tethra v" | head -1)
    xdotool windowmove "$window" 0 0
    shoot main-window "$3"
    for dialog in F2:rs232-setup F3:network-setup; do
        xdotool windowfocus --sync "$window" key "${dialog%%:*}"
        shoot "${dialog##*:}" "$3"
        xdotool key Escape
        sleep 1
    done
    kill $station; wait $station || true
' _ "$folder" "$(pwd)" "$out" "${BUILD_DIR:-build}"
echo "Screenshots in $out/"
