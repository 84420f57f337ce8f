// Number texts in the C locale, buffer display orientation, line drawing and graticule placement.
#include <gtest/gtest.h>

#include <QColor>
#include <cmath>
#include <cstdio>
#include <optional>

#include "app/graticule.h"
#include "app/text_exchange.h"
#include "app/video_display.h"
#include "registry/map_instance.h"

namespace {

TEST(TextExchange, ScanFloatReadsTheLeadingNumberLikePercentF) {
  const struct {
    const char* text;
    std::optional<float> expected;
  } cases[] = {
      {"12.5", 12.5f},     {"  -3", -3.0f},     {"2.5x", 2.5f},       {"+7", 7.0f},
      {"1e3", 1000.0f},    {"0.1", 0.1f},       {"", std::nullopt},   {"abc", std::nullopt},
      {"-", std::nullopt}, {".", std::nullopt}, {"x1", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(ScanFloat(c.text), c.expected) << c.text;
}

TEST(TextExchange, ParseDoubleAndUnsignedTakeTheWholeText) {
  const struct {
    const char* text;
    std::optional<double> number;
    std::optional<std::uint32_t> count;
  } cases[] = {
      {"1024", 1024.0, 1024u},
      {" 7 ", 7.0, 7u},
      {"0", 0.0, 0u},
      {"4294967295", 4294967295.0, 4294967295u},
      {"4294967296", 4294967296.0, std::nullopt},
      {"-5", -5.0, std::nullopt},
      {"+5", 5.0, std::nullopt},
      {"0.25", 0.25, std::nullopt},
      {"12x", std::nullopt, std::nullopt},
      {"", std::nullopt, std::nullopt},
      {"1,5", std::nullopt, std::nullopt},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ParseDouble(c.text), c.number) << c.text;
    EXPECT_EQ(ParseUnsigned(c.text), c.count) << c.text;
  }
}

TEST(TextExchange, FormatsMatchPrintf) {
  for (double value : {0.0, -0.0, 1.0, 0.1, 80.0, -179.99995, 1e-5, 3.14159265358979, 12345.678,
                       0.00001 * 3.141592653589793, 1e20}) {
    char expected[128];
    std::snprintf(expected, sizeof expected, "%.4f", value);
    EXPECT_EQ(FormatFixed(value, 4), expected);
    std::snprintf(expected, sizeof expected, "%0.5f", value);
    EXPECT_EQ(FormatFixed(value, 5), expected);
    std::snprintf(expected, sizeof expected, "%.15g", value);
    EXPECT_EQ(FormatSignificant(value), expected);
  }
}

TEST(VideoDisplay, ImageIsTopDownOpaqueAndEmptyForNoStorage) {
  EXPECT_TRUE(ToImage(VideoBuffer()).isNull());
  VideoBuffer buffer;
  ASSERT_EQ(buffer.Create(3, 2), 0);
  buffer.SetPixel(0, 0, 0x000000FF);  // red, top left, alpha 0
  buffer.SetPixel(2, 1, 0x00FF0000);  // blue, bottom right
  const QImage image = ToImage(buffer, 2.0);
  ASSERT_EQ(image.size(), QSize(3, 2));
  EXPECT_EQ(image.pixel(0, 0), qRgba(255, 0, 0, 255));
  EXPECT_EQ(image.pixel(2, 1), qRgba(0, 0, 255, 255));
  EXPECT_EQ(image.pixel(1, 0), qRgba(0, 0, 0, 255));
  EXPECT_EQ(image.devicePixelRatio(), 2.0);
  EXPECT_EQ(ColourWord(QColor(0x11, 0x22, 0x33)), 0x332211u);
}

TEST(VideoDisplay, PolylineCoversBothEndsAndClips) {
  VideoBuffer buffer;
  ASSERT_EQ(buffer.Create(10, 10), 0);
  const std::uint32_t c = kGraticuleColour;
  DrawPolyline(buffer, {QPoint(1, 1), QPoint(8, 1), QPoint(8, 5)}, c);
  for (int x = 1; x <= 8; ++x) EXPECT_EQ(buffer.GetPixel(x, 1), c) << x;
  for (int y = 1; y <= 5; ++y) EXPECT_EQ(buffer.GetPixel(8, y), c) << y;
  EXPECT_EQ(buffer.GetPixel(0, 1), 0u);
  EXPECT_EQ(buffer.GetPixel(8, 6), 0u);

  DrawPolyline(buffer, {QPoint(-5, 9), QPoint(20, 9)}, c);  // runs off both sides
  EXPECT_EQ(buffer.GetPixel(0, 9), c);
  EXPECT_EQ(buffer.GetPixel(9, 9), c);
  DrawPolyline(buffer, {QPoint(3, 3)}, c);  // one point is no line
  EXPECT_EQ(buffer.GetPixel(3, 3), 0u);
  DrawPolyline(buffer, {QPoint(0, 0), QPoint(1 << 30, 1 << 30)}, c);  // absurd: dropped
  EXPECT_EQ(buffer.GetPixel(0, 0), 0u);
}

TEST(Graticule, LinesFollowTheReprojectMappingAndBreakWhereForwardFails) {
  MapInstance plate;  // equirectangular
  plate.SetOffset(0, 0);
  plate.aspect = 0.5;
  const std::vector<GraticuleRuns> lines = GraticuleLines(plate, 400, 200);
  ASSERT_EQ(lines.size(), 20u);
  for (const GraticuleRuns& line : lines) ASSERT_EQ(line.size(), 1u);
  EXPECT_EQ(lines[0][0].size(), 49u);
  EXPECT_EQ(lines[7][0].size(), 25u);
  EXPECT_EQ(lines[0][0].front(), QPoint(0, 0));      // -90 at -180: top left
  EXPECT_EQ(lines[3][0][24], QPoint(200, 100));      // equator at 0: centre
  EXPECT_EQ(lines[6][0].front(), QPoint(0, 199));    // +90: bottom row
  EXPECT_EQ(lines[7 + 4][0][12], QPoint(133, 100));  // meridian -60 at the equator

  MapInstance mercator;
  ASSERT_EQ(mercator.SelectByName("Mercator"), 0);
  const std::vector<GraticuleRuns> broken = GraticuleLines(mercator, 400, 200);
  EXPECT_TRUE(broken[0].empty()) << "the pole parallel has no point";
  ASSERT_EQ(broken[7].size(), 1u);
  EXPECT_EQ(broken[7][0].size(), 23u) << "meridians lose both poles";
}

}  // namespace
