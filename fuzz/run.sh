#!/bin/sh
# Runs one fuzz target for SECONDS with its flags, dictionary and seed
# corpus, and prints one line: executions, executions per second, coverage
# and findings. New inputs go to build-fuzz/runs/TARGET/corpus (the seeds in
# fuzz/ are only read); a finding is kept in build-fuzz/runs/TARGET/ and
# named on the line. Builds the targets first when needed (fuzz/build.sh).
# Usage: fuzz/run.sh TARGET SECONDS [extra libFuzzer flags]
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
[ $# -ge 2 ] || { echo "usage: $0 TARGET SECONDS [libFuzzer flags]" >&2; exit 2; }
target=$1
seconds=$2
shift 2
case $target in
  ReadDirectoryFuzzer) seeds=corpus dict=archive.dict timeout=10 ;;
  ArchiveUpdateFuzzer) seeds=corpus dict=archive.dict timeout=60 ;;
  ArchiveRepairFuzzer) seeds=repair-corpus dict=repair.dict timeout=60 ;;
  BookTextFuzzer) seeds=text-corpus dict=text.dict timeout=10 ;;
  BookFilesFuzzer) seeds=files-corpus dict=text.dict timeout=60 ;;
  *) echo "unknown target: $target" >&2; exit 2 ;;
esac
binary=$root/build-fuzz/bin/$target
[ -x "$binary" ] || "$root/fuzz/build.sh" >&2
out=$root/build-fuzz/runs/$target
mkdir -p "$out/corpus"
log=$out/last.log
touch "$out/.start"
# The font libraries' lifelong caches are no leak of ours (as in
# scripts/sanitize.sh); options the caller set come after, so they win.
LSAN_OPTIONS="suppressions=$root/scripts/lsan-suppressions.txt${LSAN_OPTIONS:+:$LSAN_OPTIONS}"
export LSAN_OPTIONS
status=0
"$binary" -max_total_time="$seconds" -timeout="$timeout" -max_len=4096 \
    -dict="$root/fuzz/$dict" -artifact_prefix="$out/" -print_final_stats=1 "$@" \
    "$out/corpus" "$root/fuzz/$seeds" >"$log" 2>&1 || status=$?
# The final statistics; a -fork=N run prints none, so its last progress
# line stands in for them.
stat() { sed -n "s/^stat::$1: *//p" "$log" | tail -n 1; }
progress=$(grep -E '^#[0-9]+' "$log" | tail -n 1)
runs=$(stat number_of_executed_units)
rate=$(stat average_exec_per_sec)
[ -n "$runs" ] || runs=$(printf '%s' "$progress" | sed -n 's/^#\([0-9]*\).*/\1/p')
[ -n "$rate" ] || rate=$(printf '%s' "$progress" | sed -n 's/.*exec\/s:* \([0-9]*\).*/\1/p')
cov=$(grep -o 'cov: [0-9]*' "$log" | tail -n 1 | cut -d' ' -f2)
findings=$(find "$out" -maxdepth 1 -newer "$out/.start" -type f \
    \( -name 'crash-*' -o -name 'leak-*' -o -name 'timeout-*' -o -name 'oom-*' \) | sort)
count=$(printf '%s' "$findings" | grep -c . || true)
printf '%s: %s s, executions %s, executions/s %s, coverage %s, findings %s%s\n' \
    "$target" "$seconds" "$runs" "$rate" \
    "${cov:-?}" "$count" "${findings:+ ($(echo $findings))}"
[ "$status" -eq 0 ] || [ "$count" -gt 0 ] || { echo "the target failed; see $log" >&2; exit 1; }
[ "$count" -eq 0 ]
