// Recognition of small Earth maps drawn from the reference picture itself: the right type and a
// placement within a pixel, in a photographic and a flat grey style, and pictures that are no
// Earth map turned down.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>

#include "engine/reproject.h"
#include "image/image_test_support.h"
#include "recognize/recognize.h"
#include "registry/registry_fixture.h"

namespace {

const VideoBuffer& World() {
  static VideoBuffer world;
  if (!world.HasStorage()) world.Load(ReferenceEarth::kDefaultPicture);
  return world;
}

const ReferenceEarth& Earth() {
  static ReferenceEarth earth;
  if (!earth.Loaded()) earth.Load();
  return earth;
}

// The Earth drawn as `settings` say on a w x h picture, black where there is no map (and, with
// `oval` > 0, outside the centred ellipse of semi-axes that share of w and h), in `flat` style
// two greys (a sea and a land colour, as a printed map) and a white margin of `margin` pixels
// around it.
void Draw(const MapSettings& settings, int w, int h, bool flat, int margin, VideoBuffer* out,
          double oval = 0) {
  MapInstance instance;
  ASSERT_EQ(ApplySettings(settings, &instance), 0);
  VideoBuffer map;
  ASSERT_EQ(map.Create(w, h), 0);
  RenderProjection(World(), instance, map);
  ASSERT_EQ(out->Create(w + 2 * margin, h + 2 * margin), 0);
  for (int y = 0; y < out->height; ++y) {
    for (int x = 0; x < out->width; ++x) {
      std::uint32_t c = 0xFFFFFFFFu;
      if (x >= margin && y >= margin && x < margin + w && y < margin + h) {
        c = map.GetPixel(x - margin, y - margin);
        const double u = (x - margin + 0.5) / w - 0.5, v = (y - margin + 0.5) / h - 0.5;
        if (c >> 24 == 0 || (oval > 0 && u * u + v * v > oval * oval)) c = 0;
        if (flat && c != 0) {
          const bool sea = ((c >> 16) & 0xFF) > (c & 0xFF) + 20;
          c = sea ? 0x505050u : 0xC0C0C0u;
        }
      }
      out->SetPixel(x, y, c | 0xFF000000u);
    }
  }
}

class RecognizeTest : public BuiltinRegistryTest {
 protected:
  void SetUp() override {
    BuiltinRegistryTest::SetUp();
    if (!World().HasStorage() || !Earth().Loaded()) GTEST_SKIP() << "no xplanet Earth picture";
  }
};

struct Case {
  const char* name;
  MapSettings truth;
  int width, height;
  bool flat;
  int margin;
  std::vector<int> types;  // the candidates: the truth's type and its look-alikes
  double oval = 0;         // cut to an oval, see Draw
};

MapSettings Settings(int code, double lat, double lon, double scale, double aspect) {
  MapSettings s;
  s.typeCode = code, s.centerLat = lat, s.centerLon = lon, s.scale = scale, s.aspect = aspect;
  return s;
}

TEST_F(RecognizeTest, FindsTypeAndPlacementOfSmallMaps) {
  MapSettings cone = Settings(20, 0, -100, 1.4, 0.6);
  cone.parallel1 = 20, cone.parallel2 = 50;
  cone.offsetY = -0.15;
  MapSettings transverse = Settings(34, 0, 156.65, 1.218, 1.5714);
  transverse.offsetX = 0.05;
  const Case cases[] = {
      {"Mollweide, photographic", Settings(8, 0, 40, 0.97, 0.5), 320, 160, false, 0, {8, 4, 13}},
      {"Mollweide, flat grey in a margin", Settings(8, 0, -70, 0.97, 0.5), 320, 160, true, 16,
       {8, 4}},
      {"Orthographic at 30 N 20 E", Settings(9, 30, 20, 1, 1), 200, 200, false, 0, {9, 5}},
      {"Lambert conformal conic of the north", cone, 320, 192, false, 0, {20}},
      // A dark sea all along the picture's sides, and a cylinder whose meridian is no x offset.
      {"Transverse Mercator of the Pacific, off centre", transverse, 192, 302, false, 0, {34, 35}},
      // The hemisphere of a projection that could show the whole sphere.
      {"Lambert azimuthal, a hemisphere in flat grey", Settings(5, 50, 10, 1.4142, 1), 240, 240,
       true, 0, {5, 9}, 0.5},
      // Drawn only in an oval around its middle, as where a tool's inverse fails farther out.
      {"American polyconic, an oval of it", Settings(36, 0, 158.5, 0.98, 0.6875), 400, 275, false,
       0, {36, 35, 39}, 0.3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    VideoBuffer picture;
    Draw(c.truth, c.width, c.height, c.flat, c.margin, &picture, c.oval);
    RecognizeRequest request;
    request.typeCodes = c.types;
    Recognizer recognizer(Earth(), request);
    std::vector<Recognition> results;
    ASSERT_EQ(recognizer.Run(picture, &results), RecognizeResult::kOk);
    EXPECT_EQ(results.front().settings.typeCode, c.truth.typeCode);
    EXPECT_LT(PlacementRms(c.truth, c.width, c.height, results.front().settings, picture.width,
                           picture.height, c.margin, c.margin),
              1.0);
  }
}

TEST_F(RecognizeTest, HoldsTheSettingsGiven) {
  const MapSettings truth = Settings(9, -20, 100, 1, 1);
  VideoBuffer picture;
  Draw(truth, 200, 200, false, 0, &picture);
  RecognizeRequest request;
  request.typeCodes = {9};
  request.centerLon = 95.0;  // a wrong longitude, held anyway
  request.scale = 1.0;
  Recognizer recognizer(Earth(), request);
  std::vector<Recognition> results;
  recognizer.Run(picture, &results);
  ASSERT_FALSE(results.empty());
  EXPECT_EQ(results.front().settings.centerLon, 95.0);
  EXPECT_EQ(results.front().settings.scale, 1.0);
}

TEST_F(RecognizeTest, TurnsDownPicturesThatAreNoEarthMap) {
  VideoBuffer noise, blank;
  ASSERT_EQ(noise.Create(256, 128), 0);
  ASSERT_EQ(blank.Create(256, 128), 0);
  std::mt19937 random(7);
  for (int y = 0; y < 128; ++y) {
    for (int x = 0; x < 256; ++x) {
      noise.SetPixel(x, y, random() | 0xFF000000u);
      blank.SetPixel(x, y, 0xFF336699u);
    }
  }
  RecognizeRequest request;
  request.typeCodes = {2, 8, 9};
  Recognizer recognizer(Earth(), request);
  std::vector<Recognition> results;
  EXPECT_EQ(recognizer.Run(noise, &results), RecognizeResult::kNotRecognised);
  EXPECT_EQ(recognizer.Run(blank, &results), RecognizeResult::kNotRecognised);
  VideoBuffer tiny;
  ASSERT_EQ(tiny.Create(40, 20), 0);
  EXPECT_EQ(recognizer.Run(tiny, &results), RecognizeResult::kBadPicture);
}

TEST_F(RecognizeTest, CancelStopsTheRun) {
  VideoBuffer picture;
  Draw(Settings(8, 0, 0, 0.97, 0.5), 256, 128, false, 0, &picture);
  Recognizer recognizer(Earth(), {});
  RasterProgress progress;
  progress.cancel = true;
  std::vector<Recognition> results;
  EXPECT_EQ(recognizer.Run(picture, &results, &progress), RecognizeResult::kCancelled);
}

}  // namespace
