// Transverse cylindrical projections of the sphere: transverse Mercator and Cassini. The central
// meridian lambda0 plays the equator's part; the centre (phi0, lambda0) lands on the offset point
// (x0, y0) and a map unit is a length on the sphere of radius a. The latitude window is fixed at
// +-pi/2 and Init never rejects.
//
// Both map the whole sphere: the hemisphere away from the centre lands beyond y - y0 = +-a pi/2,
// up to +-a pi. The unit scale puts the band within 80 degrees of the central meridian across the
// frame. Inverse returns -1 with nothing written for points beyond the map (|y - y0 + a phi0| > a
// pi, or for Cassini |x - x0| > a pi/2), with both outputs written outside the window.
#ifndef KARTOVEL_PROJECTION_TRANSVERSE_H_
#define KARTOVEL_PROJECTION_TRANSVERSE_H_

#include "projection/map_project.h"
#include "projection/world_frame.h"

namespace Projection {

// Conformal; scale true along the central meridian. Forward returns -1 with nothing written within
// 1e-10 of the two points 90 degrees from the centre on the equator, which lie at infinity.
class MapTransverseMercator : public FixedWindowProjection {
 public:
  const char* GetName() const override { return "Transverse Mercator"; }
  std::int32_t GetFlags() const override { return MAP_CYLINDRICAL | MAP_CONFORMAL; }
  std::int32_t GetTypeCode() const override { return 34; }
  int Inverse(double x, double y, double* latitude, double* longitude) override;
  int Forward(double latitude, double longitude, double* x, double* y) override;
  double GetUnitScale() const override;
  void GetBounds(double* left, double* top, double* right, double* bottom) const override;
  std::string GetDescription() const override;
};

// Distances along the central meridian and along the great circles square to it are true; the
// transverse aspect of the equirectangular projection. Forward never fails.
class MapCassini : public FixedWindowProjection {
 public:
  const char* GetName() const override { return "Cassini"; }
  std::int32_t GetFlags() const override { return MAP_CYLINDRICAL | MAP_EQUIDISTANT; }
  std::int32_t GetTypeCode() const override { return 35; }
  int Inverse(double x, double y, double* latitude, double* longitude) override;
  int Forward(double latitude, double longitude, double* x, double* y) override;
  double GetUnitScale() const override;
  void GetBounds(double* left, double* top, double* right, double* bottom) const override;
  std::string GetDescription() const override;
};

MapProject* CreateTransverseMercator();
MapProject* CreateCassini();

}  // namespace Projection

#endif  // KARTOVEL_PROJECTION_TRANSVERSE_H_
