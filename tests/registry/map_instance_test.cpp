// MapInstance: selection with fallback, centre normalisation, offsets in user units, copies.
#include "registry/map_instance.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "registry/registry_fixture.h"

namespace {

using MapInstanceTest = BuiltinRegistryTest;
constexpr double kPi = Projection::kPi;

TEST_F(MapInstanceTest, AFreshInstanceHoldsTheEquirectangularProjection) {
  MapInstance m;
  ASSERT_NE(m.projection, nullptr);
  EXPECT_EQ(m.typeCode, 2);
  EXPECT_STREQ(m.GetName(), "Equirectangular");
  EXPECT_DOUBLE_EQ(m.unitFactor, kPi);
  double x, y;
  m.GetOffset(&x, &y);
  EXPECT_DOUBLE_EQ(x, 0.0001 / kPi);
  EXPECT_EQ(y, 0);
  EXPECT_EQ(m.projection->offsetX, 0.0001);  // stored value, passed to Init unconverted
}

TEST_F(MapInstanceTest, SelectFallsBackToEquirectangular) {
  MapInstance m;
  EXPECT_EQ(m.Select(6), 0);
  EXPECT_EQ(m.typeCode, 6);
  EXPECT_STREQ(m.GetName(), "Mercator");
  for (int code : {16, 0, -5, 256, 100000}) {
    EXPECT_EQ(m.Select(code), -1) << code;
    EXPECT_EQ(m.typeCode, 2);
    EXPECT_STREQ(m.GetName(), "Equirectangular");
  }
  EXPECT_EQ(m.SelectByName("Miller Cylindrical"), 0);
  EXPECT_EQ(m.typeCode, 7);
  EXPECT_EQ(m.SelectByName("Nowhere"), -1);
  EXPECT_EQ(m.typeCode, 2);
}

TEST_F(MapInstanceTest, SetCenterWrapsFoldsAndClamps) {
  struct {
    double lat, lon, wantLat, wantLon;
  } const cases[] = {
      {100, 190, 80, -170},
      {-95, -185, -85, 175},
      {90, 0, 89.9990005493164, 0},
      {270, 0, -89.9990005493164, 0},
      {540, 0, 0, 0},
      {-540, 720, 0, 0},
      {45.5, -180, 45.5, -180},
      {0, 1080 + 10, 0, 10},
  };
  MapInstance m;
  for (const auto& c : cases) {
    m.SetCenter(c.lat, c.lon);
    EXPECT_DOUBLE_EQ(m.centerLat, c.wantLat) << c.lat << "," << c.lon;
    EXPECT_DOUBLE_EQ(m.centerLon, c.wantLon) << c.lat << "," << c.lon;
  }
}

TEST_F(MapInstanceTest, SetCenterSurvivesValuesThatStepsCannotReduce) {
  MapInstance m;
  m.SetCenter(1e20, -1e20);
  EXPECT_LE(std::fabs(m.centerLat), 90);
  EXPECT_LE(std::fabs(m.centerLon), 180);
  m.SetCenter(std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity());
  EXPECT_EQ(m.centerLat, 0);
  EXPECT_EQ(m.centerLon, 0);
  EXPECT_EQ(m.projection->centerLat, 0);
}

TEST_F(MapInstanceTest, SetCenterReachesTheProjectionInRadians) {
  MapInstance m;
  m.Select(6);
  m.SetCenter(10, 30);
  EXPECT_DOUBLE_EQ(m.projection->centerLon, 30 * Projection::kDegToRad);
  EXPECT_DOUBLE_EQ(m.projection->lonMax, 30 * Projection::kDegToRad + kPi);
}

TEST_F(MapInstanceTest, OffsetsAreUserUnitsStoredAsMapUnits) {
  MapInstance m;
  m.SetOffset(0.25, -0.5);
  EXPECT_DOUBLE_EQ(m.offsetX, 0.25 * kPi);
  EXPECT_DOUBLE_EQ(m.offsetY, -0.5 * kPi);
  EXPECT_DOUBLE_EQ(m.projection->offsetX, 0.25 * kPi);
  EXPECT_DOUBLE_EQ(m.projection->offsetY, -0.5 * kPi);
  double x, y;
  m.GetOffset(&x, &y);
  EXPECT_DOUBLE_EQ(x, 0.25);
  EXPECT_DOUBLE_EQ(y, -0.5);

  m.SetOffset(0, 0);
  EXPECT_DOUBLE_EQ(m.offsetX, 0.00001 * kPi);
  EXPECT_EQ(m.offsetY, 0);
}

TEST_F(MapInstanceTest, SetOffsetConvertsWithTheHeldProjectionAfterRelease) {
  MapInstance m;
  m.Select(6);
  m.Release();
  m.SetOffset(0.5, 0.5);
  ASSERT_NE(m.projection, nullptr);
  EXPECT_EQ(m.typeCode, 6);
  EXPECT_DOUBLE_EQ(m.offsetY, 0.5 * kPi);
}

TEST_F(MapInstanceTest, AxesComeFromScaleAndAspect) {
  MapInstance m;
  m.SetScale(2);
  m.SetAspect(0.5);
  double h, v;
  m.GetAxes(&h, &v);
  EXPECT_EQ(h, 2);
  EXPECT_DOUBLE_EQ(v, 2 / (0.5 + 0.0001));
}

TEST_F(MapInstanceTest, ACopyHoldsItsOwnObjectWithTheSameParameters) {
  MapInstance m;
  m.Select(6);
  m.SetCenter(20, 40);
  m.SetParallels(30, 60);
  m.SetScale(1.5);
  MapInstance copy(m);
  EXPECT_NE(copy.projection, m.projection);
  EXPECT_EQ(copy.typeCode, 6);
  EXPECT_EQ(copy.centerLon, 40);
  EXPECT_EQ(copy.parallel1, 30);
  EXPECT_EQ(copy.scale, 1.5);
  EXPECT_DOUBLE_EQ(copy.projection->centerLon, 40 * Projection::kDegToRad);

  MapInstance released;
  released.Release();
  MapInstance empty(released);
  EXPECT_EQ(empty.projection, nullptr);

  MapInstance assigned;
  assigned = m;
  EXPECT_EQ(assigned.typeCode, 6);
  EXPECT_NE(assigned.projection, m.projection);
}

}  // namespace
