#!/usr/bin/env bash
# The main job: converts the sample book shipped with the project into an
# EPUB book with quillmark-cli and says where it is.
set -euo pipefail
cd "$(dirname "$0")/.."
out=build/sample
mkdir -p "$out"
rm -f "$out/海边的书信.epub"  # a fresh book, not an update of the last one
build/bin/quillmark-cli -t 海边的书信 -a Quillmark -n 12 -o "$out/海边的书信.epub" \
  samples/sample-gbk.txt
echo "The book is at $PWD/$out/海边的书信.epub"
