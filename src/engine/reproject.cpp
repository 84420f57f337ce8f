// The reprojection loops: Reproject, Resample, RenderProjection.
//
// Every loop works backwards from the destination, one OpenMP team over the destination rows with
// static scheduling, and reads and writes the pixel blocks directly (the same layout GetPixel and
// SetPixel use) so that the inner loops allocate nothing and make no bounds-checking calls.
#include "engine/reproject.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "projection/map_project.h"
#include "projection/row_forward.h"

using Projection::kHalfPi;
using Projection::kPi;

namespace {

constexpr std::uint32_t kNoSourceStored = 0x00FF00FFu;  // magenta, alpha 0 (same in both orders)

// Read-only view of a buffer's rows, top row first.
class Rows {
 public:
  explicit Rows(const VideoBuffer& b) : pixels_(b.pixels), width_(b.width), height_(b.height) {}
  const std::uint32_t* Row(std::int64_t y) const {
    return reinterpret_cast<const std::uint32_t*>(pixels_ + (height_ - 1 - y) * width_ * 4);
  }
  std::uint32_t* MutableRow(std::int64_t y) const {
    return reinterpret_cast<std::uint32_t*>(pixels_ + (height_ - 1 - y) * width_ * 4);
  }

 private:
  std::uint8_t* pixels_;
  std::int64_t width_;
  std::int64_t height_;
};

// Bilinear blend of stored pixels: first along y, then x, each step truncated toward zero. The
// fractions lie in [0, 1), so every step stays within 0..255. Opaque result.
inline std::uint32_t BlendOpaque(std::uint32_t c00, std::uint32_t c01, std::uint32_t c10,
                                 std::uint32_t c11, double fx, double fy) {
  std::uint32_t out = 0xFF000000u;
  for (int shift = 0; shift < 24; shift += 8) {
    const double p00 = (c00 >> shift) & 0xFF, p01 = (c01 >> shift) & 0xFF;
    const double p10 = (c10 >> shift) & 0xFF, p11 = (c11 >> shift) & 0xFF;
    const int a = static_cast<int>(p00 + (p01 - p00) * fy);
    const int b = static_cast<int>(p10 + (p11 - p10) * fy);
    const int result = static_cast<int>(a + (b - a) * fx);
    out |= static_cast<std::uint32_t>(result & 0xFF) << shift;
  }
  return out;
}

// Columns left .. left + count - 1 of a W-wide world grid: longitude (2c / W - 1) pi, exactly in
// this form.
std::vector<double> ColumnLongitudes(std::int64_t width, std::int64_t left, std::int64_t count) {
  std::vector<double> lon(static_cast<std::size_t>(count));
  const double inverse = 1.0 / static_cast<double>(width);
  for (std::int64_t i = 0; i < count; ++i) lon[i] = (2.0 * (left + i) * inverse - 1.0) * kPi;
  return lon;
}

double RowLatitude(std::int64_t r, double inverseHeight) {
  return (2.0 * r * inverseHeight - 1.0) * kHalfPi;
}

// Ends a parallel row: counts it and tells whether the caller asked to stop.
inline bool RowDone(RasterProgress* progress) {
  if (!progress) return false;
  progress->rowsDone.fetch_add(1, std::memory_order_relaxed);
  return progress->cancel.load(std::memory_order_relaxed);
}

}  // namespace

int Reproject(const VideoBuffer& source, const MapInstance& instance, VideoBuffer& destination,
              RasterProgress* progress, const GridWindow& window) {
  if (!destination.HasStorage()) return 0;
  const std::int64_t W = destination.width, H = destination.height;
  if (!source.HasStorage()) {
    // No point has a source: the whole picture is the no-source colour.
    std::fill_n(reinterpret_cast<std::uint32_t*>(destination.pixels), W * H, kNoSourceStored);
    return 0;
  }
  const std::int64_t w = source.width, h = source.height;
  const Placement place(instance, w, h);
  const std::int64_t gridWidth = window.width > 0 ? window.width : W;
  const std::int64_t gridHeight = window.height > 0 ? window.height : H;
  const std::vector<double> longitudes = ColumnLongitudes(gridWidth, window.left, W);
  const double inverseHeight = 1.0 / static_cast<double>(gridHeight);
  Projection::MapProject* projection = instance.projection;
  const auto* rowForward = dynamic_cast<const Projection::RowForward*>(projection);
  const Rows src(source), dst(destination);
  bool cancelled = false;

#pragma omp parallel for schedule(static) reduction(|| : cancelled)
  for (std::int64_t r = 0; r < H; ++r) {
    if (cancelled) continue;
    std::uint32_t* out = dst.MutableRow(r);
    const double lat = RowLatitude(window.top + r, inverseHeight);
    Projection::RowForward::Row prepared{};
    if (rowForward) rowForward->PrepareRow(lat, &prepared);
    for (std::int64_t c = 0; c < W; ++c) {
      double x, y;
      const int status = !projection  ? -1
                         : rowForward ? rowForward->ForwardInRow(prepared, longitudes[c], &x, &y)
                                      : projection->Forward(lat, longitudes[c], &x, &y);
      if (status != 0) {
        out[c] = kNoSourceStored;
        continue;
      }
      const double px = place.X(x), py = place.Y(y);
      // Truncation toward zero puts points within one pixel left of or above the picture on its
      // first column or row; they take that column or row (fraction 0), just as points within one
      // pixel right of or below the last sample take the last one through the clamped neighbour.
      if (!(px > -1.0 && px < w && py > -1.0 && py < h)) {
        out[c] = kNoSourceStored;
        continue;
      }
      const std::int64_t ix = static_cast<std::int64_t>(px), iy = static_cast<std::int64_t>(py);
      const std::int64_t ix1 = ix + 1 < w ? ix + 1 : w - 1, iy1 = iy + 1 < h ? iy + 1 : h - 1;
      const double fx = px - ix > 0 ? px - ix : 0.0, fy = py - iy > 0 ? py - iy : 0.0;
      const std::uint32_t* row0 = src.Row(iy);
      const std::uint32_t* row1 = src.Row(iy1);
      out[c] = BlendOpaque(row0[ix], row1[ix], row0[ix1], row1[ix1], fx, fy);
    }
    cancelled = RowDone(progress);
  }
  return cancelled ? -1 : 0;
}

void Resample(const VideoBuffer& source, VideoBuffer& destination) {
  if (!destination.HasStorage()) return;
  const std::int32_t W = destination.width, H = destination.height;
  if (!source.HasStorage()) {
    std::memset(destination.pixels, 0, destination.ByteCount());
    return;
  }
  const std::int32_t w = source.width, h = source.height;
  const float rx = static_cast<float>(w) / static_cast<float>(W);
  const float ry = static_cast<float>(h) / static_cast<float>(H);
  const Rows dst(destination);

#pragma omp parallel for schedule(static)
  for (std::int32_t r = 0; r < H; ++r) {
    std::uint32_t* out = dst.MutableRow(r);
    const float sy = static_cast<float>(r) * ry;
    for (std::int32_t c = 0; c < W; ++c) {
      const float sx = static_cast<float>(c) * rx;
      if (sx < 0 || sx >= w || sy < 0 || sy >= h) {
        out[c] = 0;
        continue;
      }
      const std::int32_t ix = static_cast<std::int32_t>(sx), iy = static_cast<std::int32_t>(sy);
      const float fx = sx - ix, fy = sy - iy;
      // Unclamped neighbours: past the last column or row GetPixel gives black.
      const std::uint32_t c00 = source.GetPixel(ix, iy), c01 = source.GetPixel(ix, iy + 1);
      const std::uint32_t c10 = source.GetPixel(ix + 1, iy), c11 = source.GetPixel(ix + 1, iy + 1);
      std::uint32_t word = 0;
      for (int shift = 0; shift < 24; shift += 8) {
        const float p00 = (c00 >> shift) & 0xFF, p01 = (c01 >> shift) & 0xFF;
        const float p10 = (c10 >> shift) & 0xFF, p11 = (c11 >> shift) & 0xFF;
        const int a = static_cast<int>(p00 * (1 - fx) + p10 * fx) & 0xFF;
        const int b = static_cast<int>(p01 * (1 - fx) + p11 * fx) & 0xFF;
        const int result = static_cast<int>(a * (1 - fy) + b * fy) & 0xFF;
        word |= static_cast<std::uint32_t>(result) << shift;
      }
      destination.SetPixel(c, r, word);
    }
  }
}

int RenderProjection(const VideoBuffer& world, const MapInstance& instance,
                     VideoBuffer& destination, RasterProgress* progress) {
  if (!world.HasStorage() || !destination.HasStorage()) return 0;
  const std::int64_t ww = world.width, wh = world.height;
  const std::int64_t W = destination.width, H = destination.height;
  const Placement place(instance, W, H);
  Projection::MapProject* projection = instance.projection;
  const Rows src(world), dst(destination);
  bool cancelled = false;

#pragma omp parallel for schedule(static) reduction(|| : cancelled)
  for (std::int64_t r = 0; r < H; ++r) {
    if (cancelled) continue;
    std::uint32_t* out = dst.MutableRow(r);
    for (std::int64_t c = 0; c < W; ++c) {
      out[c] = kNoSourceStored;
      if (!projection) continue;
      // The map point that Reproject would look for at this pixel.
      const double x = (c - place.halfWidth) / place.xFactor * instance.unitFactor;
      const double y = (r - place.halfHeight) / place.yFactor * instance.unitFactor;
      double lat, lon, fx, fy;
      if (projection->Inverse(x, y, &lat, &lon) != 0 || !std::isfinite(lat) ||
          !std::isfinite(lon)) {
        continue;
      }
      // Inverses that accept points off the map would paint pixels Reproject never reads, so the
      // point must map back onto this pixel. A longitude just past +-pi (an offset at the seam)
      // is tried both wrapped and held at the edge, as Reproject asks for it on one side only.
      const double candidates[] = {Projection::WrapAngle(lon), std::clamp(lon, -kPi, kPi)};
      bool found = false;
      for (const double candidate : candidates) {
        if (projection->Forward(lat, candidate, &fx, &fy) == 0 &&
            std::fabs(place.X(fx) - c) <= 0.5 && std::fabs(place.Y(fy) - r) <= 0.5) {
          lon = candidate;
          found = true;
          break;
        }
      }
      if (!found) continue;
      // Reproject's world grid: column (lon / pi + 1) W / 2, row (lat / (pi/2) + 1) H / 2.
      double wx = (lon / kPi + 1) * 0.5 * ww, wy = (lat / kHalfPi + 1) * 0.5 * wh;
      wy = wy < 0 ? 0 : (wy > wh - 1 ? wh - 1 : wy);
      const std::int64_t iy = static_cast<std::int64_t>(wy);
      const std::int64_t iy1 = iy + 1 < wh ? iy + 1 : wh - 1;
      std::int64_t ix = static_cast<std::int64_t>(std::floor(wx));
      const double tx = wx - ix, ty = wy - iy;
      ix = ((ix % ww) + ww) % ww;  // longitude wraps around
      const std::int64_t ix1 = (ix + 1) % ww;
      const std::uint32_t* row0 = src.Row(iy);
      const std::uint32_t* row1 = src.Row(iy1);
      std::uint32_t word = 0xFF000000u;
      for (int shift = 0; shift < 24; shift += 8) {
        const double top =
            ((row0[ix] >> shift) & 0xFF) * (1 - tx) + ((row0[ix1] >> shift) & 0xFF) * tx;
        const double bottom =
            ((row1[ix] >> shift) & 0xFF) * (1 - tx) + ((row1[ix1] >> shift) & 0xFF) * tx;
        word |= static_cast<std::uint32_t>(top * (1 - ty) + bottom * ty + 0.5) << shift;
      }
      out[c] = word;
    }
    cancelled = RowDone(progress);
  }
  if (cancelled) return -1;

    // The rim: Reproject blends up to one pixel past the edge of the map, so the transparent pixels
    // next to the map take the mean colour of their map neighbours instead of magenta.
#pragma omp parallel for schedule(static)
  for (std::int64_t r = 0; r < H; ++r) {
    std::uint32_t* out = dst.MutableRow(r);
    for (std::int64_t c = 0; c < W; ++c) {
      if (out[c] >> 24) continue;
      std::uint32_t sum[3] = {0, 0, 0}, count = 0;
      for (std::int64_t y = std::max<std::int64_t>(r - 1, 0); y <= std::min(r + 1, H - 1); ++y) {
        const std::uint32_t* row = dst.Row(y);
        for (std::int64_t x = std::max<std::int64_t>(c - 1, 0); x <= std::min(c + 1, W - 1); ++x) {
          if (row[x] >> 24 == 0) continue;
          for (int ch = 0; ch < 3; ++ch) sum[ch] += (row[x] >> (8 * ch)) & 0xFF;
          ++count;
        }
      }
      if (count == 0) continue;
      out[c] = (sum[0] + count / 2) / count | ((sum[1] + count / 2) / count) << 8 |
               ((sum[2] + count / 2) / count) << 16;
    }
  }
  return 0;
}
