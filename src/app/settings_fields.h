// The eight numbers of a map's settings as the wizard's edits hold them: as people write them
// (MapSettings: latitudes north-positive, a positive offset moves the map right and up), read and
// shown in the command line's precision, so that the same text makes the same map in both.
#ifndef KARTOVEL_APP_SETTINGS_FIELDS_H_
#define KARTOVEL_APP_SETTINGS_FIELDS_H_

#include <QString>
#include <array>
#include <optional>
#include <string>

#include "registry/map_settings.h"

namespace SettingsFields {

enum Field { kLat, kLon, kOffsetX, kOffsetY, kScale, kAspect, kParallel1, kParallel2, kCount };
using Values = std::array<double, kCount>;

// The parallels are read in double precision, every other value as a float.
bool IsSingle(int field);
// `v` in single precision, as the command line reads the single fields.
double Single(double v);
// An edit's whole text as the field's value; empty when it is no number.
std::optional<double> Read(int field, const std::string& text);
// The text of a value: every digit it has, no more, without an exponent.
QString Text(int field, double value);
// The fields of `settings` (single fields rounded), and the settings of type `typeCode` with
// the fields' values.
Values ValuesOf(const MapSettings& settings);
MapSettings SettingsFrom(int typeCode, const Values& values);

}  // namespace SettingsFields

#endif  // KARTOVEL_APP_SETTINGS_FIELDS_H_
