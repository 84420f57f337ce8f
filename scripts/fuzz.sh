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
./build/fuzz/bin/kartovel-fuzz -max_total_time="$seconds" -max_len=12000 -timeout=10 \
  -rss_limit_mb=2048 -print_final_stats=1 -dict=tests/fuzz/definitions.dict \
  -artifact_prefix=build/fuzz/artifacts/ \
  build/fuzz/corpus tests/fuzz/corpus
