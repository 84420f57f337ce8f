// Streamed picture writers: a picture handed over in bands of rows, top band first, and written to
// the file as it comes, so that a writer never holds more than a band, whatever the picture's size.
#ifndef KARTOVEL_IMAGE_BAND_WRITER_H_
#define KARTOVEL_IMAGE_BAND_WRITER_H_

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "image/geo_reference.h"
#include "image/video_buffer.h"

namespace ImageFiles {

// Chosen by the output's name: ".png" PNG, ".tif"/".tiff" GeoTIFF, anything else BMP (any case).
enum class OutputFormat { kPng, kBmp, kTiff };
OutputFormat FormatOfName(const std::string& path);

// Why a width x height picture cannot be written in `format` ("" when it can): BMP files are
// limited to 4 GiB, PNG and TIFF sides to 2^31 - 1 pixels.
std::string FormatLimit(OutputFormat format, std::int64_t width, std::int64_t height);

class BandWriter {
 public:
  virtual ~BandWriter() = default;
  // Appends the first `rows` rows (top first, as VideoBuffer addresses them) and the first
  // `width` columns of `band` below those already written. False on a write error.
  // REQUIRES: band.width >= width; rows <= band.height; no more rows than the picture has.
  virtual bool WriteBand(const VideoBuffer& band, std::int64_t rows) = 0;
  // Completes the file once every row was written. False on a write error or missing rows.
  virtual bool Finish() = 0;
  // Whether a writer opened as opaque met a pixel that is not (its WriteBand then failed).
  virtual bool Transparent() const { return false; }
};

// Rows per band a writer of a `width`-wide picture works best with (the tile height for TIFF);
// the last band may be shorter.
std::int64_t BandRows(OutputFormat format, std::int64_t width);
// Bytes of memory such a writer needs besides the bands it is given.
std::uint64_t WriterWorkingBytes(OutputFormat format, std::int64_t width);

// A writer of a width x height picture into `file` (a fresh regular file, positioned at 0, written
// only through the writer until Finish). `geo` (may be null) georeferences a TIFF; PNG and BMP
// carry none (see WriteWorldFile). An `opaque` PNG has no alpha channel: a smaller file, written
// faster; a band holding a pixel that is not opaque fails, with Transparent() true. Null when the
// format cannot hold the size or on failure.
std::unique_ptr<BandWriter> OpenBandWriter(OutputFormat format, std::FILE* file, std::int64_t width,
                                           std::int64_t height, const GeoReference* geo,
                                           bool opaque = false);

// Internal to the writers: the TIFF one, in its own file, and the pixel order both write.
inline constexpr std::int64_t kTiffTile = 256;
// `width` stored pixels (blue, green, red, alpha) to the file's red, green, blue, alpha.
void ToRgba(const std::uint8_t* in, std::int64_t width, std::uint8_t* out);
std::unique_ptr<BandWriter> OpenTiffWriter(std::FILE* file, std::int64_t width, std::int64_t height,
                                           const GeoReference* geo);

}  // namespace ImageFiles

#endif  // KARTOVEL_IMAGE_BAND_WRITER_H_
