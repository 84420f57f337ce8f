// ReferenceEarth: land and sea classified from an Earth picture, and sample points drawn from it.
#include "recognize/reference_earth.h"

#include <algorithm>
#include <cmath>
#include <random>

#include "image/video_buffer.h"
#include "projection/map_project.h"

using Projection::kPi;

namespace {

constexpr std::uint8_t kSea = 0, kLand = 1, kLeftOut = 255;
// Below this latitude (degrees) ice is the Antarctic mainland rather than sea ice or shelf.
constexpr double kAntarcticMainland = -72.0;

// The class of one colour of the reference picture: deep and shallow water are clearly bluer
// than red, ice is bright and grey, everything else is land.
std::uint8_t Classify(int r, int g, int b, double latitude) {
  const int low = std::min({r, g, b}), high = std::max({r, g, b});
  if (low > 150 && high - low < 70) return latitude < kAntarcticMainland ? kLand : kLeftOut;
  if (b > r + 20 && b + 25 > g) return kSea;
  return kLand;
}

// Evenly spread points on the sphere (a Fibonacci lattice).
void SpreadPoints(int count, std::vector<std::pair<double, double>>* points) {
  const double golden = kPi * (3.0 - std::sqrt(5.0));
  for (int i = 0; i < count; ++i) {
    const double z = 1.0 - (2.0 * i + 1.0) / count;
    points->emplace_back(std::asin(z), std::remainder(golden * i, 2 * kPi));
  }
}

}  // namespace

int ReferenceEarth::Load(const std::string& path) {
  VideoBuffer picture;
  if (picture.Load(path) != 0 || !picture.HasStorage()) return -1;
  const int w = picture.width, h = picture.height;
  if (std::abs(w - 2 * h) > 2 || h < 16) return -1;
  land_.assign(static_cast<std::size_t>(w) * h, kLeftOut);
  for (int y = 0; y < h; ++y) {
    const double latitude = 90.0 - (y + 0.5) * 180.0 / h;
    for (int x = 0; x < w; ++x) {
      const std::uint32_t c = picture.GetPixel(x, y);
      land_[static_cast<std::size_t>(y) * w + x] =
          Classify(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF, latitude);
    }
  }
  width_ = w;
  height_ = h;
  return 0;
}

std::uint8_t ReferenceEarth::LandAt(double latitude, double longitude) const {
  if (!Loaded()) return kLeftOut;
  int x = static_cast<int>(std::floor((longitude / kPi + 1.0) * 0.5 * width_));
  int y = static_cast<int>(std::floor((0.5 - latitude / kPi) * height_));
  x = ((x % width_) + width_) % width_;
  y = std::clamp(y, 0, height_ - 1);
  return land_[static_cast<std::size_t>(y) * width_ + x];
}

std::vector<EarthSample> ReferenceEarth::Samples(int pictureWidth, int band, int count) const {
  std::vector<EarthSample> samples;
  if (!Loaded()) return samples;
  // The label grid at the picture's resolution: the majority of the known reference cells.
  const int gw = std::clamp(pictureWidth, 32, width_), gh = std::max(gw / 2, 16);
  std::vector<std::uint8_t> grid(static_cast<std::size_t>(gw) * gh, kLeftOut);
  for (int gy = 0; gy < gh; ++gy) {
    const int y0 = gy * height_ / gh, y1 = std::max((gy + 1) * height_ / gh, y0 + 1);
    for (int gx = 0; gx < gw; ++gx) {
      const int x0 = gx * width_ / gw, x1 = std::max((gx + 1) * width_ / gw, x0 + 1);
      int landCount = 0, known = 0;
      for (int y = y0; y < y1; ++y) {
        for (int x = x0; x < x1; ++x) {
          const std::uint8_t v = land_[static_cast<std::size_t>(y) * width_ + x];
          if (v == kLeftOut) continue;
          ++known;
          landCount += v;
        }
      }
      // Mixed cells are left out: they would blur the coast the samples are meant to mark.
      if (known * 2 < (y1 - y0) * (x1 - x0)) continue;
      if (landCount * 4 >= known * 3) grid[static_cast<std::size_t>(gy) * gw + gx] = kLand;
      if (landCount * 4 <= known) grid[static_cast<std::size_t>(gy) * gw + gx] = kSea;
    }
  }
  const auto at = [&](int x, int y) {
    x = ((x % gw) + gw) % gw;
    return grid[static_cast<std::size_t>(std::clamp(y, 0, gh - 1)) * gw + x];
  };
  // Cells near a coast: a known neighbour of the other class within `band` cells.
  std::vector<EarthSample> coast;
  for (int gy = 0; gy < gh; ++gy) {
    for (int gx = 0; gx < gw; ++gx) {
      const std::uint8_t v = at(gx, gy);
      if (v == kLeftOut) continue;
      bool nearCoast = false;
      for (int dy = -band; dy <= band && !nearCoast; ++dy) {
        for (int dx = -band; dx <= band && !nearCoast; ++dx) {
          const std::uint8_t n = at(gx + dx, gy + dy);
          nearCoast = n != kLeftOut && n != v;
        }
      }
      if (!nearCoast) continue;
      coast.push_back({(0.5 - (gy + 0.5) / gh) * kPi, ((gx + 0.5) / gw * 2.0 - 1.0) * kPi, v});
    }
  }
  std::mt19937 random(20260);
  const std::size_t coastCount = static_cast<std::size_t>(count) / 2;
  if (coast.size() > coastCount) {
    std::shuffle(coast.begin(), coast.end(), random);
    coast.resize(coastCount);
  }
  samples = std::move(coast);
  std::vector<std::pair<double, double>> spread;
  SpreadPoints(count - static_cast<int>(samples.size()), &spread);
  for (const auto& [lat, lon] : spread) {
    const std::uint8_t v = LandAt(lat, lon);
    if (v != kLeftOut) samples.push_back({lat, lon, v});
  }
  return samples;
}
