// The per-row fast path of every built-in that offers it gives Forward's results bit for bit.
#include "projection/row_forward.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "projection/builtins.h"

namespace {

using Projection::BuiltinProjections;
using Projection::MapProject;
using Projection::RowForward;

bool SameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

TEST(RowForwardTest, MatchesForwardBitForBit) {
  // Centres and offsets that exercise the longitude window and the pole handling.
  const double settings[][4] = {{0, 0, 0, 0.0001}, {0.5, 2.5, -0.3, 0.7}, {-1.2, -3.0, 1e-5, 0}};
  int withFastPath = 0;
  for (const auto& builtin : BuiltinProjections()) {
    std::unique_ptr<MapProject> p(builtin.create());
    const auto* rows = dynamic_cast<const RowForward*>(p.get());
    if (!rows) continue;
    ++withFastPath;
    for (const auto& s : settings) {
      p->Init(s[0], s[1], s[2], s[3], 1, 1, 0.8, 0.2);
      for (int i = 0; i <= 64; ++i) {
        const double lat = (2.0 * i / 64 - 1) * Projection::kHalfPi;
        RowForward::Row row;
        rows->PrepareRow(lat, &row);
        for (int j = 0; j < 96; ++j) {
          const double lon = (2.0 * j / 96 - 1) * Projection::kPi;
          double x1 = 0, y1 = 0, x2 = 0, y2 = 0;
          const int r1 = p->Forward(lat, lon, &x1, &y1);
          const int r2 = rows->ForwardInRow(row, lon, &x2, &y2);
          ASSERT_EQ(r1, r2) << builtin.className << " at " << lat << ", " << lon;
          if (r1 != 0) continue;
          ASSERT_TRUE(SameBits(x1, x2) && SameBits(y1, y2))
              << builtin.className << " at " << lat << ", " << lon;
        }
      }
    }
  }
  EXPECT_GE(withFastPath, 2);
}

}  // namespace
