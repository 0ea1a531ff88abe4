#!/usr/bin/env bash
# Renders the main window (with a Chinese book listed and a title and author
# typed), its failure box and the batch window on a virtual X server with the
# CJK fonts, in Chinese, to build/screenshots/.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ ! -x build/bin/test_app ]; then
  cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release
  cmake --build build -j 2 --target test_app
fi
mkdir -p build/screenshots
shoot=(xvfb-run -a -s "-screen 0 1024x768x24 -dpi 96"
  env LANG=zh_CN.UTF-8 LC_ALL= QT_QPA_PLATFORM=xcb build/bin/test_app
  --gtest_filter='Screenshot.*:Batch.ConvertsAShelf*')
# The pictures are published: in a mount namespace of its own, the books lie
# in a reader's folder under an empty /home rather than in a temporary one.
if unshare -rm true 2>/dev/null; then
  unshare -rm bash -c 'mount -t tmpfs tmpfs /home && mkdir -p /home/reader &&
    HOME=/home/reader QM_PICTURE_DIR=/home/reader/书库 "$@"' shoot "${shoot[@]}"
else
  echo "No mount namespace here: the pictures show temporary paths" >&2
  "${shoot[@]}"
fi
# The metainfo's screenshots are these pictures, kept in the repository.
mkdir -p data/screenshots
for picture in main-window batch-window; do
  if [ -f "build/screenshots/$picture.png" ]; then
    cp "build/screenshots/$picture.png" data/screenshots/
  fi
done
echo "Saved build/screenshots/*.png; main-window.png and batch-window.png copied to data/screenshots"
