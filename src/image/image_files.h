// Image file codecs behind VideoBuffer::Load and Save, and the size gate every decoder obeys.
// The streamed writers are in band_writer.h.
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

// Result of looking at a file's first bytes.
enum class FileKind { kUnreadable, kPng, kOther };
FileKind SniffFile(const std::string& path);

// Decodes a PNG file into `out` (replaced only on success): 0, -1 unreadable, corrupt or beyond
// the gate, -2 for a bit depth other than 8 after the sample reduction, -3 too large to hold (see
// AllocateDecoded). A side of 1 pixel gives an empty buffer and 0.
int ReadPng(const std::string& path, VideoBuffer* out, std::string* reason = nullptr);

// Decodes any other picture (BMP, JPEG, GIF, ...) through the platform decoder, at its own pixel
// size, transparent parts drawn over black with alpha 0. Same results as ReadPng (never -2); the
// platform decoder holds its own copy in memory, so only the second copy may go to disk.
int DecodePicture(const std::string& path, VideoBuffer* out, std::string* reason = nullptr);

// Bytes of the BMP file of a width x height buffer.
std::uint64_t BmpFileSize(std::int64_t width, std::int64_t height);

// Writes a new file through `write` into a temporary file beside `path` and renames it over
// `path` only when everything was written and flushed; otherwise removes it. 0 or -1.
int ReplaceFile(const std::string& path, const std::function<bool(std::FILE*)>& write);

}  // namespace ImageFiles

#endif  // KARTOVEL_IMAGE_IMAGE_FILES_H_
