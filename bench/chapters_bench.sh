#!/usr/bin/env bash
# Chapters: a generated 10 MB GBK novel of 4,000 chapters in 40 volumes and
# the ~100 MB book, each made into an EPUB 3 book divided at its headings
# and into the classic layout (1024 parts) in the same run. Reports the
# wall-time ratio (target <= 1.2) and chapters per second end to end, and
# the same from CPU time (user + system), which a busy machine disturbs less.
# Not a test: it prints figures. CHAPTERS_BENCH_KEEP=DIR keeps the novel's
# book there.
set -euo pipefail
cd "$(dirname "$0")/.."
cli=$PWD/build/bin/quillmark-cli
runs=${CHAPTERS_BENCH_RUNS:-3}
work=$(mktemp -d "${TMPDIR:-/tmp}/quillmark-bench-XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir "$work/tmp"

python3 bench/gen_book.py "$work/novel.txt" 10000000 4000 40
python3 bench/gen_book.py "$work/big.txt" "${BOOK_BENCH_SIZE:-100000000}"

best() { python3 -c "print(min($1, $2))"; }
for book in novel big; do
  classic=999999 epub3=999999 classic_cpu=999999 epub3_cpu=999999
  for run in $(seq "$runs"); do
    rm -f "$work/$book-classic.epub" "$work/$book-epub3.epub"
    TMPDIR=$work/tmp /usr/bin/time -f '%e %U %S' -o "$work/t" \
      "$cli" --classic -t Bench -n 1024 -o "$work/$book-classic.epub" "$work/$book.txt" >/dev/null
    read -r wall user sys <"$work/t"
    classic=$(best "$classic" "$wall"); classic_cpu=$(best "$classic_cpu" "$user + $sys")
    TMPDIR=$work/tmp /usr/bin/time -f '%e %U %S' -o "$work/t" \
      "$cli" --epub3 -t Bench -o "$work/$book-epub3.epub" "$work/$book.txt" >"$work/$book.out"
    read -r wall user sys <"$work/t"
    epub3=$(best "$epub3" "$wall"); epub3_cpu=$(best "$epub3_cpu" "$user + $sys")
  done
  found=$(grep -o 'Found.*' "$work/$book.out")
  chapters=$(echo "$found" | grep -o '[0-9]* chapters' | cut -d' ' -f1)
  python3 - "$book" "$(stat -c %s "$work/$book.txt")" "$classic" "$epub3" "$chapters" "$found" \
    "$classic_cpu" "$epub3_cpu" <<'PY'
import sys
book, size, classic, epub3, chapters, found, classic_cpu, epub3_cpu = sys.argv[1:]
size, classic, epub3, chapters = int(size), float(classic), float(epub3), int(chapters)
classic_cpu, epub3_cpu = float(classic_cpu), float(epub3_cpu)
ratio = epub3 / classic
print('%s: %d bytes; %s' % (book, size, found))
print('  best of the runs: classic (1024 parts) %.2f s, EPUB 3 with chapters %.2f s' % (classic, epub3))
print('  wall-time ratio %.2f (target <= 1.2) %s; %.0f chapters per second end to end'
      % (ratio, 'ok' if ratio <= 1.2 else 'MISSED', chapters / epub3))
print('  CPU time: classic %.2f s, EPUB 3 %.2f s, ratio %.2f; %.0f chapters per CPU second'
      % (classic_cpu, epub3_cpu, epub3_cpu / classic_cpu, chapters / epub3_cpu))
PY
done
if [ -n "${CHAPTERS_BENCH_KEEP:-}" ]; then
  mkdir -p "$CHAPTERS_BENCH_KEEP"
  cp "$work/novel-epub3.epub" "$work/novel.txt" "$CHAPTERS_BENCH_KEEP/"
fi
