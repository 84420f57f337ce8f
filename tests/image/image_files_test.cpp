// Image files: PNG and BMP writing, safe replacement, decoding limits, contents over names.
#include "image/image_files.h"

#include <png.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <zlib.h>

#include <QImage>
#include <QImageWriter>
#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>

#include "image/image_test_support.h"
#include "image/memory_budget.h"
#include "image/video_buffer.h"

namespace {

using test_support::FillPattern;
using test_support::ReadBytes;
using test_support::ScratchDir;
using test_support::WriteBytes;

// A PNG file built chunk by chunk, so that tests can declare what no encoder would write.
class PngBytes {
 public:
  PngBytes(std::uint32_t width, std::uint32_t height, int depth, int colourType,
           bool interlaced = false) {
    bytes_ = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    std::vector<unsigned char> ihdr;
    Put32(&ihdr, width);
    Put32(&ihdr, height);
    ihdr.insert(ihdr.end(),
                {static_cast<unsigned char>(depth), static_cast<unsigned char>(colourType), 0, 0,
                 static_cast<unsigned char>(interlaced)});
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
  const std::vector<unsigned char>& Bytes() const { return bytes_; }

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
  std::string bmpReason, pngReason;
  const int bmpResult = big.Save(target, &bmpReason);
  const int pngResult = big.Save(dir / "cut.png", &pngReason);
  setrlimit(RLIMIT_FSIZE, &saved);
  signal(SIGXFSZ, previous);
  EXPECT_EQ(bmpResult, -1);
  EXPECT_EQ(pngResult, -1);
  // The reason is the first failure's, as the system words it.
  EXPECT_EQ(bmpReason, "File too large");
  EXPECT_EQ(pngReason, "File too large");

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
      {1, 1, true},           {86400, 43200, true}, {2147483647, 2, true},
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
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir.path()))
      ++entries;
    EXPECT_EQ(entries, 1) << "the mapped file kept a name";
  }
  // Nor room on disk: refused with the size, the buffer left as it was.
  ScopedEnv folder("TMPDIR", dir / "no-such-folder");
  VideoBuffer b;
  ASSERT_EQ(b.Create(3, 2), 0);
  b.Fill(0x123456);
  std::string reason;
  EXPECT_EQ(b.Load(dir / "map.png", &reason), -3);
  EXPECT_EQ(
      reason.rfind("Not enough memory for an image of 64 \u00d7 32 pixels (needs 0.0 GiB)", 0), 0u)
      << reason;
  EXPECT_NE(reason.find("no-such-folder"), std::string::npos) << reason;
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

namespace {

namespace fs = std::filesystem;

const fs::path kTestData = KARTOVEL_TESTDATA_DIR;
constexpr unsigned char kStartOfFrame[] = {0xFF, 0xC0};

int EntriesIn(const fs::path& folder) {
  int entries = 0;
  for ([[maybe_unused]] const auto& e : fs::directory_iterator(folder)) ++entries;
  return entries;
}

// Where a write may go and where it may not: devices, FIFOs and folders are refused untouched,
// links are written through, modes kept, names of any legal length written.
TEST(ReplaceFileTest, TargetsAreRegularFilesOrLinksToThem) {
  ScratchDir dir;
  const auto write = [](std::FILE* f) { return std::fputs("new", f) >= 0; };
  WriteBytes(dir / "old.txt", {'o', 'l', 'd'});
  ASSERT_EQ(chmod((dir / "old.txt").c_str(), 0640), 0);
  fs::create_symlink(dir / "old.txt", dir / "link.txt");
  ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0600), 0);
  fs::create_symlink(dir / "fifo", dir / "link-to-fifo");
  fs::create_symlink(dir / "nowhere", dir / "dangling");
  fs::create_directory(dir / "folder");
  const std::string longName = dir / std::string(255, 'n');
  struct {
    std::string path;
    int result;
    std::string reason;
  } const cases[] = {
      {"/dev/null", -1, "not a regular file"},
      {dir / "fifo", -1, "not a regular file"},
      {dir / "link-to-fifo", -1, "not a regular file"},
      {dir / "folder", -1, "Is a directory"},
      {dir / "dangling", -1, "the symbolic link points to no file"},
      {dir / "no/such/folder.png", -1, "No such file or directory"},
      {dir / "link.txt", 0, ""},
      {longName, 0, ""},
  };
  for (const auto& c : cases) {
    std::string reason;
    EXPECT_EQ(ImageFiles::ReplaceFile(c.path, write, &reason), c.result) << c.path;
    EXPECT_EQ(reason, c.reason) << c.path;
  }
  EXPECT_TRUE(fs::is_fifo(dir / "fifo"));
  EXPECT_TRUE(fs::is_symlink(dir / "link.txt"));
  EXPECT_EQ(ReadBytes(dir / "old.txt"), (std::vector<unsigned char>{'n', 'e', 'w'}));
  EXPECT_EQ(fs::status(dir / "old.txt").permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  EXPECT_EQ(ReadBytes(longName).size(), 3u);
  EXPECT_EQ(EntriesIn(dir.path()), 7) << "temporary files left behind";

  // Cancelled after the data were written, before they were put in place: nothing changes.
  std::atomic<bool> cancel{false};
  const auto cancelling = [&](std::FILE* f) { return cancel = true, write(f); };
  WriteBytes(dir / "old.txt", {'o', 'l', 'd'});
  EXPECT_EQ(ImageFiles::ReplaceFile(dir / "old.txt", cancelling, nullptr, &cancel), -2);
  EXPECT_EQ(ImageFiles::ReplaceFile(dir / "fresh.txt", cancelling, nullptr, &cancel), -2);
  EXPECT_EQ(ReadBytes(dir / "old.txt"), (std::vector<unsigned char>{'o', 'l', 'd'}));
  EXPECT_EQ(EntriesIn(dir.path()), 7);
}

// A signal that ends the process in the middle of a write: the old file stays, no temporary
// file is left, and the process still ends by that signal.
TEST(ReplaceFileTest, SignalsDuringAWriteLeaveNoTemporaryFile) {
  for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGXFSZ}) {
    SCOPED_TRACE(signal);
    ScratchDir dir;
    WriteBytes(dir / "map.bmp", {'o', 'l', 'd'});
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      ImageFiles::ReplaceFile(dir / "map.bmp", [&](std::FILE* f) {
        std::vector<char> block(100000, 'x');
        if (signal == SIGXFSZ) {
          const rlimit small{50000, 50000};  // the write itself raises SIGXFSZ
          setrlimit(RLIMIT_FSIZE, &small);
        } else {
          std::fwrite(block.data(), 1, block.size(), f);
          std::fflush(f);
          raise(signal);
        }
        return std::fwrite(block.data(), 1, block.size(), f) == block.size() && std::fflush(f) == 0;
      });
      _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << status;
    EXPECT_EQ(ReadBytes(dir / "map.bmp"), (std::vector<unsigned char>{'o', 'l', 'd'}));
    EXPECT_EQ(EntriesIn(dir.path()), 1) << "temporary files left behind";
  }
}

// Pictures whose data end early: refused as truncated, whatever their format; whole, they load.
TEST(DecodingTest, PicturesCutShortAreRefusedAsTruncated) {
  ScratchDir dir;
  VideoBuffer pattern;
  ASSERT_EQ(pattern.Create(64, 32), 0);
  FillPattern(&pattern);
  ASSERT_EQ(pattern.Save(dir / "map.png"), 0);
  ASSERT_EQ(pattern.Save(dir / "map.bmp"), 0);
  QImage photo(64, 32, QImage::Format_RGB32);
  photo.fill(QColor(20, 120, 220));
  ASSERT_TRUE(QImageWriter(QString::fromStdString(dir / "map.jpg"), "jpeg").write(photo));
  const struct {
    std::string file;
    double kept;  // share of the bytes left
  } cases[] = {
      {dir / "map.png", 0.5},
      {dir / "map.bmp", 0.5},
      {dir / "map.bmp", 0.02},  // headers only
      {dir / "map.jpg", 0.5},
      {dir / "map.jpg", 0.95},
      {(kTestData / "pngsuite/basi2c08.png").string(), 0.6},  // interlaced
      {(kTestData / "bmpsuite/good/pal8rle.bmp").string(), 0.7},
      {(kTestData / "bmpsuite/good/pal4rle.bmp").string(), 0.5},
      {(kTestData / "pictures/pal8.gif").string(), 0.5},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file + " cut to " + std::to_string(c.kept));
    VideoBuffer b;
    std::string reason;
    ASSERT_EQ(b.Load(c.file, &reason), 0) << reason;
    const auto bytes = ReadBytes(c.file);
    const std::string cut = dir / ("cut-" + fs::path(c.file).filename().string());
    WriteBytes(cut, {bytes.begin(), bytes.begin() + static_cast<long>(bytes.size() * c.kept)});
    EXPECT_EQ(b.Load(cut, &reason), -1);
    EXPECT_EQ(reason, "truncated");
  }
}

// What no decode may start on: files that are no regular files, a PNG whose image data cannot
// fill what it declares, and pictures larger than the memory the machine can give.
TEST(DecodingTest, BombsAndPicturesBeyondTheMemoryAreRefusedBeforeDecoding) {
  ScratchDir dir;
  ASSERT_EQ(mkfifo((dir / "fifo.png").c_str(), 0600), 0);
  fs::create_directory(dir / "folder.png");
  // 32768 x 32768 RGBA (4 GiB of pixels) from 2 KiB of zeros: deflate cannot stretch that far.
  WriteBytes(dir / "bomb.png",
             PngBytes(32768, 32768, 8, 6).Finish(std::vector<unsigned char>(2048, 0)));
  VideoBuffer big;
  ASSERT_EQ(big.Create(1000, 1000), 0);
  ASSERT_EQ(big.Save(dir / "big.png"), 0);
  QImage photo(1000, 1000, QImage::Format_RGB32);
  photo.fill(Qt::gray);
  ASSERT_TRUE(QImageWriter(QString::fromStdString(dir / "big.jpg"), "jpeg").write(photo));
  // A baseline JPEG whose frame header claims 32768 x 32768 for its few hundred bytes of scan.
  auto jpeg = ReadBytes(dir / "big.jpg");
  const auto frame = std::search(jpeg.begin(), jpeg.end(), kStartOfFrame, kStartOfFrame + 2);
  ASSERT_NE(frame, jpeg.end());
  for (int i : {5, 7}) frame[i] = 0x80, frame[i + 1] = 0x00;  // height, width
  WriteBytes(dir / "bomb.jpg", jpeg);
  const std::string tooBig = "Not enough memory for an image of 1000 \u00d7 1000 pixels";
  // Beyond the memory, a PNG's pixels would go to the temporary folder: none here.
  ScopedEnv folder("TMPDIR", dir / "no-such-folder");
  const struct {
    std::string file, memoryLimit, reason;
    int result;
  } cases[] = {
      {dir / "fifo.png", "", "not a regular file", -1},
      {dir / "folder.png", "", "Is a directory", -1},
      {"/dev/zero", "", "not a regular file", -1},
      {dir / "bomb.png", "", "implausibly small for the picture it declares", -1},
      {dir / "bomb.jpg", "", "implausibly small for the picture it declares", -1},
      {dir / "big.png", "1000000", tooBig, -3},
      {dir / "big.jpg", "1000000", tooBig, -3},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    if (!c.memoryLimit.empty()) setenv("KARTOVEL_MEMORY_LIMIT", c.memoryLimit.c_str(), 1);
    VideoBuffer b;
    std::string reason;
    EXPECT_EQ(b.Load(c.file, &reason), c.result);
    unsetenv("KARTOVEL_MEMORY_LIMIT");
    EXPECT_EQ(reason.rfind(c.reason, 0), 0u) << reason;
  }
}

// 8-bit RGB and RGBA files are decoded without libpng: every filter (each row its own, random
// samples) gives what libpng gives, and damage that libpng refuses is refused with its words.
TEST(DecodingTest, DirectPngDecodingAgreesWithLibpngAndRefusesDamage) {
  ScratchDir dir;
  std::srand(7);
  for (const int colourType : {2, 6}) {
    const int bpp = colourType == 6 ? 4 : 3;
    const std::uint32_t width = 37, height = 10;
    std::vector<unsigned char> scanlines;
    for (std::uint32_t y = 0; y < height; ++y) {
      scanlines.push_back(static_cast<unsigned char>(y % 5));
      for (std::uint32_t i = 0; i < width * bpp; ++i) {
        scanlines.push_back(static_cast<unsigned char>(std::rand()));
      }
    }
    const std::string path = dir / ("filters" + std::to_string(colourType) + ".png");
    WriteBytes(path, PngBytes(width, height, 8, colourType).Finish(scanlines));
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    ASSERT_TRUE(png_image_begin_read_from_file(&image, path.c_str()));
    image.format = PNG_FORMAT_BGRA;
    std::vector<std::uint8_t> theirs(PNG_IMAGE_SIZE(image));
    ASSERT_TRUE(png_image_finish_read(&image, nullptr, theirs.data(), 0, nullptr));
    VideoBuffer ours;
    ASSERT_EQ(ours.Load(path), 0);
    for (std::uint32_t y = 0; y < height; ++y) {
      const std::uint8_t* row = ours.pixels + (height - 1 - y) * width * 4;  // bottom-up
      EXPECT_EQ(std::memcmp(row, theirs.data() + y * width * 4, width * 4), 0)
          << "colour type " << colourType << ", row " << y << ", filter " << y % 5;
    }
  }

  // Two rows of 2 x 2 RGB, the second Paeth-filtered; then damaged.
  const std::vector<unsigned char> rows = {0, 1, 2, 3, 4, 5, 6, 4, 7, 8, 9, 10, 11, 12};
  auto badFilter = rows;
  badFilter[7] = 5;
  auto badCrc = PngBytes(2, 2, 8, 2).Finish(rows);
  badCrc[badCrc.size() - 12 - 1] ^= 1;  // the IDAT chunk's CRC, before the 12 bytes of IEND
  std::vector<unsigned char> packed(64);
  uLongf size = packed.size();
  compress(packed.data(), &size, rows.data(), rows.size());
  packed.resize(size);
  packed[size - 1] ^= 1;  // the Adler-32 sum
  const struct {
    std::string name;
    std::vector<unsigned char> bytes;
    const char* reason;
  } damaged[] = {
      {"filter.png", PngBytes(2, 2, 8, 2).Finish(badFilter), "corrupt (bad adaptive filter value)"},
      {"crc.png", badCrc, "corrupt (IDAT: CRC error)"},
      {"check.png", PngBytes(2, 2, 8, 2).Chunk("IDAT", packed).Chunk("IEND", {}).Bytes(),
       "corrupt (incorrect data check)"},
      {"short.png", PngBytes(2, 3, 8, 2).Finish(rows), "corrupt (Not enough image data)"},
  };
  for (const auto& d : damaged) {
    WriteBytes(dir / d.name, d.bytes);
    VideoBuffer b;
    std::string reason;
    EXPECT_EQ(b.Load(dir / d.name, &reason), -1) << d.name;
    EXPECT_EQ(reason, d.reason) << d.name;
  }
}

#if !defined(__SANITIZE_ADDRESS__)
// An interlaced PNG gathers its passes in the picture's own rows: a 4096 x 4096 RGBA picture
// (64 MiB) decodes with 32 MiB of address space to spare, where a second whole copy would not fit.
TEST(DecodingTest, InterlacedPngsAreNotHeldTwice) {
  ScratchDir dir;
  const std::size_t side = 4096;
  std::size_t raw = 0;  // the seven passes' rows of zeros, each with its filter byte
  for (const auto& [cols, rows] : std::vector<std::pair<std::size_t, std::size_t>>{
           {8, 8}, {8, 8}, {4, 8}, {4, 4}, {2, 4}, {2, 2}, {1, 2}}) {
    raw += side / rows * (1 + side / cols * 4);
  }
  WriteBytes(dir / "adam7.png",
             PngBytes(side, side, 8, 6, true).Finish(std::vector<unsigned char>(raw, 0)));
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    long pages = 0;
    std::ifstream("/proc/self/statm") >> pages;
    const rlim_t room = pages * sysconf(_SC_PAGESIZE) + side * side * 4 + (32 << 20);
    const rlimit limit{room, room};
    setrlimit(RLIMIT_AS, &limit);
    VideoBuffer b;
    _exit(b.Load(dir / "adam7.png") == 0 && b.width == 4096 ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}
#endif

}  // namespace
