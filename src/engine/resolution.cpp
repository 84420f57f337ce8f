// The export width that keeps the source's resolution, measured along the central meridian.
#include "engine/resolution.h"

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
