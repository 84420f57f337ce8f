// VideoBuffer: the one raster type, 32-bit pixels stored bottom-up as blue, green, red, alpha.
//
// Callers address pixels with x to the right and y downwards: (0, 0) is the top-left pixel as
// displayed, stored at byte offset ((height - 1 - y) * width + x) * 4. Colour words pass through
// the interface with red in bits 0-7, green 8-15, blue 16-23 and alpha 24-31.
//
// GetPixel and SetPixel may run concurrently on distinct pixels; everything else belongs to one
// thread at a time.
#ifndef KARTOVEL_IMAGE_VIDEO_BUFFER_H_
#define KARTOVEL_IMAGE_VIDEO_BUFFER_H_

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

// The 40-byte BMP information header, little-endian, as written into BMP files.
struct BitmapInfoHeader {
  std::uint32_t size = 40;
  std::int32_t width = 0;
  std::int32_t height = 0;  // positive: rows stored bottom-up
  std::uint16_t planes = 1;
  std::uint16_t bitCount = 32;
  std::uint32_t compression = 0;
  std::uint32_t sizeImage = 0;  // width * height * 4
  std::int32_t xPelsPerMeter = 0;
  std::int32_t yPelsPerMeter = 0;
  std::uint32_t clrUsed = 0;
  std::uint32_t clrImportant = 0;
};
static_assert(sizeof(BitmapInfoHeader) == 40);

class VideoBuffer {
 public:
  VideoBuffer() = default;
  VideoBuffer(const VideoBuffer&) = delete;
  VideoBuffer& operator=(const VideoBuffer&) = delete;
  virtual ~VideoBuffer();

  // Replaces any storage with width x height zeroed pixels. -1 (and empty) for a side below 2 or
  // a size whose bytes cannot be counted or allocated.
  int Create(std::int32_t width, std::int32_t height);
  // As Create, but the pixels live in a memory-mapped temporary file in `folder`, for pictures
  // larger than the memory the machine can give. The file is unlinked as soon as it is made (no
  // name remains, and its space returns when the buffer is released or the process ends). -1 when
  // the folder cannot take the file or has too little free space.
  int CreateOnDisk(std::int32_t width, std::int32_t height, const std::string& folder);
  // Frees the storage; safe on an empty buffer.
  void Release();
  // Every pixel gets the colour's red, green and blue with alpha 0.
  void Fill(std::uint32_t colour);
  // 0 outside the picture or on an empty buffer.
  std::uint32_t GetPixel(std::int32_t x, std::int32_t y) const;
  // Dropped outside the picture or on an empty buffer.
  void SetPixel(std::int32_t x, std::int32_t y, std::uint32_t colour);

  // Reads a picture at its own pixel size: a PNG (told by its signature, whatever its name) through
  // libpng, everything else through the picture decoder. A picture larger than the memory the
  // machine can give is decoded into a memory-mapped temporary file (see CreateOnDisk) in $TMPDIR,
  // or /var/tmp when it is unset. 0 on success, -1 when it cannot be opened, read or decoded, -2
  // for a PNG whose bit depth stays other than 8, -3 when it fits neither memory nor the temporary
  // folder. Only regular files are read; a file whose data end early is refused as truncated, one
  // whose compressed data are too few for the picture it declares as a bomb. On failure `reason`
  // (when given) says why, for "Unable to read image file X: reason". `cancel` (when given) stops
  // a PNG between rows (-1, "cancelled"). The buffer is not emptied first; on success it holds the
  // picture (empty for a side of 1 pixel).
  int Load(const std::string& path, std::string* reason = nullptr,
           const std::atomic<bool>* cancel = nullptr);
  // Writes 8-bit PNG (RGB where every pixel is opaque, else RGBA) when the name ends in ".png"
  // (any case), an RGBA TIFF for ".tif" or ".tiff", otherwise a 32-bit BMP, through
  // ImageFiles::ReplaceFile: 0 on success, -1 on failure (also for a size the format cannot hold;
  // with `reason`), -2 when `cancel` was set before the file was put in place. An existing file is
  // replaced only by a complete new one.
  int Save(const std::string& path, std::string* reason = nullptr,
           const std::atomic<bool>* cancel = nullptr) const;

  // Exchanges the storage of two buffers (a decoded picture replaces the old one only on success).
  void Swap(VideoBuffer& other) noexcept;

  bool HasStorage() const { return descriptor != nullptr; }
  // Total bytes of the pixel block.
  std::size_t ByteCount() const;

  std::int32_t width = 0;
  std::int32_t height = 0;
  std::uint8_t* pixels = nullptr;          // owned; null while empty
  BitmapInfoHeader* descriptor = nullptr;  // owned; null while empty

 private:
  void Adopt(std::int32_t width, std::int32_t height, std::uint8_t* block,
             BitmapInfoHeader* header);

  std::size_t mappedBytes_ = 0;  // length of the mapping behind `pixels`; 0 for heap storage
};

#endif  // KARTOVEL_IMAGE_VIDEO_BUFFER_H_
