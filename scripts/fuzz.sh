#!/usr/bin/env bash
# Builds the fuzz target with clang and libFuzzer (build/fuzz) and runs it for the given number of
# seconds (default 20) over the seed corpus. New inputs go to build/fuzz/corpus, crashes to
# build/fuzz/artifacts; the committed seeds are never written.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-20}"

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz --target kartovel-fuzz -j2
mkdir -p build/fuzz/corpus build/fuzz/artifacts
# -max_len above the 4094-character line so long lines get split; -timeout catches hangs.
# The run's chatter goes to a log; its summary, or the end of the log on a failure, is printed.
log=build/fuzz/last-run.log
if ! ./build/fuzz/bin/kartovel-fuzz -max_total_time="$seconds" -max_len=12000 -timeout=10 \
  -rss_limit_mb=2048 -print_final_stats=1 -dict=tests/fuzz/definitions.dict \
  -artifact_prefix=build/fuzz/artifacts/ \
  build/fuzz/corpus tests/fuzz/corpus >"$log" 2>&1; then
  tail -n 60 "$log"
  echo "fuzz: failed (log: $log)" >&2
  exit 1
fi
grep -E '^(Done|stat::number_of_executed_units|stat::peak_rss_mb)' "$log"
