// VideoBuffer: memory layout, colour words, size limits, access outside the picture.
#include "image/video_buffer.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

// Huge requests must come back as failures, not as sanitizer aborts, so that Create's refusal of
// unallocatable sizes can be tested in the sanitizer build too.
#if defined(__SANITIZE_ADDRESS__)
extern "C" __attribute__((used)) const char* __asan_default_options() {
  return "allocator_may_return_null=1";
}
#endif

namespace {

TEST(VideoBufferTest, CreateRefusesSidesBelowTwoAndSizesThatCannotBeHeld) {
  constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
  struct {
    std::int32_t width, height;
    int result;
  } const cases[] = {
      {2, 2, 0},
      {1, 100, -1},
      {100, 1, -1},
      {0, 0, -1},
      {-4, 10, -1},
      {kMax, kMax, -1},        // bytes beyond any address space: refused by arithmetic
      {1 << 30, 1 << 30, -1},  // 4 EiB: refused by the allocator
  };
  for (const auto& c : cases) {
    VideoBuffer b;
    ASSERT_EQ(b.Create(8, 8), 0);
    EXPECT_EQ(b.Create(c.width, c.height), c.result) << c.width << " x " << c.height;
    EXPECT_EQ(b.HasStorage(), c.result == 0);
    if (c.result != 0) {
      EXPECT_EQ(b.width, 0);
      EXPECT_EQ(b.height, 0);
      EXPECT_EQ(b.pixels, nullptr);
      EXPECT_EQ(b.ByteCount(), 0u);
    }
  }
}

TEST(VideoBufferTest, DescriptorIsTheBmpInformationHeader) {
  VideoBuffer b;
  ASSERT_EQ(b.Create(5, 3), 0);
  const BitmapInfoHeader& d = *b.descriptor;
  EXPECT_EQ(d.size, 40u);
  EXPECT_EQ(d.width, 5);
  EXPECT_EQ(d.height, 3);
  EXPECT_EQ(d.planes, 1);
  EXPECT_EQ(d.bitCount, 32);
  EXPECT_EQ(d.compression, 0u);
  EXPECT_EQ(d.sizeImage, 60u);
  EXPECT_EQ(b.ByteCount(), 60u);
}

TEST(VideoBufferTest, PixelsAreStoredBottomUpAsBlueGreenRedAlpha) {
  VideoBuffer b;
  ASSERT_EQ(b.Create(3, 4), 0);
  b.SetPixel(0, 0, 0x80112233);  // alpha 0x80, blue 0x11, green 0x22, red 0x33
  b.SetPixel(2, 3, 0x01020304);  // bottom-right
  b.SetPixel(1, 0, 0xFFFFFFFF);
  const std::uint8_t* top = b.pixels + (4 - 1) * 3 * 4;  // last row in memory
  EXPECT_EQ(top[0], 0x11);
  EXPECT_EQ(top[1], 0x22);
  EXPECT_EQ(top[2], 0x33);
  EXPECT_EQ(top[3], 0x80);
  const std::uint8_t* bottomRight = b.pixels + 2 * 4;  // first row in memory
  EXPECT_EQ(bottomRight[0], 0x02);
  EXPECT_EQ(bottomRight[1], 0x03);
  EXPECT_EQ(bottomRight[2], 0x04);
  EXPECT_EQ(bottomRight[3], 0x01);
  EXPECT_EQ(b.GetPixel(0, 0), 0x80112233u);
  EXPECT_EQ(b.GetPixel(2, 3), 0x01020304u);
  EXPECT_EQ(b.GetPixel(1, 1), 0u);  // fresh pixels are zero
}

TEST(VideoBufferTest, FillDropsAlphaAndKeepsColour) {
  VideoBuffer b;
  ASSERT_EQ(b.Create(4, 2), 0);
  b.Fill(0x8000FFFF);  // yellow with alpha 0x80
  for (int y = 0; y < 2; ++y) {
    for (int x = 0; x < 4; ++x) {
      EXPECT_EQ(b.GetPixel(x, y), 0x0000FFFFu);
      const std::uint8_t* p = b.pixels + (y * 4 + x) * 4;
      EXPECT_EQ(p[0], 0x00);
      EXPECT_EQ(p[1], 0xFF);
      EXPECT_EQ(p[2], 0xFF);
      EXPECT_EQ(p[3], 0x00);
    }
  }
}

TEST(VideoBufferTest, AccessOutsideThePictureOrOnAnEmptyBufferIsHarmless) {
  VideoBuffer b;
  EXPECT_EQ(b.GetPixel(0, 0), 0u);
  b.SetPixel(0, 0, 0xFFFFFFFF);
  b.Fill(0xFFFFFFFF);
  ASSERT_EQ(b.Create(4, 3), 0);
  b.Fill(0x00123456);
  const int outside[][2] = {{-1, 0}, {4, 0}, {0, 3}, {0, -1}, {-100000, 7}, {1 << 30, 1 << 30}};
  for (const auto& p : outside) {
    EXPECT_EQ(b.GetPixel(p[0], p[1]), 0u) << p[0] << "," << p[1];
    b.SetPixel(p[0], p[1], 0xFFFFFFFF);
  }
  for (int y = 0; y < 3; ++y) {
    for (int x = 0; x < 4; ++x) EXPECT_EQ(b.GetPixel(x, y), 0x00123456u);
  }
}

TEST(VideoBufferTest, CreateAgainDiscardsTheOldContent) {
  VideoBuffer b;
  ASSERT_EQ(b.Create(3, 3), 0);
  b.Fill(0xFFFFFF);
  ASSERT_EQ(b.Create(3, 3), 0);
  EXPECT_EQ(b.GetPixel(1, 1), 0u);
  b.Release();
  b.Release();
  EXPECT_FALSE(b.HasStorage());
}

}  // namespace
