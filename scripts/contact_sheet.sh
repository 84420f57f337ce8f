#!/usr/bin/env bash
# Renders the Earth in each built-in projection from code 23 on and puts the pictures on one sheet
# (docs/images/builtin_projections_23_39.png). Needs ImageMagick (montage), not a build dependency.
#
#   scripts/contact_sheet.sh [build/release/bin] [output.png]
set -euo pipefail
bin="${1:-build/release/bin}"
out="${2:-docs/images/builtin_projections_23_39.png}"
earth=/usr/share/xplanet/images/earth.jpg
width=196
cell=$((width * 9 / 8))  # the tallest map, Cassini
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
command -v montage >/dev/null || { echo "contact sheet: montage missing (apt-get install imagemagick)" >&2; exit 1; }

# code|aspect|extra options. The aspect is the map's height over its width (Fit fills the width);
# Gall-Peters and Bonne are scaled up to the width, Bonne's heart moved to the middle.
maps=(
  "23|0.5072|" "24|0.6110|" "25|0.4867|" "26|0.5200|" "27|0.5351|" "28|0.5|" "29|0.5|"
  "30|0.5|" "31|0.5774|" "32|0.6366|--parallels 45,0 --scale 1.41421"
  "33|0.7685|" "34|0.6448|--center 0,20" "35|1.125|--center 0,20" "36|0.7664|"
  "37|0.949|--parallels 45,0 --scale 1.4715 --offset 0,0.105" "38|0.7296|" "39|1|"
)
tiles=()
for entry in "${maps[@]}"; do
  IFS='|' read -r code aspect extra <<<"$entry"
  height=$(python3 -c "print(max(4, round($width * $aspect)))")
  name=$("$bin/kartovel-convert" --list | awk -F'\t' -v c="$code" '$1 == c {print $2}')
  # shellcheck disable=SC2086  # extra holds options
  "$bin/kartovel-convert" --to-projection "$earth" "$work/$code.png" --projection "$code" \
    --aspect "$aspect" --width "$width" --height "$height" $extra
  # Equal cells keep montage's labels under their pictures.
  convert "$work/$code.png" -background white -gravity center -extent "${width}x$cell" \
    -alpha remove "$work/$code.cell.png"
  tiles+=(-label "$code $name" "$work/$code.cell.png")
done
montage -background white -font DejaVu-Sans -pointsize 13 -geometry +6+4 -tile 6x \
  "${tiles[@]}" -depth 8 "PNG24:$out"
ls -l "$out"
