// Graticule lines through the projection's Forward, broken where it fails.
#include "app/graticule.h"

#include <algorithm>
#include <cmath>

#include "engine/reproject.h"
#include "projection/map_project.h"
#include "registry/map_settings.h"

namespace {

// Pixel coordinates beyond this are clamped; no display is that large, and painters choke on
// a projection's wild values.
constexpr double kPixelLimit = 1e7;

double Clamped(double value) {
  if (!(value > -kPixelLimit)) return -kPixelLimit;
  return std::min(value, kPixelLimit);
}

}  // namespace

std::vector<GraticuleLine> GraticuleLines(MapInstance& instance, int width, int height,
                                          double spacing) {
  std::vector<GraticuleLine> lines;
  if (!instance.projection || !(spacing > 0)) return lines;
  const Placement place(instance, width, height);
  const double step = std::min(7.5, spacing / 4);

  // `pointAt(i)` gives the stored latitude and the longitude of point i.
  auto trace = [&](bool parallel, double degrees, auto pointAt, int count) {
    GraticuleLine line{parallel, degrees, {}};
    std::vector<QPointF> run;
    for (int i = 0; i < count; ++i) {
      const auto [latitude, longitude] = pointAt(i);
      double x = 0;
      double y = 0;
      if (instance.projection->Forward(latitude * Projection::kDegToRad,
                                       longitude * Projection::kDegToRad, &x, &y) == 0) {
        run.emplace_back(Clamped(place.X(x)), Clamped(place.Y(y)));
      } else if (!run.empty()) {
        line.runs.push_back(std::move(run));
        run.clear();
      }
    }
    if (!run.empty()) line.runs.push_back(std::move(run));
    lines.push_back(std::move(line));
  };

  const int parallels = static_cast<int>(std::lround(180 / spacing));
  const int meridians = 2 * parallels;
  const int alongParallel = static_cast<int>(std::lround(360 / step)) + 1;
  const int alongMeridian = static_cast<int>(std::lround(180 / step)) + 1;
  for (int p = 0; p <= parallels; ++p) {
    const double stored = -90.0 + spacing * p;
    trace(
        true, NorthPositiveLatitude(stored),
        [&](int i) { return std::pair(stored, -180.0 + step * i); }, alongParallel);
  }
  for (int m = 0; m <= meridians; ++m) {
    const double longitude = -180.0 + spacing * m;
    trace(
        false, longitude, [&](int i) { return std::pair(-90.0 + step * i, longitude); },
        alongMeridian);
  }
  return lines;
}

QString GraticuleLabel(const GraticuleLine& line) {
  const double value = std::fabs(line.degrees);
  QString text = QString::number(value, 'g', 6) + QChar(0x00B0);
  if (value == 0 || (!line.parallel && value == 180)) return text;
  if (line.parallel) return text + (line.degrees > 0 ? QLatin1Char('N') : QLatin1Char('S'));
  return text + (line.degrees > 0 ? QLatin1Char('E') : QLatin1Char('W'));
}
