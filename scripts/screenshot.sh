#!/usr/bin/env bash
# Renders the main window, with a Chinese book listed and a title and author
# typed, on a virtual X server with the CJK fonts, to
# build/screenshots/main-window.png.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ ! -x build/bin/test_app ]; then
  cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release
  cmake --build build -j 2 --target test_app
fi
mkdir -p build/screenshots
xvfb-run -a -s "-screen 0 1024x768x24 -dpi 96" \
  env QT_QPA_PLATFORM=xcb build/bin/test_app --gtest_filter='Screenshot.*'
echo "Saved build/screenshots/main-window.png"
