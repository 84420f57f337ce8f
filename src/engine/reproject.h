// The reprojection engine: a map image in any registered projection to equirectangular, the
// reverse render, and stretching one image over another. Parallel over destination rows.
#ifndef KARTOVEL_ENGINE_REPROJECT_H_
#define KARTOVEL_ENGINE_REPROJECT_H_

#include <atomic>
#include <cstdint>
#include <string>

#include "image/video_buffer.h"
#include "registry/map_instance.h"

// Where a map point (map units, as Forward gives it) falls on a w x h picture drawn as `instance`
// describes: pixels with x to the right and y downwards, the picture's centre at the origin of the
// normalised coordinates. The one placement of the reprojection loops and the graticule overlay.
struct Placement {
  Placement(const MapInstance& instance, std::int64_t w, std::int64_t h)
      : halfWidth(w * 0.5),
        halfHeight(h * 0.5),
        xFactor(instance.scale * (w * 0.5)),
        yFactor(instance.scale / (instance.aspect + 0.0001) * (h * 0.5)),
        k(1 / instance.unitFactor) {}
  double X(double x) const { return xFactor * (x * k) + halfWidth; }
  double Y(double y) const { return yFactor * (y * k) + halfHeight; }

  double halfWidth, halfHeight, xFactor, yFactor, k;
};

// Lets a long run report progress and stop early. Written by worker threads, read by anyone.
struct RasterProgress {
  std::atomic<bool> cancel{false};  // set by the caller to stop; the result is then incomplete
  std::atomic<long long> rowsDone{0};
  std::atomic<long long> rowsTotal{0};  // set by jobs whose rows the caller cannot foresee; 0 unknown
};

// A window of a whole-world grid of width x height pixels: the destination's pixel (c, r) is
// pixel (left + c, top + r) of the grid. Row R of the grid carries latitude (2R/height - 1) pi/2,
// column C longitude (2C/width - 1) pi. Bands and regional exports are windows of one grid, so
// they fit together pixel for pixel.
struct GridWindow {
  std::int64_t width = 0, height = 0;  // the whole grid; 0 means the destination's own size
  std::int64_t left = 0, top = 0;
};

// How source pixels become output pixels.
enum class Kernel {
  kNearest,   // the nearest map pixel's exact colour (classified maps, palettes, masks)
  kBilinear,  // the four nearest map pixels
  kBicubic,   // Catmull-Rom over 4 x 4; bilinear where some of them lie off the map
};

struct SamplingOptions {
  Kernel kernel = Kernel::kBilinear;
  // Where one output pixel covers more than about 1.5 source pixels, average over its footprint
  // instead of sampling one point (not with kNearest).
  bool antialias = true;
  // At the map's outline, alpha is the part of the output pixel that lies on the map (4 x 4
  // sub-samples), the colour that of its map part (not with kNearest: alpha stays 0 or 255).
  bool coverage = true;
};

// Fills every pixel of `destination` (already created, W x H) from `source` drawn as `instance`
// describes: by default top row latitude -pi/2, left column longitude -pi; with a window, the
// window's part of its grid. With `output`, the grid is instead a picture of the grid's size drawn
// in that projection (placed as a source of that size would be), and pixels off its map have no
// source.
//
// Only source pixels that lie on the map are read: a pixel whose centre maps back to a point of
// the globe, on the piece of an interrupted map that the sample lies on. A whole-world cylindrical
// source continues across its left and right edges. Pixels without a source become 0x00FF00FF
// (magenta, alpha 0); the others are opaque, or at the outline have the alpha that
// `sampling.coverage` gives. Returns 0, -1 when cancelled, or -2 (nothing drawn) when the pyramid
// that shrinking reads fits neither memory nor the temporary folder. An empty destination is left
// untouched; from an empty source every pixel is magenta.
int Reproject(const VideoBuffer& source, const MapInstance& instance, VideoBuffer& destination,
              RasterProgress* progress = nullptr, const GridWindow& window = {},
              const SamplingOptions& sampling = {}, const MapInstance* output = nullptr);

// The same from a source already prepared for sampling, so that several windows of one grid (bands
// of a large export) and repeated conversions of one source with the same settings (previews)
// share the work of finding the map's outline and of building the pyramid.
class SourceSampler;
int Reproject(SourceSampler& sampler, VideoBuffer& destination, RasterProgress* progress = nullptr,
              const GridWindow& window = {}, const SamplingOptions& sampling = {},
              const MapInstance* output = nullptr);
// Builds ahead what Reproject from `sampler` onto a grid of gridWidth x gridHeight (drawn in
// `output`, when given) will read: the pyramid, when the grid shrinks the source somewhere; in
// memory when it fits besides `reserved` bytes promised elsewhere, else in a temporary file. 0, or
// -2 when it fits neither memory nor the temporary folder.
// Whether every pixel of the width x height window of the grid `window` (drawn in `output`, when
// given) looks opaque: the coverage sub-samples at the corners of a lattice of its pixels, its
// edges included, all touch the map. A guess, from the marks alone, for choosing a file without
// alpha; whoever writes must still check every pixel.
bool LooksOpaque(const SourceSampler& sampler, const GridWindow& window, std::int64_t width,
                 std::int64_t height, const MapInstance* output = nullptr);
int PrepareSampler(SourceSampler& sampler, std::int64_t gridWidth, std::int64_t gridHeight,
                   const SamplingOptions& sampling = {}, const MapInstance* output = nullptr,
                   std::uint64_t reserved = 0);

// Stretches the whole of `source` over the whole of `destination` (bilinear, alpha 0). An empty
// source fills the destination with 0; an empty destination is left untouched.
void Resample(const VideoBuffer& source, VideoBuffer& destination);

// The reverse of Reproject: renders an equirectangular `world` into `destination` drawn in the
// projection of `instance`, placed exactly where Reproject looks for it, so that reprojecting the
// result with the same instance gives the world back. Pixels outside the map have alpha 0 and are
// magenta, except the one-pixel rim around the map, which takes the mean colour of its map
// neighbours: Reproject blends up to one pixel past the map's edge. Returns 0, or -1 when
// cancelled.
int RenderProjection(const VideoBuffer& world, const MapInstance& instance,
                     VideoBuffer& destination, RasterProgress* progress = nullptr);

#endif  // KARTOVEL_ENGINE_REPROJECT_H_
