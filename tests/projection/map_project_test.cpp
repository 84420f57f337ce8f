// Shared numeric functions of the projection library and the catalogue of built-in classes.
#include "projection/map_project.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>

#include "projection/builtins.h"
#include "projection/ellipsoid.h"

namespace Projection {
namespace {

TEST(WrapAngle, KeepsThePiBoundsAndRemovesAtMostElevenTurns) {
  EXPECT_EQ(WrapAngle(kPi), kPi);
  EXPECT_EQ(WrapAngle(-kPi), -kPi);
  EXPECT_DOUBLE_EQ(WrapAngle(3 * kPi), kPi);
  EXPECT_DOUBLE_EQ(WrapAngle(1.5 * kPi), -0.5 * kPi);
  EXPECT_NEAR(WrapAngle(25 * kPi), 3 * kPi, 1e-12);
  EXPECT_NEAR(WrapAngle(-20.5 * kPi), -0.5 * kPi, 1e-12);
  EXPECT_TRUE(std::isnan(WrapAngle(NAN)));
}

TEST(Sign, ZeroCountsAsPositive) {
  EXPECT_EQ(Sign(0.0), 1.0);
  EXPECT_EQ(Sign(-0.0), 1.0);
  EXPECT_EQ(Sign(-1e-300), -1.0);
}

TEST(FormatTypeFlags, WritesWordsInDisplayOrderNotBitOrder) {
  struct {
    std::int32_t flags;
    const char* text;
  } const cases[] = {
      {0x0011, " Cylindrical Equidistant"},
      {0x2004, " Conic Equal Area"},
      {0x5068, " Conformal Perspective Azimuthal Polyconic"},
      {0x0040, ""},
      {0x0080, " Interrupted"},
      {0x0000, ""},
      {0x0F00, ""},
      {0x7FFF,
       " Conic Cylindrical Conformal Equal Area Perspective Equidistant "
       "Pseudocylindrical Azimuthal Polyconic Interrupted"},
  };
  for (const auto& c : cases) {
    std::string text = "stale";
    FormatTypeFlags(c.flags, &text);
    EXPECT_EQ(text, c.text) << std::hex << c.flags;
  }
}

TEST(InsideBounds, LimitsAreInsideAndTheCentredWindowMovesWithTheCentre) {
  MapProject base;
  EXPECT_EQ(base.Init(0.5, 1.0, 0, 0, 1, 1, 0, 0), 0);
  EXPECT_EQ(base.InsideBounds(0.5 + kHalfPi, 1.0), 0);
  EXPECT_EQ(base.InsideBounds(std::nextafter(0.5 + kHalfPi, 10.0), 1.0), -1);
  EXPECT_EQ(base.InsideBounds(-1.2, 1.0), -1);  // below 0.5 - pi/2
  EXPECT_EQ(base.InsideBounds(0, 1.0 - kPi), 0);
  EXPECT_EQ(base.InsideBounds(0, std::nextafter(1.0 - kPi, -10.0)), -1);
}

TEST(Ellipsoid, IteratingFunctionsInvertTheirForwardFunctions) {
  const double e = 0.0818191908426;  // WGS 84
  const MeridianSeries series = MeridianCoefficients(e * e);
  for (double phi = -1.5; phi <= 1.5; phi += 0.25) {
    int code = -7;
    EXPECT_NEAR(LatitudeFromConformalT(e, ConformalT(e, phi, std::sin(phi)), &code), phi, 1e-10);
    EXPECT_EQ(code, 0);
    EXPECT_NEAR(LatitudeFromAuthalicQ(e, AuthalicQ(e, std::sin(phi)), 1e-10, &code), phi, 1e-7);
    EXPECT_EQ(code, 0);
    EXPECT_NEAR(LatitudeFromMeridianDistance(MeridianDistance(series, phi), series, &code), phi,
                1e-10);
    EXPECT_EQ(code, 0);
  }
  EXPECT_DOUBLE_EQ(PolarFactor(0), 1.0);
  EXPECT_DOUBLE_EQ(ParallelRadius(0, 0.5, 0.8), 0.8);
}

TEST(Ellipsoid, NonConvergenceReportsItsCode) {
  int code = 0;
  EXPECT_EQ(LatitudeFromConformalT(0.0818, NAN, &code), 0.0);
  EXPECT_EQ(code, 2);
  EXPECT_EQ(LatitudeFromAuthalicQ(0.0818, NAN, 1e-10, &code), 0.0);
  EXPECT_EQ(code, 1);
  EXPECT_EQ(LatitudeFromMeridianDistance(NAN, MeridianCoefficients(0.0067), &code), 0.0);
  EXPECT_EQ(code, 3);
}

// The constant answers the registry, the wizard and the definition files rely on.
struct CatalogueRow {
  int code;
  const char* name;
  std::int32_t flags;
  double unitScale;
  double left, top, right, bottom;
  std::size_t descriptionLength;
};

constexpr double kInvPi = 0.3183098861837907;
constexpr double kFourElevenths = 0.36363636363636365;
constexpr double kEckertIVHalfWidth = 2 * kPi * 0.42223820031577125;
constexpr double kEckertVIHalfWidth = 2 * kPi * 0.4410127717245515;

const CatalogueRow kCatalogue[] = {
    {1, "Azimuthal Equidistant", 0x0070, kInvPi, -kPi, kPi, kPi, -kPi, 306},
    {2, "Equirectangular", 0x0011, kInvPi, -kPi, kHalfPi, kPi, -kHalfPi, 620},
    {3, "Gnomonic", 0x4060, 1.0, -1, 0.5, 1, -0.5, 511},
    {4, "Hammer", 0x2020, kFourElevenths, -2.75, 1.375, 2.75, -1.375, 337},
    {5, "Lambert Azimuthal Equal-Area", 0x2060, 0.5, -1, 1, 1, -1, 272},
    {6, "Mercator", 0x1001, kInvPi, -kPi, kHalfPi, kPi, -kHalfPi, 567},
    {7, "Miller Cylindrical", 0x0001, kInvPi, -kPi, kHalfPi, kPi, -kHalfPi, 321},
    {8, "Mollweide", 0x2002, kFourElevenths, -2.75, 1.375, 2.75, -1.375, 268},
    {9, "Orthographic", 0x4060, 1.0, -kPi, kHalfPi, kPi, -kHalfPi, 244},
    {10, "Sinusoidal", 0x2002, kInvPi, -kPi, kHalfPi, kPi, -kHalfPi, 461},
    {11, "Stereographic", 0x5068, 0.5, -kPi, kPi, kPi, -kPi, 442},
    {12, "Van Der Grinten", 0x0008, kInvPi, -kPi, kHalfPi, kPi, -kHalfPi, 304},
    {13, "Wagner IV", 0x2002, kFourElevenths, -2.75, 1.375, 2.75, -1.375, 312},
    {14, "Pointy", 0x0002, kInvPi, -kPi, kHalfPi, kPi, -kHalfPi, 162},
    {15, "Wagner VII", 0x2020, kInvPi, -kPi, kHalfPi, kPi, -kHalfPi, 204},
    {18, "Albers Equal-Area Conic", 0x2004, 0.3333333333333333, -1, 0.5, 1, -0.5, 219},
    {19, "Equidistant Conic", 0x0014, 0.30303030303030304, -1, 1, 1, -1, 0},
    {20, "Lambert Conformal Conic", 0x1004, 0.25, -kPi, kHalfPi, kPi, -kHalfPi, 271},
    {22, "Wagner VI", 0x0002, kInvPi, -kPi, kHalfPi, kPi, -kHalfPi, 191},
    {23, "Robinson", 0x0002, 1 / (kPi * 0.8487), -kPi * 0.8487, 1.3523, kPi * 0.8487, -1.3523, 439},
    {24, "Winkel Tripel", 0x0020, 1 / (1 + kHalfPi), -1 - kHalfPi, kHalfPi, 1 + kHalfPi, -kHalfPi,
     457},
    {25, "Equal Earth", 0x2002, 1 / 2.7066299836960748, -2.7066299836960748, 1.3173627591574133,
     2.7066299836960748, -1.3173627591574133, 377},
    {26, "Natural Earth", 0x0002, 1 / (kPi * 0.8707), -kPi * 0.8707, 1.422390506730596,
     kPi * 0.8707, -1.422390506730596, 303},
    {27, "Natural Earth II", 0x0002, 1 / (kPi * 0.84719), -kPi * 0.84719, 1.4242291687559827,
     kPi * 0.84719, -1.4242291687559827, 292},
    {28, "Eckert IV", 0x2002, 1 / kEckertIVHalfWidth, -kEckertIVHalfWidth, 1.3265004281770023,
     kEckertIVHalfWidth, -1.3265004281770023, 338},
    {29, "Eckert VI", 0x2002, 1 / kEckertVIHalfWidth, -kEckertVIHalfWidth, kEckertVIHalfWidth / 2,
     kEckertVIHalfWidth, -kEckertVIHalfWidth / 2, 383},
    {30, "Aitoff", 0x0020, kInvPi, -kPi, kHalfPi, kPi, -kHalfPi, 377},
    {31, "Kavrayskiy VII", 0x0002, 1 / 2.7206990463513265, -2.7206990463513265, kHalfPi,
     2.7206990463513265, -kHalfPi, 372},
    {32, "Cylindrical Equal-Area", 0x2001, kInvPi, -kPi, kHalfPi, kPi, -kHalfPi, 477},
    {33, "Gall Stereographic", 0x4001, 1 / (kPi * 0.7071067811865475), -kPi * 0.7071067811865475,
     1.7071067811865475, kPi * 0.7071067811865475, -1.7071067811865475, 366},
    {34, "Transverse Mercator", 0x1001, 1 / 2.4362460537158763, -2.4362460537158763, kPi,
     2.4362460537158763, -kPi, 553},
    {35, "Cassini", 0x0011, 1 / (80 * kDegToRad), -80 * kDegToRad, kPi, 80 * kDegToRad, -kPi, 444},
    {36, "American Polyconic", 0x0008, kInvPi, -kPi, 2.4076332694218174, kPi, -2.4076332694218174,
     465},
    {37, "Bonne", 0x2004, kInvPi, -kPi, kPi, kPi, -kPi, 528},
    {38, "Times", 0x0002, 1 / (kPi * 0.74482), -kPi * 0.74482, 1.70711, kPi * 0.74482, -1.70711,
     367},
    {39, "Nicolosi Globular", 0x0008, 2 / kPi, -kHalfPi, kHalfPi, kHalfPi, -kHalfPi, 456},
};

TEST(Catalogue, EveryBuiltinAnswersItsConstantsBeforeAndAfterInit) {
  ASSERT_EQ(BuiltinProjections().size(), std::size(kCatalogue));
  for (const auto& builtin : BuiltinProjections()) {
    std::unique_ptr<MapProject> p(builtin.create());
    ASSERT_NE(p, nullptr);
    const CatalogueRow* row = nullptr;
    for (const auto& r : kCatalogue) {
      if (r.code == p->GetTypeCode()) row = &r;
    }
    ASSERT_NE(row, nullptr) << builtin.className;
    for (int pass = 0; pass < 2; ++pass) {
      EXPECT_STREQ(p->GetName(), row->name);
      EXPECT_EQ(p->GetFlags(), row->flags) << row->name;
      EXPECT_EQ(p->GetUnitScale(), row->unitScale) << row->name;
      double l, t, r, b;
      p->GetBounds(&l, &t, &r, &b);
      EXPECT_EQ(l, row->left) << row->name;
      EXPECT_EQ(t, row->top) << row->name;
      EXPECT_EQ(r, row->right) << row->name;
      EXPECT_EQ(b, row->bottom) << row->name;
      EXPECT_EQ(p->GetDescription().size(), row->descriptionLength) << row->name;
      p->Init(0.3, -2.0, 0.1, 0.2, 1, 1, 0.7, 0.2);
    }
  }
}

TEST(Catalogue, BaseClassAnswersPlateCaree) {
  MapProject base;
  EXPECT_STREQ(base.GetName(), "Plate Caree");
  EXPECT_EQ(base.GetFlags(), 0);
  EXPECT_EQ(base.GetTypeCode(), 0);
  EXPECT_EQ(base.GetUnitScale(), 1.0);
  EXPECT_EQ(base.GetDescription(), "");
}

}  // namespace
}  // namespace Projection
