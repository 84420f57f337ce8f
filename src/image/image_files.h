// Image file codecs behind VideoBuffer::Load and Save, and the size gate every decoder obeys.
//
// Internal to the image library (and its tests and benchmarks): callers use VideoBuffer.
#ifndef KARTOVEL_IMAGE_IMAGE_FILES_H_
#define KARTOVEL_IMAGE_IMAGE_FILES_H_

#include <atomic>
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

// A picture file opened for decoding: regular files only (a FIFO or a device would hang or never
// end), positioned at its start.
class OpenedFile {
 public:
  OpenedFile() = default;
  OpenedFile(const OpenedFile&) = delete;
  OpenedFile& operator=(const OpenedFile&) = delete;
  ~OpenedFile();
  // 0, or -1 with the reason (strerror text, or "not a regular file").
  int Open(const std::string& path, std::string* reason);
  bool IsPng() const { return png_; }
  std::FILE* Stream() const { return file_; }

 private:
  std::FILE* file_ = nullptr;
  bool png_ = false;
};

// Decodes a PNG file into `out` (replaced only on success): 0, -1 unreadable, truncated, corrupt,
// beyond the gate or the memory the machine can give (with `reason`), -2 for a bit depth other
// than 8 after the sample reduction. A side of 1 pixel gives an empty buffer and 0. `cancel`
// (optional) is read between rows.
int ReadPng(std::FILE* file, VideoBuffer* out, std::string* reason,
            const std::atomic<bool>* cancel);

// Decodes any other picture (BMP, JPEG, GIF, ...) through the platform decoder, at its own pixel
// size, transparent parts drawn over black with alpha 0. Same results as ReadPng (never -2). BMP,
// JPEG and GIF files whose own structure says their data end early are refused as truncated.
int DecodePicture(std::FILE* file, VideoBuffer* out, std::string* reason);

// Whether a file's bytes hold all the data their structure announces. kImplausible: complete,
// but with fewer compressed bytes than the format can ever need for the declared picture (a
// certain sign of a decompression bomb; checked for sequential JPEG). kUnknown for formats the
// check does not know (the decoder then judges alone).
enum class Completeness { kComplete, kTruncated, kImplausible, kUnknown };
inline constexpr char kImplausiblySmall[] =
    "implausibly small for the picture it declares (a decompression bomb)";
Completeness CheckComplete(const unsigned char* data, std::size_t size);

// Bytes a decode holds at once for a width x height picture: the buffer, and for the platform
// decoder its own picture beside it.
std::uint64_t DecodeBytes(std::int64_t width, std::int64_t height, bool platformDecoder);

// The size gate and the memory check together: 0, or -1 with the reason.
int AdmitDecode(std::int64_t width, std::int64_t height, bool platformDecoder, std::string* reason);

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
// Bytes of the BMP file of a width x height buffer; the format's 32-bit size field allows at most
// kMaxBmpFileSize, and kBmpTooLarge is the reason given for larger ones.
std::uint64_t BmpFileSize(std::int64_t width, std::int64_t height);
inline constexpr std::uint64_t kMaxBmpFileSize = 0xFFFFFFFFu;
inline constexpr char kBmpTooLarge[] = "too large for a BMP file (at most 4 GiB); save as .png";

// Writes a new file through `write` and puts it in place of `path` only when everything was
// written and flushed, so an existing file is never left half-written. The data goes into an
// unnamed file of the target's folder where the file system offers one, else into a short hidden
// name beside it; either way SIGINT, SIGTERM, SIGHUP and SIGXFSZ and every failure leave no
// temporary file behind. A symbolic link is written through (the link stays, the file it names is
// replaced); an existing file keeps its permission bits. A target that exists and is no regular
// file (a device, a FIFO, a folder, or a link to one) is refused untouched.
// Returns 0 when written; -1 on failure, with the reason in `reason` (strerror text, or what the
// target is) when given; -2 when `cancel` was set before the file was put in place (nothing
// changed). `cancel` is read once, after the data are flushed.
int ReplaceFile(const std::string& path, const std::function<bool(std::FILE*)>& write,
                std::string* reason = nullptr, const std::atomic<bool>* cancel = nullptr);

}  // namespace ImageFiles

#endif  // KARTOVEL_IMAGE_IMAGE_FILES_H_
