#!/usr/bin/env bash
# Installs the Debian packages Kartovel needs to build, test and run; does nothing when all are present.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  clang libclang-rt-14-dev libomp-dev
  libpng-dev zlib1g-dev libdeflate-dev libisal-dev libtiff-dev libgeotiff-dev
  qt6-base-dev qt6-base-dev-tools libqt6opengl6-dev qt6-image-formats-plugins
  libgl1-mesa-dev libxkbcommon-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  libproj-dev proj-data
  libceres-dev libeigen3-dev libnlopt-cxx-dev
  xplanet-images time
  gdal-bin  # bench/reference_psnr.sh and bench/end_to_end.sh run gdalwarp; tests run gdalinfo
  libnlopt-dev  # the local search of map recognition (src/recognize)
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}" >&2
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >&2
