// The reprojection loops: Reproject, Resample, RenderProjection.
//
// Every loop works backwards from the destination, one OpenMP team over the destination rows with
// static scheduling, and reads and writes the pixel blocks directly (the same layout GetPixel and
// SetPixel use) so that the inner loops allocate nothing and make no bounds-checking calls.
#include "engine/reproject.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <optional>
#include <vector>

#include "engine/source_sampler.h"
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

// Where the samples of the destination's grid lie on the globe: an equirectangular grid, or the
// picture of an output projection. Positions are grid pixels; fractions lie between samples.
class Grid {
 public:
  Grid(std::int64_t width, std::int64_t height, const MapInstance* output)
      : width_(width),
        height_(height),
        inverseWidth_(1.0 / static_cast<double>(width)),
        inverseHeight_(1.0 / static_cast<double>(height)),
        output_(output && output->projection ? output : nullptr) {
    if (output_) place_.emplace(*output_, width, height);
  }

  bool Equirectangular() const { return !output_; }
  std::int64_t Width() const { return width_; }
  std::int64_t Height() const { return height_; }
  double Latitude(std::int64_t row) const { return RowLatitude(row, inverseHeight_); }

  // False where an output projection has no point of the globe.
  bool Point(double column, double row, double* latitude, double* longitude) const {
    if (!output_) {
      // Beyond a pole, the pole; beyond the date line, the other side.
      *latitude = std::clamp((2.0 * row * inverseHeight_ - 1.0) * kHalfPi, -kHalfPi, kHalfPi);
      *longitude = Projection::WrapAngle((2.0 * column * inverseWidth_ - 1.0) * kPi);
      return true;
    }
    Projection::MapProject* projection = output_->projection;
    const double x = (column - place_->halfWidth) / place_->xFactor * output_->unitFactor;
    const double y = (row - place_->halfHeight) / place_->yFactor * output_->unitFactor;
    double lat, lon;
    if (projection->Inverse(x, y, &lat, &lon) != 0 || !std::isfinite(lat) || !std::isfinite(lon)) {
      return false;
    }
    // Inverses that accept points off the map must not give them a colour: the point must map
    // back onto this position. At the seam the longitude is tried on both sides.
    const double candidates[] = {Projection::WrapAngle(lon), std::clamp(lon, -kPi, kPi)};
    for (const double candidate : candidates) {
      double fx, fy;
      if (projection->Forward(lat, candidate, &fx, &fy) == 0 &&
          std::fabs(place_->X(fx) - column) <= 0.5 && std::fabs(place_->Y(fy) - row) <= 0.5) {
        *latitude = lat;
        *longitude = candidate;
        return true;
      }
    }
    return false;
  }

 private:
  std::int64_t width_, height_;
  double inverseWidth_, inverseHeight_;
  const MapInstance* output_;
  std::optional<Placement> place_;
};

// Where one row of grid samples falls on the source: columns -1 .. W of the destination, so that
// every pixel sees its neighbours. Beyond the grid's edges the grid goes on (around the date line,
// over the poles).
struct RowSamples {
  std::int64_t row = -2;  // grid row held; -2: none
  std::vector<double> px, py;
  std::vector<std::uint8_t> piece;  // 0: no source

  void Fill(std::int64_t gridRow, const Grid& grid, const SourceSampler& sampler,
            const std::vector<double>& longitudes, std::int64_t left) {
    row = gridRow;
    const std::size_t count = longitudes.size();
    px.resize(count);
    py.resize(count);
    piece.assign(count, 0);
    const double lat = std::clamp(grid.Latitude(gridRow), -kHalfPi, kHalfPi);
    Projection::RowForward::Row prepared{};
    const Projection::RowForward* rowPath = grid.Equirectangular() ? sampler.RowPath() : nullptr;
    if (rowPath) {
      rowPath->PrepareRow(lat, &prepared);
      sampler.LocateRow(prepared, lat, longitudes.data(), count, px.data(), py.data(),
                        piece.data());
      sampler.AwaitRows(py.data(), piece.data(), count);
      return;
    }
    for (std::size_t i = 0; i < count; ++i) {
      const std::int64_t column = left + static_cast<std::int64_t>(i) - 1;
      double latitude = lat, longitude = longitudes[i];
      if (!grid.Equirectangular() &&
          !grid.Point(static_cast<double>(column), static_cast<double>(gridRow), &latitude,
                      &longitude)) {
        continue;
      }
      sampler.Locate(latitude, longitude, rowPath ? &prepared : nullptr, &px[i], &py[i], &piece[i]);
    }
    sampler.AwaitRows(py.data(), piece.data(), count);
  }
};

// What one output pixel spans on the source: the steps to the next samples across and down, or
// from the previous ones where the next is on another piece or more than `limit` pixels away (a
// cut, or the date line of a wrapping source). A side with neither has no step.
Footprint FootprintAt(const RowSamples& above, const RowSamples& here, const RowSamples& below,
                      std::size_t i, double limit) {
  const std::uint8_t piece = here.piece[i];
  const double x = here.px[i], y = here.py[i], limit2 = limit * limit;
  const auto step = [&](const RowSamples& before, std::size_t j, const RowSamples& after,
                        std::size_t k, double* dx, double* dy) {
    if (after.piece[k] == piece) {
      const double sx = after.px[k] - x, sy = after.py[k] - y;
      if (sx * sx + sy * sy < limit2) {
        *dx = sx, *dy = sy;
        return;
      }
    }
    if (before.piece[j] == piece) {
      const double sx = x - before.px[j], sy = y - before.py[j];
      if (sx * sx + sy * sy < limit2) *dx = sx, *dy = sy;
    }
  };
  Footprint f;
  step(here, i - 1, here, i + 1, &f.acrossX, &f.acrossY);
  step(above, i, below, i, &f.downX, &f.downY);
  return f;
}

// FootprintAt where the next samples across and down lie on the piece of sample i within `limit`
// (nearly always), without looking further; false (nothing written) elsewhere.
inline bool NextStepsFootprint(const RowSamples& here, const RowSamples& below, std::size_t i,
                               double limit, Footprint* f) {
  const std::uint8_t piece = here.piece[i];
  if (here.piece[i + 1] != piece || below.piece[i] != piece) return false;
  const double x = here.px[i], y = here.py[i];
  const double ax = here.px[i + 1] - x, ay = here.py[i + 1] - y;
  const double dx = below.px[i] - x, dy = below.py[i] - y;
  const double limit2 = limit * limit;
  if (!(ax * ax + ay * ay < limit2 && dx * dx + dy * dy < limit2)) return false;
  *f = {ax, ay, dx, dy};
  return true;
}

// Marks the samples 1 .. count of `here` whose bilinear blend is their whole colour, for the whole
// row in one pass before the per-pixel work: the sample and its four neighbours lie on one piece
// (no outline), and with footprints the steps to the next samples are within `limit` and the
// pixel does not shrink, exactly as NextStepsFootprint and Footprint::Shrinks decide.
void MarkPlain(const RowSamples& above, const RowSamples& here, const RowSamples& below,
               std::size_t count, bool footprints, double limit, std::uint8_t* plain) {
  const double limit2 = limit * limit;
  const std::uint8_t* piece = here.piece.data();
  const double *x = here.px.data(), *y = here.py.data();
  const double *belowX = below.px.data(), *belowY = below.py.data();
  for (std::size_t i = 1; i <= count; ++i) {
    const std::uint8_t p = piece[i];
    bool ok = (p != 0) & (piece[i - 1] == p) & (piece[i + 1] == p) & (above.piece[i] == p) &
              (below.piece[i] == p);
    if (footprints) {
      const double ax = x[i + 1] - x[i], ay = y[i + 1] - y[i];
      const double dx = belowX[i] - x[i], dy = belowY[i] - y[i];
      ok &= (ax * ax + ay * ay < limit2) & (dx * dx + dy * dy < limit2) &
            !(std::fabs(ax * dy - ay * dx) > 1.5);
    }
    plain[i] = ok;
  }
}

// Whether two footprints differ by no more than rounding (a billionth of their size), so that
// one plan serves both: along a row of a cylindrical source they all do.
inline bool SameFootprint(const Footprint& a, const Footprint& b) {
  const double difference = std::fabs(a.acrossX - b.acrossX) + std::fabs(a.acrossY - b.acrossY) +
                            std::fabs(a.downX - b.downX) + std::fabs(a.downY - b.downY);
  const double size =
      std::fabs(a.acrossX) + std::fabs(a.acrossY) + std::fabs(a.downX) + std::fabs(a.downY);
  return difference <= 1e-9 * size;
}

// The footprint that reaches the deepest pyramid level over a sparse lattice of the whole grid
// (not just a window, so that every window of the grid builds the same pyramid).
Footprint DeepestFootprint(const Grid& grid, const SourceSampler& sampler) {
  constexpr int kProbes = 48;
  Footprint deepest;
  double deepestSize = 0;
  for (int j = 0; j < kProbes; ++j) {
    const double row = (j + 0.5) * grid.Height() / kProbes;
    for (int i = 0; i < kProbes; ++i) {
      const double column = (i + 0.5) * grid.Width() / kProbes;
      double at[3][2];
      std::uint8_t piece[3];
      bool ok = true;
      const double offsets[3][2] = {{0, 0}, {1, 0}, {0, 1}};
      for (int k = 0; k < 3 && ok; ++k) {
        double lat, lon;
        ok = grid.Point(column + offsets[k][0], row + offsets[k][1], &lat, &lon) &&
             sampler.Locate(lat, lon, nullptr, &at[k][0], &at[k][1], &piece[k]) &&
             piece[k] == piece[0];
      }
      if (!ok) continue;
      const Footprint f{at[1][0] - at[0][0], at[1][1] - at[0][1], at[2][0] - at[0][0],
                        at[2][1] - at[0][1]};
      // A step across the date line of a wrapping source is no footprint (see stepLimit).
      const double size = std::min(f.Across(), f.Down());
      if (f.Longer() < 0.25 * static_cast<double>(sampler.Width()) && size > deepestSize) {
        deepestSize = size;
        deepest = f;
      }
    }
  }
  return deepest;
}

// The latitudes of a grid row's 4 x 4 coverage sub-samples, prepared for the projection's row
// fast path once per row: on an equirectangular grid every pixel of the row shares them.
struct SubRows {
  std::int64_t row = std::numeric_limits<std::int64_t>::min();  // grid row held
  Projection::RowForward::Row prepared[4];
};

// The part of grid pixel (column, row) that lies on the map, from 4 x 4 sub-samples, and the mean
// colour of those on it. Returns how many of the 16 are.
int Coverage(const Grid& grid, const SourceSampler& sampler, std::int64_t column, std::int64_t row,
             SubRows* subRows, Rgb* mean) {
  int count = 0;
  Rgb sum;
  const Projection::RowForward* rowPath = grid.Equirectangular() ? sampler.RowPath() : nullptr;
  if (rowPath && subRows->row != row) {
    for (int j = 0; j < 4; ++j) {
      double lat, lon;
      grid.Point(column, row + (j + 0.5) / 4 - 0.5, &lat, &lon);
      rowPath->PrepareRow(lat, &subRows->prepared[j]);
    }
    subRows->row = row;
  }
  for (int j = 0; j < 4; ++j) {
    for (int i = 0; i < 4; ++i) {
      double lat, lon, px, py;
      std::uint8_t piece;
      Rgb colour;
      bool partial;
      if (grid.Point(column + (i + 0.5) / 4 - 0.5, row + (j + 0.5) / 4 - 0.5, &lat, &lon) &&
          sampler.Locate(lat, lon, rowPath ? &subRows->prepared[j] : nullptr, &px, &py, &piece) &&
          sampler.Sample(Kernel::kBilinear, px, py, piece, &colour, &partial)) {
        sum.r += colour.r;
        sum.g += colour.g;
        sum.b += colour.b;
        ++count;
      }
    }
  }
  if (count > 0) *mean = {sum.r / count, sum.g / count, sum.b / count};
  return count;
}

// Whether a neighbouring sample of sample i lies on the map while it does not, or the reverse.
inline bool NextToOutline(const RowSamples& above, const RowSamples& here, const RowSamples& below,
                          std::size_t i) {
  const bool on = here.piece[i] != 0;
  return (above.piece[i] != 0) != on || (below.piece[i] != 0) != on ||
         (here.piece[i - 1] != 0) != on || (here.piece[i + 1] != 0) != on;
}

Rgb Unpacked(std::uint32_t c) {
  return {static_cast<double>(c & 0xFF), static_cast<double>((c >> 8) & 0xFF),
          static_cast<double>((c >> 16) & 0xFF)};
}

// Rounds each channel to the nearest level.
inline std::uint32_t Packed(const Rgb& c, std::uint32_t alpha) {
  const auto channel = [](double v) {
    const int level = static_cast<int>(v + 0.5);  // v + 0.5 in (-1, 0) truncates to 0 as well
    return static_cast<std::uint32_t>(level < 0 ? 0 : level > 255 ? 255 : level);
  };
  return alpha << 24 | channel(c.r) | channel(c.g) << 8 | channel(c.b) << 16;
}

}  // namespace

int Reproject(const VideoBuffer& source, const MapInstance& instance, VideoBuffer& destination,
              RasterProgress* progress, const GridWindow& window, const SamplingOptions& sampling,
              const MapInstance* output) {
  if (!destination.HasStorage()) return 0;
  const std::int64_t W = destination.width, H = destination.height;
  if (!source.HasStorage()) {
    // No point has a source: the whole picture is the no-source colour.
    std::fill_n(reinterpret_cast<std::uint32_t*>(destination.pixels), W * H, kNoSourceStored);
    return 0;
  }
  SourceSampler sampler(source, instance);
  return Reproject(sampler, destination, progress, window, sampling, output);
}

bool LooksOpaque(const SourceSampler& sampler, const GridWindow& window, std::int64_t width,
                 std::int64_t height, const MapInstance* output) {
  const Grid grid(window.width, window.height, output);
  constexpr std::int64_t kSteps = 64;
  constexpr double kCorners[2] = {-0.375, 0.375};  // Coverage's outermost sub-samples
  for (std::int64_t j = 0; j <= kSteps; ++j) {
    const std::int64_t row = window.top + (height - 1) * j / kSteps;
    for (std::int64_t i = 0; i <= kSteps; ++i) {
      const std::int64_t column = window.left + (width - 1) * i / kSteps;
      for (const double dy : kCorners) {
        for (const double dx : kCorners) {
          double lat, lon, px, py;
          std::uint8_t piece;
          if (!grid.Point(static_cast<double>(column) + dx, static_cast<double>(row) + dy, &lat,
                          &lon) ||
              !sampler.Locate(lat, lon, nullptr, &px, &py, &piece) ||
              !sampler.Touches(px, py, piece)) {
            return false;
          }
        }
      }
    }
  }
  return true;
}

int PrepareSampler(SourceSampler& sampler, std::int64_t gridWidth, std::int64_t gridHeight,
                   const SamplingOptions& sampling, const MapInstance* output,
                   std::uint64_t reserved) {
  if (!sampling.antialias || sampling.kernel == Kernel::kNearest) return 0;
  return sampler.PreparePyramid(DeepestFootprint(Grid(gridWidth, gridHeight, output), sampler),
                                reserved);
}

int Reproject(SourceSampler& sampler, VideoBuffer& destination, RasterProgress* progress,
              const GridWindow& window, const SamplingOptions& sampling,
              const MapInstance* output) {
  if (!destination.HasStorage()) return 0;
  const std::int64_t W = destination.width, H = destination.height;
  const Grid grid(window.width > 0 ? window.width : W, window.height > 0 ? window.height : H,
                  output);
  const bool nearest = sampling.kernel == Kernel::kNearest;
  const bool antialias = sampling.antialias && !nearest;
  const bool coverage = sampling.coverage && !nearest;
  if (antialias && sampler.PreparePyramid(DeepestFootprint(grid, sampler)) != 0) return -2;
  // A step between neighbouring samples longer than this crosses the date line of a wrapping
  // source (or output pictures a few pixels wide, which need no footprint).
  const double stepLimit = 0.25 * static_cast<double>(sampler.Width());
  // Longitudes of columns -1 .. W, exactly in the form (2c / W - 1) pi.
  std::vector<double> longitudes = ColumnLongitudes(grid.Width(), window.left - 1, W + 2);
  for (double& lon : longitudes) lon = Projection::WrapAngle(lon);  // columns -1 and W of the grid
  const Rows dst(destination);
  bool cancelled = false;

#pragma omp parallel reduction(|| : cancelled)
  {
    // Rows r - 1, r and r + 1 in slots r mod 3: a thread's rows follow each other, so each row's
    // samples are found once.
    RowSamples slots[3];
    SubRows subRows;
    std::vector<std::uint8_t> plain(sampling.kernel == Kernel::kBilinear ? W + 2 : 0);
    const auto samples = [&](std::int64_t gridRow) -> const RowSamples& {
      RowSamples& slot = slots[((gridRow % 3) + 3) % 3];
      if (slot.row != gridRow) slot.Fill(gridRow, grid, sampler, longitudes, window.left);
      return slot;
    };
    // Runs of rows handed out as threads come free: rows differ in cost (an interrupted map's
    // cuts, a source still being read from the top), and each run refills only two rows more.
#pragma omp for schedule(dynamic, 32)
    for (std::int64_t r = 0; r < H; ++r) {
      if (cancelled) continue;
      const std::int64_t gridRow = window.top + r;
      const RowSamples& above = samples(gridRow - 1);
      const RowSamples& below = samples(gridRow + 1);
      const RowSamples& here = samples(gridRow);
      std::uint32_t* out = dst.MutableRow(r);
      // The plan of the last footprint averaged in this row (each row starts afresh, so that the
      // picture does not depend on which thread drew which rows).
      Footprint planned;
      FootprintPlan plan;
      bool hasPlan = false;
      if (!plain.empty()) {
        const auto count = static_cast<std::size_t>(W);
        MarkPlain(above, here, below, count, antialias, stepLimit, plain.data());
        sampler.InteriorBilinearRow(here.px.data() + 1, here.py.data() + 1, here.piece.data() + 1,
                                    count, plain.data() + 1, out);
      }
      for (std::int64_t c = 0; c < W; ++c) {
        const std::size_t i = static_cast<std::size_t>(c) + 1;
        if (!plain.empty() && plain[i]) continue;
        const std::uint8_t piece = here.piece[i];
        Rgb colour;
        bool found = false;
        if (piece != 0) {
          Footprint footprint;
          if (antialias && !NextStepsFootprint(here, below, i, stepLimit, &footprint)) {
            footprint = FootprintAt(above, here, below, i, stepLimit);
          }
          if (!footprint.Shrinks() && sampling.kernel == Kernel::kBilinear &&
              sampler.InteriorBilinear(here.px[i], here.py[i], piece, &out[c])) {
            // The common case, in integers: four map neighbours, one rounding.
            if (!coverage || !NextToOutline(above, here, below, i)) continue;
            found = true;
            colour = Unpacked(out[c]);
          } else if (footprint.Shrinks()) {
            if (!hasPlan || !SameFootprint(footprint, planned)) {
              SourceSampler::Replan(footprint, &plan);
              planned = footprint;
              hasPlan = true;
            }
            if (sampler.InteriorFootprint(here.px[i], here.py[i], plan, piece, &out[c])) {
              if (!coverage || !NextToOutline(above, here, below, i)) continue;
              found = true;
              colour = Unpacked(out[c]);
            } else {
              found = sampler.SampleFootprint(here.px[i], here.py[i], plan, piece, &colour);
            }
          } else {
            bool partial;
            found =
                sampler.Sample(sampling.kernel, here.px[i], here.py[i], piece, &colour, &partial);
          }
        }
        // At the outline (a neighbouring sample lies off the map while this one is on it, or the
        // reverse), the part of the pixel on the map becomes its alpha. Where the neighbouring
        // samples all lie on the map, so does the pixel between them, even when the source
        // pixels around its sample do not all (the edge of a whole-world map).
        const bool outline =
            coverage && ((piece != 0 && !found) || NextToOutline(above, here, below, i));
        if (!outline) {
          out[c] = found ? Packed(colour, 0xFF) : kNoSourceStored;
          continue;
        }
        Rgb mean;
        const int covered = Coverage(grid, sampler, window.left + c, gridRow, &subRows, &mean);
        if (found) {
          out[c] =
              Packed(colour, static_cast<std::uint32_t>((std::max(covered, 1) * 255 + 8) / 16));
        } else if (covered > 0) {
          out[c] = Packed(mean, static_cast<std::uint32_t>((covered * 255 + 8) / 16));
        } else {
          out[c] = kNoSourceStored;
        }
      }
      cancelled = RowDone(progress);
    }
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
  // next to the map take the mean colour of their map neighbours instead of magenta. A rim pixel
  // stays transparent, so the pass reads only what the first pass made; the even rows and then
  // the odd ones, so that no row is written while another thread reads it.
  for (std::int64_t parity = 0; parity < 2; ++parity) {
#pragma omp parallel for schedule(static)
    for (std::int64_t r = parity; r < H; r += 2) {
      std::uint32_t* out = dst.MutableRow(r);
      for (std::int64_t c = 0; c < W; ++c) {
        if (out[c] >> 24) continue;
        std::uint32_t sum[3] = {0, 0, 0}, count = 0;
        for (std::int64_t y = std::max<std::int64_t>(r - 1, 0); y <= std::min(r + 1, H - 1); ++y) {
          const std::uint32_t* row = dst.Row(y);
          for (std::int64_t x = std::max<std::int64_t>(c - 1, 0); x <= std::min(c + 1, W - 1);
               ++x) {
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
  }
  return 0;
}
