// The five azimuthal projections: centre, horizon and antipode, outer radius, polar centres, and
// the classes' different windows.
#include "projection/azimuthal.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

namespace Projection {
namespace {

constexpr double kUnwritten = 42;

struct Azimuthal {
  MapProject* (*create)();
  const char* name;
};

const Azimuthal kAll[] = {
    {CreateAzimuthalEquidistant, "AzimuthalEquidistant"},
    {CreateGnomonic, "Gnomonic"},
    {CreateLambertAzimuthalEqualArea, "LambertAzimuthalEqualArea"},
    {CreateOrthographic, "Orthographic"},
    {CreateStereographic, "Stereographic"},
};

TEST(Azimuthal, TheCentreLandsOnTheOffsetPointAndBack) {
  for (const auto& a : kAll) {
    std::unique_ptr<MapProject> p(a.create());
    p->Init(0.6, 2.5, -0.25, 0.75, 2, 2, 0, 0);
    double x, y, lat, lon;
    ASSERT_EQ(p->Forward(0.6, 2.5, &x, &y), 0) << a.name;
    EXPECT_NEAR(x, 0.75, 1e-15) << a.name;
    EXPECT_NEAR(y, -0.25, 1e-15) << a.name;
    ASSERT_EQ(p->Inverse(0.75, -0.25, &lat, &lon), 0) << a.name;
    EXPECT_EQ(lat, 0.6) << a.name;
    EXPECT_EQ(lon, 2.5) << a.name;
  }
}

TEST(Azimuthal, ACentreLongitudeBeyondPiComesBackWrappedOnlyFromLambert) {
  for (const auto& a : kAll) {
    std::unique_ptr<MapProject> p(a.create());
    p->Init(0.2, 4.0, 0, 0, 1, 1, 0, 0);
    double lat, lon;
    ASSERT_EQ(p->Inverse(0, 0, &lat, &lon), 0) << a.name;
    const bool wraps = p->GetTypeCode() == 5;
    EXPECT_EQ(lon, wraps ? WrapAngle(4.0) : 4.0) << a.name;
  }
}

TEST(Azimuthal, PolarCentreReturnsTheLongitudeUnwrappedExceptLambert) {
  for (const auto& a : kAll) {
    std::unique_ptr<MapProject> p(a.create());
    p->Init(kHalfPi, 3.0, 0, 0, 1, 1, 0, 0);
    double lat, lon;
    ASSERT_EQ(p->Inverse(0.5, 0, &lat, &lon), 0) << a.name;  // due east of the centre
    const bool wraps = p->GetTypeCode() == 5;
    EXPECT_NEAR(lon, wraps ? 3.0 + kHalfPi - 2 * kPi : 3.0 + kHalfPi, 1e-15) << a.name;
    p->Init(-kHalfPi, 0, 0, 0, 1, 1, 0, 0);
    ASSERT_EQ(p->Inverse(0.5, 0, &lat, &lon), 0) << a.name;
    EXPECT_NEAR(lon, kHalfPi, 1e-15) << a.name;
    EXPECT_LT(lat, -0.5) << a.name;
  }
}

// Which points near the horizon and the antipode each class can show.
TEST(Azimuthal, ForwardRejectsTheFarSideAsEachClassMust) {
  const double tenThousandthDegree = 1e-4 * kPi / 180;
  const struct {
    MapProject* (*create)();
    double distance;  // from the centre (0, 0) along the equator
    bool shown;
  } cases[] = {
      {CreateOrthographic, kHalfPi, true},
      {CreateOrthographic, kHalfPi + tenThousandthDegree, false},
      {CreateGnomonic, kHalfPi + 1e-12, false},
      {CreateGnomonic, kHalfPi - 1e-3, true},
      {CreateStereographic, kPi, false},
      {CreateStereographic, kPi - 1e-3, true},
      {CreateAzimuthalEquidistant, kPi, false},
      {CreateAzimuthalEquidistant, kPi - 1e-4, true},
      {CreateLambertAzimuthalEqualArea, kPi - 1e-4, true},
      {CreateLambertAzimuthalEqualArea, kPi, false},  // cos(pi) is exactly -1
  };
  for (const auto& c : cases) {
    std::unique_ptr<MapProject> p(c.create());
    double x = kUnwritten, y = kUnwritten;
    EXPECT_EQ(p->Forward(0, c.distance, &x, &y) == 0, c.shown) << p->GetName() << " " << c.distance;
    if (!c.shown) {
      EXPECT_EQ(x, kUnwritten) << p->GetName();
    }
  }
  MapOrthographic ortho;
  double x, y;
  ASSERT_EQ(ortho.Forward(0, kHalfPi, &x, &y), 0);
  EXPECT_NEAR(std::hypot(x, y), 1, 1e-15);
}

TEST(Azimuthal, InverseOuterRadius) {
  const struct {
    MapProject* (*create)();
    double accepted, rejected;  // radii from the centre, R = 1
  } cases[] = {
      {CreateAzimuthalEquidistant, kPi, kPi + 1e-9},
      {CreateLambertAzimuthalEqualArea, 2.0, 2.0 + 1e-9},
      {CreateOrthographic, 1 + 1e-7, 1 + 1.1e-7},
  };
  for (const auto& c : cases) {
    std::unique_ptr<MapProject> p(c.create());
    double lat = kUnwritten, lon = kUnwritten;
    EXPECT_EQ(p->Inverse(c.accepted, 0, &lat, &lon), 0) << p->GetName();
    EXPECT_NEAR(std::fabs(lon), p->GetTypeCode() == 9 ? kHalfPi : kPi, 1e-7) << p->GetName();
    lat = lon = kUnwritten;
    EXPECT_EQ(p->Inverse(c.rejected, 0, &lat, &lon), -1) << p->GetName();
    EXPECT_EQ(lat, kUnwritten) << p->GetName();
    EXPECT_EQ(lon, kUnwritten) << p->GetName();
  }
}

TEST(Azimuthal, FarSouthernPointsOfANorthernCentreComeBack) {
  // Centred at 60 degrees north, 40 degrees south lies below the centred window (-30 degrees):
  // the stereographic window is fixed, and the other two test no window in their Inverse.
  const double centre = 60 * kDegToRad;
  for (auto create :
       {CreateStereographic, CreateAzimuthalEquidistant, CreateLambertAzimuthalEqualArea}) {
    std::unique_ptr<MapProject> p(create());
    p->Init(centre, 0, 0, 0, 1, 1, 0, 0);
    double x, y, lat, lon;
    ASSERT_EQ(p->Forward(-40 * kDegToRad, 0, &x, &y), 0) << p->GetName();
    ASSERT_EQ(p->Inverse(x, y, &lat, &lon), 0) << p->GetName();
    EXPECT_NEAR(lat, -40 * kDegToRad, 1e-12) << p->GetName();
  }
}

// The pole straight above the centre: t = cos c - sin(phi) sin(phi0) vanishes there, and each class
// has its own rule for it. The centre longitude lies beyond pi to show which answers are wrapped.
TEST(Azimuthal, ThePoleAboveTheCentreFollowsEachClassRule) {
  const struct {
    MapProject* (*create)();
    bool wrapped;
  } cases[] = {
      {CreateAzimuthalEquidistant, false},  // returns at once with lambda0
      {CreateGnomonic, false},
      {CreateStereographic, false},
      {CreateOrthographic, true},  // goes on with lambda0 to the wrap and the window test
  };
  for (const auto& c : cases) {
    std::unique_ptr<MapProject> p(c.create());
    p->Init(0.5, 4.0, 0.25, -0.5, 1, 1, 0, 0);
    double x, y, lat, lon;
    ASSERT_EQ(p->Forward(kHalfPi, 4.0, &x, &y), 0) << p->GetName();
    ASSERT_EQ(x, -0.5) << p->GetName();
    ASSERT_EQ(p->Inverse(x, y, &lat, &lon), 0) << p->GetName();
    EXPECT_NEAR(lat, kHalfPi, 1e-7) << p->GetName();
    EXPECT_EQ(lon, c.wrapped ? WrapAngle(4.0) : 4.0) << p->GetName();
  }
  // Lambert keeps lambda0 only for t exactly 0; otherwise the direction comes from the sign of
  // the rounded t, but the answer is always wrapped.
  MapLambertAzimuthalEqualArea laea;
  laea.Init(0.5, 4.0, 0, 0, 1, 1, 0, 0);
  double x, y, lat, lon;
  ASSERT_EQ(laea.Forward(kHalfPi, 4.0, &x, &y), 0);
  ASSERT_EQ(laea.Inverse(x, y, &lat, &lon), 0);
  EXPECT_LE(std::fabs(lon), kPi);
}

}  // namespace
}  // namespace Projection
