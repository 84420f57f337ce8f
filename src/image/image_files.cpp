// Codec-independent file handling: the size gate, format sniffing, safe replacement.
#include "image/image_files.h"

#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "image/memory_budget.h"

namespace ImageFiles {

namespace {

constexpr std::array<unsigned char, 8> kPngSignature = {0x89, 'P',  'N',  'G',
                                                        0x0D, 0x0A, 0x1A, 0x0A};
constexpr std::uint32_t kBmpHeaderBytes = 14 + 40;

// A name no other writer in this process or another uses at the same time.
std::string TemporaryName(const std::string& path, int attempt) {
  static std::atomic<unsigned> counter{0};
  return path + ".part-" + std::to_string(getpid()) + "-" + std::to_string(counter++) + "-" +
         std::to_string(attempt);
}

}  // namespace

bool AdmitsDecodedSize(std::int64_t width, std::int64_t height) {
  constexpr std::int64_t kMaxSide = std::numeric_limits<std::int32_t>::max();
  return width >= 1 && height >= 1 && width <= kMaxSide && height <= kMaxSide;
}

std::string TemporaryFolder() {
  const char* folder = std::getenv("TMPDIR");
  return folder && *folder ? folder : "/var/tmp";
}

int AllocateDecoded(VideoBuffer* buffer, std::int64_t width, std::int64_t height,
                    std::string* reason) {
  if (!AdmitsDecodedSize(width, height) || width < 2 || height < 2) return -1;
  const std::uint64_t bytes = static_cast<std::uint64_t>(width) * height * 4;
  const auto w = static_cast<std::int32_t>(width), h = static_cast<std::int32_t>(height);
  if (MemoryBudget::Allows(bytes) && buffer->Create(w, h) == 0) return 0;
  const std::string folder = TemporaryFolder();
  if (buffer->CreateOnDisk(w, h, folder) == 0) return 0;
  if (reason) {
    *reason = MemoryBudget::NotEnoughMessage(width, height, bytes) +
              " and too little free space in " + folder + " to hold it on disk";
  }
  return -3;
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
