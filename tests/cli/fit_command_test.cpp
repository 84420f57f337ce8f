// kartovel-convert --fit: the output lines scripts read, and the exits for bad input.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "engine/reproject.h"
#include "image/image_test_support.h"
#include "registry/map_settings.h"
#include "registry/registry_fixture.h"

namespace {

using test_support::ScratchDir;

struct FitRun {
  int exitCode;
  std::vector<std::string> lines;  // standard output
  std::string errors;
};

std::string Slurp(const std::string& path) {
  std::ifstream file(path);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

FitRun Fit(const std::string& arguments, const ScratchDir& dir) {
  const std::string out = dir / "stdout.txt", err = dir / "stderr.txt";
  const std::string command = std::string("'") + KARTOVEL_CONVERT + "' --fit " + arguments + " >'" +
                              out + "' 2>'" + err + "'";
  const int status = std::system(command.c_str());
  FitRun run{WIFEXITED(status) ? WEXITSTATUS(status) : -1, {}, Slurp(err)};
  std::istringstream lines(Slurp(out));
  for (std::string line; std::getline(lines, line);) run.lines.push_back(line);
  return run;
}

using FitCommandTest = BuiltinRegistryTest;

// An orthographic globe centred at 30 N 20 E, 400 x 400 pixels, and ten of its places.
class GlobeTest : public FitCommandTest {
 protected:
  void SetUp() override {
    FitCommandTest::SetUp();
    truth.typeCode = 9, truth.centerLat = 30, truth.centerLon = 20, truth.offsetX = 0.0625;
    truth.scale = 0.875;
    VideoBuffer world, globe;
    ASSERT_EQ(world.Create(64, 32), 0);
    test_support::FillPattern(&world);
    MapInstance m;
    ApplySettings(truth, &m);
    ASSERT_EQ(globe.Create(400, 400), 0);
    RenderProjection(world, m, globe);
    ASSERT_EQ(globe.Save(picture), 0);
    const Placement place(m, 400, 400);
    std::ofstream file(points);
    file.precision(17);
    file << "# column row latitude longitude\n";
    for (int i = 0; i < 10; ++i) {
      const double lat = 30 + (i % 5) * 12 - 24, lon = 20 + (i / 5) * 40 - 20 + i * 3;
      double x, y;
      ASSERT_EQ(m.projection->Forward(StoredLatitude(lat) * Projection::kDegToRad,
                                      lon * Projection::kDegToRad, &x, &y),
                0);
      file << place.X(x) + 0.5 << ' ' << place.Y(y) + 0.5 << ' ' << lat << ' ' << lon << '\n';
    }
  }
  ScratchDir dir;
  MapSettings truth;
  const std::string picture = dir / "globe.png", points = dir / "globe.txt";
};

TEST_F(GlobeTest, PointsGiveTheSettingsAndEachResidual) {
  const FitRun run = Fit(picture + " --projection 9 --points " + points, dir);
  ASSERT_EQ(run.exitCode, 0) << run.errors;
  ASSERT_EQ(run.lines.size(), 12u);
  EXPECT_EQ(run.lines[0].rfind("--projection 9 --center 30,20 --offset 0.0625,", 0), 0u)
      << run.lines[0];
  EXPECT_EQ(run.lines[1].rfind("rms 0.00", 0), 0u) << run.lines[1];
  EXPECT_NE(run.lines[1].find(", 10 points"), std::string::npos);
  double column, row, dx, dy;
  EXPECT_EQ(std::sscanf(run.lines[2].c_str(), "%lf %lf %lf %lf", &column, &row, &dx, &dy), 4);
  EXPECT_LT(std::fabs(dx) + std::fabs(dy), 0.01);
}

TEST_F(GlobeTest, OutlineAndRanking) {
  const FitRun outline = Fit(picture + " --projection 9 --center 30,20", dir);
  ASSERT_EQ(outline.exitCode, 0) << outline.errors;
  ASSERT_EQ(outline.lines.size(), 2u);
  double iou = 0;
  EXPECT_EQ(std::sscanf(outline.lines[1].c_str(), "outline IoU %lf", &iou), 1);
  EXPECT_GT(iou, 0.99);

  const FitRun ranked = Fit(picture + " --points " + points + " --rank", dir);
  ASSERT_EQ(ranked.exitCode, 0) << ranked.errors;
  ASSERT_FALSE(ranked.lines.empty());
  EXPECT_EQ(ranked.lines[0].rfind("9\tOrthographic\t0.00", 0), 0u) << ranked.lines[0];
}

TEST_F(GlobeTest, BadInputExitsWithItsReason) {
  const std::string few = dir / "few.txt", bad = dir / "bad.txt", blank = dir / "blank.png";
  std::ofstream(few) << "10 10 0 0\n";
  std::ofstream(bad) << "10 10 0 0\n10 20 north 5\n";
  VideoBuffer empty;
  ASSERT_EQ(empty.Create(100, 50), 0);
  for (int y = 0; y < 50; ++y)
    for (int x = 0; x < 100; ++x) empty.SetPixel(x, y, 0xFFFFFFFFu);
  ASSERT_EQ(empty.Save(blank), 0);
  const struct {
    std::string arguments;
    int exitCode;
    std::string says;
  } cases[] = {
      {picture + " --projection 9 --points " + few, 2, "Too few points: 1 given"},
      {picture + " --projection 9 --points " + bad, 2, "Line 2 is not a point"},
      {picture + " --points " + dir / "none.txt", 2, "Cannot read points file"},
      {blank + " --projection 9", 1, "No map outline found"},
      {picture + " in.png out.png", 2, "--fit IMAGE takes no INPUT OUTPUT"},
  };
  for (const auto& c : cases) {
    const FitRun run = Fit(c.arguments, dir);
    EXPECT_EQ(run.exitCode, c.exitCode) << c.arguments;
    EXPECT_NE(run.errors.find(c.says), std::string::npos) << run.errors;
    EXPECT_TRUE(run.lines.empty());
  }
}

}  // namespace
