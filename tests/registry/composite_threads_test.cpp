// A composite used by the parallel reprojection loop gives the single-threaded picture.
#include <gtest/gtest.h>
#include <omp.h>

#include <cstdint>

#include "parser/tokenizer.h"
#include "engine/reproject.h"
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
  // Five lobes with the move-to-front cache on: every thread reorders the search. The effective
  // regions are disjoint, so no point has two answers that the search order would choose between.
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

}  // namespace
