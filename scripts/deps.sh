#!/usr/bin/env bash
# Installs the Debian packages the build, the program and the tests need,
# only when some are missing, so a second run costs nothing.
set -euo pipefail
packages=(
  build-essential cmake pkg-config
  qt6-base-dev qt6-multimedia-dev libqt6multimedia6 libsqlite3-dev libbenchmark-dev libxcb1-dev
  qt6-translations-l10n
  fonts-liberation2 fonts-croscore fonts-bebas-neue fontconfig
  espeak-ng
  xvfb xauth poppler-utils
  openbox xdotool wmctrl x11-utils imagemagick
  python3
  ninja-build lld lintian man-db
  libpq-dev postgresql sqlite3
  desktop-file-utils
  clang libclang-rt-14-dev
  qt6-websockets-dev libqrencode-dev chromium
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
