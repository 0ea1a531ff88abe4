#!/bin/sh
# Builds the fuzz targets with clang's libFuzzer and the address and
# undefined-behaviour sanitizers into build-fuzz/bin/. Fast, in memory: the
# archive reader's (ReadDirectoryFuzzer) and the text side's
# (BookTextFuzzer). Round trips through files: an update into a committed
# archive (ArchiveUpdateFuzzer), a repair of a damaged directory
# (ArchiveRepairFuzzer) and whole conversions with raw-byte titles, authors,
# file names and options (BookFilesFuzzer).
# Run one: fuzz/run.sh TARGET SECONDS
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
CC=clang CXX=clang++ cmake -S "$root" -B "$root/build-fuzz" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DQM_BUILD_FUZZERS=ON -DQM_SANITIZE=ON -DQM_BUILD_PROGRAMS=OFF -DQM_BUILD_TESTS=OFF
cmake --build "$root/build-fuzz" -j2 --target ReadDirectoryFuzzer BookTextFuzzer \
    ArchiveUpdateFuzzer ArchiveRepairFuzzer BookFilesFuzzer
