// The export job of the wizard and the command line: an equirectangular picture of a map, made in
// bands of rows and written to the file as it goes, so that memory holds the source and a few
// bands whatever the output's size; the whole world or a window of it, georeferenced.
#ifndef KARTOVEL_ENGINE_EXPORT_H_
#define KARTOVEL_ENGINE_EXPORT_H_

#include <cstdint>
#include <string>

#include "engine/reproject.h"
#include "image/geo_reference.h"
#include "image/row_feed.h"
#include "image/video_buffer.h"
#include "registry/map_instance.h"

// The part of the world an export writes. The pixel grid is always that of the whole-world
// export of the same width: pixel (c, r) of a W x H grid has its centre at longitude
// -180 + 360 c / W and latitude 90 - 180 r / H (degrees, north-positive).
struct ExportExtent {
  enum class Kind { kWorld, kWindow, kData };
  Kind kind = Kind::kWorld;
  // kWindow: a pixel belongs when its centre has west <= lon < east and south < lat <= north;
  // west > east crosses the date line.
  double west = -180, south = -90, east = 180, north = 90;
};

// Reads "WEST,SOUTH,EAST,NORTH" (degrees) or "data". False with the reason in `error` when it is
// malformed, out of -180..180 / -90..90, has south >= north or west == east.
bool ParseExtent(const std::string& text, ExportExtent* extent, std::string* error);

// Pixels of a whole-world grid: rows top .. top + height - 1 and columns left .. left + width - 1
// taken modulo gridWidth (a window across the date line wraps round to column 0).
struct ExportWindow {
  std::int64_t gridWidth = 0, gridHeight = 0;
  std::int64_t left = 0, top = 0, width = 0, height = 0;
};

// The window a whole-world or explicit extent selects from the grid `gridWidth` wide (and half as
// high). False when it holds no pixel.
bool WindowOfExtent(const ExportExtent& extent, std::int64_t gridWidth, ExportWindow* window);

// Where the window's pixels lie in `crs` (pixel-is-area: the corner half a pixel out from the
// first pixel's centre), exactly, for GeoTIFFs and world files.
GeoReference GeoReferenceOf(const ExportWindow& window, const GeoCrs& crs);

// Where the pixels of a width x height picture drawn as `output` (placed as Reproject places its
// output grid) lie in the projected CRS of the projection's PROJ twin, in metres on a sphere: the
// radius of `crs`, or WGS 84's semi-major axis (our projections are spherical, so the datum is a
// sphere of that size, and geo->crs that sphere). Pixel-is-area, like GeoReferenceOf. False when
// the projection has no PROJ twin (composites, modules), and for a picture without a projection.
bool ProjectedGeoReference(const MapInstance& output, std::int64_t width, std::int64_t height,
                           const GeoCrs& crs, GeoReference* geo);

// What to export.
struct ExportRequest {
  std::int64_t width = 1024;  // of the whole-world grid, at least 4; its height is width / 2
  std::string path;           // .png, .tif/.tiff (GeoTIFF) or anything else (BMP)
  ExportExtent extent;
  GeoCrs crs;              // of the GeoTIFF and the .prj
  bool worldFile = false;  // also a world file (.pgw, .bpw, .tfw) and a .prj beside the output
  SamplingOptions sampling;
  // Another projection for the output (not owned): a width x height picture (height 0: width / 2)
  // drawn in it, placed as a source of that size would be. A GeoTIFF of it carries the projected
  // CRS of ProjectedGeoReference where the projection has a PROJ twin, else no georeference (a
  // plain TIFF); it takes no extent and no world file.
  const MapInstance* output = nullptr;
  std::int64_t height = 0;
  // A source still being read (BackgroundLoad; not owned): bands wait for the rows they read, and
  // the file is kept only when the whole source was read (else kSourceUnreadable).
  const RowFeed* sourceRows = nullptr;
};

enum class ExportResult {
  kOk,
  kBadWidth,            // below 4, or a height below 2 for another output projection
  kNotEquirectangular,  // an extent or a world file asked of another output projection
  kEmptyWindow,         // the extent holds no pixel of the grid
  kFormatLimit,         // the format cannot hold the size (ImageFiles::FormatLimit says why)
  kNoMemory,            // bands beyond the memory the machine can give, or a pyramid beyond
                        // both it and the temporary folder
  kNoData,              // --extent data, and the map covers no pixel
  kCancelled,
  kWriteFailed,       // the picture could not be written; nothing was left
  kSidecarFailed,     // the picture was written, its world file or .prj not
  kSourceUnreadable,  // the source being read turned out unreadable; nothing was left
};

// Bytes of memory the export of `source` as `request` asks holds at once (its bands, the writer's
// buffers, the sampler's marks): what the memory check weighs before anything is allocated. The
// pyramid that shrinking reads (up to a third of the source's bytes) is not counted: it is built
// before the first band, in memory when MemoryBudget allows, otherwise in a temporary file.
std::uint64_t ExportMemoryNeeded(const VideoBuffer& source, const ExportRequest& request);

// Exports `source` drawn as `instance` describes. The picture appears under request.path only when
// it was written whole: errors leave no file, and a cancel is honoured until the file is put in
// place. A size the format cannot hold (kFormatLimit) and bands beyond the memory the machine can
// give (kNoMemory, see ExportMemoryNeeded) are refused before the work. On kFormatLimit,
// kWriteFailed and kSidecarFailed `reason` (when given) says why, for "Cannot write file X:
// reason"; on kNoMemory it is the whole message when the pyramid for shrinking was refused (empty
// when the bands were). `progress` counts rows, rowsTotal says how many.
ExportResult ExportEquirectangular(const VideoBuffer& source, const MapInstance& instance,
                                   const ExportRequest& request, RasterProgress* progress = nullptr,
                                   std::string* reason = nullptr);
// The whole world, width x width/2, without sidecars.
ExportResult ExportEquirectangular(const VideoBuffer& source, const MapInstance& instance,
                                   int width, const std::string& path,
                                   RasterProgress* progress = nullptr,
                                   std::string* reason = nullptr);

#endif  // KARTOVEL_ENGINE_EXPORT_H_
