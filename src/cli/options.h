// The command line of kartovel-convert: every option once, read into Settings.
#ifndef KARTOVEL_CLI_OPTIONS_H_
#define KARTOVEL_CLI_OPTIONS_H_

#include <optional>
#include <string>
#include <vector>

#include "engine/export.h"
#include "image/geo_reference.h"
#include "registry/map_settings.h"

// Exit codes: 1 the work failed, 2 the command line is wrong.
constexpr int kFailed = 1;
constexpr int kBadUsage = 2;

// What the command line asks for. Numbers as typed (degrees north-positive, user units, pixels);
// map.typeCode and outputMap.typeCode are left to FindProjection.
struct Settings {
  bool toProjection = false;
  std::string input, output;
  std::string projection = "2";
  MapSettings map;
  long long width = 1024;
  std::optional<long long> height;
  // The equirectangular export's extent, georeference and sidecars.
  ExportExtent extent;
  GeoCrs crs;
  bool worldFile = false;
  std::optional<std::string> extentText, crsText;  // as typed; read by the checks between options
  SamplingOptions sampling;
  bool samplingGiven = false;  // --resample or --no-antialias
  // The projection of the output picture; none: equirectangular.
  std::optional<std::string> outputProjection;
  MapSettings outputMap;
  std::string outputOptionGiven;  // the first --output-* option other than --output-projection
};

// Reads `args` (without the program name) into `settings`, then checks that they go together.
// False with a one-line message in `error` when they do not.
bool ParseArguments(const std::vector<std::string>& args, Settings* settings, std::string* error);

// Reports a failure as one line on stderr; returns `code` for the caller to exit with.
int Fail(int code, const std::string& message);

#endif  // KARTOVEL_CLI_OPTIONS_H_
