#!/usr/bin/env bash
# Installs what is missing, builds, and converts the bundled sample images into out/samples.pdf.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc 2>/dev/null || echo 2)"
mkdir -p out
# A4 pages, two images per page with a border, the title as header, page-number bookmarks.
./build/bin/pictofold convert --settings /dev/null --exists overwrite -o out/samples.pdf \
  --set pageSize=2 --set layout=2 --set order=1 --set border=1 --set mTop=40 --set mBottom=40 \
  --set header=1 --set hpos=1 --set "hWatermark=%Title%" --set "title=Pictofold samples" \
  --set bookmark=1 --set bookmarksel=2 samples
echo "wrote out/samples.pdf"
