#!/usr/bin/env bash
# Renders every page of the desktop program and of its settings sheet offscreen into
# build/screenshots/*.png. Fails when a page cannot be built or drawn.
#   scripts/screenshots.sh [BUILD_DIR]      (default build/)
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${1:-build}
cmake --build "$dir" -j2 --target pictofold-screenshots >/dev/null
out="$dir/screenshots"
rm -rf "$out"
QT_QPA_PLATFORM=offscreen "$dir/bin/pictofold-screenshots" samples "$out"
