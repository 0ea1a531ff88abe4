#!/usr/bin/env bash
# How late a 1 ms timer on the window's thread fires at worst while the
# window's conversion job runs on its own thread, for the generated ~100 MB
# GBK novel in 1 and in 1024 parts and as an EPUB 3 book with chapters.
# Runs on Qt's offscreen platform. Not a test: it prints the figures of
# bench/window_latency.
set -euo pipefail
cd "$(dirname "$0")/.."
size=${WINDOW_LATENCY_SIZE:-100000000}
work=$(mktemp -d "${TMPDIR:-/tmp}/quillmark-latency-XXXXXX")
trap 'rm -rf "$work"' EXIT

python3 bench/gen_book.py "$work/novel.txt" "$size"
for parts in 1 1024; do
  echo "== novel.txt, $parts parts"
  TMPDIR=$work QT_QPA_PLATFORM=offscreen build/bin/window_latency "$work/novel.txt" "$parts"
done
echo "== novel.txt, EPUB 3 with chapters"
TMPDIR=$work QT_QPA_PLATFORM=offscreen build/bin/window_latency "$work/novel.txt" 1 --epub3
