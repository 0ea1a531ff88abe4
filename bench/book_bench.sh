#!/usr/bin/env bash
# Whole-book benchmark: converts a generated ~100 MB GBK book into 1024 parts
# and into 1 part with quillmark-cli (the classic kind), and packs the same
# book's files, extracted into a tree, with `zip -6 -r -q`. Reports the
# wall-time ratio ours / zip for each and our peak memory against the book's
# size. Not a test: it prints figures and the targets beside them.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
cli=${QUILLMARK_CLI:-$root/build/bin/quillmark-cli}
size=${BOOK_BENCH_SIZE:-100000000}
work=$(mktemp -d "${TMPDIR:-/tmp}/quillmark-bench-XXXXXX")
trap 'rm -rf "$work"' EXIT

python3 bench/gen_book.py "$work/book.txt" "$size"
book_bytes=$(stat -c %s "$work/book.txt")
echo "book: $book_bytes bytes"

runs=${BOOK_BENCH_RUNS:-3}
mkdir "$work/tmp"
# The ratio ours / zip -6 -r that each part count should stay within.
for case in "1024 0.35" "1 0.42"; do
  read -r parts target <<<"$case"
  tree=$work/tree$parts
  mkdir "$tree"
  # The machine is shared, so the two sides alternate and the best time of
  # each counts.
  ours_seconds=999999 zip_seconds=999999 ours_kib=0
  for run in $(seq "$runs"); do
    # Ours: the whole conversion (read, cut, render the pages, pack).
    rm -f "$work/ours.epub"
    TMPDIR=$work/tmp /usr/bin/time -f '%e %M' -o "$work/ours.time" \
      "$cli" --classic -t Bench -n "$parts" -o "$work/ours.epub" "$work/book.txt" >/dev/null
    read -r seconds kib <"$work/ours.time"
    ours_seconds=$(python3 -c "print(min($ours_seconds, $seconds))")
    ours_kib=$(( kib > ours_kib ? kib : ours_kib ))
    # zip: packing the same files, extracted from the book into a tree.
    if [ "$run" = 1 ]; then (cd "$tree" && unzip -q "$work/ours.epub"); fi
    rm -f "$work/theirs.zip"
    (cd "$tree" && /usr/bin/time -f '%e %M' -o "$work/zip.time" zip -6 -r -q "$work/theirs.zip" .)
    read -r seconds _ <"$work/zip.time"
    zip_seconds=$(python3 -c "print(min($zip_seconds, $seconds))")
    echo "$parts parts, run $run: ours $(cut -d' ' -f1 "$work/ours.time") s, zip $seconds s"
  done
  rm -rf "$tree"
  python3 - "$parts" "$target" "$ours_seconds" "$zip_seconds" "$ours_kib" "$book_bytes" \
    "$(stat -c %s "$work/ours.epub")" "$(stat -c %s "$work/theirs.zip")" <<'PY'
import sys
parts = sys.argv[1]
target, ours, theirs, kib, book, ours_size, zip_size = map(float, sys.argv[2:])
ratio = ours / theirs
print('%s parts, best of the runs: quillmark-cli %.2f s, peak memory %.0f MiB; zip -6: %.2f s'
      % (parts, ours, kib / 1024, theirs))
print('  wall-time ratio ours/zip: %.2f (target <= %.2f) %s'
      % (ratio, target, 'ok' if ratio <= target else 'MISSED'))
print('  peak memory / book size: %.2f' % (kib * 1024 / book))
print('  archive sizes: ours %d bytes, zip %d bytes' % (ours_size, zip_size))
PY
done
