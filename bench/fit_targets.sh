#!/usr/bin/env bash
# Draws the reference maps with gdalwarp into build/fit-bench (2048 wide, Mollweide also 4096) and
# measures the fitting targets on them: outline fits with margins, a frame, a title and crops;
# control points with 0.5 px noise; ranking; timing. Usage: bench/fit_targets.sh [TRIALS]
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
