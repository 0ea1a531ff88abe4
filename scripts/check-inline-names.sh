#!/usr/bin/env bash
# Fails, naming them, when two headers define an inline constant, variable or
# function of the same name. Each such definition must be the same wherever
# it is seen; two different ones in one program break the one-definition
# rule, and the linker may silently keep either.
set -euo pipefail
cd "$(dirname "$0")/.."
mapfile -t headers < <(ls platform/*.h zip/*.h conversion/*/*.h cli/*.h app/*.h 2>/dev/null || true)
# "inline [constexpr] TYPE NAME =|(|{" at the start of a line, one name a line.
names=$(for header in "${headers[@]}"; do
  sed -nE 's/^[[:space:]]*inline[[:space:]]+(constexpr[[:space:]]+)?[^=({;]*[^[:alnum:]_:]([[:alpha:]_][[:alnum:]_]*)[[:space:]]*(=|\(|\{).*/\2/p' \
    "$header" | sort -u | sed "s|\$| $header|"
done)
duplicates=$(awk '{count[$1]++; where[$1] = where[$1] " " $2} END {for (n in count) if (count[n] > 1) print n ":" where[n]}' <<<"$names")
if [ -n "$duplicates" ]; then
  echo "inline names defined in more than one header:"
  echo "$duplicates"
  exit 1
fi
echo "inline names: $(wc -l <<<"$names") definitions, each in one header"
