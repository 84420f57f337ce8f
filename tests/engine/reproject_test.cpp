// The reprojection loops: placement, orientation, edges, fills, threads.
#include "engine/reproject.h"

#include <gtest/gtest.h>
#include <omp.h>

#include <algorithm>
#include <cstring>
#include <filesystem>

#include "image/image_test_support.h"
#include "registry/registry_fixture.h"

namespace {

using test_support::Channel;
using test_support::FillPattern;
using test_support::PatternColour;

constexpr std::uint32_t kMagenta = 0x00FF00FF;

using ReprojectTest = BuiltinRegistryTest;

// The instance of an equirectangular source image that fills its picture: centre 0/0, offsets 0,
// scale 1, aspect 0.5.
void Plain(MapInstance* m, double scale = 1) {
  m->Select(2);
  m->scale = scale;
  m->aspect = 0.5;
  m->SetCenter(0, 0);
  m->SetOffset(0, 0);
}

// Every channel of `got` lies between those of the source pixels within one pixel of (x, y).
::testing::AssertionResult BetweenNeighbours(const VideoBuffer& src, int x, int y,
                                             std::uint32_t got) {
  for (int ch = 0; ch < 3; ++ch) {
    int lo = 255, hi = 0;
    for (int dy = -1; dy < 2; ++dy) {
      for (int dx = -1; dx < 2; ++dx) {
        const int v = Channel(src.GetPixel(std::clamp(x + dx, 0, src.width - 1),
                                           std::clamp(y + dy, 0, src.height - 1)),
                              ch);
        lo = std::min(lo, v);
        hi = std::max(hi, v);
      }
    }
    if (Channel(got, ch) < lo || Channel(got, ch) > hi) {
      return ::testing::AssertionFailure()
             << "channel " << ch << " of (" << x << ", " << y << ") is " << Channel(got, ch)
             << ", not in " << lo << ".." << hi;
    }
  }
  return ::testing::AssertionSuccess();
}

TEST_F(ReprojectTest, EquirectangularAtAspectHalfGivesTheSourceBack) {
  VideoBuffer src, dst;
  ASSERT_EQ(src.Create(64, 32), 0);
  FillPattern(&src);
  ASSERT_EQ(dst.Create(64, 32), 0);
  MapInstance m;
  Plain(&m);
  ASSERT_EQ(Reproject(src, m, dst), 0);
  for (int y = 0; y < 32; ++y) {
    for (int x = 0; x < 64; ++x) {
      const std::uint32_t got = dst.GetPixel(x, y);
      ASSERT_EQ(got >> 24, 0xFFu) << x << "," << y;
      ASSERT_TRUE(BetweenNeighbours(src, x, y, got));
    }
  }
  // The sample points move by far less than a pixel: on the equator the pixels are the source's
  // own. (The top row's centres lie a hair beyond the pole at this aspect: the rows below stand
  // in.)
  for (int x = 1; x < 63; ++x) EXPECT_EQ(dst.GetPixel(x, 16), src.GetPixel(x, 16)) << x;
}

TEST_F(ReprojectTest, MercatorLeavesThePoleRowMagenta) {
  VideoBuffer src, dst;
  ASSERT_EQ(src.Create(40, 40), 0);
  FillPattern(&src);
  ASSERT_EQ(dst.Create(40, 20), 0);
  MapInstance m;
  ASSERT_EQ(m.Select(6), 0);
  ASSERT_EQ(Reproject(src, m, dst), 0);
  for (int x = 0; x < 40; ++x) {
    EXPECT_EQ(dst.GetPixel(x, 0), kMagenta) << x;
    EXPECT_EQ(dst.GetPixel(x, 10) >> 24, 0xFFu) << x;
  }
}

TEST_F(ReprojectTest, ScaleTwoShowsTheMiddleHalfOfTheWorld) {
  constexpr int kW = 64, kH = 32;
  VideoBuffer src, dst;
  ASSERT_EQ(src.Create(kW, kH), 0);
  FillPattern(&src);
  ASSERT_EQ(dst.Create(kW, kH), 0);
  MapInstance m;
  Plain(&m, 2);
  ASSERT_EQ(Reproject(src, m, dst), 0);
  const int row = kH / 2;
  for (int x = 0; x < kW; ++x) {
    const std::uint32_t got = dst.GetPixel(x, row);
    // Column x is longitude (2x / W - 1) pi; twice enlarged it falls on source column 2x - W/2.
    // The column at the right edge of the map is partly on it: transparent in part.
    if (x == 3 * kW / 4) {
      EXPECT_GT(got >> 24, 0u) << x;
      EXPECT_LT(got >> 24, 255u) << x;
    } else if (x < kW / 4 || x > 3 * kW / 4) {
      EXPECT_EQ(got, kMagenta) << x;
    } else {
      EXPECT_TRUE(BetweenNeighbours(src, 2 * x - kW / 2, row, got)) << x;
    }
  }
  EXPECT_EQ(dst.GetPixel(kW / 2, 0), kMagenta);  // latitudes beyond +-45 degrees fall outside too
}

TEST_F(ReprojectTest, AWholeWorldCylindricalMapContinuesAcrossItsLeftAndRightEdges) {
  constexpr int kW = 40, kH = 20;
  VideoBuffer src, dst;
  ASSERT_EQ(src.Create(kW, kH), 0);
  // Columns of constant colour: column 0 red 100, every other column red 200.
  for (int y = 0; y < kH; ++y) {
    for (int x = 0; x < kW; ++x) src.SetPixel(x, y, 0xFF000000u | (x == 0 ? 100 : 200));
  }
  ASSERT_EQ(dst.Create(kW, kH), 0);
  MapInstance m;
  struct {
    double sourceX;      // where destination column 0 samples the source
    std::uint32_t want;  // red of destination column 0
  } const cases[] = {
      {-0.5, 0xFF000096},  // half-way between the last column and the first
      {-0.999, 0xFF0000C8},
      {-1.5, 0xFF0000C8},
      {0.5, 0xFF000096},  // half-way between 100 and 200
  };
  for (const auto& c : cases) {
    Plain(&m);
    // Column 0 is longitude -pi, so u = -1 + offset and px = W/2 * offset.
    m.SetOffset(c.sourceX / (kW / 2.0), 0);
    ASSERT_EQ(Reproject(src, m, dst), 0);
    EXPECT_EQ(dst.GetPixel(0, kH / 2), c.want) << c.sourceX;
  }
}

TEST_F(ReprojectTest, OneAndTwoThreadsGiveTheSameBytes) {
  VideoBuffer src, one, two;
  ASSERT_EQ(src.Create(300, 150), 0);
  FillPattern(&src);
  ASSERT_EQ(one.Create(257, 128), 0);
  ASSERT_EQ(two.Create(257, 128), 0);
  MapInstance m;
  ASSERT_EQ(m.Select(6), 0);
  m.SetCenter(10, 30);
  const int saved = omp_get_max_threads();
  omp_set_num_threads(1);
  Reproject(src, m, one);
  omp_set_num_threads(2);
  Reproject(src, m, two);
  omp_set_num_threads(saved);
  EXPECT_EQ(std::memcmp(one.pixels, two.pixels, one.ByteCount()), 0);
}

// Bands and regional windows are cut from one grid: each equals the same pixels of the whole.
TEST_F(ReprojectTest, WindowsOfTheGridEqualTheCropOfTheWholePicture) {
  VideoBuffer src, whole;
  ASSERT_EQ(src.Create(300, 150), 0);
  FillPattern(&src);
  ASSERT_EQ(whole.Create(257, 128), 0);
  MapInstance m;
  ASSERT_EQ(m.Select(8), 0);
  m.SetCenter(10, 30);
  Reproject(src, m, whole);
  const struct {
    std::int32_t left, top, width, height;
  } windows[] = {{0, 0, 257, 5}, {0, 123, 257, 5}, {100, 40, 31, 17}, {255, 126, 2, 2}};
  for (const auto& w : windows) {
    VideoBuffer part;
    ASSERT_EQ(part.Create(w.width, w.height), 0);
    Reproject(src, m, part, nullptr, {whole.width, whole.height, w.left, w.top});
    for (std::int32_t y = 0; y < w.height; ++y) {
      for (std::int32_t x = 0; x < w.width; ++x) {
        ASSERT_EQ(part.GetPixel(x, y), whole.GetPixel(w.left + x, w.top + y))
            << "window at " << w.left << "," << w.top << " pixel " << x << "," << y;
      }
    }
  }
}

TEST_F(ReprojectTest, EmptyBuffersAndCancelling) {
  VideoBuffer src, empty, dst;
  ASSERT_EQ(src.Create(8, 4), 0);
  ASSERT_EQ(dst.Create(8, 4), 0);
  dst.Fill(0x123456);
  MapInstance m;
  EXPECT_EQ(Reproject(src, m, empty), 0);
  EXPECT_FALSE(empty.HasStorage());
  // No source pixel exists, so no destination pixel has a source.
  EXPECT_EQ(Reproject(empty, m, dst), 0);
  for (int y = 0; y < 4; ++y) {
    for (int x = 0; x < 8; ++x) EXPECT_EQ(dst.GetPixel(x, y), kMagenta) << x << "," << y;
  }

  RasterProgress progress;
  progress.cancel = true;
  EXPECT_EQ(Reproject(src, m, dst, &progress), -1);
  RasterProgress counted;
  EXPECT_EQ(Reproject(src, m, dst, &counted), 0);
  EXPECT_EQ(counted.rowsDone.load(), 4);
}

TEST(ResampleTest, StretchesBilinearlyAndBlendsTheLastColumnTowardsBlack) {
  VideoBuffer src, dst;
  ASSERT_EQ(src.Create(2, 2), 0);
  src.SetPixel(0, 0, 0xFF0000C8);  // red 200
  src.SetPixel(1, 0, 0xFF000064);  // red 100
  src.SetPixel(0, 1, 0xFF0000C8);
  src.SetPixel(1, 1, 0xFF000064);
  ASSERT_EQ(dst.Create(4, 4), 0);
  Resample(src, dst);
  // Source x 0, 0.5, 1, 1.5: the last blends half-way to the black beyond the edge. Alpha 0.
  const std::uint32_t row0[] = {200, 150, 100, 50};
  for (int x = 0; x < 4; ++x) EXPECT_EQ(dst.GetPixel(x, 0), row0[x]) << x;
  // Row 3 is source y 1.5: half-way to black as well.
  const std::uint32_t row3[] = {100, 75, 50, 25};
  for (int x = 0; x < 4; ++x) EXPECT_EQ(dst.GetPixel(x, 3), row3[x]) << x;

  VideoBuffer empty;
  dst.Fill(0xFFFFFF);
  Resample(empty, dst);
  EXPECT_EQ(dst.GetPixel(2, 2), 0u);
}

TEST_F(ReprojectTest, RenderProjectionPlacesTheWorldWhereReprojectLooks) {
  // A Mercator map made from a world picture, converted back, gives the world where it has a
  // source; the polar rows that Mercator cannot show stay magenta.
  VideoBuffer world, map, back;
  ASSERT_EQ(world.Create(128, 64), 0);
  for (int y = 0; y < 64; ++y) {
    for (int x = 0; x < 128; ++x) world.SetPixel(x, y, 0xFF000000u | (x * 2) | (y * 4) << 8);
  }
  ASSERT_EQ(map.Create(256, 256), 0);
  ASSERT_EQ(back.Create(128, 64), 0);
  MapInstance m;
  ASSERT_EQ(m.Select(6), 0);
  m.scale = 1;
  m.aspect = 1;
  m.SetOffset(0, 0);
  ASSERT_EQ(RenderProjection(world, m, map), 0);
  ASSERT_EQ(Reproject(map, m, back), 0);
  int compared = 0;
  for (int y = 0; y < 64; ++y) {
    for (int x = 1; x < 127; ++x) {  // not the seam, which the x offset pushes off the map
      const std::uint32_t got = back.GetPixel(x, y);
      if (got == kMagenta) continue;
      ++compared;
      EXPECT_NEAR(Channel(got, 0), Channel(world.GetPixel(x, y), 0), 3) << x << "," << y;
      EXPECT_NEAR(Channel(got, 1), Channel(world.GetPixel(x, y), 1), 3) << x << "," << y;
    }
  }
  EXPECT_GT(compared, 126 * 40);
}

}  // namespace
