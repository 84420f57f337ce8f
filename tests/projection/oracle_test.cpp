// Every projection against PROJ over a dense grid, and Inverse(Forward(p)) == p.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <memory>
#include <vector>

#include "projection/cylindrical.h"
#include "projection/oracle_cases.h"
#include "projection/proj_oracle.h"

namespace oracle {
namespace {

using Projection::kDegToRad;
using Projection::MapProject;

std::string Centre(double latDeg, double lonDeg) {
  char text[96];
  std::snprintf(text, sizeof text, " +lat_0=%.17g +lon_0=%.17g", latDeg, lonDeg);
  return text;
}

// A cylindrical case of PROJ `name` centred on longitude `lonDeg`.
OracleCase World(const char* label, Projection::ProjectionFactory create, const char* name,
                 double lonDeg) {
  OracleCase c;
  c.label = label;
  c.create = create;
  c.proj = std::string("+proj=") + name + " +R=1" + Centre(0, lonDeg);
  c.centerLonDeg = lonDeg;
  return c;
}

std::vector<OracleCase> AllCases() {
  std::vector<OracleCase> cases;
  for (double lon : {0.0, 30.0, -150.0, 179.0}) {
    const std::string suffix = "_lon" + std::to_string(static_cast<int>(lon + 180));
    cases.push_back(World(("Equirectangular" + suffix).c_str(), Projection::CreateEquirectangular,
                          "eqc", lon));
    cases.push_back(World(("Mercator" + suffix).c_str(), Projection::CreateMercator, "merc", lon));
    cases.push_back(World(("Miller" + suffix).c_str(), Projection::CreateMillerCylindrical, "mill",
                          lon));
  }
  // A centre latitude does not move the cylindrical classes.
  OracleCase tilted = World("Mercator_centre_lat_40", Projection::CreateMercator, "merc", 10);
  tilted.centerLatDeg = 40;
  cases.push_back(tilted);
  return cases;
}

double AngleGap(double a, double b) { return std::fabs(Projection::WrapAngle(a - b)); }

double GreatCircleDeg(double lat0, double lon0, double lat, double lon) {
  const double c = std::sin(lat0) * std::sin(lat) + std::cos(lat0) * std::cos(lat) * std::cos(lon - lon0);
  return std::acos(std::fmax(-1.0, std::fmin(1.0, c))) / kDegToRad;
}

class OracleTest : public ::testing::TestWithParam<OracleCase> {
 protected:
  void SetUp() override {
    const OracleCase& c = GetParam();
    projection_.reset(c.create());
    ASSERT_NE(projection_, nullptr);
    ASSERT_EQ(projection_->Init(c.centerLatDeg * kDegToRad, c.centerLonDeg * kDegToRad, 0, 0, 1, 1,
                                c.parallel1Deg * kDegToRad, c.parallel2Deg * kDegToRad),
              0);
  }

  // Calls `visit` for the grid points of the case (radians).
  template <typename Visit>
  void ForEachPoint(Visit visit) const {
    const OracleCase& c = GetParam();
    for (double latDeg = -c.maxLatDeg; latDeg <= c.maxLatDeg; latDeg += 1.37) {
      for (double lonDeg = -179.3; lonDeg < 180; lonDeg += 2.11) {
        const double lat = latDeg * kDegToRad, lon = lonDeg * kDegToRad;
        if (GreatCircleDeg(c.centerLatDeg * kDegToRad, c.centerLonDeg * kDegToRad, lat, lon) >
            c.maxDistanceDeg) {
          continue;
        }
        visit(lat, lon);
      }
    }
  }

  std::unique_ptr<MapProject> projection_;
};

TEST_P(OracleTest, ForwardAgreesWithProj) {
  const OracleCase& c = GetParam();
  if (c.proj.empty()) GTEST_SKIP() << "no PROJ twin";
  ProjOracle proj(c.proj);
  ASSERT_TRUE(proj.valid()) << c.proj;
  int compared = 0, onlyProj = 0;
  ForEachPoint([&](double lat, double lon) {
    double x, y, px, py;
    const bool ours = projection_->Forward(lat, lon, &x, &y) == 0;
    const bool theirs = proj.Forward(lat, lon, &px, &py);
    if (theirs && !ours) ++onlyProj;
    if (!ours || !theirs) return;
    ++compared;
    EXPECT_NEAR(x, c.xFactor * px, c.tolerance) << "lat " << lat / kDegToRad << " lon " << lon / kDegToRad;
    EXPECT_NEAR(y, c.yFactor * py, c.tolerance) << "lat " << lat / kDegToRad << " lon " << lon / kDegToRad;
  });
  EXPECT_GT(compared, 100);
  EXPECT_EQ(onlyProj, 0) << "points PROJ maps that we reject";
}

TEST_P(OracleTest, InverseUndoesForward) {
  const OracleCase& c = GetParam();
  int checked = 0;
  ForEachPoint([&](double lat, double lon) {
    double x, y, lat2, lon2;
    if (projection_->Forward(lat, lon, &x, &y) != 0) return;
    ++checked;
    ASSERT_EQ(projection_->Inverse(x, y, &lat2, &lon2), 0)
        << "lat " << lat / kDegToRad << " lon " << lon / kDegToRad;
    EXPECT_NEAR(lat2, lat, c.tolerance) << "lon " << lon / kDegToRad;
    EXPECT_LT(AngleGap(lon2, lon), c.tolerance) << "lat " << lat / kDegToRad << " lon " << lon / kDegToRad;
  });
  EXPECT_GT(checked, 100);
}

INSTANTIATE_TEST_SUITE_P(Projections, OracleTest, ::testing::ValuesIn(AllCases()),
                         [](const auto& info) { return info.param.label; });

}  // namespace
}  // namespace oracle
