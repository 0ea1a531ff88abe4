#!/usr/bin/env bash
# Builds the libraries, their unit tests and the fuzz targets with clang,
# AddressSanitizer and UndefinedBehaviorSanitizer into build-sanitize/, and
# runs the unit tests once (the window's, the CLI's and the install tests,
# which drive external programs, run in the normal build only).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out="$root/build-sanitize"
CC=clang CXX=clang++ cmake -S "$root" -B "$out" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
  -DCMAKE_CXX_FLAGS_DEBUG="-g -O1" -DQM_SANITIZE=ON -DQM_BUILD_FUZZERS=ON \
  -DQM_BUILD_PROGRAMS=OFF >/dev/null
cmake --build "$out" -j 2
# Leak checking stays on; the window (Qt) is not in these suites, and of the
# libraries they use (ICU, zlib, OpenCC, libxml2, libpng, libjpeg, Pango,
# Cairo) only the font libraries' lifelong caches are let pass.
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export LSAN_OPTIONS="suppressions=$root/scripts/lsan-suppressions.txt"
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
ctest --test-dir "$out" --output-on-failure -j 2
