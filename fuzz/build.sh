#!/bin/sh
# Builds the archive reader's fuzz target with clang's libFuzzer and the
# address and undefined-behaviour sanitizers into build-fuzz/.
# Run: build-fuzz/ReadDirectoryFuzzer fuzz/corpus -max_total_time=600
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
out="$root/build-fuzz"
mkdir -p "$out"
flags="-std=c++20 -g -O1 -fno-omit-frame-pointer -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined"
clang++ $flags -I"$root" \
    "$root"/platform/*.cpp "$root"/zip/*.cpp "$root"/fuzz/ReadDirectoryFuzzer.cpp \
    -licuuc -licudata -lz -o "$out/ReadDirectoryFuzzer"
echo "$out/ReadDirectoryFuzzer"
