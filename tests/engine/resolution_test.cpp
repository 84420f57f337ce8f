// The export width that keeps a source's resolution, against the projections' own formulas.
#include "engine/resolution.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "registry/registry_fixture.h"

namespace {

using ResolutionTest = BuiltinRegistryTest;

TEST_F(ResolutionTest, WidthFollowsTheMeridianScaleAtTheCentre) {
  constexpr double pi = std::numbers::pi;
  // A 4096 x 2048 Mollweide map whose ellipse spans the picture: the ellipse is 4 sqrt 2 R wide
  // and the meridian at the equator runs at pi sqrt 2 / 4 R per radian, so 2 pi x that is
  // pi^2 x 4096 / 8 = 5053.2 pixels, 5056 rounded up to a multiple of 16.
  MapInstance mollweide;
  ASSERT_EQ(mollweide.SelectByName("Mollweide"), 0);
  mollweide.SetOffset(0, 0);
  double x = 0, y = 0;
  ASSERT_EQ(mollweide.projection->Forward(0, pi, &x, &y), 0);
  mollweide.scale = mollweide.unitFactor / std::fabs(x);
  mollweide.aspect = 0.5;
  EXPECT_EQ(NativeExportWidth(mollweide, 4096, 2048), 5056);
  EXPECT_NEAR(std::ceil(pi * pi * 4096 / 8 / 16) * 16, 5056, 0);
  // Half the picture, half the width (2526.6 up to 2528).
  EXPECT_EQ(NativeExportWidth(mollweide, 2048, 1024), 2528);

  // An equirectangular picture at scale 1 and aspect 0.5 keeps its own width.
  MapInstance plate;
  plate.aspect = 0.5;
  plate.Apply();
  EXPECT_EQ(NativeExportWidth(plate, 4000, 2000), 4000);
  // At the pole of a globe only one side of the meridian exists; it is still measured.
  MapInstance globe;
  ASSERT_EQ(globe.SelectByName("Orthographic"), 0);
  globe.SetCenter(-90, 0);
  EXPECT_GT(NativeExportWidth(globe, 1000, 1000), 0);
  EXPECT_EQ(NativeExportWidth(plate, 0, 0), 0);
}

TEST_F(ResolutionTest, ParallelsAreOfferedWhereTheyChangeTheMap) {
  for (const auto& [name, uses] : {std::pair{"Lambert Conformal Conic", true},
                                   {"Equidistant Conic", true},
                                   {"Mollweide", false},
                                   {"Orthographic", false}}) {
    MapInstance m;
    ASSERT_EQ(m.SelectByName(name), 0) << name;
    EXPECT_EQ(UsesParallels(m), uses) << name;
  }
}

}  // namespace
