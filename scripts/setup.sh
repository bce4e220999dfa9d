#!/usr/bin/env bash
# Installs the Debian packages Pictofold builds and tests with. Quiet and quick when all are present.
set -euo pipefail

pkgs=(
  build-essential cmake clang libclang-rt-14-dev pkg-config
  zlib1g-dev libjpeg62-turbo-dev libtiff-dev libpng-dev libopenjp2-7-dev libgif-dev libwebp-dev
  libgtest-dev libgmock-dev qt6-base-dev libcurl4-openssl-dev libfontconfig-dev
  qpdf poppler-utils mupdf-tools python3-pikepdf libtiff-tools fonts-urw-base35
)

missing=()
for p in "${pkgs[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "setup: installing ${missing[*]}"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
