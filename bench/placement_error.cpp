// kartovel-placement-error: how far apart two settings place the Earth on a picture, for the
// recognition benchmark. Prints the RMS distance in pixels over a 1-degree grid of the points the
// true settings put on their W x H picture (points within a degree of the seam left out), that
// picture lying at (DX, DY) in the W2 x H2 picture the found settings describe (a margin added).
//
//   kartovel-placement-error W H TRUE_OPTIONS... -- W2 H2 DX DY FOUND_OPTIONS...
//
// Options as kartovel-convert takes them: --projection CODE, --center, --offset, --scale,
// --aspect, --parallels (north-positive).
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "recognize/recognize.h"
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
  const double rms =
      PlacementRms(truth, w, h, found, std::atoi(second[0].c_str()), std::atoi(second[1].c_str()),
                   std::atof(second[2].c_str()), std::atof(second[3].c_str()));
  GetProjectionRegistry().UnloadAll();
  std::printf("%.3f\n", rms);
  return 0;
}
