#!/usr/bin/env bash
# Runs every benchmark script in this folder (bench/*_bench.sh) in turn.
set -euo pipefail
cd "$(dirname "$0")/.."
for script in bench/*_bench.sh; do
  [ -e "$script" ] || continue
  echo "== $script"
  bash "$script"
done
