#!/usr/bin/env bash
# Fails, naming the files, when a source differs from what the project's
# .clang-format makes of it. Fix with: clang-format -i FILE...
set -euo pipefail
cd "$(dirname "$0")/.."
clang_format=${1:-clang-format}
git ls-files -- '*.cpp' '*.h' | xargs "$clang_format" --dry-run -Werror
