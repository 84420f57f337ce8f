// Shared helpers of the image, engine and command-line tests: scratch folders, patterned buffers, file bytes.
#ifndef KARTOVEL_TESTS_IMAGE_IMAGE_TEST_SUPPORT_H_
#define KARTOVEL_TESTS_IMAGE_IMAGE_TEST_SUPPORT_H_

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "image/video_buffer.h"

namespace test_support {

// A fresh empty folder for one test, removed with the object.
class ScratchDir {
 public:
  ScratchDir() {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    path_ = std::filesystem::temp_directory_path() /
            ("kartovel-" + std::string(info->test_suite_name()) + "-" + info->name() + "-" +
             std::to_string(::getpid()));
    std::filesystem::remove_all(path_);
    std::filesystem::create_directories(path_);
  }
  ~ScratchDir() { std::filesystem::remove_all(path_); }
  std::string operator/(const std::string& name) const { return (path_ / name).string(); }
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

// Opaque colours that differ in every channel from pixel to pixel, so that any mix-up of
// position, orientation or channel order shows.
inline std::uint32_t PatternColour(int x, int y) {
  const std::uint32_t r = (x * 37 + y * 11) & 0xFF, g = (x * 5 + y * 53 + 7) & 0xFF,
                      b = (x * 91 + y * 29 + 100) & 0xFF;
  return 0xFF000000u | b << 16 | g << 8 | r;
}

inline void FillPattern(VideoBuffer* buffer) {
  for (int y = 0; y < buffer->height; ++y) {
    for (int x = 0; x < buffer->width; ++x) buffer->SetPixel(x, y, PatternColour(x, y));
  }
}

inline std::vector<unsigned char> ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void WriteBytes(const std::string& path, const std::vector<unsigned char>& bytes) {
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
}

inline int Channel(std::uint32_t colour, int index) { return (colour >> (8 * index)) & 0xFF; }

}  // namespace test_support

#endif  // KARTOVEL_TESTS_IMAGE_IMAGE_TEST_SUPPORT_H_
