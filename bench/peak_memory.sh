#!/usr/bin/env bash
# Peak memory of an 8192-wide export from the command line, against source + output + 10% (the
# export is streamed in bands, so it stays far below).
# Usage: bench/peak_memory.sh [build/release/bin]
set -euo pipefail
bin="${1:-build/release/bin}"
earth=/usr/share/xplanet/images/earth.jpg
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

peak_kib() { /usr/bin/time -f %M "$@" 2>&1 >/dev/null | tail -1; }

# A 4096 x 2048 source map made from the Earth picture of xplanet-images.
if [ ! -f "$earth" ]; then
  echo "peak memory: no Earth picture at $earth; skipped"
  exit 0
fi
"$bin/kartovel-convert" --to-projection "$earth" "$work/map.png" --aspect 0.5 --width 4096 --height 2048
baseline=$(peak_kib "$bin/kartovel-convert" --list)
peak=$(peak_kib "$bin/kartovel-convert" "$work/map.png" "$work/out.png" --aspect 0.5 --width 8192)
source_kib=$((4096 * 2048 * 4 / 1024))
output_kib=$((8192 * 4096 * 4 / 1024))
bound=$(((source_kib + output_kib) * 11 / 10))
echo "peak memory of an 8192-wide export: ${peak} KiB (program alone ${baseline} KiB);" \
  "source + output + 10% = ${bound} KiB"
