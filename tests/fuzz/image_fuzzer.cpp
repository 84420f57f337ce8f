// libFuzzer harness for picture loading: every input is read as a picture file (PNG through
// libpng, BMP, JPEG, GIF and the rest through the platform decoder, behind the checks of
// truncation, bombs and memory), which must neither crash, leak nor hang, and must either give a
// picture or a reason.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "image/image_files.h"
#include "image/video_buffer.h"

namespace {

void Require(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // A declared size the inputs cannot fill is refused anyway; this keeps the rest small.
  setenv("KARTOVEL_MEMORY_LIMIT", "268435456", 1);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // The input as a regular file in memory, read through the same path as any picture.
  const int fd = memfd_create("kartovel-fuzz", MFD_CLOEXEC);
  Require(fd >= 0);
  Require(write(fd, data, size) == static_cast<ssize_t>(size));
  VideoBuffer picture;
  std::string reason;
  const int result = picture.Load("/proc/self/fd/" + std::to_string(fd), &reason);
  close(fd);
  Require(result == 0 || result == -1 || result == -2 || result == -3);
  Require(result == 0 || !reason.empty());
  if (result == 0 && picture.HasStorage()) {
    Require(ImageFiles::AdmitsDecodedSize(picture.width, picture.height));
  }
  // The structure check alone, on the raw bytes.
  ImageFiles::CheckComplete(data, size);
  return 0;
}
