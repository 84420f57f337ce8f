// The conversion commands of kartovel-convert: INPUT OUTPUT, --to-projection, --list.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <string>

#include "cli/commands.h"
#include "cli/progress_line.h"
#include "engine/export.h"
#include "engine/reproject.h"
#include "image/band_writer.h"
#include "image/video_buffer.h"
#include "projection/map_project.h"
#include "registry/projection_registry.h"

namespace {

// A size for VideoBuffer::Create: beyond its range it is simply too large to be held.
int ClampSize(long long size) {
  return static_cast<int>(std::min<long long>(size, std::numeric_limits<std::int32_t>::max()));
}

}  // namespace

int SetUpInstance(const Settings& s, int code, MapInstance* instance) {
  return SetUpMap(s.map, code, instance);
}

int SetUpMap(const MapSettings& settings, int code, MapInstance* instance,
             const std::string& prefix) {
  MapSettings map = settings;
  map.typeCode = code;
  if (ApplySettings(map, instance) == 0) return 0;
  // Name what the projection was given: for a cone the parallels are the usual culprit.
  const auto pair = [](double a, double b) {
    char text[64];
    std::snprintf(text, sizeof text, "%g,%g", a, b);
    return std::string(text);
  };
  std::string given = prefix + "center " + pair(map.centerLat, map.centerLon);
  if (map.parallel1)
    given = prefix + "parallels " + pair(*map.parallel1, *map.parallel2) + " with " + given;
  return Fail(kBadUsage, std::string(instance->GetName()) + " refuses " + given);
}

static int Export(const Settings& s, const VideoBuffer& source, const MapInstance& instance,
                  const MapInstance* output) {
  ExportRequest request;
  request.width = s.width;
  request.path = s.output;
  request.extent = s.extent;
  request.crs = s.crs;
  request.worldFile = s.worldFile;
  request.sampling = s.sampling;
  request.output = output;
  if (output) request.height = s.height.value_or(0);
  RasterProgress progress;
  ExportResult result;
  const long long height = output ? s.height.value_or(s.width / 2) : s.width / 2;
  {
    ProgressLine line(&progress, height);
    result = ExportEquirectangular(source, instance, request, &progress);
  }
  switch (result) {
    case ExportResult::kOk:
      return 0;
    case ExportResult::kBadWidth:
      return Fail(kBadUsage, "Width must be at least 4 pixels");
    case ExportResult::kEmptyWindow:
      return Fail(kBadUsage, "The extent holds no pixel at width " + std::to_string(s.width));
    case ExportResult::kNotEquirectangular:
      return Fail(kBadUsage, "--extent and --world-file belong to the equirectangular export");
    case ExportResult::kFormatLimit: {
      ExportWindow window;
      WindowOfExtent(s.extent, s.width, &window);
      const auto format = ImageFiles::FormatOfName(s.output);
      return Fail(kBadUsage, ImageFiles::FormatLimit(format, window.width, window.height));
    }
    case ExportResult::kNoMemory:
      return Fail(kFailed,
                  "Not enough memory for an image " + std::to_string(s.width) + " pixels wide");
    case ExportResult::kNoData:
      return Fail(kFailed, "The map covers no pixel of the world: --extent data has nothing to write");
    case ExportResult::kSidecarFailed:
      return Fail(kFailed, "Wrote " + s.output + " but cannot write " + WorldFileName(s.output) +
                               " or " + PrjFileName(s.output));
    case ExportResult::kCancelled:
    case ExportResult::kWriteFailed:
      break;
  }
  return Fail(kFailed, "Cannot write file " + s.output);
}

static int RenderMap(const Settings& s, const VideoBuffer& world, const MapInstance& instance) {
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
  MapInstance instance;
  if (const int refused = SetUpInstance(s, code, &instance)) return refused;
  MapInstance output;
  if (s.outputProjection) {
    const int outputCode = FindProjection(*s.outputProjection);
    if (outputCode < 0) {
      return Fail(kBadUsage, "Unknown output projection " + *s.outputProjection +
                                 " (kartovel-convert --list)");
    }
    if (const int refused = SetUpMap(s.outputMap, outputCode, &output, "--output-")) {
      return refused;
    }
  }
  VideoBuffer source;
  std::string reason;
  const int loaded = source.Load(s.input, &reason);
  if (loaded == -3) return Fail(kFailed, "Unable to read image file " + s.input + ": " + reason);
  if (loaded != 0 || !source.HasStorage()) {
    return Fail(kFailed, "Unable to read image file " + s.input);
  }
  if (s.toProjection) return RenderMap(s, source, instance);
  return Export(s, source, instance, s.outputProjection ? &output : nullptr);
}

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
