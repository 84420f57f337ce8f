// Equirectangular, Mercator and Miller: window tests, poles, and what an Inverse writes on failure.
#include "projection/cylindrical.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

namespace Projection {
namespace {

TEST(Equirectangular, ForwardAndInverseOfASimplePoint) {
  MapEquirectangular p;
  double x, y, lat, lon;
  ASSERT_EQ(p.Forward(0.5, 1.0, &x, &y), 0);  // before Init: centre (0, 0)
  EXPECT_DOUBLE_EQ(x, 1.0);
  EXPECT_DOUBLE_EQ(y, 0.5);
  ASSERT_EQ(p.Inverse(1.0, 0.5, &lat, &lon), 0);
  EXPECT_DOUBLE_EQ(lat, 0.5);
  EXPECT_DOUBLE_EQ(lon, 1.0);
}

TEST(Equirectangular, InverseTestsTheUnreducedLongitude) {
  MapEquirectangular p;
  double lat = 0, lon = 0;
  EXPECT_EQ(p.Inverse(3.5, 0, &lat, &lon), -1);
  p.Init(0, 1.0, 0, 0, 1, 1, 0, 0);
  ASSERT_EQ(p.Inverse(3.0, 0, &lat, &lon), 0);
  EXPECT_DOUBLE_EQ(lon, 4.0 - kTwoPi);
}

TEST(Equirectangular, InverseBeyondThePoleWritesOnlyTheLatitude) {
  MapEquirectangular p;
  double lat = 0, lon = 42;
  EXPECT_EQ(p.Inverse(0, 1.6, &lat, &lon), -1);
  EXPECT_EQ(lat, 1.6);
  EXPECT_EQ(lon, 42);
}

TEST(Cylindrical, OffsetsAreAddedAndTheHalfTurnIsNotWrapped) {
  for (auto create : {CreateEquirectangular, CreateMercator, CreateMillerCylindrical}) {
    std::unique_ptr<MapProject> p(create());
    p->Init(0, 0.5, 0.25, -0.75, 1, 1, 0, 0);
    double x, y;
    ASSERT_EQ(p->Forward(0, 0.5 + kPi, &x, &y), 0) << p->GetName();
    EXPECT_DOUBLE_EQ(x, kPi - 0.75) << p->GetName();
    EXPECT_NEAR(y, 0.25, 1e-15) << p->GetName();
    ASSERT_EQ(p->Forward(0, 0.5 - kPi, &x, &y), 0) << p->GetName();
    EXPECT_DOUBLE_EQ(x, -kPi - 0.75) << p->GetName();
  }
}

TEST(Mercator, PolesHaveNoImageAndNothingIsWritten) {
  MapMercator p;
  double x = 7, y = 7;
  EXPECT_EQ(p.Forward(kHalfPi, 0, &x, &y), -1);
  EXPECT_EQ(p.Forward(-kHalfPi + 1e-11, 0.3, &x, &y), -1);
  EXPECT_EQ(x, 7);
  EXPECT_EQ(y, 7);
  ASSERT_EQ(p.Forward(1.5, 0, &x, &y), 0);
  EXPECT_NEAR(y, std::log(std::tan(kQuarterPi + 0.75)), 1e-12);
}

TEST(Mercator, MinorAxisLongerThanMajorKeepsTheSphere) {
  MapMercator p;
  EXPECT_EQ(p.Init(0, 0, 0, 0, 1.0, 2.0, 0, 0), 0);
  EXPECT_EQ(p.e, 0.0);
  double x, y;
  ASSERT_EQ(p.Forward(0.7, 0.2, &x, &y), 0);
  EXPECT_TRUE(std::isfinite(y));
}

TEST(Mercator, EllipsoidRoundTrip) {
  MapMercator p;
  p.Init(0, 0, 0, 0, 1.0, 0.996647189328169, 0, 0);  // WGS 84 flattening
  EXPECT_GT(p.e, 0.08);
  for (double lat = -1.4; lat <= 1.4; lat += 0.2) {
    double x, y, lat2, lon2;
    ASSERT_EQ(p.Forward(lat, 0.4, &x, &y), 0);
    ASSERT_EQ(p.Inverse(x, y, &lat2, &lon2), 0);
    EXPECT_NEAR(lat2, lat, 1e-10);
    EXPECT_NEAR(lon2, 0.4, 1e-12);
  }
}

TEST(Miller, ThePolesHaveAnImage) {
  MapMillerCylindrical p;
  double x, y, lat, lon;
  ASSERT_EQ(p.Forward(kHalfPi, 0, &x, &y), 0);
  EXPECT_NEAR(y, 1.25 * std::log(std::tan(0.45 * kPi)), 1e-12);
  ASSERT_EQ(p.Inverse(x, y, &lat, &lon), 0);
  EXPECT_NEAR(lat, kHalfPi, 1e-12);
}

TEST(Cylindrical, ACentreLatitudeDoesNotNarrowTheWindow) {
  MapEquirectangular p;
  p.Init(0.5, 0, 0, 0, 1, 1, 0, 0);
  double lat, lon;
  EXPECT_EQ(p.Inverse(0, -1.5, &lat, &lon), 0);
  EXPECT_EQ(p.latMin, -kHalfPi);
}

}  // namespace
}  // namespace Projection
