// VideoBuffer: the pixel block, single-pixel access, and the choice of file codec.
#include "image/video_buffer.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <utility>

#include "image/band_writer.h"
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

// Bytes of the pixel block of a width x height buffer with its slack, or 0 when sides below 2 or
// a size beyond the address space make it impossible.
std::uint64_t BlockBytes(std::int32_t width, std::int32_t height) {
  if (width < 2 || height < 2) return 0;
  // At most (2^31)^2 * 4 + 8 bytes: always representable in 64 bits.
  const std::uint64_t bytes =
      static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height) * 4 + kSlackBytes;
  return bytes > static_cast<std::uint64_t>(std::numeric_limits<std::ptrdiff_t>::max()) ? 0 : bytes;
}

// A zero-filled mapping of `bytes` backed by a nameless file in `folder`, or null.
std::uint8_t* MapTemporaryFile(const std::string& folder, std::uint64_t bytes) {
  struct statvfs space {};
  if (statvfs(folder.c_str(), &space) != 0 ||
      static_cast<std::uint64_t>(space.f_bavail) * space.f_frsize < bytes) {
    return nullptr;
  }
  std::string name = folder + "/kartovel-pixels-XXXXXX";
  const int fd = mkostemp(name.data(), O_CLOEXEC);
  if (fd < 0) return nullptr;
  unlink(name.c_str());
  void* block = MAP_FAILED;
  if (ftruncate(fd, static_cast<off_t>(bytes)) == 0) {
    block = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  }
  close(fd);  // the mapping keeps the file
  return block == MAP_FAILED ? nullptr : static_cast<std::uint8_t*>(block);
}

}  // namespace

VideoBuffer::~VideoBuffer() { Release(); }

int VideoBuffer::Create(std::int32_t newWidth, std::int32_t newHeight) {
  Release();
  const std::uint64_t bytes = BlockBytes(newWidth, newHeight);
  if (bytes == 0) return -1;
  auto* header = new (std::nothrow) BitmapInfoHeader;
  // calloc hands out zeroed pages lazily: a large buffer costs nothing until it is written.
  auto* block = static_cast<std::uint8_t*>(std::calloc(bytes, 1));
  if (!header || !block) {
    delete header;
    std::free(block);
    return -1;
  }
  Adopt(newWidth, newHeight, block, header);
  return 0;
}

int VideoBuffer::CreateOnDisk(std::int32_t newWidth, std::int32_t newHeight,
                              const std::string& folder) {
  Release();
  const std::uint64_t bytes = BlockBytes(newWidth, newHeight);
  if (bytes == 0) return -1;
  auto* header = new (std::nothrow) BitmapInfoHeader;
  std::uint8_t* block = header ? MapTemporaryFile(folder, bytes) : nullptr;
  if (!block) {
    delete header;
    return -1;
  }
  Adopt(newWidth, newHeight, block, header);
  mappedBytes_ = bytes;
  return 0;
}

void VideoBuffer::Adopt(std::int32_t newWidth, std::int32_t newHeight, std::uint8_t* block,
                        BitmapInfoHeader* header) {
  const std::uint64_t bytes = static_cast<std::uint64_t>(newWidth) * newHeight * 4;
  header->width = newWidth;
  header->height = newHeight;
  // The field cannot hold more; 0 is what uncompressed BMPs may carry instead.
  header->sizeImage = bytes <= 0xFFFFFFFFu ? static_cast<std::uint32_t>(bytes) : 0;
  width = newWidth;
  height = newHeight;
  pixels = block;
  descriptor = header;
}

void VideoBuffer::Release() {
  if (mappedBytes_) {
    munmap(pixels, mappedBytes_);
  } else {
    std::free(pixels);
  }
  mappedBytes_ = 0;
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
  std::swap(mappedBytes_, other.mappedBytes_);
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
  const ImageFiles::OutputFormat format = ImageFiles::FormatOfName(path);
  if (const std::string limit = ImageFiles::FormatLimit(format, width, height); !limit.empty()) {
    if (reason) *reason = limit;
    return -1;
  }
  return ImageFiles::ReplaceFile(
      path,
      [&](std::FILE* file) {
        // A PNG needs no alpha channel where every pixel is opaque.
        const bool opaque = format == ImageFiles::OutputFormat::kPng &&
                            std::all_of(reinterpret_cast<const std::uint32_t*>(pixels),
                                        reinterpret_cast<const std::uint32_t*>(pixels) +
                                            std::int64_t{width} * height,
                                        [](std::uint32_t pixel) { return pixel >> 24 == 0xFF; });
        auto writer = ImageFiles::OpenBandWriter(format, file, width, height, nullptr, opaque);
        if (!writer) return false;
        const std::int64_t rows =
            std::min<std::int64_t>(ImageFiles::BandRows(format, width), height);
        if (rows == height) return writer->WriteBand(*this, height) && writer->Finish();
        // Band by band, so that the writer's buffers stay small whatever the picture's size.
        VideoBuffer band;
        if (band.Create(width, static_cast<std::int32_t>(rows)) != 0) return false;
        const std::size_t rowBytes = static_cast<std::size_t>(width) * 4;
        for (std::int64_t top = 0; top < height; top += rows) {
          const std::int64_t n = std::min<std::int64_t>(rows, height - top);
          // The band's first n rows, top first, are the last n rows of its bottom-up block.
          std::memcpy(band.pixels + (rows - n) * rowBytes, pixels + (height - top - n) * rowBytes,
                      n * rowBytes);
          if (!writer->WriteBand(band, n)) return false;
        }
        return writer->Finish();
      },
      reason, cancel);
}
