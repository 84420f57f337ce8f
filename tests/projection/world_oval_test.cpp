// Hammer, Wagner VII and Van der Grinten: poles, the centre, points outside the outline, and Van
// der Grinten's accuracy where its classical formula cancels.
#include "projection/world_oval.h"

#include <gtest/gtest.h>

#include <cmath>

namespace Projection {
namespace {

constexpr double kUnwritten = 42;
constexpr double kHammerQ = 1.414213562;

TEST(Hammer, PolesHaveAnImageButNoInverse) {
  MapHammer p;
  double x, y;
  ASSERT_EQ(p.Forward(0, kPi, &x, &y), 0);
  EXPECT_NEAR(x, 2 * kHammerQ, 1e-15);
  EXPECT_NEAR(y, 0, 1e-15);
  ASSERT_EQ(p.Forward(kHalfPi, 0, &x, &y), 0);
  EXPECT_NEAR(x, 0, 1e-15);
  EXPECT_EQ(y, kHammerQ);
  double lat = kUnwritten, lon = kUnwritten;
  EXPECT_EQ(p.Inverse(x, y, &lat, &lon), -1);
  EXPECT_EQ(p.Inverse(0, 2.1, &lat, &lon), -1);  // outside 4 - x^2/4 - y^2 >= 0
  EXPECT_EQ(lat, kUnwritten);
  EXPECT_EQ(lon, kUnwritten);
  EXPECT_EQ(p.Inverse(2.85, 0.1, &lat, &lon), -1);  // inside that region, outside the ellipse
}

TEST(Hammer, RadiusAndOffsetsScaleTheRoundTrip) {
  MapHammer p;
  p.Init(0, -0.3, 0.5, 2.0, 3.0, 3.0, 0, 0);
  double x, y, lat, lon;
  ASSERT_EQ(p.Forward(0.5, 0.7, &x, &y), 0);
  ASSERT_EQ(p.Inverse(x, y, &lat, &lon), 0);
  EXPECT_NEAR(lat, 0.5, 1e-9);
  EXPECT_NEAR(lon, 0.7, 1e-9);
}

TEST(WagnerVII, CentreAndFixedLimits) {
  MapWagnerVII p;
  double x, y, lat = kUnwritten, lon = kUnwritten;
  ASSERT_EQ(p.Forward(0, kPi, &x, &y), 0);
  EXPECT_NEAR(x, 2.66723, 1e-12);
  EXPECT_NEAR(y, 0, 1e-15);
  EXPECT_EQ(p.Inverse(0, 0, &lat, &lon), -1);  // the centre itself
  EXPECT_EQ(lat, kUnwritten);
  ASSERT_EQ(p.Inverse(0.001, 0, &lat, &lon), 0);
  EXPECT_EQ(lat, 0);
  // The limits 1.5 and 2.75 stay fixed when the radius grows.
  p.Init(0, 0, 0, 0, 2, 2, 0, 0);
  ASSERT_EQ(p.Forward(0.2, 0.3, &x, &y), 0);
  ASSERT_EQ(p.Inverse(x, y, &lat, &lon), 0);
  EXPECT_NEAR(lat, 0.2, 1e-12);
  ASSERT_EQ(p.Forward(1.2, 0.1, &x, &y), 0);
  EXPECT_GT(y, 1.5);
  EXPECT_EQ(p.Inverse(x, y, &lat, &lon), -1);
}

TEST(VanDerGrinten, SpecialLinesAndTheirInverses) {
  MapVanDerGrinten p;
  const double theta = std::asin(1.4 / kPi);
  const struct {
    double lat, lon, x, y;
  } cases[] = {
      {0, 2.0, 2.0, 0},                        // the equator
      {kHalfPi, 1.0, 0, kPi},                  // a pole
      {0.7, 0, 0, kPi * std::tan(theta / 2)},  // the centre meridian
      {-0.7, 0, 0, -kPi * std::tan(theta / 2)},
  };
  for (const auto& c : cases) {
    double x, y, lat, lon;
    ASSERT_EQ(p.Forward(c.lat, c.lon, &x, &y), 0);
    EXPECT_NEAR(x, c.x, 1e-15);
    EXPECT_NEAR(y, c.y, 1e-15);
    ASSERT_EQ(p.Inverse(x, y, &lat, &lon), 0);
    EXPECT_NEAR(lat, c.lat, 1e-12);
    if (std::fabs(c.lat) != kHalfPi) {
      EXPECT_NEAR(lon, c.lon, 1e-12);
    }
  }
}

TEST(VanDerGrinten, OutsideTheCircleOnlyTheCentreMeridianAnswers) {
  MapVanDerGrinten p;
  double lat, lon;
  EXPECT_EQ(p.Inverse(3.2, 0, &lat, &lon), -1);
  ASSERT_EQ(p.Inverse(0, 3.5, &lat, &lon), 0);
  EXPECT_LT(lat, kHalfPi);
  EXPECT_GT(lat, 1.0);
}

// Near the equator close to the centre meridian the classical closed form subtracts nearly equal
// large numbers (up to a NaN from the root of a negative number). Reference values: the same
// formulas evaluated with 60 significant digits.
TEST(VanDerGrinten, ForwardKeepsItsDigitsNearTheEquatorAndCentreMeridian) {
  const struct {
    double lat, lon, x, y;
  } cases[] = {
      {0.001, 1e-07, 9.9999989867879575e-08, 0.0010000001013212043},
      {1e-06, 1e-07, 9.9999999999989858e-08, 1.0000000000001012e-06},
      {0.0001, 1e-05, 9.9999999898678825e-06, 0.00010000000010132122},
      {0.01, 1e-05, 9.9998986767631111e-06, 0.010000101323237214},
      {-0.3, -0.002, -0.001981421793312324, -0.30278674352715806},
      {1.2, 3.0, 2.3619771116148183, 1.8989488218800297},
      {1.5707, 0.5, 0.010864410652835154, 3.1081286493013791},
  };
  MapVanDerGrinten p;
  for (const auto& c : cases) {
    double x, y;
    ASSERT_EQ(p.Forward(c.lat, c.lon, &x, &y), 0);
    EXPECT_NEAR(x, c.x, 1e-12 * std::fmax(1, std::fabs(c.x))) << c.lat << " " << c.lon;
    EXPECT_NEAR(y, c.y, 1e-12 * std::fmax(1, std::fabs(c.y))) << c.lat << " " << c.lon;
  }
  for (double lat = 1e-9; lat < 0.1; lat *= 3.7) {
    for (double lon = 1e-9; lon < 0.1; lon *= 4.3) {
      double x, y, lat2, lon2;
      ASSERT_EQ(p.Forward(lat, lon, &x, &y), 0);
      ASSERT_TRUE(std::isfinite(x) && std::isfinite(y)) << lat << " " << lon;
      EXPECT_NEAR(y, lat, 2 * lat * lat + 1e-12) << lat << " " << lon;  // y ~ phi near the origin
      ASSERT_EQ(p.Inverse(x, y, &lat2, &lon2), 0);
      EXPECT_NEAR(lat2, lat, 1e-9);
    }
  }
}

// The iterative inverses of Aitoff and Winkel Tripel accept only points of the map: beyond the
// outline no latitude and longitude bring Forward back to the point, and nothing is written.
TEST(AitoffFamily, InverseRejectsPointsOffTheMapAndAnswersThePoles) {
  MapAitoff aitoff;
  MapWinkelTripel winkel;
  aitoff.Init(0, 0.5, 0, 0, 1, 1, 0, 0);
  winkel.Init(0, 0.5, 0, 0, 1, 1, 0, 0);
  const struct {
    MapProject* p;
    double x, y;
  } offMap[] = {
      {&aitoff, 3.0, 1.2}, {&aitoff, 0.2, 1.6},  {&aitoff, 3.2, 0},
      {&winkel, 2.5, 1.0}, {&winkel, 1.2, 1.55}, {&winkel, 0, 1.58},
  };
  for (const auto& c : offMap) {
    double lat = kUnwritten, lon = kUnwritten;
    EXPECT_EQ(c.p->Inverse(c.x, c.y, &lat, &lon), -1) << c.p->GetName() << " " << c.x << " " << c.y;
    EXPECT_EQ(lat, kUnwritten);
    EXPECT_EQ(lon, kUnwritten);
  }
  // Aitoff's pole is a point: its longitude is the centre's. Winkel Tripel's is a line of length 2.
  double lat, lon, x, y;
  ASSERT_EQ(aitoff.Inverse(0, kHalfPi, &lat, &lon), 0);
  EXPECT_NEAR(lat, kHalfPi, 1e-12);
  EXPECT_EQ(lon, 0.5);
  ASSERT_EQ(winkel.Forward(kHalfPi, 0.5 + 2.0, &x, &y), 0);
  EXPECT_NEAR(x, 2.0 / kPi, 1e-15);
  ASSERT_EQ(winkel.Inverse(x, y, &lat, &lon), 0);
  EXPECT_NEAR(lat, kHalfPi, 1e-9);
  EXPECT_NEAR(lon, 2.5, 1e-9);
}

}  // namespace
}  // namespace Projection
