#!/bin/bash
# Sampling quality on a real map: the 8192 x 4096 Mollweide reference map (drawn by gdalwarp from
# the xplanet Earth picture, black outside the ellipse, no alpha) converted back to an 8192-wide
# equirectangular picture with its exact settings, by kartovel-convert and by gdalwarp (bilinear,
# told the outline by the map's alpha band), each compared with the original Earth picture
# resampled to the export's grid. Prints PSNR by region.
#
#   bench/reference_psnr.sh            uses build/release/bin and ../shared/reference-maps
#   BIN=... REFERENCE_MAPS=... WORK=... KARTOVEL_OPTIONS="--resample bicubic" bench/reference_psnr.sh
#
# Needs gdal-bin, xplanet-images and g++. The maps are drawn once into WORK (default
# build/release/reference-psnr).
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BIN=${BIN:-$ROOT/build/release/bin}
REFERENCE_MAPS=${REFERENCE_MAPS:-$ROOT/../shared/reference-maps}
WORK=${WORK:-$ROOT/build/release/reference-psnr}
KARTOVEL_OPTIONS=${KARTOVEL_OPTIONS:-}
W=8192
H=$((W / 2))
LL='+proj=longlat +R=1 +no_defs +type=crs'
export GDAL_PAM_ENABLED=NO
mkdir -p "$WORK"

# 1. The Mollweide map, its settings and the original, drawn by the reference scripts.
if [ ! -s "$WORK/moll_${W}x${H}.png" ]; then
  OUT="$WORK" SIZES=1024 KEYS=moll LARGE=moll LARGE_W=$W "$REFERENCE_MAPS/make_sources.sh" >/dev/null
fi
[ -x "$WORK/psnr" ] || g++ -O2 -std=c++17 "$REFERENCE_MAPS/psnr.cpp" -o "$WORK/psnr"
# shellcheck disable=SC1090  # written by sources.py
. "$WORK/moll_${W}x${H}.env"

# 2. The truth: the original on the export's grid (sample points at lon -180 + 360 c / W,
#    lat 90 - 180 r / H, i.e. pixel edges half a pixel further out).
EXTENT=$(python3 -c "W, H = $W, $H; print(-180 - 180 / W, -90 + 90 / H, 180 - 180 / W, 90 + 90 / H)")
# shellcheck disable=SC2086  # four numbers
[ -s "$WORK/truth.ppm" ] || {
  gdalwarp -q -overwrite -t_srs "$LL" -r bilinear -te $EXTENT -ts $W $H "$WORK/earth_ll.tif" \
    "$WORK/truth.tif"
  gdal_translate -q -of PNM -b 1 -b 2 -b 3 "$WORK/truth.tif" "$WORK/truth.ppm"
}

# 3. gdalwarp, bilinear, reading the outline from the alpha band.
# shellcheck disable=SC2086
[ -s "$WORK/gdal.ppm" ] || {
  # PROJ reports every target point beyond the ellipse's latitudes; the picture is complete.
  gdalwarp -q -overwrite -t_srs "$LL" -r bilinear -te $EXTENT -ts $W $H -dstalpha \
    -multi -wo NUM_THREADS=ALL_CPUS "$WORK/$GEOTIFF" "$WORK/gdal.tif" 2>/dev/null
  gdal_translate -q -of PNM -b 1 -b 2 -b 3 "$WORK/gdal.tif" "$WORK/gdal.ppm"
  gdal_translate -q -of PNM -b 4 "$WORK/gdal.tif" "$WORK/gdal.pgm"
}

# 4. Kartovel with the sidecar's settings. The sidecar keeps latitudes and the y offset in the
#    stored convention; the command line takes them north-positive.
neg() { python3 -c "print(repr(-float('$1')))"; }
START=$(date +%s.%N)
# shellcheck disable=SC2086  # KARTOVEL_OPTIONS holds several words
"$BIN/kartovel-convert" "$WORK/$FILE" "$WORK/kartovel.png" --projection "$PROJECTION" \
  --center "$(neg "$CENTER_LAT"),$CENTER_LON" --offset "$OFFSET_X,$(neg "$OFFSET_Y")" \
  --scale "$SCALE" --aspect "$ASPECT" --parallels "$(neg "$PARALLEL1"),$(neg "$PARALLEL2")" \
  --width $W $KARTOVEL_OPTIONS
SECONDS_TAKEN=$(python3 -c "import time; print(round(time.time() - $START, 2))")
gdal_translate -q -of PNM -b 1 -b 2 -b 3 "$WORK/kartovel.png" "$WORK/kartovel.ppm"
gdal_translate -q -of PNM -b 4 "$WORK/kartovel.png" "$WORK/kartovel.pgm"

# 5. The table. Each picture over the pixels it has (alpha > 0); gdalwarp leaves some near the
#    poles and the date line empty, so Kartovel is also measured over gdalwarp's pixels.
"$WORK/psnr" "$WORK/kartovel.ppm" "$WORK/truth.ppm" --mask-a "$WORK/kartovel.pgm" --grid program \
  >"$WORK/kartovel.txt"
"$WORK/psnr" "$WORK/kartovel.ppm" "$WORK/truth.ppm" --mask-a "$WORK/gdal.pgm" --grid program \
  >"$WORK/kartovel-same.txt"
"$WORK/psnr" "$WORK/gdal.ppm" "$WORK/truth.ppm" --mask-a "$WORK/gdal.pgm" --grid program \
  >"$WORK/gdal.txt"
psnr_of() { awk -v r="$2" '$1 == r {for (i = 1; i <= NF; ++i) if ($i == "PSNR") print $(i + 1)}' "$1"; }
echo "Mollweide ${W}x${H} to equirectangular ${W}x${H}, PSNR in dB (kartovel-convert" \
  "$SECONDS_TAKEN s${KARTOVEL_OPTIONS:+, $KARTOVEL_OPTIONS})"
printf '| %-29s | %8s | %24s | %8s |\n' "region" "Kartovel" "Kartovel, gdal's pixels" "gdalwarp"
printf '|%s|%s|%s|%s|\n' "-------------------------------" "----------" \
  "--------------------------" "----------"
for row in "whole world:all" "|lat| <= 60:|lat|<=60" "|lat| > 80:|lat|>80" \
           "within 1 deg of the date line:dateline|lon|>=179"; do
  label=${row%%:*}
  region=${row#*:}
  printf '| %-29s | %8s | %24s | %8s |\n' "$label" "$(psnr_of "$WORK/kartovel.txt" "$region")" \
    "$(psnr_of "$WORK/kartovel-same.txt" "$region")" "$(psnr_of "$WORK/gdal.txt" "$region")"
done
