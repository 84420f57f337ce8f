#!/usr/bin/env bash
# Draws the reference maps with gdalwarp into build/fit-bench (2048 wide, Mollweide also 4096) and
# measures the fitting targets on them: outline fits with margins, a frame, a title and crops;
# control points with 0.5 px noise; ranking; timing; and times the whole --fit command on the
# framed large map. Usage: bench/fit_targets.sh [TRIALS] (FIT_ONLY=KEY: the maps of one projection)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
maps="$root/build/fit-bench/maps"
if [ ! -s "$maps/moll_4096x2048.env" ]; then
  OUT="$maps" SIZES=2048 LARGE=moll LARGE_W=4096 \
    "${REFERENCE_MAPS:-/work/shared/reference-maps}/make_sources.sh"
fi
cmake --build --preset release --target kartovel-fit-targets >/dev/null
# Idle OpenMP threads of the drawing would otherwise spin and count as the fits' processor time.
export OMP_WAIT_POLICY=passive
"$root/build/release/bin/kartovel-fit-targets" "$maps" "${1:-25}" 2>/dev/null

# The whole command on the framed large maps the program left: reading the picture, finding the
# outline and fitting. The least of five runs (others' work only slows a run down), with the load.
cmake --build --preset release --target kartovel-convert >/dev/null
printf '\n## Whole command: kartovel-convert --fit FRAMED --projection P (least of 5 runs)\n\n'
printf '| picture | wall s | CPU s (user + sys) | load |\n|---|---|---|---|\n'
for framed in "$maps"/*_framed.png; do
  [ -e "$framed" ] || continue
  key=$(basename "$framed" _framed.png)
  case "$key" in "${FIT_ONLY:-}"*) ;; *) continue ;; esac
  projection=$(. "$maps/$key.env" && echo "$PROJECTION")
  best=""
  for _ in 1 2 3 4 5; do
    run=$( { TIMEFORMAT='%R %U %S'; time "$root/build/release/bin/kartovel-convert" \
      --fit "$framed" --projection "$projection" >/dev/null; } 2>&1 | tail -1)
    if [ -z "$best" ] || awk -v a="$run" -v b="$best" 'BEGIN { split(a, x); split(b, y);
        exit !(x[1] < y[1]) }'; then best=$run; fi
  done
  read -r wall user sys <<<"$best"
  printf '| %s | %.2f | %.2f | %s |\n' "$(basename "$framed")" "$wall" \
    "$(awk -v u="$user" -v s="$sys" 'BEGIN { print u + s }')" "$(cut -d' ' -f1-3 /proc/loadavg)"
done
