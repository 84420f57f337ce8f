// Sinusoidal, Mollweide, Wagner IV and Wagner VI: poles, points beyond the outline, and what an
// Inverse writes when it fails.
#include "projection/pseudocylindrical.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

namespace Projection {
namespace {

constexpr double kUnwritten = 42;

TEST(Mollweide, PolesConvergeAndCollapseOntoTheCentreMeridian) {
  MapMollweide p;
  p.Init(0, 0.4, 0.25, -0.5, 1, 1, 0, 0);
  for (double lat : {kHalfPi, -kHalfPi, kHalfPi - 5e-11}) {
    for (double lon : {0.4, 1.0, -2.0, 0.4 + kPi}) {
      double x = 0, y = 0;
      ASSERT_EQ(p.Forward(lat, lon, &x, &y), 0) << lat << " " << lon;
      EXPECT_EQ(x, -0.5);
      EXPECT_LT(std::fabs(y - 0.25), 1.4142135623731);
      EXPECT_GT(std::fabs(y - 0.25), 1.4142135623731 - 1e-9);
    }
  }
  // Just outside the pole rule the point is still on the tip to map precision.
  double x, y;
  ASSERT_EQ(p.Forward(kHalfPi - 1e-9, 2.0, &x, &y), 0);
  EXPECT_NEAR(x, -0.5, 1e-5);
}

TEST(Mollweide, InverseClampsPointsAboveTheEllipseToThePole) {
  MapMollweide p;
  double lat, lon;
  ASSERT_EQ(p.Inverse(0, 2.0, &lat, &lon), 0);
  EXPECT_DOUBLE_EQ(lat, kHalfPi);
  EXPECT_EQ(lon, 0);
  EXPECT_EQ(p.Inverse(0.5, 2.0, &lat, &lon), -1);
  EXPECT_EQ(p.Inverse(2.9, 0, &lat, &lon), -1);  // right of the ellipse
  ASSERT_EQ(p.Inverse(2.8, 0, &lat, &lon), 0);
  EXPECT_NEAR(lon, 2.8 / 0.900316316158, 1e-12);
}

TEST(WagnerIV, InverseRejectsOutOfRangeArcsinesWithoutWriting) {
  MapWagnerIV p;
  double x = 0, y = 0;
  ASSERT_EQ(p.Forward(kHalfPi, 1.0, &x, &y), 0);
  EXPECT_LT(y, 1.375);
  EXPECT_GT(y, 1.3);
  EXPECT_GT(std::fabs(x), 0.1);  // the pole is a line
  double lat = kUnwritten, lon = kUnwritten;
  EXPECT_EQ(p.Inverse(0, 1.6, &lat, &lon), -1);
  EXPECT_EQ(lat, kUnwritten);
  EXPECT_EQ(lon, kUnwritten);
  // The top line itself maps back to the pole.
  ASSERT_EQ(p.Inverse(x, y, &lat, &lon), 0);
  EXPECT_NEAR(lat, kHalfPi, 1e-7);
  EXPECT_NEAR(lon, 1.0, 1e-9);
}

// Sinusoidal and Wagner VI: y is the latitude, the pole lines are rejected by Inverse.
TEST(SinusoidalAndWagnerVI, PoleLinesAndOutlines) {
  const struct {
    MapProject* (*create)();
    double poleHalfWidth;  // x of (pi/2, pi)
  } cases[] = {{CreateSinusoidal, 0.0}, {CreateWagnerVI, kHalfPi}};
  for (const auto& c : cases) {
    std::unique_ptr<MapProject> p(c.create());
    double x, y;
    ASSERT_EQ(p->Forward(kHalfPi, kPi, &x, &y), 0);
    EXPECT_NEAR(x, c.poleHalfWidth, 1e-15) << p->GetName();
    EXPECT_EQ(y, kHalfPi);
    double lat = kUnwritten, lon = kUnwritten;
    EXPECT_EQ(p->Inverse(0, kHalfPi, &lat, &lon), -1) << p->GetName();
    EXPECT_EQ(lat, kHalfPi);
    EXPECT_EQ(lon, kUnwritten);
    EXPECT_EQ(p->Inverse(3.0, 1.0, &lat, &lon), -1) << p->GetName();  // right of the outline
    ASSERT_EQ(p->Inverse(0.1, 1.5, &lat, &lon), 0) << p->GetName();
    EXPECT_EQ(lat, 1.5);
  }
  MapSinusoidal s;
  double lat, lon;
  ASSERT_EQ(s.Inverse(0.1, 1.5, &lat, &lon), 0);
  EXPECT_DOUBLE_EQ(lon, 0.1 / std::cos(1.5));
}

}  // namespace
}  // namespace Projection

namespace Projection {
namespace {

// Near the poles the slope of Eckert IV's auxiliary equation vanishes; a Newton iteration that
// stops early answers with the pole line (PROJ's is 3e-5 off at 89.999 degrees). 40-digit values.
TEST(EckertIV, AuxiliaryAngleConvergesUpToThePoles) {
  const struct {
    double latDeg, xPerRadian, y;
  } cases[] = {
      {89.999, 0.42224804720506362681, 1.3265004278162904258},
      {45, 0.74068586228860740619, 0.87105541028907295809},
      {-0.5, 0.84446358817505483742, -0.010333716401086512802},
  };
  MapEckertIV p;
  p.Init(0, 0, 0, 0, 1, 1, 0, 0);
  for (const auto& c : cases) {
    double x, y;
    ASSERT_EQ(p.Forward(c.latDeg * kDegToRad, 1.0, &x, &y), 0) << c.latDeg;
    EXPECT_NEAR(x, c.xPerRadian, 1e-12) << c.latDeg;
    EXPECT_NEAR(y, c.y, 1e-12) << c.latDeg;
  }
}

}  // namespace
}  // namespace Projection
