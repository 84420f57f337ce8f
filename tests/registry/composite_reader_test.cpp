// The definition reader and the loading loop around it: statements, tolerance, refusals.
#include "registry/composite_reader.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <filesystem>
#include <string>

#include "parser/tokenizer.h"
#include "registry/registry_fixture.h"

namespace {

using Projection::CompositeSegment;
using Projection::MapComposite;
using Projection::SegmentExclusion;

constexpr double kBad = 1e20;

class CompositeReaderTest : public BuiltinRegistryTest {
 protected:
  // Reads every definition of `text` into the registry.
  void Load(const std::string& text) {
    Parser::Tokenizer tokens;
    ASSERT_EQ(tokens.OpenText(text), 0);
    registry().ReadDefinitions(tokens);
  }
  // The composite registered under `code`, or null.
  MapComposite* At(int code) {
    if (registry().GetSlotFlags(code) != Projection::MAP_INTERRUPTED) return nullptr;
    return dynamic_cast<MapComposite*>(registry().Create(code));
  }
  // Reads one definition with a fresh reader, without registering it.
  void Fill(const std::string& text, MapComposite* composite) {
    Parser::Tokenizer tokens;
    ASSERT_EQ(tokens.OpenText(text), 0);
    ASSERT_EQ(MapCompositeReader().Fill(*composite, tokens), 0);
  }
  int CompositeCount() {
    int n = 0;
    for (int c = registry().First(); c != ProjectionRegistry::kEnd; c = registry().Next(c)) {
      n += registry().GetSlotFlags(c) == Projection::MAP_INTERRUPTED;
    }
    return n;
  }
};

TEST_F(CompositeReaderTest, TheHeaderGivesCodeAndNameAndBadCodesAreRefused) {
  struct Case {
    const char* text;
    int code;  // -1: nothing registered
    const char* name;
  };
  const Case cases[] = {
      {"// only a comment\n/* and a block */\n", -1, ""},
      {"Projection 99.9 Demo\nEndProjection", 99, "Demo"},
      {"projection, 100, 'Two words' endprojection", 100, "Two words"},
      {"Projection 6 Taken EndProjection", -1, ""},
      {"Projection -1 Demo EndProjection", -1, ""},
      {"Projection Demo EndProjection", -1, ""},
      {"Projection 300 Demo EndProjection", -1, ""},
      {"Projection 1e30 Demo EndProjection", -1, ""},
      {"Projection 101 NoEnd\nScale 2", 101, "NoEnd"},
  };
  for (const auto& c : cases) {
    SetUp();
    Load(c.text);
    if (c.code < 0) {
      EXPECT_EQ(CompositeCount(), 0) << c.text;
    } else {
      MapComposite* m = At(c.code);
      ASSERT_NE(m, nullptr) << c.text;
      EXPECT_STREQ(m->GetName(), c.name);
      EXPECT_EQ(CompositeCount(), 1) << c.text;
    }
  }
  MapComposite m;
  Fill("Projection Demo", &m);
  EXPECT_EQ(m.typeCode, INT_MIN);
  EXPECT_EQ(m.name, "Demo");
}

TEST_F(CompositeReaderTest, FirstDefinitionOfACodeWinsAndAMissingEndMergesDefinitions) {
  Load("Projection 110 First EndProjection\nProjection 110 Second EndProjection");
  ASSERT_NE(At(110), nullptr);
  EXPECT_STREQ(At(110)->GetName(), "First");

  SetUp();
  Load("Projection 111 A\nNoCache\nProjection 112 B\nEndProjection");
  EXPECT_EQ(At(111), nullptr);
  ASSERT_NE(At(112), nullptr);
  EXPECT_STREQ(At(112)->GetName(), "B");
  EXPECT_FALSE(At(112)->cacheEnabled);
}

TEST_F(CompositeReaderTest, TopLevelStatements) {
  MapComposite m;
  Fill(
      "Projection 100 'Demo'\n"
      "Description 'Two lobes' Scale 2\n"
      "Extent -1, 0.5, 1, -0.5\n"
      "Extent 0, 2, 3, 1\n"
      "unknown words 12 ; EndProjection",
      &m);
  EXPECT_EQ(m.description, "Two lobes");
  EXPECT_EQ(m.GetUnitScale(), 0.5);
  ASSERT_EQ(m.Extents().size(), 2u);
  EXPECT_EQ(m.Extents()[1].top, 2);
  double left, top, right, bottom;
  m.GetBounds(&left, &top, &right, &bottom);
  EXPECT_EQ(left, -1);
  EXPECT_EQ(top, 2);
  EXPECT_EQ(right, 3);
  EXPECT_EQ(bottom, -0.5);
  EXPECT_TRUE(m.cacheEnabled);

  MapComposite comma;
  Fill("Projection 100 X Description, text", &comma);
  EXPECT_EQ(comma.description, ",");

  for (const char* text : {"Projection 100 X", "Projection 100 X Scale 0",
                           "Projection 100 X Scale 4 Scale 0", "Projection 100 X Scale 1e400"}) {
    MapComposite noScale;
    Fill(text, &noScale);
    EXPECT_EQ(noScale.GetUnitScale(), 1) << text;
  }
}

TEST_F(CompositeReaderTest, SegmentStatements) {
  MapComposite m;
  Fill(
      "Projection 100 Demo\n"
      "Exclude 1, 0, 0, 0, 5\n"  // before the segment: dropped when it starts
      "Segment 'Mercator' 10, -20, 0.5, 0.25, 2, 30, 40\n"
      "  Offset -0.5, 0.125\n"
      "  Rotate 90\n"
      "  Effective -180 90 0 -90\n"
      "  Exclude 1, 1, 0.1, 0.2, 0.3\n"
      "  Exclude 2, 0, 0, 0, 1, 0, 1, 1, 0, 1\n"
      "  Exclude 3 0 0, 0, 1, 0, 0, 1\n"
      "  Scale 2\n"
      "EndSegment\n"
      "EndSegment\n"
      "EndProjection",
      &m);
  ASSERT_EQ(m.Segments().size(), 2u);
  const CompositeSegment& s = *m.Segments()[0];
  EXPECT_EQ(s.instance.typeCode, 6);
  EXPECT_EQ(s.instance.centerLat, 10);
  EXPECT_EQ(s.instance.centerLon, -20);
  double x, y;
  s.instance.GetOffset(&x, &y);
  EXPECT_DOUBLE_EQ(x, 0.5);
  EXPECT_DOUBLE_EQ(y, 0.25);
  EXPECT_EQ(s.instance.parallel1, 30);
  EXPECT_EQ(s.instance.parallel2, 40);
  EXPECT_EQ(s.instance.scale, 2);
  EXPECT_EQ(s.offsetX, -0.5);
  EXPECT_EQ(s.offsetY, 0.125);
  EXPECT_EQ(s.rotation, 90);
  EXPECT_NEAR(s.sinRotation, 1, 1e-15);
  EXPECT_NEAR(s.sinInverse, -1, 1e-15);
  // Without commas "0 -90" is one expression, and the next token fails as the fourth value.
  EXPECT_EQ(s.effectiveLeft, -180);
  EXPECT_EQ(s.effectiveTop, 90);
  EXPECT_EQ(s.effectiveRight, -90);
  EXPECT_EQ(s.effectiveBottom, kBad);
  ASSERT_EQ(s.exclusions.size(), 3u);
  EXPECT_EQ(s.exclusions[0].shape, SegmentExclusion::kCircle | SegmentExclusion::kInverted);
  EXPECT_EQ(s.exclusions[0].x[1], 0.3);
  EXPECT_EQ(s.exclusions[1].shape, SegmentExclusion::kQuadrilateral);
  EXPECT_EQ(s.exclusions[1].y[3], 1);
  EXPECT_EQ(s.exclusions[2].shape, 3);
  EXPECT_EQ(s.exclusions[2].y[2], 1);
  EXPECT_EQ(s.scaleX, 2);
  EXPECT_EQ(s.scaleY, kBad);
  // A second EndSegment appends the scratch segment as it stands, with its own projection.
  EXPECT_EQ(m.Segments()[1]->instance.typeCode, 6);
  EXPECT_NE(m.Segments()[1]->instance.projection, s.instance.projection);
}

TEST_F(CompositeReaderTest, UnknownSegmentNamesAndUnreadableCentres) {
  MapComposite m;
  Fill(
      "Projection 100 Demo\n"
      "EndSegment\n"                                     // before any segment: code 2, defaults
      "Segment Van Der Grinten 10, 20, 0, 0, 1, 0, 0\n"  // unquoted: "Van" matches nothing
      "EndSegment\n"
      "Segment 'Mercator' 1/0.00000001, 20, 0, 0, 1, 0, 0\n"
      "EndSegment",
      &m);
  ASSERT_EQ(m.Segments().size(), 3u);
  const CompositeSegment& first = *m.Segments()[0];
  EXPECT_EQ(first.instance.typeCode, 2);
  EXPECT_EQ(first.effectiveLeft, -180);
  EXPECT_EQ(first.scaleX, 1);
  const CompositeSegment& words = *m.Segments()[1];
  EXPECT_EQ(words.instance.typeCode, 2);
  EXPECT_EQ(words.instance.centerLat, 0);
  EXPECT_EQ(words.instance.centerLon, 0);
  EXPECT_EQ(words.instance.parallel1, kBad);
  const CompositeSegment& huge = *m.Segments()[2];
  EXPECT_EQ(huge.instance.centerLat, 0);
  EXPECT_EQ(huge.instance.centerLon, 20);
}

TEST_F(CompositeReaderTest, ASegmentMayNameAnEarlierComposite) {
  Load(
      "Projection 100 'Inner' Segment 'Equirectangular' 0,0,0,0,1,0,0 EndSegment EndProjection\n"
      "Projection 101 'Outer'\n"
      "Segment 'Inner' 0,0,0,0,1,0,0 Offset 0.5, 0 EndSegment\n"
      "Segment 'Inner' 0,0,0,0,1,0,0 Offset 5, 0 EndSegment\n"
      "EndProjection");
  MapComposite* inner = At(100);
  MapComposite* outer = At(101);
  ASSERT_NE(inner, nullptr);
  ASSERT_NE(outer, nullptr);
  ASSERT_EQ(outer->Segments().size(), 2u);
  EXPECT_EQ(outer->Segments()[0]->instance.projection, inner);
  EXPECT_EQ(outer->Segments()[1]->instance.projection, inner);
  double x, y;
  ASSERT_EQ(outer->Forward(0, Projection::kHalfPi, &x, &y), 0);
  EXPECT_NEAR(x, 0.5 + 0.5, 1e-4);  // the inner composite's own x of 90 degrees is 0.5
  registry().UnloadAll();           // nested composites give their segments back in any order
  EXPECT_EQ(outer->Forward(0, 0, &x, &y), -1);
}

TEST_F(CompositeReaderTest, DefinitionsOfAFileBesideTheProgram) {
  const std::string dir = ::testing::TempDir() + "kartovel-definitions/";
  std::filesystem::create_directories(dir);
  FILE* f = std::fopen((dir + "Projection.txt").c_str(), "w");
  ASSERT_NE(f, nullptr);
  std::fputs(
      "// interrupted sinusoidal in two lobes\n"
      "Projection 100 'Two-lobed'\nScale 1\nExtent -1, 0.5, 1, -0.5\n"
      "Segment 'Equirectangular' 0, -90, 0, 0, 1, 0, 0\n"
      "  Offset -0.5, 0\n  Effective -180, 90, 0, -90\nEndSegment\n"
      "Segment 'Equirectangular' 0, 90, 0, 0, 1, 0, 0\n"
      "  Offset 0.5, 0\n  Effective 0, 90, 180, -90\nEndSegment\n"
      "EndProjection\n",
      f);
  std::fclose(f);
  registry().UnloadAll();
  registry().LoadAll(dir);
  EXPECT_EQ(registry().GetSlotName(100), "Two-lobed");
  MapInstance two;
  ASSERT_EQ(two.Select(100), 0);
  double x, y, lat, lon;
  ASSERT_EQ(two.projection->Forward(0.3, -2.0, &x, &y), 0);
  ASSERT_EQ(two.projection->Inverse(x, y, &lat, &lon), 0);
  EXPECT_NEAR(lat, 0.3, 1e-9);
  EXPECT_NEAR(lon, -2.0, 1e-9);
  std::remove((dir + "Projection.txt").c_str());
}

// Limits that bound the work per point of a hostile definition: segments (a composite segment
// counting as its own segments), exclusions over all segments, extents.
TEST_F(CompositeReaderTest, HostileDefinitionsAreCutToBoundedWork) {
  std::string text = "Projection 200 'Many'\n";
  for (int e = 0; e < 20; ++e) text += "Extent -9, 9, 9, -9\n";
  for (int s = 0; s < 100; ++s) {
    text += "Segment 'Sinusoidal' 0, 0, 0, 0, 1, 0, 0\n";
    for (int e = 0; e < 3; ++e) text += "Exclude 1, 0, 5, 5, 0.001\n";
    text += "EndSegment\n";
  }
  text += "EndProjection\nProjection 201 'Nested'\n";
  for (int s = 0; s < 3; ++s) text += "Segment 'Many' 0, 0, 0, 0, 1, 0, 0 EndSegment\n";
  Load(text + "EndProjection");
  const MapComposite* many = At(200);
  const MapComposite* nested = At(201);
  ASSERT_NE(many, nullptr);
  ASSERT_NE(nested, nullptr);
  EXPECT_EQ(many->Segments().size(), MapCompositeReader::kMaxSegments);
  EXPECT_EQ(many->Extents().size(), MapCompositeReader::kMaxExtents);
  std::size_t exclusions = 0;
  for (const auto& segment : many->Segments()) exclusions += segment->exclusions.size();
  EXPECT_EQ(exclusions, MapCompositeReader::kMaxExclusions);
  EXPECT_EQ(nested->Segments().size(), 1u);  // a second 'Many' would pass the limit
}

}  // namespace
