#!/usr/bin/env bash
# Both kinds of book from the same generated ~100 MB GBK book in 1024 parts:
# the classic layout and the standard EPUB 3 book (--epub3). Reports the
# wall-time ratio EPUB 3 / classic and the EPUB 3 run's peak memory against
# the book's size. Not a test: it prints figures and the targets beside them.
set -euo pipefail
cd "$(dirname "$0")/.."
cli=$PWD/build/bin/quillmark-cli
size=${BOOK_BENCH_SIZE:-100000000}
runs=${BOOK_BENCH_RUNS:-3}
work=$(mktemp -d "${TMPDIR:-/tmp}/quillmark-bench-XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir "$work/tmp"

python3 bench/gen_book.py "$work/book.txt" "$size"
book_bytes=$(stat -c %s "$work/book.txt")
echo "book: $book_bytes bytes, 1024 parts"

# The machine is shared, so the two kinds alternate and the best time counts.
best() { python3 -c "print(min($1, $2))"; }
classic=999999 epub3=999999 classic_kib=0 epub3_kib=0
for run in $(seq "$runs"); do
  for kind in classic epub3; do
    rm -f "$work/$kind.epub"
    flag=--classic
    [ "$kind" = epub3 ] && flag=--epub3
    TMPDIR=$work/tmp /usr/bin/time -f '%e %M' -o "$work/$kind.time" \
      "$cli" $flag -t Bench -n 1024 -o "$work/$kind.epub" "$work/book.txt" >/dev/null
    read -r seconds kib <"$work/$kind.time"
    if [ "$kind" = classic ]; then
      classic=$(best "$classic" "$seconds"); classic_kib=$(( kib > classic_kib ? kib : classic_kib ))
    else
      epub3=$(best "$epub3" "$seconds"); epub3_kib=$(( kib > epub3_kib ? kib : epub3_kib ))
    fi
  done
  echo "run $run: classic $(cut -d' ' -f1 "$work/classic.time") s, epub3 $(cut -d' ' -f1 "$work/epub3.time") s"
done

python3 - "$classic" "$epub3" "$classic_kib" "$epub3_kib" "$book_bytes" \
  "$(stat -c %s "$work/classic.epub")" "$(stat -c %s "$work/epub3.epub")" <<'PY'
import sys
classic, epub3, classic_kib, epub3_kib, book, classic_size, epub3_size = map(float, sys.argv[1:])
ratio = epub3 / classic
memory = epub3_kib * 1024 / book
print('best of the runs: classic %.2f s (%.0f MiB), EPUB 3 %.2f s (%.0f MiB)'
      % (classic, classic_kib / 1024, epub3, epub3_kib / 1024))
print('wall-time ratio EPUB 3 / classic: %.2f (target <= 1.2) %s' % (ratio, 'ok' if ratio <= 1.2 else 'MISSED'))
print('EPUB 3 peak memory / book size: %.2f (target <= 4) %s' % (memory, 'ok' if memory <= 4 else 'MISSED'))
print('archive sizes: classic %d bytes, EPUB 3 %d bytes' % (classic_size, epub3_size))
PY
