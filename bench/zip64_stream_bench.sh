#!/usr/bin/env bash
# A 5 GB sparse file is too large to deflate in memory: qm-zipdir streams it
# through zlib into a Zip64 entry. Prints the time and checks the archive
# with unzip -t and Python's zipfile. Needs about 10 MB of disk.
set -euo pipefail
cd "$(dirname "$0")/.."
zipdir=$PWD/build/bin/qm-zipdir
work=$(mktemp -d "${TMPDIR:-/tmp}/quillmark-zip64-XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir "$work/src"
printf 'head' >"$work/src/small.txt"
truncate -s 5G "$work/src/sparse.bin"
start=$(date +%s.%N)
nice -n 19 "$zipdir" -l 1 "$work/big.zip" "$work/src" >/dev/null
end=$(date +%s.%N)
python3 -c "print('5 GB sparse file packed in %.1f s, archive %d bytes' % ($end - $start, $(stat -c %s "$work/big.zip")))"
unzip -tq "$work/big.zip"
python3 - "$work/big.zip" <<'PY'
import sys, zipfile
z = zipfile.ZipFile(sys.argv[1])
info = z.getinfo("sparse.bin")
assert info.file_size == 5 * 2**30 and info.compress_type == zipfile.ZIP_DEFLATED
print("python: sparse.bin %d bytes, deflated to %d; testzip %s" % (info.file_size, info.compress_size, z.testzip()))
PY
