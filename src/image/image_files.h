// Image file codecs behind VideoBuffer::Load and Save, and the size gate every decoder obeys.
//
// Internal to the image library (and its tests and benchmarks): callers use VideoBuffer.
#ifndef KARTOVEL_IMAGE_IMAGE_FILES_H_
#define KARTOVEL_IMAGE_IMAGE_FILES_H_

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>

#include "image/video_buffer.h"

namespace ImageFiles {

// The one decoding size gate. A picture whose header declares more is refused before anything
// of its size is allocated: a corrupt header or a decompression bomb must not reserve gigabytes.
// The largest common world maps (43200 x 21600, 0.93 gigapixels) pass.
inline constexpr std::int64_t kMaxDecodeSide = std::int64_t{1} << 18;
inline constexpr std::int64_t kMaxDecodePixels = std::int64_t{1} << 30;
// The same limit in the megabytes of a 32-bit picture, for decoders that count allocations.
inline constexpr int kMaxDecodeMegabytes = static_cast<int>(kMaxDecodePixels * 4 >> 20);

// True when a picture of width x height pixels (both at least 1) may be decoded.
bool AdmitsDecodedSize(std::int64_t width, std::int64_t height);

// Lower-cased last four characters (or the whole name when shorter) equal ".png".
bool HasPngName(const std::string& path);

// Result of looking at a file's first bytes.
enum class FileKind { kUnreadable, kPng, kOther };
FileKind SniffFile(const std::string& path);

// Decodes a PNG file into `out` (replaced only on success): 0, -1 unreadable, corrupt or beyond
// the gate, -2 for a bit depth other than 8 after the sample reduction. A side of 1 pixel gives
// an empty buffer and 0.
int ReadPng(const std::string& path, VideoBuffer* out);

// Decodes any other picture (BMP, JPEG, GIF, ...) through the platform decoder, at its own pixel
// size, transparent parts drawn over black with alpha 0. Same results as ReadPng (never -2).
int DecodePicture(const std::string& path, VideoBuffer* out);

// zlib and row-filter settings for PNG writing; -1 leaves a setting to libpng.
struct PngWriteOptions {
  int level;     // zlib level 0..9
  int strategy;  // Z_DEFAULT_STRATEGY, Z_FILTERED, Z_RLE, ...
  int filters;   // PNG_FILTER_* bits; several bits make libpng choose per row
};
// What Save uses: much faster than libpng's defaults for a slightly larger file.
PngWriteOptions FastPngOptions();
// libpng's own defaults (level 6, default strategy, adaptive choice among all filters).
PngWriteOptions LibpngDefaultOptions();

// Writes `buffer` (created) as 8-bit RGBA PNG, top row first. False on any error.
bool WritePng(const VideoBuffer& buffer, std::FILE* file, const PngWriteOptions& options);
// Writes `buffer` (created) as a 32-bit BMP. False on any error, or when the file's size does not
// fit its 32-bit size field.
bool WriteBmp(const VideoBuffer& buffer, std::FILE* file);
// Bytes of the BMP file of a width x height buffer.
std::uint64_t BmpFileSize(std::int64_t width, std::int64_t height);

// Writes a new file through `write` into a temporary file beside `path` and renames it over
// `path` only when everything was written and flushed; otherwise removes it. 0 or -1.
int ReplaceFile(const std::string& path, const std::function<bool(std::FILE*)>& write);

}  // namespace ImageFiles

#endif  // KARTOVEL_IMAGE_IMAGE_FILES_H_
