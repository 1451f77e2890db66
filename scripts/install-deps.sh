#!/usr/bin/env bash
# Installs the Debian packages that building and testing Tethra need, if any are missing.
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config
    qt6-base-dev qt6-serialport-dev libgl-dev libsystemd-dev libssl-dev
    librsvg2-bin
    socat xvfb xauth iproute2 procps poppler-utils imagemagick xdotool openbox x11-utils
    clang-14 libclang-rt-14-dev
    fonts-unifont
)

missing=()
for package in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' ||
        missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
echo "Installing: ${missing[*]}"
$sudo apt-get update -q
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q "${missing[@]}"
