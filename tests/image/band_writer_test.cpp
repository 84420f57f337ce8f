// Streamed writers and georeference texts: pictures written band by band read back whole through
// independent decoders; the limits of each format; world files, .prj texts and CRS names.
#include "image/band_writer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "image/image_files.h"
#include "image/image_test_support.h"

namespace {

using ImageFiles::OutputFormat;
using test_support::FillPattern;
using test_support::ScratchDir;

// Writes `picture` through the streamed writer in bands of the given heights (the last takes the
// rest) from buffers wider and taller than the rows they bring.
bool WriteInBands(const VideoBuffer& picture, const std::string& path,
                  const std::vector<int>& bands) {
  const OutputFormat format = ImageFiles::FormatOfName(path);
  return ImageFiles::ReplaceFile(path, [&](std::FILE* file) {
           auto writer =
               ImageFiles::OpenBandWriter(format, file, picture.width, picture.height, nullptr);
           if (!writer) return false;
           int top = 0;
           for (std::size_t i = 0; i <= bands.size(); ++i) {
             const int rows = i < bands.size() ? bands[i] : picture.height - top;
             VideoBuffer band;
             if (band.Create(picture.width + 3, rows + 2) != 0) return false;
             for (int y = 0; y < rows; ++y) {
               for (int x = 0; x < picture.width; ++x) {
                 band.SetPixel(x, y, picture.GetPixel(x, top + y));
               }
             }
             if (!writer->WriteBand(band, rows)) return false;
             top += rows;
           }
           return writer->Finish();
         }) == 0;
}

TEST(BandWriterTest, PicturesWrittenInBandsReadBackWhole) {
  ScratchDir dir;
  VideoBuffer picture;
  ASSERT_EQ(picture.Create(301, 530), 0);
  FillPattern(&picture);
  for (int x = 0; x < 301; ++x) picture.SetPixel(x, 17, 0x00FF00FF);  // a row without source
  picture.SetPixel(5, 300, 0x80112233);                                 // half transparent

  // PNG through libpng, byte for byte.
  ASSERT_TRUE(WriteInBands(picture, dir / "bands.png", {7, 1, 100}));
  VideoBuffer got;
  ASSERT_EQ(got.Load(dir / "bands.png"), 0);
  ASSERT_EQ(got.height, 530);
  EXPECT_EQ(std::memcmp(got.pixels, picture.pixels, picture.ByteCount()), 0);

  // BMP: the file's pixel block is the buffer's bottom-up block.
  ASSERT_TRUE(WriteInBands(picture, dir / "bands.bmp", {7, 1, 100}));
  const auto bmp = test_support::ReadBytes(dir / "bands.bmp");
  ASSERT_EQ(bmp.size(), 54 + picture.ByteCount());
  EXPECT_EQ(std::memcmp(bmp.data() + 54, picture.pixels, picture.ByteCount()), 0);

  // TIFF, whole rows of tiles but the last, through the platform decoder (which draws the
  // colours over black by their alpha).
  ASSERT_TRUE(WriteInBands(picture, dir / "bands.tif", {256, 256}));
  ASSERT_EQ(got.Load(dir / "bands.tif"), 0);
  ASSERT_EQ(got.width, 301);
  ASSERT_EQ(got.height, 530);
  for (int y = 0; y < 530; ++y) {
    for (int x = 0; x < 301; ++x) {
      const std::uint32_t want = picture.GetPixel(x, y);
      if (want >> 24 != 0xFF) continue;
      ASSERT_EQ(got.GetPixel(x, y), want) << x << "," << y;
    }
  }
  EXPECT_EQ(got.GetPixel(3, 17), 0u);
  EXPECT_EQ(got.GetPixel(5, 300) >> 24, 0x80u);
  // Save writes a picture band by band too: the same tiles, the same file.
  ASSERT_EQ(picture.Save(dir / "saved.tif"), 0);
  EXPECT_EQ(test_support::ReadBytes(dir / "saved.tif"), test_support::ReadBytes(dir / "bands.tif"));
  // A band of TIFF rows that ends inside a row of tiles before the last is refused.
  EXPECT_FALSE(WriteInBands(picture, dir / "ragged.tif", {100}));
  EXPECT_FALSE(std::filesystem::exists(dir / "ragged.tif"));
}

TEST(BandWriterTest, EachFormatRefusesSizesItCannotHold) {
  struct {
    OutputFormat format;
    std::int64_t width, height;
    bool fits;
  } const cases[] = {
      {OutputFormat::kBmp, 32768, 32767, true},  // 4 GiB less 128 KiB, with the headers
      {OutputFormat::kBmp, 32768, 32768, false},
      {OutputFormat::kPng, 2147483647, 2147483647, true},
      {OutputFormat::kPng, 2147483648, 2, false},
      {OutputFormat::kTiff, 65536, 32768, true},  // 8 GiB: BigTIFF
      {OutputFormat::kTiff, 2, 0, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ImageFiles::FormatLimit(c.format, c.width, c.height).empty(), c.fits)
        << c.width << " x " << c.height;
  }
  const struct {
    const char* name;
    OutputFormat format;
  } names[] = {{"a.png", OutputFormat::kPng}, {"A.TIF", OutputFormat::kTiff},
               {"a.tiff", OutputFormat::kTiff}, {"a.bmp", OutputFormat::kBmp},
               {"a", OutputFormat::kBmp}};
  for (const auto& n : names) EXPECT_EQ(ImageFiles::FormatOfName(n.name), n.format) << n.name;
}

TEST(GeoReferenceTest, WorldFilesPrjTextsAndCrsNames) {
  GeoReference geo;
  geo.west = -182.8125;
  geo.north = 92.8125;
  geo.pixelWidth = geo.pixelHeight = 5.625;
  // The world file names the centre of the top-left pixel.
  EXPECT_EQ(WorldFileText(geo), "5.625\n0\n0\n-5.625\n-180\n90\n");
  const struct {
    const char* image;
    const char* world;
    const char* prj;
  } files[] = {{"w.png", "w.pgw", "w.prj"},
               {"dir.v2/w.bmp", "dir.v2/w.bpw", "dir.v2/w.prj"},
               {"w.tif", "w.tfw", "w.prj"},
               {"w.tiff", "w.tfw", "w.prj"},
               {"dir.v2/w", "", "dir.v2/w.prj"}};
  for (const auto& f : files) {
    EXPECT_EQ(WorldFileName(f.image), f.world) << f.image;
    EXPECT_EQ(PrjFileName(f.image), f.prj) << f.image;
  }

  GeoCrs crs;
  EXPECT_TRUE(ParseGeoCrs("epsg:4326", &crs));
  EXPECT_EQ(crs.kind, GeoCrs::Kind::kWgs84);
  EXPECT_NE(PrjText(crs).find("GCS_WGS_1984"), std::string::npos);
  EXPECT_TRUE(ParseGeoCrs("sphere:3396190", &crs));
  EXPECT_EQ(crs.kind, GeoCrs::Kind::kSphere);
  EXPECT_EQ(crs.radius, 3396190);
  EXPECT_NE(PrjText(crs).find("SPHEROID[\"Sphere_3396190\",3396190,0.0]"), std::string::npos);
  for (const char* bad : {"sphere:", "sphere:-1", "sphere:1km", "EPSG:3857", "mars"}) {
    EXPECT_FALSE(ParseGeoCrs(bad, &crs)) << bad;
  }
}

}  // namespace
