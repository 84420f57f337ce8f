// kartovel-convert: the command-line face of Kartovel, making the same files as the wizard.
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "projection/map_project.h"
#include "engine/reproject.h"
#include "image/video_buffer.h"
#include "registry/map_instance.h"
#include "registry/projection_registry.h"

namespace {

constexpr char kUsage[] =
    "kartovel-convert: turns a world map drawn in one projection into an equirectangular\n"
    "picture, exactly as the Kartovel wizard exports it, or draws one in a projection.\n"
    "\n"
    "usage: kartovel-convert [options] INPUT OUTPUT\n"
    "       kartovel-convert --to-projection [options] INPUT OUTPUT\n"
    "       kartovel-convert --list\n"
    "       kartovel-convert --help\n"
    "\n"
    "  INPUT OUTPUT            reproject the map INPUT (PNG, BMP, JPEG, GIF, ...) into an\n"
    "                          equirectangular OUTPUT of W x W/2 pixels: an RGBA PNG when the\n"
    "                          name ends in .png, otherwise a 32-bit BMP; pixels without a\n"
    "                          source are magenta with alpha 0\n"
    "  --to-projection         the reverse: draw the equirectangular INPUT as a W x H map in\n"
    "                          the projection, so that converting it back gives INPUT again\n"
    "  --list                  one line per projection type: code<TAB>name<TAB>type words\n"
    "\n"
    "The map, as on the wizard's projection page (centre, offset, scale and aspect are taken\n"
    "at single precision, as the page's edits take them):\n"
    "  --projection NAME|CODE  type code or exact name from --list (default 2, equirectangular)\n"
    "  --center LAT,LON        centre of projection, degrees (default 0,0)\n"
    "  --offset X,Y            offset in user units (default 0,0)\n"
    "  --scale S               size of the map: at 1 the world's width spans the picture's\n"
    "                          width (default 1)\n"
    "  --aspect A              vertical size is S / (A + 0.0001): at 0.5 and scale 1 the\n"
    "                          world's height spans the picture's height (default 1)\n"
    "  --parallels P1,P2       standard parallels of conic projections, degrees (default 50,10)\n"
    "  --width W               output width in pixels, at least 4 (default 1024)\n"
    "  --height H              output height, --to-projection only (default W/2)\n"
    "\n"
    "Orientation: the top row of the output is latitude -90 in the projection's terms, so\n"
    "for a north-up map enter latitude-like values negated (centre 30N as --center -30,LON).\n"
    "Exit status: 0 done, 1 the conversion failed, 2 the command line is wrong.\n";

// Exit codes: 1 the work failed, 2 the command line is wrong.
constexpr int kFailed = 1;
constexpr int kBadUsage = 2;

struct Settings {
  bool toProjection = false;
  std::string input, output;
  std::string projection = "2";
  double centerLat = 0, centerLon = 0;
  double offsetX = 0, offsetY = 0;
  double scale = 1, aspect = 1;
  std::optional<double> parallel1, parallel2;
  long long width = 1024;
  std::optional<long long> height;
};

// Reports a failure as one line on stderr; returns `code` for the caller to exit with.
int Fail(int code, const std::string& message) {
  std::fprintf(stderr, "%s\n", message.c_str());
  return code;
}

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

// A size for VideoBuffer::Create: beyond its range it is simply too large to be held.
int ClampSize(long long size) {
  return static_cast<int>(std::min<long long>(size, std::numeric_limits<std::int32_t>::max()));
}

// Fills `settings` from the arguments; on failure returns false with a message in `error`.
bool ParseArguments(const std::vector<std::string>& args, Settings* settings, std::string* error) {
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
    if (name == "--to-projection") {
      settings->toProjection = true;
      continue;
    }
    if (name == "--list") {
      *error = "--list takes no files or options";
      return false;
    }
    std::string value;
    if (const std::size_t eq = name.find('='); eq != std::string::npos) {
      value = name.substr(eq + 1);
      name.resize(eq);
    } else if (i + 1 < args.size()) {
      value = args[++i];
    } else {
      *error = "Missing value after " + name;
      return false;
    }
    bool ok = true;
    if (name == "--projection") {
      settings->projection = value;
    } else if (name == "--center") {
      ok = ParsePair(value, true, &settings->centerLat, &settings->centerLon);
    } else if (name == "--offset") {
      ok = ParsePair(value, true, &settings->offsetX, &settings->offsetY);
    } else if (name == "--scale") {
      ok = ParseNumber(value, true, &settings->scale);
    } else if (name == "--aspect") {
      ok = ParseNumber(value, true, &settings->aspect);
    } else if (name == "--parallels") {
      double p1, p2;
      ok = ParsePair(value, false, &p1, &p2);
      if (ok) settings->parallel1 = p1, settings->parallel2 = p2;
    } else if (name == "--width") {
      ok = ParseCount(value, &settings->width);
    } else if (name == "--height") {
      long long h = 0;
      ok = ParseCount(value, &h);
      if (ok) settings->height = h;
    } else {
      *error = "Unknown option " + name;
      return false;
    }
    if (!ok) {
      *error = "Malformed number for " + name + ": " + value;
      return false;
    }
  }
  if (positional.size() != 2) {
    *error = "Expected INPUT and OUTPUT file names (kartovel-convert --help)";
    return false;
  }
  settings->input = positional[0];
  settings->output = positional[1];
  if (settings->height && !settings->toProjection) {
    *error = "--height belongs to --to-projection; the export height is half the width";
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
  return true;
}

// The type code that NAME|CODE names, or -1.
int FindProjection(const std::string& text) {
  ProjectionRegistry& registry = GetProjectionRegistry();
  if (!text.empty() && text.find_first_not_of("0123456789") == std::string::npos &&
      text.size() <= 3) {
    const int code = std::atoi(text.c_str());
    return registry.IsAvailable(code) ? code : -1;
  }
  return registry.FindCode(text);
}

// A "NN%" line on stderr, refreshed by a thread of its own while the rows are worked on, then
// "writing" until the file is saved.
class ProgressLine {
 public:
  ProgressLine(RasterProgress* progress, long long rows) {
    if (!isatty(STDERR_FILENO)) return;
    thread_ = std::thread([this, progress, rows] {
      std::unique_lock<std::mutex> lock(mutex_);
      while (!done_) {
        const long long done = progress->rowsDone.load();
        if (done < rows) {
          std::fprintf(stderr, "\rkartovel-convert: %3lld%%", done * 100 / rows);
        } else {
          std::fprintf(stderr, "\rkartovel-convert: writing");
        }
        wake_.wait_for(lock, std::chrono::milliseconds(200));
      }
      std::fprintf(stderr, "\r\033[K");
    });
  }
  ~ProgressLine() {
    if (!thread_.joinable()) return;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      done_ = true;
    }
    wake_.notify_one();
    thread_.join();
  }

 private:
  std::mutex mutex_;
  std::condition_variable wake_;
  bool done_ = false;
  std::thread thread_;
};

// Sets up the map as the source projection page does: projection, scale and aspect, centre,
// offsets; the parallels, which that page leaves at their defaults, last.
void SetUpInstance(const Settings& s, int code, MapInstance* instance) {
  instance->Select(code);
  instance->scale = s.scale;
  instance->aspect = s.aspect;
  instance->SetCenter(s.centerLat, s.centerLon);
  instance->SetOffset(s.offsetX, s.offsetY);
  if (s.parallel1) instance->SetParallels(*s.parallel1, *s.parallel2);
}

int Export(const Settings& s, const VideoBuffer& source, const MapInstance& instance) {
  RasterProgress progress;
  ExportResult result;
  {
    ProgressLine line(&progress, s.width / 2);
    result = ExportEquirectangular(source, instance, ClampSize(s.width), s.output, &progress);
  }
  switch (result) {
    case ExportResult::kOk:
      return 0;
    case ExportResult::kBadWidth:
      return Fail(kBadUsage, "Width must be at least 4 pixels");
    case ExportResult::kNoMemory:
      return Fail(kFailed,
                  "Not enough memory for an image " + std::to_string(s.width) + " pixels wide");
    case ExportResult::kCancelled:
    case ExportResult::kWriteFailed:
      break;
  }
  return Fail(kFailed, "Cannot write file " + s.output);
}

int RenderMap(const Settings& s, const VideoBuffer& world, const MapInstance& instance) {
  const long long height = s.height.value_or(s.width / 2);
  VideoBuffer map;
  if (map.Create(ClampSize(s.width), ClampSize(height)) != 0) {
    return Fail(kFailed, "Not enough memory for an image of " + std::to_string(s.width) + " x " +
                             std::to_string(height) + " pixels");
  }
  RasterProgress progress;
  {
    ProgressLine line(&progress, height);
    RenderProjection(world, instance, map, &progress);
  }
  if (map.Save(s.output) != 0) return Fail(kFailed, "Cannot write file " + s.output);
  return 0;
}

int Convert(const Settings& s) {
  const int code = FindProjection(s.projection);
  if (code < 0) {
    return Fail(kBadUsage, "Unknown projection " + s.projection + " (kartovel-convert --list)");
  }
  VideoBuffer source;
  if (source.Load(s.input) != 0 || !source.HasStorage()) {
    return Fail(kFailed, "Unable to read image file " + s.input);
  }
  MapInstance instance;
  SetUpInstance(s, code, &instance);
  return s.toProjection ? RenderMap(s, source, instance) : Export(s, source, instance);
}

// One line per registered type, ascending code; scripts read this format.
int ListProjections() {
  ProjectionRegistry& registry = GetProjectionRegistry();
  for (int code = registry.First(); code != ProjectionRegistry::kEnd; code = registry.Next(code)) {
    std::string words;
    Projection::FormatTypeFlags(static_cast<std::int32_t>(registry.GetSlotFlags(code)), &words);
    if (!words.empty()) words.erase(0, 1);
    std::printf("%d\t%s\t%s\n", code, registry.GetSlotName(code).c_str(), words.c_str());
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  for (const std::string& arg : args) {
    if (arg == "--") break;
    if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    }
  }
  const bool list = args.size() == 1 && args[0] == "--list";
  Settings settings;
  std::string error;
  if (!list && !ParseArguments(args, &settings, &error)) return Fail(kBadUsage, error);

  ProjectionRegistry& registry = GetProjectionRegistry();
  registry.LoadAll(ExecutableDirectory());
  const int result = list ? ListProjections() : Convert(settings);
  registry.UnloadAll();
  return result;
}
