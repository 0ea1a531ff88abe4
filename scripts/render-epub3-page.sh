#!/usr/bin/env bash
# Converts the sample book into an EPUB 3 book (pass more options, such as
# --vertical, as arguments) and renders its first text page and its cover
# with headless Chromium, 600 x 900 like a small reader (wider for vertical
# text), to
# build/screenshots/epub3-page.png and epub3-cover.png.
set -euo pipefail
cd "$(dirname "$0")/.."
command -v chromium >/dev/null || { echo "needs chromium (apt-get install chromium)"; exit 1; }
work=$(mktemp -d "${TMPDIR:-/tmp}/quillmark-render-XXXXXX")
trap 'rm -rf "$work"' EXIT
build/bin/quillmark-cli --epub3 "$@" -t 海边的书信 -a Quillmark -n 7 -o "$work/book.epub" \
  samples/sample-gbk.txt >/dev/null
(cd "$work" && unzip -q book.epub -d book)
mkdir -p build/screenshots
# Headless Chromium shows the left end of a page wider than its window, and a
# vertical page starts at its right end: such pages get a window wide enough.
size=600,900
[[ " $* " == *" --vertical "* ]] && size=2400,900
for page in text/p00001:epub3-page cover:epub3-cover; do
  chromium --headless --no-sandbox --disable-gpu --disable-background-networking \
    --disable-component-update --disable-sync --no-first-run --window-size=$size \
    --screenshot="$PWD/build/screenshots/${page#*:}.png" \
    "file://$work/book/OEBPS/${page%%:*}.xhtml" 2>/dev/null
done
echo "Saved build/screenshots/epub3-page.png and epub3-cover.png"
