#!/usr/bin/env bash
# Fails, naming them, when a source file of a built folder is missing from
# the CMake lists (a test file left out would silently never run).
set -euo pipefail
cd "$(dirname "$0")/.."
lists=(CMakeLists.txt */CMakeLists.txt tests/*/CMakeLists.txt)
status=0
for dir in platform zip conversion conversion/*/ cli app bench fuzz tools tests/*/; do
  dir=${dir%/}
  for file in "$dir"/*.cpp "$dir"/*.h; do
    [ -e "$file" ] || continue
    if ! grep -qw -- "$(basename "$file")" "${lists[@]}"; then
      echo "not listed in CMake: $file"
      status=1
    fi
  done
done
exit $status
