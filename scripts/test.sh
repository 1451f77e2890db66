#!/usr/bin/env bash
# Installs what is missing, builds, and runs the whole test suite.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh
export QT_QPA_PLATFORM=offscreen
# As root every test program has a network namespace of its own, so they run side by side.
jobs=1
[ "$(id -u)" = 0 ] && jobs=$(nproc)
ctest --test-dir "${BUILD_DIR:-build}" --output-on-failure -j"$jobs"
