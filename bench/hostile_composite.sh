#!/usr/bin/env bash
# Time of a 1024-wide conversion through hostile Projection.txt definitions, against the same
# conversion through the plain built-in projection their segments use (target: at most ~10x).
# Usage: bench/hostile_composite.sh [build/release/bin]
set -euo pipefail
bin="$(cd "${1:-build/release/bin}" && pwd)"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# kartovel-convert reads Projection.txt beside itself: a copy of the program per definition file.
setup() { mkdir -p "$work/$1" && cp "$bin/kartovel-convert" "$work/$1/" && cat >"$work/$1/Projection.txt"; }

# 1024 segments x 256 exclusions: every segment's last exclusion (inverted, radius 0) rejects
# every point, after 255 that reject none, so each point would try every segment.
awk 'BEGIN { print "Projection 200 Hostile"; for (s = 0; s < 1024; ++s) {
  print "Segment \x27Sinusoidal\x27 0, 0, 0, 0, 1, 0, 0";
  for (e = 0; e < 255; ++e) print "Exclude 1, 0, 5, 5, 0.001";
  print "Exclude 1, 1, 0, 0, 0"; print "EndSegment" } print "EndProjection" }' | setup exclusions
# 1024 orthographic segments centred on one point: every point of the far side fails in each.
awk 'BEGIN { print "Projection 200 Hostile"; for (s = 0; s < 1024; ++s)
  print "Segment \x27Orthographic\x27 0, 0, 0, 0, 1, 0, 0 EndSegment"; print "EndProjection" }' |
  setup segments
# 256 extents, every one holding every point.
awk 'BEGIN { print "Projection 200 Hostile"; for (s = 0; s < 256; ++s) print "Extent -9, 9, 9, -9";
  print "Segment \x27Sinusoidal\x27 0, 0, 0, 0, 1, 0, 0 EndSegment EndProjection" }' | setup extents

earth=/usr/share/xplanet/images/earth.jpg
if [ ! -f "$earth" ]; then
  echo "hostile composites: no Earth picture at $earth; skipped"
  exit 0
fi
"$bin/kartovel-convert" --to-projection --projection Sinusoidal --width 1024 --height 512 \
  "$earth" "$work/map.png"

seconds() {
  local start end
  start=$(date +%s.%N)
  "$@" >/dev/null 2>&1 || true
  end=$(date +%s.%N)
  awk -v a="$start" -v b="$end" 'BEGIN { print b - a }'
}
plain_s=$(seconds "$bin/kartovel-convert" --projection Sinusoidal "$work/map.png" "$work/out.png")
plain_o=$(seconds "$bin/kartovel-convert" --projection Orthographic "$work/map.png" "$work/out.png")
for variant in exclusions extents segments; do
  plain=$plain_s; [ "$variant" = segments ] && plain=$plain_o
  t=$(seconds "$work/$variant/kartovel-convert" --projection 200 "$work/map.png" "$work/out.png")
  awk -v v="$variant" -v t="$t" -v p="$plain" \
    'BEGIN { printf "hostile %-10s %7.2f s, plain %5.2f s: %5.1fx\n", v, t, p, t / p }'
done
