#include "app/settings_fields.h"

#include <algorithm>

#include "app/text_exchange.h"

namespace SettingsFields {

bool IsSingle(int field) { return field != kParallel1 && field != kParallel2; }

// Through a volatile float: GCC 12 at -O2 drops a plain double-float-double round trip when it
// vectorises two of them (seen in Fit), and the map would then differ from the command line's.
double Single(double v) {
  const volatile float narrow = static_cast<float>(v);
  return narrow;
}

std::optional<double> Read(int field, const std::string& text) {
  const std::optional<double> value = ParseDouble(text);
  if (!value || !IsSingle(field)) return value;
  return static_cast<double>(*ScanFloat(text));  // as the command line reads it, not via double
}

QString Text(int field, double value) {
  std::string text = OptionNumber(value + 0.0, IsSingle(field));  // no "-0"
  // A small value's shortest form has an exponent (8.8e-05), which nobody types for a setting:
  // the same digits after the point instead.
  const std::size_t e = text.find('e');
  if (e != std::string::npos && text[e + 1] == '-') {
    const bool negative = text[0] == '-';
    std::string digits = text.substr(negative, e - negative);
    digits.erase(std::remove(digits.begin(), digits.end(), '.'), digits.end());
    const int zeros = std::stoi(text.substr(e + 2)) - 1;
    text = (negative ? "-0." : "0.") + std::string(zeros, '0') + digits;
  }
  return QString::fromStdString(text);
}

Values ValuesOf(const MapSettings& s) {
  Values values = {s.centerLat,
                   s.centerLon,
                   s.offsetX,
                   s.offsetY,
                   s.scale,
                   s.aspect,
                   s.parallel1.value_or(0),
                   s.parallel2.value_or(0)};
  for (int field = 0; field < kCount; ++field) {
    if (IsSingle(field)) values[field] = Single(values[field]);
  }
  return values;
}

MapSettings SettingsFrom(int typeCode, const Values& values) {
  MapSettings s;
  s.typeCode = typeCode;
  s.centerLat = values[kLat];
  s.centerLon = values[kLon];
  s.offsetX = values[kOffsetX];
  s.offsetY = values[kOffsetY];
  s.scale = values[kScale];
  s.aspect = values[kAspect];
  s.parallel1 = values[kParallel1];
  s.parallel2 = values[kParallel2];
  return s;
}

}  // namespace SettingsFields
