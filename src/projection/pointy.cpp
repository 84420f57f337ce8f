// The pointy projection: a rhombus with straight meridians bent at the equator.
#include "projection/pointy.h"

#include <cmath>
#include <new>

#include "projection/world_frame.h"

namespace Projection {
namespace {
constexpr double kTwoOverPi = 0.6366197723675814;  // 2 / pi
}  // namespace

int MapPointy::Forward(double latitude, double longitude, double* x, double* y) {
  *x = offsetX + WrapAngle(longitude - centerLon) * axisA * (1 - std::fabs(latitude) * kTwoOverPi);
  *y = offsetY + axisA * latitude;
  return 0;
}

int MapPointy::Inverse(double x, double y, double* latitude, double* longitude) {
  const double phi = (y - offsetY) * (1 / axisA);
  *latitude = phi;
  const double dx = (x - offsetX) * (1 / axisA);
  if (std::fabs(phi) >= kHalfPi) return -1;
  const double width =
      1 - std::fabs(phi) * kTwoOverPi;  // of this parallel, relative to the equator
  const double lambda = width > epsilon ? centerLon + dx / width : centerLon;
  *longitude = WrapAngle(lambda);
  return InsideBounds(phi, lambda);
}

double MapPointy::GetUnitScale() const { return kInvPi; }

void MapPointy::GetBounds(double* left, double* top, double* right, double* bottom) const {
  WorldFrame(left, top, right, bottom);
}

std::string MapPointy::GetDescription() const {
  return "The pointy projection draws the world as a rhombus whose meridians bend at the "
         "equator. It is the piece from which interrupted icosahedral world maps are made up.";
}

MapProject* CreatePointy() { return new (std::nothrow) MapPointy; }

}  // namespace Projection
