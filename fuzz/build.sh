#!/bin/sh
# Builds the fuzz targets with clang's libFuzzer and the address and
# undefined-behaviour sanitizers into build-fuzz/: the archive reader's and
# the text side's (decoding, cutting, pages and package documents).
# Run: build-fuzz/ReadDirectoryFuzzer fuzz/corpus -max_total_time=600
#      build-fuzz/BookTextFuzzer fuzz/text-corpus -max_total_time=600
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
out="$root/build-fuzz"
mkdir -p "$out"
flags="-std=c++20 -g -O1 -fno-omit-frame-pointer -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined"
clang++ $flags -I"$root" \
    "$root"/platform/*.cpp "$root"/zip/*.cpp "$root"/fuzz/ReadDirectoryFuzzer.cpp \
    -licuuc -licudata -lz -ldeflate -pthread -o "$out/ReadDirectoryFuzzer"
echo "$out/ReadDirectoryFuzzer"
clang++ $flags -I"$root" -I/usr/include/libxml2 -isystem /usr/include/opencc \
    "$root"/platform/*.cpp "$root"/zip/*.cpp "$root"/conversion/*.cpp \
    "$root"/fuzz/BookTextFuzzer.cpp \
    -licui18n -licuuc -licudata -lopencc -lz -ldeflate -lxml2 -pthread -o "$out/BookTextFuzzer"
echo "$out/BookTextFuzzer"
