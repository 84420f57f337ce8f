// MapComposite: segment search and cache, placement, exclusions, effective regions and extents.
#include "registry/map_composite.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <thread>
#include <vector>

#include "registry/registry_fixture.h"

namespace {

using Projection::CompositeExtent;
using Projection::CompositeSegment;
using Projection::kDegToRad;
using Projection::MapComposite;
using Projection::SegmentExclusion;

using MapCompositeTest = BuiltinRegistryTest;

// An equirectangular segment without instance offsets: its normalised coordinates are
// (longitude / 180, latitude / 180) in degrees.
CompositeSegment Plain(double offsetX = 0, double offsetY = 0) {
  CompositeSegment s;
  s.instance.offsetX = 0;
  s.instance.offsetY = 0;
  s.instance.Apply();
  s.offsetX = offsetX;
  s.offsetY = offsetY;
  return s;
}

CompositeSegment Band(double left, double right, double offsetX = 0) {
  CompositeSegment s = Plain(offsetX);
  s.effectiveLeft = left;
  s.effectiveRight = right;
  return s;
}

struct Point {
  double x, y;
};

// Forward of a point given in degrees; nullopt-like flag through ok.
Point Forward(MapComposite& c, double lat, double lon, int* result) {
  Point p{0, 0};
  *result = c.Forward(lat * kDegToRad, lon * kDegToRad, &p.x, &p.y);
  return p;
}

TEST_F(MapCompositeTest, EveryExtentMustHoldAndBoundsIncludeTheOrigin) {
  MapComposite c;
  c.AddSegment(Plain());
  c.AddExtent({-1, 0.5, 1, -0.5});
  c.AddExtent({-0.25, 0.5, 1, -0.5});
  int r;
  Forward(c, 0, 90, &r);
  EXPECT_EQ(r, 0);
  Forward(c, 0, -90, &r);  // x = -0.5: inside the first extent only
  EXPECT_EQ(r, -1);
  double lat, lon;
  EXPECT_EQ(c.Inverse(-0.5, 0, &lat, &lon), -1);
  EXPECT_EQ(c.Inverse(0.5, 0, &lat, &lon), 0);
  double left, top, right, bottom;
  c.GetBounds(&left, &top, &right, &bottom);
  EXPECT_EQ(left, -1);
  EXPECT_EQ(top, 0.5);

  MapComposite far;
  far.AddExtent({1, 3, 2, 2});
  far.GetBounds(&left, &top, &right, &bottom);
  EXPECT_EQ(left, 0);
  EXPECT_EQ(top, 3);
  EXPECT_EQ(right, 2);
  EXPECT_EQ(bottom, 0);
}

TEST_F(MapCompositeTest, TheFirstAcceptingSegmentDecidesEvenWhenOutsideAnExtent) {
  MapComposite c;
  c.AddSegment(Plain(3));  // accepts every point but places it outside the extent
  c.AddSegment(Plain(0));
  c.AddExtent({-1, 0.5, 1, -0.5});
  int r;
  Forward(c, 10, 10, &r);
  EXPECT_EQ(r, -1);

  MapComposite open;  // no extent: anything a segment places is accepted
  open.AddSegment(Plain(3));
  const Point p = Forward(open, 0, 90, &r);
  EXPECT_EQ(r, 0);
  EXPECT_NEAR(p.x, 3.5, 1e-12);
}

// The cache only speeds the search up: whatever was asked before, a point that two segments
// accept goes to the first of them, so pictures do not depend on the order pixels were visited in.
TEST_F(MapCompositeTest, OverlapsResolveToTheFirstSegmentWhateverWasAskedBefore) {
  for (bool cache : {true, false}) {
    MapComposite c;
    c.cacheEnabled = cache;
    c.AddSegment(Band(-180, 0, 10));  // west only
    c.AddSegment(Band(-180, 180, 20));
    int r, segment;
    Point p = Forward(c, 0, 90, &r);  // only the second accepts, and is now tried first
    EXPECT_NEAR(p.x, 20.5, 1e-12);
    p = Forward(c, 0, -90, &r);  // both accept
    EXPECT_NEAR(p.x, 9.5, 1e-12) << "cache " << cache;
    double x, y, lat, lon;
    ASSERT_EQ(c.ForwardSegment(0, 90 * kDegToRad, &x, &y, &segment), 0);
    EXPECT_EQ(segment, 1);
    ASSERT_EQ(c.InverseSegment(9.5, 0, &lat, &lon, &segment), 0);
    EXPECT_EQ(segment, 0);
    EXPECT_NEAR(lon, -90 * kDegToRad, 1e-12);
  }
}

TEST_F(MapCompositeTest, EffectiveLimitsAreInclusive) {
  MapComposite c;
  c.AddSegment(Band(-180, 0, 0));
  c.AddSegment(Band(0, 180, 5));
  int r;
  const Point p = Forward(c, 0, 0, &r);  // on the shared edge: the first segment keeps it
  EXPECT_EQ(r, 0);
  EXPECT_NEAR(p.x, 0, 1e-12);
}

struct ExclusionCase {
  const char* what;
  SegmentExclusion shape;
  double x, y;
  bool inside;
};

TEST(SegmentExclusionTest, InsideTestsUseHalfOpenEdges) {
  const SegmentExclusion square{{0, 1, 1, 0}, {0, 0, 1, 1}, SegmentExclusion::kQuadrilateral};
  const SegmentExclusion triangle{{0, 2, 0, 0}, {0, 0, 2, 0}, 3};
  const SegmentExclusion circle{{0, 1, 0, 0}, {0, 0, 0, 0}, SegmentExclusion::kCircle};
  const ExclusionCase cases[] = {
      {"square centre", square, 0.5, 0.5, true},
      {"square left edge", square, 0, 0.5, true},
      {"square lower edge", square, 0.5, 0, true},
      {"square right edge", square, 1, 0.5, false},
      {"square upper edge", square, 0.5, 1, false},
      {"square outside", square, 1.5, 0.5, false},
      {"triangle inside", triangle, 0.5, 0.5, true},
      {"triangle beyond hypotenuse", triangle, 1.5, 1.0, false},
      {"triangle ignores the fourth corner", triangle, -0.5, 0.5, false},
      {"circle centre", circle, 0, 0, true},
      {"circle on the rim", circle, 1, 0, false},
      {"circle outside", circle, 0.8, 0.8, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.shape.Contains(c.x, c.y), c.inside) << c.what;
    EXPECT_EQ(c.shape.Rejects(c.x, c.y), c.inside) << c.what;
    SegmentExclusion inverted = c.shape;
    inverted.shape |= SegmentExclusion::kInverted;
    EXPECT_EQ(inverted.Contains(c.x, c.y), c.inside) << c.what;
    EXPECT_EQ(inverted.Rejects(c.x, c.y), !c.inside) << c.what;
  }
}

TEST_F(MapCompositeTest, ExcludedPointsFallThroughToTheNextSegment) {
  MapComposite c;
  CompositeSegment holed = Plain();
  // Cuts the eastern hemisphere out of the first segment (segment coordinates: x = lon / 180).
  holed.exclusions.push_back({{0, 2, 2, 0}, {-1, -1, 1, 1}, SegmentExclusion::kQuadrilateral});
  c.AddSegment(holed);
  c.AddSegment(Plain(0, 0.25));
  c.cacheEnabled = false;
  int r;
  EXPECT_NEAR(Forward(c, 0, -90, &r).y, 0, 1e-12);
  EXPECT_NEAR(Forward(c, 0, 90, &r).y, 0.25, 1e-12);
  double lat, lon;
  ASSERT_EQ(c.Inverse(0.5, 0.25, &lat, &lon), 0);  // inside the hole: the second segment answers
  EXPECT_NEAR(lat, 0, 1e-12);
  EXPECT_NEAR(lon, 90 * kDegToRad, 1e-12);
  ASSERT_EQ(c.Inverse(-0.5, 0.25, &lat, &lon), 0);
  EXPECT_NEAR(lat, 45 * kDegToRad, 1e-12);
}

TEST_F(MapCompositeTest, RotationScaleAndOffsetPlaceTheSegmentAndInvertBack) {
  MapComposite c;
  CompositeSegment s = Plain(0.25, -0.125);
  s.rotation = 90;
  s.UpdateRotation();
  c.AddSegment(s);
  int r;
  const Point p = Forward(c, 0, 180, &r);  // segment point (1, 0)
  ASSERT_EQ(r, 0);
  EXPECT_NEAR(p.x, 0.25, 1e-12);
  EXPECT_NEAR(p.y, 1 - 0.125, 1e-12);

  MapComposite d;
  CompositeSegment t = Plain(0.3, 0.1);
  t.rotation = 30;
  t.scaleX = 2;
  t.scaleY = 0.5;
  t.UpdateRotation();
  d.AddSegment(t);
  d.Init(0.2, 0.5, 0.01, -0.02, 1, 1, 0, 0);  // centre and offsets of the composite itself
  for (const auto& [lat, lon] : {std::pair{10.0, 20.0}, {-60.0, 170.0}, {45.0, -150.0}}) {
    double x, y, back_lat, back_lon;
    ASSERT_EQ(d.Forward(lat * kDegToRad, lon * kDegToRad, &x, &y), 0);
    ASSERT_EQ(d.Inverse(x, y, &back_lat, &back_lon), 0);
    EXPECT_NEAR(back_lat, lat * kDegToRad, 1e-9) << lat << " " << lon;
    EXPECT_NEAR(back_lon, lon * kDegToRad, 1e-9) << lat << " " << lon;
  }
}

TEST_F(MapCompositeTest, ConcurrentCallsGiveEveryThreadItsOwnAnswers) {
  MapComposite c;
  for (int i = 0; i < 6; ++i) c.AddSegment(Band(-180 + 60 * i, -120 + 60 * i, i));
  std::vector<int> wrong(4, 0);
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&c, &wrong, t] {
      for (int n = 0; n < 20000; ++n) {
        const int band = (n * 5 + t) % 6;
        double x, y, lat, lon;
        const double lonDeg = -150 + 60 * band;
        if (c.Forward(0, lonDeg * kDegToRad, &x, &y) != 0 ||
            std::fabs(x - band - lonDeg / 180) > 1e-9 || c.Inverse(x, y, &lat, &lon) != 0 ||
            std::fabs(lon - lonDeg * kDegToRad) > 1e-9) {
          ++wrong[t];
        }
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(wrong, std::vector<int>(4, 0));
}

TEST_F(MapCompositeTest, UnloadAllEmptiesRegisteredCompositesButKeepsThemUsable) {
  auto* c = new MapComposite;
  c->typeCode = 120;
  c->name = "Retired";
  c->AddSegment(Plain());
  ASSERT_TRUE(registry().RegisterShared(c));
  MapInstance holder;
  ASSERT_EQ(holder.Select(120), 0);
  EXPECT_EQ(holder.projection, c);
  registry().UnloadAll();
  double x, y;
  EXPECT_EQ(c->Forward(0, 0, &x, &y), -1);  // segments given back, the object still alive
  EXPECT_STREQ(holder.GetName(), "Retired");
}

}  // namespace
