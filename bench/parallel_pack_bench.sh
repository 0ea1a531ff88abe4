#!/usr/bin/env bash
# Packing on every core, measured as a user would: in one run, alternating,
#  - quillmark-cli -n 1024 and -n 1 on the generated ~100 MB GBK book, each
#    against `zip -6 -r` of the same book's files extracted into a tree
#    (targets: 0.35 and 0.42 of zip's wall time), with peak memory against
#    the book (targets: 2 and 3);
#  - qm-zipdir against `zip -6 -r` on a ~100 MB tree of 5,000 files (0.4).
# Not a test: it prints the figures and the targets beside them.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
cli=$root/build/bin/quillmark-cli
zipdir=$root/build/bin/qm-zipdir
size=${BOOK_BENCH_SIZE:-100000000}
rounds=${BENCH_ROUNDS:-3}
work=$(mktemp -d "${TMPDIR:-/tmp}/quillmark-pack-XXXXXX")
trap 'rm -rf "$work"' EXIT

python3 bench/gen_book.py "$work/book.txt" "$size"
python3 - "$work/tree" <<'PY'
import os, random, sys
rng = random.Random(14)
hanzi = [chr(c) for c in range(0x4E00, 0x4E00 + 3000)]
for i in range(5000):
    d = os.path.join(sys.argv[1], "d%02d" % (i // 100))
    os.makedirs(d, exist_ok=True)
    size = int(rng.choice((4, 8, 12, 16, 20, 24, 32, 40, 48)) * 1024 * rng.uniform(0.5, 1.5))
    text = "".join(rng.choice(hanzi[:rng.choice((300, 3000))]) for _ in range(size // 3))
    open(os.path.join(d, "f%04d.txt" % i), "wb").write(text.encode("utf-8")[:size])
PY
mkdir "$work/tmp" "$work/stage1024" "$work/stage1"
TMPDIR=$work/tmp "$cli" --classic -t Bench -n 1024 -o "$work/b1024.epub" "$work/book.txt" >/dev/null
TMPDIR=$work/tmp "$cli" --classic -t Bench -n 1 -o "$work/b1.epub" "$work/book.txt" >/dev/null
(cd "$work/stage1024" && unzip -q "$work/b1024.epub")
(cd "$work/stage1" && unzip -q "$work/b1.epub")

python3 - "$work" "$cli" "$zipdir" "$rounds" "$(stat -c %s "$work/book.txt")" <<'PY'
import os, subprocess, sys, time
work, cli, zipdir, rounds, book = sys.argv[1], sys.argv[2], sys.argv[3], int(sys.argv[4]), int(sys.argv[5])
env = dict(os.environ, TMPDIR=work + "/tmp")
def run(args, cwd=None):
    out = work + "/out.bin"
    if os.path.exists(out): os.remove(out)
    args = [a.replace("OUT", out) for a in args]
    start = time.perf_counter()
    r = subprocess.run(["/usr/bin/time", "-f", "%M"] + args, cwd=cwd, env=env, check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
    return time.perf_counter() - start, int(r.stderr.strip().splitlines()[-1]) * 1024, os.path.getsize(out)
cases = {
    "cli -n 1024": [cli, "--classic", "-t", "Bench", "-n", "1024", "-o", "OUT", work + "/book.txt"],
    "zip stage 1024": (["zip", "-6", "-r", "-q", "OUT", "."], work + "/stage1024"),
    "cli -n 1": [cli, "--classic", "-t", "Bench", "-n", "1", "-o", "OUT", work + "/book.txt"],
    "zip stage 1": (["zip", "-6", "-r", "-q", "OUT", "."], work + "/stage1"),
    "qm-zipdir tree": [zipdir, "OUT", work + "/tree"],
    "zip tree": (["zip", "-6", "-r", "-q", "OUT", "."], work + "/tree"),
}
best = {}
for _ in range(rounds):
    for name, case in cases.items():
        args, cwd = case if isinstance(case, tuple) else (case, None)
        wall, peak, out = run(args, cwd)
        old = best.get(name)
        best[name] = (min(wall, old[0]) if old else wall, max(peak, old[1]) if old else peak, out)
for name, (wall, peak, out) in best.items():
    print("%-15s %6.2f s  peak %5.0f MiB  output %6.1f MB" % (name, wall, peak / 2**20, out / 1e6))
def ratio(a, b, target):
    r = best[a][0] / best[b][0]
    print("%s / %s: %.2f (target <= %.2f) %s" % (a, b, r, target, "ok" if r <= target else "MISSED"))
ratio("cli -n 1024", "zip stage 1024", 0.35)
ratio("cli -n 1", "zip stage 1", 0.42)
ratio("qm-zipdir tree", "zip tree", 0.4)
for name, target in (("cli -n 1024", 2), ("cli -n 1", 3)):
    m = best[name][1] / book
    print("%s peak memory / book: %.2f (target <= %d) %s" % (name, m, target, "ok" if m <= target else "MISSED"))
PY
