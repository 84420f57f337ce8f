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
#include "image/background_load.h"
#include "image/band_writer.h"
#include "image/memory_budget.h"
#include "image/video_buffer.h"
#include "projection/map_project.h"
#include "registry/projection_registry.h"

namespace {

// A picture of width x height pixels the tool cannot hold: the message, and exit 1.
int NotEnoughMemory(long long width, long long height, std::uint64_t bytes) {
  return Fail(kFailed, MemoryBudget::NotEnoughMessage(width, height, bytes));
}

}  // namespace

int SetUpInstance(const Settings& s, int code, MapInstance* instance) {
  return SetUpMap(s.map, code, instance);
}

int SetUpMap(const MapSettings& settings, int code, MapInstance* instance,
             const std::string& prefix) {
  MapSettings map = settings;
  map.typeCode = code;
  const int refused = ApplySettings(map, instance);
  // The registry lists the type, but its module made no object: never convert with another.
  if (instance->typeCode != code) {
    return Fail(kFailed, "Projection " + std::to_string(code) + " (" +
                             GetProjectionRegistry().GetSlotName(code) +
                             ") could not be created by its module");
  }
  if (refused == 0) return 0;
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

static int Export(const Settings& s, BackgroundLoad& load, const MapInstance& instance,
                  const MapInstance* output) {
  const VideoBuffer& source = load.Picture();
  ExportRequest request;
  request.sourceRows = &load.Rows();
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
  std::string reason;
  const long long height = output ? s.height.value_or(s.width / 2) : s.width / 2;
  {
    ProgressLine line(&progress, height);
    result = ExportEquirectangular(source, instance, request, &progress, &reason);
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
    case ExportResult::kFormatLimit:
      return Fail(kFailed, "Cannot write file " + s.output + ": " + reason);
    case ExportResult::kNoMemory:
      if (!reason.empty()) return Fail(kFailed, reason);
      return NotEnoughMemory(s.width, height, ExportMemoryNeeded(source, request));
    case ExportResult::kNoData:
      return Fail(kFailed,
                  "The map covers no pixel of the world: --extent data has nothing to write");
    case ExportResult::kSidecarFailed:
      return Fail(kFailed, "Wrote " + s.output + " but cannot write " + WorldFileName(s.output) +
                               " or " + PrjFileName(s.output) + ": " + reason);
    case ExportResult::kSourceUnreadable:
      load.Finish(&reason);
      return Fail(kFailed, "Unable to read image file " + s.input + ": " + reason);
    case ExportResult::kCancelled:
    case ExportResult::kWriteFailed:
      break;
  }
  return Fail(kFailed, "Cannot write file " + s.output + ": " + reason);
}

static int RenderMap(const Settings& s, const VideoBuffer& world, const MapInstance& instance) {
  const long long height = s.height.value_or(s.width / 2);
  const auto w = static_cast<std::uint64_t>(s.width), h = static_cast<std::uint64_t>(height);
  const std::uint64_t bytes = w > UINT64_MAX / 4 / h ? UINT64_MAX : w * h * 4;
  // Never a silently smaller picture: a side beyond what a buffer can have is too much memory.
  if (s.width > std::numeric_limits<std::int32_t>::max() ||
      height > std::numeric_limits<std::int32_t>::max()) {
    return NotEnoughMemory(s.width, height, bytes);
  }
  // A size the format cannot hold is refused whatever memory there is.
  const std::string limit =
      ImageFiles::FormatLimit(ImageFiles::FormatOfName(s.output), s.width, height);
  if (!limit.empty()) return Fail(kFailed, "Cannot write file " + s.output + ": " + limit);
  if (!MemoryBudget::Allows(bytes)) return NotEnoughMemory(s.width, height, bytes);
  VideoBuffer map;
  if (map.Create(static_cast<int>(s.width), static_cast<int>(height)) != 0) {
    return NotEnoughMemory(s.width, height, bytes);
  }
  RasterProgress progress;
  {
    ProgressLine line(&progress, height);
    RenderProjection(world, instance, map, &progress);
  }
  std::string reason;
  if (map.Save(s.output, &reason) != 0) {
    return Fail(kFailed, "Cannot write file " + s.output + ": " + reason);
  }
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
  // The export starts on the source's top rows while the rest is read.
  BackgroundLoad load;
  std::string reason;
  if (load.Start(s.input, &reason) != 0 ||
      ((!load.Picture().HasStorage() || s.toProjection) && load.Finish(&reason) != 0)) {
    return Fail(kFailed, "Unable to read image file " + s.input + ": " + reason);
  }
  if (!load.Picture().HasStorage()) {
    return Fail(kFailed, "Unable to read image file " + s.input + ": a side of 1 pixel");
  }
  if (s.toProjection) return RenderMap(s, load.Picture(), instance);
  return Export(s, load, instance, s.outputProjection ? &output : nullptr);
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
