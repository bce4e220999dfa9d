#!/usr/bin/env bash
# Installs the Debian packages Pictofold builds and tests with. Quiet and quick when all are present.
set -euo pipefail

pkgs=(
  build-essential cmake clang libclang-rt-14-dev pkg-config
  zlib1g-dev libjpeg62-turbo-dev libtiff-dev libpng-dev libopenjp2-7-dev libgif-dev libwebp-dev
  libgtest-dev libgmock-dev qt6-base-dev libcurl4-openssl-dev libfontconfig-dev
  desktop-file-utils locales qpdf poppler-utils mupdf-tools python3-pikepdf python3-pil libtiff-tools fonts-urw-base35
  libfreetype-dev libharfbuzz-dev libharfbuzz-subset0 fonts-dejavu-core fonts-cantarell
  fonts-wqy-microhei poppler-data python3-fonttools
)

missing=()
for p in "${pkgs[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

# Tests run once under a comma-decimal locale.
need_locale() { ! locale -a 2>/dev/null | grep -qi '^fr_FR\.utf-\?8$'; }

if [ ${#missing[@]} -eq 0 ] && ! need_locale; then
  exit 0
fi

echo "setup: installing ${missing[*]:-a comma-decimal locale}"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
if [ ${#missing[@]} -gt 0 ]; then
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
if need_locale; then
  $SUDO sed -i 's/^# *fr_FR.UTF-8 UTF-8/fr_FR.UTF-8 UTF-8/' /etc/locale.gen
  grep -q '^fr_FR.UTF-8 UTF-8' /etc/locale.gen || echo 'fr_FR.UTF-8 UTF-8' | $SUDO tee -a /etc/locale.gen >/dev/null
  $SUDO locale-gen >/dev/null
fi
