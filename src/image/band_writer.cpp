// The streamed PNG and BMP writers and the choice of writer.
//
// PNG: every band is cut into pieces that are filtered and deflated on all cores at once, each
// piece ending on a byte boundary (Z_SYNC_FLUSH), so that the pieces laid end to end form the one
// zlib stream PNG needs; their Adler-32 sums are combined as parallel gzip tools do. BMP: rows are
// stored bottom-up, so each band goes straight to its place near the end of the file.
#include "image/band_writer.h"

#include <immintrin.h>
#include <libdeflate.h>
#include <omp.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstring>
#include <limits>
#include <vector>

#include "image/image_files.h"

namespace ImageFiles {

namespace {

constexpr std::int64_t kMaxSide = std::numeric_limits<std::int32_t>::max();
// About this many bytes of pixels per band: large enough to keep every core busy, small enough
// that a few bands are nothing beside the source.
constexpr std::int64_t kBandBytes = 16 << 20;
constexpr std::uint32_t kBmpHeaderBytes = 14 + 40;

std::string Lower(std::string text) {
  for (char& ch : text) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
  return text;
}

bool EndsWith(const std::string& text, const std::string& tail) {
  return text.size() >= tail.size() &&
         text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

void PutBe32(unsigned char* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(v >> (24 - 8 * i));
}

void PutLe16(unsigned char* p, std::uint16_t v) {
  p[0] = static_cast<unsigned char>(v);
  p[1] = static_cast<unsigned char>(v >> 8);
}

void PutLe32(unsigned char* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(v >> (8 * i));
}

// Row y (top first) of a bottom-up buffer.
const std::uint8_t* RowOf(const VideoBuffer& band, std::int64_t y) {
  return band.pixels + (static_cast<std::int64_t>(band.height) - 1 - y) * band.width * 4;
}

std::int64_t RowsPerBand(std::int64_t width) {
  return std::clamp<std::int64_t>(kBandBytes / (width * 4), 8, 1024);
}

// ToRgb without vector lanes, and for the last pixels of a row.
bool ToRgbPlain(const std::uint8_t* in, std::int64_t width, std::uint8_t* out) {
  std::uint8_t alpha = 0xFF;
  for (std::int64_t x = 0; x < width; ++x) {
    out[3 * x] = in[4 * x + 2];
    out[3 * x + 1] = in[4 * x + 1];
    out[3 * x + 2] = in[4 * x];
    alpha &= in[4 * x + 3];
  }
  return alpha == 0xFF;
}

[[gnu::target("ssse3")]] bool ToRgbSsse3(const std::uint8_t* in, std::int64_t width,
                                         std::uint8_t* out) {
  const __m128i order = _mm_setr_epi8(2, 1, 0, 6, 5, 4, 10, 9, 8, 14, 13, 12, -1, -1, -1, -1);
  __m128i all = _mm_set1_epi8(-1);
  std::int64_t x = 0;
  for (; x + 4 <= width; x += 4) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 4 * x));
    all = _mm_and_si128(all, v);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 3 * x), _mm_shuffle_epi8(v, order));
  }
  const bool opaque =
      (_mm_movemask_epi8(_mm_cmpeq_epi8(all, _mm_set1_epi8(-1))) & 0x8888) == 0x8888;
  return ToRgbPlain(in + 4 * x, width - x, out + 3 * x) && opaque;
}

// `width` stored pixels to the file's red, green and blue (writing up to 4 bytes past them):
// false when one of them is not opaque.
bool ToRgb(const std::uint8_t* in, std::int64_t width, std::uint8_t* out) {
  static const bool ssse3 = __builtin_cpu_supports("ssse3");
  return ssse3 ? ToRgbSsse3(in, width, out) : ToRgbPlain(in, width, out);
}

}  // namespace

void ToRgba(const std::uint8_t* in, std::int64_t width, std::uint8_t* out) {
  const __m128i keep = _mm_set1_epi32(static_cast<int>(0xFF00FF00u));
  const __m128i low = _mm_set1_epi32(0xFF);
  std::int64_t x = 0;
  for (; x + 4 <= width; x += 4) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 4 * x));
    const __m128i swapped = _mm_or_si128(_mm_and_si128(v, keep),
                                         _mm_or_si128(_mm_and_si128(_mm_srli_epi32(v, 16), low),
                                                      _mm_slli_epi32(_mm_and_si128(v, low), 16)));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 4 * x), swapped);
  }
  for (; x < width; ++x) {
    out[4 * x] = in[4 * x + 2];
    out[4 * x + 1] = in[4 * x + 1];
    out[4 * x + 2] = in[4 * x];
    out[4 * x + 3] = in[4 * x + 3];
  }
}

namespace {

// Rows of RGB or RGBA bytes with a pixel of zeros before each, the left neighbour the filters take
// for the first pixel.
constexpr std::int64_t kLead = 4;

// |x| of signed bytes, summed in the two 64-bit halves.
inline __m128i SumAbs(__m128i x) {
  const __m128i zero = _mm_setzero_si128();
  return _mm_sad_epu8(_mm_min_epu8(x, _mm_sub_epi8(zero, x)), zero);
}

// The Paeth predictions for 8 samples in 16-bit lanes (ties favour left, then above).
inline __m128i Paeth8(__m128i a, __m128i b, __m128i c) {
  const __m128i zero = _mm_setzero_si128();
  auto abs16 = [&](__m128i v) { return _mm_max_epi16(v, _mm_sub_epi16(zero, v)); };
  auto pick = [](__m128i mask, __m128i yes, __m128i no) {
    return _mm_or_si128(_mm_and_si128(mask, yes), _mm_andnot_si128(mask, no));
  };
  const __m128i p = _mm_sub_epi16(b, c), q = _mm_sub_epi16(a, c);
  const __m128i pa = abs16(p), pb = abs16(q), pc = abs16(_mm_add_epi16(p, q));
  const __m128i least = _mm_min_epi16(pc, _mm_min_epi16(pa, pb));
  return pick(_mm_cmpeq_epi16(least, pa), a, pick(_mm_cmpeq_epi16(least, pb), b, c));
}

// The Paeth filter of 16 bytes at `row` + i (`above` the row before; both with kLead zeros) of
// pixels `bpp` bytes wide.
template <int bpp>
inline __m128i Paeth16(const std::uint8_t* row, const std::uint8_t* above, std::int64_t i) {
  const __m128i zero = _mm_setzero_si128();
  auto load = [](const std::uint8_t* p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  };
  const __m128i x = load(row + i), a = load(row + i - bpp), b = load(above + i),
                c = load(above + i - bpp);
  const __m128i low =
      Paeth8(_mm_unpacklo_epi8(a, zero), _mm_unpacklo_epi8(b, zero), _mm_unpacklo_epi8(c, zero));
  const __m128i high =
      Paeth8(_mm_unpackhi_epi8(a, zero), _mm_unpackhi_epi8(b, zero), _mm_unpackhi_epi8(c, zero));
  return _mm_sub_epi8(x, _mm_packus_epi16(low, high));
}

// One row of `bpp`-byte pixels filtered against the row above (filter byte first) with the PNG
// filter (Sub, Up or Paeth) whose bytes sum smallest, as libpng chooses. `row` and `above` have
// kLead zeros before them and room for 16 bytes past the end.
template <int bpp>
void FilterRow(const std::uint8_t* row, const std::uint8_t* above, std::int64_t bytes,
               std::uint8_t* out) {
  auto load = [](const std::uint8_t* p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  };
  // The sums of the filtered bytes taken as signed, libpng's measure of how well a filter did.
  __m128i sub = _mm_setzero_si128(), up = _mm_setzero_si128(), paeth = _mm_setzero_si128();
  const std::int64_t whole = bytes & ~std::int64_t{15};
  for (std::int64_t i = 0; i < whole; i += 16) {
    const __m128i x = load(row + i);
    const __m128i filtered = Paeth16<bpp>(row, above, i);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 1 + i), filtered);
    paeth = _mm_add_epi64(paeth, SumAbs(filtered));
    up = _mm_add_epi64(up, SumAbs(_mm_sub_epi8(x, load(above + i))));
    sub = _mm_add_epi64(sub, SumAbs(_mm_sub_epi8(x, load(row + i - bpp))));
  }
  auto total = [](__m128i v) {
    return _mm_cvtsi128_si64(v) + _mm_cvtsi128_si64(_mm_unpackhi_epi64(v, v));
  };
  std::int64_t paethCost = total(paeth), upCost = total(up), subCost = total(sub);
  for (std::int64_t i = whole; i < bytes; ++i) {
    const int a = row[i - bpp], b = above[i], c = above[i - bpp];
    const int pa = std::abs(b - c), pb = std::abs(a - c), pc = std::abs(a + b - 2 * c);
    const int predicted = pa <= pb && pa <= pc ? a : (pb <= pc ? b : c);
    out[1 + i] = static_cast<std::uint8_t>(row[i] - predicted);
    paethCost += std::abs(static_cast<std::int8_t>(out[1 + i]));
    upCost += std::abs(static_cast<std::int8_t>(row[i] - b));
    subCost += std::abs(static_cast<std::int8_t>(row[i] - a));
  }
  out[0] = 4;
  if (upCost < paethCost && upCost <= subCost) {
    out[0] = 2;
    for (std::int64_t i = 0; i < bytes; ++i)
      out[1 + i] = static_cast<std::uint8_t>(row[i] - above[i]);
  } else if (subCost < paethCost) {
    out[0] = 1;
    for (std::int64_t i = 0; i < bytes; ++i)
      out[1 + i] = static_cast<std::uint8_t>(row[i] - row[i - bpp]);
  }
}

class PngBandWriter final : public BandWriter {
 public:
  // An opaque writer leaves the alpha channel out.
  PngBandWriter(std::FILE* file, std::int64_t width, std::int64_t height, bool opaque)
      : file_(file),
        width_(width),
        height_(height),
        bpp_(opaque ? 3 : 4),
        above_(width * 4 + 16, 0) {}

  bool Start() {
    static constexpr unsigned char kSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    unsigned char header[13] = {};
    PutBe32(header, static_cast<std::uint32_t>(width_));
    PutBe32(header + 4, static_cast<std::uint32_t>(height_));
    header[8] = 8;                  // bits per sample
    header[9] = bpp_ == 3 ? 2 : 6;  // RGB or RGBA
    // zlib header: deflate with a 32 KiB window, fastest compression, check bits.
    static constexpr unsigned char kZlibHeader[2] = {0x78, 0x01};
    return std::fwrite(kSignature, 1, 8, file_) == 8 && Chunk("IHDR", header, sizeof header) &&
           Chunk("IDAT", kZlibHeader, 2);
  }

  bool WriteBand(const VideoBuffer& band, std::int64_t rows) override {
    if (rows <= 0 || written_ + rows > height_) return false;
    const bool last = written_ + rows == height_;
    const int pieces = static_cast<int>(std::min<std::int64_t>(rows, 2 * omp_get_max_threads()));
    // The pieces' buffers serve every band: fresh ones cost a page fault per 4 KiB each time.
    if (pieces_.size() < static_cast<std::size_t>(pieces)) pieces_.resize(pieces);
    bool ok = true;
#pragma omp parallel for schedule(dynamic) reduction(&& : ok)
    for (int i = 0; i < pieces; ++i) {
      ok = Compress(band, rows * i / pieces, rows * (i + 1) / pieces, last && i == pieces - 1,
                    &pieces_[i]) &&
           ok;
    }
    for (int i = 0; i < pieces; ++i) transparent_ = transparent_ || pieces_[i].transparent;
    if (!ok) return false;
    for (int i = 0; i < pieces; ++i) {
      const Piece& piece = pieces_[i];
      if (!Chunk("IDAT", piece.bytes.data(), piece.used)) return false;
      adler_ = adler32_combine(adler_, piece.adler, static_cast<z_off_t>(piece.rawBytes));
    }
    FileRow(band, rows - 1, above_.data());
    written_ += rows;
    return true;
  }

  bool Transparent() const override { return transparent_; }

  bool Finish() override {
    if (written_ != height_) return false;
    unsigned char trailer[4];
    PutBe32(trailer, static_cast<std::uint32_t>(adler_));
    return Chunk("IDAT", trailer, 4) && Chunk("IEND", nullptr, 0);
  }

 private:
  struct Piece {
    std::vector<std::uint8_t> filtered;
    std::vector<std::uint8_t> rows;  // two rows as in the file, each with kLead bytes before it
    std::vector<unsigned char> bytes;
    std::size_t used = 0;      // bytes of `bytes` that hold the piece (it only grows: no refills)
    bool transparent = false;  // an opaque picture's piece held a pixel that is not
    uLong adler = 0;
    std::uint64_t rawBytes = 0;
  };

  // Row y of `band` in the file's order of bytes: false where an opaque picture's is not.
  bool FileRow(const VideoBuffer& band, std::int64_t y, std::uint8_t* out) const {
    if (bpp_ == 3) return ToRgb(RowOf(band, y), width_, out);
    ToRgba(RowOf(band, y), width_, out);
    return true;
  }

  // Filters rows first..end-1 of the band and deflates them as one piece of the stream.
  bool Compress(const VideoBuffer& band, std::int64_t first, std::int64_t end, bool finish,
                Piece* piece) const {
    std::vector<std::uint8_t>& filtered = piece->filtered;
    const std::int64_t rowBytes = width_ * bpp_;
    piece->transparent = false;
    const std::int64_t rowSpan = kLead + rowBytes + 16;
    if (piece->rows.size() < static_cast<std::size_t>(2 * rowSpan)) piece->rows.resize(2 * rowSpan);
    std::uint8_t* above = piece->rows.data() + kLead;
    std::uint8_t* row = above + rowSpan;
    filtered.resize((rowBytes + 1) * (end - first));
    if (first == 0) {
      std::copy_n(above_.begin(), rowBytes, above);
    } else {
      FileRow(band, first - 1, above);
    }
    for (std::int64_t y = first; y < end; ++y) {
      if (!FileRow(band, y, row)) {
        piece->transparent = true;
        return false;
      }
      std::uint8_t* out = filtered.data() + (y - first) * (rowBytes + 1);
      bpp_ == 3 ? FilterRow<3>(row, above, rowBytes, out) : FilterRow<4>(row, above, rowBytes, out);
      std::swap(row, above);
    }
    piece->rawBytes = filtered.size();
    piece->adler = libdeflate_adler32(1, filtered.data(), filtered.size());

    z_stream z{};
    // Measured on an 8192 x 4096 Earth map: run-length matching on rows filtered as libpng
    // chooses takes a fifth of libpng's default time for a file under 10% larger; longer searches
    // cost much more time than they save bytes. The largest memory level makes fewer blocks.
    if (deflateInit2(&z, 1, Z_DEFLATED, -15, 9, Z_RLE) != Z_OK) return false;
    const std::size_t bound = deflateBound(&z, static_cast<uLong>(filtered.size())) + 16;
    if (bound > std::numeric_limits<uInt>::max()) {
      deflateEnd(&z);
      return false;
    }
    if (piece->bytes.size() < bound) piece->bytes.resize(bound);
    z.next_out = piece->bytes.data();
    z.avail_out = static_cast<uInt>(bound);
    // zlib counts its input in 32 bits: at most 1 GiB per call.
    unsigned char* in = filtered.data();
    std::size_t left = filtered.size();
    int status = Z_OK;
    do {
      const std::size_t step = std::min<std::size_t>(left, 1u << 30);
      z.next_in = in;
      z.avail_in = static_cast<uInt>(step);
      in += step;
      left -= step;
      status = deflate(&z, left > 0 ? Z_NO_FLUSH : (finish ? Z_FINISH : Z_SYNC_FLUSH));
    } while (left > 0 && status == Z_OK);
    const bool ok = finish ? status == Z_STREAM_END : status == Z_OK && z.avail_in == 0;
    piece->used = static_cast<std::size_t>(z.next_out - piece->bytes.data());
    deflateEnd(&z);
    return ok;
  }

  bool Chunk(const char* type, const unsigned char* data, std::size_t size) {
    // A chunk holds at most 2^31 - 1 bytes; pieces are far smaller, but split to be sure.
    constexpr std::size_t kMaxChunk = 1u << 30;
    do {
      const std::size_t part = std::min(size, kMaxChunk);
      unsigned char head[8];
      PutBe32(head, static_cast<std::uint32_t>(part));
      std::memcpy(head + 4, type, 4);
      uLong crc = crc32(0, head + 4, 4);
      if (part) crc = crc32_z(crc, data, part);
      unsigned char tail[4];
      PutBe32(tail, static_cast<std::uint32_t>(crc));
      if (std::fwrite(head, 1, 8, file_) != 8 ||
          (part && std::fwrite(data, 1, part, file_) != part) ||
          std::fwrite(tail, 1, 4, file_) != 4) {
        return false;
      }
      data += part;
      size -= part;
    } while (size > 0);
    return true;
  }

  std::FILE* file_;
  std::int64_t width_, height_;
  std::int64_t bpp_;  // bytes per pixel in the file: 3 (RGB) or 4 (RGBA)
  std::int64_t written_ = 0;
  bool transparent_ = false;
  uLong adler_ = 1;  // Adler-32 of the filtered rows so far
  std::vector<Piece> pieces_;
  std::vector<std::uint8_t> above_;  // last row written, as in the file; zeros above the first
};

class BmpBandWriter final : public BandWriter {
 public:
  BmpBandWriter(std::FILE* file, std::int64_t width, std::int64_t height)
      : file_(file), width_(width), height_(height) {}

  bool Start() {
    const std::uint64_t imageBytes = static_cast<std::uint64_t>(width_) * height_ * 4;
    unsigned char header[kBmpHeaderBytes] = {};
    PutLe16(header, 0x4D42);  // "BM"
    PutLe32(header + 2, static_cast<std::uint32_t>(imageBytes + kBmpHeaderBytes));
    PutLe32(header + 10, kBmpHeaderBytes);
    PutLe32(header + 14, 40);
    PutLe32(header + 18, static_cast<std::uint32_t>(width_));
    PutLe32(header + 22, static_cast<std::uint32_t>(height_));  // positive: bottom-up rows
    PutLe16(header + 26, 1);
    PutLe16(header + 28, 32);
    PutLe32(header + 34, static_cast<std::uint32_t>(imageBytes));
    return std::fwrite(header, 1, sizeof header, file_) == sizeof header;
  }

  bool WriteBand(const VideoBuffer& band, std::int64_t rows) override {
    if (rows <= 0 || written_ + rows > height_) return false;
    const std::int64_t rowBytes = width_ * 4;
    // File row k (from the bottom) holds picture row height - 1 - k.
    const auto offset = [&](std::int64_t y) {
      return static_cast<off_t>(kBmpHeaderBytes + (height_ - 1 - y) * rowBytes);
    };
    if (band.width == width_ && band.height == rows) {
      // The band's own bottom-up block is the file's layout of these rows.
      const std::size_t bytes = static_cast<std::size_t>(rows * rowBytes);
      if (fseeko(file_, offset(written_ + rows - 1), SEEK_SET) != 0 ||
          std::fwrite(band.pixels, 1, bytes, file_) != bytes) {
        return false;
      }
    } else {
      for (std::int64_t y = 0; y < rows; ++y) {
        if (fseeko(file_, offset(written_ + y), SEEK_SET) != 0 ||
            std::fwrite(RowOf(band, y), 1, rowBytes, file_) != static_cast<std::size_t>(rowBytes)) {
          return false;
        }
      }
    }
    written_ += rows;
    return true;
  }

  bool Finish() override { return written_ == height_; }

 private:
  std::FILE* file_;
  std::int64_t width_, height_;
  std::int64_t written_ = 0;
};

}  // namespace

OutputFormat FormatOfName(const std::string& path) {
  const std::string lower = Lower(path);
  if (EndsWith(lower, ".png")) return OutputFormat::kPng;
  if (EndsWith(lower, ".tif") || EndsWith(lower, ".tiff")) return OutputFormat::kTiff;
  return OutputFormat::kBmp;
}

std::string FormatLimit(OutputFormat format, std::int64_t width, std::int64_t height) {
  if (width < 1 || height < 1) return "an image needs at least one pixel";
  if (width > kMaxSide || height > kMaxSide) {
    return "an image side cannot exceed " + std::to_string(kMaxSide) + " pixels";
  }
  if (format == OutputFormat::kBmp && BmpFileSize(width, height) > kMaxBmpFileSize) {
    return kBmpTooLarge;
  }
  return "";
}

std::int64_t BandRows(OutputFormat format, std::int64_t width) {
  return format == OutputFormat::kTiff ? kTiffTile : RowsPerBand(width);
}

std::uint64_t WriterWorkingBytes(OutputFormat format, std::int64_t width) {
  const std::uint64_t band = static_cast<std::uint64_t>(BandRows(format, width)) * (width * 4 + 1);
  switch (format) {
    case OutputFormat::kPng:
      return 2 * band + 64 * static_cast<std::uint64_t>(width);  // filtered rows, compressed
    case OutputFormat::kTiff:
      return 2 * band;  // compressed tiles, at worst as large as the pixels
    case OutputFormat::kBmp:
      break;
  }
  return 0;
}

std::unique_ptr<BandWriter> OpenBandWriter(OutputFormat format, std::FILE* file, std::int64_t width,
                                           std::int64_t height, const GeoReference* geo,
                                           bool opaque) {
  if (!FormatLimit(format, width, height).empty()) return nullptr;
  switch (format) {
    case OutputFormat::kPng: {
      auto writer = std::make_unique<PngBandWriter>(file, width, height, opaque);
      return writer->Start() ? std::move(writer) : nullptr;
    }
    case OutputFormat::kBmp: {
      auto writer = std::make_unique<BmpBandWriter>(file, width, height);
      return writer->Start() ? std::move(writer) : nullptr;
    }
    case OutputFormat::kTiff:
      return OpenTiffWriter(file, width, height, geo);
  }
  return nullptr;
}

}  // namespace ImageFiles
