// The export job: extents and their windows, streamed files equal to the picture made whole,
// windows and tiles cut from one grid, the map's data, refusals that write nothing.
#include "engine/export.h"

#include <gtest/gtest.h>
#include <proj.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "image/image_test_support.h"
#include "registry/map_settings.h"
#include "registry/registry_fixture.h"

namespace {

using test_support::FillPattern;
using test_support::ScratchDir;

using ExportTest = BuiltinRegistryTest;

// A Mollweide map filling a 300 x 150 picture with patterned colours.
void MollweideMap(VideoBuffer* map, MapInstance* m) {
  ASSERT_EQ(map->Create(300, 150), 0);
  FillPattern(map);
  ASSERT_EQ(m->Select(8), 0);
  m->aspect = 0.5;
  m->SetOffset(0, 0);
}

// The whole-world picture of `width` made in one piece, in memory.
void Whole(const VideoBuffer& map, const MapInstance& m, int width, VideoBuffer* whole) {
  ASSERT_EQ(whole->Create(width, width / 2), 0);
  ASSERT_EQ(Reproject(map, m, *whole), 0);
}

// `part` equals the pixels of `whole` at columns left.. (wrapping) and rows top...
::testing::AssertionResult IsCrop(const VideoBuffer& part, const VideoBuffer& whole,
                                  std::int64_t left, std::int64_t top) {
  for (int y = 0; y < part.height; ++y) {
    for (int x = 0; x < part.width; ++x) {
      const auto want =
          whole.GetPixel(static_cast<int>((left + x) % whole.width), static_cast<int>(top + y));
      if (part.GetPixel(x, y) != want) {
        return ::testing::AssertionFailure()
               << "pixel " << x << "," << y << " of the window at " << left << "," << top;
      }
    }
  }
  return ::testing::AssertionSuccess();
}

TEST(ExtentTest, ExtentsSelectThePixelsWhoseCentresLieInside) {
  // A 360-wide grid: column c at longitude c - 180, row r at latitude 90 - r.
  struct {
    const char* text;
    std::int64_t left, top, width, height;
  } const cases[] = {
      {"-180,-90,180,90", 0, 0, 360, 180},
      {"0,0,90,45", 180, 45, 90, 45},        // lon 0 in, 90 out; lat 45 in, 0 out
      {"-0.5,-0.5,0.5,0.5", 180, 90, 1, 1},  // one pixel
      {"170,-10,-170,10", 350, 80, 20, 20},  // across the date line
      {"179.5,89.5,-179.5,90", 0, 0, 1, 1},  // -180 is 180: inside
      {"0.2,0,0.8,10", 0, 0, 0, 0},          // no centre inside: refused
  };
  for (const auto& c : cases) {
    ExportExtent extent;
    std::string error;
    ASSERT_TRUE(ParseExtent(c.text, &extent, &error)) << c.text << ": " << error;
    ExportWindow w;
    EXPECT_EQ(WindowOfExtent(extent, 360, &w), c.width > 0) << c.text;
    if (c.width == 0) continue;
    EXPECT_EQ(w.left, c.left) << c.text;
    EXPECT_EQ(w.top, c.top) << c.text;
    EXPECT_EQ(w.width, c.width) << c.text;
    EXPECT_EQ(w.height, c.height) << c.text;
  }
  struct {
    const char* text;
    const char* error;
  } const refused[] = {
      {"0,0,10", "Malformed extent"},      {"0,0,10,x", "Malformed extent"},
      {"0,0,10,10,5", "Malformed extent"}, {"0,50,10,40", "south at or above"},
      {"0,10,10,10", "south at or above"}, {"-181,0,10,10", "outside"},
      {"0,-90.5,10,10", "outside"},        {"5,0,5,10", "no width"},
  };
  for (const auto& c : refused) {
    ExportExtent extent;
    std::string error;
    EXPECT_FALSE(ParseExtent(c.text, &extent, &error)) << c.text;
    EXPECT_NE(error.find(c.error), std::string::npos) << c.text << ": " << error;
  }
}

TEST(ExtentTest, GeoreferencePlacesThePixelCentresOnTheGrid) {
  // Centres at -180 + 360 c / W and 90 - 180 r / H: the corner lies half a pixel out.
  const GeoReference whole = GeoReferenceOf({64, 32, 0, 0, 64, 32}, GeoCrs{});
  EXPECT_EQ(whole.west, -182.8125);
  EXPECT_EQ(whole.north, 92.8125);
  EXPECT_EQ(whole.pixelWidth, 5.625);
  EXPECT_EQ(whole.pixelHeight, 5.625);
  const GeoReference window = GeoReferenceOf({64, 32, 32, 16, 4, 4}, GeoCrs{});
  EXPECT_EQ(window.west, -2.8125);
  EXPECT_EQ(window.north, 2.8125);
}

// A picture in another projection is georeferenced so that PROJ, reading its CRS and pixel grid,
// finds every point at the pixel position where we draw it: centres, parallels, offsets, scale,
// aspect, rounded constants and the sphere's radius all enter.
TEST_F(ExportTest, ProjectedGeoreferenceFindsEachPointWhereWeDrawIt) {
  const struct {
    MapSettings settings;
    std::int64_t width, height;
    GeoCrs crs;
  } cases[] = {
      // Mollweide, Wagner VI (PROJ's is scaled), a Lambert cone, stereographic on the Moon,
      // transverse Mercator, plate carrée.
      {{8, 0, 30, 0, 0, 1, 0.5, {}, {}}, 300, 150, {}},
      {{22, 0, -150, 0.1, -0.05, 0.9, 0.6, {}, {}}, 256, 128, {GeoCrs::Kind::kSphere, 3396190}},
      {{20, 40, 10, 0.05, 0.02, 0.8, 0.7, 20.0, 50.0}, 200, 160, {}},
      {{11, -35, 150, 0, 0, 1.5, 1, {}, {}}, 128, 128, {GeoCrs::Kind::kSphere, 1737400}},
      {{34, 60, 10, 0.02, 0, 1, 1, {}, {}}, 100, 120, {}},
      {{2, 0, 0, 0, 0, 1, 0.5, {}, {}}, 64, 32, {}},
  };
  const struct {
    double lat, lon;
  } points[] = {{0, 0}, {10, 20}, {-33.9, 18.4}, {51.5, -0.1}, {-60, 140}, {70, 30}};
  for (const auto& c : cases) {
    MapInstance output;
    ASSERT_EQ(ApplySettings(c.settings, &output), 0);
    GeoReference geo;
    ASSERT_TRUE(ProjectedGeoReference(output, c.width, c.height, c.crs, &geo))
        << c.settings.typeCode;
    PJ* proj = proj_create(PJ_DEFAULT_CTX, geo.projection.c_str());
    ASSERT_NE(proj, nullptr) << geo.projection;
    const Placement place(output, c.width, c.height);
    int compared = 0;
    for (const auto& p : points) {
      double x, y;
      if (output.projection->Forward(StoredLatitude(p.lat) * Projection::kDegToRad,
                                     p.lon * Projection::kDegToRad, &x, &y) != 0) {
        continue;
      }
      const PJ_COORD metres =
          proj_trans(proj, PJ_FWD, proj_coord(proj_torad(p.lon), proj_torad(p.lat), 0, 0));
      // Pixel positions with the centre of pixel (c, r) at (c, r).
      const double column = (metres.xy.x - geo.west) / geo.pixelWidth - 0.5;
      const double row = (geo.north - metres.xy.y) / geo.pixelHeight - 0.5;
      EXPECT_NEAR(column, place.X(x), 1e-6) << geo.projection << " at " << p.lat << ", " << p.lon;
      EXPECT_NEAR(row, place.Y(y), 1e-6) << geo.projection << " at " << p.lat << ", " << p.lon;
      ++compared;
    }
    EXPECT_GE(compared, 3) << geo.projection;
    proj_destroy(proj);
  }
  // Types without a PROJ twin stay without a georeference.
  MapInstance pointy;
  ASSERT_EQ(pointy.Select(14), 0);
  GeoReference geo;
  EXPECT_FALSE(ProjectedGeoReference(pointy, 64, 32, {}, &geo));
}

TEST_F(ExportTest, StreamedFilesHoldThePictureMadeWhole) {
  ScratchDir dir;
  VideoBuffer map, whole;
  MapInstance m;
  MollweideMap(&map, &m);
  // 1100 x 550: several pieces per PNG band, three rows of TIFF tiles, the last one short.
  Whole(map, m, 1100, &whole);
  for (const char* name : {"world.png", "world.bmp", "world.tif"}) {
    ASSERT_EQ(ExportEquirectangular(map, m, 1100, dir / name), ExportResult::kOk) << name;
    VideoBuffer got;
    ASSERT_EQ(got.Load(dir / name), 0) << name;
    ASSERT_EQ(got.width, 1100);
    ASSERT_EQ(got.height, 550);
    if (std::string(name) == "world.png") {
      EXPECT_EQ(std::memcmp(got.pixels, whole.pixels, whole.ByteCount()), 0) << name;
      continue;
    }
    if (std::string(name) == "world.bmp") {
      // The platform decoder drops a BMP's alpha; the file's pixel block is the buffer's own.
      const auto bytes = test_support::ReadBytes(dir / name);
      ASSERT_EQ(bytes.size(), 54 + whole.ByteCount());
      EXPECT_EQ(std::memcmp(bytes.data() + 54, whole.pixels, whole.ByteCount()), 0);
      continue;
    }
    // The TIFF goes through the platform decoder, which draws the colours over black by alpha.
    for (int y = 0; y < 550; y += 7) {
      for (int x = 0; x < 1100; ++x) {
        const std::uint32_t want = whole.GetPixel(x, y);
        if (want >> 24 == 0xFF || want >> 24 == 0) {
          ASSERT_EQ(got.GetPixel(x, y), want >> 24 ? want : 0u) << x << "," << y;
        } else {
          ASSERT_EQ(got.GetPixel(x, y) >> 24, want >> 24) << x << "," << y;  // drawn over black
        }
      }
    }
  }
}

// A PNG goes without alpha when its pixels look opaque; where one is not after all (a strip of the
// globe beyond a map's edge, between the points looked at first), the file starts again with it.
TEST_F(ExportTest, PngsLeaveTheAlphaOutOnlyWhereEveryPixelIsOpaque) {
  ScratchDir dir;
  VideoBuffer plate;
  MapInstance whole, cropped;
  ASSERT_EQ(plate.Create(256, 128), 0);
  FillPattern(&plate);
  whole.aspect = 0.5;
  whole.SetOffset(0, 0);
  // An equirectangular map 0.3% wider than its picture, centred at 100E: about a degree of
  // longitude near 80W has no source.
  ASSERT_EQ(cropped.Select(2), 0);
  cropped.SetCenter(0, 100);
  cropped.SetOffset(0, 0);
  cropped.scale = 1.003;
  cropped.aspect = 1.003 * 0.5001 - 0.0001;
  const struct {
    const VideoBuffer& map;
    const MapInstance& instance;
    int colourType;  // 2 RGB, 6 RGBA
  } cases[] = {{plate, whole, 2}, {plate, cropped, 6}};
  for (const auto& c : cases) {
    ASSERT_EQ(ExportEquirectangular(c.map, c.instance, 1024, dir / "world.png"), ExportResult::kOk);
    ASSERT_EQ(ExportEquirectangular(c.map, c.instance, 1024, dir / "world.bmp"), ExportResult::kOk);
    const auto png = test_support::ReadBytes(dir / "world.png");
    const auto bmp = test_support::ReadBytes(dir / "world.bmp");
    ASSERT_GT(png.size(), 25u);
    EXPECT_EQ(png[25], c.colourType);
    VideoBuffer got;
    ASSERT_EQ(got.Load(dir / "world.png"), 0);
    ASSERT_EQ(bmp.size(), 54 + got.ByteCount());
    EXPECT_EQ(std::memcmp(bmp.data() + 54, got.pixels, got.ByteCount()), 0) << c.colourType;
  }
}

TEST_F(ExportTest, WindowsAndTilesAreCropsOfTheWholeExport) {
  ScratchDir dir;
  VideoBuffer map, whole;
  MapInstance m;
  MollweideMap(&map, &m);
  m.SetCenter(0, 150);  // the map runs across the date line
  Whole(map, m, 64, &whole);
  // Grid of 64 x 32: 5.625 degrees a pixel.
  const char* extents[] = {
      "-180,-90,0,90",    "0,-90,180,90",  // two tiles side by side
      "90,-45,-90,45",                     // across the date line
      "0,0,5,5.625",      "0,-90,5,90",    // one pixel; one column
      "-180,0,180,5.625",                  // one row
  };
  for (const char* text : extents) {
    ExportRequest request;
    request.width = 64;
    request.path = dir / "part.png";
    std::string error;
    ASSERT_TRUE(ParseExtent(text, &request.extent, &error)) << error;
    ExportWindow window;
    ASSERT_TRUE(WindowOfExtent(request.extent, 64, &window));
    ASSERT_EQ(ExportEquirectangular(map, m, request), ExportResult::kOk) << text;
    VideoBuffer part;
    ASSERT_EQ(part.Load(request.path), 0);
    if (window.width == 1 || window.height == 1) {
      EXPECT_FALSE(part.HasStorage());  // a side of 1 pixel reads back as empty
      continue;
    }
    ASSERT_EQ(part.width, window.width) << text;
    ASSERT_EQ(part.height, window.height) << text;
    EXPECT_TRUE(IsCrop(part, whole, window.left, window.top)) << text;
  }
  // The same single pixel, read from the BMP's bytes (bottom-up, blue, green, red, alpha).
  ExportRequest pixel;
  pixel.width = 64;
  pixel.path = dir / "pixel.bmp";
  std::string error;
  ASSERT_TRUE(ParseExtent("0,0,5,5.625", &pixel.extent, &error));
  ASSERT_EQ(ExportEquirectangular(map, m, pixel), ExportResult::kOk);
  const auto bytes = test_support::ReadBytes(pixel.path);
  ASSERT_EQ(bytes.size(), 58u);
  const std::uint32_t want = whole.GetPixel(32, 15);
  EXPECT_EQ(
      bytes[54] | bytes[55] << 8 | bytes[56] << 16 | static_cast<std::uint32_t>(bytes[57]) << 24,
      (want & 0xFF00FF00u) | (want >> 16 & 0xFF) | (want & 0xFF) << 16);
}

TEST_F(ExportTest, DataExtentIsTheBoxOfCoveredPixelsAcrossTheDateLine) {
  ScratchDir dir;
  VideoBuffer map, whole;
  MapInstance m;
  // The middle of a Mollweide map centred on the date line, enlarged twice: it shows neither pole.
  MollweideMap(&map, &m);
  m.SetCenter(0, 180);
  m.scale = 2;
  Whole(map, m, 128, &whole);
  ExportRequest request;
  request.width = 128;
  request.path = dir / "data.png";
  request.extent.kind = ExportExtent::Kind::kData;
  RasterProgress progress;
  ASSERT_EQ(ExportEquirectangular(map, m, request, &progress), ExportResult::kOk);
  EXPECT_EQ(progress.rowsDone, progress.rowsTotal);
  VideoBuffer part;
  ASSERT_EQ(part.Load(request.path), 0);
  ASSERT_LT(part.width, 128);
  // Where the box lies in the whole picture: its first column is covered, the one before not.
  std::int64_t left = -1, top = -1;
  for (int x = 0; x < 128 && left < 0; ++x) {
    for (int y = 0; y < 64 && left < 0; ++y) {
      if (whole.GetPixel(x, y) == part.GetPixel(0, 0) && whole.GetPixel(x, y) >> 24 &&
          IsCrop(part, whole, x, y)) {
        left = x, top = y;
      }
    }
  }
  ASSERT_GE(left, 0) << "the data box is no crop of the whole export";
  EXPECT_GT(left + part.width, 128) << "the box should run across the date line";
  // Every covered pixel of the whole lies inside the box.
  for (int y = 0; y < 64; ++y) {
    for (int x = 0; x < 128; ++x) {
      if (whole.GetPixel(x, y) >> 24 == 0) continue;
      const std::int64_t dx = (x - left + 128) % 128, dy = y - top;
      EXPECT_TRUE(dx < part.width && dy >= 0 && dy < part.height) << x << "," << y;
    }
  }

  // A map that covers nothing writes nothing.
  m.SetOffset(10, 0);
  EXPECT_EQ(ExportEquirectangular(map, m, request), ExportResult::kNoData);
}

TEST_F(ExportTest, RefusalsAndFailuresWriteNothing) {
  ScratchDir dir;
  VideoBuffer src;
  ASSERT_EQ(src.Create(20, 10), 0);
  FillPattern(&src);
  MapInstance m;
  // Size and memory refusals come before a row is made, whatever memory there is for the rest.
  struct {
    std::int64_t width;
    std::string path, memoryLimit;
    ExportResult result;
    std::string reason;
  } const cases[] = {
      {3, dir / "small.png", "", ExportResult::kBadWidth, ""},
      {2000000000, dir / "huge.png", "", ExportResult::kNoMemory, ""},
      {400, dir / "out.png", "100000", ExportResult::kNoMemory, ""},
      {4294967296, dir / "wide.png", "", ExportResult::kFormatLimit, "an image side cannot exceed"},
      // More than 4 GiB of BMP.
      {65536, dir / "big.bmp", "100000000000", ExportResult::kFormatLimit,
       "too large for a BMP file"},
      {25, dir / "missing-folder/out.png", "", ExportResult::kWriteFailed,
       "No such file or directory"},
  };
  for (const auto& c : cases) {
    ExportRequest request;
    request.width = c.width;
    request.path = c.path;
    if (!c.memoryLimit.empty()) setenv("KARTOVEL_MEMORY_LIMIT", c.memoryLimit.c_str(), 1);
    RasterProgress progress;
    std::string reason;
    EXPECT_EQ(ExportEquirectangular(src, m, request, &progress, &reason), c.result) << c.path;
    unsetenv("KARTOVEL_MEMORY_LIMIT");
    EXPECT_EQ(reason.rfind(c.reason, 0), 0u) << c.path << ": " << reason;
    if (c.result != ExportResult::kWriteFailed) {
      EXPECT_EQ(progress.rowsDone, 0) << c.path;
    }
  }
  RasterProgress cancelled;
  cancelled.cancel = true;
  for (const char* name : {"c.png", "c.bmp", "c.tif"}) {
    EXPECT_EQ(ExportEquirectangular(src, m, 64, dir / name, &cancelled), ExportResult::kCancelled);
  }
  EXPECT_TRUE(std::filesystem::is_empty(dir.path()));

  ASSERT_EQ(ExportEquirectangular(src, m, 25, dir / "odd.bmp"), ExportResult::kOk);
  VideoBuffer out;
  ASSERT_EQ(out.Load(dir / "odd.bmp"), 0);
  EXPECT_EQ(out.width, 25);
  EXPECT_EQ(out.height, 12);
}

TEST_F(ExportTest, ShrinkingPyramidBeyondMemoryGoesToATemporaryFileOrIsRefused) {
  ScratchDir dir;
  VideoBuffer src;
  ASSERT_EQ(src.Create(1024, 512), 0);
  FillPattern(&src);
  MapInstance m;
  m.aspect = 0.5;
  m.SetOffset(0, 0);
  ExportRequest request;
  request.width = 64;  // 16:1, a pyramid of four levels, the first 512 KiB
  request.path = dir / "in-memory.png";
  ASSERT_EQ(ExportEquirectangular(src, m, request), ExportResult::kOk);
  VideoBuffer inMemory;
  ASSERT_EQ(inMemory.Load(request.path), 0);

  // Memory for the bands and the marks only: the levels go to a mapped file, with the same result.
  const std::string limit = std::to_string(ExportMemoryNeeded(src, request) + 4096);
  setenv("KARTOVEL_MEMORY_LIMIT", limit.c_str(), 1);
  const std::filesystem::path folder = dir / "tmp";
  std::filesystem::create_directory(folder);
  setenv("TMPDIR", folder.c_str(), 1);
  request.path = dir / "on-disk.png";
  EXPECT_EQ(ExportEquirectangular(src, m, request), ExportResult::kOk);
  EXPECT_TRUE(std::filesystem::is_empty(folder)) << "the mapped file keeps no name";
  VideoBuffer onDisk;
  ASSERT_EQ(onDisk.Load(request.path), 0);
  EXPECT_EQ(std::memcmp(onDisk.pixels, inMemory.pixels, inMemory.ByteCount()), 0);

  // Neither memory nor the folder: refused before a row is made, nothing written.
  setenv("TMPDIR", (dir / "no-such-folder").c_str(), 1);
  request.path = dir / "refused.png";
  RasterProgress progress;
  std::string reason;
  EXPECT_EQ(ExportEquirectangular(src, m, request, &progress, &reason), ExportResult::kNoMemory);
  EXPECT_NE(reason.find("no-such-folder"), std::string::npos) << reason;
  EXPECT_EQ(progress.rowsDone, 0);
  EXPECT_FALSE(std::filesystem::exists(request.path));
  // Without antialiasing there is no pyramid to hold.
  request.sampling.antialias = false;
  EXPECT_EQ(ExportEquirectangular(src, m, request), ExportResult::kOk);
  unsetenv("KARTOVEL_MEMORY_LIMIT");
  unsetenv("TMPDIR");
}

}  // namespace
