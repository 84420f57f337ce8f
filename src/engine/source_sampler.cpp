// SourceSampler: the map's pixels of a source picture, the kernels that read only them, and the
// pyramid for shrinking.
#include "engine/source_sampler.h"

#include <immintrin.h>

#include <algorithm>
#include <array>
#include <bit>
#include <chrono>
#include <cmath>
#include <system_error>

#include "image/image_files.h"
#include "image/memory_budget.h"
#include "projection/map_project.h"
#include "registry/map_composite.h"

using Projection::kPi;

namespace {

constexpr int kSubTile = 8;  // the blocks a tile that the outline crosses is searched in first
// The longest step in longitude (radians) that BesideDateLine takes across the date line: the
// first-order frame holds no farther.
constexpr double kMaxDateLineStep = 0.1;

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

// 2^k for |k| < 1023, exactly.
double PowerOfTwo(int k) {
  return std::bit_cast<double>(static_cast<std::uint64_t>(1023 + k) << 52);
}

// Where tap k of t lies along a footprint's longer side, from -1/2 to 1/2: (k + 1/2) / t - 1/2.
constexpr auto kTapFractions = [] {
  std::array<std::array<double, FootprintPlan::kMaxTaps>, FootprintPlan::kMaxTaps + 1> f{};
  for (int t = 1; t <= FootprintPlan::kMaxTaps; ++t) {
    for (int k = 0; k < t; ++k) f[t][k] = (k + 0.5) / t - 0.5;
  }
  return f;
}();

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
  // Whether the map shows the date line somewhere (any map but a wrapping cylinder can end there).
  if (projection_ && !wraps_) {
    const double edge = kPi - 1e-6;
    for (const double side : {-edge, edge}) {
      double x, y, px, py;
      reachesDateLine_ = reachesDateLine_ ||
                         (projection_->Forward(0, projection_->centerLon + side, &x, &y) == 0 &&
                          Place(x, y, &px, &py));
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
  stopBuilder_.store(true);
  if (builder_.joinable()) builder_.join();
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
  std::fill_n(local, kTile * kTile, convex_ ? kPending : 0);
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
    if (p == kPending) p = PieceAt(x, y);
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
        std::replace(row + (bx - x0), row + (ex - x0), kPending, first);
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
  constexpr std::size_t kChunk = 256;
  int status[kChunk];
  for (std::size_t start = 0; start < count; start += kChunk) {
    const std::size_t n = std::min(kChunk, count - start);
    rowForward_->ForwardRow(row, longitudes + start, n, px + start, py + start, status);
    for (std::size_t k = 0; k < n; ++k) {
      const std::size_t i = start + k;
      if (status[k] == 0 && Place(px[i], py[i], &px[i], &py[i])) piece[i] = 1;
    }
  }
}

namespace {

// A row's two pixels at `row` blended across, (4096 - fx) left + fx right (below 2^20), in the
// 32-bit lanes of its four channels: each channel of the left pixel beside the same of the right
// one in 16-bit lanes, one multiply-add.
inline __m128i BlendAcross(const std::uint32_t* row, std::uint32_t fx) {
  const __m128i two = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(row));
  const __m128i pairs =
      _mm_unpacklo_epi8(_mm_unpacklo_epi8(two, _mm_srli_epi64(two, 32)), _mm_setzero_si128());
  return _mm_madd_epi16(pairs, _mm_set1_epi32(static_cast<int>(fx << 16 | (4096 - fx))));
}

}  // namespace

void SourceSampler::BilinearRowSse41(const double* px, const double* py, const std::uint8_t* piece,
                                     std::size_t count, std::uint8_t* plain,
                                     std::uint32_t* out) const {
  const Plane& plane = planes_.front();
  for (std::size_t c = 0; c < count; ++c) {
    if (!plain[c]) continue;
    const std::uint32_t *r0, *r1;
    std::uint32_t fx, fy;
    if (!Corners(plane, px[c], py[c], piece[c], &r0, &r1, &fx, &fy)) {
      plain[c] = 0;
      continue;
    }
    // FixedBilinear's sums to the last bit, the rows' blends weighed down: up to 255 * 2^24, they
    // wrap as signed 32-bit numbers but not as unsigned ones.
    const __m128i sum = _mm_add_epi32(
        _mm_mullo_epi32(BlendAcross(r0, fx), _mm_set1_epi32(static_cast<int>(4096 - fy))),
        _mm_mullo_epi32(BlendAcross(r1, fx), _mm_set1_epi32(static_cast<int>(fy))));
    const __m128i level = _mm_srli_epi32(_mm_add_epi32(sum, _mm_set1_epi32(1 << 23)), 24);
    const __m128i bytes = _mm_packus_epi16(_mm_packs_epi32(level, level), _mm_setzero_si128());
    out[c] = 0xFF000000u | static_cast<std::uint32_t>(_mm_cvtsi128_si32(bytes));
  }
}

bool SourceSampler::Touches(double px, double py, std::uint8_t piece) const {
  if (planes_.empty() || !(std::isfinite(px) && std::isfinite(py))) return false;
  const Plane& plane = planes_.front();
  const auto x0 = static_cast<std::int64_t>(std::floor(px));
  const auto y0 = static_cast<std::int64_t>(std::floor(py));
  for (std::int64_t y = y0; y <= y0 + 1; ++y) {
    for (std::int64_t x = x0; x <= x0 + 1; ++x) {
      const std::int64_t column = plane.wraps ? (x % width_ + width_) % width_ : x;
      if (column >= 0 && column < width_ && y >= 0 && y < height_ &&
          plane.Piece(column, y) == piece) {
        return true;
      }
    }
  }
  return false;
}

void SourceSampler::InteriorBilinearRow(const double* px, const double* py,
                                        const std::uint8_t* piece, std::size_t count,
                                        std::uint8_t* plain, std::uint32_t* out) const {
  static const bool sse41 = __builtin_cpu_supports("sse4.1");
  if (planes_.empty()) {
    std::fill_n(plain, count, 0);
  } else if (sse41) {
    BilinearRowSse41(px, py, piece, count, plain, out);
  } else {
    for (std::size_t c = 0; c < count; ++c) {
      if (plain[c] && !InteriorBilinear(px[c], py[c], piece[c], &out[c])) plain[c] = 0;
    }
  }
}

bool SourceSampler::FrameAt(double px, double py, LocalFrame* frame) const {
  const double mx = (px - halfWidth_) / xFactor_, my = (py - halfHeight_) / yFactor_;
  double lat, lon;
  int segment = 0;
  if (composite_) {
    composite_->InverseSegment(mx, my, &lat, &lon, &segment);
  } else {
    projection_->Inverse(mx, my, &lat, &lon);
  }
  if (!std::isfinite(lat) || !std::isfinite(lon)) return false;
  // A point on the outline may come back from Inverse as off the map, or on the wrong side of the
  // date line: it counts where it maps back onto itself, on the side where it does.
  const double centre = projection_->centerLon;
  const double east = Projection::WrapAngle(lon - centre);
  // BesideDateLine steps at most kMaxDateLineStep in longitude: farther from the date line no
  // frame is needed (near a pole most samples at the outline are).
  if (std::fabs(east) < kPi - kMaxDateLineStep) return false;
  const double sides[2] = {east, east - std::copysign(2 * kPi, east)};
  const int tries = std::fabs(east) > kPi - 1e-6 ? 2 : 1;
  // Differences taken towards the inside of the globe, small against a pixel.
  constexpr double kStep = 1e-6;
  const double dLat = lat > 0 ? -kStep : kStep;
  for (int t = 0; t < tries; ++t) {
    const double dLon = sides[t] > 0 ? -kStep : kStep;
    const double lats[3] = {lat, lat + dLat, lat};
    const double lons[3] = {centre + sides[t], centre + sides[t], centre + sides[t] + dLon};
    double x[3], y[3];
    bool placed = true;
    for (int k = 0; k < 3 && placed; ++k) {
      placed = projection_->Forward(lats[k], lons[k], &x[k], &y[k]) == 0;
      x[k] = xFactor_ * x[k] + halfWidth_;
      y[k] = yFactor_ * y[k] + halfHeight_;
    }
    if (!placed || std::fabs(x[0] - px) > 0.01 || std::fabs(y[0] - py) > 0.01) continue;
    // Pixels per radian of latitude (a, c) and of longitude (b, d), inverted.
    const double a = (x[1] - x[0]) / dLat, b = (x[2] - x[0]) / dLon;
    const double c = (y[1] - y[0]) / dLat, d = (y[2] - y[0]) / dLon;
    const double det = a * d - b * c;
    if (!(std::fabs(det) > 1e-12 * (a * a + b * b + c * c + d * d))) return false;
    *frame = {x[0], y[0], lat, sides[t], d / det, -b / det, -c / det, a / det, b, d};
    return true;
  }
  return false;
}

bool SourceSampler::BesideDateLine(const LocalFrame& frame, std::int64_t x, std::int64_t y,
                                   std::uint8_t piece, std::uint32_t* pixel) const {
  const double dx = static_cast<double>(x) - frame.x, dy = static_cast<double>(y) - frame.y;
  const double lat = frame.lat + frame.latPerX * dx + frame.latPerY * dy;
  const double dLon = frame.lonPerX * dx + frame.lonPerY * dy;
  const double east = frame.east + dLon;
  // Only a short step that crosses the date line and no pole: near a pole or a cusp, where one
  // pixel spans much longitude, the first-order frame does not hold.
  if (std::fabs(lat) > Projection::kHalfPi || std::fabs(dLon) > kMaxDateLineStep ||
      std::fabs(east) <= kPi) {
    return false;
  }
  // Back along the parallel in half-pixel steps, at most 4 pixels.
  const double along = std::hypot(frame.xPerLon, frame.yPerLon);
  if (!(along > 0)) return false;
  const double sx = -std::copysign(0.5, east) * frame.xPerLon / along;
  const double sy = -std::copysign(0.5, east) * frame.yPerLon / along;
  const Plane& plane = planes_.front();
  for (int k = 1; k <= 8; ++k) {
    const auto ix = static_cast<std::int64_t>(std::floor(static_cast<double>(x) + k * sx + 0.5));
    const auto iy = static_cast<std::int64_t>(std::floor(static_cast<double>(y) + k * sy + 0.5));
    if (ix >= 0 && iy >= 0 && ix < width_ && iy < height_ && plane.Piece(ix, iy) == piece) {
      *pixel = plane.Row(iy)[ix];
      return true;
    }
  }
  return false;
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
  // Only the map's own neighbours count, their weights made up to one. A neighbour beyond the
  // date line counts with the colour of the map's first pixel back along its parallel, which
  // shows nearly its latitude: where the outline slants (an oval near the poles), the neighbours
  // left on the map lie on other parallels. A neighbour at zero weight still counts when it is the
  // only one: the point lies on the map.
  double total = 0;
  bool beside = reachesDateLine_ && plane.marked;
  LocalFrame frame;
  bool framed = false;
  for (int j = 0; j < 2; ++j) {
    for (int i = 0; i < 2; ++i) {
      const double weight = std::max(wx[i] * wy[j], 1e-9);
      std::uint32_t pixel;
      if (inside[j][i]) {
        pixel = plane.Row(y[j])[x[i]];
      } else {
        if (beside && !framed) {
          framed = true;
          beside = FrameAt(px, py, &frame);
        }
        if (!beside || !BesideDateLine(frame, x[i], y[j], piece, &pixel)) continue;
      }
      Add(&sum, pixel, weight);
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
  // Coverage's sub-samples may lie on the map where the samples of their row all lie off it.
  AwaitBelow(py);
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
  FootprintPlan plan;
  Replan(footprint, &plan);
  return plan;
}

void SourceSampler::Replan(const Footprint& footprint, FootprintPlan* plan) {
  const double across =
      footprint.acrossX * footprint.acrossX + footprint.acrossY * footprint.acrossY;
  const double down = footprint.downX * footprint.downX + footprint.downY * footprint.downY;
  // Squared lengths: no square root for the level, and none for the taps while their count holds.
  const double longer = std::max(across, down), shorter = std::min(across, down);
  const double unit = std::max(shorter, 1.0);
  int taps = plan->taps;
  if (!(longer > plan->fewerTaps * unit && longer <= plan->moreTaps * unit)) {
    taps = std::clamp(static_cast<int>(std::ceil(std::sqrt(longer / unit) - 0.01)), 1,
                      FootprintPlan::kMaxTaps);
  }
  // Each tap spans a square of side s (size = s^2); level floor(log2 s) = floor(log2 size) / 2
  // has pixels of s/2 to s. One level rather than a blend of two: it costs half as much, and a
  // bilinear sample there averages about as widely as the footprint.
  const double size = std::max(shorter, longer / (taps * taps));
  int level = 0;
  for (double edge = 4; size >= edge && level < 511; edge *= 4) ++level;
  if (taps != plan->taps) {
    plan->taps = taps;
    // The count above is t from (t - 0.99)^2 up to (t + 0.01)^2 times `unit`; a billionth inside
    // those bounds it is plainly the same.
    plan->fewerTaps = taps == 1 ? -std::numeric_limits<double>::infinity()
                                : (taps - 0.99) * (taps - 0.99) * (1 + 1e-9);
    plan->moreTaps = taps == FootprintPlan::kMaxTaps ? std::numeric_limits<double>::infinity()
                                                     : (taps + 0.01) * (taps + 0.01) * (1 - 1e-9);
    // Each tap's blend weighs 2^24 in all.
    plan->perSum = 1 / (taps * 16777216.0);
  }
  if (level != plan->level) {
    plan->level = level;
    plan->levelHalf = (PowerOfTwo(level) - 1) / 2;
    plan->levelScale = PowerOfTwo(-level);
  }
  const bool alongAcross = across >= down;
  plan->stepX = alongAcross ? footprint.acrossX : footprint.downX;
  plan->stepY = alongAcross ? footprint.acrossY : footprint.downY;
  for (int k = 0; k < taps; ++k) {
    const double f = kTapFractions[taps][k];
    plan->tapX[k] = f * plan->stepX;
    plan->tapY[k] = f * plan->stepY;
  }
  plan->axis = taps == 1          ? FootprintPlan::Axis::kNone
               : plan->stepX == 0 ? FootprintPlan::Axis::kDown
               : plan->stepY == 0 ? FootprintPlan::Axis::kAcross
                                  : FootprintPlan::Axis::kNone;
  plan->cache.along = -1;  // the taps' weights along the axis were another plan's
}

bool SourceSampler::SampleFootprint(double px, double py, const FootprintPlan& plan,
                                    std::uint8_t piece, Rgb* colour) const {
  if (planes_.empty()) return false;
  const int level = std::min(plan.level, static_cast<int>(planes_.size()) - 1);
  AwaitLevel(level, py + std::fabs(plan.stepY) / 2);
  Rgb sum;
  int count = 0;
  for (int k = 0; k < plan.taps; ++k) {
    double x = px + plan.tapX[k];
    const double y = py + plan.tapY[k];
    if (wraps_ && (x < 0 || x >= static_cast<double>(width_))) {
      x -= static_cast<double>(width_) * std::floor(x / static_cast<double>(width_));
    }
    Rgb tap;
    if (!AtLevel(level, x, y, piece, &tap)) continue;
    sum.r += tap.r;
    sum.g += tap.g;
    sum.b += tap.b;
    ++count;
  }
  if (count == 0) return false;
  *colour = {sum.r / count, sum.g / count, sum.b / count};
  return true;
}

[[gnu::always_inline]] inline bool SourceSampler::PairedBilinear(const Plane& plane, double px,
                                                                 double py, std::uint8_t piece,
                                                                 __m128i* rb, __m128i* ga) {
  const std::uint32_t *r0, *r1;
  std::uint32_t fx, fy;
  if (!Corners(plane, px, py, piece, &r0, &r1, &fx, &fy)) return false;
  const __m128i top = BlendAcross(r0, fx), bottom = BlendAcross(r1, fx);
  // Down: (4096 - fy) top + fy bottom, each product in 64 bits, as FixedBilinear's sums.
  const __m128i up = _mm_set1_epi32(static_cast<int>(4096 - fy));
  const __m128i down = _mm_set1_epi32(static_cast<int>(fy));
  *rb = _mm_add_epi64(*rb, _mm_add_epi64(_mm_mul_epu32(top, up), _mm_mul_epu32(bottom, down)));
  *ga = _mm_add_epi64(*ga, _mm_add_epi64(_mm_mul_epu32(_mm_srli_epi64(top, 32), up),
                                         _mm_mul_epu32(_mm_srli_epi64(bottom, 32), down)));
  return true;
}

bool SourceSampler::InteriorFootprint(double px, double py, const FootprintPlan& plan,
                                      std::uint8_t piece, std::uint32_t* pixel) const {
  // A level not built (beyond a picture of one pixel) takes the general path.
  if (plan.level >= static_cast<int>(planes_.size())) return false;
  AwaitLevel(plan.level, py + std::fabs(plan.stepY) / 2);
  const Plane& plane = planes_[plan.level];
  const double width = static_cast<double>(width_);
  // The channel sums, red and blue in the 64-bit halves of one register, green in another.
  __m128i rb = _mm_setzero_si128(), ga = _mm_setzero_si128();
  if (plan.axis != FootprintPlan::Axis::kNone) {
    double x = px;
    if (wraps_ && (x < 0 || x >= width)) x -= width * std::floor(x / width);
    Fixed sum;
    if (!AxisFootprint(plane, (x - plan.levelHalf) * plan.levelScale,
                       (py - plan.levelHalf) * plan.levelScale, plan, piece, &sum)) {
      return false;
    }
    rb = _mm_set_epi64x(static_cast<std::int64_t>(sum.b), static_cast<std::int64_t>(sum.r));
    ga = _mm_set_epi64x(0, static_cast<std::int64_t>(sum.g));
  } else {
    for (int k = 0; k < plan.taps; ++k) {
      double x = px + plan.tapX[k];
      const double y = py + plan.tapY[k];
      if (wraps_ && (x < 0 || x >= width)) x -= width * std::floor(x / width);
      if (!PairedBilinear(plane, (x - plan.levelHalf) * plan.levelScale,
                          (y - plan.levelHalf) * plan.levelScale, piece, &rb, &ga)) {
        return false;
      }
    }
  }
  // Each sum v (below 2^52) to a level: v * perSum rounded, v exactly a double through the bits
  // of 2^52 + v.
  const __m128i bits = _mm_set1_epi64x(0x4330000000000000);
  const __m128d two52 = _mm_set1_pd(4503599627370496.0);
  const __m128d perSum = _mm_set1_pd(plan.perSum), half = _mm_set1_pd(0.5);
  const auto levels = [&](__m128i v) {
    const __m128d exact = _mm_sub_pd(_mm_castsi128_pd(_mm_or_si128(v, bits)), two52);
    return _mm_cvttpd_epi32(_mm_add_pd(_mm_mul_pd(exact, perSum), half));
  };
  const __m128i redBlue = levels(rb);  // 32-bit lanes: red, blue
  const auto red = static_cast<std::uint32_t>(_mm_cvtsi128_si32(redBlue));
  const auto blue = static_cast<std::uint32_t>(_mm_cvtsi128_si32(_mm_srli_si128(redBlue, 4)));
  const auto green = static_cast<std::uint32_t>(_mm_cvtsi128_si32(levels(ga)));
  *pixel = 0xFF000000u | red | green << 8 | blue << 16;
  return true;
}

bool SourceSampler::BlockOnPiece(std::int64_t x0, std::int64_t y0, std::int64_t x1, std::int64_t y1,
                                 std::uint8_t piece) const {
  for (std::int64_t ty = y0 >> kTileShift; ty <= y1 >> kTileShift; ++ty) {
    for (std::int64_t tx = x0 >> kTileShift; tx <= x1 >> kTileShift; ++tx) {
      std::uint8_t uniform;
      if (TileMarks(tx, ty, &uniform) || uniform != piece) return false;
    }
  }
  return true;
}

bool SourceSampler::AxisFootprint(const Plane& plane, double x, double y, const FootprintPlan& plan,
                                  std::uint8_t piece, Fixed* sum) const {
  // The taps' positions along the axis (level pixels) and the blend across it, at (x, y) of the
  // level: rows (down) or columns (across) first .. last carry the taps' weights.
  const bool down = plan.axis == FootprintPlan::Axis::kDown;
  const double along = down ? y : x, across = down ? x : y;
  const std::int64_t acrossSize = down ? plane.width : plane.height;
  if (!(across >= 0)) return false;
  const auto side = static_cast<std::int64_t>(across);
  if (side + 1 >= acrossSize) return false;
  FootprintPlan::AxisCache& cache = plan.cache;
  if (along != cache.along) {
    const double* offsets = down ? plan.tapY : plan.tapX;
    const double firstTap = along + offsets[0] * plan.levelScale;
    const double lastTap = along + offsets[plan.taps - 1] * plan.levelScale;
    if (!(std::min(firstTap, lastTap) >= 0)) return false;
    cache.first = static_cast<std::int64_t>(std::min(firstTap, lastTap));
    cache.last = static_cast<std::int64_t>(std::max(firstTap, lastTap)) + 1;
    if (cache.last >= (down ? plane.height : plane.width) ||
        cache.last - cache.first >= FootprintPlan::kMaxLines) {
      return false;
    }
    std::fill_n(cache.weight, cache.last - cache.first + 1, 0u);
    for (int k = 0; k < plan.taps; ++k) {
      const double at = along + offsets[k] * plan.levelScale;
      const auto line = static_cast<std::int64_t>(at);
      const auto f = static_cast<std::uint32_t>((at - static_cast<double>(line)) * 4096 + 0.5);
      cache.weight[line - cache.first] += 4096 - f;
      cache.weight[line - cache.first + 1] += f;
    }
    cache.along = along;
    cache.tileAcross = -1;
  }
  const std::int64_t first = cache.first, last = cache.last;
  // At level 0 the tiles tell the pieces: those across from the last pixel's usually hold.
  if (plane.marked && (side >> kTileShift != cache.tileAcross ||
                       (side + 1) >> kTileShift != cache.tileAcross || piece != cache.piece)) {
    if (!(down ? BlockOnPiece(side, first, side + 1, last, piece)
               : BlockOnPiece(first, side, last, side + 1, piece))) {
      return false;
    }
    const bool oneTile = side >> kTileShift == (side + 1) >> kTileShift;
    cache.tileAcross = oneTile ? side >> kTileShift : -1;
    cache.piece = piece;
  }
  const auto f = static_cast<std::uint32_t>((across - static_cast<double>(side)) * 4096 + 0.5);
  const std::uint32_t near = 4096 - f;
  // Red and blue in the two halves of one 64-bit word: each blend across stays below 2^20.
  const auto spread = [](std::uint32_t c) {
    return static_cast<std::uint64_t>(c & 0xFF) | static_cast<std::uint64_t>(c & 0xFF0000) << 16;
  };
  std::uint32_t pieces = 0;  // above level 0: any pixel off `piece`
  for (std::int64_t line = first; line <= last; ++line) {
    const std::uint64_t w = cache.weight[line - first];
    if (w == 0) continue;
    const std::uint32_t a = down ? plane.Row(line)[side] : plane.Row(side)[line];
    const std::uint32_t b = down ? plane.Row(line)[side + 1] : plane.Row(side + 1)[line];
    if (!plane.marked) pieces |= (a >> 24 ^ piece) | (b >> 24 ^ piece);
    const std::uint64_t outer = near * spread(a) + f * spread(b);
    sum->r += w * (outer & 0xFFFFFFFFu);
    sum->g += w * (near * (a >> 8 & 0xFF) + f * (b >> 8 & 0xFF));
    sum->b += w * (outer >> 32);
  }
  return pieces == 0;
}

bool SourceSampler::AddLevels(int deepest, std::uint64_t reserved) {
  while (static_cast<int>(planes_.size()) <= deepest) {
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
      return false;
    }
    Plane coarse;
    coarse.stride = -store->width;
    coarse.top = reinterpret_cast<const std::uint32_t*>(store->pixels) +
                 static_cast<std::int64_t>(store->height - 1) * store->width;
    coarse.width = w;
    coarse.height = h;
    coarse.wraps = fine.wraps && fine.width % 2 == 0;
    levels_.push_back(std::move(store));
    planes_.push_back(coarse);
  }
  return true;
}

void SourceSampler::BuildRow(const Plane& fine, const Plane& coarse, std::int64_t y) {
  std::uint32_t* out = const_cast<std::uint32_t*>(coarse.Row(y));
  for (std::int64_t x = 0; x < coarse.width; ++x) {
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
        out[x] = static_cast<std::uint32_t>(p) << 24 | (((even + 0x00020002u) >> 2) & 0x00FF00FFu) |
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

void SourceSampler::BuildWhileReading() {
  const std::size_t levels = planes_.size();
  std::vector<std::int64_t> built(levels, 0);  // rows of each level there
  while (!stopBuilder_.load(std::memory_order_relaxed)) {
    const std::int64_t source = feed_->ready.load(std::memory_order_acquire);
    built[0] = source;
    bool whole = true;
    for (std::size_t k = 1; k < levels; ++k) {
      const Plane& fine = planes_[k - 1];
      const Plane& coarse = planes_[k];
      // A coarse row needs both fine rows under it, and the last one whatever is left.
      const std::int64_t ready = built[k - 1] >= fine.height ? coarse.height : built[k - 1] / 2;
      if (ready > built[k]) {
        for (std::int64_t y = built[k]; y < ready; ++y) BuildRow(fine, coarse, y);
        built[k] = ready;
        levelRows_[k]->Publish(ready);
      }
      whole = whole && built[k] == coarse.height;
    }
    if (whole) return;
    // Polled rather than waited on, so that a stop is seen even while the reader is slow.
    while (!stopBuilder_.load(std::memory_order_relaxed) &&
           feed_->ready.load(std::memory_order_acquire) == source) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }
}

int SourceSampler::PreparePyramid(const Footprint& footprint, std::uint64_t reserved) {
  std::lock_guard<std::mutex> guard(pyramidLock_);
  const int wanted = PlanOf(footprint).level;
  if (planes_.empty() || wanted < static_cast<int>(planes_.size())) return 0;
  // Levels beyond those being built alongside the reading come after them.
  if (builder_.joinable()) builder_.join();
  const std::size_t first = planes_.size();
  const bool added = AddLevels(wanted, reserved);
  if (added && first == 1 && feed_ && feed_->ready.load(std::memory_order_acquire) < height_) {
    // The source is still being read: its levels follow it, so that sampling them need not wait
    // for the whole picture.
    levelRows_.resize(planes_.size());
    for (std::size_t k = 1; k < planes_.size(); ++k) {
      levelRows_[k] = std::make_unique<RowFeed>();
      levelRows_[k]->height = planes_[k].height;
    }
    try {
      builder_ = std::thread([this] { BuildWhileReading(); });
      return 0;
    } catch (const std::system_error&) {
      levelRows_.clear();  // no thread to be had: built whole below
    }
  }
  if (feed_) feed_->WaitFor(height_);
  for (std::size_t k = first; k < planes_.size(); ++k) {
    const Plane fine = planes_[k - 1], coarse = planes_[k];
#pragma omp parallel for schedule(static)
    for (std::int64_t y = 0; y < coarse.height; ++y) BuildRow(fine, coarse, y);
  }
  return added ? 0 : -2;
}
