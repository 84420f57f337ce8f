// kartovel-placement-error: how far apart two settings place the Earth on a picture, for the
// recognition benchmark. Prints the RMS distance in pixels over a 1-degree grid of the points the
// true settings put on their W x H picture (points within a degree of the seam left out), that
// picture lying at (DX, DY) in the W2 x H2 picture the found settings describe (a margin added).
//
//   kartovel-placement-error W H TRUE_OPTIONS... -- W2 H2 DX DY FOUND_OPTIONS...
//
// Options as kartovel-convert takes them: --projection CODE, --center, --offset, --scale,
// --aspect, --parallels (north-positive).
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "engine/reproject.h"
#include "registry/map_settings.h"
#include "registry/projection_registry.h"

namespace {

bool Pair(const std::string& text, double* a, double* b) {
  return std::sscanf(text.c_str(), "%lf,%lf", a, b) == 2;
}

bool Read(const std::vector<std::string>& words, MapSettings* s) {
  for (std::size_t i = 0; i + 1 < words.size(); i += 2) {
    const std::string& key = words[i];
    const std::string& value = words[i + 1];
    double a = 0, b = 0;
    if (key == "--projection") {
      s->typeCode = std::atoi(value.c_str());
    } else if (key == "--center" && Pair(value, &a, &b)) {
      s->centerLat = a, s->centerLon = b;
    } else if (key == "--offset" && Pair(value, &a, &b)) {
      s->offsetX = a, s->offsetY = b;
    } else if (key == "--scale") {
      s->scale = std::atof(value.c_str());
    } else if (key == "--aspect") {
      s->aspect = std::atof(value.c_str());
    } else if (key == "--parallels" && Pair(value, &a, &b)) {
      s->parallel1 = a, s->parallel2 = b;
    } else {
      return false;
    }
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc), first, second;
  if (args.size() < 3) {
    std::fprintf(stderr, "usage: kartovel-placement-error W H TRUE_OPTIONS -- W2 H2 DX DY FOUND_OPTIONS\n");
    return 2;
  }
  const int w = std::atoi(args[0].c_str()), h = std::atoi(args[1].c_str());
  bool afterSeparator = false;
  for (std::size_t i = 2; i < args.size(); ++i) {
    if (args[i] == "--") {
      afterSeparator = true;
      continue;
    }
    (afterSeparator ? second : first).push_back(args[i]);
  }
  MapSettings truth, found;
  if (second.size() < 4 || !Read(first, &truth) ||
      !Read(std::vector<std::string>(second.begin() + 4, second.end()), &found)) {
    std::fprintf(stderr, "malformed options\n");
    return 2;
  }
  GetProjectionRegistry().LoadAll(ExecutableDirectory());
  MapInstance a, b;
  ApplySettings(truth, &a);
  ApplySettings(found, &b);
  const int w2 = std::atoi(second[0].c_str()), h2 = std::atoi(second[1].c_str());
  const double shiftX = std::atof(second[2].c_str()), shiftY = std::atof(second[3].c_str());
  const Placement pa(a, w, h), pb(b, w2, h2);
  double sum = 0;
  long count = 0, lost = 0;
  for (int lat = -89; lat <= 89; ++lat) {
    for (int lon = -180; lon < 180; ++lon) {
      if (std::fabs(std::remainder(lon - truth.centerLon, 360.0)) > 179) continue;
      const double phi = StoredLatitude(lat) * Projection::kDegToRad;
      const double lambda = lon * Projection::kDegToRad;
      double x, y;
      if (a.projection->Forward(phi, lambda, &x, &y) != 0) continue;
      const double px = pa.X(x), py = pa.Y(y);
      if (!(px >= 0 && py >= 0 && px < w && py < h)) continue;
      if (b.projection->Forward(phi, lambda, &x, &y) != 0) {
        ++lost;
        continue;
      }
      const double dx = pb.X(x) - px - shiftX, dy = pb.Y(y) - py - shiftY;
      sum += dx * dx + dy * dy;
      ++count;
    }
  }
  GetProjectionRegistry().UnloadAll();
  if (count == 0) {
    std::printf("nan\n");
    return 1;
  }
  // Points the found settings cannot place count as far off.
  std::printf("%.3f\n", lost * 20 > count ? INFINITY : std::sqrt(sum / count));
  return 0;
}
