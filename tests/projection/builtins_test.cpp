// Properties every built-in projection must have: the row fast path agrees with Forward bit for
// bit, concurrent Forward calls agree with sequential ones, a second Init leaves no trace of the
// first, and no input makes a call hang or crash.
#include "projection/builtins.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "projection/row_forward.h"

namespace Projection {
namespace {

std::unique_ptr<MapProject> Make(const BuiltinProjection& builtin) {
  return std::unique_ptr<MapProject>(builtin.create());
}

// Parameters every class accepts, with an off-centre origin, offsets and two parallels.
void InitTypical(MapProject& p) {
  ASSERT_EQ(p.Init(0.4, -0.6, 0.05, -0.1, 1, 1, 0.5, 0.9), 0) << p.GetName();
}

// One Forward result, compared bit for bit (outputs only when the call succeeded).
struct Outcome {
  int result;
  std::uint64_t x, y;
  bool operator==(const Outcome&) const = default;
};

Outcome ForwardOutcome(MapProject& p, double lat, double lon) {
  double x = 0, y = 0;
  const int result = p.Forward(lat, lon, &x, &y);
  if (result != 0) return {result, 0, 0};
  return {0, std::bit_cast<std::uint64_t>(x), std::bit_cast<std::uint64_t>(y)};
}

// Latitudes from pole to pole (poles included) and longitudes a little beyond one turn.
std::vector<double> Latitudes() {
  std::vector<double> v;
  for (int i = 0; i <= 90; ++i) v.push_back(-kHalfPi + kPi * i / 90);
  return v;
}
std::vector<double> Longitudes() {
  std::vector<double> v = {-kPi, kPi};
  for (int i = 0; i <= 150; ++i) v.push_back(-4.0 + 8.0 * i / 150);
  return v;
}

TEST(Builtins, RowFastPathMatchesForwardBitForBit) {
  std::vector<std::string> withRows;
  for (const auto& builtin : BuiltinProjections()) {
    auto p = Make(builtin);
    auto* rows = dynamic_cast<RowForward*>(p.get());
    if (rows == nullptr) continue;
    withRows.push_back(builtin.className);
    InitTypical(*p);
    for (double lat : Latitudes()) {
      RowForward::Row row;
      rows->PrepareRow(lat, &row);
      for (double lon : Longitudes()) {
        double x = 0, y = 0;
        const int result = rows->ForwardInRow(row, lon, &x, &y);
        const Outcome inRow = result != 0 ? Outcome{result, 0, 0}
                                          : Outcome{0, std::bit_cast<std::uint64_t>(x),
                                                    std::bit_cast<std::uint64_t>(y)};
        ASSERT_EQ(inRow, ForwardOutcome(*p, lat, lon))
            << builtin.className << " lat " << lat << " lon " << lon;
      }
    }
  }
  // The iterating pseudocylindricals are the ones the raster engine needs it for.
  EXPECT_NE(std::find(withRows.begin(), withRows.end(), "MapMollweide"), withRows.end());
  EXPECT_NE(std::find(withRows.begin(), withRows.end(), "MapWagnerIV"), withRows.end());
}

TEST(Builtins, ConcurrentForwardEqualsSequential) {
  constexpr int kThreads = 4;
  for (const auto& builtin : BuiltinProjections()) {
    auto p = Make(builtin);
    InitTypical(*p);
    const std::vector<double> lats = Latitudes(), lons = Longitudes();
    std::vector<Outcome> sequential;
    for (double lat : lats) {
      for (double lon : lons) sequential.push_back(ForwardOutcome(*p, lat, lon));
    }
    // Every thread maps the whole grid; their results must all equal the sequential ones.
    std::vector<std::vector<Outcome>> concurrent(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
      threads.emplace_back([&, t] {
        for (double lat : lats) {
          for (double lon : lons) concurrent[t].push_back(ForwardOutcome(*p, lat, lon));
        }
      });
    }
    for (auto& thread : threads) thread.join();
    for (int t = 0; t < kThreads; ++t) {
      EXPECT_TRUE(concurrent[t] == sequential) << builtin.className << " thread " << t;
    }
  }
}

TEST(Builtins, ASecondInitLeavesNoTraceOfTheFirst) {
  for (const auto& builtin : BuiltinProjections()) {
    auto reused = Make(builtin), fresh = Make(builtin);
    ASSERT_EQ(reused->Init(-1.2, 2.9, 3, -4, 2, 2, -0.3, -1.1), 0) << builtin.className;
    InitTypical(*reused);
    InitTypical(*fresh);
    for (double lat : Latitudes()) {
      for (double lon : Longitudes()) {
        ASSERT_EQ(ForwardOutcome(*reused, lat, lon), ForwardOutcome(*fresh, lat, lon))
            << builtin.className;
      }
    }
  }
}

// Fit (scale 1) puts x = +-1 / GetUnitScale() at the picture's sides. The types from code 23 on
// fill that width with their world (transverse Mercator and Cassini: the band within 80 degrees of
// the central meridian; Nicolosi: its hemisphere) and keep all of it inside GetBounds, for the
// standard parallels that the cylindrical equal-area and Bonne classes are documented to fit.
TEST(Builtins, FitFramesTheWholeWorldOfTheNewerTypes) {
  for (const auto& builtin : BuiltinProjections()) {
    auto p = Make(builtin);
    const int code = p->GetTypeCode();
    if (code < 23) continue;
    double left, top, right, bottom;
    p->GetBounds(&left, &top, &right, &bottom);
    EXPECT_DOUBLE_EQ(right * p->GetUnitScale(), 1) << builtin.className;
    EXPECT_EQ(left, -right) << builtin.className;
    for (double parallel : {0.0, 0.5, -0.7, kHalfPi}) {
      if (p->Init(0, 0.3, 0, 0, 1, 1, parallel, 0) != 0) continue;
      double widest = 0;
      for (int i = 0; i <= 180; ++i) {
        for (int j = 0; j <= 360; ++j) {
          const double lat = (i - 90) * kDegToRad, dLon = (j - 180) * kDegToRad;
          const bool transverse = code == 34 || code == 35;
          if (transverse && std::fabs(std::cos(lat) * std::sin(dLon)) > std::sin(80 * kDegToRad)) {
            continue;
          }
          double x, y;
          if (p->Forward(lat, 0.3 + dLon, &x, &y) != 0) continue;
          widest = std::max(widest, std::fabs(x));
          ASSERT_LE(std::fabs(x), right * (1 + 1e-12)) << builtin.className << " " << i << " " << j;
          ASSERT_LE(y, top * (1 + 1e-12)) << builtin.className << " " << i << " " << j;
          ASSERT_GE(y, bottom * (1 + 1e-12)) << builtin.className << " " << i << " " << j;
        }
      }
      if (parallel == 0) {
        EXPECT_GT(widest, 0.999 * right) << builtin.className;
      }
    }
  }
}

// Centres on the poles and the antimeridian, parallels at the poles and crossing the equator,
// and non-finite or huge coordinates: every call must return, and the sanitizers stay quiet.
TEST(Builtins, HostileInputsReturnWithoutHangingOrCrashing) {
  const double inf = std::numeric_limits<double>::infinity();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double values[] = {0, 1e-300, -kHalfPi, kHalfPi, kPi, 1e300, -1e300, inf, -inf, nan};
  const struct {
    double lat, lon, p1, p2;
  } setups[] = {{kHalfPi, 0, kHalfPi, kHalfPi}, {-kHalfPi, kPi, -kHalfPi, 0.1},
                {0, -kPi, 1e-12, -1e-12},       {1.0, 100.0, kPi, 0.5},
                {nan, nan, nan, nan},           {0.3, 0.2, 0.7, 0.7}};
  for (const auto& builtin : BuiltinProjections()) {
    auto p = Make(builtin);
    for (const auto& s : setups) {
      p->Init(s.lat, s.lon, 0, 0, 1, 1, s.p1, s.p2);
      for (double u : values) {
        for (double v : values) {
          double a = 0, b = 0;
          (void)p->Forward(u, v, &a, &b);
          (void)p->Inverse(u, v, &a, &b);
        }
      }
    }
    SUCCEED() << builtin.className;
  }
}

}  // namespace
}  // namespace Projection
