// The pointy projection: a rhombus-shaped world map, the building block of interrupted
// icosahedral maps assembled as composite projections.
#ifndef KARTOVEL_PROJECTION_POINTY_H_
#define KARTOVEL_PROJECTION_POINTY_H_

#include "projection/map_project.h"
#include "projection/world_frame.h"

namespace Projection {

// y = a phi; each parallel shrinks linearly from the full width at the equator to a point at the
// poles. Forward never fails. Inverse returns -1 with only the latitude written when
// |y - y0| >= a pi/2, and -1 with both outputs written outside the rhombus (the longitude window).
class MapPointy : public FixedWindowProjection {
 public:
  const char* GetName() const override { return "Pointy"; }
  std::int32_t GetFlags() const override { return MAP_PSEUDOCYLINDRICAL; }
  std::int32_t GetTypeCode() const override { return 14; }
  int Inverse(double x, double y, double* latitude, double* longitude) override;
  int Forward(double latitude, double longitude, double* x, double* y) override;
  double GetUnitScale() const override;
  void GetBounds(double* left, double* top, double* right, double* bottom) const override;
  std::string GetDescription() const override;
};

MapProject* CreatePointy();

}  // namespace Projection

#endif  // KARTOVEL_PROJECTION_POINTY_H_
