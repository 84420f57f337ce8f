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

TEST(Graticule, LinesFollowTheReprojectMappingAndBreakWhereForwardFails) {
  MapInstance plate;  // equirectangular
  plate.SetOffset(0, 0);
  plate.aspect = 0.5;
  const std::vector<GraticuleLine> lines = GraticuleLines(plate, 400, 200);
  ASSERT_EQ(lines.size(), 20u);
  for (const GraticuleLine& line : lines) ASSERT_EQ(line.runs.size(), 1u);
  EXPECT_EQ(lines[0].runs[0].size(), 49u);
  EXPECT_EQ(lines[7].runs[0].size(), 25u);
  // The first parallel is the south pole, at the bottom row of a north-up picture.
  EXPECT_EQ(lines[0].degrees, 90);
  // Within the x offset that stands in for 0 and the aspect's guard of 0.0001.
  auto near = [](QPointF a, QPointF b) { return (a - b).manhattanLength() < 0.05; };
  EXPECT_TRUE(near(lines[0].runs[0].front(), QPointF(0, 0)));
  EXPECT_EQ(GraticuleLabel(lines[0]), QStringLiteral("90\u00B0N"));
  EXPECT_TRUE(near(lines[3].runs[0][24], QPointF(200, 100)));  // equator at 0: centre
  EXPECT_EQ(GraticuleLabel(lines[3]), QStringLiteral("0\u00B0"));
  EXPECT_NEAR(lines[7 + 4].runs[0][12].x(), 133.33, 0.01);  // meridian -60 at the equator
  EXPECT_EQ(GraticuleLabel(lines[7 + 4]), QStringLiteral("60\u00B0W"));

  // Finer spacings: 5 degrees gives 37 parallels and 73 meridians, points every 1.25 degrees.
  const std::vector<GraticuleLine> fine = GraticuleLines(plate, 400, 200, 5);
  ASSERT_EQ(fine.size(), 37u + 73u);
  EXPECT_EQ(fine[0].runs[0].size(), 289u);

  MapInstance mercator;
  ASSERT_EQ(mercator.SelectByName("Mercator"), 0);
  const std::vector<GraticuleLine> broken = GraticuleLines(mercator, 400, 200);
  EXPECT_TRUE(broken[0].runs.empty()) << "the pole parallel has no point";
  ASSERT_EQ(broken[7].runs.size(), 1u);
  EXPECT_EQ(broken[7].runs[0].size(), 23u) << "meridians lose both poles";
}

}  // namespace
