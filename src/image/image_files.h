// Image file codecs behind VideoBuffer::Load and Save, and the size gate every decoder obeys.
// The streamed writers are in band_writer.h.
//
// Internal to the image library (and its tests and benchmarks): callers use VideoBuffer.
#ifndef KARTOVEL_IMAGE_IMAGE_FILES_H_
#define KARTOVEL_IMAGE_IMAGE_FILES_H_

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>

#include "image/row_feed.h"
#include "image/video_buffer.h"

namespace ImageFiles {

// The one decoding size gate, checked on the size a picture's header declares before anything
// of that size is allocated: sides from 1 to 2^31 - 1 pixels (what VideoBuffer holds). Whether the
// pixels fit is then AllocateDecoded's question, so a corrupt header or a decompression bomb never
// reserves more than the machine can give.
bool AdmitsDecodedSize(std::int64_t width, std::int64_t height);

// Gives `buffer` width x height zeroed pixels for a decoder: in memory when MemoryBudget allows,
// otherwise in a memory-mapped temporary file in TemporaryFolder(). 0, -1 for sides VideoBuffer
// cannot hold, -3 when neither memory nor the folder can take the picture (`reason`, when not
// null, then says how much it needs).
int AllocateDecoded(VideoBuffer* buffer, std::int64_t width, std::int64_t height,
                    std::string* reason);
// $TMPDIR when set, otherwise /var/tmp (on disk where /tmp may live in memory).
std::string TemporaryFolder();

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

// Decodes a PNG file into `out` (replaced only on success): 0, -1 unreadable, truncated, corrupt
// or beyond the gate (with `reason`), -2 for a bit depth other than 8 after the sample reduction,
// -3 too large to hold (see AllocateDecoded). A side of 1 pixel gives an empty buffer and 0.
// `cancel` (optional) is read between rows.
int ReadPng(std::FILE* file, VideoBuffer* out, std::string* reason,
            const std::atomic<bool>* cancel);

// The fields of IHDR that choose the PNG decoder.
struct PngHeader {
  std::uint32_t width = 0, height = 0;
  int depth = 0, colourType = 0, compression = 0, filter = 0, interlace = 0;
};

// The first half of a PNG read in the background: checks the file as ReadPng does and, where the
// direct decoder reads it (8-bit RGB or RGBA, not interlaced: most maps), puts the picture's
// zeroed pixels in `out` (empty for a side of 1 pixel) and its header in `direct`, leaving the
// file at its image data for DecodePngRows. For any other PNG, `direct` gets width 0 and the file
// is left at its start for ReadPng. 0, or as ReadPng.
int StartPng(std::FILE* file, VideoBuffer* out, std::string* reason, PngHeader* direct);
// The second half: decodes the rows into `buffer` top first, raising `feed` (when given) as they
// land. 0, or -1 with the reason (the pixels not yet decoded stay zero).
int DecodePngRows(std::FILE* file, const PngHeader& header, VideoBuffer* buffer,
                  std::string* reason, const std::atomic<bool>* cancel, RowFeed* feed);

// Decodes any other picture (BMP, JPEG, GIF, ...) through the platform decoder, at its own pixel
// size, transparent parts drawn over black with alpha 0. Same results as ReadPng (never -2); the
// platform decoder holds its own copy in memory, so only the second copy may go to disk. BMP,
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

// Bytes of memory a decode holds at once for a width x height picture besides the decoded buffer
// (which AllocateDecoded may put on disk): the PNG decoders' rows and buffers, or the platform
// decoder's own picture.
std::uint64_t DecodeBytes(std::int64_t width, std::int64_t height, bool platformDecoder);

// The size gate and the memory check of DecodeBytes together: 0, -1 beyond the gate, -3 when the
// memory the machine can give is too little; `reason` says why.
int AdmitDecode(std::int64_t width, std::int64_t height, bool platformDecoder, std::string* reason);

// Bytes of the BMP file of a width x height buffer; the format's 32-bit size field allows at most
// kMaxBmpFileSize, and kBmpTooLarge is the reason given for larger ones.
std::uint64_t BmpFileSize(std::int64_t width, std::int64_t height);
inline constexpr std::uint64_t kMaxBmpFileSize = 0xFFFFFFFFu;
inline constexpr char kBmpTooLarge[] =
    "too large for a BMP file (at most 4 GiB); save as .png or .tif";

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
