// PNG reading, a few rows at a time.
//
// Reading runs a walk over the chunks (a file that ends early, or whose image data are too few to
// fill the picture it declares, is refused at once), the size gate and the memory check, then
// the decode straight into the new buffer, so a file that declares a huge picture costs nothing
// and a real one is never held twice, interlaced or not. The transforms are those of
// png_read_png with STRIP_16 | PACKING | PACKSWAP, applied row by row.
//
// Non-interlaced 8-bit RGB and RGBA files, the maps people mostly bring, are decoded here
// directly: ISA-L inflates their image data at several times zlib's speed, and the rows are
// unfiltered here. Every other kind goes through libpng.
#include <immintrin.h>
#include <isa-l/igzip_lib.h>
#include <png.h>
#include <zlib.h>

#include <algorithm>
#include <csetjmp>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "image/image_files.h"
#include "image/memory_budget.h"
#include "image/row_feed.h"

namespace ImageFiles {

namespace {

// Deflate codes at least 2 bits for a match of at most 258 bytes: compressed data can never
// stand for more than 1032 times their size. Image data below that share of the rows a header
// declares can never fill the picture: a certain sign of a bomb (or a broken file).
constexpr std::uint64_t kMaxDeflateRatio = 1032;

// Nothing is logged: errors unwind to the caller's setjmp (keeping libpng's text where the caller
// asked for it), warnings are dropped.
[[noreturn]] void OnPngError(png_structp png, png_const_charp message) {
  if (auto* kept = static_cast<std::string*>(png_get_error_ptr(png))) *kept = message;
  png_longjmp(png, 1);
}
void OnPngWarning(png_structp, png_const_charp) {}

// Everything a decode owns, freed by the caller whichever way the decode ends (a libpng error
// longjmps out of the decoding function, past no destructor).
struct PngReader {
  std::FILE* file = nullptr;
  png_structp png = nullptr;
  png_infop info = nullptr;
  png_bytepp rowTable = nullptr;  // interlaced files: where each row's passes gather
  png_bytep rows = nullptr;       // interlaced files with a side of 1 pixel: their whole picture
  png_bytep row = nullptr;        // one row, non-interlaced files
  const std::atomic<bool>* cancel = nullptr;
  std::string error;   // libpng's text of the last error
  std::string reason;  // why the decode was refused
  VideoBuffer buffer;

  ~PngReader() {
    png_destroy_read_struct(&png, &info, nullptr);
    std::free(rowTable);
    std::free(rows);
    std::free(row);
  }
  bool Cancelled() const { return cancel && cancel->load(std::memory_order_relaxed); }
};

std::uint32_t Be32(const unsigned char* p) {
  return std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 | std::uint32_t{p[2]} << 8 | p[3];
}

// Walks the chunks from the signature to IEND by their lengths, without decoding: "truncated"
// when the file ends first, a bomb when the image data cannot fill the declared picture. Leaves
// the file at its start.
int CheckChunks(std::FILE* file, std::string* reason) {
  unsigned char head[8];
  std::uint64_t imageData = 0, rowBytes = 0, height = 0;
  bool ended = false;
  if (std::fseek(file, 8, SEEK_SET) != 0) return -1;
  while (!ended && std::fread(head, 1, 8, file) == 8) {
    const std::uint32_t length = Be32(head);
    if (std::memcmp(head + 4, "IHDR", 4) == 0 && length >= 13) {
      unsigned char ihdr[13];
      if (std::fread(ihdr, 1, 13, file) != 13) break;
      static constexpr int kChannels[] = {1, 0, 3, 1, 2, 0, 4};
      const int channels = ihdr[9] < 7 ? kChannels[ihdr[9]] : 0;
      height = Be32(ihdr + 4);
      rowBytes = 1 + (std::uint64_t{Be32(ihdr)} * channels * ihdr[8] + 7) / 8;
      if (std::fseek(file, static_cast<long>(length) - 13 + 4, SEEK_CUR) != 0) break;
      continue;
    }
    if (std::memcmp(head + 4, "IDAT", 4) == 0) imageData += length;
    ended = std::memcmp(head + 4, "IEND", 4) == 0;
    if (std::fseek(file, static_cast<long>(length) + 4, SEEK_CUR) != 0) break;
  }
  // Seeking past the end succeeds; where the file really ends tells.
  const long position = std::ftell(file);
  std::fseek(file, 0, SEEK_END);
  const bool complete = ended && position >= 0 && position <= std::ftell(file);
  std::rewind(file);
  if (!complete) {
    *reason = "truncated";
    return -1;
  }
  if (imageData * kMaxDeflateRatio < rowBytes * height) {
    *reason = kImplausiblySmall;
    return -1;
  }
  return 0;
}

// One decoded row (one byte per sample) into buffer row y as blue, green, red, alpha bytes. The
// pixels go from right to left and each is read before it is written, so `in` may be the start
// of `out` (a pixel never takes more than the four bytes it becomes).
void ConvertRow(const png_byte* in, int colourType, int sourceDepth, const png_color* palette,
                int paletteSize, png_uint_32 width, std::uint8_t* row) {
  for (png_uint_32 x = width; x-- > 0;) {
    std::uint8_t* out = row + 4 * static_cast<std::size_t>(x);
    std::uint8_t r = 0, g = 0, b = 0, a = 0xFF;
    switch (colourType) {
      case PNG_COLOR_TYPE_GRAY: {
        unsigned v = in[x];
        if (sourceDepth < 8) v = v * 255 / ((1u << sourceDepth) - 1);
        r = g = b = static_cast<std::uint8_t>(v);
        break;
      }
      case PNG_COLOR_TYPE_RGB:
        r = in[3 * x], g = in[3 * x + 1], b = in[3 * x + 2];
        break;
      case PNG_COLOR_TYPE_PALETTE:
        // libpng only warns about an index past the palette; such pixels are black.
        if (in[x] < paletteSize) {
          const png_color& c = palette[in[x]];
          r = c.red, g = c.green, b = c.blue;
        }
        break;
      case PNG_COLOR_TYPE_GRAY_ALPHA:
        r = g = b = in[2 * x];
        a = in[2 * x + 1];
        break;
      default:  // RGB with alpha
        r = in[4 * x], g = in[4 * x + 1], b = in[4 * x + 2];
        a = in[4 * x + 3];
        break;
    }
    out[0] = b, out[1] = g, out[2] = r, out[3] = a;
  }
}

int Decode(PngReader& reader) {
  if (setjmp(png_jmpbuf(reader.png))) {
    reader.reason = std::feof(reader.file) ? "truncated" : "corrupt (" + reader.error + ")";
    return -1;
  }
  // Our gate replaces libpng's default limit of a million pixels a side.
  png_set_user_limits(reader.png, 0x7FFFFFFFu, 0x7FFFFFFFu);
  png_init_io(reader.png, reader.file);
  png_read_info(reader.png, reader.info);
  png_uint_32 width = 0, height = 0;
  int depth = 0, colourType = 0, interlace = 0;
  png_get_IHDR(reader.png, reader.info, &width, &height, &depth, &colourType, &interlace, nullptr,
               nullptr);
  if (const int admitted = AdmitDecode(width, height, false, &reader.reason)) return admitted;

  png_set_strip_16(reader.png);
  png_set_packing(reader.png);
  png_set_packswap(reader.png);
  const int passes = png_set_interlace_handling(reader.png);
  png_read_update_info(reader.png, reader.info);
  if (png_get_bit_depth(reader.png, reader.info) != 8) {
    reader.reason = "unsupported bit depth";
    return -2;
  }
  const std::size_t rowBytes = png_get_rowbytes(reader.png, reader.info);

  png_colorp palette = nullptr;
  int paletteSize = 0;
  if (colourType == PNG_COLOR_TYPE_PALETTE) {
    png_get_PLTE(reader.png, reader.info, &palette, &paletteSize);
  }

  // A side of 1 pixel cannot be held: the rows are still decoded so that a corrupt file is told
  // apart from a valid one, and the result is an empty buffer.
  const bool keep = width >= 2 && height >= 2;
  if (keep) {
    if (const int held = AllocateDecoded(&reader.buffer, width, height, &reader.reason)) {
      return held;
    }
  }
  auto rowOf = [&](png_uint_32 y) {
    return reader.buffer.pixels + (static_cast<std::size_t>(height) - 1 - y) * width * 4;
  };
  auto cancelled = [&] {
    if (reader.Cancelled()) reader.reason = "cancelled";
    return reader.Cancelled();
  };

  if (passes > 1) {
    // The passes gather in the buffer's own rows (libpng's row of at most 4 bytes a pixel fits
    // in the 4 bytes a pixel gets), converted in place at the end.
    reader.rowTable = static_cast<png_bytepp>(std::malloc(sizeof(png_bytep) * height));
    if (!keep) reader.rows = static_cast<png_bytep>(std::malloc(rowBytes * height));
    if (!reader.rowTable || (!keep && !reader.rows)) return -1;
    for (png_uint_32 y = 0; y < height; ++y) {
      reader.rowTable[y] = keep ? rowOf(y) : reader.rows + rowBytes * y;
    }
    for (int pass = 0; pass < passes; ++pass) {
      for (png_uint_32 y = 0; y < height; ++y)
        png_read_row(reader.png, reader.rowTable[y], nullptr);
      if (cancelled()) return -1;
    }
    if (keep) {
      for (png_uint_32 y = 0; y < height; ++y) {
        ConvertRow(rowOf(y), colourType, depth, palette, paletteSize, width, rowOf(y));
      }
    }
  } else {
    reader.row = static_cast<png_bytep>(std::malloc(rowBytes));
    if (!reader.row) return -1;
    for (png_uint_32 y = 0; y < height; ++y) {
      png_read_row(reader.png, reader.row, nullptr);
      if (keep) ConvertRow(reader.row, colourType, depth, palette, paletteSize, width, rowOf(y));
      if ((y & 63) == 0 && cancelled()) return -1;
    }
  }
  png_read_end(reader.png, reader.info);
  return 0;
}

// Reads the signature and IHDR (with its CRC) at the file's start. False when they are not as
// the direct decoder needs them; libpng then judges the file.
bool ReadHeader(std::FILE* file, PngHeader* header) {
  unsigned char bytes[8 + 8 + 13 + 4];
  if (std::fread(bytes, 1, sizeof bytes, file) != sizeof bytes) return false;
  const unsigned char* ihdr = bytes + 16;
  if (Be32(bytes + 8) != 13 || std::memcmp(bytes + 12, "IHDR", 4) != 0 ||
      crc32(0, bytes + 12, 17) != Be32(ihdr + 13)) {
    return false;
  }
  *header = {Be32(ihdr), Be32(ihdr + 4), ihdr[8], ihdr[9], ihdr[10], ihdr[11], ihdr[12]};
  return true;
}

bool DecodesDirectly(const PngHeader& h) {
  return h.depth == 8 &&
         (h.colourType == PNG_COLOR_TYPE_RGB || h.colourType == PNG_COLOR_TYPE_RGBA) &&
         h.compression == 0 && h.filter == 0 && h.interlace == 0 && h.width >= 1 && h.height >= 1 &&
         h.width <= 0x7FFFFFFFu && h.height <= 0x7FFFFFFFu;
}

// The Paeth filter of one row of 3- or 4-byte pixels undone a pixel at a time in 16-bit lanes:
// each pixel depends on the one before, so the lanes are the pixel's samples, and the predictor
// is chosen without branches (ties favour left, then above, as the filter defines).
template <int bpp>
void UnfilterPaeth(std::uint8_t* x, const std::uint8_t* b, std::size_t bytes) {
  static_assert(bpp == 3 || bpp == 4);
  const __m128i zero = _mm_setzero_si128();
  // Four bytes at once, a 3-byte pixel's neighbour too (never written here), except at the row's
  // end: a short copy into a fresh word would stall on store forwarding at every pixel.
  auto load = [bytes](const std::uint8_t* row, std::size_t i) {
    std::uint32_t v = 0;
    if (i + 4 <= bytes) {
      std::memcpy(&v, row + i, 4);
    } else {
      std::memcpy(&v, row + i, bpp);
    }
    return _mm_cvtsi32_si128(static_cast<int>(v));
  };
  auto abs16 = [&](__m128i v) { return _mm_max_epi16(v, _mm_sub_epi16(zero, v)); };
  auto pick = [](__m128i mask, __m128i yes, __m128i no) {
    return _mm_or_si128(_mm_and_si128(mask, yes), _mm_andnot_si128(mask, no));
  };
  __m128i a = zero, c = zero;
  for (std::size_t i = 0; i < bytes; i += bpp) {
    const __m128i above = _mm_unpacklo_epi8(load(b, i), zero);
    const __m128i p = _mm_sub_epi16(above, c), q = _mm_sub_epi16(a, c);
    const __m128i pa = abs16(p), pb = abs16(q), pc = abs16(_mm_add_epi16(p, q));
    const __m128i least = _mm_min_epi16(pc, _mm_min_epi16(pa, pb));
    const __m128i predicted =
        pick(_mm_cmpeq_epi16(least, pa), a, pick(_mm_cmpeq_epi16(least, pb), above, c));
    const __m128i value = _mm_add_epi8(load(x, i), _mm_packus_epi16(predicted, predicted));
    const std::uint32_t out = static_cast<std::uint32_t>(_mm_cvtsi128_si32(value));
    std::memcpy(x + i, &out, bpp);
    a = _mm_unpacklo_epi8(value, zero);
    c = above;
  }
}

// Undoes the PNG filter of one row of `bpp`-byte pixels (filter byte first) against the row
// above, already unfiltered (zeros above the first row). False for an unknown filter.
template <int bpp>
bool Unfilter(std::uint8_t* row, const std::uint8_t* above, std::size_t bytes) {
  std::uint8_t* x = row + 1;
  const std::uint8_t* b = above + 1;
  switch (row[0]) {
    case 0:
      return true;
    case 1:
      for (std::size_t i = bpp; i < bytes; ++i) x[i] = static_cast<std::uint8_t>(x[i] + x[i - bpp]);
      return true;
    case 2:
      for (std::size_t i = 0; i < bytes; ++i) x[i] = static_cast<std::uint8_t>(x[i] + b[i]);
      return true;
    case 3:
      for (std::size_t i = 0; i < bpp; ++i) x[i] = static_cast<std::uint8_t>(x[i] + (b[i] >> 1));
      for (std::size_t i = bpp; i < bytes; ++i) {
        x[i] = static_cast<std::uint8_t>(x[i] + ((x[i - bpp] + b[i]) >> 1));
      }
      return true;
    case 4:
      UnfilterPaeth<bpp>(x, b, bytes);
      return true;
    default:
      return false;
  }
}

// One unfiltered row of 8-bit RGB or RGBA into a buffer row of blue, green, red, alpha.
template <int bpp>
void ToBgraPlain(const std::uint8_t* in, std::size_t width, std::uint8_t* out) {
  for (std::size_t x = 0; x < width; ++x, in += bpp, out += 4) {
    out[0] = in[2], out[1] = in[1], out[2] = in[0];
    out[3] = bpp == 4 ? in[3] : 0xFF;
  }
}

// The same four pixels at a time, by byte shuffles.
template <int bpp>
[[gnu::target("ssse3")]] void ToBgraSsse3(const std::uint8_t* in, std::size_t width,
                                          std::uint8_t* out) {
  const __m128i order = bpp == 3
                            ? _mm_setr_epi8(2, 1, 0, -1, 5, 4, 3, -1, 8, 7, 6, -1, 11, 10, 9, -1)
                            : _mm_setr_epi8(2, 1, 0, 3, 6, 5, 4, 7, 10, 9, 8, 11, 14, 13, 12, 15);
  const __m128i opaque = _mm_set1_epi32(bpp == 3 ? static_cast<int>(0xFF000000u) : 0);
  std::size_t x = 0;
  // 16 bytes are read for 4 pixels: stop where that would pass the row's end.
  for (; bpp * x + 16 <= bpp * width; x += 4) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + bpp * x));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 4 * x),
                     _mm_or_si128(_mm_shuffle_epi8(v, order), opaque));
  }
  ToBgraPlain<bpp>(in + bpp * x, width - x, out + 4 * x);
}

template <int bpp>
void ToBgra(const std::uint8_t* in, std::size_t width, std::uint8_t* out) {
  static const bool ssse3 = __builtin_cpu_supports("ssse3");
  ssse3 ? ToBgraSsse3<bpp>(in, width, out) : ToBgraPlain<bpp>(in, width, out);
}

// The image data of the file as one stream: the IDAT chunks in turn, their CRCs checked, the
// other chunks skipped.
class ImageData {
 public:
  explicit ImageData(std::FILE* file) : file_(file), buffer_(256 << 10) {}

  // The next bytes of image data (at most the buffer), or 0 bytes at the end or on an error
  // (then `corrupt` holds the reason).
  std::size_t Next(const unsigned char** data) {
    while (left_ == 0) {
      if (chunkOpen_ && !CloseChunk()) return 0;
      if (!OpenIdat()) return 0;
    }
    const std::size_t got =
        std::fread(buffer_.data(), 1, std::min<std::size_t>(left_, buffer_.size()), file_);
    if (got == 0) {
      corrupt = "truncated";
      return 0;
    }
    crc_ = crc32_z(crc_, buffer_.data(), got);
    left_ -= got;
    *data = buffer_.data();
    return got;
  }

  // Reads the rest of the open chunk, checking its CRC. False on an error (see `corrupt`).
  bool Finish() {
    while (chunkOpen_ && left_ > 0) {
      const unsigned char* ignored = nullptr;
      if (Next(&ignored) == 0) return false;
    }
    return !chunkOpen_ || CloseChunk();
  }

  std::string corrupt;

 private:
  bool CloseChunk() {
    unsigned char tail[4];
    chunkOpen_ = false;
    if (std::fread(tail, 1, 4, file_) != 4 || Be32(tail) != crc_) {
      corrupt = "corrupt (IDAT: CRC error)";
      return false;
    }
    return true;
  }
  // Moves to the next IDAT chunk; false at IEND or on an error.
  bool OpenIdat() {
    unsigned char head[8];
    while (std::fread(head, 1, 8, file_) == 8) {
      const std::uint32_t length = Be32(head);
      if (std::memcmp(head + 4, "IEND", 4) == 0) return false;
      if (std::memcmp(head + 4, "IDAT", 4) == 0) {
        left_ = length;
        crc_ = crc32(0, head + 4, 4);
        chunkOpen_ = true;
        return true;
      }
      if (fseeko(file_, static_cast<off_t>(length) + 4, SEEK_CUR) != 0) break;
    }
    corrupt = "truncated";
    return false;
  }

  std::FILE* file_;
  std::vector<unsigned char> buffer_;
  std::uint64_t left_ = 0;  // bytes of the open IDAT chunk not yet read
  uLong crc_ = 0;
  bool chunkOpen_ = false;
};

// ISA-L's AVX code returns with the upper halves of the vector registers in use; until they are
// cleared, every SSE instruction after it (our unfiltering, and the projections' arithmetic long
// after the decode) runs several times slower.
int Inflate(inflate_state* state) {
  const int status = isal_inflate(state);
  static const bool avx = __builtin_cpu_supports("avx");
  if (avx) asm volatile("vzeroupper" ::: "memory");
  return status;
}

// libpng's words for what zlib finds wrong.
const char* Inflation(int status) {
  return status == ISAL_INCORRECT_CHECKSUM ? "incorrect data check" : "invalid compressed data";
}

// The gate and the buffer for a file DecodesDirectly accepts: 0, or the results of ReadPng.
// A side of 1 pixel cannot be held: its rows are still decoded, so that a corrupt file is told
// apart from a valid one, and the buffer stays empty.
int AllocateDirect(const PngHeader& header, VideoBuffer* buffer, std::string* reason) {
  if (const int admitted = AdmitDecode(header.width, header.height, false, reason)) return admitted;
  if (header.width < 2 || header.height < 2) return 0;
  return AllocateDecoded(buffer, header.width, header.height, reason);
}

}  // namespace

int DecodePngRows(std::FILE* file, const PngHeader& header, VideoBuffer* buffer,
                  std::string* reason, const std::atomic<bool>* cancel, RowFeed* feed) {
  const bool keep = buffer->HasStorage();
  const int bpp = header.colourType == PNG_COLOR_TYPE_RGBA ? 4 : 3;
  const std::size_t rowBytes = static_cast<std::size_t>(header.width) * bpp;
  // A few hundred KiB of rows per call of the inflater; the row above the first stays beside.
  const std::size_t rowsPerStep =
      std::clamp<std::size_t>((256u << 10) / (rowBytes + 1), 1, header.height);
  std::vector<std::uint8_t> rows((rowsPerStep + 1) * (rowBytes + 1), 0);

  auto state = std::make_unique<inflate_state>();
  isal_inflate_init(state.get());
  state->crc_flag = ISAL_ZLIB;
  ImageData data(file);
  auto corrupt = [&](const std::string& why) {
    *reason = data.corrupt.empty() ? "corrupt (" + why + ")" : data.corrupt;
    return -1;
  };

  // Past the last IDAT chunk the inflater may still hold rows it had no room for.
  bool ended = false;
  for (std::uint32_t y = 0; y < header.height;) {
    const std::size_t count = std::min<std::size_t>(rowsPerStep, header.height - y);
    std::uint8_t* first = rows.data() + (rowBytes + 1);
    state->next_out = first;
    state->avail_out = static_cast<std::uint32_t>(count * (rowBytes + 1));
    while (state->avail_out > 0) {
      if (state->avail_in == 0 && !ended) {
        const unsigned char* in = nullptr;
        const std::size_t got = data.Next(&in);
        if (got == 0 && !data.corrupt.empty()) return corrupt("");
        ended = got == 0;
        state->next_in = const_cast<unsigned char*>(in);
        state->avail_in = static_cast<std::uint32_t>(got);
      }
      const std::uint32_t room = state->avail_out;
      const int status = Inflate(state.get());
      if (ended && status >= 0 && state->avail_out == room) {
        return corrupt("Not enough image data");
      }
      if (status < 0) return corrupt(Inflation(status));
      if (state->block_state == ISAL_BLOCK_FINISH && state->avail_out > 0) {
        return corrupt("Not enough image data");
      }
    }
    for (std::size_t i = 0; i < count; ++i, ++y) {
      std::uint8_t* row = first + i * (rowBytes + 1);
      const std::uint8_t* above = row - (rowBytes + 1);
      const bool known =
          bpp == 4 ? Unfilter<4>(row, above, rowBytes) : Unfilter<3>(row, above, rowBytes);
      if (!known) return corrupt("bad adaptive filter value");
      if (keep) {
        std::uint8_t* out =
            buffer->pixels + (static_cast<std::size_t>(header.height) - 1 - y) * header.width * 4;
        bpp == 4 ? ToBgra<4>(row + 1, header.width, out) : ToBgra<3>(row + 1, header.width, out);
      }
    }
    // The last row of this step is the row above the next one.
    std::memcpy(rows.data(), first + (count - 1) * (rowBytes + 1), rowBytes + 1);
    if (feed) feed->Publish(y);
    if (cancel && cancel->load(std::memory_order_relaxed)) {
      *reason = "cancelled";
      return -1;
    }
  }
  // The rest of the stream (its check sum, at least) must be sound too; data past it, or a
  // stream cut after the last row, only draw libpng's warnings.
  std::uint8_t spare[64];
  while (state->block_state != ISAL_BLOCK_FINISH && !ended) {
    if (state->avail_in == 0) {
      const unsigned char* in = nullptr;
      const std::size_t got = data.Next(&in);
      if (got == 0 && !data.corrupt.empty()) return corrupt("");
      if (got == 0) break;
      state->next_in = const_cast<unsigned char*>(in);
      state->avail_in = static_cast<std::uint32_t>(got);
    }
    state->next_out = spare;
    state->avail_out = sizeof spare;
    const int status = Inflate(state.get());
    if (status < 0) return corrupt(Inflation(status));
    if (state->avail_out == 0) break;  // more pixels than the picture holds
  }
  if (!data.Finish()) return corrupt("");
  return 0;
}

int StartPng(std::FILE* file, VideoBuffer* out, std::string* reason, PngHeader* direct) {
  if (CheckChunks(file, reason) != 0) return -1;
  if (ReadHeader(file, direct) && DecodesDirectly(*direct)) {
    VideoBuffer buffer;
    if (const int result = AllocateDirect(*direct, &buffer, reason)) return result;
    out->Swap(buffer);
    return 0;
  }
  *direct = PngHeader{};
  std::rewind(file);
  return 0;
}

int ReadPng(std::FILE* file, VideoBuffer* out, std::string* reason,
            const std::atomic<bool>* cancel) {
  if (CheckChunks(file, reason) != 0) return -1;
  PngHeader header;
  if (ReadHeader(file, &header) && DecodesDirectly(header)) {
    VideoBuffer buffer;
    if (const int result = AllocateDirect(header, &buffer, reason)) return result;
    if (const int result = DecodePngRows(file, header, &buffer, reason, cancel, nullptr)) {
      return result;
    }
    out->Swap(buffer);
    return 0;
  }
  std::rewind(file);
  PngReader reader;
  reader.file = file;
  reader.cancel = cancel;
  reader.png =
      png_create_read_struct(PNG_LIBPNG_VER_STRING, &reader.error, OnPngError, OnPngWarning);
  if (!reader.png) return -1;
  reader.info = png_create_info_struct(reader.png);
  if (!reader.info) return -1;
  const int result = Decode(reader);
  if (result == 0) out->Swap(reader.buffer);
  *reason = reader.reason;
  return result;
}

}  // namespace ImageFiles
