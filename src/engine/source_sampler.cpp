// SourceSampler: the map's pixels of a source picture, the kernels that read only them, and the
// pyramid for shrinking.
#include "engine/source_sampler.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <numbers>

#include "image/image_files.h"
#include "image/memory_budget.h"
#include "projection/map_project.h"
#include "registry/map_composite.h"

using Projection::kPi;

namespace {

constexpr std::uint8_t kUnknown = 0xFF;  // not yet looked at; pieces are 1..254, 0 is off the map
constexpr int kSubTile = 8;  // the blocks a tile that the outline crosses is searched in first

// The piece of the map that a composite's segment index stands for (1..254).
std::uint8_t PieceOfSegment(int segment) { return static_cast<std::uint8_t>(1 + segment % 254); }

// Offsets, inside a block of `side` pixels, of the 3 x 3 points that decide whether the whole
// block lies on one piece of the map: both edges and the middle.
int LatticeOffset(int index, int side) { return index == 0 ? 0 : index == 1 ? side / 2 : side - 1; }

void Add(Rgb* sum, std::uint32_t c, double w) {
  sum->r += w * (c & 0xFF);
  sum->g += w * ((c >> 8) & 0xFF);
  sum->b += w * ((c >> 16) & 0xFF);
}

void Scale(Rgb* c, double k) {
  c->r *= k;
  c->g *= k;
  c->b *= k;
}

std::uint32_t Pack(double r, double g, double b) {
  const auto channel = [](double v) {
    return static_cast<std::uint32_t>(std::clamp(v + 0.5, 0.0, 255.0));
  };
  return channel(r) | channel(g) << 8 | channel(b) << 16;
}

// log2 of a finite x > 0 from its exponent bits and a short series for the mantissa: within 1e-9
// of std::log2 at a fraction of its cost (it sets the level of every shrinking output pixel).
double Log2(double x) {
  const auto bits = std::bit_cast<std::uint64_t>(x);
  int exponent = static_cast<int>(bits >> 52 & 0x7FF) - 1023;
  double m = std::bit_cast<double>((bits & 0xFFFFFFFFFFFFFull) | 0x3FF0000000000000ull);
  if (m > std::numbers::sqrt2) {
    m *= 0.5;
    ++exponent;
  }
  // ln m = 2 atanh s = 2 (s + s^3/3 + s^5/5 + ...) with |s| <= 0.172: the rest is below 1e-9.
  const double s = (m - 1) / (m + 1), s2 = s * s;
  const double ln = 2 * s * (1 + s2 * (1.0 / 3 + s2 * (1.0 / 5 + s2 * (1.0 / 7 + s2 / 9))));
  return exponent + ln * std::numbers::log2e;
}

// 2^k for |k| < 1023, exactly.
double PowerOfTwo(int k) {
  return std::bit_cast<double>(static_cast<std::uint64_t>(1023 + k) << 52);
}

// Catmull-Rom weights (Keys, a = -0.5) of the four samples around a fraction t in [0, 1).
void CubicWeights(double t, double w[4]) {
  const double t2 = t * t, t3 = t2 * t;
  w[0] = 0.5 * (-t3 + 2 * t2 - t);
  w[1] = 0.5 * (3 * t3 - 5 * t2 + 2);
  w[2] = 0.5 * (-3 * t3 + 4 * t2 + t);
  w[3] = 0.5 * (t3 - t2);
}

}  // namespace

SourceSampler::SourceSampler(const VideoBuffer& source, const MapInstance& instance)
    : projection_(instance.projection),
      rowForward_(dynamic_cast<const Projection::RowForward*>(instance.projection)),
      composite_(dynamic_cast<const Projection::MapComposite*>(instance.projection)),
      width_(source.width),
      height_(source.height) {
  const Placement place(instance, width_, height_);
  halfWidth_ = place.halfWidth;
  halfHeight_ = place.halfHeight;
  xFactor_ = place.xFactor * place.k;
  yFactor_ = place.yFactor * place.k;
  if (!source.HasStorage()) return;
  // A cylindrical map whose picture holds exactly one turn of longitude continues across its
  // left and right edges.
  if (projection_ && (projection_->GetFlags() & Projection::MAP_CYLINDRICAL) && !composite_) {
    const double centre = projection_->centerLon, step = 1e-6;
    double x0, y0, x1, y1;
    if (projection_->Forward(0, centre - kPi + step, &x0, &y0) == 0 &&
        projection_->Forward(0, centre + kPi - step, &x1, &y1) == 0) {
      const double period = xFactor_ * (x1 - x0) * kPi / (kPi - step);
      wraps_ = std::fabs(period - width_) < 1e-3;
    }
  }
  const std::int32_t flags = projection_ ? projection_->GetFlags() : 0;
  convex_ =
      !composite_ && (flags & (Projection::MAP_CYLINDRICAL | Projection::MAP_PSEUDOCYLINDRICAL |
                               Projection::MAP_AZIMUTHAL));
  tilesX_ = (width_ + kTile - 1) / kTile;
  tilesY_ = (height_ + kTile - 1) / kTile;
  tiles_.reset(new Tile[static_cast<std::size_t>(tilesX_ * tilesY_)]);
  const auto corners = static_cast<std::size_t>((tilesX_ + 1) * (tilesY_ + 1));
  corners_.reset(new std::atomic<std::uint8_t>[corners]);
  for (std::size_t i = 0; i < corners; ++i) corners_[i].store(kPending, std::memory_order_relaxed);
  const auto lattice = static_cast<std::size_t>(tilesX_ * tilesY_ * 9);
  lattice_.reset(new std::atomic<std::uint8_t>[lattice]);
  for (std::size_t i = 0; i < lattice; ++i) lattice_[i].store(kPending, std::memory_order_relaxed);

  Plane base;
  base.top = reinterpret_cast<const std::uint32_t*>(source.pixels) + (height_ - 1) * width_;
  base.stride = -width_;
  base.marked = this;
  base.width = width_;
  base.height = height_;
  base.wraps = wraps_;
  planes_.push_back(base);
}

std::uint8_t SourceSampler::PieceAt(std::int64_t x, std::int64_t y) const {
  if (!projection_) return 0;
  // A pixel of a wrapping map beyond one edge of the map shows the longitudes at the other.
  for (const std::int64_t turn : {0, 1, -1}) {
    if (turn != 0 && !wraps_) break;
    if (const std::uint8_t piece = PieceAt(x + turn * width_, x, y)) return piece;
  }
  return 0;
}

std::uint8_t SourceSampler::PieceAt(std::int64_t x, std::int64_t pixelX, std::int64_t y) const {
  const double mx = (x - halfWidth_) / xFactor_, my = (y - halfHeight_) / yFactor_;
  double lat, lon;
  int segment = 0;
  const int status = composite_ ? composite_->InverseSegment(mx, my, &lat, &lon, &segment)
                                : projection_->Inverse(mx, my, &lat, &lon);
  if (status != 0 || !std::isfinite(lat) || !std::isfinite(lon)) return 0;
  // Some inverses accept points off the map; the point must come back onto this pixel. At the
  // seam the longitude is tried on both sides.
  const double candidates[] = {lon, std::copysign(kPi, -lon)};
  const int tries = std::fabs(lon) > kPi - 1e-6 ? 2 : 1;
  for (int i = 0; i < tries; ++i) {
    double fx, fy;
    int answered = 0;
    const int result = composite_
                           ? composite_->ForwardSegment(lat, candidates[i], &fx, &fy, &answered)
                           : projection_->Forward(lat, candidates[i], &fx, &fy);
    double back = xFactor_ * fx + halfWidth_ - pixelX;
    if (wraps_) back -= width_ * std::round(back / width_);
    if (result == 0 && std::fabs(back) <= 1.0 &&
        std::fabs(yFactor_ * fy + halfHeight_ - y) <= 1.0) {
      return composite_ ? PieceOfSegment(segment) : 1;
    }
  }
  return 0;
}

std::uint64_t SourceSampler::MarksBytes(std::int64_t width, std::int64_t height) {
  const auto tilesX =
      static_cast<std::uint64_t>((std::max<std::int64_t>(width, 0) + kTile - 1) / kTile);
  const auto tilesY =
      static_cast<std::uint64_t>((std::max<std::int64_t>(height, 0) + kTile - 1) / kTile);
  // A smooth outline crosses about two tiles per tile along each side of the picture; four times
  // that leaves room for the cuts of interrupted maps.
  return tilesX * tilesY * (sizeof(Tile) + 9) + (tilesX + 1) * (tilesY + 1) +
         std::min(tilesX * tilesY, 8 * (tilesX + tilesY)) * kTile * kTile;
}

SourceSampler::~SourceSampler() {
  if (!tiles_) return;
  for (std::int64_t i = 0; i < tilesX_ * tilesY_; ++i) delete[] tiles_[i].marks.load();
}

std::uint8_t SourceSampler::Corner(std::int64_t cx, std::int64_t cy) const {
  if (cx < 0 || cy < 0 || cx > tilesX_ || cy > tilesY_) return 0;
  std::atomic<std::uint8_t>& corner = corners_[cy * (tilesX_ + 1) + cx];
  std::uint8_t piece = corner.load(std::memory_order_relaxed);
  if (piece == kPending) {
    piece = PieceAt(std::min(cx * kTile, width_ - 1), std::min(cy * kTile, height_ - 1));
    corner.store(piece, std::memory_order_relaxed);
  }
  return piece;
}

bool SourceSampler::LatticeClear(std::int64_t tx, std::int64_t ty) const {
  if (tx < 0 || ty < 0 || tx >= tilesX_ || ty >= tilesY_) return true;
  for (int j = 0; j < 3; ++j) {
    for (int i = 0; i < 3; ++i) {
      std::atomic<std::uint8_t>& point = lattice_[(ty * tilesX_ + tx) * 9 + j * 3 + i];
      std::uint8_t piece = point.load(std::memory_order_relaxed);
      if (piece == kPending) {
        piece = PieceAt(std::min(tx * kTile + LatticeOffset(i, kTile), width_ - 1),
                        std::min(ty * kTile + LatticeOffset(j, kTile), height_ - 1));
        point.store(piece, std::memory_order_relaxed);
      }
      if (piece != 0) return false;
    }
  }
  return true;
}

const std::uint8_t* SourceSampler::MarkTile(std::int64_t tx, std::int64_t ty,
                                            std::uint8_t* piece) const {
  Tile& tile = tiles_[ty * tilesX_ + tx];
  const auto uniform = [&](std::uint8_t p) -> const std::uint8_t* {
    tile.piece.store(p, std::memory_order_release);
    *piece = p;
    return nullptr;
  };
  // The outlines of convex maps are smooth and bulge outwards, so a tile whose four corners (the
  // first pixels of it and of its neighbours to the right and below) lie on the map lies wholly on
  // it. A tile is taken as off the map only when the 3 x 3 lattices of it and of the tiles around
  // it are too, since a pointed end of the map (a pole of the sinusoidal) or a map of a few pixels
  // may lie in between its corners.
  if (convex_) {
    const std::uint8_t c = Corner(tx, ty);
    if (c != 0 && Corner(tx + 1, ty) == c && Corner(tx, ty + 1) == c &&
        Corner(tx + 1, ty + 1) == c) {
      return uniform(c);
    }
    bool clear = true;
    for (std::int64_t dy = -1; dy <= 1 && clear; ++dy) {
      for (std::int64_t dx = -1; dx <= 1 && clear; ++dx) clear = LatticeClear(tx + dx, ty + dy);
    }
    if (clear) return uniform(0);
  }
  const std::int64_t x0 = tx * kTile, y0 = ty * kTile;
  const std::int64_t x1 = std::min(x0 + kTile, width_), y1 = std::min(y0 + kTile, height_);
  auto marks = std::make_unique<std::uint8_t[]>(kTile * kTile);
  std::uint8_t* local = marks.get();
  std::fill_n(local, kTile * kTile, convex_ ? kUnknown : 0);
  if (convex_) {
    MarkBlock(local, x0, y0, x1, y1);
  } else {
    // The cuts and notches of these maps all reach the map's edge, so nothing is enclosed by one
    // piece: a tile whose border lies on one piece (or off the map) lies wholly on it.
    const auto mark = [&](std::int64_t x, std::int64_t y) {
      return local[(y - y0) * kTile + (x - x0)] = PieceAt(x, y);
    };
    const std::uint8_t corner = mark(x0, y0);
    bool border = true;
    for (std::int64_t x = x0; x < x1; ++x) {
      border = (mark(x, y0) == corner) & (mark(x, y1 - 1) == corner) && border;
    }
    for (std::int64_t y = y0 + 1; y < y1 - 1; ++y) {
      border = (mark(x0, y) == corner) & (mark(x1 - 1, y) == corner) && border;
    }
    if (border) return uniform(corner);
    for (std::int64_t y = y0 + 1; y < y1 - 1; ++y) {
      for (std::int64_t x = x0 + 1; x < x1 - 1; ++x) mark(x, y);
    }
  }
  // A tile on one piece, or off the map, needs no marks of its own.
  const std::uint8_t first = local[0];
  bool same = true;
  for (std::int64_t y = 0; y < y1 - y0 && same; ++y) {
    for (std::int64_t x = 0; x < x1 - x0 && same; ++x) same = local[y * kTile + x] == first;
  }
  if (same) return uniform(first);
  const std::uint8_t* expected = nullptr;
  if (tile.marks.compare_exchange_strong(expected, local, std::memory_order_acq_rel)) {
    return marks.release();
  }
  return expected;  // another thread was first, with the same marks
}

void SourceSampler::MarkBlock(std::uint8_t* local, std::int64_t x0, std::int64_t y0,
                              std::int64_t x1, std::int64_t y1) const {
  // `local` holds the tile from (x0, y0); x1, y1 end the picture's part of it.
  const auto mark = [&](std::int64_t x, std::int64_t y) {
    std::uint8_t& p = local[(y - y0) * kTile + (x - x0)];
    if (p == kUnknown) p = PieceAt(x, y);
    return p;
  };
  // Marks the block at (bx, by), `side` pixels (cut at the picture's edge), from its 3 x 3
  // lattice when that shows one value, otherwise block by block down to single pixels.
  const auto block = [&](auto& self, std::int64_t bx, std::int64_t by, int side) -> void {
    const std::int64_t ex = std::min(bx + side, x1), ey = std::min(by + side, y1);
    if (side <= 2) {
      for (std::int64_t y = by; y < ey; ++y) {
        for (std::int64_t x = bx; x < ex; ++x) mark(x, y);
      }
      return;
    }
    bool uniform = true;
    const std::uint8_t first = mark(bx, by);
    for (int j = 0; j < 3 && uniform; ++j) {
      for (int i = 0; i < 3 && uniform; ++i) {
        const std::int64_t x = std::min(bx + LatticeOffset(i, side), ex - 1);
        const std::int64_t y = std::min(by + LatticeOffset(j, side), ey - 1);
        uniform = mark(x, y) == first;
      }
    }
    if (uniform && (first != 0 || side <= kSubTile)) {
      for (std::int64_t y = by; y < ey; ++y) {
        std::uint8_t* row = local + (y - y0) * kTile;
        std::replace(row + (bx - x0), row + (ex - x0), kUnknown, first);
      }
      return;
    }
    const int half = side == kTile ? kSubTile : side / 2;
    for (std::int64_t y = by; y < ey; y += half) {
      for (std::int64_t x = bx; x < ex; x += half) self(self, x, y, half);
    }
  };
  block(block, x0, y0, static_cast<int>(kTile));
}

bool SourceSampler::Locate(double latitude, double longitude,
                           const Projection::RowForward::Row* row, double* px, double* py,
                           std::uint8_t* piece) const {
  if (!projection_ || planes_.empty()) return false;
  double x, y;
  int segment = 0, status;
  if (composite_) {
    status = composite_->ForwardSegment(latitude, longitude, &x, &y, &segment);
  } else if (row && rowForward_) {
    status = rowForward_->ForwardInRow(*row, longitude, &x, &y);
  } else {
    status = projection_->Forward(latitude, longitude, &x, &y);
  }
  if (status != 0 || !Place(x, y, px, py)) return false;
  *piece = composite_ ? PieceOfSegment(segment) : 1;
  return true;
}

void SourceSampler::LocateRow(const Projection::RowForward::Row& row, double latitude,
                              const double* longitudes, std::size_t count, double* px, double* py,
                              std::uint8_t* piece) const {
  if (composite_ || !rowForward_) {
    for (std::size_t i = 0; i < count; ++i) {
      Locate(latitude, longitudes[i], &row, &px[i], &py[i], &piece[i]);
    }
    return;
  }
  if (!projection_ || planes_.empty()) return;
  for (std::size_t i = 0; i < count; ++i) {
    double x, y;
    if (rowForward_->ForwardInRow(row, longitudes[i], &x, &y) == 0 && Place(x, y, &px[i], &py[i])) {
      piece[i] = 1;
    }
  }
}

bool SourceSampler::Bilinear(const Plane& plane, double px, double py, std::uint8_t piece,
                             Rgb* colour, bool* partial) const {
  if (Interior(plane, px, py, piece, colour)) {
    *partial = false;
    return true;
  }
  const double floorX = std::floor(px), floorY = std::floor(py);
  const double fx = px - floorX, fy = py - floorY;
  std::int64_t x[2] = {static_cast<std::int64_t>(floorX), static_cast<std::int64_t>(floorX) + 1};
  const std::int64_t y[2] = {static_cast<std::int64_t>(floorY),
                             static_cast<std::int64_t>(floorY) + 1};
  bool inside[2][2];
  for (int i = 0; i < 2; ++i) {
    if (plane.wraps)
      x[i] = x[i] < 0 ? x[i] + plane.width : x[i] >= plane.width ? x[i] - plane.width : x[i];
  }
  bool all = true;
  for (int j = 0; j < 2; ++j) {
    for (int i = 0; i < 2; ++i) {
      inside[j][i] = x[i] >= 0 && x[i] < plane.width && y[j] >= 0 && y[j] < plane.height &&
                     plane.Piece(x[i], y[j]) == piece;
      all = all && inside[j][i];
    }
  }
  *partial = !all;
  const double wx[2] = {1 - fx, fx}, wy[2] = {1 - fy, fy};
  Rgb sum;
  if (all) {
    const std::uint32_t* row0 = plane.Row(y[0]);
    const std::uint32_t* row1 = plane.Row(y[1]);
    Add(&sum, row0[x[0]], wx[0] * wy[0]);
    Add(&sum, row0[x[1]], wx[1] * wy[0]);
    Add(&sum, row1[x[0]], wx[0] * wy[1]);
    Add(&sum, row1[x[1]], wx[1] * wy[1]);
    *colour = sum;
    return true;
  }
  // Only the map's own neighbours count, their weights made up to one. A neighbour at zero weight
  // still counts when it is the only one: the point lies on the map.
  double total = 0;
  for (int j = 0; j < 2; ++j) {
    for (int i = 0; i < 2; ++i) {
      if (!inside[j][i]) continue;
      const double weight = std::max(wx[i] * wy[j], 1e-9);
      Add(&sum, plane.Row(y[j])[x[i]], weight);
      total += weight;
    }
  }
  if (total == 0) return false;
  Scale(&sum, 1 / total);
  *colour = sum;
  return true;
}

bool SourceSampler::Nearest(double px, double py, std::uint8_t piece, Rgb* colour,
                            bool* partial) const {
  const Plane& plane = planes_[0];
  const double floorX = std::floor(px), floorY = std::floor(py);
  const double fx = px - floorX, fy = py - floorY;
  double best = 3;
  std::uint32_t chosen = 0;
  *partial = false;
  for (int j = 0; j < 2; ++j) {
    for (int i = 0; i < 2; ++i) {
      std::int64_t x = static_cast<std::int64_t>(floorX) + i;
      const std::int64_t y = static_cast<std::int64_t>(floorY) + j;
      if (plane.wraps) x = x < 0 ? x + plane.width : x >= plane.width ? x - plane.width : x;
      if (x < 0 || x >= plane.width || y < 0 || y >= plane.height || plane.Piece(x, y) != piece) {
        *partial = true;
        continue;
      }
      const double dx = i - fx, dy = j - fy, distance = dx * dx + dy * dy;
      if (distance < best) {
        best = distance;
        chosen = plane.Row(y)[x];
      }
    }
  }
  if (best > 2) return false;
  *colour = Rgb{};
  Add(colour, chosen, 1);
  return true;
}

bool SourceSampler::Bicubic(double px, double py, std::uint8_t piece, Rgb* colour) const {
  const Plane& plane = planes_[0];
  const double floorX = std::floor(px), floorY = std::floor(py);
  const std::int64_t x0 = static_cast<std::int64_t>(floorX) - 1;
  const std::int64_t y0 = static_cast<std::int64_t>(floorY) - 1;
  if (y0 < 0 || y0 + 3 >= plane.height) return false;
  std::int64_t x[4];
  for (int i = 0; i < 4; ++i) {
    x[i] = x0 + i;
    if (plane.wraps)
      x[i] = x[i] < 0 ? x[i] + plane.width : x[i] >= plane.width ? x[i] - plane.width : x[i];
    if (x[i] < 0 || x[i] >= plane.width) return false;
  }
  for (int j = 0; j < 4; ++j) {
    for (int i = 0; i < 4; ++i) {
      if (plane.Piece(x[i], y0 + j) != piece) return false;
    }
  }
  double wx[4], wy[4];
  CubicWeights(px - floorX, wx);
  CubicWeights(py - floorY, wy);
  Rgb sum;
  for (int j = 0; j < 4; ++j) {
    const std::uint32_t* row = plane.Row(y0 + j);
    for (int i = 0; i < 4; ++i) Add(&sum, row[x[i]], wx[i] * wy[j]);
  }
  *colour = sum;
  return true;
}

bool SourceSampler::SampleNearOutline(Kernel kernel, double px, double py, std::uint8_t piece,
                                      Rgb* colour, bool* partial) const {
  if (planes_.empty()) return false;
  switch (kernel) {
    case Kernel::kNearest:
      return Nearest(px, py, piece, colour, partial);
    case Kernel::kBicubic:
      // Where a neighbour of the 4 x 4 lies off the map, the bilinear blend of the map's own
      // neighbours takes over.
      if (Bicubic(px, py, piece, colour)) {
        *partial = false;
        return true;
      }
      break;
    case Kernel::kBilinear:
      break;
  }
  return Bilinear(planes_[0], px, py, piece, colour, partial);
}

bool SourceSampler::AtLevel(int level, double px, double py, std::uint8_t piece,
                            Rgb* colour) const {
  // Where a coarse pixel mixes pieces of the map it counts as off the map; the finer levels
  // below it still tell the pieces apart.
  for (; level >= 0; --level) {
    const double half = (PowerOfTwo(level) - 1) / 2, scale = PowerOfTwo(-level);
    const double x = (px - half) * scale, y = (py - half) * scale;
    bool partial;
    if (Interior(planes_[level], x, y, piece, colour) ||
        Bilinear(planes_[level], x, y, piece, colour, &partial)) {
      return true;
    }
  }
  return false;
}

FootprintPlan SourceSampler::PlanOf(const Footprint& footprint) {
  constexpr int kMaxTaps = 16;
  const double across =
      footprint.acrossX * footprint.acrossX + footprint.acrossY * footprint.acrossY;
  const double down = footprint.downX * footprint.downX + footprint.downY * footprint.downY;
  // Squared lengths: one square root for the taps, none for the level.
  const double longer = std::max(across, down), shorter = std::min(across, down);
  FootprintPlan plan;
  plan.taps = std::clamp(
      static_cast<int>(std::ceil(std::sqrt(longer / std::max(shorter, 1.0)) - 0.01)), 1, kMaxTaps);
  // Level log2(size) averages as many pixels as each tap spans; between 1.5 and 2 pixels it rises
  // from level 0 so that the result does not jump where the averaging starts.
  const double size = std::max(shorter, longer / (plan.taps * plan.taps));
  plan.level = size >= 4 ? 0.5 * Log2(size) : std::max(0.0, 2 * std::sqrt(size) - 3);
  const bool alongAcross = across >= down;
  plan.stepX = alongAcross ? footprint.acrossX : footprint.downX;
  plan.stepY = alongAcross ? footprint.acrossY : footprint.downY;
  return plan;
}

bool SourceSampler::Trilinear(double level, double px, double py, std::uint8_t piece,
                              Rgb* colour) const {
  const int top = static_cast<int>(planes_.size()) - 1;
  level = std::min(level, static_cast<double>(top));
  const int lower = static_cast<int>(level);
  const double t = level - lower;
  if (!AtLevel(lower, px, py, piece, colour)) return false;
  if (t > 0 && lower < top) {
    Rgb upper;
    if (AtLevel(lower + 1, px, py, piece, &upper)) {
      colour->r += t * (upper.r - colour->r);
      colour->g += t * (upper.g - colour->g);
      colour->b += t * (upper.b - colour->b);
    }
  }
  return true;
}

bool SourceSampler::SampleFootprint(double px, double py, const FootprintPlan& plan,
                                    std::uint8_t piece, Rgb* colour) const {
  if (planes_.empty()) return false;
  const int taps = plan.taps;
  const double level = plan.level;
  if (taps == 1) return Trilinear(level, px, py, piece, colour);
  // Taps spread evenly along the longer side, each averaging a square of the shorter side.
  const double stepX = plan.stepX, stepY = plan.stepY;
  Rgb sum;
  int count = 0;
  for (int k = 0; k < taps; ++k) {
    const double f = (k + 0.5) / taps - 0.5;
    double x = px + f * stepX;
    const double y = py + f * stepY;
    if (planes_[0].wraps && (x < 0 || x >= static_cast<double>(width_))) {
      x -= static_cast<double>(width_) * std::floor(x / static_cast<double>(width_));
    }
    Rgb tap;
    if (!Trilinear(level, x, y, piece, &tap)) continue;
    sum.r += tap.r;
    sum.g += tap.g;
    sum.b += tap.b;
    ++count;
  }
  if (count == 0) return false;
  *colour = {sum.r / count, sum.g / count, sum.b / count};
  return true;
}

int SourceSampler::PreparePyramid(const Footprint& footprint, std::uint64_t reserved) {
  std::lock_guard<std::mutex> guard(pyramidLock_);
  const double level = PlanOf(footprint).level;
  if (planes_.empty() || level <= 0) return 0;
  if (feed_) feed_->WaitFor(height_);
  const int wanted = static_cast<int>(std::ceil(level));
  while (static_cast<int>(planes_.size()) <= wanted) {
    const Plane fine = planes_.back();
    if (fine.width == 1 && fine.height == 1) break;
    const std::int64_t w = (fine.width + 1) / 2, h = (fine.height + 1) / 2;
    auto store = std::make_unique<VideoBuffer>();
    const auto sideX = static_cast<std::int32_t>(std::max<std::int64_t>(w, 2));
    const auto sideY = static_cast<std::int32_t>(std::max<std::int64_t>(h, 2));
    const bool inMemory =
        MemoryBudget::Allows(reserved + static_cast<std::uint64_t>(sideX) * sideY * 4) &&
        store->Create(sideX, sideY) == 0;
    if (!inMemory && store->CreateOnDisk(sideX, sideY, ImageFiles::TemporaryFolder()) != 0) {
      return -2;
    }
    Plane coarse;
    coarse.stride = -store->width;
    coarse.top = reinterpret_cast<const std::uint32_t*>(store->pixels) +
                 static_cast<std::int64_t>(store->height - 1) * store->width;
    coarse.width = w;
    coarse.height = h;
    coarse.wraps = fine.wraps && fine.width % 2 == 0;
    const auto row = [&](std::int64_t y) { return const_cast<std::uint32_t*>(coarse.Row(y)); };
#pragma omp parallel for schedule(static)
    for (std::int64_t y = 0; y < h; ++y) {
      std::uint32_t* out = row(y);
      for (std::int64_t x = 0; x < w; ++x) {
        // Four children on one piece (nearly all of them): their rounded mean, two channels at a
        // time in 16-bit lanes. The piece goes into the alpha byte.
        if (2 * x + 1 < fine.width && 2 * y + 1 < fine.height) {
          const std::uint8_t p = fine.Piece(2 * x, 2 * y);
          if (p != 0 && p == fine.Piece(2 * x + 1, 2 * y) && p == fine.Piece(2 * x, 2 * y + 1) &&
              p == fine.Piece(2 * x + 1, 2 * y + 1)) {
            const std::uint32_t* r0 = fine.Row(2 * y) + 2 * x;
            const std::uint32_t* r1 = fine.Row(2 * y + 1) + 2 * x;
            const std::uint32_t even = (r0[0] & 0x00FF00FFu) + (r0[1] & 0x00FF00FFu) +
                                       (r1[0] & 0x00FF00FFu) + (r1[1] & 0x00FF00FFu);
            const std::uint32_t odd = ((r0[0] >> 8) & 0x00FF00FFu) + ((r0[1] >> 8) & 0x00FF00FFu) +
                                      ((r1[0] >> 8) & 0x00FF00FFu) + ((r1[1] >> 8) & 0x00FF00FFu);
            out[x] = static_cast<std::uint32_t>(p) << 24 |
                     (((even + 0x00020002u) >> 2) & 0x00FF00FFu) |
                     (((odd + 0x00020002u) >> 2) & 0x000000FFu) << 8;
            continue;
          }
        }
        Rgb sum;
        int count = 0;
        std::uint8_t piece = 0;
        bool mixed = false;
        for (std::int64_t cy = 2 * y; cy < std::min(2 * y + 2, fine.height); ++cy) {
          for (std::int64_t cx = 2 * x; cx < std::min(2 * x + 2, fine.width); ++cx) {
            const std::uint8_t p = fine.Piece(cx, cy);
            if (p == 0) continue;
            mixed = mixed || (piece != 0 && p != piece);
            piece = p;
            Add(&sum, fine.Row(cy)[cx], 1);
            ++count;
          }
        }
        const bool valid = count > 0 && !mixed;
        out[x] = valid ? static_cast<std::uint32_t>(piece) << 24 |
                             Pack(sum.r / count, sum.g / count, sum.b / count)
                       : 0;
      }
    }
    levels_.push_back(std::move(store));
    planes_.push_back(coarse);
  }
  return 0;
}
