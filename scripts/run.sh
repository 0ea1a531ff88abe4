#!/usr/bin/env bash
# The main job. With a display, starts the window; without one, says so and
# converts the sample book shipped with the project with quillmark-cli.
set -euo pipefail
cd "$(dirname "$0")/.."

if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  if [ -x build/bin/quillmark ]; then
    exec build/bin/quillmark
  fi
  echo "The window (build/bin/quillmark) was not built (Qt 6 missing?); converting the sample instead."
else
  echo "No display (neither DISPLAY nor WAYLAND_DISPLAY is set): the window can't open here."
  echo "Converting the sample book with quillmark-cli instead."
fi

out=build/sample
mkdir -p "$out"
rm -f "$out/海边的书信.epub"  # a fresh book, not an update of the last one
build/bin/quillmark-cli --classic -t 海边的书信 -a Quillmark -n 12 -o "$out/海边的书信.epub" \
  samples/sample-gbk.txt
echo "The book is at $PWD/$out/海边的书信.epub"
