// The export width that keeps the source's resolution, measured along the central meridian.
#include "engine/resolution.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "engine/reproject.h"
#include "projection/map_project.h"

std::int64_t NativeExportWidth(MapInstance& instance, int sourceWidth, int sourceHeight) {
  if (!instance.projection || sourceWidth <= 0 || sourceHeight <= 0) return 0;
  const Placement place(instance, sourceWidth, sourceHeight);
  const double latitude = instance.centerLat * Projection::kDegToRad;
  const double longitude = instance.centerLon * Projection::kDegToRad;
  // A small step along the meridian, on both sides of the centre where the projection allows
  // (one side at a pole).
  constexpr double kStep = 1e-4;  // radians
  double x[2], y[2], from = latitude - kStep, to = latitude + kStep;
  auto at = [&](double phi, int i) {
    return instance.projection->Forward(phi, longitude, &x[i], &y[i]) == 0;
  };
  if (!at(from, 0)) from = latitude;
  if (!at(to, 1)) to = latitude;
  if (to == from || !at(from, 0) || !at(to, 1)) return 0;
  const double pixels = std::hypot(place.X(x[1]) - place.X(x[0]), place.Y(y[1]) - place.Y(y[0]));
  const double perRadian = pixels / (to - from);
  const double width = 2 * std::numbers::pi * perRadian;
  if (!std::isfinite(width) || width <= 0 || width > 1e9) return 0;
  return static_cast<std::int64_t>(std::ceil(width / 16)) * 16;
}

bool MapReach(MapInstance& instance, double* x, double* y) {
  if (!instance.projection) return false;
  // Measured with no offset, so that the reach is the map's own.
  MapInstance map = instance;
  map.SetOffset(0, 0);
  // Within 85 degrees of the equator, and over the whole globe: maps whose poles run off to
  // infinity (Mercator, the far pole of a cone) are measured without the polar caps.
  constexpr int kCap = 85;
  constexpr double kFar = 4;
  double inner[2] = {0, 0}, whole[2] = {0, 0};
  for (int latitude = -90; latitude <= 90; ++latitude) {
    for (int longitude = -180; longitude <= 180; ++longitude) {
      double px = 0, py = 0;
      if (map.projection->Forward(latitude * Projection::kDegToRad,
                                  longitude * Projection::kDegToRad, &px, &py) != 0 ||
          !std::isfinite(px) || !std::isfinite(py)) {
        continue;
      }
      const double reach[2] = {std::fabs(px / map.unitFactor), std::fabs(py / map.unitFactor)};
      // A world map reaches about 1 unit; points far beyond run off towards a singularity (the
      // transverse types' east and west) and would shrink the map to nothing.
      if (reach[0] > kFar || reach[1] > kFar) continue;
      for (int axis = 0; axis < 2; ++axis) {
        whole[axis] = std::max(whole[axis], reach[axis]);
        if (std::abs(latitude) <= kCap) inner[axis] = std::max(inner[axis], reach[axis]);
      }
    }
  }
  constexpr double kRunsOff = 1.25;
  double* const out[2] = {x, y};
  for (int axis = 0; axis < 2; ++axis) {
    if (!(inner[axis] > 0)) return false;
    *out[axis] = whole[axis] <= kRunsOff * inner[axis] ? whole[axis] : inner[axis];
  }
  return true;
}

bool UsesParallels(const MapInstance& instance) {
  if (!instance.projection) return false;
  MapInstance a = instance, b = instance;
  a.SetParallels(-20, -50);
  b.SetParallels(-35, -60);
  for (const double latitude : {-40.0, 10.0, 55.0}) {
    for (const double longitude : {-100.0, 30.0}) {
      double ax = 0, ay = 0, bx = 0, by = 0;
      const int ra = a.projection->Forward(latitude * Projection::kDegToRad,
                                           longitude * Projection::kDegToRad, &ax, &ay);
      const int rb = b.projection->Forward(latitude * Projection::kDegToRad,
                                           longitude * Projection::kDegToRad, &bx, &by);
      if (ra != rb || (ra == 0 && (ax != bx || ay != by))) return true;
    }
  }
  return false;
}
