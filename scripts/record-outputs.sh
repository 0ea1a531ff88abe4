#!/usr/bin/env bash
# Records the books and archives that a change to the structure must leave
# byte for byte as they were: the sample at 1, 12 and 1024 parts and every
# chapter fixture, in both kinds, and a qm-zipdir archive made new and then
# updated. Times are pinned (SOURCE_DATE_EPOCH, fixed file times) and the
# DOS times of every record are masked, so two runs of the same code agree.
# Usage: scripts/record-outputs.sh BIN_DIR OUT_DIR
#        scripts/record-outputs.sh --compare OUT_DIR_A OUT_DIR_B
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
mask() { python3 "$root/scripts/mask-zip-times.py" "$@"; }
if [ "${1:-}" = --compare ]; then
  diff -r "$2" "$3" && echo "identical: $(find "$2" -type f | wc -l) files"
  exit
fi
bin=$(cd "$1" && pwd)
out=$2
rm -rf "$out" && mkdir -p "$out"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export SOURCE_DATE_EPOCH=1700000000 LC_ALL=C.UTF-8
inputs=("$root/samples/sample-gbk.txt" "$root"/tests/conversion/chapters/*.txt)
for kind in classic epub3; do
  flag=(--classic); [ $kind = epub3 ] && flag=(--epub3)
  for src in "${inputs[@]}"; do
    name=$(basename "$src" .txt)
    cp "$src" "$work/$name.txt" && touch -d '2024-03-05 06:07:08' "$work/$name.txt"
    parts=(3); [ "$name" = sample-gbk ] && parts=(1 12 1024)
    for n in "${parts[@]}"; do
      book="$out/$kind-$name-$n.epub"
      "$bin/quillmark-cli" "${flag[@]}" -t "$name" -a author -n "$n" -o "$book" \
          "$work/$name.txt" >/dev/null 2>&1 || echo "failed: $kind $name $n" >>"$out/failures"
      [ -f "$book" ] && mask "$book"
    done
  done
done
# qm-zipdir: a tree packed new, then one file changed, one added, one removed.
tree="$work/tree"
mkdir -p "$tree/sub"
cp -r "$root/tests/conversion/chapters" "$tree/sub/"
cp "$root/samples/sample-gbk.txt" "$tree/"
head -c 300000 /dev/zero | tr '\0' 'q' >"$tree/big.txt"
find "$tree" -exec touch -h -d '2024-03-05 06:07:08' {} +
(cd "$work" && "$bin/qm-zipdir" "$out/zipdir.zip" tree >/dev/null)
cp "$out/zipdir.zip" "$out/zipdir-new.zip"
echo changed >>"$tree/sub/chapters/english.txt"
echo added >"$tree/added.txt"
rm "$tree/big.txt"
find "$tree" -exec touch -h -d '2024-03-06 06:07:08' {} +
(cd "$work" && "$bin/qm-zipdir" "$out/zipdir.zip" tree >/dev/null)
mv "$out/zipdir.zip" "$out/zipdir-updated.zip"
mask "$out/zipdir-new.zip" "$out/zipdir-updated.zip"
echo "recorded $(find "$out" -name '*.epub' | wc -l) books and 2 archives in $out"
