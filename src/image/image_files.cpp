// Codec-independent file handling: the size gate, format sniffing, BMP writing, safe replacement.
#include "image/image_files.h"

#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstring>

namespace ImageFiles {

namespace {

constexpr std::array<unsigned char, 8> kPngSignature = {0x89, 'P',  'N',  'G',
                                                        0x0D, 0x0A, 0x1A, 0x0A};
constexpr std::uint32_t kBmpHeaderBytes = 14 + 40;

void PutLe16(unsigned char* p, std::uint16_t v) {
  p[0] = static_cast<unsigned char>(v);
  p[1] = static_cast<unsigned char>(v >> 8);
}

void PutLe32(unsigned char* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(v >> (8 * i));
}

// A name no other writer in this process or another uses at the same time.
std::string TemporaryName(const std::string& path, int attempt) {
  static std::atomic<unsigned> counter{0};
  return path + ".part-" + std::to_string(getpid()) + "-" + std::to_string(counter++) + "-" +
         std::to_string(attempt);
}

}  // namespace

bool AdmitsDecodedSize(std::int64_t width, std::int64_t height) {
  if (width < 1 || height < 1 || width > kMaxDecodeSide || height > kMaxDecodeSide) return false;
  return width * height <= kMaxDecodePixels;
}

bool HasPngName(const std::string& path) {
  std::string tail = path.size() > 4 ? path.substr(path.size() - 4) : path;
  for (char& ch : tail) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
  return tail == ".png";
}

FileKind SniffFile(const std::string& path) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) return FileKind::kUnreadable;
  std::array<unsigned char, 8> head{};
  const std::size_t got = std::fread(head.data(), 1, head.size(), file);
  std::fclose(file);
  return got == head.size() && head == kPngSignature ? FileKind::kPng : FileKind::kOther;
}

std::uint64_t BmpFileSize(std::int64_t width, std::int64_t height) {
  return static_cast<std::uint64_t>(width) * 4 * static_cast<std::uint64_t>(height) +
         kBmpHeaderBytes;
}

bool WriteBmp(const VideoBuffer& buffer, std::FILE* file) {
  if (!buffer.HasStorage()) return false;
  const std::uint64_t fileSize = BmpFileSize(buffer.width, buffer.height);
  if (fileSize > 0xFFFFFFFFu) return false;
  unsigned char header[14] = {};
  PutLe16(header, 0x4D42);  // "BM"
  PutLe32(header + 2, static_cast<std::uint32_t>(fileSize));
  PutLe32(header + 10, kBmpHeaderBytes);
  // The descriptor and the pixel block are already in file layout (little-endian, bottom-up).
  return std::fwrite(header, 1, sizeof header, file) == sizeof header &&
         std::fwrite(buffer.descriptor, 1, sizeof(BitmapInfoHeader), file) ==
             sizeof(BitmapInfoHeader) &&
         std::fwrite(buffer.pixels, 1, buffer.ByteCount(), file) == buffer.ByteCount();
}

int ReplaceFile(const std::string& path, const std::function<bool(std::FILE*)>& write) {
  std::string temporary;
  int fd = -1;
  for (int attempt = 0; attempt < 16 && fd < 0; ++attempt) {
    temporary = TemporaryName(path, attempt);
    // 0666 so that the umask gives the new file the same mode as any newly created one.
    fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno != EEXIST) return -1;
  }
  if (fd < 0) return -1;
  std::FILE* file = fdopen(fd, "wb");
  if (!file) {
    close(fd);
    unlink(temporary.c_str());
    return -1;
  }
  bool ok = write(file);
  ok = std::fflush(file) == 0 && ok;
  ok = ok && fsync(fd) == 0;
  ok = std::fclose(file) == 0 && ok;
  if (ok && std::rename(temporary.c_str(), path.c_str()) == 0) return 0;
  unlink(temporary.c_str());
  return -1;
}

}  // namespace ImageFiles
