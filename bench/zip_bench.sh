#!/usr/bin/env bash
# Packs a ~100 MB tree of mixed Chinese and English text files with qm-zipdir
# (fresh archive, level 6) and with Info-ZIP's "zip -6 -r -q", in the same run,
# and prints the time ratio ours/zip and our throughput.
set -euo pipefail
cd "$(dirname "$0")/.."
tool=build/bin/qm-zipdir
[ -x "$tool" ] || { echo "build qm-zipdir first (cmake --build build)" >&2; exit 1; }
command -v zip >/dev/null || { echo "zip is not installed" >&2; exit 1; }

work=$(mktemp -d "${TMPDIR:-/tmp}/qm-zipbench-XXXXXX")
trap 'rm -rf "$work"' EXIT
tree="$work/tree"

python3 - "$tree" <<'PY'
import os, random, sys
root = sys.argv[1]
rng = random.Random(2026)
hanzi = [chr(c) for c in range(0x4E00, 0x4E00 + 3000)]
words = ("the of and to in that was he for it with as his on be at by had not are but from "
         "or have an they which one you were her all she there would their we him been has when "
         "who will more no if out so said what up its about into than them can only other new "
         "chapter river mountain sword night village letter").split()
def paragraph():
    parts = []
    for _ in range(rng.randint(3, 12)):
        if rng.random() < 0.7:
            parts.append("".join(rng.choice(hanzi[:rng.choice((300, 1000, 3000))])
                                 for _ in range(rng.randint(8, 40))) + "。")
        else:
            parts.append(" ".join(rng.choice(words) for _ in range(rng.randint(5, 20))) + ". ")
    return "".join(parts) + "\n"
total = 0
target = 100 * 1024 * 1024
index = 0
while total < target:
    sub = os.path.join(root, "vol%02d" % (index // 40), "part%d" % (index % 3))
    os.makedirs(sub, exist_ok=True)
    size = int(rng.choice((4, 16, 64, 256, 1024, 3072)) * 1024 * rng.uniform(0.5, 1.5))
    chunks, length = [], 0
    while length < size:
        p = paragraph().encode("utf-8")
        chunks.append(p)
        length += len(p)
    data = b"".join(chunks)[:size]
    with open(os.path.join(sub, "ch%04d.txt" % index), "wb") as f:
        f.write(data)
    total += len(data)
    index += 1
print("tree: %d files, %.1f MB" % (index, total / 1048576))
PY

bytes=$(du -sb "$tree" | cut -f1)
ours="$work/ours.zip"
theirs="$work/zip.zip"
tool_abs=$(realpath "$tool")

if command -v hyperfine >/dev/null; then
  hyperfine --warmup 1 --runs 5 --export-json "$work/times.json" \
    --prepare "rm -f '$ours' '$theirs'" \
    -n qm-zipdir "'$tool_abs' -l 6 '$ours' '$tree'" \
    -n zip "cd '$tree' && zip -6 -r -q '$theirs' ." >/dev/null
  read -r t_ours t_zip < <(python3 -c "
import json, sys
r = {x['command']: x['mean'] for x in json.load(open(sys.argv[1]))['results']}
print(r['qm-zipdir'], r['zip'])" "$work/times.json")
else
  timeit() {
    local best=""
    for _ in 1 2 3; do
      rm -f "$ours" "$theirs"
      local s e
      s=$(date +%s.%N); eval "$1" >/dev/null; e=$(date +%s.%N)
      best=$(python3 -c "b='$best'; d=$e-$s; print(d if not b or d < float(b) else b)")
    done
    echo "$best"
  }
  t_ours=$(timeit "'$tool_abs' -l 6 '$ours' '$tree'")
  t_zip=$(timeit "(cd '$tree' && zip -6 -r -q '$theirs' .)")
fi

rm -f "$ours" "$theirs"
"$tool_abs" -l 6 "$ours" "$tree" >/dev/null
(cd "$tree" && zip -6 -r -q "$theirs" .)
unzip -tq "$ours" >/dev/null
python3 - "$t_ours" "$t_zip" "$bytes" "$ours" "$theirs" <<'PY'
import os, sys
ours, theirs, size = float(sys.argv[1]), float(sys.argv[2]), int(sys.argv[3])
print("qm-zipdir: %.3f s  %.1f MB/s  archive %.1f MB" % (ours, size / ours / 1e6, os.path.getsize(sys.argv[4]) / 1e6))
print("zip -6   : %.3f s  %.1f MB/s  archive %.1f MB" % (theirs, size / theirs / 1e6, os.path.getsize(sys.argv[5]) / 1e6))
print("ratio ours/zip: %.3f" % (ours / theirs))
PY
