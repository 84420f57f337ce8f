// Graticule lines through the projection's Forward, broken where it fails.
#include "app/graticule.h"

#include <cmath>

#include "app/video_display.h"
#include "projection/map_project.h"
#include "engine/reproject.h"

namespace {

// Pixel coordinates beyond this are clamped before truncation; no display is that large.
constexpr double kPixelLimit = 1e7;

int Truncate(double value) {
  if (!(value > -kPixelLimit)) return static_cast<int>(-kPixelLimit);
  if (value > kPixelLimit) return static_cast<int>(kPixelLimit);
  return static_cast<int>(value);
}

}  // namespace

std::vector<GraticuleRuns> GraticuleLines(MapInstance& instance, int width, int height) {
  std::vector<GraticuleRuns> lines;
  if (!instance.projection) return lines;
  const Placement place(instance, width, height);

  auto trace = [&](auto pointAt, int count) {
    GraticuleRuns runs;
    std::vector<QPoint> run;
    for (int i = 0; i < count; ++i) {
      const auto [latitude, longitude] = pointAt(i);
      double x = 0;
      double y = 0;
      if (instance.projection->Forward(latitude * Projection::kDegToRad,
                                       longitude * Projection::kDegToRad, &x, &y) == 0) {
        run.emplace_back(Truncate(place.X(x)), Truncate(place.Y(y)));
      } else if (!run.empty()) {
        runs.push_back(std::move(run));
        run.clear();
      }
    }
    if (!run.empty()) runs.push_back(std::move(run));
    lines.push_back(std::move(runs));
  };

  for (int p = 0; p < 7; ++p) {
    const double latitude = -90.0 + 30.0 * p;
    trace([&](int i) { return std::pair(latitude, -180.0 + 7.5 * i); }, 49);
  }
  for (int m = 0; m < 13; ++m) {
    const double longitude = -180.0 + 30.0 * m;
    trace([&](int i) { return std::pair(-90.0 + 7.5 * i, longitude); }, 25);
  }
  return lines;
}

void DrawGraticule(VideoBuffer& display, MapInstance& instance) {
  if (!display.HasStorage()) return;
  for (const GraticuleRuns& line : GraticuleLines(instance, display.width, display.height)) {
    for (const std::vector<QPoint>& run : line) DrawPolyline(display, run, kGraticuleColour);
  }
}
