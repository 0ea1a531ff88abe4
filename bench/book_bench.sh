#!/usr/bin/env bash
# Whole-book benchmark: converts a generated ~100 MB GBK book into 1024 parts
# with quillmark-cli, and packs the same staging tree with `zip -6 -r -q`.
# Reports the wall-time ratio ours / zip and our peak memory against the
# book's size. Not a test: it prints figures and the targets beside them.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
cli=$root/build/bin/quillmark-cli
size=${BOOK_BENCH_SIZE:-100000000}
work=$(mktemp -d "${TMPDIR:-/tmp}/quillmark-bench-XXXXXX")
trap 'rm -rf "$work"' EXIT

python3 bench/gen_book.py "$work/book.txt" "$size"
book_bytes=$(stat -c %s "$work/book.txt")
echo "book: $book_bytes bytes, 1024 parts"

runs=${BOOK_BENCH_RUNS:-3}
# The machine is shared, so each side runs several times, alternating, and
# the best time counts.
mkdir "$work/tmp" "$work/tree"
ours_seconds=999999 zip_seconds=999999 ours_kib=0
for run in $(seq "$runs"); do
  # Ours: the whole conversion (read, cut, write the pages, pack).
  rm -f "$work/ours.epub"
  TMPDIR=$work/tmp /usr/bin/time -f '%e %M' -o "$work/ours.time" \
    "$cli" -t Bench -n 1024 -o "$work/ours.epub" "$work/book.txt" >/dev/null
  read -r seconds kib <"$work/ours.time"
  ours_seconds=$(python3 -c "print(min($ours_seconds, $seconds))")
  ours_kib=$(( kib > ours_kib ? kib : ours_kib ))
  # zip: packing the very staging tree the conversion packed.
  if [ "$run" = 1 ]; then (cd "$work/tree" && unzip -q "$work/ours.epub"); fi
  rm -f "$work/theirs.zip"
  (cd "$work/tree" && /usr/bin/time -f '%e %M' -o "$work/zip.time" zip -6 -r -q "$work/theirs.zip" .)
  read -r seconds kib <"$work/zip.time"
  zip_seconds=$(python3 -c "print(min($zip_seconds, $seconds))")
  echo "run $run: ours $(cut -d' ' -f1 "$work/ours.time") s, zip $seconds s"
done

python3 - "$ours_seconds" "$zip_seconds" "$ours_kib" "$book_bytes" \
  "$(stat -c %s "$work/ours.epub")" "$(stat -c %s "$work/theirs.zip")" <<'PY'
import sys
ours, theirs, kib, book, ours_size, zip_size = map(float, sys.argv[1:])
ratio = ours / theirs
memory = kib * 1024 / book
print('best of the runs: quillmark-cli %.2f s, peak memory %.0f MiB; zip -6: %.2f s' % (ours, kib / 1024, theirs))
print('wall-time ratio ours/zip: %.2f (target <= 1.25) %s' % (ratio, 'ok' if ratio <= 1.25 else 'MISSED'))
print('peak memory / book size: %.2f (target <= 4) %s' % (memory, 'ok' if memory <= 4 else 'MISSED'))
print('archive sizes: ours %d bytes, zip %d bytes' % (ours_size, zip_size))
PY
