// Whole-world projections with an oval or round outline: Hammer and Wagner VII (the equatorial
// Lambert azimuthal equal-area construction on a reduced longitude, stretched sideways), Aitoff and
// Winkel Tripel (the same with the azimuthal equidistant projection) and Van der Grinten (a
// circle). Latitude window fixed at +-pi/2; Init never rejects; Forward never fails.
#ifndef KARTOVEL_PROJECTION_WORLD_OVAL_H_
#define KARTOVEL_PROJECTION_WORLD_OVAL_H_

#include "projection/map_project.h"
#include "projection/row_forward.h"
#include "projection/world_frame.h"

namespace Projection {

// Equal-area with an elliptical outline. Inverse returns -1 with nothing written outside the region
// 4a^2 - X^2/4 - Y^2 >= 0 and at the poles' own points, -1 after writing outside the window.
class MapHammer : public MapProject {
 public:
  const char* GetName() const override { return "Hammer"; }
  std::int32_t GetFlags() const override { return MAP_AZIMUTHAL | MAP_EQUAL_AREA; }
  std::int32_t GetTypeCode() const override { return 4; }
  int Init(double centerLatitude, double centerLongitude, double yOffset, double xOffset, double a,
           double b, double parallel1, double parallel2) override;
  int Inverse(double x, double y, double* latitude, double* longitude) override;
  int Forward(double latitude, double longitude, double* x, double* y) override;
  double GetUnitScale() const override;
  void GetBounds(double* left, double* top, double* right, double* bottom) const override;
  std::string GetDescription() const override;

  double axisASquared = 1.0;  // a * a
};

// Equal-area with a rounded outline. Inverse returns -1 with nothing written for |y - y0| > 1.5,
// |x - x0| > 2.75 (fixed limits, whatever a), the centre point itself and off-map points.
class MapWagnerVII : public FixedWindowProjection {
 public:
  const char* GetName() const override { return "Wagner VII"; }
  std::int32_t GetFlags() const override { return MAP_AZIMUTHAL | MAP_EQUAL_AREA; }
  std::int32_t GetTypeCode() const override { return 15; }
  int Inverse(double x, double y, double* latitude, double* longitude) override;
  int Forward(double latitude, double longitude, double* x, double* y) override;
  double GetUnitScale() const override;
  void GetBounds(double* left, double* top, double* right, double* bottom) const override;
  std::string GetDescription() const override;
};

// The world in a disc of radius pi a. Inverse fails only through the longitude window, and never on
// the centre meridian (there it answers even outside the disc).
class MapVanDerGrinten : public FixedWindowProjection {
 public:
  const char* GetName() const override { return "Van Der Grinten"; }
  std::int32_t GetFlags() const override { return MAP_POLYCONIC; }
  std::int32_t GetTypeCode() const override { return 12; }
  int Inverse(double x, double y, double* latitude, double* longitude) override;
  int Forward(double latitude, double longitude, double* x, double* y) override;
  double GetUnitScale() const override;
  void GetBounds(double* left, double* top, double* right, double* bottom) const override;
  std::string GetDescription() const override;
};

// Aitoff and Winkel Tripel share their forward and inverse; Inverse solves Forward by a bounded
// two-dimensional Newton iteration and returns -1 with nothing written for points off the map
// (where it cannot bring Forward within 1e-10 of the point), with both outputs written outside the
// window. At the poles of the Aitoff map it returns the centre longitude.
class MapAitoffFamily : public RowProjection<FixedWindowProjection> {
 public:
  // `blend`: weight of the equirectangular map averaged in, 0 for Aitoff, 1/2 for Winkel Tripel.
  explicit MapAitoffFamily(double blend) : blend_(blend) {}
  int Inverse(double x, double y, double* latitude, double* longitude) override;
  // Row::value: [0] sin(lat), [1] cos(lat), [2] lat.
  void PrepareRow(double latitude, Row* row) const override;
  int ForwardInRow(const Row& row, double longitude, double* x, double* y) const override;

 private:
  const double blend_;
};

// Compromise; the equatorial azimuthal equidistant map of a hemisphere with the longitudes halved
// and x doubled. The map is pi by pi/2 either side, unit scale 1/pi.
class MapAitoff : public MapAitoffFamily {
 public:
  MapAitoff() : MapAitoffFamily(0) {}
  const char* GetName() const override { return "Aitoff"; }
  std::int32_t GetFlags() const override { return MAP_AZIMUTHAL; }
  std::int32_t GetTypeCode() const override { return 30; }
  double GetUnitScale() const override;
  void GetBounds(double* left, double* top, double* right, double* bottom) const override;
  std::string GetDescription() const override;
};

// The mean of Aitoff and the equirectangular projection with standard parallel acos(2/pi). The map
// is (pi + 2)/2 by pi/2 either side; the poles are lines of length 2.
class MapWinkelTripel : public MapAitoffFamily {
 public:
  MapWinkelTripel() : MapAitoffFamily(0.5) {}
  const char* GetName() const override { return "Winkel Tripel"; }
  std::int32_t GetFlags() const override { return MAP_AZIMUTHAL; }
  std::int32_t GetTypeCode() const override { return 24; }
  double GetUnitScale() const override;
  void GetBounds(double* left, double* top, double* right, double* bottom) const override;
  std::string GetDescription() const override;
};

MapProject* CreateHammer();
MapProject* CreateWagnerVII();
MapProject* CreateVanDerGrinten();
MapProject* CreateAitoff();
MapProject* CreateWinkelTripel();

}  // namespace Projection

#endif  // KARTOVEL_PROJECTION_WORLD_OVAL_H_
