// The command line of kartovel-convert: every option once, read into Settings. The wizard's
// settings files hold the same options, one per line, and are read through the same table.
#ifndef KARTOVEL_CLI_OPTIONS_H_
#define KARTOVEL_CLI_OPTIONS_H_

#include <optional>
#include <set>
#include <string>
#include <vector>

#include "engine/export.h"
#include "fit/fit.h"
#include "image/geo_reference.h"
#include "registry/map_settings.h"

// Exit codes: 1 the work failed, 2 the command line is wrong.
constexpr int kFailed = 1;
constexpr int kBadUsage = 2;

// A control point of --point (and of settings files): the fitting library's.
using ControlPoint = Fit::ControlPoint;

// What the command line asks for. Numbers as typed (degrees north-positive, user units, pixels);
// map.typeCode and outputMap.typeCode are left to FindProjection.
struct Settings {
  bool toProjection = false;
  std::string input, output;
  std::string projection = "2";
  MapSettings map;
  std::string fit;         // --fit IMAGE
  std::string pointsFile;  // --points FILE, for --fit beside the --point options
  bool rank = false;
  long long width = 1024;
  std::optional<long long> height;
  std::string recognize;  // --recognize IMAGE: no INPUT OUTPUT then
  bool allTypes = false;
  // The options on the command line, by name (not those of a --settings file): what a fit or a
  // recognition holds.
  std::set<std::string> given;
  // The equirectangular export's extent, georeference and sidecars.
  ExportExtent extent;
  GeoCrs crs;
  bool worldFile = false;
  std::optional<std::string> extentText, crsText;  // as typed; read by the checks between options
  std::vector<ControlPoint> points;                // --point, in the order given
  std::string settingsFile;  // --settings, read before the command line's options
  // Lines of the settings file that were left out, each with its reason ("line 4: ...").
  std::vector<std::string> ignoredLines;
  SamplingOptions sampling;
  bool samplingGiven = false;  // --resample or --no-antialias
  // The projection of the output picture; none: equirectangular.
  std::optional<std::string> outputProjection;
  MapSettings outputMap;
  std::string outputOptionGiven;  // the first --output-* option other than --output-projection
};

// The type code that NAME|CODE names (an exact name from the registry, or a registered code of at
// most three digits), or -1. The registry must be loaded.
int FindProjection(const std::string& text);

// The word --resample takes for `kernel` ("nearest", "bilinear", "bicubic").
const char* KernelName(Kernel kernel);

// Reads one option: `value` is null for an option given without one. False with a message in
// `error` for an unknown option, a missing or malformed value, or a value given to a flag.
bool ReadOption(const std::string& name, const std::string* value, Settings* settings,
                std::string* error);

// Reads `args` (without the program name) into `settings`, then checks that they go together.
// A --settings FILE is read first, so that the command line's options override it (--point on
// the command line replaces the file's points). False with a one-line message in `error` when
// they do not go together or the settings file cannot be read.
bool ParseArguments(const std::vector<std::string>& args, Settings* settings, std::string* error);

// Reports a failure as one line on stderr; returns `code` for the caller to exit with.
int Fail(int code, const std::string& message);

#endif  // KARTOVEL_CLI_OPTIONS_H_
