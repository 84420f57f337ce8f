// Image files: PNG and BMP writing, safe replacement, decoding limits, contents over names.
#include "image/image_files.h"

#include <signal.h>
#include <sys/resource.h>
#include <zlib.h>

#include <QImage>
#include <QImageWriter>
#include <array>
#include <cstring>
#include <filesystem>
#include <optional>

#include "image/image_test_support.h"
#include "image/video_buffer.h"

namespace {

using test_support::FillPattern;
using test_support::ReadBytes;
using test_support::ScratchDir;
using test_support::WriteBytes;

// A PNG file built chunk by chunk, so that tests can declare what no encoder would write.
class PngBytes {
 public:
  PngBytes(std::uint32_t width, std::uint32_t height, int depth, int colourType) {
    bytes_ = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    std::vector<unsigned char> ihdr;
    Put32(&ihdr, width);
    Put32(&ihdr, height);
    ihdr.insert(ihdr.end(), {static_cast<unsigned char>(depth),
                             static_cast<unsigned char>(colourType), 0, 0, 0});
    Chunk("IHDR", ihdr);
  }
  PngBytes& Chunk(const char* type, const std::vector<unsigned char>& data) {
    Put32(&bytes_, static_cast<std::uint32_t>(data.size()));
    const std::size_t start = bytes_.size();
    bytes_.insert(bytes_.end(), type, type + 4);
    bytes_.insert(bytes_.end(), data.begin(), data.end());
    Put32(&bytes_, static_cast<std::uint32_t>(
                       crc32(0, bytes_.data() + start, static_cast<uInt>(bytes_.size() - start))));
    return *this;
  }
  // Image data from raw scanlines (each starting with its filter byte), then the end chunk.
  const std::vector<unsigned char>& Finish(const std::vector<unsigned char>& scanlines) {
    std::vector<unsigned char> packed(compressBound(static_cast<uLong>(scanlines.size())));
    uLongf size = static_cast<uLongf>(packed.size());
    compress(packed.data(), &size, scanlines.data(), static_cast<uLong>(scanlines.size()));
    packed.resize(size);
    Chunk("IDAT", packed);
    Chunk("IEND", {});
    return bytes_;
  }

 private:
  static void Put32(std::vector<unsigned char>* out, std::uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8)
      out->push_back(static_cast<unsigned char>(v >> shift));
  }
  std::vector<unsigned char> bytes_;
};

TEST(ImageFilesTest, PngRoundTripKeepsColoursOrientationAndAlpha) {
  ScratchDir dir;
  VideoBuffer original;
  ASSERT_EQ(original.Create(37, 23), 0);
  FillPattern(&original);
  for (int x = 0; x < 37; ++x) original.SetPixel(x, 5, 0x00FF00FF);  // a row without source
  // Names as the format choice reads them: case does not matter, only the last four characters.
  for (const char* name : {"map.png", "MAP.PNG", ".png"}) {
    const std::string path = dir / name;
    ASSERT_EQ(original.Save(path), 0) << name;
    const auto bytes = ReadBytes(path);
    ASSERT_GT(bytes.size(), 8u);
    EXPECT_EQ(bytes[1], 'P') << name;
    VideoBuffer loaded;
    ASSERT_EQ(loaded.Load(path), 0) << name;
    ASSERT_EQ(loaded.width, 37);
    ASSERT_EQ(loaded.height, 23);
    EXPECT_EQ(std::memcmp(loaded.pixels, original.pixels, original.ByteCount()), 0) << name;
  }
  ASSERT_EQ(original.Save(dir / "map.png.bmp"), 0);
  EXPECT_EQ(ReadBytes(dir / "map.png.bmp")[0], 'B');
}

TEST(ImageFilesTest, BmpOfFourByTwoIsTheEightySixBytesOfHeadersAndBottomUpRows) {
  ScratchDir dir;
  VideoBuffer b;
  ASSERT_EQ(b.Create(4, 2), 0);
  b.SetPixel(0, 0, 0xFF010203);  // top-left
  b.SetPixel(0, 1, 0x80112233);  // bottom-left
  ASSERT_EQ(b.Save(dir / "four.bmp"), 0);
  const auto f = ReadBytes(dir / "four.bmp");
  ASSERT_EQ(f.size(), 86u);
  auto u32 = [&](std::size_t at) {
    return static_cast<std::uint32_t>(f[at] | f[at + 1] << 8 | f[at + 2] << 16 | f[at + 3] << 24);
  };
  EXPECT_EQ(f[0], 'B');
  EXPECT_EQ(f[1], 'M');
  EXPECT_EQ(u32(2), 86u);
  EXPECT_EQ(u32(6), 0u);
  EXPECT_EQ(u32(10), 54u);
  EXPECT_EQ(u32(14), 40u);
  EXPECT_EQ(u32(18), 4u);
  EXPECT_EQ(u32(22), 2u);
  EXPECT_EQ(f[26] | f[27] << 8, 1);   // planes
  EXPECT_EQ(f[28] | f[29] << 8, 32);  // bits per pixel
  EXPECT_EQ(u32(30), 0u);
  EXPECT_EQ(u32(34), 32u);
  // First stored row is the bottom row: blue, green, red, alpha.
  EXPECT_EQ((std::array<unsigned char, 4>{f[54], f[55], f[56], f[57]}),
            (std::array<unsigned char, 4>{0x11, 0x22, 0x33, 0x80}));
  EXPECT_EQ((std::array<unsigned char, 4>{f[70], f[71], f[72], f[73]}),
            (std::array<unsigned char, 4>{0x01, 0x02, 0x03, 0xFF}));
}

TEST(ImageFilesTest, FailedSavesWriteNothingAndKeepTheExistingFile) {
  ScratchDir dir;
  const std::string target = dir / "existing.bmp";
  const std::vector<unsigned char> old = {'o', 'l', 'd'};
  WriteBytes(target, old);

  VideoBuffer empty;
  EXPECT_EQ(empty.Save(target), -1);
  EXPECT_EQ(empty.Save(dir / "new.png"), -1);

  // A write that fails half-way: the file size limit cuts the BMP off after 1000 bytes.
  VideoBuffer big;
  ASSERT_EQ(big.Create(100, 100), 0);
  std::uint32_t noise = 12345;  // does not compress below the limit
  for (int y = 0; y < 100; ++y) {
    for (int x = 0; x < 100; ++x) big.SetPixel(x, y, noise = noise * 1103515245u + 12345u);
  }
  rlimit saved{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  rlimit small = saved;
  small.rlim_cur = 1000;
  const auto previous = signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  const int bmpResult = big.Save(target);
  const int pngResult = big.Save(dir / "cut.png");
  setrlimit(RLIMIT_FSIZE, &saved);
  signal(SIGXFSZ, previous);
  EXPECT_EQ(bmpResult, -1);
  EXPECT_EQ(pngResult, -1);

  // A picture whose BMP size does not fit the 32-bit size field (32768 x 32768 x 4 + 54 bytes) is
  // refused before any byte is written; the buffer is only described, never allocated.
  BitmapInfoHeader header;
  VideoBuffer huge;
  huge.width = huge.height = 32768;
  huge.descriptor = &header;
  EXPECT_EQ(huge.Save(target), -1);
  huge.descriptor = nullptr;
  huge.width = huge.height = 0;
  EXPECT_EQ(ImageFiles::BmpFileSize(32767, 32767), 32767ull * 32767 * 4 + 54);

  EXPECT_EQ(ReadBytes(target), old);
  EXPECT_FALSE(std::filesystem::exists(dir / "new.png"));
  EXPECT_FALSE(std::filesystem::exists(dir / "cut.png"));
  int entries = 0;
  for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir.path())) ++entries;
  EXPECT_EQ(entries, 1) << "temporary files left behind";
}

// Sets an environment variable for one scope.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const std::string& value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    setenv(name, value.c_str(), 1);
  }
  ~ScopedEnv() {
    if (old_) {
      setenv(name_, old_->c_str(), 1);
    } else {
      unsetenv(name_);
    }
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

TEST(ImageFilesTest, SourcesBeyondMemoryAreMappedFromDiskOrRefusedWithTheirSize) {
  struct {
    std::int64_t width, height;
    bool admitted;
  } const sides[] = {
      {1, 1, true},          {86400, 43200, true}, {2147483647, 2, true},
      {2147483648, 2, false}, {0, 5, false},
  };
  for (const auto& c : sides) {
    EXPECT_EQ(ImageFiles::AdmitsDecodedSize(c.width, c.height), c.admitted)
        << c.width << " x " << c.height;
  }

  ScratchDir dir;
  VideoBuffer original;
  ASSERT_EQ(original.Create(64, 32), 0);
  FillPattern(&original);
  ASSERT_EQ(original.Save(dir / "map.png"), 0);
  const std::string bomb = dir / "bomb.png";
  // A few hundred bytes declaring 100000 x 100000 RGBA.
  WriteBytes(bomb, PngBytes(100000, 100000, 8, 6).Finish(std::vector<unsigned char>(4096, 0)));
  EXPECT_LT(ReadBytes(bomb).size(), 400u);

  // Memory for nothing: the picture is decoded into a mapped file that leaves no name behind.
  ScopedEnv limit("KARTOVEL_MEMORY_LIMIT", "1000");
  {
    ScopedEnv folder("TMPDIR", dir.path().string());
    VideoBuffer mapped;
    ASSERT_EQ(mapped.Load(dir / "map.png"), 0);
    ASSERT_EQ(mapped.width, 64);
    EXPECT_EQ(std::memcmp(mapped.pixels, original.pixels, original.ByteCount()), 0);
    VideoBuffer copy;
    copy.Swap(mapped);  // the mapping moves with the pixels
    EXPECT_EQ(copy.GetPixel(63, 31), original.GetPixel(63, 31));
    int entries = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir.path())) ++entries;
    EXPECT_EQ(entries, 2) << "the mapped file kept a name";
  }
  // Nor room on disk: refused with the size, the buffer left as it was.
  ScopedEnv folder("TMPDIR", dir / "no-such-folder");
  VideoBuffer b;
  ASSERT_EQ(b.Create(3, 2), 0);
  b.Fill(0x123456);
  std::string reason;
  EXPECT_EQ(b.Load(bomb, &reason), -3);
  EXPECT_EQ(reason.rfind("Not enough memory for an image of 100000 \u00d7 100000 pixels (needs 37.3 GiB)", 0), 0u)
      << reason;
  EXPECT_NE(reason.find("no-such-folder"), std::string::npos) << reason;
  EXPECT_EQ(b.Load(dir / "map.png"), -3);
  EXPECT_EQ(b.Load(dir / "missing.png"), -1);
  ASSERT_EQ(b.width, 3);
  EXPECT_EQ(b.GetPixel(2, 1), 0x123456u);
}

TEST(ImageFilesTest, PaletteIndexPastThePaletteIsBlackAndOnePixelSidesGiveEmptyBuffers) {
  ScratchDir dir;
  const std::string path = dir / "palette.png";
  // 2 x 2, 8-bit indices; the palette has red and green only.
  WriteBytes(path,
             PngBytes(2, 2, 8, 3).Chunk("PLTE", {255, 0, 0, 0, 255, 0}).Finish({0, 0, 1, 0, 5, 1}));
  VideoBuffer b;
  ASSERT_EQ(b.Load(path), 0);
  EXPECT_EQ(b.GetPixel(0, 0), 0xFF0000FFu);
  EXPECT_EQ(b.GetPixel(1, 0), 0xFF00FF00u);
  EXPECT_EQ(b.GetPixel(0, 1), 0xFF000000u);
  EXPECT_EQ(b.GetPixel(1, 1), 0xFF00FF00u);

  // 1 x 3 grey: valid, but no buffer can hold it.
  WriteBytes(path, PngBytes(1, 3, 8, 0).Finish({0, 9, 0, 9, 0, 9}));
  EXPECT_EQ(b.Load(path), 0);
  EXPECT_FALSE(b.HasStorage());
}

TEST(ImageFilesTest, ContentsChooseTheDecoderWhateverTheName) {
  ScratchDir dir;
  VideoBuffer original;
  ASSERT_EQ(original.Create(16, 8), 0);
  FillPattern(&original);
  ASSERT_EQ(original.Save(dir / "map.png"), 0);
  std::filesystem::rename(dir / "map.png", dir / "map.jpg");
  VideoBuffer b;
  ASSERT_EQ(b.Load(dir / "map.jpg"), 0);
  ASSERT_EQ(b.width, 16);
  EXPECT_EQ(std::memcmp(b.pixels, original.pixels, original.ByteCount()), 0);

  // A flat-coloured JPEG under a PNG name, stored at 72 dpi: read by the picture decoder, at its
  // pixel size (not rescaled by its resolution).
  QImage jpeg(40, 20, QImage::Format_RGB32);
  jpeg.fill(QColor(200, 100, 50));
  jpeg.setDotsPerMeterX(2835);
  jpeg.setDotsPerMeterY(2835);
  QImageWriter writer(QString::fromStdString(dir / "photo.png"), "jpeg");
  ASSERT_TRUE(writer.write(jpeg));
  ASSERT_EQ(b.Load(dir / "photo.png"), 0);
  ASSERT_EQ(b.width, 40);
  ASSERT_EQ(b.height, 20);
  const std::uint32_t c = b.GetPixel(20, 10);
  EXPECT_NEAR(test_support::Channel(c, 0), 200, 3);
  EXPECT_NEAR(test_support::Channel(c, 1), 100, 3);
  EXPECT_NEAR(test_support::Channel(c, 2), 50, 3);
  EXPECT_EQ(test_support::Channel(c, 3), 0xFF);

  // Not a picture at all.
  WriteBytes(dir / "notes.png", {'h', 'e', 'l', 'l', 'o'});
  EXPECT_EQ(b.Load(dir / "notes.png"), -1);
}

TEST(ImageFilesTest, PicturesAboveTheToolkitsDefaultAllocationLimitLoad) {
  // 6000 x 6000 x 4 bytes = 137 MiB, above the 128 MiB that the toolkit refuses by default.
  ScratchDir dir;
  QImage big(6000, 6000, QImage::Format_Grayscale8);
  big.fill(90);
  ASSERT_TRUE(QImageWriter(QString::fromStdString(dir / "big.jpg"), "jpeg").write(big));
  big = QImage();
  VideoBuffer b;
  ASSERT_EQ(b.Load(dir / "big.jpg"), 0);
  EXPECT_EQ(b.width, 6000);
  EXPECT_EQ(b.height, 6000);
  EXPECT_NEAR(test_support::Channel(b.GetPixel(5999, 5999), 1), 90, 2);
}

TEST(ImageFilesTest, TransparentPartsOfPicturesAreBlackWithAlphaZero) {
  ScratchDir dir;
  QImage picture(4, 4, QImage::Format_ARGB32);
  picture.fill(QColor(10, 200, 30));
  picture.setPixelColor(1, 2, QColor(255, 255, 255, 0));
  picture.setPixelColor(2, 2, QColor(200, 100, 50, 128));
  ASSERT_TRUE(QImageWriter(QString::fromStdString(dir / "clear.tif"), "tiff").write(picture));
  VideoBuffer b;
  ASSERT_EQ(b.Load(dir / "clear.tif"), 0);
  EXPECT_EQ(b.GetPixel(0, 0), 0xFF1EC80Au);
  EXPECT_EQ(b.GetPixel(1, 2), 0u);
  // Half transparent: drawn over black.
  const std::uint32_t half = b.GetPixel(2, 2);
  EXPECT_NEAR(test_support::Channel(half, 0), 100, 1);
  EXPECT_NEAR(test_support::Channel(half, 1), 50, 1);
  EXPECT_NEAR(test_support::Channel(half, 2), 25, 1);
  EXPECT_EQ(test_support::Channel(half, 3), 128);
}

}  // namespace
