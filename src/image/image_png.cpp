// PNG reading through libpng, one row at a time.
//
// Reading runs header, size gate, then decode straight into the new buffer, so a file that
// declares a huge picture costs nothing and a real one is never held twice. The transforms are
// those of png_read_png with STRIP_16 | PACKING | PACKSWAP, applied row by row.
#include <png.h>

#include <csetjmp>
#include <cstdlib>
#include <cstring>

#include "image/image_files.h"
#include "image/memory_budget.h"

namespace ImageFiles {

namespace {

// Nothing is logged: errors unwind to the caller's setjmp, warnings are dropped.
[[noreturn]] void OnPngError(png_structp png, png_const_charp) { png_longjmp(png, 1); }
void OnPngWarning(png_structp, png_const_charp) {}

// Everything a decode owns, freed by the caller whichever way the decode ends (a libpng error
// longjmps out of the decoding function, past no destructor).
struct PngReader {
  std::FILE* file = nullptr;
  png_structp png = nullptr;
  png_infop info = nullptr;
  png_bytep rows = nullptr;       // whole picture, interlaced files only
  png_bytepp rowTable = nullptr;  // pointers into `rows`
  png_bytep row = nullptr;        // one row, non-interlaced files
  VideoBuffer buffer;

  ~PngReader() {
    png_destroy_read_struct(&png, &info, nullptr);
    std::free(rows);
    std::free(rowTable);
    std::free(row);
    if (file) std::fclose(file);
  }
};

// One decoded row (one byte per sample) into buffer row y as blue, green, red, alpha bytes.
void ConvertRow(const png_byte* in, int colourType, int sourceDepth, const png_color* palette,
                int paletteSize, png_uint_32 width, std::uint8_t* out) {
  for (png_uint_32 x = 0; x < width; ++x, out += 4) {
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

int Decode(PngReader& reader, std::string* reason) {
  if (setjmp(png_jmpbuf(reader.png))) return -1;
  // Our gate replaces libpng's default limit of a million pixels a side.
  png_set_user_limits(reader.png, 0x7FFFFFFFu, 0x7FFFFFFFu);
  png_init_io(reader.png, reader.file);
  png_read_info(reader.png, reader.info);
  png_uint_32 width = 0, height = 0;
  int depth = 0, colourType = 0, interlace = 0;
  png_get_IHDR(reader.png, reader.info, &width, &height, &depth, &colourType, &interlace, nullptr,
               nullptr);
  if (!AdmitsDecodedSize(width, height)) return -1;

  png_set_strip_16(reader.png);
  png_set_packing(reader.png);
  png_set_packswap(reader.png);
  const int passes = png_set_interlace_handling(reader.png);
  png_read_update_info(reader.png, reader.info);
  if (png_get_bit_depth(reader.png, reader.info) != 8) return -2;
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
    if (const int held = AllocateDecoded(&reader.buffer, width, height, reason)) return held;
  }
  auto store = [&](const png_byte* in, png_uint_32 y) {
    if (!keep) return;
    ConvertRow(in, colourType, depth, palette, paletteSize, width,
               reader.buffer.pixels + (static_cast<std::size_t>(height) - 1 - y) * width * 4);
  };

  if (passes > 1) {
    // Interlaced rows arrive in passes: the whole picture is held once more, in memory.
    if (!MemoryBudget::Allows(static_cast<std::uint64_t>(rowBytes) * height)) {
      if (reason) *reason = MemoryBudget::NotEnoughMessage(width, height, rowBytes * height);
      return -3;
    }
    reader.rows = static_cast<png_bytep>(std::malloc(rowBytes * height));
    reader.rowTable = static_cast<png_bytepp>(std::malloc(sizeof(png_bytep) * height));
    if (!reader.rows || !reader.rowTable) return -1;
    for (png_uint_32 y = 0; y < height; ++y) reader.rowTable[y] = reader.rows + rowBytes * y;
    png_read_image(reader.png, reader.rowTable);
    for (png_uint_32 y = 0; y < height; ++y) store(reader.rowTable[y], y);
  } else {
    reader.row = static_cast<png_bytep>(std::malloc(rowBytes));
    if (!reader.row) return -1;
    for (png_uint_32 y = 0; y < height; ++y) {
      png_read_row(reader.png, reader.row, nullptr);
      store(reader.row, y);
    }
  }
  png_read_end(reader.png, reader.info);
  return 0;
}

}  // namespace

int ReadPng(const std::string& path, VideoBuffer* out, std::string* reason) {
  PngReader reader;
  reader.file = std::fopen(path.c_str(), "rb");
  if (!reader.file) return -1;
  reader.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, OnPngError, OnPngWarning);
  if (!reader.png) return -1;
  reader.info = png_create_info_struct(reader.png);
  if (!reader.info) return -1;
  const int result = Decode(reader, reason);
  if (result == 0) out->Swap(reader.buffer);
  return result;
}

}  // namespace ImageFiles
