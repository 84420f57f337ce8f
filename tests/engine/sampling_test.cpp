// Sampling at the map's outline, kernels, shrinking, coverage alpha and output projections.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstring>
#include <set>
#include <thread>

#include "engine/reproject.h"
#include "engine/source_sampler.h"
#include "image/image_test_support.h"
#include "registry/registry_fixture.h"

namespace {

using test_support::Channel;

constexpr std::uint32_t kMagenta = 0x00FF00FF;
constexpr std::uint32_t kBlack = 0xFF000000;

using SamplingTest = BuiltinRegistryTest;

// A smooth world far from black: every channel between 90 and 230, continuous across the date
// line and constant along each pole.
void SmoothWorld(VideoBuffer* world, int width, int height) {
  ASSERT_EQ(world->Create(width, height), 0);
  for (int y = 0; y < height; ++y) {
    const double lat = (2.0 * y / height - 1) * M_PI / 2;
    for (int x = 0; x < width; ++x) {
      const double lon = (2.0 * x / width - 1) * M_PI;
      const auto r = static_cast<std::uint32_t>(160 + 60 * std::sin(lat));
      const auto g = static_cast<std::uint32_t>(160 + 60 * std::cos(lat) * std::cos(lon));
      const auto b = static_cast<std::uint32_t>(160 + 60 * std::cos(lat) * std::sin(lon));
      world->SetPixel(x, y, kBlack | b << 16 | g << 8 | r);
    }
  }
}

// `world` drawn as `m` describes, with black wherever the map is not (no alpha): what a user
// usually has.
void DrawOnBlack(const VideoBuffer& world, const MapInstance& m, int width, int height,
                 VideoBuffer* map) {
  ASSERT_EQ(map->Create(width, height), 0);
  ASSERT_EQ(RenderProjection(world, m, *map), 0);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      if (map->GetPixel(x, y) >> 24 == 0) map->SetPixel(x, y, kBlack);
    }
  }
}

// A map a little smaller than its picture, so that black surrounds it.
void Select(MapInstance* m, int code, double aspect) {
  ASSERT_EQ(m->Select(code), 0);
  m->aspect = aspect;
  m->scale = 0.97;
  m->SetOffset(0, 0);
}

TEST_F(SamplingTest, DateLineAndPolesOfABlackBackgroundMapShowNoBlack) {
  VideoBuffer world;
  SmoothWorld(&world, 256, 128);
  const struct {
    int code;
    double aspect;
    bool wholeWorld;  // the date line and the poles are on the map
  } cases[] = {{8, 0.5, true}, {10, 0.5, true}, {4, 0.5, true}, {13, 0.5, true}, {9, 1, false}};
  for (const auto& c : cases) {
    MapInstance m;
    Select(&m, c.code, c.aspect);
    VideoBuffer map, back;
    DrawOnBlack(world, m, 300, c.aspect == 1 ? 300 : 150, &map);
    ASSERT_EQ(back.Create(256, 128), 0);
    ASSERT_EQ(Reproject(map, m, back), 0);
    int dark = 0, missing = 0;
    for (int y = 0; y < 128; ++y) {
      for (int x = 0; x < 256; ++x) {
        const std::uint32_t p = back.GetPixel(x, y);
        if (p == kMagenta) {
          missing += c.wholeWorld;
          continue;
        }
        dark += Channel(p, 0) < 85 || Channel(p, 1) < 85 || Channel(p, 2) < 85;
      }
    }
    EXPECT_EQ(dark, 0) << m.GetName();
    EXPECT_EQ(missing, 0) << m.GetName();
  }
}

// The command line converts a PNG while it is still being read: every kernel, the outline's
// coverage and the pyramid must wait for the rows they read. The rows come slowly here, so that a
// read ahead of them sees zeros.
TEST_F(SamplingTest, ASourceStillBeingReadConvertsAsTheWholeSource) {
  VideoBuffer world;
  SmoothWorld(&world, 256, 128);
  const struct {
    int code;
    double scale, aspect;
    Kernel kernel;
    int width;
  } cases[] = {
      // The map fills its picture: the top row's samples lie beyond the pole, off the picture,
      // and only coverage's sub-samples read the picture's first rows.
      {8, 1, 0.4999, Kernel::kBilinear, 256},
      {10, 0.97, 0.5, Kernel::kBicubic, 256},
      {8, 0.97, 0.5, Kernel::kNearest, 256},
      {8, 0.97, 0.5, Kernel::kBilinear, 64},  // shrinks
  };
  for (const auto& c : cases) {
    MapInstance m;
    Select(&m, c.code, c.aspect);
    m.scale = c.scale;
    VideoBuffer map, whole, fed, out;
    DrawOnBlack(world, m, 300, 150, &map);
    ASSERT_EQ(whole.Create(c.width, c.width / 2), 0);
    ASSERT_EQ(Reproject(map, m, whole, nullptr, {}, {c.kernel}), 0);

    ASSERT_EQ(fed.Create(300, 150), 0);
    ASSERT_EQ(out.Create(c.width, c.width / 2), 0);
    RowFeed feed;
    feed.height = 150;
    std::thread reader([&] {
      const std::size_t rowBytes = 300 * 4;
      for (int y = 0; y < 150; ++y) {  // file rows, top first: buffer rows from the last
        std::this_thread::sleep_for(std::chrono::microseconds(y == 0 ? 20000 : 300));
        std::memcpy(fed.pixels + (149 - y) * rowBytes, map.pixels + (149 - y) * rowBytes, rowBytes);
        feed.Publish(y + 1);
      }
      feed.Stop(true);
    });
    SourceSampler sampler(fed, m);
    sampler.FollowFeed(&feed);
    EXPECT_EQ(Reproject(sampler, out, nullptr, {}, {c.kernel}), 0);
    reader.join();
    EXPECT_EQ(std::memcmp(out.pixels, whole.pixels, out.width * out.height * 4), 0)
        << m.GetName() << ", kernel " << static_cast<int>(c.kernel) << ", " << c.width;
  }
}

TEST_F(SamplingTest, BesideTheDateLineMissingNeighboursKeepTheirLatitude) {
  // Bands of latitude, 4 degrees each: where the outline slants, a neighbour of the next band
  // beyond the date line must not be replaced by the band left on the map.
  VideoBuffer world;
  ASSERT_EQ(world.Create(1024, 512), 0);
  for (int y = 0; y < 512; ++y) {
    const double lat = (2.0 * y / 512 - 1) * 90;
    const auto v = static_cast<std::uint32_t>(128 + 100 * std::sin(lat * M_PI / 4));
    for (int x = 0; x < 1024; ++x) world.SetPixel(x, y, kBlack | v << 16 | v << 8 | v);
  }
  for (int code : {8, 10, 4, 13}) {
    MapInstance m;
    Select(&m, code, 0.5);
    VideoBuffer map, back;
    DrawOnBlack(world, m, 1000, 500, &map);
    ASSERT_EQ(back.Create(1024, 512), 0);
    ASSERT_EQ(Reproject(map, m, back), 0);
    double sum = 0;
    int n = 0;
    for (int y = 0; y < 512; ++y) {
      const double lat = std::fabs((2.0 * y / 512 - 1) * 90);
      if (lat < 40 || lat > 80) continue;
      for (int x : {0, 1, 1022, 1023}) {
        const int e = std::abs(static_cast<int>(Channel(back.GetPixel(x, y), 0)) -
                               static_cast<int>(Channel(world.GetPixel(x, y), 0)));
        sum += e;
        ++n;
      }
    }
    EXPECT_LT(sum / n, 2.5) << m.GetName();
  }
}

TEST_F(SamplingTest, MapsOfAFewDozenPixelsAreFoundWhole) {
  // Whole-world maps drawn smaller than the blocks the outline search starts from: every pixel of
  // the world has a source, whatever the centre.
  const struct {
    int code, width, height;
    double aspect, scale, centerLon;
  } cases[] = {{2, 64, 32, 1, 1, 0},
               {2, 64, 32, 1, 1, 90},
               {8, 200, 100, 0.5, 0.2, 0},
               {10, 120, 60, 0.5, 0.4, 30},
               {9, 90, 90, 1, 0.3, 0}};
  for (const auto& c : cases) {
    MapInstance m;
    ASSERT_EQ(m.Select(c.code), 0);
    m.aspect = c.aspect;
    m.scale = c.scale;
    m.SetCenter(0, c.centerLon);
    m.SetOffset(0, 0);
    VideoBuffer map, back;
    ASSERT_EQ(map.Create(c.width, c.height), 0);
    map.Fill(0xFF808080u);
    ASSERT_EQ(back.Create(128, 64), 0);
    ASSERT_EQ(Reproject(map, m, back), 0);
    int missing = 0, total = 0;
    for (int y = 0; y < 64; ++y) {
      for (int x = 0; x < 128; ++x) {
        missing += back.GetPixel(x, y) == kMagenta;
        ++total;
      }
    }
    // An orthographic map shows one hemisphere.
    if (c.code == 9) {
      EXPECT_NEAR(missing, total / 2, total / 10) << c.code;
    } else {
      EXPECT_EQ(missing, 0) << c.code << " centred at " << c.centerLon;
    }
  }
}

TEST_F(SamplingTest, NearestGivesOnlyTheSourceColoursAndWholeAlpha) {
  // A classified Mollweide map in four colours on black.
  const std::uint32_t palette[] = {0xFF2040E0, 0xFF20C040, 0xFFE0C020, 0xFF808080};
  MapInstance m;
  Select(&m, 8, 0.5);
  VideoBuffer map, out;
  ASSERT_EQ(map.Create(240, 120), 0);
  const Placement place(m, 240, 120);
  for (int y = 0; y < 120; ++y) {
    for (int x = 0; x < 240; ++x) {
      double lat, lon;
      const bool on = m.projection->Inverse((x - place.halfWidth) / place.xFactor * m.unitFactor,
                                            (y - place.halfHeight) / place.yFactor * m.unitFactor,
                                            &lat, &lon) == 0;
      map.SetPixel(x, y, on ? palette[(x / 7 + y / 5) % 4] : kBlack);
    }
  }
  ASSERT_EQ(out.Create(200, 100), 0);
  ASSERT_EQ(Reproject(map, m, out, nullptr, {}, {Kernel::kNearest}), 0);
  std::set<std::uint32_t> colours;
  for (int y = 0; y < 100; ++y) {
    for (int x = 0; x < 200; ++x) colours.insert(out.GetPixel(x, y));
  }
  for (const std::uint32_t c : colours) {
    EXPECT_TRUE(c == palette[0] || c == palette[1] || c == palette[2] || c == palette[3])
        << std::hex << c;
  }
}

// Red: a one-pixel checkerboard over a slow ramp; the truth is its 8 x 8 box average.
TEST_F(SamplingTest, ShrinkingEightToOneAveragesInsteadOfAliasing) {
  constexpr int kW = 512, kH = 256, kFactor = 8;
  VideoBuffer fine;
  ASSERT_EQ(fine.Create(kW, kH), 0);
  for (int y = 0; y < kH; ++y) {
    for (int x = 0; x < kW; ++x) {
      const int ramp = x / 4;  // 0..127
      fine.SetPixel(x, y, kBlack | static_cast<std::uint32_t>((x + y) % 2 ? 128 + ramp : ramp));
    }
  }
  MapInstance m;
  Select(&m, 2, 0.5);
  m.scale = 1;
  double error[2] = {0, 0};
  for (const bool antialias : {true, false}) {
    VideoBuffer out;
    ASSERT_EQ(out.Create(kW / kFactor, kH / kFactor), 0);
    SamplingOptions options;
    options.antialias = antialias;
    ASSERT_EQ(Reproject(fine, m, out, nullptr, {}, options), 0);
    for (int r = 1; r < kH / kFactor - 1; ++r) {
      for (int c = 1; c < kW / kFactor - 1; ++c) {
        // The box of one output pixel around its sample point (c, r) * 8.
        double sum = 0;
        for (int y = r * kFactor - 4; y < r * kFactor + 4; ++y) {
          for (int x = c * kFactor - 4; x < c * kFactor + 4; ++x)
            sum += Channel(fine.GetPixel(x, y), 0);
        }
        const double d = Channel(out.GetPixel(c, r), 0) - sum / (kFactor * kFactor);
        error[antialias ? 0 : 1] += d * d;
      }
    }
  }
  const int n = (kW / kFactor - 2) * (kH / kFactor - 2);
  const double rmsWith = std::sqrt(error[0] / n), rmsWithout = std::sqrt(error[1] / n);
  EXPECT_LT(rmsWith, 6.0);
  EXPECT_GT(rmsWithout, 40.0);
}

TEST(FootprintPlanTest, LevelOfTheShorterSideTapsAlongTheLonger) {
  struct Case {
    Footprint footprint;
    int level;
    int taps;
    double stepX, stepY;
  };
  const Case cases[] = {
      {{8, 0, 0, 8}, 3, 1, 8, 0},           // 8:1 both ways
      {{7.99, 0, 0, 7.99}, 2, 1, 7.99, 0},  // just below: the level of half its size
      {{3, 0, 0, 3}, 1, 1, 3, 0},           // between two levels: the finer
      {{4, 4, -4, 4}, 2, 1, 4, 4},          // turned: lengths, not components
      {{1.75, 0, 0, 1.75}, 0, 1, 1.75, 0},  // below 2 pixels: level 0
      {{16, 0, 0, 1}, 0, 16, 16, 0},        // stretched across: taps at level 0
      {{1, 0, 0, 6}, 0, 6, 0, 6},           // stretched down
      {{20, 0, 0, 4}, 2, 5, 20, 0},         // taps each a square of the shorter side
      {{300, 0, 0, 2}, 4, 16, 300, 0},      // no more than 16 taps, each of 18.75 pixels
  };
  for (const Case& c : cases) {
    const FootprintPlan plan = SourceSampler::PlanOf(c.footprint);
    EXPECT_EQ(plan.level, c.level) << c.footprint.acrossX << " " << c.footprint.downY;
    EXPECT_EQ(plan.taps, c.taps) << c.footprint.acrossX << " " << c.footprint.downY;
    EXPECT_EQ(plan.stepX, c.stepX);
    EXPECT_EQ(plan.stepY, c.stepY);
  }
}

TEST(FootprintPlanTest, ReplanInPlaceEqualsAFreshPlan) {
  // One plan carried along footprints as a row of pixels meets them: taps and levels rising and
  // falling, ratios of the sides at the edges of a count of taps, the axis turning.
  const Footprint walk[] = {
      {2.6, 0, 0.3, 3.2},               // two taps at level 1, slanted
      {2.6, 0, 0.31, 3.2},              // the same counts
      {2.6, 0, 0, 3.2},                 // down the axis
      {2.5, 0, 0, 2.5 * 1.01 - 1e-12},  // just one tap
      {2.5, 0, 0, 2.5 * 1.01 + 1e-12},  // just two
      {1.2, 0, 0, 1.2 * 2.01},          // level 0, just three
      {1.2, 0, 0, 1.2 * 2.01 - 1e-12},  // just two
      {0.5, 0, 0.3, 9},                 // many taps against a side below one pixel
      {300, 0, 0, 2},                   // no more than 16
      {8, 0, 0, 8},                     // back to one tap, level 3
      {3, 3, -1, 1},                    // slanted across
  };
  FootprintPlan carried;
  for (const Footprint& f : walk) {
    SourceSampler::Replan(f, &carried);
    const FootprintPlan fresh = SourceSampler::PlanOf(f);
    SCOPED_TRACE(testing::Message() << f.acrossX << " " << f.downX << " " << f.downY);
    ASSERT_EQ(carried.taps, fresh.taps);
    EXPECT_EQ(carried.level, fresh.level);
    EXPECT_EQ(carried.levelHalf, fresh.levelHalf);
    EXPECT_EQ(carried.levelScale, fresh.levelScale);
    EXPECT_EQ(carried.perSum, fresh.perSum);
    EXPECT_EQ(carried.axis, fresh.axis);
    for (int k = 0; k < fresh.taps; ++k) {
      EXPECT_EQ(carried.tapX[k], fresh.tapX[k]);
      EXPECT_EQ(carried.tapY[k], fresh.tapY[k]);
    }
  }
}

TEST_F(SamplingTest, FootprintsInIntegersAgreeWithTheGeneralPath) {
  // Noise, so that any misplaced weight shows: the integer blends (one row or column at a time
  // where the taps line up) against the general path, everywhere away from the picture's edges.
  VideoBuffer noise;
  ASSERT_EQ(noise.Create(512, 256), 0);
  std::uint32_t state = 12345;
  for (int y = 0; y < 256; ++y) {
    for (int x = 0; x < 512; ++x) {
      state = state * 1664525u + 1013904223u;
      noise.SetPixel(x, y, kBlack | state >> 8);
    }
  }
  MapInstance m;
  Select(&m, 2, 0.5);
  m.scale = 1;
  SourceSampler sampler(noise, m);
  const Footprint footprints[] = {
      {1, 0, 0, 6.3},   // down, level 0
      {5.5, 0, 0, 1},   // across, level 0
      {1, 0, 0, -3.2},  // down, taps upwards
      {20, 0, 0, 4},    // across, level 2
      {3, 3, -1, 1},    // slanted
      {8, 0, 0, 8},     // one tap, level 3
  };
  for (const Footprint& f : footprints) {
    const FootprintPlan plan = SourceSampler::PlanOf(f);
    ASSERT_EQ(sampler.PreparePyramid(f), 0);
    int compared = 0;
    for (double py = 40.3; py < 216; py += 7.7) {
      for (double px = 60.6; px < 452; px += 9.1) {
        std::uint32_t fixed;
        Rgb general;
        if (!sampler.InteriorFootprint(px, py, plan, 1, &fixed)) continue;
        ASSERT_TRUE(sampler.SampleFootprint(px, py, plan, 1, &general));
        ++compared;
        const double channels[] = {general.r, general.g, general.b};
        for (int k = 0; k < 3; ++k) {
          ASSERT_NEAR(Channel(fixed, k), channels[k], 0.6) << f.acrossX << " " << f.downY;
        }
      }
    }
    EXPECT_GT(compared, 400) << f.acrossX << " " << f.downY;
  }
}

TEST_F(SamplingTest, AlphaIsThePartOfThePixelOnTheMap) {
  // A hemisphere seen from above 0 N, 0 E covers longitudes -90 .. 90 of every latitude: half of
  // an equirectangular picture, cut by two meridians.
  VideoBuffer world, globe;
  SmoothWorld(&world, 256, 128);
  MapInstance m;
  Select(&m, 9, 1);
  DrawOnBlack(world, m, 256, 256, &globe);
  for (const Kernel kernel : {Kernel::kBilinear, Kernel::kNearest}) {
    VideoBuffer out;
    ASSERT_EQ(out.Create(200, 100), 0);
    ASSERT_EQ(Reproject(globe, m, out, nullptr, {}, {kernel}), 0);
    double covered = 0;
    int between = 0;
    for (int y = 1; y < 100; ++y) {  // row 0, the pole, is a point of the rim at every longitude
      for (int x = 0; x < 200; ++x) {
        const std::uint32_t alpha = out.GetPixel(x, y) >> 24;
        covered += alpha / 255.0;
        between += alpha != 0 && alpha != 255;
      }
    }
    if (kernel == Kernel::kNearest) {
      EXPECT_EQ(between, 0);
    } else {
      EXPECT_NEAR(covered, 200 * 99 / 2, 99 * 0.25);  // within a quarter column
      EXPECT_GT(between, 100);                        // both cuts are partly covered
    }
  }
}

TEST_F(SamplingTest, OutputProjectionAgreesWithTheTwoStepPathAwayFromEdges) {
  VideoBuffer world, map;
  SmoothWorld(&world, 512, 256);
  MapInstance source;
  Select(&source, 8, 0.5);
  DrawOnBlack(world, source, 512, 256, &map);
  const struct {
    int code;
    double aspect, centerLat, centerLon;
  } outputs[] = {{9, 1, -30, 20}, {10, 0.5, 0, 40}, {20, 1, 0, 0}};
  for (const auto& o : outputs) {
    MapInstance target;
    Select(&target, o.code, o.aspect);
    target.SetCenter(o.centerLat, o.centerLon);
    VideoBuffer direct, equirectangular, twoStep;
    ASSERT_EQ(direct.Create(200, o.aspect == 1 ? 200 : 100), 0);
    ASSERT_EQ(twoStep.Create(direct.width, direct.height), 0);
    ASSERT_EQ(equirectangular.Create(1024, 512), 0);
    ASSERT_EQ(Reproject(map, source, direct, nullptr, {}, {}, &target), 0);
    ASSERT_EQ(Reproject(map, source, equirectangular), 0);
    ASSERT_EQ(RenderProjection(equirectangular, target, twoStep), 0);
    // Two resamplings differ from one by a few levels, most near the pole, where the
    // equirectangular step crowds its samples.
    int compared = 0, off = 0;
    for (int y = 1; y < direct.height - 1; ++y) {
      for (int x = 1; x < direct.width - 1; ++x) {
        bool inner = true;
        for (int dy = -1; dy <= 1; ++dy) {
          for (int dx = -1; dx <= 1; ++dx) {
            inner = inner && direct.GetPixel(x + dx, y + dy) >> 24 == 0xFF &&
                    twoStep.GetPixel(x + dx, y + dy) >> 24 == 0xFF;
          }
        }
        if (!inner) continue;
        ++compared;
        for (int ch = 0; ch < 3; ++ch) {
          off += std::abs(Channel(direct.GetPixel(x, y), ch) -
                          Channel(twoStep.GetPixel(x, y), ch)) > 6;
        }
      }
    }
    EXPECT_GT(compared, direct.width * direct.height / 4) << target.GetName();
    EXPECT_EQ(off, 0) << target.GetName();
  }
}

}  // namespace
