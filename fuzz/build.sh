#!/bin/sh
# Builds the fuzz targets with clang's libFuzzer and the address and
# undefined-behaviour sanitizers into build-fuzz/bin/: the archive reader's
# and the text side's (decoding, cutting, pages and package documents).
# Run: build-fuzz/bin/ReadDirectoryFuzzer fuzz/corpus -max_total_time=600
#      build-fuzz/bin/BookTextFuzzer fuzz/text-corpus -max_total_time=600
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
CC=clang CXX=clang++ cmake -S "$root" -B "$root/build-fuzz" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DQM_BUILD_FUZZERS=ON -DQM_SANITIZE=ON -DQM_BUILD_PROGRAMS=OFF -DQM_BUILD_TESTS=OFF
cmake --build "$root/build-fuzz" -j2 --target ReadDirectoryFuzzer BookTextFuzzer
