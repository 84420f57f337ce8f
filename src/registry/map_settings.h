// A map's settings as people write them, and the one place where they meet the stored convention.
//
// People give latitudes north-positive for a north-up picture and expect a positive offset to
// move the map right and up. Inside, a picture's top row carries latitude -90 and y grows
// downwards, so a MapInstance (and Projection.txt) holds every latitude-like value and the y
// offset negated. ApplySettings and SettingsOf convert; nothing else may negate.
#ifndef KARTOVEL_REGISTRY_MAP_SETTINGS_H_
#define KARTOVEL_REGISTRY_MAP_SETTINGS_H_

#include <optional>
#include <string>
#include <vector>

#include "registry/map_instance.h"

struct MapSettings {
  int typeCode = 2;
  double centerLat = 0, centerLon = 0;  // degrees, north and east positive
  double offsetX = 0, offsetY = 0;      // user units: positive moves the map right, up
  double scale = 1, aspect = 1;
  // Standard parallels, degrees north-positive; unset keeps the instance's defaults.
  std::optional<double> parallel1, parallel2;
};

// A north-positive latitude in degrees to the stored convention, and back (the same negation;
// two names so that callers say which way they go). For control points and extents.
inline double StoredLatitude(double northPositive) { return -northPositive; }
inline double NorthPositiveLatitude(double stored) { return -stored; }

// Sets `instance` up in the order of the source projection page: type, scale and aspect, centre,
// offsets, then parallels. Returns 0, or the non-zero result of the projection's Init when it
// refused the parameters (the instance then keeps its previous projection constants).
int ApplySettings(const MapSettings& settings, MapInstance* instance);

// The settings `instance` holds, parallels included.
MapSettings SettingsOf(const MapInstance& instance);

// Command-line options that reproduce `settings` when put before INPUT OUTPUT:
// {"--projection", "CODE", "--center", "LAT,LON", ...}. Numbers keep every digit a double needs.
std::vector<std::string> SettingsOptions(const MapSettings& settings);

// A number as these options write it, without trailing noise ("30", "0.5"): every digit a double
// needs, or with `single` (the values read in single precision) every digit the float nearest
// to `v` needs.
std::string OptionNumber(double v, bool single = false);

// The same options joined by single spaces (no quoting is needed: no value contains a blank).
std::string SettingsOptionsLine(const MapSettings& settings);

#endif  // KARTOVEL_REGISTRY_MAP_SETTINGS_H_
