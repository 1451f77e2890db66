#!/usr/bin/env bash
# Installs what is missing, builds, creates the settings folder and starts Tethra.
# Extra arguments go to tethra (for example --settings DIR --bind ADDRESS).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh
folder=/var/lib/tethra
if [ ! -d "$folder" ]; then
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    $sudo install -d -m 2775 -g dialout "$folder"
fi
exec build/tethra "$@"
