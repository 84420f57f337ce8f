// Fitting: settings recovered from exact points and from a drawn outline, and every refusal.
#include "fit/fit.h"

#include <gtest/gtest.h>

#include <cmath>

#include "engine/reproject.h"
#include "fit/points_file.h"
#include "image/image_test_support.h"
#include "registry/registry_fixture.h"

namespace {

using FitTest = BuiltinRegistryTest;
using Fit::ControlPoint;

constexpr int kWidth = 2048, kHeight = 1024;

// Where `settings` put a place on a kWidth x kHeight picture, as users count pixels.
bool Place(const MapSettings& settings, double lat, double lon, ControlPoint* point) {
  MapInstance m;
  ApplySettings(settings, &m);
  double x, y;
  if (m.projection->Forward(StoredLatitude(lat) * Projection::kDegToRad,
                            lon * Projection::kDegToRad, &x, &y) != 0) {
    return false;
  }
  const Placement place(m, kWidth, kHeight);
  *point = {place.X(x) + 0.5, place.Y(y) + 0.5, lat, lon};
  return point->column > 0 && point->row > 0 && point->column < kWidth && point->row < kHeight;
}

// Up to `count` places the map shows, spread over the globe around its centre.
std::vector<ControlPoint> Points(const MapSettings& settings, int count) {
  std::vector<ControlPoint> points;
  for (int i = 0; i < 400 && static_cast<int>(points.size()) < count; ++i) {
    const double lat = settings.centerLat + std::fmod(i * 37.0, 140.0) - 70;
    const double lon = std::remainder(settings.centerLon + std::fmod(i * 71.0, 300.0) - 150, 360);
    ControlPoint p;
    if (std::fabs(lat) < 85 && Place(settings, lat, lon, &p)) points.push_back(p);
  }
  return points;
}

MapSettings Settings(int code, double lat, double lon, double x, double y, double scale,
                     double aspect, std::optional<double> p1 = {}, std::optional<double> p2 = {}) {
  MapSettings s;
  s.typeCode = code, s.centerLat = lat, s.centerLon = lon, s.offsetX = x, s.offsetY = y;
  s.scale = scale, s.aspect = aspect, s.parallel1 = p1, s.parallel2 = p2;
  return s;
}

void ExpectSettings(const MapSettings& want, const MapSettings& got, double tolerance) {
  EXPECT_EQ(got.typeCode, want.typeCode);
  EXPECT_NEAR(got.centerLat, want.centerLat, tolerance);
  EXPECT_NEAR(got.centerLon, want.centerLon, tolerance);
  EXPECT_NEAR(got.offsetX, want.offsetX, tolerance);
  EXPECT_NEAR(got.offsetY, want.offsetY, tolerance);
  EXPECT_NEAR(got.scale, want.scale, tolerance);
  EXPECT_NEAR(got.aspect, want.aspect, tolerance);
  if (want.parallel2) {
    EXPECT_NEAR(*got.parallel2, *want.parallel2, tolerance);
  }
}

TEST_F(FitTest, ExactPointsGiveTheSettingsBack) {
  struct Case {
    MapSettings truth;
    int points;
  } cases[] = {
      {Settings(8, 0, 0, 0.125, -0.0625, 0.875, 0.5), 3},            // Mollweide, linear part only
      {Settings(8, 0, 40, 0.125, -0.0625, 0.875, 0.5), 10},          // and its central meridian
      {Settings(9, 30, 20, -0.25, 0.125, 0.5, 0.75), 10},            // Orthographic: the centre
      {Settings(5, -52, 10, 0.03125, 0.5, 0.75, 1), 10},             // Lambert azimuthal
      {Settings(20, 0, -96, 0.0625, 0.25, 0.5, 0.5, 20, 50), 10},    // conformal conic: the cone
      {Settings(18, 25, -96, -0.0625, 0.25, 0.5, 0.5, 20, 50), 10},  // Albers: the cone
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.truth.typeCode);
    const std::vector<ControlPoint> points = Points(c.truth, c.points);
    ASSERT_EQ(static_cast<int>(points.size()), c.points);
    MapSettings start = Settings(c.truth.typeCode, 0, 0, 0, 0, 1, 1);
    if (c.truth.parallel1) start.parallel1 = c.truth.parallel1, start.parallel2 = 10.0;
    // A cone's centre latitude trades with the y offset and is held as given.
    if (c.truth.parallel1) start.centerLat = c.truth.centerLat;
    MapInstance m;
    ApplySettings(start, &m);
    Fit::FitResult result;
    std::string reason;
    ASSERT_EQ(Fit::FitPoints(points, kWidth, kHeight, &m, {}, &result, &reason), Fit::kFitOk)
        << reason;
    ExpectSettings(c.truth, result.settings, 1e-6);
    EXPECT_LT(result.rms, 1e-4);
  }
}

TEST_F(FitTest, HeldSettingsStay) {
  const MapSettings truth = Settings(8, 0, 0, 0.125, -0.0625, 0.875, 0.5);
  MapInstance m;
  ApplySettings(Settings(8, 0, 0, 0, 0, 1, 0.5), &m);
  Fit::FitResult result;
  std::string reason;
  Fit::HeldSettings held;
  held.aspect = true, held.scale = true;
  ASSERT_EQ(Fit::FitPoints(Points(truth, 6), kWidth, kHeight, &m, held, &result, &reason), 0);
  EXPECT_EQ(result.settings.scale, 1);
  EXPECT_EQ(result.settings.aspect, 0.5f);
  EXPECT_GT(result.rms, 1);  // the true scale is another
}

TEST_F(FitTest, BadPointsAreRefusedWithTheirReason) {
  const double nan = std::nan("");
  struct Case {
    std::vector<ControlPoint> points;
    int status;
    const char* says;
  } cases[] = {
      {{{100, 100, 10, 10}}, Fit::kTooFewPoints, "Too few points"},
      {{{100, 100, 0, 0}, {200, 200, 10, 10}, {300, 300, 20, 20}},
       Fit::kCollinearPoints,
       "one line"},
      {{{100, 100, 0, 0}, {2100, 200, 10, 10}}, Fit::kPointOutside, "Outside"},
      {{{100, 100, 0, 0}, {-1, 200, 10, 10}}, Fit::kPointOutside, "point 2"},
      {{{100, 100, nan, 0}, {200, 200, 10, 10}}, Fit::kBadCoordinate, "Not a number"},
      {{{100, 100, 95, 0}, {200, 200, 10, 10}}, Fit::kBadCoordinate, "beyond"},
      {{{100, 100, 0, 0}, {200, 200, 10, 190}}, Fit::kBadCoordinate, "beyond"},
  };
  for (const Case& c : cases) {
    MapInstance m;
    ApplySettings(Settings(8, 0, 0, 0.5, 0.5, 1, 1), &m);
    Fit::FitResult result;
    std::string reason;
    EXPECT_EQ(Fit::FitPoints(c.points, kWidth, kHeight, &m, {}, &result, &reason), c.status);
    EXPECT_NE(reason.find(c.says), std::string::npos) << reason;
    EXPECT_EQ(SettingsOf(m).offsetX, 0.5);  // nothing changed
  }
}

TEST_F(FitTest, AnOutlierIsFlagged) {
  const MapSettings truth = Settings(8, 0, 0, 0.125, -0.0625, 0.875, 0.5);
  std::vector<ControlPoint> points = Points(truth, 12);
  points[3].column += 40;
  MapInstance m;
  ApplySettings(Settings(8, 0, 0, 0, 0, 1, 1), &m);
  Fit::FitResult result;
  std::string reason;
  ASSERT_EQ(Fit::FitPoints(points, kWidth, kHeight, &m, {}, &result, &reason), 0);
  for (std::size_t i = 0; i < points.size(); ++i) EXPECT_EQ(result.residuals[i].outlier, i == 3);
}

TEST(PointsFileTest, ReadsBothFormatsAndNamesBadLines) {
  struct Case {
    const char* text;
    int status;
    std::vector<ControlPoint> points;
  } cases[] = {
      {"# column row lat lon\n10.5 20.5 30 -40\n1,2, 3 ,4  # comment\n\n",
       Fit::kFitOk,
       {{10.5, 20.5, 30, -40}, {1, 2, 3, 4}}},
      {"#CRS: GEOGCRS[...]\nmapX,mapY,sourceX,sourceY,enable,dX,dY,residual\n"
       "-40,30,10.5,-20.5,1,0,0,0\n5,6,7,-8,0,0,0,0\n",
       Fit::kFitOk,
       {{10.5, 20.5, 30, -40}}},
      {"10 20 30\n", Fit::kBadCoordinate, {}},
      {"10 20 30 north\n", Fit::kBadCoordinate, {}},
  };
  for (const Case& c : cases) {
    std::vector<ControlPoint> points;
    std::string reason;
    EXPECT_EQ(Fit::ParsePoints(c.text, &points, &reason), c.status) << c.text;
    if (c.status != Fit::kFitOk) {
      EXPECT_NE(reason.find("Line 1"), std::string::npos) << reason;
      continue;
    }
    ASSERT_EQ(points.size(), c.points.size());
    for (std::size_t i = 0; i < points.size(); ++i) {
      EXPECT_EQ(points[i].column, c.points[i].column);
      EXPECT_EQ(points[i].row, c.points[i].row);
      EXPECT_EQ(points[i].latitude, c.points[i].latitude);
      EXPECT_EQ(points[i].longitude, c.points[i].longitude);
    }
  }
}

// A map drawn as `truth` on a white picture with a frame line and a title block in the margin.
void DrawMap(const MapSettings& truth, int w, int h, VideoBuffer* picture) {
  VideoBuffer world, map;
  ASSERT_EQ(world.Create(64, 32), 0);
  for (int y = 0; y < 32; ++y)
    for (int x = 0; x < 64; ++x)
      world.SetPixel(x, y, 0xFF000000u | (y < 16 ? 0x803010u : 0x206020u));
  MapInstance m;
  ApplySettings(truth, &m);
  ASSERT_EQ(map.Create(w, h), 0);
  RenderProjection(world, m, map);
  ASSERT_EQ(picture->Create(w, h), 0);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const std::uint32_t c = map.GetPixel(x, y);
      const bool frame = x == 2 || y == 2 || x == w - 3 || y == h - 3;
      const bool title = x > 20 && x < 120 && y > 6 && y < 14;
      picture->SetPixel(x, y, (c >> 24) ? c : (frame || title) ? 0xFF000000u : 0xFFFFFFFFu);
    }
  }
}

// Within a third of a pixel at the map's edges: the equator's ends and near the poles. A
// cylinder's straight top and bottom are found as exactly as an oval's curves.
TEST_F(FitTest, OutlineFitPlacesTheMapWithItsMargins) {
  const int w = 600, h = 360;
  const MapSettings truths[] = {
      Settings(8, 0, 0, 0.03125, -0.015625, 0.8125, 0.5),    // Mollweide
      Settings(7, 0, 0, 0.03125, -0.015625, 0.875, 0.8),    // Miller
  };
  for (const MapSettings& truth : truths) {
    SCOPED_TRACE(SettingsOptionsLine(truth));
    VideoBuffer picture;
    DrawMap(truth, w, h, &picture);
    Fit::Outline outline;
    std::string reason;
    ASSERT_EQ(Fit::DetectOutline(picture, &outline, &reason), Fit::kFitOk) << reason;
    MapInstance m;
    ApplySettings(Settings(truth.typeCode, 0, 0, 0, 0, 1, 1), &m);
    Fit::FitResult result;
    ASSERT_EQ(Fit::FitOutline(outline, &m, {}, &result, &reason), Fit::kFitOk) << reason;
    EXPECT_GT(result.iou, 0.995) << SettingsOptionsLine(result.settings);
    MapInstance t, f;
    ApplySettings(truth, &t), ApplySettings(result.settings, &f);
    const Placement pt(t, w, h), pf(f, w, h);
    for (const auto& [lat, lon] :
         {std::pair{0.0, -179.0}, {0.0, 179.0}, {-86.0, 0.0}, {86.0, 90.0}}) {
      double xt, yt, xf, yf;
      t.projection->Forward(lat * Projection::kDegToRad, lon * Projection::kDegToRad, &xt, &yt);
      f.projection->Forward(lat * Projection::kDegToRad, lon * Projection::kDegToRad, &xf, &yf);
      EXPECT_NEAR(pf.X(xf), pt.X(xt), 0.3);
      EXPECT_NEAR(pf.Y(yf), pt.Y(yt), 0.3);
    }
  }
}

// Three points find a globe's centre once its outline has placed it; alone they fit only the
// placement at the centre they were given.
TEST_F(FitTest, ThreePointsAndTheOutlineFindTheCentre) {
  const int w = 400, h = 400;
  const MapSettings truth = Settings(9, 30, 20, 0.0625, 0, 0.875, 1);
  VideoBuffer picture;
  DrawMap(truth, w, h, &picture);
  Fit::Outline outline;
  std::string reason;
  ASSERT_EQ(Fit::DetectOutline(picture, &outline, &reason), Fit::kFitOk) << reason;
  MapInstance t;
  ApplySettings(truth, &t);
  const Placement place(t, w, h);
  std::vector<ControlPoint> points;
  for (const auto& [lat, lon] : {std::pair{45.0, 0.0}, {10.0, 40.0}, {60.0, 60.0}}) {
    double x, y;
    t.projection->Forward(StoredLatitude(lat) * Projection::kDegToRad,
                          lon * Projection::kDegToRad, &x, &y);
    points.push_back({place.X(x) + 0.5, place.Y(y) + 0.5, lat, lon});
  }
  MapInstance both, alone;
  ApplySettings(Settings(9, 0, 0, 0, 0, 1, 1), &both);
  alone = both;
  Fit::FitResult withOutline, withoutOutline;
  ASSERT_EQ(Fit::FitPointsAndOutline(points, w, h, outline, &both, {}, &withOutline, &reason),
            Fit::kFitOk)
      << reason;
  EXPECT_GT(withOutline.iou, 0.99);
  EXPECT_NEAR(withOutline.settings.centerLat, 30, 0.1);
  EXPECT_NEAR(withOutline.settings.centerLon, 20, 0.1);
  ASSERT_EQ(Fit::FitPoints(points, w, h, &alone, {}, &withoutOutline, &reason), Fit::kFitOk);
  EXPECT_EQ(withoutOutline.settings.centerLat, 0);
}

// The background: the colour along the picture's sides, then a second, black or white layer inside
// a page's margin; uniform bands along two sides only belong to a map that fills the picture.
TEST(OutlineTest, FindsTheMapInsideMarginsAndFrames) {
  struct Layout {
    const char* name;
    std::uint32_t margin, around;  // colours of the outer margin and around an oval; 0 map
    bool iceBands;                 // white bands along the top and bottom of the map
    bool landBand;                 // the map: a band of land across a sea of the margin's colour
    bool flatPoles;                // the oval's flat poles touch the picture's top and bottom
    int left, top, right, bottom;  // the outline's box; 0 wide: the whole picture
  };
  const Layout layouts[] = {
      {"black around an oval", 0xFF000000u, 0xFF000000u, false, false, false, 8, 8, 92, 72},
      {"white margin, black around an oval", 0xFFFFFFFFu, 0xFF000000u, false, false, false, 8, 8,
       92, 72},
      {"black beside flat poles on the edges", 0xFF000000u, 0xFF000000u, true, false, true, 8, 0,
       92, 80},
      {"no background: map to the edges", 0, 0, false, false, false, 0, 0, 0, 0},
      {"map to the edges with polar ice", 0, 0, true, false, false, 0, 0, 0, 0},
      {"paper margin, map with polar ice", 0xFFD8E8F0u, 0, true, false, false, 6, 6, 94, 74},
      {"map to the edges, a dark sea along them", 0xFF401008u, 0xFF401008u, false, true, false, 0,
       0, 0, 0},
  };
  for (const Layout& layout : layouts) {
    SCOPED_TRACE(layout.name);
    VideoBuffer picture;
    ASSERT_EQ(picture.Create(100, 80), 0);
    for (int y = 0; y < 80; ++y) {
      for (int x = 0; x < 100; ++x) {
        const bool inMargin = !layout.flatPoles && (x < 6 || y < 6 || x >= 94 || y >= 74);
        const double u = (x + 0.5 - 50) / 42, v = (y + 0.5 - 40) / 32;
        std::uint32_t map = test_support::PatternColour(x, y);
        if (layout.iceBands && (y < 10 || y >= 70)) map = 0xFFFFFFFFu;
        const std::uint32_t around = inMargin ? layout.margin : layout.around;
        if (inMargin && layout.margin && !layout.around) map = layout.margin;
        const double poles = (y + 0.5 - 40) / 40;
        const bool land = layout.landBand    ? std::abs(x - 5 * y / 4) < 8
                          : layout.flatPoles ? u * u < 1 - 0.5 * poles * poles
                                             : u * u + v * v < 1;
        picture.SetPixel(x, y, land || around == 0 ? map : around);
      }
    }
    Fit::Outline outline;
    std::string reason;
    ASSERT_EQ(Fit::DetectOutline(picture, &outline, &reason), Fit::kFitOk) << reason;
    int left = 100, top = 80, right = 0, bottom = 0;
    for (int y = 0; y < 80; ++y) {
      for (int x = 0; x < 100; ++x) {
        if (!outline.inside[y * 100 + x]) continue;
        left = std::min(left, x), right = std::max(right, x + 1);
        top = std::min(top, y), bottom = std::max(bottom, y + 1);
      }
    }
    if (layout.right > 0) {
      EXPECT_EQ(left, layout.left);
      EXPECT_EQ(right, layout.right);
      EXPECT_EQ(top, layout.top);
      EXPECT_EQ(bottom, layout.bottom);
    } else {
      EXPECT_EQ(outline.area, 100 * 80);
    }
  }
}

TEST_F(FitTest, APictureWithoutAMapHasNoOutline) {
  VideoBuffer picture;
  ASSERT_EQ(picture.Create(200, 100), 0);
  for (int y = 0; y < 100; ++y)
    for (int x = 0; x < 200; ++x) picture.SetPixel(x, y, x == 50 ? 0xFF000000u : 0xFFFFFFFFu);
  Fit::Outline outline;
  std::string reason;
  EXPECT_EQ(Fit::DetectOutline(picture, &outline, &reason), Fit::kNoOutline);
  EXPECT_EQ(reason, "No map outline found");
  MapInstance m;
  Fit::FitResult result;
  EXPECT_EQ(Fit::FitOutline(outline, &m, {}, &result, &reason), Fit::kNoOutline);
}

}  // namespace
