// The pointy projection: its rhombus outline and how longitudes wrap.
#include "projection/pointy.h"

#include <gtest/gtest.h>

#include <cmath>

namespace Projection {
namespace {

constexpr double kUnwritten = 42;

TEST(Pointy, ForwardDrawsARhombusWithWrappedLongitudes) {
  const struct {
    double lat, lon, x, y;
  } cases[] = {
      {0, kPi, kPi, 0},                      // the right corner
      {0, -kPi, -kPi, 0},                    // the left corner: pi is not wrapped
      {kPi / 4, kPi, kHalfPi, kPi / 4},      // half-way up the right edge
      {-kPi / 4, -kPi, -kHalfPi, -kPi / 4},  // half-way down the left edge
      {kHalfPi, 2.5, 0, kHalfPi},            // the top tip, whatever the longitude
      {-kHalfPi, -1.0, 0, -kHalfPi},
      {0, 1.5 * kPi, -kHalfPi, 0},  // beyond pi: wrapped to the other side
      {0, -2.5 * kPi, -kHalfPi, 0},
  };
  MapPointy p;
  for (const auto& c : cases) {
    double x, y;
    ASSERT_EQ(p.Forward(c.lat, c.lon, &x, &y), 0);
    EXPECT_NEAR(x, c.x, 1e-15) << c.lat << " " << c.lon;
    EXPECT_NEAR(y, c.y, 1e-15) << c.lat << " " << c.lon;
  }
}

TEST(Pointy, InverseAcceptsExactlyTheRhombus) {
  MapPointy p;
  p.Init(0.3, 1.0, -0.5, 2.0, 1, 1, 0, 0);  // centre latitude is not used
  // Points of the rhombus' edge |x - x0| = pi (1 - 2 |y - y0| / pi), just inside and outside.
  for (double v = -1.5; v <= 1.5; v += 0.25) {
    const double halfWidth = kPi * (1 - std::fabs(v) * 2 / kPi);
    for (double side : {1.0, -1.0}) {
      double lat, lon;
      ASSERT_EQ(p.Inverse(2.0 + side * halfWidth * (1 - 1e-12), -0.5 + v, &lat, &lon), 0) << v;
      EXPECT_NEAR(lat, v, 1e-15);
      EXPECT_NEAR(std::fabs(WrapAngle(lon - 1.0)), kPi, 1e-9) << v;
      EXPECT_EQ(p.Inverse(2.0 + side * halfWidth * (1 + 1e-9), -0.5 + v, &lat, &lon), -1) << v;
    }
  }
}

TEST(Pointy, InverseFailuresAndTips) {
  MapPointy p;
  double lat = kUnwritten, lon = kUnwritten;
  ASSERT_EQ(p.Inverse(kHalfPi, kPi / 4, &lat, &lon), 0);
  EXPECT_DOUBLE_EQ(lat, kPi / 4);
  EXPECT_DOUBLE_EQ(lon, kPi);
  // Outside the rhombus: both outputs are written before the failure.
  EXPECT_EQ(p.Inverse(2, kPi / 4, &lat, &lon), -1);
  EXPECT_DOUBLE_EQ(lat, kPi / 4);
  EXPECT_NEAR(lon, 4 - 2 * kPi, 1e-12);
  // On a pole's line only the latitude is written.
  lon = kUnwritten;
  EXPECT_EQ(p.Inverse(0, kHalfPi, &lat, &lon), -1);
  EXPECT_EQ(lat, kHalfPi);
  EXPECT_EQ(lon, kUnwritten);
  // Within epsilon of a tip the parallel has no width: the centre longitude.
  p.Init(0, -2.0, 0, 0, 1, 1, 0, 0);
  ASSERT_EQ(p.Inverse(0, kHalfPi - 1e-11, &lat, &lon), 0);
  EXPECT_EQ(lon, -2.0);
}

}  // namespace
}  // namespace Projection
