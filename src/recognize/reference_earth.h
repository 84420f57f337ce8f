// The reference Earth that recognition compares pictures with: land and sea from a real Earth
// picture, as sample points on the sphere at a few levels of detail.
#ifndef KARTOVEL_RECOGNIZE_REFERENCE_EARTH_H_
#define KARTOVEL_RECOGNIZE_REFERENCE_EARTH_H_

#include <cstdint>
#include <string>
#include <vector>

// One point of the reference: north-positive latitude and east-positive longitude in radians,
// land (1) or sea (0).
struct EarthSample {
  double latitude, longitude;
  std::uint8_t land;
};

// Land and sea of the Earth on an equirectangular grid, read from a picture drawn like the
// xplanet Earth (2:1, longitude -180..180 from the left edge, north up, pixel edges at the
// bounds). Blue pixels are sea, white ones ice; ice is left out (sea ice and ice shelves differ
// from map to map) except on the Antarctic mainland.
class ReferenceEarth {
 public:
  // The picture Debian's xplanet-images installs.
  static constexpr const char* kDefaultPicture = "/usr/share/xplanet/images/earth.jpg";

  // 0, or -1 when the picture cannot be read or is not about twice as wide as high.
  int Load(const std::string& path = kDefaultPicture);
  bool Loaded() const { return width_ > 0; }

  // Sample points for a picture `pictureWidth` pixels across the world: every grid cell within
  // `band` cells of a coast at that resolution, plus points spread evenly over the sphere, thinned
  // at random (fixed seed) to about `count`. Points of left-out cells are never chosen.
  std::vector<EarthSample> Samples(int pictureWidth, int band, int count) const;

  // 1 land, 0 sea, 255 left out; the cell under a point (radians, north-positive).
  std::uint8_t LandAt(double latitude, double longitude) const;

 private:
  int width_ = 0, height_ = 0;
  std::vector<std::uint8_t> land_;  // width_ x height_, top row north
};

#endif  // KARTOVEL_RECOGNIZE_REFERENCE_EARTH_H_
