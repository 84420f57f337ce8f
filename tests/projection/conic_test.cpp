// Albers, Lambert conformal and equidistant conics: refused parallels, poles and apex, the cone's
// sector, the window that follows the latitude of origin, and the ellipsoid.
#include "projection/conic.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

namespace Projection {
namespace {

constexpr double kDeg = kDegToRad;

struct Conic {
  MapProject* (*create)();
  const char* name;
};

const Conic kAll[] = {
    {CreateAlbersEqualAreaConic, "Albers"},
    {CreateLambertConformalConic, "Lambert"},
    {CreateEquidistantConic, "Equidistant"},
};

// Every constant a Forward or Inverse reads besides the common ones.
struct ConeConstants {
  double c, es, e, e0, e1, e2, e3, rho0, ns, g, ml0, coneF, coneN;
  bool operator==(const ConeConstants&) const = default;
};

ConeConstants ConstantsOf(const MapProject& p) {
  ConeConstants k{p.c, p.es, p.e, p.e0, p.e1, p.e2, p.e3, p.rho0, p.ns, p.g, p.ml0, 0, 0};
  if (auto* lcc = dynamic_cast<const MapLambertConformalConic*>(&p)) {
    k.coneF = lcc->coneF;
    k.coneN = lcc->coneN;
  }
  if (auto* eqdc = dynamic_cast<const MapEquidistantConic*>(&p)) k.coneN = eqdc->coneN;
  return k;
}

TEST(Conic, RefusedParallelsKeepTheLastCone) {
  const struct {
    MapProject* (*create)();
    double parallel1, parallel2;
  } refused[] = {
      {CreateAlbersEqualAreaConic, 30 * kDeg, -30 * kDeg},
      {CreateLambertConformalConic, 30 * kDeg, -30 * kDeg},
      {CreateAlbersEqualAreaConic, 0, 0},
      {CreateLambertConformalConic, 0, 0},
      // A standard parallel on the equator would make a cone constant of 0.
      {CreateEquidistantConic, 0, 40 * kDeg},
      {CreateEquidistantConic, kPi, 40 * kDeg},
  };
  for (const auto& r : refused) {
    std::unique_ptr<MapProject> p(r.create());
    ASSERT_EQ(p->Init(0, 0, 0, 0, 1, 1, 20 * kDeg, 50 * kDeg), 0) << p->GetName();
    const ConeConstants before = ConstantsOf(*p);
    EXPECT_EQ(p->Init(10 * kDeg, 1.0, 0, 0, 1, 1, r.parallel1, r.parallel2), -1) << p->GetName();
    EXPECT_EQ(ConstantsOf(*p), before) << p->GetName();
    EXPECT_EQ(p->centerLon, 1.0);  // the common part is replaced all the same
    double x, y;
    ASSERT_EQ(p->Forward(35 * kDeg, 1.2, &x, &y), 0) << p->GetName();
    EXPECT_TRUE(std::isfinite(x) && std::isfinite(y)) << p->GetName();
  }
  // The equidistant conic ignores the second parallel.
  MapEquidistantConic eqdc;
  EXPECT_EQ(eqdc.Init(0, 0, 0, 0, 1, 1, 30 * kDeg, -30 * kDeg), 0);
}

TEST(Conic, ConeConstantsOfSimpleParallels) {
  MapAlbersEqualAreaConic albers;
  ASSERT_EQ(albers.Init(0, 0, 0, 0, 1, 1, 30 * kDeg, 30 * kDeg), 0);
  EXPECT_NEAR(albers.ns, 0.5, 1e-15);
  MapLambertConformalConic lambert;
  ASSERT_EQ(lambert.Init(0, 0, 0, 0, 1, 1, 30 * kDeg, 30 * kDeg), 0);
  EXPECT_NEAR(lambert.coneN, 0.5, 1e-15);
  ASSERT_EQ(lambert.Init(0, 0, 0, 0, 1, 1, 20 * kDeg, 50 * kDeg), 0);
  EXPECT_NEAR(lambert.coneF, lambert.rho0, 1e-15);
  MapEquidistantConic eqdc;
  ASSERT_EQ(eqdc.Init(0, 0, 0, 0, 1, 1, 45 * kDeg, 10 * kDeg), 0);
  EXPECT_NEAR(eqdc.coneN, std::sin(45 * kDeg), 1e-15);
  EXPECT_NEAR(eqdc.g, 1 + kPi / 4, 1e-15);
  EXPECT_NEAR(eqdc.rho0, 1 + kPi / 4, 1e-15);
}

TEST(Conic, LambertPolesAndApex) {
  for (double sign : {1.0, -1.0}) {  // northern and southern cone
    MapLambertConformalConic p;
    ASSERT_EQ(p.Init(0, 0, 0, 0, 1, 1, sign * 20 * kDeg, sign * 50 * kDeg), 0);
    double x, y, lat, lon;
    ASSERT_EQ(p.Forward(sign * kHalfPi, 0.3, &x, &y), 0);
    EXPECT_NEAR(x, 0, 1e-15);
    EXPECT_NEAR(y, p.rho0, 1e-15);
    EXPECT_EQ(p.Inverse(x, y, &lat, &lon), -1);  // the apex is never returned
    x = y = 42;
    EXPECT_EQ(p.Forward(-sign * kHalfPi, 0.3, &x, &y), -1);
    EXPECT_EQ(x, 42);
    EXPECT_EQ(y, 42);
  }
  MapAlbersEqualAreaConic albers;
  albers.Init(0, 0, 0, 0, 1, 1, 20 * kDeg, 50 * kDeg);
  double x, y, lat, lon;
  ASSERT_EQ(albers.Forward(kHalfPi, 0, &x, &y), 0);
  EXPECT_EQ(albers.Inverse(x, y, &lat, &lon), -1);
  // The equidistant conic can return its pole.
  MapEquidistantConic eqdc;
  eqdc.Init(0, 0, 0, 0, 1, 1, 45 * kDeg, 0);
  ASSERT_EQ(eqdc.Inverse(0, kHalfPi, &lat, &lon), 0);  // the pole lies pi/2 above the origin
  EXPECT_NEAR(lat, kHalfPi, 1e-15);
}

TEST(Conic, InverseRejectsPointsOutsideTheSectorAndBelowTheWindow) {
  for (const auto& c : kAll) {
    std::unique_ptr<MapProject> p(c.create());
    ASSERT_EQ(p->Init(40 * kDeg, 0, 0, 0, 1, 1, 20 * kDeg, 50 * kDeg), 0);
    double x, y, lat, lon;
    // Straight below the apex, beyond the sector's edges at +-n pi.
    EXPECT_NE(p->Inverse(0, p->rho0 + 0.5, &lat, &lon), 0) << c.name;
    // 60 degrees south has an image but lies below 40 - 90 degrees.
    ASSERT_EQ(p->Forward(-60 * kDeg, 0.5, &x, &y), 0) << c.name;
    EXPECT_EQ(p->Inverse(x, y, &lat, &lon), -1) << c.name;
    ASSERT_EQ(p->Forward(-45 * kDeg, 0.5, &x, &y), 0) << c.name;
    ASSERT_EQ(p->Inverse(x, y, &lat, &lon), 0) << c.name;
    EXPECT_NEAR(lat, -45 * kDeg, 1e-9) << c.name;
  }
}

TEST(Conic, EllipsoidRoundTrips) {
  const double b = 0.996647189328169;  // WGS 84 flattening
  for (const auto& c : kAll) {
    for (double sign : {1.0, -1.0}) {
      std::unique_ptr<MapProject> p(c.create());
      ASSERT_EQ(p->Init(sign * 35 * kDeg, 0.2, 0.1, -0.1, 1, b, sign * 20 * kDeg, sign * 50 * kDeg),
                0);
      for (double lat = -50; lat <= 85; lat += 5) {
        double x, y, lat2, lon2;
        ASSERT_EQ(p->Forward(sign * lat * kDeg, -0.4, &x, &y), 0) << c.name;
        ASSERT_EQ(p->Inverse(x, y, &lat2, &lon2), 0) << c.name << " " << lat;
        EXPECT_NEAR(lat2, sign * lat * kDeg, 1e-9) << c.name;
        EXPECT_NEAR(lon2, -0.4, 1e-12) << c.name;
      }
    }
  }
}

TEST(Conic, StronglyFlattenedEllipsoidFailsInsteadOfLooping) {
  const double b = std::sqrt(1 - 0.5 * 0.5);  // e = 0.5
  int failures = 0;
  for (const auto& c : kAll) {
    std::unique_ptr<MapProject> p(c.create());
    ASSERT_EQ(p->Init(0, 0, 0, 0, 1, b, 20 * kDeg, 50 * kDeg), 0);
    for (double lat = -85; lat <= 85; lat += 1) {
      double x, y, lat2, lon2;
      if (p->Forward(lat * kDeg, 0.3, &x, &y) != 0) continue;
      const int result = p->Inverse(x, y, &lat2, &lon2);
      if (result != 0) {
        ++failures;
        continue;
      }
      EXPECT_NEAR(lat2, lat * kDeg, 1e-6) << c.name << " " << lat;
    }
  }
  EXPECT_GT(failures, 0);
}

// A latitude iteration that runs out of steps: Albers answers 1 and leaves the longitude alone,
// Lambert keeps the unwrapped longitude, the equidistant conic the wrapped one; all write latitude
// 0. The central meridian near pi shows which longitude is which.
TEST(Conic, ExhaustedLatitudeIterationsReportAsEachClassMust) {
  constexpr double kUnwritten = 42;
  enum Longitude { kLeft, kRaw, kWrapped };
  const struct {
    MapProject* (*create)();
    double b;    // semi-minor axis, a = 1
    double lat;  // a point beyond the south pole's circle when NAN
    int result;
    Longitude longitude;
  } cases[] = {
      {CreateAlbersEqualAreaConic, 0.996647189328169, NAN, 1, kLeft},       // WGS 84
      {CreateLambertConformalConic, 0.5, -72 * kDeg, -1, kRaw},             // e = 0.866
      {CreateEquidistantConic, std::sqrt(0.75), -85 * kDeg, -1, kWrapped},  // e = 0.5
  };
  for (const auto& c : cases) {
    std::unique_ptr<MapProject> p(c.create());
    ASSERT_EQ(p->Init(0, 3.0, 0, 0, 1, c.b, 20 * kDeg, 50 * kDeg), 0);
    double x = 0, y = -3;
    if (!std::isnan(c.lat)) {
      ASSERT_EQ(p->Forward(c.lat, 3.3, &x, &y), 0) << p->GetName();
    }
    double lat = kUnwritten, lon = kUnwritten;
    EXPECT_EQ(p->Inverse(x, y, &lat, &lon), c.result) << p->GetName();
    EXPECT_EQ(lat, 0) << p->GetName();
    const double expected = c.longitude == kLeft  ? kUnwritten
                            : c.longitude == kRaw ? 3.3
                                                  : 3.3 - 2 * kPi;
    EXPECT_NEAR(lon, expected, 1e-12) << p->GetName();
  }
}

}  // namespace
}  // namespace Projection
