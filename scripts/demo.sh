#!/usr/bin/env bash
# Installs what is missing, builds, and runs the main job on the bundled samples.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc 2>/dev/null || echo 2)"
mkdir -p out
./build/bin/pictofold-engine samples/demo.script
echo "wrote out/demo.pdf"
