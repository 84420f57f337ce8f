#!/usr/bin/env bash
# Converts world maps drawn by gdalwarp in Robinson, Winkel Tripel and Equal Earth back to the
# Earth with kartovel-convert, and measures PSNR against the original over |lat| <= 60 (target:
# at least 40 dB). gdalwarp's own way back (the peer) is timed and measured in the same run.
#
#   bench/world_map_roundtrip.sh [build/release/bin]
#
# Needs gdal-bin, g++, the Earth picture of xplanet-images and ../shared/reference-maps (its
# sources.py table, extended by bench/world_map_sources.py, and psnr.cpp). Environment: OUT (work
# folder, default build/release/world-maps), WIDTH (of the maps drawn and of the exports, 2048),
# KEYS (default "robin wintri eqearth"), EARTH, REFERENCE_MAPS.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
bin=$(cd "${1:-$here/../build/release/bin}" && pwd)
export REFERENCE_MAPS=${REFERENCE_MAPS:-$here/../../shared/reference-maps}
EARTH=${EARTH:-/usr/share/xplanet/images/earth.jpg}
OUT=${OUT:-$here/../build/release/world-maps}
WIDTH=${WIDTH:-2048}
KEYS=${KEYS:-robin wintri eqearth}
LL='+proj=longlat +R=1 +no_defs +type=crs'
export GDAL_PAM_ENABLED=NO

for tool in gdalwarp gdal_translate g++; do
  command -v "$tool" >/dev/null || { echo "world map round trip: $tool is missing (apt-get install gdal-bin g++)" >&2; exit 1; }
done
[ -r "$REFERENCE_MAPS/psnr.cpp" ] || { echo "world map round trip: no $REFERENCE_MAPS/psnr.cpp" >&2; exit 1; }
[ -r "$EARTH" ] || { echo "world map round trip: no Earth picture $EARTH (xplanet-images)" >&2; exit 1; }
mkdir -p "$OUT"
[ -x "$OUT/psnr" ] || g++ -O2 -std=c++17 "$REFERENCE_MAPS/psnr.cpp" -o "$OUT/psnr"

# The original, georeferenced, and resampled to the export's own sample grid.
[ -s "$OUT/earth_ll.tif" ] || gdal_translate -q -a_srs "$LL" -a_ullr -180 90 180 -90 "$EARTH" "$OUT/earth_ll.tif"
height=$((WIDTH / 2))
grid=$(python3 -c "W,H=$WIDTH,$height; print(-180-180/W, -90+90/H, 180-180/W, 90+90/H)")
# shellcheck disable=SC2086  # grid is four numbers
gdalwarp -q -overwrite -t_srs "$LL" -r bilinear -te $grid -ts "$WIDTH" "$height" \
  "$OUT/earth_ll.tif" "$OUT/reference.tif"
gdal_translate -q -of PNM -b 1 -b 2 -b 3 "$OUT/reference.tif" "$OUT/reference.ppm"

seconds() { local start=$EPOCHREALTIME; "$@"; python3 -c "print(f'{$EPOCHREALTIME - $start:.2f}')"; }
band60() { "$OUT/psnr" "$@" --grid program | awk '/^\|lat\|<=60/ {print $5}'; }

printf '%-8s %9s %9s %9s %9s %7s\n' map "ours dB" "gdal dB" "ours s" "gdal s" ratio
status=0
# shellcheck disable=SC2086  # KEYS and te are lists
while IFS='|' read -r key w h proj te; do
  stem="$OUT/${key}_${w}x${h}"
  # The map as a user has it: drawn by gdalwarp, RGB, black outside the world.
  gdalwarp -q -overwrite -t_srs "$proj +type=crs" -te $te -ts "$w" "$h" -r bilinear -et 0 \
    -dstalpha -wo SAMPLE_GRID=YES "$OUT/earth_ll.tif" "$stem.tif" 2>>"$OUT/gdalwarp.log"
  gdal_translate -q -b 1 -b 2 -b 3 -of PNG "$stem.tif" "$stem.png"
  python3 "$here/world_map_sources.py" sidecar "$key" "$w" "$OUT" >/dev/null
  # shellcheck disable=SC1090
  . "$stem.env"
  # The sidecar holds the engine's stored convention (latitudes and the y offset negated); the
  # command line takes them north-positive and upward.
  north_lat=$(python3 -c "print(-($CENTER_LAT))")
  up_offset=$(python3 -c "print(-($OFFSET_Y))")
  ours=$(seconds "$bin/kartovel-convert" "$stem.png" "$stem.back.png" --projection "$PROJECTION" \
    --center "$north_lat,$CENTER_LON" --offset "$OFFSET_X,$up_offset" --scale "$SCALE" \
    --aspect "$ASPECT" --width "$WIDTH")
  gdal_translate -q -of PNM -b 1 -b 2 -b 3 "$stem.back.png" "$stem.back.ppm"
  # The peer: gdalwarp's own way back to the same grid. The source CRS is given again: GeoTIFF
  # cannot store every PROJ projection.
  theirs=$(seconds gdalwarp -q -overwrite -s_srs "$proj +type=crs" -t_srs "$LL" -r bilinear \
    -te $grid -ts "$WIDTH" "$height" -et 0 -wo SAMPLE_GRID=YES -dstalpha "$stem.tif" \
    "$stem.gdal.tif" 2>>"$OUT/gdalwarp.log")
  gdal_translate -q -of PNM -b 1 -b 2 -b 3 "$stem.gdal.tif" "$stem.gdal.ppm"
  gdal_translate -q -of PNM -b 4 "$stem.gdal.tif" "$stem.gdal.pgm"
  ours_db=$(band60 "$stem.back.ppm" "$OUT/reference.ppm" --magenta-a)
  gdal_db=$(band60 "$stem.gdal.ppm" "$OUT/reference.ppm" --mask-a "$stem.gdal.pgm")
  ratio=$(python3 -c "print(f'{$theirs / $ours:.2f}')")
  printf '%-8s %9s %9s %9s %9s %7s\n' "$key" "$ours_db" "$gdal_db" "$ours" "$theirs" "$ratio"
  python3 -c "import sys; sys.exit(0 if float('$ours_db') >= 40 else 1)" || {
    echo "  $key: below the 40 dB target" >&2
    status=1
  }
done < <(python3 "$here/world_map_sources.py" list "$WIDTH" ${KEYS})
exit $status
