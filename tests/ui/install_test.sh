#!/usr/bin/env bash
# cmake --install into a fresh prefix: programs, plug-in, help, icon and a valid desktop entry.
set -euo pipefail
build=$1
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null
for f in bin/pictofold bin/pictofold-gui bin/pictofold-engine bin/help.html \
         lib/pictofold/zorvalex5.so share/icons/hicolor/scalable/apps/pictofold.svg \
         share/applications/pictofold.desktop; do
  [ -e "$prefix/$f" ] || { echo "missing $f" >&2; exit 1; }
done
desktop-file-validate "$prefix/share/applications/pictofold.desktop"
grep -qx 'Exec=pictofold-gui %F' "$prefix/share/applications/pictofold.desktop"
grep -q '^MimeType=.*image/jpeg;.*image/tiff;.*image/gif;' "$prefix/share/applications/pictofold.desktop"
python3 -c 'import sys, xml.dom.minidom; xml.dom.minidom.parse(sys.argv[1])' \
  "$prefix/share/icons/hicolor/scalable/apps/pictofold.svg"
