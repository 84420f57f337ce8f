// The example module and the example Projection.txt, loaded from beside the test program as the
// build places them.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "projection/proj_oracle.h"  // tests/projection
#include "registry/map_instance.h"
#include "registry/registry_fixture.h"

namespace {

using Projection::kDegToRad;

class ExamplesTest : public BuiltinRegistryTest {
 protected:
  void SetUp() override {
    registry().UnloadAll();
    registry().LoadAll(ExecutableDirectory());
  }
};

TEST_F(ExamplesTest, ModuleAndCompositesAreListed) {
  EXPECT_EQ(registry().GetSlotName(16), "Eckert II");
  EXPECT_EQ(
      registry().GetSlotFlags(16),
      static_cast<std::uint32_t>(Projection::MAP_PSEUDOCYLINDRICAL | Projection::MAP_EQUAL_AREA));
  const char* names[] = {"Two-lobed Sinusoidal", "Goode Homolosine", "Interrupted Mollweide",
                         "Pointy Icosahedral"};
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(registry().GetSlotName(100 + i), names[i]);
    EXPECT_EQ(registry().GetSlotFlags(100 + i), static_cast<std::uint32_t>(0x80));
  }
}

TEST_F(ExamplesTest, EckertIIAgreesWithProjAndInvertsBack) {
  MapInstance m;
  ASSERT_EQ(m.Select(16), 0);
  m.SetOffset(0, 0);
  Projection::MapProject* p = m.projection;
  oracle::ProjOracle proj("+proj=eck2 +R=1");
  ASSERT_TRUE(proj.valid());
  for (double lat = -90; lat <= 90; lat += 7.5) {
    for (double lon = -180; lon <= 180; lon += 15) {
      double x, y, ox, oy, backLat, backLon;
      ASSERT_EQ(p->Forward(lat * kDegToRad, lon * kDegToRad, &x, &y), 0);
      ASSERT_TRUE(proj.Forward(lat * kDegToRad, lon * kDegToRad, &ox, &oy));
      EXPECT_NEAR(x - p->offsetX, ox, 1e-9) << lat << " " << lon;
      EXPECT_NEAR(y, oy, 1e-9) << lat << " " << lon;
      // Poles have every longitude; the outline at +-180 may round to just outside the window.
      if (std::fabs(lat) == 90 || std::fabs(lon) == 180) continue;
      ASSERT_EQ(p->Inverse(x, y, &backLat, &backLon), 0) << lat << " " << lon;
      EXPECT_NEAR(backLat, lat * kDegToRad, 1e-9);
      EXPECT_NEAR(backLon, lon * kDegToRad, 1e-9) << lat << " " << lon;
    }
  }
  double left, top, right, bottom;
  p->GetBounds(&left, &top, &right, &bottom);
  EXPECT_NEAR(right * p->GetUnitScale(), 1, 1e-15);
  EXPECT_NEAR(top * p->GetUnitScale(), 0.5, 1e-12);
}

// Points off the lobes' edges and off the parallels where the pieces join.
TEST_F(ExamplesTest, EveryExampleCompositeInvertsItsForward) {
  for (int code = 100; code <= 103; ++code) {
    MapInstance m;
    ASSERT_EQ(m.Select(code), 0);
    Projection::MapProject* p = m.projection;
    int placed = 0;
    for (double lat = -87.3; lat < 90; lat += 6.1) {
      for (double lon = -177.7; lon < 180; lon += 9.3) {
        double x, y, backLat, backLon;
        if (p->Forward(lat * kDegToRad, lon * kDegToRad, &x, &y) != 0) continue;
        ++placed;
        EXPECT_GE(x, -1);
        EXPECT_LE(x, 1);
        ASSERT_EQ(p->Inverse(x, y, &backLat, &backLon), 0) << code << ": " << lat << " " << lon;
        EXPECT_NEAR(backLat, lat * kDegToRad, 1e-8) << code << ": " << lat << " " << lon;
        EXPECT_NEAR(backLon, lon * kDegToRad, 1e-8) << code << ": " << lat << " " << lon;
      }
    }
    EXPECT_GT(placed, 1000) << code;
  }
}

TEST_F(ExamplesTest, GoodesPiecesMeetAtTheJoiningParallels) {
  MapInstance m;
  ASSERT_EQ(m.Select(101), 0);
  const double join = (40 + 44 / 60.0 + 11.8 / 3600) * kDegToRad;
  for (double side : {-1.0, 1.0}) {
    for (double lon = -170; lon <= 170; lon += 20) {
      double x1, y1, x2, y2;
      ASSERT_EQ(m.projection->Forward(side * (join - 1e-9), lon * kDegToRad, &x1, &y1), 0);
      ASSERT_EQ(m.projection->Forward(side * (join + 1e-9), lon * kDegToRad, &x2, &y2), 0);
      // Within a hundredth of a pixel of a 1024-wide map: the joining parallel is given to a
      // tenth of a second, and the Mollweide constants are rounded.
      EXPECT_NEAR(x1, x2, 1e-5) << side << " " << lon;
      EXPECT_NEAR(y1, y2, 1e-5) << side << " " << lon;
    }
  }
}

}  // namespace
