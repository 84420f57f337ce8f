// Settings files: what a line sets, what is ignored and why, and the way out and back in.
#include "cli/settings_file.h"

#include <gtest/gtest.h>

namespace {

TEST(SettingsFile, ValidLinesAreReadTheRestListedWithoutEffect) {
  const std::string text =
      "# a comment\n"
      "\n"
      "--projection Lambert Conformal Conic\n"
      "  --center=30,20  \r\n"
      "--offset 0.25,-0.5\n"
      "--scale 2x\n"  // malformed: the scale stays
      "--parallels 20,50\n"
      "--frobnicate 3\n"  // unknown
      "--point 10,20,45.5,-7\n"
      "--point 1,2,3\n"              // three numbers
      "--settings other.kartovel\n"  // no nesting
      "--to-projection yes\n"        // a flag with a value
      "center 1,2\n"                 // no option at all
      "--width 5056\n";
  Settings s;
  std::vector<std::string> ignored;
  ReadSettingsText(text, &s, &ignored);
  EXPECT_EQ(s.projection, "Lambert Conformal Conic");
  EXPECT_EQ(s.map.centerLat, 30);
  EXPECT_EQ(s.map.centerLon, 20);
  EXPECT_EQ(s.map.offsetY, -0.5);
  EXPECT_EQ(s.map.scale, 1);
  EXPECT_EQ(*s.map.parallel2, 50);
  EXPECT_EQ(s.width, 5056);
  EXPECT_FALSE(s.toProjection);
  EXPECT_TRUE(s.settingsFile.empty());
  ASSERT_EQ(s.points.size(), 1u);
  EXPECT_EQ(s.points[0].latitude, 45.5);
  EXPECT_EQ(s.points[0].longitude, -7);
  const std::vector<std::string> expected = {
      "line 6: Malformed number for --scale: 2x: --scale 2x",
      "line 8: Unknown option --frobnicate: --frobnicate 3",
      "line 10: Malformed number for --point: 1,2,3: --point 1,2,3",
      "line 11: a settings file cannot name another: --settings other.kartovel",
      "line 12: --to-projection takes no value: --to-projection yes",
      "line 13: not an option: center 1,2",
  };
  EXPECT_EQ(ignored, expected);
}

TEST(SettingsFile, WrittenTextReadsBackToTheSameSettings) {
  Settings s;
  s.map = {20, 12.5, -73.25, 0.1, -0.2, 0.8f, 0.7f, 33.0, 45.5};
  s.width = 4096;
  s.sampling.kernel = Kernel::kBicubic;
  s.points = {{100.5, 20, 40.75, -74}, {0, 0, -33.9, 151.2}};
  const std::string text = SettingsFileText(s, "Lambert Conformal Conic");
  Settings back;
  std::vector<std::string> ignored;
  ReadSettingsText(text, &back, &ignored);
  EXPECT_TRUE(ignored.empty()) << ignored.front();
  EXPECT_EQ(back.projection, "20");
  back.map.typeCode = 20;  // the type code is looked up in the registry when the file is used
  EXPECT_EQ(SettingsOptions(back.map), SettingsOptions(s.map));
  EXPECT_EQ(back.width, 4096);
  EXPECT_EQ(back.sampling.kernel, Kernel::kBicubic);
  EXPECT_TRUE(back.sampling.antialias);
  ASSERT_EQ(back.points.size(), 2u);
  EXPECT_EQ(back.points[1].longitude, 151.2);
  EXPECT_EQ(back.points[0].column, 100.5);
  EXPECT_NE(text.find("# Projection: Lambert Conformal Conic\n"), std::string::npos);
}

}  // namespace
