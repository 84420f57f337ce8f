// Example projection module: the Eckert IV equal-area pseudocylindrical projection (sphere).
//
// Build it as a shared library and put it beside the Kartovel programs:
//   g++ -std=c++20 -O2 -fPIC -shared -fvisibility=hidden -I<kartovel include dir>
//       eckert_iv.cpp -o eckert_iv.so
// It compiles against projection/map_project.h alone.
#include <cmath>
#include <new>

#include "projection/map_project.h"

namespace {

using Projection::kHalfPi;
using Projection::kPi;

// x = kCx * lambda * (1 + cos t), y = kCy * sin t, where t + sin t cos t + 2 sin t = kCp * sin phi.
constexpr double kCx = 0.42223820031577120149;  // 2 / sqrt(pi (4 + pi))
constexpr double kCy = 1.32650042817700232218;  // 2 sqrt(pi / (4 + pi))
constexpr double kCp = 3.57079632679489661922;  // 2 + pi / 2
constexpr double kHalfWidth = 2 * kPi * kCx;    // x of the equator at 180 degrees
constexpr double kTolerance = 1e-13;
constexpr int kMaxIterations = 60;

// The auxiliary angle t of latitude phi. The left side grows monotonically on [-pi/2, pi/2], so
// Newton steps are kept inside a shrinking bracket and fall back to bisection when they leave it.
double AuxiliaryAngle(double phi) {
  // At a pole the root is also a root of the slope, where no iteration gets the last digits.
  if (std::fabs(phi) >= kHalfPi) return std::copysign(kHalfPi, phi);
  const double target = kCp * std::sin(phi);
  double lo = -kHalfPi, hi = kHalfPi;
  double t = phi;
  for (int i = 0; i < kMaxIterations; ++i) {
    const double s = std::sin(t), c = std::cos(t);
    const double f = t + s * c + 2 * s - target;
    if (f < 0)
      lo = t;
    else
      hi = t;
    const double slope = 2 * c * (1 + c);
    double next = slope > 0 ? t - f / slope : 0.5 * (lo + hi);
    if (!(next > lo && next < hi)) next = 0.5 * (lo + hi);
    if (std::fabs(next - t) < kTolerance) return next;
    t = next;
  }
  return t;
}

class MapEckertIV : public Projection::MapProject {
 public:
  const char* GetName() const override { return "Eckert IV"; }
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
    const double t = AuxiliaryAngle(latitude);
    const double lambda = Projection::WrapAngle(longitude - centerLon);
    *x = offsetX + axisA * kCx * lambda * (1 + std::cos(t));
    *y = offsetY + axisA * kCy * std::sin(t);
    return 0;
  }

  int Inverse(double x, double y, double* latitude, double* longitude) override {
    const double sinT = (y - offsetY) / (axisA * kCy);
    if (!(std::fabs(sinT) <= 1)) return -1;
    const double t = std::asin(sinT);
    const double cosT = std::cos(t);
    const double lambda = centerLon + (x - offsetX) / (axisA * kCx * (1 + cosT));
    const double phi =
        std::asin(std::fmax(-1.0, std::fmin(1.0, (t + sinT * cosT + 2 * sinT) / kCp)));
    *latitude = phi;
    *longitude = Projection::WrapAngle(lambda);
    return InsideBounds(phi, lambda);
  }

  double GetUnitScale() const override { return 1 / kHalfWidth; }

  void GetBounds(double* left, double* top, double* right, double* bottom) const override {
    *left = -kHalfWidth;
    *top = kCy;
    *right = kHalfWidth;
    *bottom = -kCy;
  }

  std::string GetDescription() const override {
    return "Eckert IV is an equal-area pseudocylindrical projection published by Max Eckert in "
           "1906. The poles are lines half as long as the equator, and the meridians are "
           "semi-ellipses, so the outline has rounded corners. Scale is true along 40 deg 30 min "
           "north and south at the central meridian.";
  }
};

}  // namespace

KARTOVEL_MODULE_EXPORT Projection::MapProject* CreateProjection() {
  return new (std::nothrow) MapEckertIV;
}

KARTOVEL_MODULE_EXPORT const char* ClassProjection() { return "MapEckertIV"; }
