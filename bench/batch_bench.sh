#!/usr/bin/env bash
# Batch benchmark: 200 GBK books of about 500 KB each, 64 parts each, with
# one `quillmark-cli -j 2 -O DIR` against a shell loop of single conversions.
# Reports the wall-time ratio batch / loop. Not a test: it prints figures and
# the target beside them.
set -euo pipefail
cd "$(dirname "$0")/.."
cli=$PWD/build/bin/quillmark-cli
books=${BATCH_BENCH_BOOKS:-200}
book_size=${BATCH_BENCH_BOOK_SIZE:-500000}
runs=${BATCH_BENCH_RUNS:-2}
work=$(mktemp -d "${TMPDIR:-/tmp}/quillmark-batch-bench-XXXXXX")
trap 'rm -rf "$work"' EXIT

# One long generated text cut at line ends into books of their own.
python3 bench/gen_book.py "$work/all.txt" $((books * book_size))
python3 - "$work/all.txt" "$work/books" "$books" "$book_size" <<'PY'
import os, sys
text, folder, count, size = open(sys.argv[1], 'rb').read(), sys.argv[2], int(sys.argv[3]), int(sys.argv[4])
os.mkdir(folder)
start = 0
for n in range(count):
    end = text.find(b'\r\n', start + size) + 2 if n + 1 < count else len(text)
    with open(os.path.join(folder, 'book%03d.txt' % n), 'wb') as out:
        out.write(text[start:end])
    start = end
PY
echo "$books books of about $book_size bytes, 64 parts each"

now() { date +%s.%N; }
batch_best=999999 loop_best=999999
mkdir "$work/tmp"
for run in $(seq "$runs"); do
  rm -rf "$work/batch" "$work/loop"
  start=$(now)
  TMPDIR=$work/tmp "$cli" --classic -j 2 -n 64 -O "$work/batch" "$work"/books/*.txt >/dev/null
  batch=$(python3 -c "print($(now) - $start)")
  mkdir "$work/loop"
  start=$(now)
  for book in "$work"/books/*.txt; do
    name=$(basename "$book" .txt)
    TMPDIR=$work/tmp "$cli" --classic -n 64 -o "$work/loop/$name.epub" "$book" >/dev/null
  done
  loop=$(python3 -c "print($(now) - $start)")
  printf 'run %d: batch %.2f s, loop %.2f s\n' "$run" "$batch" "$loop"
  batch_best=$(python3 -c "print(min($batch_best, $batch))")
  loop_best=$(python3 -c "print(min($loop_best, $loop))")
done
[ "$(ls "$work/batch" | wc -l)" = "$books" ] || { echo "the batch did not make every book" >&2; exit 1; }

python3 - "$batch_best" "$loop_best" <<'PY'
import sys
batch, loop = map(float, sys.argv[1:])
ratio = batch / loop
print('best of the runs: quillmark-cli -j 2 -O: %.2f s; shell loop: %.2f s' % (batch, loop))
print('wall-time ratio batch/loop: %.2f (target <= 0.8) %s' % (ratio, 'ok' if ratio <= 0.8 else 'MISSED'))
PY
