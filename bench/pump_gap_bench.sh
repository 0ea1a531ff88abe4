#!/usr/bin/env bash
# The longest stretch without event handling during a conversion, for three
# ~100 MB books: the generated GBK novel, the same novel in UTF-8, and a GBK
# book whose characters all look like two-byte UTF-8 sequences until its last
# one (so the UTF-8 check runs through nearly the whole book before it
# fails). Each is converted into 1 and into 200 parts, and the first two into
# EPUB 3 books divided at their headings. Not a test: it prints the figures
# of bench/pump_gap.
set -euo pipefail
cd "$(dirname "$0")/.."
size=${PUMP_GAP_SIZE:-100000000}
work=$(mktemp -d "${TMPDIR:-/tmp}/quillmark-gap-XXXXXX")
trap 'rm -rf "$work"' EXIT

python3 bench/gen_book.py "$work/novel.txt" "$size"
python3 - "$work" "$size" <<'PY'
import random, sys
work, size = sys.argv[1], int(sys.argv[2])
with open(work + '/novel.txt', 'rb') as f:
    open(work + '/novel-utf8.txt', 'wb').write(f.read().decode('gbk').encode('utf-8'))
rng = random.Random(7)
# Lead bytes C0..D7 with bit 0x20 clear and trail bytes A1..BF: every
# character passes for a two-byte UTF-8 sequence.
chars = [bytes([hi, lo]) for hi in range(0xC0, 0xD8) for lo in range(0xA1, 0xC0)]
line = b''.join(rng.choice(chars) for _ in range(2000)) + b'\r\n'
with open(work + '/lookalike.txt', 'wb') as out:
    for _ in range(size // len(line)):
        out.write(line)
    out.write('你好'.encode('gbk'))
PY
for book in novel novel-utf8 lookalike; do
  for parts in 1 200; do
    echo "== $book.txt, $parts parts"
    TMPDIR=$work build/bin/pump_gap "$work/$book.txt" "$parts" | grep -v '^result'
  done
done
for book in novel novel-utf8; do
  echo "== $book.txt, EPUB 3 with chapters"
  TMPDIR=$work build/bin/pump_gap "$work/$book.txt" 1 --epub3 | grep -v '^result'
done
