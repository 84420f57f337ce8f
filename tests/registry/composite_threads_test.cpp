// Composites in the parallel reprojection loop: the single-threaded picture for any number of
// threads, and the shipped interrupted maps converted back without seams.
#include <gtest/gtest.h>
#include <omp.h>

#include <cmath>
#include <cstdint>
#include <cstring>

#include "engine/reproject.h"
#include "parser/tokenizer.h"
#include "registry/registry_fixture.h"

namespace {

class CompositeThreadsTest : public BuiltinRegistryTest {};

void Reprojected(const VideoBuffer& source, const MapInstance& instance, int threads,
                 VideoBuffer* out) {
  ASSERT_EQ(out->Create(512, 256), 0);
  omp_set_num_threads(threads);
  ASSERT_EQ(Reproject(source, instance, *out), 0);
}

TEST_F(CompositeThreadsTest, ParallelReprojectionMatchesOneThread) {
  // Five lobes with the cache on: every thread tries the segment that answered it last first.
  Parser::Tokenizer tokens;
  ASSERT_EQ(tokens.OpenText("Projection 130 Lobes Scale 1 Extent -1, 0.5, 1, -0.5\n"
                            "Segment 'Sinusoidal' 0, -90, 0, 0, 1, 0, 0 Offset -0.5, 0 "
                            "  Effective -180, -0.1, 0.1, -90 EndSegment\n"
                            "Segment 'Mollweide' 0, 90, 0, 0, 1, 0, 0 Offset 0.5, 0 "
                            "  Effective 0.2, -0.1, 180, -90 EndSegment\n"
                            "Segment 'Sinusoidal' 0, -120, 0, 0, 1, 0, 0 Offset -120/180, 0 "
                            "  Effective -180, 90, -60.2, 0.1 EndSegment\n"
                            "Segment 'Pointy' 0, 0, 0, 0, 1, 0, 0 Offset 0, 0 "
                            "  Effective -60.1, 90, 60.1, 0.1 EndSegment\n"
                            "Segment 'Sinusoidal' 0, 120, 0, 0, 1, 0, 0 Offset 120/180, 0 "
                            "  Rotate 5 Effective 60.2, 90, 180, 0.1 EndSegment\n"
                            "EndProjection"),
            0);
  registry().ReadDefinitions(tokens);
  MapInstance instance;
  ASSERT_EQ(instance.Select(130), 0);
  instance.SetAspect(0.5);

  VideoBuffer source;
  ASSERT_EQ(source.Create(300, 150), 0);
  for (int y = 0; y < 150; ++y) {
    for (int x = 0; x < 300; ++x) {
      source.SetPixel(x, y, static_cast<std::uint32_t>(x * 7 + y * 131 * 256 + (x ^ y) * 65536));
    }
  }
  VideoBuffer one;
  Reprojected(source, instance, 1, &one);
  int magenta = 0;
  for (int y = 0; y < 256; ++y) {
    for (int x = 0; x < 512; ++x) magenta += one.GetPixel(x, y) == 0x00FF00FFu;
  }
  EXPECT_LT(magenta, 512 * 256 / 2);  // the map covers most of the picture
  // A race shows only now and then; a few runs make it likely to show.
  for (int run = 0; run < 6; ++run) {
    VideoBuffer many;
    Reprojected(source, instance, 4, &many);
    int differing = 0;
    for (int y = 0; y < 256; ++y) {
      for (int x = 0; x < 512; ++x) differing += one.GetPixel(x, y) != many.GetPixel(x, y);
    }
    ASSERT_EQ(differing, 0) << "run " << run;
  }
}

// The example Projection.txt beside the test program, as beside the programs.
class ShippedCompositesTest : public BuiltinRegistryTest {
 protected:
  void SetUp() override {
    registry().UnloadAll();
    registry().LoadAll(ExecutableDirectory());
  }
};

constexpr int kShipped[] = {100, 101, 102, 103};

// A smooth world far from black, continuous across the date line and along each pole.
std::uint32_t WorldColour(double lat, double lon) {
  const auto r = static_cast<std::uint32_t>(160 + 60 * std::sin(lat));
  const auto g = static_cast<std::uint32_t>(160 + 60 * std::cos(lat) * std::cos(lon));
  const auto b = static_cast<std::uint32_t>(160 + 60 * std::cos(lat) * std::sin(lon));
  return 0xFF000000u | b << 16 | g << 8 | r;
}

TEST_F(ShippedCompositesTest, ConvertedBackWithoutSeamsAndTheSameForAnyThreadCount) {
  constexpr int kW = 360, kH = 180;
  VideoBuffer world;
  ASSERT_EQ(world.Create(kW, kH), 0);
  for (int y = 0; y < kH; ++y) {
    for (int x = 0; x < kW; ++x) {
      world.SetPixel(x, y, WorldColour((2.0 * y / kH - 1) * M_PI / 2, (2.0 * x / kW - 1) * M_PI));
    }
  }
  const int saved = omp_get_max_threads();
  for (const int code : kShipped) {
    MapInstance m;
    ASSERT_EQ(m.Select(code), 0) << code;
    m.SetAspect(0.5);
    // The interrupted map as a user has it: black between the lobes, no alpha.
    VideoBuffer map;
    ASSERT_EQ(map.Create(720, 360), 0);
    ASSERT_EQ(RenderProjection(world, m, map), 0);
    for (int y = 0; y < 360; ++y) {
      for (int x = 0; x < 720; ++x) {
        if (map.GetPixel(x, y) >> 24 == 0) map.SetPixel(x, y, 0xFF000000u);
      }
    }
    VideoBuffer one;
    ASSERT_EQ(one.Create(kW, kH), 0);
    omp_set_num_threads(1);
    ASSERT_EQ(Reproject(map, m, one), 0);
    int seams = 0, missing = 0;
    for (int y = 0; y < kH; ++y) {
      for (int x = 0; x < kW; ++x) {
        const std::uint32_t got = one.GetPixel(x, y), want = world.GetPixel(x, y);
        if (got == 0x00FF00FFu) {
          ++missing;
          continue;
        }
        for (int ch = 0; ch < 3; ++ch) {
          seams += std::abs(static_cast<int>((got >> 8 * ch) & 0xFF) -
                            static_cast<int>((want >> 8 * ch) & 0xFF)) > 12;
        }
      }
    }
    EXPECT_EQ(missing, 0) << m.GetName();
    EXPECT_EQ(seams, 0) << m.GetName();
    for (const int threads : {2, 8}) {
      VideoBuffer many;
      ASSERT_EQ(many.Create(kW, kH), 0);
      omp_set_num_threads(threads);
      ASSERT_EQ(Reproject(map, m, many), 0);
      EXPECT_EQ(std::memcmp(one.pixels, many.pixels, one.ByteCount()), 0)
          << m.GetName() << ", " << threads << " threads";
    }
  }
  omp_set_num_threads(saved);
}

}  // namespace
