#!/usr/bin/env bash
# Installs every Debian package Quillmark needs to build, test and run.
# Safe to run again: apt-get is called only for packages that are missing.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config clang libclang-rt-14-dev clang-format
  qt6-base-dev libgl-dev qt6-translations-l10n
  libicu-dev zlib1g-dev libdeflate-dev libxml2-dev libpng-dev libjpeg62-turbo-dev
  googletest libgtest-dev libbenchmark-dev hyperfine
  zip unzip 7zip libarchive-tools python3
  epubcheck pandoc python3-ebooklib python3-lxml
  xvfb xauth fonts-noto-cjk time
  libopencc-dev fonts-dejavu-core libpango1.0-dev libcairo2-dev
  desktop-file-utils appstream man-db librsvg2-bin dpkg-dev file lintian
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "Installing: ${missing[*]}"
sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
