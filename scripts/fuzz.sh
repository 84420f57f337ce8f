#!/usr/bin/env bash
# Builds the fuzz targets with clang and libFuzzer (build/fuzz) and runs each for the given number
# of seconds (default 20) over its seed corpus: the readers of Projection.txt (kartovel-fuzz) and
# picture loading (kartovel-fuzz-image). New inputs go to build/fuzz/<target>-corpus, crashes to
# build/fuzz/artifacts; the committed seeds are never written.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-20}"

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz --target kartovel-fuzz kartovel-fuzz-image -j2
mkdir -p build/fuzz/artifacts

# run TARGET SEEDS [libFuzzer options...]: the run's chatter goes to a log; its summary, or the
# end of the log on a failure, is printed. -timeout catches hangs.
run() {
  local target="$1" seeds="$2"
  shift 2
  local log="build/fuzz/$target.log"
  mkdir -p "build/fuzz/$target-corpus"
  if ! "./build/fuzz/bin/$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix=build/fuzz/artifacts/ "$@" \
    "build/fuzz/$target-corpus" "$seeds" >"$log" 2>&1; then
    tail -n 60 "$log"
    echo "fuzz: $target failed (log: $log)" >&2
    return 1
  fi
  echo "$target:"
  grep -E '^(Done|stat::number_of_executed_units|stat::peak_rss_mb)' "$log"
}

# -max_len above the 4094-character line so long lines get split.
run kartovel-fuzz tests/fuzz/corpus -max_len=12000 -dict=tests/fuzz/definitions.dict
run kartovel-fuzz-image tests/fuzz/image_corpus -max_len=20000
