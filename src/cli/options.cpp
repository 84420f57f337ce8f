// The option table of kartovel-convert and the checks that the options go together.
#include "cli/options.h"

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>

#include "cli/settings_file.h"
#include "registry/projection_registry.h"

namespace {

// A whole-text number; `single` narrows it to single precision first, as the page's edits read
// their numbers, so that the same text sets the same value in the wizard and here.
bool ParseNumber(const std::string& text, bool single, double* value) {
  if (text.empty()) return false;
  char* end = nullptr;
  const double v = single ? std::strtof(text.c_str(), &end) : std::strtod(text.c_str(), &end);
  if (end == text.c_str() || *end != '\0' || !std::isfinite(v)) return false;
  *value = v;
  return true;
}

bool ParsePair(const std::string& text, bool single, double* first, double* second) {
  const std::size_t comma = text.find(',');
  return comma != std::string::npos && ParseNumber(text.substr(0, comma), single, first) &&
         ParseNumber(text.substr(comma + 1), single, second);
}

// Decimal digits only, up to 4294967295 as the export page takes its width.
bool ParseCount(const std::string& text, long long* value) {
  if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos) return false;
  errno = 0;
  const unsigned long long v = std::strtoull(text.c_str(), nullptr, 10);
  if (errno == ERANGE || v > std::numeric_limits<std::uint32_t>::max()) return false;
  *value = static_cast<long long>(v);
  return true;
}

// "COLUMN,ROW,LAT,LON", every part a number.
bool ParsePoint(const std::string& text, ControlPoint* point) {
  double* const parts[] = {&point->column, &point->row, &point->latitude, &point->longitude};
  std::size_t start = 0;
  for (std::size_t i = 0; i < 4; ++i) {
    const std::size_t comma = i < 3 ? text.find(',', start) : text.size();
    if (comma == std::string::npos ||
        !ParseNumber(text.substr(start, comma - start), false, parts[i])) {
      return false;
    }
    start = comma + 1;
  }
  return true;
}

// An option that takes a value: false when the value is malformed. `accepted` names the values of
// an option that takes words rather than numbers.
struct ValueOption {
  const char* name;
  bool (*read)(const std::string& value, Settings* s);
  const char* accepted = nullptr;
};

constexpr struct {
  const char* name;
  Kernel kernel;
} kKernels[] = {
    {"nearest", Kernel::kNearest}, {"bilinear", Kernel::kBilinear}, {"bicubic", Kernel::kBicubic}};

bool ParseKernel(const std::string& text, Kernel* kernel) {
  for (const auto& k : kKernels) {
    if (text == k.name) return *kernel = k.kernel, true;
  }
  return false;
}

// The options of the output map read what the source's options read, into outputMap.
bool ReadOutput(const char* option, bool (*read)(const std::string&, MapSettings*),
                const std::string& v, Settings* s) {
  if (s->outputOptionGiven.empty()) s->outputOptionGiven = option;
  return read(v, &s->outputMap);
}

bool ReadCenter(const std::string& v, MapSettings* m) {
  return ParsePair(v, true, &m->centerLat, &m->centerLon);
}
bool ReadOffset(const std::string& v, MapSettings* m) {
  return ParsePair(v, true, &m->offsetX, &m->offsetY);
}
bool ReadScale(const std::string& v, MapSettings* m) { return ParseNumber(v, true, &m->scale); }
bool ReadAspect(const std::string& v, MapSettings* m) { return ParseNumber(v, true, &m->aspect); }
bool ReadParallels(const std::string& v, MapSettings* m) {
  double p1, p2;
  if (!ParsePair(v, false, &p1, &p2)) return false;
  m->parallel1 = p1, m->parallel2 = p2;
  return true;
}

// An option that stands alone.
struct FlagOption {
  const char* name;
  void (*set)(Settings* s);
};

const ValueOption kValueOptions[] = {
    {"--projection", [](const std::string& v, Settings* s) { return s->projection = v, true; }},
    {"--center", [](const std::string& v, Settings* s) { return ReadCenter(v, &s->map); }},
    {"--offset", [](const std::string& v, Settings* s) { return ReadOffset(v, &s->map); }},
    {"--scale", [](const std::string& v, Settings* s) { return ReadScale(v, &s->map); }},
    {"--aspect", [](const std::string& v, Settings* s) { return ReadAspect(v, &s->map); }},
    {"--parallels", [](const std::string& v, Settings* s) { return ReadParallels(v, &s->map); }},
    {"--fit", [](const std::string& v, Settings* s) { return s->fit = v, !v.empty(); }},
    {"--points", [](const std::string& v, Settings* s) { return s->pointsFile = v, !v.empty(); }},
    {"--width", [](const std::string& v, Settings* s) { return ParseCount(v, &s->width); }},
    {"--recognize", [](const std::string& v, Settings* s) { return s->recognize = v, true; }},
    {"--height",
     [](const std::string& v, Settings* s) {
       long long h = 0;
       if (!ParseCount(v, &h)) return false;
       s->height = h;
       return true;
     }},
    {"--extent", [](const std::string& v, Settings* s) { return s->extentText = v, true; }},
    {"--crs", [](const std::string& v, Settings* s) { return s->crsText = v, true; }},
    {"--point",
     [](const std::string& v, Settings* s) {
       ControlPoint point;
       if (!ParsePoint(v, &point)) return false;
       s->points.push_back(point);
       return true;
     }},
    {"--settings", [](const std::string& v, Settings* s) { return s->settingsFile = v, true; }},
    {"--resample",
     [](const std::string& v, Settings* s) {
       s->samplingGiven = true;
       return ParseKernel(v, &s->sampling.kernel);
     },
     "nearest, bilinear or bicubic"},
    {"--output-projection",
     [](const std::string& v, Settings* s) { return s->outputProjection = v, true; }},
    {"--output-center",
     [](const std::string& v, Settings* s) {
       return ReadOutput("--output-center", ReadCenter, v, s);
     }},
    {"--output-offset",
     [](const std::string& v, Settings* s) {
       return ReadOutput("--output-offset", ReadOffset, v, s);
     }},
    {"--output-scale", [](const std::string& v,
                          Settings* s) { return ReadOutput("--output-scale", ReadScale, v, s); }},
    {"--output-aspect",
     [](const std::string& v, Settings* s) {
       return ReadOutput("--output-aspect", ReadAspect, v, s);
     }},
    {"--output-parallels",
     [](const std::string& v, Settings* s) {
       return ReadOutput("--output-parallels", ReadParallels, v, s);
     }},
};

const FlagOption kFlagOptions[] = {
    {"--to-projection", [](Settings* s) { s->toProjection = true; }},
    {"--rank", [](Settings* s) { s->rank = true; }},
    {"--all-types", [](Settings* s) { s->allTypes = true; }},
    {"--world-file", [](Settings* s) { s->worldFile = true; }},
    {"--no-antialias",
     [](Settings* s) {
       s->sampling.antialias = false;
       s->samplingGiven = true;
     }},
};

// --extent, --crs and --world-file: readable, meant for the export (--crs also names the sphere
// of an output projection's GeoTIFF), and an extent that holds pixels at the chosen width.
bool CheckGeoreference(Settings* settings, std::string* error) {
  if (settings->toProjection &&
      (settings->extentText || settings->crsText || settings->worldFile)) {
    *error =
        "--extent, --crs and --world-file belong to the equirectangular export, not to "
        "--to-projection";
    return false;
  }
  if (settings->outputProjection && (settings->extentText || settings->worldFile)) {
    *error =
        "--extent and --world-file belong to the equirectangular export, not to "
        "--output-projection";
    return false;
  }
  if (settings->crsText && !ParseGeoCrs(*settings->crsText, &settings->crs)) {
    *error = "Unknown CRS " + *settings->crsText + " (EPSG:4326 or sphere:RADIUS in metres)";
    return false;
  }
  if (settings->worldFile && WorldFileName(settings->output).empty()) {
    *error = "--world-file needs an output name with an extension (.png, .bmp, .tif)";
    return false;
  }
  if (!settings->extentText) return true;
  if (!ParseExtent(*settings->extentText, &settings->extent, error)) return false;
  ExportWindow window;
  if (!WindowOfExtent(settings->extent, settings->width, &window)) {
    *error = "Extent " + *settings->extentText + " holds no pixel at width " +
             std::to_string(settings->width);
    return false;
  }
  return true;
}

bool TakesValue(const std::string& name) {
  for (const ValueOption& o : kValueOptions) {
    if (name == o.name) return true;
  }
  return false;
}

// The checks between options, once all are read.
bool CheckTogether(Settings* settings, std::string* error) {
  if (!settings->fit.empty() && !settings->recognize.empty()) {
    *error = "--fit and --recognize cannot be combined";
    return false;
  }
  if (settings->fit.empty() && (settings->rank || !settings->pointsFile.empty())) {
    *error = std::string(settings->rank ? "--rank" : "--points") + " belongs to --fit IMAGE";
    return false;
  }
  if (!settings->fit.empty()) {
    if (settings->toProjection || settings->height || settings->outputProjection ||
        settings->samplingGiven) {
      *error = "--fit takes only the map's settings, --points and --rank";
      return false;
    }
    return true;
  }
  if (!settings->recognize.empty()) {
    for (const char* other : {"--to-projection", "--width", "--height", "--output-projection",
                              "--resample", "--no-antialias"}) {
      if (settings->given.count(other)) {
        *error = std::string(other) + " does not go with --recognize";
        return false;
      }
    }
    return true;
  }
  if (settings->allTypes) {
    *error = "--all-types belongs to --recognize";
    return false;
  }
  if (settings->toProjection && settings->outputProjection) {
    *error = "--to-projection and --output-projection cannot be combined";
    return false;
  }
  if (settings->toProjection && settings->samplingGiven) {
    *error = "--resample and --no-antialias apply to the conversion, not to --to-projection";
    return false;
  }
  if (!settings->outputOptionGiven.empty() && !settings->outputProjection) {
    *error = settings->outputOptionGiven + " belongs to --output-projection";
    return false;
  }
  if (settings->height && !settings->toProjection && !settings->outputProjection) {
    *error =
        "--height belongs to --to-projection or --output-projection; the equirectangular "
        "height is half the width";
    return false;
  }
  if (settings->outputProjection && settings->height.value_or(2) < 2) {
    *error = "Height must be at least 2 pixels";
    return false;
  }
  if (settings->toProjection) {
    if (settings->width < 2 || settings->height.value_or(settings->width / 2) < 2) {
      *error = "Width and height must be at least 2";
      return false;
    }
  } else if (settings->width < 4) {
    *error = "Width must be at least 4 pixels";
    return false;
  }
  return CheckGeoreference(settings, error);
}

}  // namespace

int Fail(int code, const std::string& message) {
  std::fprintf(stderr, "%s\n", message.c_str());
  return code;
}

const char* KernelName(Kernel kernel) {
  for (const auto& k : kKernels) {
    if (k.kernel == kernel) return k.name;
  }
  return "bilinear";
}

int FindProjection(const std::string& text) {
  ProjectionRegistry& registry = GetProjectionRegistry();
  if (!text.empty() && text.find_first_not_of("0123456789") == std::string::npos &&
      text.size() <= 3) {
    const int code = std::atoi(text.c_str());
    return registry.IsAvailable(code) ? code : -1;
  }
  return registry.FindCode(text);
}

bool ReadOption(const std::string& name, const std::string* value, Settings* settings,
                std::string* error) {
  for (const FlagOption& flag : kFlagOptions) {
    if (name != flag.name) continue;
    if (value) {
      *error = name + " takes no value";
      return false;
    }
    flag.set(settings);
    return true;
  }
  const ValueOption* option = nullptr;
  for (const ValueOption& o : kValueOptions) option = name == o.name ? &o : option;
  if (!option) {
    *error = "Unknown option " + name;
    return false;
  }
  if (!value) {
    *error = "Missing value after " + name;
    return false;
  }
  if (!option->read(*value, settings)) {
    *error = option->accepted
                 ? "Unknown value for " + name + ": " + *value + " (" + option->accepted + ")"
                 : "Malformed number for " + name + ": " + *value;
    return false;
  }
  return true;
}

bool ParseArguments(const std::vector<std::string>& args, Settings* settings, std::string* error) {
  // The settings file first, so that every option typed after it wins.
  for (std::size_t i = 0; i < args.size() && args[i] != "--"; ++i) {
    std::string file;
    if (args[i] == "--settings" && i + 1 < args.size()) file = args[i + 1];
    if (args[i].rfind("--settings=", 0) == 0) file = args[i].substr(11);
    if (file.empty()) continue;
    if (!ReadSettingsFile(file, settings, &settings->ignoredLines, error)) return false;
    break;
  }
  const std::size_t pointsFromFile = settings->points.size();

  std::vector<std::string> positional;
  bool optionsEnded = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    std::string name = args[i];
    if (!optionsEnded && name == "--") {
      optionsEnded = true;
      continue;
    }
    if (optionsEnded || name.rfind("--", 0) != 0) {
      positional.push_back(name);
      continue;
    }
    if (name == "--list") {
      *error = "--list takes no files or options";
      return false;
    }
    std::optional<std::string> value;
    if (const std::size_t eq = name.find('='); eq != std::string::npos) {
      value = name.substr(eq + 1);
      name.resize(eq);
    } else if (TakesValue(name) && i + 1 < args.size()) {
      value = args[++i];
    }
    if (!ReadOption(name, value ? &*value : nullptr, settings, error)) return false;
    settings->given.insert(name);
  }
  if (settings->points.size() > pointsFromFile && pointsFromFile > 0) {
    settings->points.erase(settings->points.begin(),
                           settings->points.begin() + static_cast<std::ptrdiff_t>(pointsFromFile));
  }
  if (!settings->fit.empty() || !settings->recognize.empty()) {
    if (!positional.empty()) {
      *error = std::string(settings->fit.empty() ? "--recognize" : "--fit") +
               " IMAGE takes no INPUT OUTPUT: " + positional[0];
      return false;
    }
    return CheckTogether(settings, error);
  }
  if (positional.size() != 2) {
    *error = "Expected INPUT and OUTPUT file names (kartovel-convert --help)";
    return false;
  }
  settings->input = positional[0];
  settings->output = positional[1];
  return CheckTogether(settings, error);
}
