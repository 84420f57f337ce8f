// PNG reading through libpng, one row at a time.
//
// Reading runs a walk over the chunks (a file that ends early, or whose image data are too few to
// fill the picture it declares, is refused at once), the size gate and the memory check, then
// the decode straight into the new buffer, so a file that declares a huge picture costs nothing
// and a real one is never held twice, interlaced or not. The transforms are those of
// png_read_png with STRIP_16 | PACKING | PACKSWAP, applied row by row.
#include <png.h>

#include <csetjmp>
#include <cstdlib>
#include <cstring>
#include <string>

#include "image/image_files.h"
#include "image/memory_budget.h"

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

}  // namespace

int ReadPng(std::FILE* file, VideoBuffer* out, std::string* reason,
            const std::atomic<bool>* cancel) {
  if (CheckChunks(file, reason) != 0) return -1;
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
