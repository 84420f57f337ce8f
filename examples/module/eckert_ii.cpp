// Example projection module: the Eckert II equal-area pseudocylindrical projection (sphere).
//
// Build it as a shared library and put it beside the Kartovel programs:
//   g++ -std=c++20 -O2 -fPIC -shared -fvisibility=hidden -I<kartovel include dir>
//       eckert_ii.cpp -o eckert_ii.so
// It compiles against projection/map_project.h alone.
#include <cmath>
#include <new>

#include "projection/map_project.h"

namespace {

using Projection::kHalfPi;
using Projection::kPi;

// x = kCx * lambda * r, y = kCy * (2 - r) (negated in the south), where r = sqrt(4 - 3 sin|phi|).
constexpr double kCx = 0.46065886596178063902;  // 2 / sqrt(6 pi)
constexpr double kCy = 1.44720250911653531871;  // sqrt(2 pi / 3)
constexpr double kHalfWidth = 2 * kPi * kCx;    // x of the equator at 180 degrees (r = 2)
constexpr double kTop = kCy;                    // y of the pole lines (r = 1)

class MapEckertII : public Projection::MapProject {
 public:
  const char* GetName() const override { return "Eckert II"; }
  std::int32_t GetFlags() const override {
    return Projection::MAP_PSEUDOCYLINDRICAL | Projection::MAP_EQUAL_AREA;
  }
  std::int32_t GetTypeCode() const override { return 16; }

  int Init(double centerLatitude, double centerLongitude, double yOffset, double xOffset, double a,
           double b, double, double) override {
    CommonInit(centerLatitude, centerLongitude, yOffset, xOffset, a, b);
    FixedLatitudeWindow();
    return 0;
  }

  int Forward(double latitude, double longitude, double* x, double* y) override {
    const double r = std::sqrt(4 - 3 * std::sin(std::fabs(latitude)));
    const double lambda = Projection::WrapAngle(longitude - centerLon);
    *x = offsetX + axisA * kCx * lambda * r;
    *y = offsetY + axisA * std::copysign(kCy * (2 - r), latitude);
    return 0;
  }

  int Inverse(double x, double y, double* latitude, double* longitude) override {
    const double dy = (y - offsetY) / axisA;
    if (!(std::fabs(dy) <= kTop)) return -1;
    const double r = 2 - std::fabs(dy) / kCy;
    const double lambda = centerLon + (x - offsetX) / (axisA * kCx * r);
    const double phi = std::copysign(std::asin(std::fmin(1.0, (4 - r * r) / 3)), dy);
    *latitude = phi;
    *longitude = Projection::WrapAngle(lambda);
    return InsideBounds(phi, lambda);
  }

  double GetUnitScale() const override { return 1 / kHalfWidth; }

  void GetBounds(double* left, double* top, double* right, double* bottom) const override {
    *left = -kHalfWidth;
    *top = kTop;
    *right = kHalfWidth;
    *bottom = -kTop;
  }

  std::string GetDescription() const override {
    return "Eckert II is an equal-area pseudocylindrical projection published by Max Eckert in "
           "1906. Its meridians are straight lines broken at the equator and its poles are lines "
           "half as long as the equator, so the world is a hexagon twice as wide as high.";
  }
};

}  // namespace

KARTOVEL_MODULE_EXPORT Projection::MapProject* CreateProjection() {
  return new (std::nothrow) MapEckertII;
}

KARTOVEL_MODULE_EXPORT const char* ClassProjection() { return "MapEckertII"; }
