// The export job: extents to grid windows, the band loop, the search for the map's data, and the
// georeference and sidecar files.
#include "engine/export.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <vector>

#include "engine/source_sampler.h"
#include "image/band_writer.h"
#include "image/image_files.h"
#include "image/memory_budget.h"
#include "projection/proj_equivalent.h"
#include "registry/map_settings.h"

namespace {

// Longitude and latitude of the centre of grid column c and row r, degrees.
double ColumnLongitude(std::int64_t c, std::int64_t gridWidth) {
  return -180.0 + 360.0 * static_cast<double>(c) / static_cast<double>(gridWidth);
}
double RowLatitude(std::int64_t r, std::int64_t gridHeight) {
  return 90.0 - 180.0 * static_cast<double>(r) / static_cast<double>(gridHeight);
}

// The first column (0 .. gridWidth) whose centre lies at or east of `lon`: the estimate corrected
// against the very formula of the centres, so that membership never depends on rounding.
std::int64_t FirstColumnFrom(double lon, std::int64_t gridWidth) {
  std::int64_t c = std::clamp<std::int64_t>(
      static_cast<std::int64_t>(std::ceil((lon + 180.0) * gridWidth / 360.0)), 0, gridWidth);
  while (c > 0 && ColumnLongitude(c - 1, gridWidth) >= lon) --c;
  while (c < gridWidth && ColumnLongitude(c, gridWidth) < lon) ++c;
  return c;
}

// The first row (0 .. gridHeight) whose centre lies at or south of `lat`.
std::int64_t FirstRowFrom(double lat, std::int64_t gridHeight) {
  std::int64_t r = std::clamp<std::int64_t>(
      static_cast<std::int64_t>(std::ceil((90.0 - lat) * gridHeight / 180.0)), 0, gridHeight);
  while (r > 0 && RowLatitude(r - 1, gridHeight) <= lat) --r;
  while (r < gridHeight && RowLatitude(r, gridHeight) > lat) ++r;
  return r;
}

bool ParseDegrees(const std::string& text, double* value) {
  if (text.empty()) return false;
  char* end = nullptr;
  const double v = std::strtod(text.c_str(), &end);
  if (*end != '\0' || !std::isfinite(v)) return false;
  *value = v;
  return true;
}

// Pixels of the band a VideoBuffer cannot be narrower than.
constexpr std::int64_t kMinSide = 2;

// What every band is rendered from: the source prepared for sampling once for all bands (null for
// an empty source, which has no map to sample), and how to sample it.
struct Renderer {
  const VideoBuffer& source;
  const MapInstance& instance;
  SourceSampler* sampler;
  const SamplingOptions& sampling;
  const MapInstance* output;

  int Render(VideoBuffer& destination, RasterProgress* progress, const GridWindow& window) const {
    return sampler ? Reproject(*sampler, destination, progress, window, sampling, output)
                   : Reproject(source, instance, destination, progress, window, sampling, output);
  }
};

// Renders grid columns left .. left + width - 1 (inside the grid) and rows top .. top + rows - 1
// into columns at .. at + width - 1 and rows 0 .. rows - 1 of `band`. Straight into the band when
// it is exactly that window, otherwise through `scratch`, widened by a neighbouring row or
// column inside the grid where the window is a single pixel thick. 0, -1 cancelled, -2 no memory.
int RenderSpan(const Renderer& renderer, const ExportWindow& grid, std::int64_t left,
               std::int64_t top, std::int64_t width, std::int64_t rows, VideoBuffer& band,
               std::int64_t at, VideoBuffer& scratch, RasterProgress* progress) {
  if (at == 0 && width == band.width && rows == band.height) {
    return renderer.Render(band, progress, {grid.gridWidth, grid.gridHeight, left, top});
  }
  const std::int64_t w = std::max(width, kMinSide), h = std::max(rows, kMinSide);
  const std::int64_t shiftX = std::min(w - width, left), shiftY = std::min(h - rows, top);
  if (scratch.width != w || scratch.height != h) {
    if (scratch.Create(static_cast<std::int32_t>(w), static_cast<std::int32_t>(h)) != 0) return -2;
  }
  if (renderer.Render(scratch, progress,
                      {grid.gridWidth, grid.gridHeight, left - shiftX, top - shiftY}) != 0) {
    return -1;
  }
  for (std::int64_t y = 0; y < rows; ++y) {
    const std::uint8_t* from = scratch.pixels + ((h - 1 - (y + shiftY)) * w + shiftX) * 4;
    std::uint8_t* to = band.pixels + ((band.height - 1 - y) * band.width + at) * 4;
    std::memcpy(to, from, static_cast<std::size_t>(width) * 4);
  }
  return 0;
}

// Renders rows top .. top + rows - 1 of the window into the band's first rows, in one or (across
// the date line) two spans. Same results as RenderSpan.
int RenderBand(const Renderer& renderer, const ExportWindow& window, std::int64_t top,
               std::int64_t rows, VideoBuffer& band, VideoBuffer& scratch,
               RasterProgress* progress) {
  const std::int64_t first = std::min(window.width, window.gridWidth - window.left);
  int result =
      RenderSpan(renderer, window, window.left, top, first, rows, band, 0, scratch, progress);
  if (result == 0 && first < window.width) {
    result = RenderSpan(renderer, window, 0, top, window.width - first, rows, band, first, scratch,
                        progress);
  }
  return result;
}

void SetProgress(RasterProgress* progress, long long done, long long total) {
  if (!progress) return;
  progress->rowsTotal = total;
  progress->rowsDone = done;
}

// The smallest window holding every pixel of the grid the map covers (alpha above 0); across the
// date line when the map's widest gap of columns lies elsewhere. 1 found, 0 no pixel covered, -1
// cancelled, -2 no memory.
int FindDataWindow(const Renderer& renderer, ExportWindow* window, std::int64_t bandRows,
                   RasterProgress* progress) {
  const std::int64_t W = window->gridWidth, H = window->gridHeight;
  const ExportWindow whole{W, H, 0, 0, W, H};
  VideoBuffer band, scratch;
  if (band.Create(static_cast<std::int32_t>(W),
                  static_cast<std::int32_t>(std::max(bandRows, kMinSide))) != 0) {
    return -2;
  }
  std::vector<std::uint8_t> covered(W, 0);
  std::int64_t firstRow = -1, lastRow = -1;
  for (std::int64_t top = 0; top < H; top += bandRows) {
    const std::int64_t rows = std::min(bandRows, H - top);
    if (const int result = RenderBand(renderer, whole, top, rows, band, scratch, progress)) {
      return result;
    }
    for (std::int64_t y = 0; y < rows; ++y) {
      const std::uint8_t* row = band.pixels + (band.height - 1 - y) * W * 4;
      bool any = false;
      for (std::int64_t x = 0; x < W; ++x) {
        if (row[4 * x + 3] == 0) continue;
        covered[x] = 1;
        any = true;
      }
      if (!any) continue;
      if (firstRow < 0) firstRow = top + y;
      lastRow = top + y;
    }
    if (progress) progress->rowsDone = top + rows;
  }
  if (firstRow < 0) return 0;
  // The longest run of uncovered columns, going round the globe; the window is the rest.
  std::int64_t gapStart = 0, gapLength = 0, run = 0;
  for (std::int64_t i = 0; i < 2 * W && gapLength < W; ++i) {
    run = covered[i % W] ? 0 : run + 1;
    if (run > gapLength) {
      gapLength = std::min(run, W);
      gapStart = i - run + 1;
    }
  }
  window->left = gapLength == 0 ? 0 : (gapStart + gapLength) % W;
  window->width = W - gapLength;
  window->top = firstRow;
  window->height = lastRow - firstRow + 1;
  return 1;
}

// Empties `file` for a fresh start.
bool Rewind(std::FILE* file) {
  return std::fflush(file) == 0 && ftruncate(fileno(file), 0) == 0 &&
         std::fseek(file, 0, SEEK_SET) == 0;
}

// Renders the window band by band into `writer`.
ExportResult WriteWindow(const Renderer& renderer, const ExportWindow& window,
                         std::int64_t bandRows, ImageFiles::BandWriter& writer,
                         long long rowsBefore, RasterProgress* progress) {
  VideoBuffer band, scratch;
  const std::int64_t rowsPerBand = std::min(bandRows, window.height);
  if (band.Create(static_cast<std::int32_t>(std::max(window.width, kMinSide)),
                  static_cast<std::int32_t>(std::max(rowsPerBand, kMinSide))) != 0) {
    return ExportResult::kNoMemory;
  }
  for (std::int64_t top = 0; top < window.height; top += rowsPerBand) {
    const std::int64_t rows = std::min(rowsPerBand, window.height - top);
    switch (RenderBand(renderer, window, window.top + top, rows, band, scratch, progress)) {
      case 0:
        break;
      case -1:
        return ExportResult::kCancelled;
      default:
        return ExportResult::kNoMemory;
    }
    if (!writer.WriteBand(band, rows)) return ExportResult::kWriteFailed;
    if (progress) progress->rowsDone = rowsBefore + top + rows;
  }
  return ExportResult::kOk;
}

bool WriteText(const std::string& path, const std::string& text, std::string* reason) {
  return ImageFiles::ReplaceFile(
             path,
             [&](std::FILE* file) {
               return std::fwrite(text.data(), 1, text.size(), file) == text.size();
             },
             reason) == 0;
}

}  // namespace

bool ParseExtent(const std::string& text, ExportExtent* extent, std::string* error) {
  if (text == "data") {
    *extent = ExportExtent{ExportExtent::Kind::kData};
    return true;
  }
  double v[4];
  std::size_t start = 0;
  for (int i = 0; i < 4; ++i) {
    const std::size_t comma = i < 3 ? text.find(',', start) : text.size();
    if (comma == std::string::npos || !ParseDegrees(text.substr(start, comma - start), &v[i])) {
      *error = "Malformed extent " + text + " (WEST,SOUTH,EAST,NORTH in degrees, or data)";
      return false;
    }
    start = comma + 1;
  }
  const double west = v[0], south = v[1], east = v[2], north = v[3];
  if (std::fabs(west) > 180 || std::fabs(east) > 180 || std::fabs(south) > 90 ||
      std::fabs(north) > 90) {
    *error = "Extent " + text + " lies outside -180..180 degrees east and -90..90 north";
    return false;
  }
  if (south >= north) {
    *error = "Extent " + text + " has its south at or above its north";
    return false;
  }
  if (west == east) {
    *error = "Extent " + text + " has no width (west equals east)";
    return false;
  }
  *extent = ExportExtent{ExportExtent::Kind::kWindow, west, south, east, north};
  return true;
}

bool WindowOfExtent(const ExportExtent& extent, std::int64_t gridWidth, ExportWindow* window) {
  const std::int64_t W = gridWidth, H = gridWidth / 2;
  *window = ExportWindow{W, H, 0, 0, W, H};
  if (extent.kind != ExportExtent::Kind::kWindow) return W > 0 && H > 0;
  const std::int64_t c0 = FirstColumnFrom(extent.west, W), c1 = FirstColumnFrom(extent.east, W);
  window->left = c0 % W;
  window->width = extent.west < extent.east ? c1 - c0 : (W - c0) + c1;
  window->top = FirstRowFrom(extent.north, H);
  window->height = FirstRowFrom(extent.south, H) - window->top;
  return window->width > 0 && window->height > 0;
}

GeoReference GeoReferenceOf(const ExportWindow& window, const GeoCrs& crs) {
  const double W = static_cast<double>(window.gridWidth),
               H = static_cast<double>(window.gridHeight);
  GeoReference geo;
  geo.crs = crs;
  // Half a pixel out from the centre of the first pixel, each in one rounding.
  geo.west = -180.0 + 360.0 * (2.0 * window.left - 1.0) / (2.0 * W);
  geo.north = 90.0 - 180.0 * (2.0 * window.top - 1.0) / (2.0 * H);
  geo.pixelWidth = 360.0 / W;
  geo.pixelHeight = 180.0 / H;
  return geo;
}

bool ProjectedGeoReference(const MapInstance& output, std::int64_t width, std::int64_t height,
                           const GeoCrs& crs, GeoReference* geo) {
  if (!output.projection) return false;
  // The twin with north-positive latitudes draws the mirror image of our stored convention: the
  // same x, y negated (north up).
  const Projection::ProjEquivalent twin = Projection::ProjEquivalentOf(
      output.typeCode, NorthPositiveLatitude(output.centerLat), output.centerLon,
      NorthPositiveLatitude(output.parallel1), NorthPositiveLatitude(output.parallel2));
  if (twin.definition.empty()) return false;
  constexpr double kWgs84SemiMajorAxis = 6378137.0;
  const double radius = crs.kind == GeoCrs::Kind::kSphere ? crs.radius : kWgs84SemiMajorAxis;
  char sphere[48];
  std::snprintf(sphere, sizeof sphere, " +R=%.17g", radius);
  std::string definition = twin.definition;
  definition.replace(definition.find(" +R=1"), 5, sphere);
  geo->crs = GeoCrs{GeoCrs::Kind::kSphere, radius};
  geo->projection = definition + " +units=m +no_defs";
  // Grid position p of the picture is map unit (p - half) / (factor k), offsets included (see
  // Placement); the picture's edge lies half a pixel out from the first pixel's centre.
  const Placement place(output, width, height);
  const double metresX = radius / (place.xFactor * place.k * twin.xFactor);
  const double metresY = radius / (place.yFactor * place.k * twin.yFactor);
  const double mapLeft = (-0.5 - place.halfWidth) / (place.xFactor * place.k);
  const double mapTop = (-0.5 - place.halfHeight) / (place.yFactor * place.k);
  geo->west = (mapLeft - output.offsetX) * radius / twin.xFactor;
  geo->north = -(mapTop - output.offsetY) * radius / twin.yFactor;
  geo->pixelWidth = metresX;
  geo->pixelHeight = metresY;
  return true;
}

std::uint64_t ExportMemoryNeeded(const VideoBuffer& source, const ExportRequest& request) {
  const ImageFiles::OutputFormat format = ImageFiles::FormatOfName(request.path);
  const auto W = static_cast<std::uint64_t>(std::max<std::int64_t>(request.width, 0));
  const std::int64_t H = request.output && request.height > 0 ? request.height : request.width / 2;
  const auto rows = static_cast<std::uint64_t>(
      std::max(std::min(ImageFiles::BandRows(format, request.width), H), kMinSide));
  // A band and its scratch copy, the band's longitudes, the writer's own buffers, and the
  // sampler's marks of the source's pixels.
  return 2 * rows * W * 4 + W * 8 + ImageFiles::WriterWorkingBytes(format, request.width) +
         SourceSampler::MarksBytes(source.width, source.height);
}

ExportResult ExportEquirectangular(const VideoBuffer& source, const MapInstance& instance,
                                   const ExportRequest& request, RasterProgress* progress,
                                   std::string* reason) {
  const std::int64_t W = request.width;
  const std::int64_t H = request.output && request.height > 0 ? request.height : W / 2;
  if (W < 4 || H < 2) return ExportResult::kBadWidth;
  if (request.output && (request.extent.kind != ExportExtent::Kind::kWorld || request.worldFile)) {
    return ExportResult::kNotEquirectangular;
  }
  const ImageFiles::OutputFormat format = ImageFiles::FormatOfName(request.path);
  const bool findData = request.extent.kind == ExportExtent::Kind::kData;
  ExportWindow window;
  if (!WindowOfExtent(request.extent, W, &window)) return ExportResult::kEmptyWindow;
  if (request.output) window.gridHeight = window.height = H;
  // Refused before the work: a size the format cannot hold, bands the machine cannot hold.
  if (const std::string limit = ImageFiles::FormatLimit(format, window.width, window.height);
      !limit.empty()) {
    if (reason) *reason = limit;
    return ExportResult::kFormatLimit;
  }
  const std::uint64_t needed = ExportMemoryNeeded(source, request);
  if (!MemoryBudget::Allows(needed)) return ExportResult::kNoMemory;
  const std::int64_t bandRows = ImageFiles::BandRows(format, W);
  // The map's outline is found once, for all bands.
  std::optional<SourceSampler> sampler;
  if (source.HasStorage()) {
    sampler.emplace(source, instance);
    sampler->FollowFeed(request.sourceRows);
    if (PrepareSampler(*sampler, window.gridWidth, window.gridHeight, request.sampling,
                       request.output, needed) != 0) {
      if (reason) {
        // The pyramid holds about a third of the source's pixels, most of them in its first level.
        const std::int64_t w = (source.width + 1) / 2, h = (source.height + 1) / 2;
        *reason =
            MemoryBudget::NotEnoughMessage(w, h, static_cast<std::uint64_t>(w) * h * 4 * 4 / 3) +
            " to shrink the source, and too little free space in " + ImageFiles::TemporaryFolder() +
            " to hold it on disk";
      }
      return ExportResult::kNoMemory;
    }
  }
  const Renderer renderer{source, instance, sampler ? &*sampler : nullptr, request.sampling,
                          request.output};

  long long rowsBefore = 0;
  if (findData) {
    SetProgress(progress, 0, 2 * H);
    switch (FindDataWindow(renderer, &window, bandRows, progress)) {
      case 1:
        break;
      case 0:
        return ExportResult::kNoData;
      case -1:
        return ExportResult::kCancelled;
      default:
        return ExportResult::kNoMemory;
    }
    rowsBefore = H;
  }
  SetProgress(progress, rowsBefore, rowsBefore + window.height);

  GeoReference geo = GeoReferenceOf(window, request.crs);
  const GeoReference* placed = &geo;
  if (request.output && !ProjectedGeoReference(*request.output, W, H, request.crs, &geo)) {
    placed = nullptr;
  }
  ExportResult result = ExportResult::kWriteFailed;
  std::string why;
  // The cancel flag is read once more after the last band: a cancel while the file is completed
  // still leaves nothing behind.
  const int replaced = ImageFiles::ReplaceFile(
      request.path,
      [&](std::FILE* file) {
        // A PNG whose pixels all look opaque goes without alpha, smaller and faster; should one
        // not be after all, the file starts again with it.
        bool opaque = format == ImageFiles::OutputFormat::kPng && renderer.sampler &&
                      LooksOpaque(*renderer.sampler,
                                  {window.gridWidth, window.gridHeight, window.left, window.top},
                                  window.width, window.height, request.output);
        std::unique_ptr<ImageFiles::BandWriter> writer;
        for (;;) {
          writer =
              ImageFiles::OpenBandWriter(format, file, window.width, window.height, placed, opaque);
          if (!writer) return false;
          result = WriteWindow(renderer, window, bandRows, *writer, rowsBefore, progress);
          if (result != ExportResult::kWriteFailed || !writer->Transparent()) break;
          if (!Rewind(file)) return false;
          opaque = false;
          SetProgress(progress, rowsBefore, rowsBefore + window.height);
        }
        if (result == ExportResult::kOk && request.sourceRows) {
          request.sourceRows->WaitFor(request.sourceRows->height);
          if (request.sourceRows->failed.load()) result = ExportResult::kSourceUnreadable;
        }
        if (result == ExportResult::kOk && !writer->Finish()) result = ExportResult::kWriteFailed;
        return result == ExportResult::kOk;
      },
      &why, progress ? &progress->cancel : nullptr);
  if (result != ExportResult::kOk && result != ExportResult::kWriteFailed) return result;
  if (replaced == -2) return ExportResult::kCancelled;
  if (replaced != 0) {
    if (reason) *reason = why;
    return ExportResult::kWriteFailed;
  }
  if (request.worldFile) {
    const std::string worldFile = WorldFileName(request.path);
    if (worldFile.empty() || !WriteText(worldFile, WorldFileText(geo), &why) ||
        !WriteText(PrjFileName(request.path), PrjText(request.crs), &why)) {
      if (reason) *reason = worldFile.empty() ? "no name for its world file" : why;
      return ExportResult::kSidecarFailed;
    }
  }
  return ExportResult::kOk;
}

ExportResult ExportEquirectangular(const VideoBuffer& source, const MapInstance& instance,
                                   int width, const std::string& path, RasterProgress* progress,
                                   std::string* reason) {
  ExportRequest request;
  request.width = width;
  request.path = path;
  return ExportEquirectangular(source, instance, request, progress, reason);
}
