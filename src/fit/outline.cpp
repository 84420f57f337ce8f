// The map's outline in a picture, and the fit of a projection's own outline to it.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <nlopt.hpp>
#include <unordered_map>

#include "fit/fit_model.h"

namespace Fit {

namespace {

constexpr std::uint32_t kAlphaHalf = 128;
// The background is the colour of at least this share of the picture's rim.
constexpr double kBackgroundShare = 0.25;
// Colour distance (largest channel difference) within which a pixel is background: at least the
// first, more where the rim is noisy (JPEG), at most the second.
constexpr int kMinTolerance = 12, kMaxTolerance = 40;
// Rim pixels this close to the background colour tell its noise; farther ones are the map's.
constexpr int kNoiseRange = 24;
// A side of the picture cuts the map when the map covers this share of it.
constexpr double kCutShare = 0.1;
// Lines up to 2 x this wide are not part of the map.
constexpr int kLineRadius = 2;
// A background runs along a side when it makes up this share of it.
constexpr double kSideShare = 0.5;
// A second background layer: its colour makes up this share of the rim of a region that fills
// this share of its box, is black or white (below the first or above the second on every
// channel), and leaves the map at least the third share of the region.
constexpr double kSecondShare = 0.4, kRectangleShare = 0.95, kKeptShare = 0.45;
constexpr int kBlack = 48, kWhite = 215;
// A map fills at least this share of its box, and its square perimeter is at most this many times
// its area.
constexpr double kCompactShare = 0.5, kRagged = 100;
// Foreground outside a map is at most this share of the map's area (titles, legends, insets).
constexpr double kStrayShare = 0.4;
// A map covers at least this share of its picture.
constexpr double kMinMapShare = 0.02;
// Pixel budget of one mismatch count, and the width of the coarsest level.
constexpr std::size_t kSampleBudget = 8000;
constexpr int kCoarsestWidth = 128;
constexpr int kLevelStep = 32;
constexpr int kBand = 4;  // level pixels each side of the outline that finer levels compare
// The shape's table reaches this share of its box beyond it (and the band): the search moves it.
constexpr double kShapeMargin = 0.05;
// The projection's shape is searched for its extent on this many samples per side.
constexpr int kShapeSamples = 256;
constexpr int kShapeGrowths = 3;
constexpr int kBisections = 30;  // a side of the shape's box to a billionth of a sample
// The search stops once its simplex is this share of its first steps (two level pixels): a
// twentieth of a pixel at the finest level, below what a count of pixels can tell.
constexpr double kStepTolerance = 0.025;

// Row y (from the top) of a picture: four bytes a pixel, the buffer's rows running bottom-up.
const std::uint8_t* RowOf(const VideoBuffer& b, int y) {
  return b.pixels + static_cast<std::size_t>(b.height - 1 - y) * b.width * 4;
}

// The colour word of pixel (x, y) as VideoBuffer::GetPixel gives it, read in place.
std::uint32_t Pixel(const VideoBuffer& b, int x, int y) {
  const std::uint8_t* p = RowOf(b, y) + static_cast<std::size_t>(x) * 4;
  return p[2] | p[1] << 8 | p[0] << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

int Channel(std::uint32_t word, int shift) { return static_cast<int>((word >> shift) & 0xFF); }

int Distance(std::uint32_t a, std::uint32_t b) {
  int d = 0;
  for (int shift = 0; shift < 24; shift += 8) {
    d = std::max(d, std::abs(Channel(a, shift) - Channel(b, shift)));
  }
  return d;
}

// Clears out[x] where pixel x of row y lies within `tolerance` of `colour` (as Distance), reading
// the row's bytes in a loop the compiler vectorises.
void Away(const VideoBuffer& picture, int y, std::uint32_t colour, int tolerance,
          std::uint8_t* out) {
  const std::uint8_t* p = RowOf(picture, y);
  const int c0 = Channel(colour, 16), c1 = Channel(colour, 8), c2 = Channel(colour, 0);
  for (int x = 0; x < picture.width; ++x, p += 4) {
    const int d = std::max({std::abs(p[0] - c0), std::abs(p[1] - c1), std::abs(p[2] - c2)});
    out[x] = out[x] & (d > tolerance);
  }
}

// Runs of equal cells along the rows of a grid: the row, the first column and the one past the
// last.
struct Run {
  int y, x0, x1;
};

// Calls `take(x0, x1)` for each run of cells equal to `value` in a row of `width` cells, each 0
// or 1 (memchr skips the long stretches between runs).
template <typename Take>
void RowRuns(const std::uint8_t* row, int width, std::uint8_t value, Take take) {
  const std::uint8_t* end = row + width;
  for (const std::uint8_t* at = row; at < end;) {
    const auto* first = static_cast<const std::uint8_t*>(std::memchr(at, value, end - at));
    if (!first) return;
    const auto* last = static_cast<const std::uint8_t*>(std::memchr(first, value ^ 1, end - first));
    if (!last) last = end;
    take(static_cast<int>(first - row), static_cast<int>(last - row));
    at = last;
  }
}

// The 4-connected pieces of the cells equal to `value` (0 or 1) as runs; `piece[k]` is the same
// for every run of one piece (the index of its first run). Run by run rather than cell by cell: a
// map's rows hold a few runs each.
void Pieces(const std::vector<std::uint8_t>& cells, int width, int height, std::uint8_t value,
            std::vector<Run>* runs, std::vector<int>* piece) {
  runs->clear();
  std::vector<int> rowStart(height + 1);
  for (int y = 0; y < height; ++y) {
    rowStart[y] = static_cast<int>(runs->size());
    const std::uint8_t* row = &cells[static_cast<std::size_t>(y) * width];
    RowRuns(row, width, value, [&](int x0, int x1) { runs->push_back({y, x0, x1}); });
  }
  rowStart[height] = static_cast<int>(runs->size());
  std::vector<int>& parent = *piece;
  parent.resize(runs->size());
  for (std::size_t k = 0; k < parent.size(); ++k) parent[k] = static_cast<int>(k);
  const auto find = [&](int k) {
    while (parent[k] != k) k = parent[k] = parent[parent[k]];
    return k;
  };
  for (int y = 1; y < height; ++y) {
    for (int a = rowStart[y - 1], b = rowStart[y]; a < rowStart[y] && b < rowStart[y + 1];) {
      const Run &above = (*runs)[a], &below = (*runs)[b];
      if (above.x0 < below.x1 && below.x0 < above.x1) {
        const int pa = find(a), pb = find(b);
        parent[std::max(pa, pb)] = std::min(pa, pb);
      }
      ++(above.x1 < below.x1 ? a : b);
    }
  }
  for (std::size_t k = 0; k < parent.size(); ++k) parent[k] = find(static_cast<int>(k));
}

// The (2 radius + 1)-square minimum (erode) or maximum (dilate) around each cell of a 0/1 grid,
// one axis at a time. Beyond the picture, erosion sees map (a map may run on past the edge) and
// dilation sees none.
std::vector<std::uint8_t> Morph(const std::vector<std::uint8_t>& cells, int width, int height,
                                int radius, bool dilate) {
  const int span = 2 * radius + 1;
  const std::uint8_t outside = dilate ? 0 : 1;
  const auto keep = [&](int count) -> std::uint8_t { return dilate ? count > 0 : count == span; };
  std::vector<std::uint8_t> across(cells.size(), 0), out(cells.size());
  // Along the rows each run grows or shrinks by the radius, but for erosion not at the edges.
  for (int y = 0; y < height; ++y) {
    std::uint8_t* row = &across[static_cast<std::size_t>(y) * width];
    RowRuns(&cells[static_cast<std::size_t>(y) * width], width, 1, [&](int x0, int x1) {
      const int from = dilate ? std::max(0, x0 - radius) : x0 == 0 ? 0 : x0 + radius;
      const int to = dilate ? std::min(width, x1 + radius) : x1 == width ? width : x1 - radius;
      if (from < to) std::fill(row + from, row + to, 1);
    });
  }
  // Down the columns, all at once, so that rows are read in order.
  std::vector<int> counts(width, 0);
  const auto add = [&](int y, int sign) {
    if (y < 0 || y >= height) {
      for (int& c : counts) c += sign * outside;
      return;
    }
    const std::uint8_t* row = &across[static_cast<std::size_t>(y) * width];
    for (int x = 0; x < width; ++x) counts[x] += sign * row[x];
  };
  for (int y = -radius; y <= radius; ++y) add(y, 1);
  for (int y = 0; y < height; ++y) {
    std::uint8_t* row = &out[static_cast<std::size_t>(y) * width];
    for (int x = 0; x < width; ++x) row[x] = keep(counts[x]);
    add(y + radius + 1, 1), add(y - radius, -1);
  }
  return out;
}

// A background colour and how far from it its pixels stray (JPEG noise).
struct Background {
  std::uint32_t colour = 0;
  int tolerance = kMinTolerance;
};

// The colour of at least `share` of `pixels` (on 5 bits a channel), its mean and spread; false
// when no colour dominates.
bool DominantColour(const std::vector<std::uint32_t>& pixels, double share, Background* found) {
  if (pixels.empty()) return false;
  std::unordered_map<std::uint32_t, int> bins;
  for (std::uint32_t c : pixels) ++bins[(c >> 3) & 0x1F1F1F];
  const auto mode = std::max_element(bins.begin(), bins.end(),
                                     [](auto& a, auto& b) { return a.second < b.second; });
  if (mode->second < share * pixels.size()) return false;
  double sum[3] = {0, 0, 0};
  int n = 0;
  for (std::uint32_t c : pixels) {
    if (((c >> 3) & 0x1F1F1F) != mode->first) continue;
    for (int k = 0; k < 3; ++k) sum[k] += Channel(c, 8 * k);
    ++n;
  }
  std::uint32_t colour = 0;
  for (int k = 0; k < 3; ++k) colour |= static_cast<std::uint32_t>(sum[k] / n + 0.5) << 8 * k;
  double spread = 0;
  int near = 0;
  for (std::uint32_t c : pixels) {
    const int d = Distance(c, colour);
    if (d <= kNoiseRange) spread += d * d, ++near;
  }
  found->colour = colour;
  found->tolerance = std::clamp(static_cast<int>(3 * std::sqrt(spread / near) + kMinTolerance),
                                kMinTolerance, kMaxTolerance);
  return true;
}

// The pixels of a band `depth` deep inside each side of a box (left, top, right, bottom,
// inclusive): left, right, top, bottom.
using Sides = std::array<std::vector<std::uint32_t>, 4>;
Sides SidesOf(const VideoBuffer& picture, const std::array<int, 4>& box, int depth) {
  Sides sides;
  for (int y = box[1]; y <= box[3]; ++y) {
    for (int d = 0; d < depth; ++d) {
      sides[0].push_back(Pixel(picture, box[0] + d, y));
      sides[1].push_back(Pixel(picture, box[2] - d, y));
    }
  }
  for (int x = box[0]; x <= box[2]; ++x) {
    for (int d = 0; d < depth; ++d) {
      sides[2].push_back(Pixel(picture, x, box[1] + d));
      sides[3].push_back(Pixel(picture, x, box[3] - d));
    }
  }
  return sides;
}

// The colour of at least `share` of the sides' pixels, unless it runs along the top and bottom
// and neither of the others: that is the map's own (the polar ice of a cylinder filling the box).
// Along the left and right only, it is the background beside a map whose flat poles touch the
// picture's top and bottom (Wagner IV, Eckert IV).
bool SideBackground(const Sides& sides, double share, Background* found) {
  std::vector<std::uint32_t> rim;
  for (const auto& side : sides) rim.insert(rim.end(), side.begin(), side.end());
  Background background;
  if (!DominantColour(rim, share, &background)) return false;
  bool along[4];
  for (int k = 0; k < 4; ++k) {
    const auto near = std::count_if(sides[k].begin(), sides[k].end(), [&](std::uint32_t c) {
      return Distance(c, background.colour) <= background.tolerance;
    });
    along[k] = near >= kSideShare * sides[k].size();
  }
  if (along[2] && along[3] && !along[0] && !along[1]) return false;
  *found = background;
  return true;
}

// 1 for pixels that are not background; false when there is no background (the map then fills
// the picture).
bool Foreground(const VideoBuffer& picture, std::vector<std::uint8_t>* fg, Background* found) {
  const int w = picture.width, h = picture.height;
  fg->assign(static_cast<std::size_t>(w) * h, 1);
  long long transparent = 0;
  for (int y = 0; y < h; ++y) {
    const std::uint8_t* p = RowOf(picture, y);
    std::uint8_t* out = &(*fg)[static_cast<std::size_t>(y) * w];
    for (int x = 0; x < w; ++x) {
      const bool clear = p[4 * x + 3] < kAlphaHalf;
      transparent += clear;
      out[x] = !clear;
    }
  }
  if (transparent > 0 && transparent < static_cast<long long>(fg->size())) {
    found->tolerance = -1;  // no colour: any may be a second layer
    return true;
  }

  const Sides sides = SidesOf(picture, {0, 0, w - 1, h - 1}, std::max(2, std::min(w, h) / 100));
  Background background;
  if (!SideBackground(sides, kBackgroundShare, &background)) return false;
  if (transparent > 0) std::fill(fg->begin(), fg->end(), 1);  // all clear: colours decide
  for (int y = 0; y < h; ++y) {
    Away(picture, y, background.colour, background.tolerance,
         &(*fg)[static_cast<std::size_t>(y) * w]);
  }
  *found = background;
  return true;
}

// The map in a foreground: its largest piece once thin lines (a frame the map touches, say) are
// opened away, with the fine edge the opening took, and everything the outside cannot reach
// without crossing it. The piece's area; 0 when it is too small to be a map.
long long MapPiece(const std::vector<std::uint8_t>& fg, int w, int h,
                   std::vector<std::uint8_t>* inside) {
  const std::vector<std::uint8_t> opened =
      Morph(Morph(fg, w, h, kLineRadius, false), w, h, kLineRadius, true);
  std::vector<Run> runs;
  std::vector<int> piece;
  Pieces(opened, w, h, 1, &runs, &piece);
  std::vector<long long> size(runs.size(), 0);
  for (std::size_t k = 0; k < runs.size(); ++k) size[piece[k]] += runs[k].x1 - runs[k].x0;
  const auto largest = std::max_element(size.begin(), size.end());
  if (runs.empty() || *largest < kMinMapShare * fg.size()) return 0;
  const int best = static_cast<int>(largest - size.begin());
  std::vector<std::uint8_t> region(fg.size(), 0);
  const auto fill = [w](std::vector<std::uint8_t>* cells, const Run& run, std::uint8_t value) {
    std::uint8_t* row = &(*cells)[static_cast<std::size_t>(run.y) * w];
    std::fill(row + run.x0, row + run.x1, value);
  };
  for (std::size_t k = 0; k < runs.size(); ++k) {
    if (piece[k] == best) fill(&region, runs[k], 1);
  }
  region = Morph(region, w, h, kLineRadius + 1, true);
  for (std::size_t i = 0; i < fg.size(); ++i) region[i] &= fg[i];
  // Inside is what the background reaching the picture's rim leaves.
  Pieces(region, w, h, 0, &runs, &piece);
  std::vector<std::uint8_t> rim(runs.size(), 0);
  for (std::size_t k = 0; k < runs.size(); ++k) {
    const Run& run = runs[k];
    if (run.y == 0 || run.y == h - 1 || run.x0 == 0 || run.x1 == w) rim[piece[k]] = 1;
  }
  inside->assign(fg.size(), 1);
  long long area = static_cast<long long>(fg.size());
  for (std::size_t k = 0; k < runs.size(); ++k) {
    if (rim[piece[k]]) fill(inside, runs[k], 0), area -= runs[k].x1 - runs[k].x0;
  }
  return area;
}

// The box of the map pixels: left, top, right, bottom, inclusive.
std::array<int, 4> Box(const std::vector<std::uint8_t>& inside, int w, int h) {
  std::array<int, 4> box = {w, h, -1, -1};
  for (int y = 0; y < h; ++y) {
    const std::uint8_t* row = &inside[static_cast<std::size_t>(y) * w];
    const auto* first = static_cast<const std::uint8_t*>(std::memchr(row, 1, w));
    if (!first) continue;
    const auto* last = static_cast<const std::uint8_t*>(memrchr(row, 1, w));
    box[0] = std::min(box[0], static_cast<int>(first - row));
    box[2] = std::max(box[2], static_cast<int>(last - row));
    box[1] = std::min(box[1], y), box[3] = y;
  }
  return box;
}

long long BoxArea(const std::array<int, 4>& box) {
  return static_cast<long long>(box[2] - box[0] + 1) * (box[3] - box[1] + 1);
}

// Whether what a background left is land rather than a map: a small share of the picture that
// fills little of its own box (a map's outline, an oval or a cone's fan, fills half of it or more),
// has a ragged edge (coasts: a map's outline has a square perimeter of some 12 to 30 times its
// area, counted in pixels) or leaves much foreground outside it (the other continents; a title or
// a legend beside a map is small). A dark sea along the picture's sides looks like a black
// background otherwise.
bool Scattered(const Outline& outline, const std::vector<std::uint8_t>& fg) {
  if (outline.area >= kKeptShare * outline.inside.size()) return false;
  const int w = outline.width, h = outline.height;
  const std::array<int, 4> box = Box(outline.inside, w, h);
  if (outline.area < kCompactShare * BoxArea(box)) return true;
  long long stray = 0;
  for (std::size_t i = 0; i < fg.size(); ++i) stray += fg[i] && !outline.inside[i];
  if (stray > kStrayShare * outline.area) return true;
  long long perimeter = 0;
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const std::size_t i = static_cast<std::size_t>(y) * w + x;
      if (!outline.inside[i]) continue;
      perimeter += (x > 0 && !outline.inside[i - 1]) || (x + 1 < w && !outline.inside[i + 1]) ||
                   (y > 0 && !outline.inside[i - w]) || (y + 1 < h && !outline.inside[i + w]);
    }
  }
  return static_cast<double>(perimeter) * perimeter > kRagged * outline.area;
}

// A second layer of background inside a rectangle the first left: the black or white outside of
// a world map drawn on a page with a margin. Taken only in a colour other than the first layer's,
// and only while the map keeps a fair share of the rectangle (not a flat sea of that colour).
void SecondLayer(const VideoBuffer& picture, const Background& first,
                 std::vector<std::uint8_t>* inside, long long* area) {
  const int w = picture.width, h = picture.height;
  const std::array<int, 4> box = Box(*inside, w, h);
  if (*area < kRectangleShare * BoxArea(box)) return;
  Background second;
  if (!SideBackground(SidesOf(picture, box, 1), kSecondShare, &second)) return;
  const std::uint32_t c = second.colour;
  const int most = std::max({Channel(c, 0), Channel(c, 8), Channel(c, 16)});
  const int least = std::min({Channel(c, 0), Channel(c, 8), Channel(c, 16)});
  const bool blackOrWhite = most < kBlack || least > kWhite;
  if (!blackOrWhite ||
      (first.tolerance >= 0 && Distance(c, first.colour) <= first.tolerance + second.tolerance)) {
    return;
  }
  std::vector<std::uint8_t> fg(*inside);
  for (int y = 0; y < h; ++y) {
    Away(picture, y, c, second.tolerance, &fg[static_cast<std::size_t>(y) * w]);
  }
  std::vector<std::uint8_t> map;
  const long long kept = MapPiece(fg, w, h, &map);
  if (kept >= kKeptShare * *area) inside->swap(map), *area = kept;
}

// The outline at one resolution: `factor` picture pixels a side per level pixel.
struct Level {
  int factor = 1, width = 0, height = 0;
  std::vector<std::uint8_t> inside;
  std::vector<int> samples;  // level pixels the mismatch count compares
};

Level MakeLevel(const Outline& outline, int factor) {
  Level level;
  level.factor = factor;
  level.width = outline.width / factor, level.height = outline.height / factor;
  if (factor == 1) {
    level.inside = outline.inside;
    return level;
  }
  level.inside.assign(static_cast<std::size_t>(level.width) * level.height, 0);
  const int half = factor * factor / 2;
  for (int y = 0; y < level.height; ++y) {
    for (int x = 0; x < level.width; ++x) {
      int count = 0;
      for (int v = 0; v < factor; ++v) {
        const std::uint8_t* row =
            &outline.inside[static_cast<std::size_t>(y * factor + v) * outline.width + x * factor];
        for (int u = 0; u < factor; ++u) count += row[u];
      }
      level.inside[static_cast<std::size_t>(y) * level.width + x] = count > half;
    }
  }
  return level;
}

// The level pixels within kBand of a change of the outline (all of them with `all`), thinned
// evenly to the budget.
void ChooseSamples(Level* level, bool all) {
  const int w = level->width, h = level->height;
  // The chosen pixels of each row as ascending, separate spans [x0, x1).
  std::vector<std::vector<std::pair<int, int>>> band(h);
  if (all) {
    for (auto& spans : band) spans.push_back({0, w});
  } else {
    std::vector<std::uint8_t> change(w);
    for (int y = 0; y < h; ++y) {
      const std::uint8_t* row = &level->inside[static_cast<std::size_t>(y) * w];
      const std::uint8_t* below = y + 1 < h ? row + w : row;
      for (int x = 0; x + 1 < w; ++x) change[x] = (row[x] ^ row[x + 1]) | (row[x] ^ below[x]);
      change[w - 1] = row[w - 1] ^ below[w - 1];
      RowRuns(change.data(), w, 1, [&](int x0, int x1) {
        for (int v = std::max(0, y - kBand); v <= std::min(h - 1, y + kBand); ++v) {
          band[v].push_back({std::max(0, x0 - kBand), std::min(w, x1 + kBand)});
        }
      });
    }
    for (auto& spans : band) {
      std::sort(spans.begin(), spans.end());
      std::size_t kept = 0;
      for (const auto& span : spans) {
        if (kept > 0 && span.first <= spans[kept - 1].second) {
          spans[kept - 1].second = std::max(spans[kept - 1].second, span.second);
        } else {
          spans[kept++] = span;
        }
      }
      spans.resize(kept);
    }
  }
  std::size_t count = 0;
  for (const auto& spans : band) {
    for (const auto& span : spans) count += span.second - span.first;
  }
  const std::size_t stride = count / kSampleBudget + 1;
  level->samples.clear();
  std::size_t seen = 0;
  for (int y = 0; y < h; ++y) {
    for (const auto& [x0, x1] : band[y]) {
      for (std::size_t x = x0 + (stride - seen % stride) % stride; x < static_cast<std::size_t>(x1);
           x += stride) {
        level->samples.push_back(y * w + static_cast<int>(x));
      }
      seen += x1 - x0;
    }
  }
}

// What one outline fit works on.
struct OutlineModel {
  MapInstance* instance;
  int width, height;
  const Level* level;
  const ShapeRows* shape;  // at the level's pixels
  std::vector<int> free;   // 0 offset x, 1 offset y, 2 scale, 3 aspect
  const std::atomic<bool>* cancel;

  void Set(const std::vector<double>& v) const {
    double* fields[] = {&instance->offsetX, &instance->offsetY, &instance->scale,
                        &instance->aspect};
    for (std::size_t i = 0; i < free.size(); ++i) *fields[free[i]] = v[i];
  }

  // Whether the projection covers the centre of level pixel (x, y) under `l`.
  bool Covers(const Linear& l, int x, int y) const {
    const double f = level->factor, centre = (f - 1) * 0.5;
    return shape->Inside((x * f + centre - l.b) / l.a, (y * f + centre - l.d) / l.c);
  }

  // Level pixels where the outlines disagree, among the samples.
  double Mismatch() const {
    const Linear l = LinearOf(*instance, width, height);
    if (!(l.a > 0 && l.c > 0)) return 1e30;
    // Serial: a parallel region per evaluation costs more than the few thousand samples.
    long long wrong = 0;
    const std::vector<int>& s = level->samples;
    for (std::size_t i = 0; i < s.size(); ++i) {
      const int x = s[i] % level->width, y = s[i] / level->width;
      wrong += Covers(l, x, y) != (level->inside[s[i]] != 0);
    }
    return static_cast<double>(wrong);
  }

  // Intersection over union over every pixel of the level.
  double Iou() const {
    const Linear l = LinearOf(*instance, width, height);
    long long both = 0, either = 0;
    for (int y = 0; y < level->height; ++y) {
      for (int x = 0; x < level->width; ++x) {
        const bool m = level->inside[static_cast<std::size_t>(y) * level->width + x] != 0;
        const bool o = Covers(l, x, y);
        both += m && o, either += m || o;
      }
    }
    return either ? static_cast<double>(both) / either : 0;
  }
};

// The shape's table for a level at placement `l`: lines a level pixel apart across the shape's box
// and a margin for the band the level compares; points within half a level pixel of the shape
// count as on it.
ShapeRows LevelShape(Projection::MapProject* p, const std::array<double, 4>& box, const Linear& l,
                     int factor) {
  const double ux = factor / l.a, uy = factor / l.c;  // map units a level pixel
  const double mx = (kBand + 2) * ux + kShapeMargin * (box[2] - box[0]);
  const double my = (kBand + 2) * uy + kShapeMargin * (box[3] - box[1]);
  return ShapeRows(p, {box[0] - mx, box[1] - my, box[2] + mx, box[3] + my}, uy,
                   0.5 * factor / std::max(l.a, l.c));
}

double Objective(const std::vector<double>& v, std::vector<double>&, void* data) {
  const OutlineModel& model = *static_cast<OutlineModel*>(data);
  if (model.cancel && *model.cancel) throw nlopt::forced_stop();
  model.Set(v);
  return model.Mismatch();
}

// The box of the projection's shape in map units (offsets not included): left, top, right,
// bottom with top < bottom as rows go. The search starts from GetBounds and grows while the shape
// reaches the searched box's edge (some classes give bounds in other units), up to a limit, so
// that a shape without end (Mercator, gnomonic) keeps a finite box. Each side is then bisected
// between its outermost sample and the next one out, so that the box is exact where a side is
// straight (a cylinder's top and bottom) and the first placement then needs no search. False when
// no sample is on the map.
bool ShapeBox(Projection::MapProject* p, std::array<double, 4>* box) {
  double left, top, right, bottom;
  p->GetBounds(&left, &top, &right, &bottom);
  double cx = 0.5 * (left + right), cy = 0.5 * (top + bottom);
  double hx = 0.55 * (right - left), hy = 0.55 * (top - bottom);
  for (int grow = 0; grow < kShapeGrowths; ++grow, hx *= 2, hy *= 2) {
    const double dx = 2 * hx / kShapeSamples, dy = 2 * hy / kShapeSamples;
    const double tolerance = 1e-3 * std::min(dx, dy);
    // The outermost sample of each side: x, y of the left, top, right and bottom ones.
    std::array<std::array<double, 2>, 4> outermost;
    double x0 = INFINITY, x1 = -INFINITY, y0 = INFINITY, y1 = -INFINITY;
    bool atEdge = false;
    for (int j = 0; j <= kShapeSamples; ++j) {
      for (int i = 0; i <= kShapeSamples; ++i) {
        const double x = cx - hx + i * dx, y = cy - hy + j * dy;
        if (!ShapeInside(p, x, y, tolerance)) continue;
        if (x < x0) x0 = x, outermost[0] = {x, y};
        if (y < y0) y0 = y, outermost[1] = {x, y};
        if (x > x1) x1 = x, outermost[2] = {x, y};
        if (y > y1) y1 = y, outermost[3] = {x, y};
        atEdge = atEdge || i == 0 || j == 0 || i == kShapeSamples || j == kShapeSamples;
      }
    }
    if (!(x0 < x1 && y0 < y1)) continue;
    // The samples' extent falls short of the shape's by up to a sample each side.
    *box = {x0 - 0.5 * dx, y0 - 0.5 * dy, x1 + 0.5 * dx, y1 + 0.5 * dy};
    if (atEdge) continue;
    const double directions[4][2] = {{-dx, 0}, {0, -dy}, {dx, 0}, {0, dy}};
    for (int side = 0; side < 4; ++side) {
      double in = 0, out = 1;  // fractions of a step outwards
      const auto at = [&](double t, int axis) {
        return outermost[side][axis] + t * directions[side][axis];
      };
      for (int step = 0; step < kBisections; ++step) {
        const double t = 0.5 * (in + out);
        (ShapeInside(p, at(t, 0), at(t, 1), tolerance) ? in : out) = t;
      }
      (*box)[side] = side % 2 == 0 ? at(in, 0) : at(in, 1);
    }
    return true;
  }
  return std::isfinite((*box)[0]);
}

// A first placement: the shape's box on the outline's box. A side the picture's edge cuts (the
// map runs along it, not merely touching it) is unknown: that axis then takes the other's pixels
// per map unit (square pixels). A map cut on all sides is taken to fill the picture.
Linear BoxStart(const Outline& outline, const std::array<double, 4>& shape, const Linear& current) {
  const int w = outline.width, h = outline.height;
  int left = w, right = -1, top = h, bottom = -1;
  long long runs[4] = {0, 0, 0, 0};  // map pixels on the left, right, top and bottom edges
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      if (!outline.inside[static_cast<std::size_t>(y) * w + x]) continue;
      left = std::min(left, x), right = std::max(right, x);
      top = std::min(top, y), bottom = std::max(bottom, y);
      runs[0] += x == 0, runs[1] += x == w - 1, runs[2] += y == 0, runs[3] += y == h - 1;
    }
  }
  bool cutLeft = runs[0] > kCutShare * h, cutRight = runs[1] > kCutShare * h;
  bool cutTop = runs[2] > kCutShare * w, cutBottom = runs[3] > kCutShare * w;
  if (cutLeft && cutRight && cutTop && cutBottom) cutLeft = cutRight = cutTop = cutBottom = false;
  const double sw = shape[2] - shape[0], sh = shape[3] - shape[1];
  Linear l = current;
  const bool knowX = !(cutLeft && cutRight), knowY = !(cutTop && cutBottom);
  if (!cutLeft && !cutRight) l.a = (right - left + 1) / sw;
  if (!cutTop && !cutBottom) l.c = (bottom - top + 1) / sh;
  if (knowY && (cutLeft || cutRight)) l.a = l.c;
  if (knowX && (cutTop || cutBottom)) l.c = l.a;
  const auto place = [](double lo, double hi, bool cutLo, bool cutHi, double s0, double s1,
                        double scale, double* offset) {
    if (!cutLo) {
      *offset = lo - 0.5 - scale * s0;
    } else if (!cutHi) {
      *offset = hi + 0.5 - scale * s1;
    } else {
      *offset = 0.5 * (lo + hi) - scale * 0.5 * (s0 + s1);
    }
  };
  place(left, right, cutLeft, cutRight, shape[0], shape[2], l.a, &l.b);
  place(top, bottom, cutTop, cutBottom, shape[1], shape[3], l.c, &l.d);
  return l;
}

}  // namespace

int DetectOutline(const VideoBuffer& picture, Outline* outline, std::string* reason) {
  const int w = picture.width, h = picture.height;
  *outline = Outline{};
  std::vector<std::uint8_t> fg;
  if (w < 2 || h < 2) {
    *reason = "No map outline found: the picture is empty";
    return kNoOutline;
  }
  outline->width = w, outline->height = h;
  Background background;
  if (!Foreground(picture, &fg, &background)) {  // no background: the map fills the picture
    outline->inside.assign(fg.size(), 1);
    outline->area = static_cast<long long>(fg.size());
    return kFitOk;
  }
  outline->area = MapPiece(fg, w, h, &outline->inside);
  if (outline->area > 0 && Scattered(*outline, fg)) {  // the "background" was the map's sea
    outline->inside.assign(fg.size(), 1);
    outline->area = static_cast<long long>(fg.size());
    return kFitOk;
  }
  if (outline->area == 0) {
    *outline = Outline{};
    *reason = "No map outline found";
    return kNoOutline;
  }
  SecondLayer(picture, background, &outline->inside, &outline->area);
  return kFitOk;
}

int FitOutline(const Outline& outline, MapInstance* instance, const HeldSettings& held,
               FitResult* result, std::string* reason, const std::atomic<bool>* cancel) {
  if (outline.area == 0 || outline.width < 2 || outline.height < 2) {
    *reason = "No map outline found";
    return kNoOutline;
  }
  if (!instance->projection && instance->Apply() != 0) {
    *reason = "No projection to fit";
    return kNoFit;
  }
  std::array<double, 4> shape = {NAN, NAN, NAN, NAN};
  if (!ShapeBox(instance->projection, &shape)) {
    *reason = std::string(instance->GetName()) + " has no outline at these settings";
    return kNoFit;
  }
  const int w = outline.width, h = outline.height;
  const double given[] = {instance->offsetX, instance->offsetY, instance->scale, instance->aspect};
  SetLinear(BoxStart(outline, shape, LinearOf(*instance, w, h)), w, h, instance);
  if (held.offset) instance->offsetX = given[0], instance->offsetY = given[1];
  if (held.scale) instance->scale = given[2];
  if (held.aspect) instance->aspect = given[3];

  OutlineModel model{instance, w, h, nullptr, nullptr, {}, cancel};
  if (!held.offset) {
    model.free.push_back(0);
    model.free.push_back(1);
  }
  if (!held.scale) model.free.push_back(2);
  if (!held.aspect) model.free.push_back(3);

  // The first placement, kept for the finest level: where the shape's box is exact (a cylinder's
  // rectangle) it may beat what a search on the coarse level's steps of a whole level pixel finds.
  const double first[] = {instance->offsetX, instance->offsetY, instance->scale, instance->aspect};

  // Coarse to fine: every pixel of the coarsest level, then bands along the outline.
  int factor = 1;
  while (w / (factor * 2) >= kCoarsestWidth) factor *= 2;
  Level level;
  for (bool coarsest = true;; coarsest = false) {
    level = MakeLevel(outline, factor);
    ChooseSamples(&level, coarsest);
    const ShapeRows rows =
        LevelShape(instance->projection, shape, LinearOf(*instance, w, h), factor);
    model.level = &level;
    model.shape = &rows;
    if (factor == 1 && !coarsest) {
      const double reached = model.Mismatch();
      const double now[] = {instance->offsetX, instance->offsetY, instance->scale,
                            instance->aspect};
      instance->offsetX = first[0], instance->offsetY = first[1];
      instance->scale = first[2], instance->aspect = first[3];
      if (model.Mismatch() > reached) {
        instance->offsetX = now[0], instance->offsetY = now[1];
        instance->scale = now[2], instance->aspect = now[3];
      }
    }
    if (!model.free.empty()) {
      const Linear l = LinearOf(*instance, w, h);
      // Steps of about two level pixels at each parameter.
      const double px = 2.0 * factor;
      const double steps[] = {px / l.a, px / l.c, instance->scale * px / (w * 0.5),
                              (instance->aspect + 1e-4) * px / (h * 0.5)};
      std::vector<double> x, step, tolerance;
      const double fields[] = {instance->offsetX, instance->offsetY, instance->scale,
                               instance->aspect};
      for (int f : model.free) {
        x.push_back(fields[f]), step.push_back(steps[f]),
            tolerance.push_back(steps[f] * kStepTolerance);
      }
      nlopt::opt optimiser(nlopt::LN_NELDERMEAD, static_cast<unsigned>(x.size()));
      optimiser.set_min_objective(Objective, &model);
      optimiser.set_initial_step(step);
      optimiser.set_xtol_abs(tolerance);
      optimiser.set_maxeval(400);
      double value;
      try {
        optimiser.optimize(x, value);
      } catch (const nlopt::forced_stop&) {
        *reason = "Cancelled";
        return kCancelled;
      } catch (const std::exception&) {
        // A failed run leaves the best point found so far in x.
      }
      model.Set(x);
    }
    if (factor == 1) break;
    factor = std::max(1, factor / kLevelStep);
  }

  RoundToSingle(instance);
  // IoU on a level of at most about a quarter million pixels.
  int iouFactor = 1;
  while (static_cast<long long>(w / iouFactor) * (h / iouFactor) > (1 << 18)) iouFactor *= 2;
  level = MakeLevel(outline, iouFactor);
  const ShapeRows rows =
      LevelShape(instance->projection, shape, LinearOf(*instance, w, h), iouFactor);
  model.level = &level;
  model.shape = &rows;
  result->iou = model.Iou();
  result->rms = 0;
  result->residuals.clear();
  result->settings = SettingsOf(*instance);
  RoundToSingle(&result->settings);
  result->name = instance->GetName();
  return kFitOk;
}

}  // namespace Fit
