// FindMapRegion: background flooded from the border, then the largest piece left.
#include "recognize/map_region.h"

#include <algorithm>
#include <cstdlib>
#include <map>

namespace {

// JPEG noise on a flat margin stays within this per-channel distance of its colour; the light grey
// of ice beside a white margin does not.
constexpr int kTolerance = 12;
// A background must make up this share of the pixels it is seeded from.
constexpr double kDominantShare = 0.4;

bool Near(std::uint32_t a, std::uint32_t b) {
  for (int shift = 0; shift < 24; shift += 8) {
    if (std::abs(static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF)) >
        kTolerance) {
      return false;
    }
  }
  return true;
}

// The most common colour (5 bits per channel) among `seeds` and the mean of its members, when it
// makes up a dominant share.
bool DominantColour(const Pixels& p, const std::vector<int>& seeds, std::uint32_t* colour) {
  std::map<std::uint32_t, int> counts;
  for (const int i : seeds) ++counts[p.rgba[i] & 0xF8F8F8];
  const auto best = std::max_element(counts.begin(), counts.end(),
                                     [](const auto& a, const auto& b) { return a.second < b.second; });
  if (best == counts.end() || best->second < kDominantShare * seeds.size()) return false;
  long sum[3] = {0, 0, 0};
  for (const int i : seeds) {
    if ((p.rgba[i] & 0xF8F8F8) != best->first) continue;
    for (int c = 0; c < 3; ++c) sum[c] += (p.rgba[i] >> (8 * c)) & 0xFF;
  }
  *colour = 0;
  for (int c = 0; c < 3; ++c) *colour |= static_cast<std::uint32_t>(sum[c] / best->second) << (8 * c);
  return true;
}

// Floods background (value 0 in `inside`) from `seeds` through pixels near `colour`.
void FloodAll(const Pixels& p, const std::vector<int>& seeds, std::uint32_t colour,
           std::vector<std::uint8_t>* inside) {
  std::vector<int> stack;
  for (const int i : seeds) {
    if ((*inside)[i] && Near(p.rgba[i], colour)) {
      (*inside)[i] = 0;
      stack.push_back(i);
    }
  }
  const int w = p.width, h = p.height;
  while (!stack.empty()) {
    const int i = stack.back();
    stack.pop_back();
    const int x = i % w, y = i / w;
    const int next[4] = {x > 0 ? i - 1 : -1, x + 1 < w ? i + 1 : -1, y > 0 ? i - w : -1,
                         y + 1 < h ? i + w : -1};
    for (const int n : next) {
      if (n < 0 || !(*inside)[n] || !Near(p.rgba[n], colour)) continue;
      (*inside)[n] = 0;
      stack.push_back(n);
    }
  }
}

// A layer of background is taken only while the map keeps this share of what was left: a flat
// sea of the background's colour would otherwise flood away with it.
constexpr double kKeptShare = 0.45;

long CountInside(const std::vector<std::uint8_t>& inside) {
  return std::count(inside.begin(), inside.end(), 1);
}

// Floods a layer of background, unless it would take the map's sea along.
void Flood(const Pixels& p, const std::vector<int>& seeds, std::uint32_t colour,
           std::vector<std::uint8_t>* inside) {
  std::vector<std::uint8_t> flooded = *inside;
  FloodAll(p, seeds, colour, &flooded);
  if (CountInside(flooded) >= kKeptShare * CountInside(*inside)) inside->swap(flooded);
}

// Map pixels that touch the background: the seeds of a further background layer.
std::vector<int> InnerRim(const Pixels& p, const std::vector<std::uint8_t>& inside) {
  std::vector<int> rim;
  const int w = p.width, h = p.height;
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const int i = y * w + x;
      if (!inside[i]) continue;
      if ((x > 0 && !inside[i - 1]) || (x + 1 < w && !inside[i + 1]) ||
          (y > 0 && !inside[i - w]) || (y + 1 < h && !inside[i + w])) {
        rim.push_back(i);
      }
    }
  }
  return rim;
}

bool BlackOrWhite(std::uint32_t c) {
  const int r = c & 0xFF, g = (c >> 8) & 0xFF, b = (c >> 16) & 0xFF;
  return std::max({r, g, b}) < 48 || std::min({r, g, b}) > 215;
}

// True when the map pixels fill nearly all of their bounding box.
bool FillsItsBox(const Pixels& p, const std::vector<std::uint8_t>& inside) {
  int left = p.width, top = p.height, right = -1, bottom = -1;
  long count = 0;
  for (int y = 0; y < p.height; ++y) {
    for (int x = 0; x < p.width; ++x) {
      if (!inside[static_cast<std::size_t>(y) * p.width + x]) continue;
      ++count;
      left = std::min(left, x), right = std::max(right, x);
      top = std::min(top, y), bottom = std::max(bottom, y);
    }
  }
  return count > 0 && count >= 0.95 * (right - left + 1) * (bottom - top + 1);
}

// Keeps only the largest 4-connected piece of the map.
void KeepLargestPiece(const Pixels& p, std::vector<std::uint8_t>* inside) {
  const int w = p.width, n = p.width * p.height;
  std::vector<int> piece(n, -1), sizes, stack;
  for (int start = 0; start < n; ++start) {
    if (!(*inside)[start] || piece[start] >= 0) continue;
    const int id = static_cast<int>(sizes.size());
    int size = 0;
    piece[start] = id;
    stack.push_back(start);
    while (!stack.empty()) {
      const int i = stack.back();
      stack.pop_back();
      ++size;
      const int x = i % w;
      const int next[4] = {x > 0 ? i - 1 : -1, x + 1 < w ? i + 1 : -1, i - w, i + w};
      for (const int m : next) {
        if (m < 0 || m >= n || !(*inside)[m] || piece[m] >= 0) continue;
        piece[m] = id;
        stack.push_back(m);
      }
    }
    sizes.push_back(size);
  }
  if (sizes.empty()) return;
  const int largest = static_cast<int>(std::max_element(sizes.begin(), sizes.end()) - sizes.begin());
  for (int i = 0; i < n; ++i) (*inside)[i] = piece[i] == largest;
}

}  // namespace

MapRegion FindMapRegion(const Pixels& p) {
  MapRegion region;
  const int w = p.width, h = p.height, n = w * h;
  region.inside.assign(n, 1);
  region.right = w;
  region.bottom = h;
  if (n == 0) return region;
  // Transparent pixels are background, unless nothing is opaque (alpha then means nothing).
  const long transparent = std::count_if(p.rgba.begin(), p.rgba.end(),
                                         [](std::uint32_t c) { return (c >> 24) < 128; });
  if (transparent > 0 && transparent < n) {
    for (int i = 0; i < n; ++i) region.inside[i] = (p.rgba[i] >> 24) >= 128;
  }
  std::vector<int> seeds;
  for (int x = 0; x < w; ++x) seeds.insert(seeds.end(), {x, (h - 1) * w + x});
  for (int y = 1; y + 1 < h; ++y) seeds.insert(seeds.end(), {y * w, y * w + w - 1});
  std::erase_if(seeds, [&](int i) { return !region.inside[i]; });
  std::uint32_t colour;
  if (!seeds.empty() && DominantColour(p, seeds, &colour)) {
    Flood(p, seeds, colour, &region.inside);
    // A second layer only inside a rectangular margin, and only black or white: the outside of a
    // world map framed by a margin, never the sea along a map's edge.
    seeds = InnerRim(p, region.inside);
    if (FillsItsBox(p, region.inside) && DominantColour(p, seeds, &colour) && BlackOrWhite(colour)) {
      Flood(p, seeds, colour, &region.inside);
    }
  }
  KeepLargestPiece(p, &region.inside);
  int left = w, top = h, right = 0, bottom = 0;
  long count = 0;
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      if (!region.inside[y * w + x]) continue;
      ++count;
      left = std::min(left, x), right = std::max(right, x + 1);
      top = std::min(top, y), bottom = std::max(bottom, y + 1);
    }
  }
  // A background of a few stray border pixels is no outline.
  region.outlined = count > 0 && count < n * 0.97;
  if (region.outlined) {
    region.left = left, region.top = top, region.right = right, region.bottom = bottom;
  }
  return region;
}
