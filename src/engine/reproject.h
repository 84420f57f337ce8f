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

// Fills every pixel of `destination` (already created, W x H) from `source` drawn as `instance`
// describes: by default top row latitude -pi/2, left column longitude -pi; with a window, the
// window's part of its grid. Pixels without a source become 0x00FF00FF (magenta, alpha 0); the
// others are opaque. Returns 0, or -1 when cancelled. An empty destination is left untouched; from
// an empty source every pixel is magenta.
int Reproject(const VideoBuffer& source, const MapInstance& instance, VideoBuffer& destination,
              RasterProgress* progress = nullptr, const GridWindow& window = {});

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
