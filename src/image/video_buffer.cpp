// VideoBuffer: the pixel block, single-pixel access, and the choice of file codec.
#include "image/video_buffer.h"

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <utility>

#include "image/image_files.h"

static_assert(std::endian::native == std::endian::little,
              "pixels and file headers are stored little-endian");

namespace {

// Spare bytes after the pixel block: a wide load at the last pixel stays inside the allocation.
constexpr std::uint64_t kSlackBytes = 8;

// A stored pixel (bytes blue, green, red, alpha = the word A<<24 | R<<16 | G<<8 | B) to a colour
// word (A<<24 | B<<16 | G<<8 | R) and back: the same exchange of the red and blue bytes.
inline std::uint32_t SwapRedBlue(std::uint32_t v) {
  return (v & 0xFF00FF00u) | ((v >> 16) & 0xFFu) | ((v & 0xFFu) << 16);
}

}  // namespace

VideoBuffer::~VideoBuffer() { Release(); }

int VideoBuffer::Create(std::int32_t newWidth, std::int32_t newHeight) {
  Release();
  if (newWidth < 2 || newHeight < 2) return -1;
  // At most (2^31)^2 * 4 + 8 bytes: always representable in 64 bits.
  const std::uint64_t bytes =
      static_cast<std::uint64_t>(newWidth) * static_cast<std::uint64_t>(newHeight) * 4;
  if (bytes + kSlackBytes >
      static_cast<std::uint64_t>(std::numeric_limits<std::ptrdiff_t>::max())) {
    return -1;
  }
  auto* header = new (std::nothrow) BitmapInfoHeader;
  // calloc hands out zeroed pages lazily: a large buffer costs nothing until it is written.
  auto* block = static_cast<std::uint8_t*>(std::calloc(bytes + kSlackBytes, 1));
  if (!header || !block) {
    delete header;
    std::free(block);
    return -1;
  }
  header->width = newWidth;
  header->height = newHeight;
  // The field cannot hold more; 0 is what uncompressed BMPs may carry instead.
  header->sizeImage = bytes <= 0xFFFFFFFFu ? static_cast<std::uint32_t>(bytes) : 0;
  width = newWidth;
  height = newHeight;
  pixels = block;
  descriptor = header;
  return 0;
}

void VideoBuffer::Release() {
  std::free(pixels);
  delete descriptor;
  width = 0;
  height = 0;
  pixels = nullptr;
  descriptor = nullptr;
}

void VideoBuffer::Swap(VideoBuffer& other) noexcept {
  std::swap(width, other.width);
  std::swap(height, other.height);
  std::swap(pixels, other.pixels);
  std::swap(descriptor, other.descriptor);
}

std::size_t VideoBuffer::ByteCount() const {
  if (!descriptor) return 0;
  return static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4;
}

void VideoBuffer::Fill(std::uint32_t colour) {
  if (!descriptor) return;
  const std::uint32_t stored = SwapRedBlue(colour & 0x00FFFFFFu);
  auto* p = reinterpret_cast<std::uint32_t*>(pixels);
  std::fill(p, p + static_cast<std::size_t>(width) * static_cast<std::size_t>(height), stored);
}

std::uint32_t VideoBuffer::GetPixel(std::int32_t x, std::int32_t y) const {
  if (!descriptor || x < 0 || y < 0 || x >= width || y >= height) return 0;
  const std::int64_t offset = ((static_cast<std::int64_t>(height) - 1 - y) * width + x) * 4;
  std::uint32_t v;
  std::memcpy(&v, pixels + offset, 4);
  return SwapRedBlue(v);
}

void VideoBuffer::SetPixel(std::int32_t x, std::int32_t y, std::uint32_t colour) {
  if (!descriptor || x < 0 || y < 0 || x >= width || y >= height) return;
  const std::int64_t offset = ((static_cast<std::int64_t>(height) - 1 - y) * width + x) * 4;
  const std::uint32_t v = SwapRedBlue(colour);
  std::memcpy(pixels + offset, &v, 4);
}

int VideoBuffer::Load(const std::string& path, std::string* reason,
                      const std::atomic<bool>* cancel) {
  std::string why;
  ImageFiles::OpenedFile file;
  int result = file.Open(path, &why);
  // The contents choose the decoder: a PNG saved under another name still reads as PNG, and a
  // JPEG named .png goes to the picture decoder instead of being refused.
  if (result == 0) {
    result = file.IsPng() ? ImageFiles::ReadPng(file.Stream(), this, &why, cancel)
                          : ImageFiles::DecodePicture(file.Stream(), this, &why);
  }
  if (result != 0 && reason) *reason = why;
  return result;
}

int VideoBuffer::Save(const std::string& path, std::string* reason,
                      const std::atomic<bool>* cancel) const {
  if (!descriptor) {
    if (reason) *reason = "the picture is empty";
    return -1;
  }
  if (ImageFiles::HasPngName(path)) {
    const ImageFiles::PngWriteOptions options = ImageFiles::FastPngOptions();
    return ImageFiles::ReplaceFile(
        path, [&](std::FILE* file) { return ImageFiles::WritePng(*this, file, options); }, reason,
        cancel);
  }
  if (ImageFiles::BmpFileSize(width, height) > ImageFiles::kMaxBmpFileSize) {
    if (reason) *reason = ImageFiles::kBmpTooLarge;
    return -1;
  }
  return ImageFiles::ReplaceFile(
      path, [&](std::FILE* file) { return ImageFiles::WriteBmp(*this, file); }, reason, cancel);
}
