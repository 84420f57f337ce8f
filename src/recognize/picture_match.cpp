// PictureLevels and MatchScore.
#include "recognize/picture_match.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <string>

#include "fit/fit.h"

namespace {

constexpr int kLevelWidths[] = {128, 512, 2048};
constexpr int kRegionLevel = 1;      // the map region is found at about 512 pixels across
constexpr int kCellsAcross = 12;     // coverage cells across the map
constexpr int kMinimumPoints = 150;  // fewer placed points than this prove nothing
// A map region of nearly the whole picture is no outline: the map fills the picture.
constexpr double kOutlinedShare = 0.97;

// A picture as 0xAABBGGRR words, top row first (the colour words of VideoBuffer).
struct Pixels {
  int width = 0, height = 0;
  std::vector<std::uint32_t> rgba;
};

// The picture averaged over factor x factor blocks.
Pixels Shrink(const VideoBuffer& picture, int factor) {
  Pixels out;
  out.width = picture.width / factor;
  out.height = picture.height / factor;
  out.rgba.resize(static_cast<std::size_t>(out.width) * out.height);
  const int n = factor * factor;
#pragma omp parallel for schedule(static)
  for (int y = 0; y < out.height; ++y) {
    for (int x = 0; x < out.width; ++x) {
      std::array<int, 4> sum{};
      for (int dy = 0; dy < factor; ++dy) {
        for (int dx = 0; dx < factor; ++dx) {
          const std::uint32_t c = picture.GetPixel(x * factor + dx, y * factor + dy);
          for (int ch = 0; ch < 4; ++ch) sum[ch] += (c >> (8 * ch)) & 0xFF;
        }
      }
      std::uint32_t word = 0;
      for (int ch = 0; ch < 4; ++ch) word |= static_cast<std::uint32_t>(sum[ch] / n) << (8 * ch);
      out.rgba[static_cast<std::size_t>(y) * out.width + x] = word;
    }
  }
  return out;
}

// Thresholds that cut `values` into `parts` classes of equal count.
std::vector<int> Quantiles(std::vector<int> values, int parts) {
  std::vector<int> cuts;
  if (values.empty()) return std::vector<int>(parts - 1, 0);
  for (int k = 1; k < parts; ++k) {
    const std::size_t at = values.size() * k / parts;
    std::nth_element(values.begin(), values.begin() + at, values.end());
    cuts.push_back(values[at]);
  }
  return cuts;
}

int ClassOf(int value, const std::vector<int>& cuts) {
  return static_cast<int>(std::count_if(cuts.begin(), cuts.end(), [&](int t) { return t < value; }));
}

// Colour classes by quantiles of lightness and two opponent colour axes over the map's pixels, so
// that the classes adapt to the picture's palette (a grey picture uses the lightness alone).
void ClassifyColours(const Pixels& p, const std::vector<std::uint8_t>& inside, PictureLevel* level) {
  const std::size_t n = p.rgba.size();
  std::vector<int> lightness(n), redGreen(n), yellowBlue(n);
  std::vector<int> mapL, mapRG, mapYB;
  for (std::size_t i = 0; i < n; ++i) {
    const int r = p.rgba[i] & 0xFF, g = (p.rgba[i] >> 8) & 0xFF, b = (p.rgba[i] >> 16) & 0xFF;
    lightness[i] = (77 * r + 150 * g + 29 * b) >> 8;
    redGreen[i] = r - g;
    yellowBlue[i] = (r + g) / 2 - b;
    if (!inside[i]) continue;
    mapL.push_back(lightness[i]);
    mapRG.push_back(redGreen[i]);
    mapYB.push_back(yellowBlue[i]);
  }
  const std::vector<int> cutL = Quantiles(mapL, 6), cutRG = Quantiles(mapRG, 3),
                         cutYB = Quantiles(mapYB, 3);
  level->colourClass.resize(n);
  for (std::size_t i = 0; i < n; ++i) {
    level->colourClass[i] =
        inside[i] ? static_cast<std::uint8_t>(ClassOf(lightness[i], cutL) * 9 +
                                              ClassOf(redGreen[i], cutRG) * 3 +
                                              ClassOf(yellowBlue[i], cutYB))
                  : kBackgroundClass;
  }
}

void MarkMapCells(const std::vector<std::uint8_t>& inside, int mapWidth, PictureLevel* level) {
  level->cellSize = std::max(1, mapWidth / kCellsAcross);
  level->columns = (level->width + level->cellSize - 1) / level->cellSize;
  level->rows = (level->height + level->cellSize - 1) / level->cellSize;
  std::vector<int> count(static_cast<std::size_t>(level->columns) * level->rows, 0);
  for (int y = 0; y < level->height; ++y) {
    for (int x = 0; x < level->width; ++x) {
      if (inside[static_cast<std::size_t>(y) * level->width + x]) {
        ++count[(y / level->cellSize) * level->columns + x / level->cellSize];
      }
    }
  }
  level->mapCell.assign(count.size(), 0);
  level->mapCells = 0;
  const int half = level->cellSize * level->cellSize / 2;
  for (std::size_t i = 0; i < count.size(); ++i) {
    level->mapCell[i] = count[i] > half;
    level->mapCells += level->mapCell[i];
  }
}

}  // namespace

int PictureLevels::Build(const VideoBuffer& picture) {
  width = picture.width;
  height = picture.height;
  levels.clear();
  if (!picture.HasStorage() || width < 64 || height < 32) return -1;
  std::vector<int> factors;
  for (const int target : kLevelWidths) {
    const int factor = std::max(1, width / target);
    if (factors.empty() || factors.back() != factor) factors.push_back(factor);
  }
  const int regionFactor = factors[std::min<std::size_t>(kRegionLevel, factors.size() - 1)];
  const Pixels regionPixels = Shrink(picture, regionFactor);
  // The map's outline as the fitting finds it, on the reduced picture.
  VideoBuffer reduced;
  if (reduced.Create(regionPixels.width, regionPixels.height) != 0) return -1;
  for (int y = 0; y < regionPixels.height; ++y) {
    for (int x = 0; x < regionPixels.width; ++x) {
      reduced.SetPixel(x, y, regionPixels.rgba[static_cast<std::size_t>(y) * regionPixels.width + x]);
    }
  }
  Fit::Outline region;
  std::string reason;
  const std::size_t regionSize = regionPixels.rgba.size();
  outlined = Fit::DetectOutline(reduced, &region, &reason) == Fit::kFitOk &&
             region.area < kOutlinedShare * regionSize;
  if (!outlined) region.inside.assign(regionSize, 1);
  int x0 = regionPixels.width, y0 = regionPixels.height, x1 = 0, y1 = 0;
  for (int y = 0; y < regionPixels.height; ++y) {
    for (int x = 0; x < regionPixels.width; ++x) {
      if (!region.inside[static_cast<std::size_t>(y) * regionPixels.width + x]) continue;
      x0 = std::min(x0, x), x1 = std::max(x1, x + 1), y0 = std::min(y0, y), y1 = std::max(y1, y + 1);
    }
  }
  left = x0 * regionFactor, top = y0 * regionFactor;
  right = x1 * regionFactor, bottom = y1 * regionFactor;
  if (!outlined) left = 0, top = 0, right = width, bottom = height;

  for (const int factor : factors) {
    const Pixels pixels = factor == regionFactor ? regionPixels : Shrink(picture, factor);
    PictureLevel level;
    level.width = pixels.width;
    level.height = pixels.height;
    level.factor = factor;
    // The map region at this level, read from the one found at the region level.
    std::vector<std::uint8_t> inside(pixels.rgba.size());
    for (int y = 0; y < level.height; ++y) {
      const int ry = std::min(y * factor / regionFactor, regionPixels.height - 1);
      for (int x = 0; x < level.width; ++x) {
        const int rx = std::min(x * factor / regionFactor, regionPixels.width - 1);
        inside[static_cast<std::size_t>(y) * level.width + x] =
            region.inside[static_cast<std::size_t>(ry) * regionPixels.width + rx];
      }
    }
    ClassifyColours(pixels, inside, &level);
    MarkMapCells(inside, static_cast<int>((right - left) / factor), &level);
    levels.push_back(std::move(level));
  }
  return 0;
}

double MatchScore(const PictureLevel& level, const PlacedPoints& points, const Affine& place) {
  // Level pixel coordinates: a level pixel averages `factor` picture pixels.
  const double f = level.factor, a = place.a / f, c = place.c / f;
  const double b = (place.b - (f - 1) * 0.5) / f, d = (place.d - (f - 1) * 0.5) / f;
  std::array<double, 2 * kClasses> joint{};
  std::vector<std::uint8_t> hit(level.mapCell.size(), 0);
  const int w = level.width, h = level.height;
  const std::size_t n = points.x.size();
  long placed = 0;
  for (std::size_t i = 0; i < n; ++i) {
    const double x = a * points.x[i] + b, y = c * points.y[i] + d;
    if (!(x >= 0 && y >= 0 && x <= w - 1 && y <= h - 1)) continue;
    ++placed;
    const int ix = std::min(static_cast<int>(x), w - 2), iy = std::min(static_cast<int>(y), h - 2);
    const double fx = x - ix, fy = y - iy;
    hit[(iy / level.cellSize) * level.columns + ix / level.cellSize] = 1;
    // Partial volumes: each of the four neighbours' classes by its bilinear weight, so that the
    // score changes smoothly with the placement.
    const std::uint8_t* row = &level.colourClass[static_cast<std::size_t>(iy) * w + ix];
    double* counts = &joint[points.land[i] * kClasses];
    counts[row[0]] += (1 - fx) * (1 - fy);
    counts[row[1]] += fx * (1 - fy);
    counts[row[w]] += (1 - fx) * fy;
    counts[row[w + 1]] += fx * fy;
  }
  if (placed < kMinimumPoints || level.mapCells == 0) return 0;
  // The background is no colour of the map: points placed on it count against the placement
  // instead of telling land from sea (sea on the background, land on the map would otherwise
  // look like a match).
  double landTotal[2] = {0, 0}, classTotal[kClasses] = {}, onBackground = 0;
  for (int l = 0; l < 2; ++l) {
    onBackground += joint[l * kClasses + kBackgroundClass];
    joint[l * kClasses + kBackgroundClass] = 0;
    for (int k = 0; k < kClasses; ++k) {
      landTotal[l] += joint[l * kClasses + k];
      classTotal[k] += joint[l * kClasses + k];
    }
  }
  const double total = landTotal[0] + landTotal[1];
  if (landTotal[0] <= 0 || landTotal[1] <= 0) return 0;
  double information = 0;
  for (int l = 0; l < 2; ++l) {
    for (int k = 0; k < kClasses; ++k) {
      const double p = joint[l * kClasses + k];
      if (p > 0) information += p * std::log(p * total / (landTotal[l] * classTotal[k]));
    }
  }
  information /= total;
  int covered = 0;
  for (std::size_t i = 0; i < hit.size(); ++i) covered += hit[i] & level.mapCell[i];
  const double coverage = static_cast<double>(covered) / level.mapCells;

  // Points on the background weigh lightly (a square root): a map may stop short of its
  // projection's world (a hemisphere of a whole-sphere azimuthal, a polyconic drawn only near its
  // meridian), and the points beyond it are then no fault of the placement.
  const double onMap = total / (total + onBackground);
  // In bits: at most 1, reached only where land and sea are balanced and told apart perfectly. A
  // view of mostly sea carries little, however well its few coasts fit.
  return information / std::log(2.0) * coverage * coverage * std::sqrt(onMap);
}
