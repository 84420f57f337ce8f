// Outline-aware sampling of a source map picture: which pixels lie on the map (and on which piece
// of an interrupted map), the kernels that read only those, and a box-filtered pyramid for
// shrinking. Built once per conversion, then read by many threads at once.
#ifndef KARTOVEL_ENGINE_SOURCE_SAMPLER_H_
#define KARTOVEL_ENGINE_SOURCE_SAMPLER_H_

#include <emmintrin.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "engine/reproject.h"
#include "image/row_feed.h"
#include "image/video_buffer.h"
#include "projection/row_forward.h"
#include "registry/map_instance.h"

namespace Projection {
class MapComposite;
}

// A colour being blended: its three colour channels in the stored order, as fractional levels.
struct Rgb {
  double r = 0, g = 0, b = 0;
};

// What one output pixel spans on the source: the steps, in source pixels, to the next output
// pixel across and down.
struct Footprint {
  double acrossX = 0, acrossY = 0, downX = 0, downY = 0;
  double Across() const { return std::hypot(acrossX, acrossY); }
  double Down() const { return std::hypot(downX, downY); }
  double Longer() const { return std::max(Across(), Down()); }
  // True where the output pixel covers more than about 1.5 source pixels.
  bool Shrinks() const { return std::fabs(acrossX * downY - acrossY * downX) > 1.5; }
};

// How a footprint is averaged: taps spread evenly along its longer side, each a bilinear sample of
// the pyramid level whose pixels are as large as the taps' squares or up to half as large.
struct FootprintPlan {
  static constexpr int kMaxTaps = 16;
  int level = 0;
  int taps = 1;
  double stepX = 0, stepY = 0;  // the longer side, source pixels
  // The same, worked out once for every pixel that shares the plan: each tap's offset from the
  // footprint's centre (source pixels), how the level places a source position
  // ((x - levelHalf) * levelScale), and 1 / the weight of all taps' integer blends together.
  double tapX[kMaxTaps] = {}, tapY[kMaxTaps] = {};
  double levelHalf = 0, levelScale = 1;
  double perSum = 1 / 16777216.0;
  // The squared ratio of the longer side to the shorter (at least 1) from above fewerTaps up to
  // moreTaps keeps `taps` (see Replan).
  double fewerTaps = -std::numeric_limits<double>::infinity(), moreTaps = 1.01 * 1.01 * (1 - 1e-9);
  // Taps in one column (down) or one row (across) of the level share their bilinear weights
  // across it: each row (column) of the level is then read once.
  enum class Axis { kNone, kDown, kAcross } axis = Axis::kNone;
  // The weights along the axis of the last position read, which the next pixels of a row share
  // where the mapping is separable (a cylindrical source), and the last tiles found all on the
  // map there. Kept by InteriorFootprint; a plan serves one thread.
  static constexpr int kMaxLines = 2 * kMaxTaps + 2;
  struct AxisCache {
    double along = -1;
    std::int64_t first = 0, last = 0;
    std::uint32_t weight[kMaxLines] = {};
    std::int64_t tileAcross = -1;  // tile index across the axis found on `piece`; -1 none
    std::uint8_t piece = 0;
  };
  mutable AxisCache cache;
};

class SourceSampler {
 public:
  // Marks the pixels of `source` whose centre maps back onto the globe through `instance`, each
  // tile of them when a sample first reads it (from any thread), so that a conversion that reads
  // part of the source looks at that part only. The sampler reads the pixels of `source` and the
  // projection of `instance` later: both must outlive it, unchanged.
  SourceSampler(const VideoBuffer& source, const MapInstance& instance);
  ~SourceSampler();
  SourceSampler(const SourceSampler&) = delete;
  SourceSampler& operator=(const SourceSampler&) = delete;

  // Where a point of the globe (radians) falls on the picture and on which piece of the map:
  // false when the projection has no image of it or it lies off the picture. `row`, when given,
  // is the projection's prepared row of this latitude (RowForward).
  bool Locate(double latitude, double longitude, const Projection::RowForward::Row* row, double* px,
              double* py, std::uint8_t* piece) const;
  // Locate for `count` longitudes at the latitude of `row`, the projection's prepared row of
  // `latitude` (RowPath() must not be null): where Locate succeeds, the position in px, py and the
  // piece; elsewhere `piece` is left as it was.
  void LocateRow(const Projection::RowForward::Row& row, double latitude, const double* longitudes,
                 std::size_t count, double* px, double* py, std::uint8_t* piece) const;
  // Bilinear at level 0 where all four neighbours lie inside the picture on `piece`, as an opaque
  // stored pixel with each channel rounded once; false elsewhere (nothing written).
  [[gnu::always_inline]] bool InteriorBilinear(double px, double py, std::uint8_t piece,
                                               std::uint32_t* pixel) const {
    Fixed sum;
    if (!FixedBilinear(planes_.front(), px, py, piece, 1, &sum)) return false;
    *pixel = 0xFF000000u | static_cast<std::uint32_t>((sum.r + (1u << 23)) >> 24) |
             static_cast<std::uint32_t>((sum.g + (1u << 23)) >> 24) << 8 |
             static_cast<std::uint32_t>((sum.b + (1u << 23)) >> 24) << 16;
    return true;
  }
  // InteriorBilinear for the samples c < count with plain[c] set, into out[c]; clears plain[c]
  // where it does not apply. The same pixels, in vector lanes where the processor has them.
  void InteriorBilinearRow(const double* px, const double* py, const std::uint8_t* piece,
                           std::size_t count, std::uint8_t* plain, std::uint32_t* out) const;
  // Whether a bilinear sample at (px, py) has a pixel of `piece` among its four neighbours, from
  // the marks alone: no pixel is read, so a source still being read need not be waited for.
  bool Touches(double px, double py, std::uint8_t piece) const;
  // The projection's row fast path, or null.
  const Projection::RowForward* RowPath() const { return rowForward_; }

  // Samples at picture position (px, py) (pixel centres at whole numbers) with `kernel`, reading
  // only pixels of `piece`. False when no such pixel is near. `partial` tells whether some
  // neighbour was left out (the point lies at the map's outline).
  bool Sample(Kernel kernel, double px, double py, std::uint8_t piece, Rgb* colour,
              bool* partial) const {
    if (kernel == Kernel::kBilinear && !planes_.empty() &&
        Interior(planes_.front(), px, py, piece, colour)) {
      *partial = false;
      return true;
    }
    return SampleNearOutline(kernel, px, py, piece, colour, partial);
  }
  // The average over the footprint of an output pixel, the parallelogram spanned by `across` and
  // `down` (source pixels per output pixel) around (px, py): one pyramid level for its shorter
  // side, with taps along the longer side where the two differ. `plan` is
  // PlanOf(footprint); neighbouring pixels with (nearly) the same footprint share one.
  bool SampleFootprint(double px, double py, const FootprintPlan& plan, std::uint8_t piece,
                       Rgb* colour) const;
  // SampleFootprint where the four neighbours of every tap lie inside the levels it reads, all on
  // `piece` (nearly everywhere but the outline): as an opaque stored pixel, in integers, each
  // channel rounded once. False elsewhere (nothing written).
  bool InteriorFootprint(double px, double py, const FootprintPlan& plan, std::uint8_t piece,
                         std::uint32_t* pixel) const;
  static FootprintPlan PlanOf(const Footprint& footprint);
  // Makes `plan` PlanOf(footprint) in place: where neighbouring pixels' footprints turn or stretch
  // a little, only the taps' offsets change.
  static void Replan(const Footprint& footprint, FootprintPlan* plan);

  // Builds the pyramid down to the level that sampling `footprint` reads (parallel; for a source
  // still being read, on a thread of its own as the rows arrive); call before sampling. Levels
  // already built stay, so repeated conversions of one source build each once. Each level lives in
  // memory when MemoryBudget allows it besides `reserved` bytes promised elsewhere (an export's
  // bands), otherwise in a memory-mapped temporary file in ImageFiles::TemporaryFolder(). 0, or -2
  // when a level fits neither (the levels built so far stay usable).
  int PreparePyramid(const Footprint& footprint, std::uint64_t reserved = 0);

  std::int64_t Width() const { return width_; }

  // For a source still being read (not owned; it must outlive the sampler): samples then wait
  // for the rows they read, through AwaitRows, and the pyramid for the whole picture.
  void FollowFeed(const RowFeed* feed) { feed_ = feed; }
  // Returns once the source rows that samples at `py` (where `piece` is not 0) read are there.
  void AwaitRows(const double* py, const std::uint8_t* piece, std::size_t count) const {
    if (!feed_ || feed_->ready.load(std::memory_order_acquire) >= height_) return;
    double last = -std::numeric_limits<double>::infinity();
    for (std::size_t i = 0; i < count; ++i) {
      if (piece[i] != 0) last = std::max(last, py[i]);
    }
    if (last > -std::numeric_limits<double>::infinity()) AwaitBelow(last);
  }
  std::int64_t Height() const { return height_; }

  // Bytes the marks of a width x height source hold at most for a smooth outline: the table of
  // tiles and per-pixel marks for the tiles along the outline.
  static std::uint64_t MarksBytes(std::int64_t width, std::int64_t height);

 private:
  static constexpr int kTileShift = 5;  // tiles of 32 x 32 source pixels
  static constexpr std::int64_t kTile = std::int64_t{1} << kTileShift;
  static constexpr std::uint8_t kPending = 0xFF;  // no piece (1..254) or 0 (off the map)
  // The marks of a square of kTile x kTile source pixels, found when first read: one piece for all
  // of them (0 = off the map), or, where the outline crosses it, one mark per pixel, row-major
  // (owned; piece stays kPending). Both kPending and null: not looked at yet.
  struct Tile {
    std::atomic<std::uint8_t> piece{kPending};
    std::atomic<const std::uint8_t*> marks{nullptr};
  };
  // One level of the pyramid: level 0 is the source itself; level k averages 2^k x 2^k pixels.
  // The piece of a pixel is in its tile at level 0, in the pixel's alpha byte above it.
  struct Plane {
    const std::uint32_t* top = nullptr;     // row 0
    std::ptrdiff_t stride = 0;              // pixels from one row to the next (negative: bottom-up)
    const SourceSampler* marked = nullptr;  // level 0 only: whose tiles hold the pieces
    std::int64_t width = 0, height = 0;
    bool wraps = false;  // a whole-world cylindrical map: column -1 is the last column
    const std::uint32_t* Row(std::int64_t y) const { return top + y * stride; }
    // The piece of pixel (x, y), inside the plane; 0 off the map.
    std::uint8_t Piece(std::int64_t x, std::int64_t y) const {
      if (!marked) return static_cast<std::uint8_t>(Row(y)[x] >> 24);
      std::uint8_t piece;
      const std::uint8_t* marks = marked->TileMarks(x >> kTileShift, y >> kTileShift, &piece);
      return marks ? marks[(y & (kTile - 1)) << kTileShift | (x & (kTile - 1))] : piece;
    }
  };
  // Returns once the rows that a kernel at `py` reads are there: up to two rows below the sample
  // (bicubic), and four along a parallel beside the date line (BesideDateLine). A footprint
  // passes the lowest point its taps reach, through AwaitLevel.
  void AwaitBelow(double py) const {
    if (!feed_ || feed_->ready.load(std::memory_order_acquire) >= height_) return;
    if (std::isnan(py)) return;
    // A sample beyond the picture's edge still reads its outermost rows.
    feed_->WaitFor(static_cast<std::int64_t>(std::clamp(py, 0.0, static_cast<double>(height_))) +
                   8);
  }
  // AwaitBelow for samples of pyramid level `level` (and the finer levels under it) reaching down
  // to picture row `py`, while that level is still being built from a source being read.
  void AwaitLevel(int level, double py) const {
    if (level <= 0 || static_cast<std::size_t>(level) >= levelRows_.size()) {
      AwaitBelow(py);
      return;
    }
    const RowFeed& rows = *levelRows_[level];
    if (rows.ready.load(std::memory_order_acquire) >= rows.height || std::isnan(py)) return;
    const double y = std::clamp(py, 0.0, static_cast<double>(height_)) / (1 << level);
    rows.WaitFor(static_cast<std::int64_t>(y) + 4);
  }
  // Adds level planes_.size() .. `deepest` (storage only); false when one fits neither memory
  // besides `reserved` bytes nor the temporary folder.
  bool AddLevels(int deepest, std::uint64_t reserved);
  // Row y of level `coarse` from the two rows under it of `fine`.
  static void BuildRow(const Plane& fine, const Plane& coarse, std::int64_t y);
  // Builds levels 1.. top down as the source's rows arrive, each publishing its rows in
  // levelRows_ (on the builder thread).
  void BuildWhileReading();
  // The marks of tile (tx, ty), or null with the tile's one piece in `piece`.
  [[gnu::always_inline]] const std::uint8_t* TileMarks(std::int64_t tx, std::int64_t ty,
                                                       std::uint8_t* piece) const {
    const Tile& tile = tiles_[ty * tilesX_ + tx];
    const std::uint8_t p = tile.piece.load(std::memory_order_acquire);
    if (p != kPending) {
      *piece = p;
      return nullptr;
    }
    const std::uint8_t* marks = tile.marks.load(std::memory_order_acquire);
    return marks ? marks : MarkTile(tx, ty, piece);
  }

  // Whether the four pixels around (px, py) lie inside the plane, all on `piece`; (ix, iy) is the
  // top-left one.
  [[gnu::always_inline]] static bool OnePiece(const Plane& plane, double px, double py,
                                              std::uint8_t piece, std::int64_t* ix,
                                              std::int64_t* iy) {
    *ix = static_cast<std::int64_t>(px);
    *iy = static_cast<std::int64_t>(py);
    if (!(px >= 0 && py >= 0 && *ix + 1 < plane.width && *iy + 1 < plane.height)) return false;
    const std::int64_t x = *ix, y = *iy;
    if (plane.marked && ((x + 1) & (kTile - 1)) != 0 && ((y + 1) & (kTile - 1)) != 0) {
      // All four in one tile (nearly always): one look at it.
      std::uint8_t uniform;
      const std::uint8_t* m = plane.marked->TileMarks(x >> kTileShift, y >> kTileShift, &uniform);
      if (!m) return uniform == piece;
      m += (y & (kTile - 1)) << kTileShift | (x & (kTile - 1));
      return m[0] == piece && m[1] == piece && m[kTile] == piece && m[kTile + 1] == piece;
    }
    return plane.Piece(x, y) == piece && plane.Piece(x + 1, y) == piece &&
           plane.Piece(x, y + 1) == piece && plane.Piece(x + 1, y + 1) == piece;
  }
  // Map units to picture position: false when the point lies off the picture. Within one pixel
  // before the first row or column the first one is still the nearest sample; a wrapping map
  // takes every column round to the picture.
  [[gnu::always_inline]] bool Place(double x, double y, double* px, double* py) const {
    double cx = xFactor_ * x + halfWidth_;
    const double cy = yFactor_ * y + halfHeight_;
    if (!(cy > -1.0 && cy < static_cast<double>(height_))) return false;
    if (wraps_) {
      if (!std::isfinite(cx)) return false;
      if (cx < 0 || cx >= static_cast<double>(width_)) {
        cx -= static_cast<double>(width_) * std::floor(cx / static_cast<double>(width_));
      }
    } else if (!(cx > -1.0 && cx < static_cast<double>(width_))) {
      return false;
    }
    *px = cx;
    *py = cy;
    return true;
  }
  // Channel sums of integer blends: weights in 1/2^24 per bilinear blend, times `weight`.
  struct Fixed {
    std::uint64_t r = 0, g = 0, b = 0;
  };
  // Where OnePiece holds for (px, py) of `plane` (above level 0 the pieces are in the alpha bytes
  // of the pixels read anyway): the top-left pixel of the four at *r0, the one below it at *r1,
  // and the fractions across and down in 1/4096 that weigh them.
  [[gnu::always_inline]] static bool Corners(const Plane& plane, double px, double py,
                                             std::uint8_t piece, const std::uint32_t** r0,
                                             const std::uint32_t** r1, std::uint32_t* fx,
                                             std::uint32_t* fy) {
    std::int64_t ix, iy;
    if (plane.marked) {
      if (!OnePiece(plane, px, py, piece, &ix, &iy)) return false;
      *r0 = plane.Row(iy) + ix;
      *r1 = plane.Row(iy + 1) + ix;
    } else {
      ix = static_cast<std::int64_t>(px);
      iy = static_cast<std::int64_t>(py);
      if (!(px >= 0 && py >= 0 && ix + 1 < plane.width && iy + 1 < plane.height)) return false;
      *r0 = plane.Row(iy) + ix;
      *r1 = plane.Row(iy + 1) + ix;
      const std::uint32_t *a = *r0, *b = *r1;
      if ((a[0] >> 24 ^ piece) | (a[1] >> 24 ^ piece) | (b[0] >> 24 ^ piece) |
          (b[1] >> 24 ^ piece)) {
        return false;
      }
    }
    *fx = static_cast<std::uint32_t>((px - static_cast<double>(ix)) * 4096 + 0.5);
    *fy = static_cast<std::uint32_t>((py - static_cast<double>(iy)) * 4096 + 0.5);
    return true;
  }
  // Adds `weight` times the bilinear blend at (px, py) of `plane` to `sum` where OnePiece holds
  // (weights from fractions in 1/4096: off by at most 0.03 of a level); false elsewhere.
  [[gnu::always_inline]] static bool FixedBilinear(const Plane& plane, double px, double py,
                                                   std::uint8_t piece, std::uint32_t weight,
                                                   Fixed* sum) {
    const std::uint32_t *r0, *r1;
    std::uint32_t fx, fy;
    if (!Corners(plane, px, py, piece, &r0, &r1, &fx, &fy)) return false;
    const std::uint32_t w00 = (4096 - fx) * (4096 - fy), w01 = fx * (4096 - fy);
    const std::uint32_t w10 = (4096 - fx) * fy, w11 = fx * fy;
    // Red and blue in the two halves of one 64-bit word: each weighted sum stays below 2^32.
    const auto spread = [](std::uint32_t c) {
      return static_cast<std::uint64_t>(c & 0xFF) | static_cast<std::uint64_t>(c & 0xFF0000) << 16;
    };
    const std::uint64_t outer =
        w00 * spread(r0[0]) + w01 * spread(r0[1]) + w10 * spread(r1[0]) + w11 * spread(r1[1]);
    const std::uint32_t green = w00 * (r0[0] >> 8 & 0xFF) + w01 * (r0[1] >> 8 & 0xFF) +
                                w10 * (r1[0] >> 8 & 0xFF) + w11 * (r1[1] >> 8 & 0xFF);
    sum->r += static_cast<std::uint64_t>(weight) * (outer & 0xFFFFFFFFu);
    sum->g += static_cast<std::uint64_t>(weight) * green;
    sum->b += static_cast<std::uint64_t>(weight) * (outer >> 32);
    return true;
  }
  // InteriorBilinearRow on processors with SSE4.1.
  [[gnu::target("sse4.1")]] void BilinearRowSse41(const double* px, const double* py,
                                                  const std::uint8_t* piece, std::size_t count,
                                                  std::uint8_t* plain, std::uint32_t* out) const;
  // Bilinear where OnePiece holds: the common case, inline.
  [[gnu::always_inline]] static bool Interior(const Plane& plane, double px, double py,
                                              std::uint8_t piece, Rgb* colour) {
    std::int64_t ix, iy;
    if (!OnePiece(plane, px, py, piece, &ix, &iy)) return false;
    const std::uint32_t* r0 = plane.Row(iy) + ix;
    const std::uint32_t* r1 = plane.Row(iy + 1) + ix;
    const double fx = px - static_cast<double>(ix), fy = py - static_cast<double>(iy);
    double channel[3];
    for (int k = 0; k < 3; ++k) {
      const int shift = 8 * k;
      const double a = (r0[0] >> shift) & 0xFF, b = (r0[1] >> shift) & 0xFF;
      const double c = (r1[0] >> shift) & 0xFF, d = (r1[1] >> shift) & 0xFF;
      const double top = a + (b - a) * fx, bottom = c + (d - c) * fx;
      channel[k] = top + (bottom - top) * fy;
    }
    *colour = {channel[0], channel[1], channel[2]};
    return true;
  }
  // FixedBilinear of weight 1 in SSE2, the same sums two channels to a register: red and blue in
  // the 64-bit halves of *rb, green (and the alpha byte's) in those of *ga.
  static bool PairedBilinear(const Plane& plane, double px, double py, std::uint8_t piece,
                             __m128i* rb, __m128i* ga);
  // InteriorFootprint for a plan along one axis of `plane`.
  bool AxisFootprint(const Plane& plane, double x, double y, const FootprintPlan& plan,
                     std::uint8_t piece, Fixed* sum) const;
  // Whether the pixels of columns x0..x1 and rows y0..y1 (inside the picture) all lie on `piece`,
  // from their tiles' marks; false also where a tile has marks of its own (the outline).
  bool BlockOnPiece(std::int64_t x0, std::int64_t y0, std::int64_t x1, std::int64_t y1,
                    std::uint8_t piece) const;
  bool SampleNearOutline(Kernel kernel, double px, double py, std::uint8_t piece, Rgb* colour,
                         bool* partial) const;
  // The piece of the map at pixel (x, y); 0 off the map.
  std::uint8_t PieceAt(std::int64_t x, std::int64_t y) const;
  // The same for the point at column `x`, which stands for the pixel in column `pixelX`.
  std::uint8_t PieceAt(std::int64_t x, std::int64_t pixelX, std::int64_t y) const;
  // Looks tile (tx, ty) up and keeps what it found: its marks, or null with its one piece in
  // `piece`. Any thread; where two look at once, both find the same and one result is kept.
  [[gnu::noinline]] const std::uint8_t* MarkTile(std::int64_t tx, std::int64_t ty,
                                                 std::uint8_t* piece) const;
  // The piece at the corner of tiles (cx, cy): pixel (cx, cy) * kTile held inside the picture;
  // 0 beyond the picture's tiles.
  std::uint8_t Corner(std::int64_t cx, std::int64_t cy) const;
  // Whether the 3 x 3 lattice of tile (tx, ty) (its edges and middle) lies off the map; true
  // beyond the picture's tiles.
  bool LatticeClear(std::int64_t tx, std::int64_t ty) const;
  // Marks the pixels of the tile from (x0, y0) up to (x1, y1) into `local` (kTile x kTile, all
  // kUnknown) by the lattice search; for smooth outlines.
  void MarkBlock(std::uint8_t* local, std::int64_t x0, std::int64_t y0, std::int64_t x1,
                 std::int64_t y1) const;
  // The globe around a point of the map to first order: where it is, and the change of latitude
  // and longitude (radians) per pixel across and down.
  struct LocalFrame {
    double x = 0, y = 0;  // the point's picture position, as Forward gives it back
    double lat = 0;
    double east = 0;  // longitude east of the projection's centre, -pi..pi
    double latPerX = 0, latPerY = 0, lonPerX = 0, lonPerY = 0;
    double xPerLon = 0, yPerLon = 0;  // pixels per radian of longitude
  };
  bool FrameAt(double px, double py, LocalFrame* frame) const;
  // For pixel (x, y), off the map near `frame`'s point: where it lies beyond the date line, the
  // map's first pixel on `piece` back along its parallel (within 4 pixels). False elsewhere (a
  // pole, a horizon, a cut).
  bool BesideDateLine(const LocalFrame& frame, std::int64_t x, std::int64_t y, std::uint8_t piece,
                      std::uint32_t* pixel) const;
  bool Bilinear(const Plane& plane, double px, double py, std::uint8_t piece, Rgb* colour,
                bool* partial) const;
  bool Nearest(double px, double py, std::uint8_t piece, Rgb* colour, bool* partial) const;
  bool Bicubic(double px, double py, std::uint8_t piece, Rgb* colour) const;
  bool AtLevel(int level, double px, double py, std::uint8_t piece, Rgb* colour) const;

  Projection::MapProject* projection_;
  const Projection::RowForward* rowForward_;
  const Projection::MapComposite* composite_;
  std::int64_t width_, height_;
  double halfWidth_, halfHeight_, xFactor_, yFactor_;  // the Placement, map units to pixels
  bool wraps_ = false;  // a whole-world cylindrical map: column -1 is the last column
  // The map ends at the date line somewhere (see BesideDateLine).
  bool reachesDateLine_ = false;
  // Whether the map's outline is smooth and bulges outwards (see MarkTile).
  bool convex_ = false;
  std::int64_t tilesX_ = 0, tilesY_ = 0;
  std::unique_ptr<Tile[]> tiles_;                         // row-major
  std::unique_ptr<std::atomic<std::uint8_t>[]> corners_;  // (tilesX_ + 1) x (tilesY_ + 1)
  std::unique_ptr<std::atomic<std::uint8_t>[]> lattice_;  // 3 x 3 per tile
  std::vector<Plane> planes_;                             // planes_[k] is level k
  std::vector<std::unique_ptr<VideoBuffer>> levels_;      // storage of levels 1..
  std::mutex pyramidLock_;
  const RowFeed* feed_ = nullptr;
  // While the source is read, the pyramid is built alongside by `builder_`: levelRows_[k] tells
  // how many rows of level k are there (empty when the levels were built whole).
  std::vector<std::unique_ptr<RowFeed>> levelRows_;
  std::thread builder_;
  std::atomic<bool> stopBuilder_{false};
};

#endif  // KARTOVEL_ENGINE_SOURCE_SAMPLER_H_
