// Settings as people write them to and from the stored convention of MapInstance.
#include "registry/map_settings.h"

#include <cstdio>
#include <cstdlib>

std::string OptionNumber(double v, bool single) {
  char text[32];
  std::snprintf(text, sizeof text, "%.17g", v);
  const float narrow = static_cast<float>(v);
  for (int digits = 6; digits < 17; ++digits) {
    char shorter[32];
    std::snprintf(shorter, sizeof shorter, "%.*g", digits, v);
    if (single ? std::strtof(shorter, nullptr) == narrow : std::strtod(shorter, nullptr) == v) {
      return shorter;
    }
  }
  return text;
}

namespace {

std::string Pair(double a, double b, bool single = false) {
  return OptionNumber(a, single) + "," + OptionNumber(b, single);
}

}  // namespace

int ApplySettings(const MapSettings& s, MapInstance* instance) {
  instance->Select(s.typeCode);
  instance->scale = s.scale;
  instance->aspect = s.aspect;
  instance->SetCenter(StoredLatitude(s.centerLat), s.centerLon);
  instance->SetOffset(s.offsetX, -s.offsetY);
  if (s.parallel1 && s.parallel2) {
    return instance->SetParallels(StoredLatitude(*s.parallel1), StoredLatitude(*s.parallel2));
  }
  return instance->Apply();
}

MapSettings SettingsOf(const MapInstance& instance) {
  MapSettings s;
  s.typeCode = instance.typeCode;
  double lat, lon, x, y, p1, p2;
  instance.GetCenter(&lat, &lon);
  instance.GetOffset(&x, &y);
  instance.GetParallels(&p1, &p2);
  s.centerLat = NorthPositiveLatitude(lat);
  s.centerLon = lon;
  // The instance's stand-in for an x offset of 0 reads back as 0: kept in single precision (as
  // typed values are) it would move the map by a hair.
  s.offsetX = static_cast<float>(x) == static_cast<float>(MapInstance::kZeroOffsetX) ? 0 : x;
  s.offsetY = -y;
  s.scale = instance.scale;
  s.aspect = instance.aspect;
  s.parallel1 = NorthPositiveLatitude(p1);
  s.parallel2 = NorthPositiveLatitude(p2);
  return s;
}

std::vector<std::string> SettingsOptions(const MapSettings& s) {
  // Centre, offset, scale and aspect are read in single precision. The instance's stand-in for an
  // x offset of 0 is written as 0: read back, 0 gives the stand-in itself, where its single-
  // precision value would move the map (and a GeoTIFF's georeference) by a hair.
  const bool zeroX = static_cast<float>(s.offsetX) == static_cast<float>(MapInstance::kZeroOffsetX);
  std::vector<std::string> options = {"--projection", std::to_string(s.typeCode),
                                      "--center",     Pair(s.centerLat, s.centerLon, true),
                                      "--offset",     Pair(zeroX ? 0 : s.offsetX, s.offsetY, true),
                                      "--scale",      OptionNumber(s.scale, true),
                                      "--aspect",     OptionNumber(s.aspect, true)};
  if (s.parallel1 && s.parallel2) {
    options.insert(options.end(), {"--parallels", Pair(*s.parallel1, *s.parallel2)});
  }
  return options;
}

std::string SettingsOptionsLine(const MapSettings& settings) {
  std::string line;
  for (const std::string& word : SettingsOptions(settings)) {
    if (!line.empty()) line += ' ';
    line += word;
  }
  return line;
}
