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

python3 - "$tree" "${QM_BENCH_MB:-100}" <<'PY'
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
target = int(sys.argv[2]) * 1024 * 1024
index = 0
while total < target:
    sub = os.path.join(root, "vol%02d" % (index // 40), "part%d" % (index % 3))
    os.makedirs(sub, exist_ok=True)
    size = int(rng.choice((4, 8, 16, 32, 64, 128, 256, 512, 1024, 2048)) * 1024 * rng.uniform(0.5, 1.5))
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

# The machine may be shared: the two commands alternate, and the best of
# each (wall clock and CPU time of the child) is taken.
read -r t_ours t_zip c_ours c_zip < <(python3 - "$tool_abs" "$tree" "$ours" "$theirs" "${QM_BENCH_ROUNDS:-3}" <<'PY'
import os, resource, subprocess, sys, time
tool, tree, ours, theirs, rounds = sys.argv[1:6]
def timed(args, cwd=None):
    for f in (ours, theirs):
        if os.path.exists(f): os.remove(f)
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    start = time.perf_counter()
    subprocess.run(args, cwd=cwd, check=True, stdout=subprocess.DEVNULL)
    wall = time.perf_counter() - start
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    return wall, (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)
best = {"ours": [1e9, 1e9], "zip": [1e9, 1e9]}
for _ in range(int(rounds)):
    for name, args, cwd in (("ours", [tool, "-l", "6", ours, tree], None),
                            ("zip", ["zip", "-6", "-r", "-q", theirs, "."], tree)):
        wall, cpu = timed(args, cwd)
        best[name] = [min(best[name][0], wall), min(best[name][1], cpu)]
print(best["ours"][0], best["zip"][0], best["ours"][1], best["zip"][1])
PY
)

rm -f "$ours" "$theirs"
"$tool_abs" -l 6 "$ours" "$tree" >/dev/null
(cd "$tree" && zip -6 -r -q "$theirs" .)
unzip -tq "$ours" >/dev/null
python3 - "$t_ours" "$t_zip" "$c_ours" "$c_zip" "$bytes" "$ours" "$theirs" <<'PY'
import os, sys
ours, theirs, cpu_ours, cpu_zip = map(float, sys.argv[1:5])
size = int(sys.argv[5])
print("qm-zipdir: %.3f s wall, %.3f s CPU, %.1f MB/s, archive %.1f MB"
      % (ours, cpu_ours, size / ours / 1e6, os.path.getsize(sys.argv[6]) / 1e6))
print("zip -6   : %.3f s wall, %.3f s CPU, %.1f MB/s, archive %.1f MB"
      % (theirs, cpu_zip, size / theirs / 1e6, os.path.getsize(sys.argv[7]) / 1e6))
print("ratio ours/zip: %.3f wall, %.3f CPU" % (ours / theirs, cpu_ours / cpu_zip))
PY
