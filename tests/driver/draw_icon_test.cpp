// The icon stretched over the host's drawing surface by area averaging.
#include "driver/draw_icon.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

constexpr std::uint32_t kRed = 0xFFFF0000;
constexpr std::uint32_t kBlue = 0xFF0000FF;

std::uint32_t Channel(std::uint32_t pixel, int shift) {
  return (pixel >> shift) & 0xFF;
}

// The exact area average of `source` over target pixel (x, y), rounded.
std::uint32_t ReferencePixel(const std::vector<std::uint32_t>& source, int sw, int sh, int tw,
                             int th, int x, int y) {
  double sums[3] = {0, 0, 0};
  const double x0 = double(x) * sw / tw, x1 = double(x + 1) * sw / tw;
  const double y0 = double(y) * sh / th, y1 = double(y + 1) * sh / th;
  for (int j = 0; j < sh; ++j) {
    const double wy = std::max(0.0, std::min(y1, j + 1.0) - std::max(y0, double(j)));
    for (int i = 0; i < sw; ++i) {
      const double wx = std::max(0.0, std::min(x1, i + 1.0) - std::max(x0, double(i)));
      const std::uint32_t p = source[j * sw + i];
      for (int c = 0; c < 3; ++c)
        sums[c] += wx * wy * Channel(p, 16 - 8 * c);
    }
  }
  const double area = (x1 - x0) * (y1 - y0);
  std::uint32_t pixel = 0xFF000000;
  for (int c = 0; c < 3; ++c) {
    pixel |= static_cast<std::uint32_t>(sums[c] / area + 0.5) << (16 - 8 * c);
  }
  return pixel;
}

TEST(DrawIconTest, StretchesByAreaAveragingToAnySize) {
  const auto& icon = driver::IconPixels();
  const std::vector<std::uint32_t> source(icon.begin(), icon.end());
  const std::pair<int, int> sizes[] = {{32, 32}, {64, 64}, {16, 16}, {1, 1},
                                       {33, 7},  {5, 90},  {48, 20}};
  for (const auto& [width, height] : sizes) {
    SCOPED_TRACE(std::to_string(width) + "x" + std::to_string(height));
    std::vector<std::uint32_t> target(static_cast<std::size_t>(width * height), 0);
    ExtDrawSurface surface{width, height, width * 4, target.data()};
    EXPECT_EQ(driver::DrawIcon(nullptr, &surface), 1);
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) {
        const std::uint32_t expected = ReferencePixel(source, 32, 32, width, height, x, y);
        const std::uint32_t actual = target[y * width + x];
        for (int shift : {0, 8, 16}) {
          // Integer weights against the floating reference: rounding may
          // differ by one at most.
          const int diff = int(Channel(actual, shift)) - int(Channel(expected, shift));
          ASSERT_LE(std::abs(diff), 1) << x << "," << y;
        }
        ASSERT_EQ(actual >> 24, 0xFFu);
      }
    }
    if (width == 32 && height == 32) {
      EXPECT_EQ(target, source);
    }
  }
}

TEST(DrawIconTest, AveragesNeighboursExactly) {
  // Left half red, right half blue, two pixels wide, onto one and three.
  const std::uint32_t source[] = {kRed, kBlue};
  std::uint32_t one = 0;
  driver::StretchAreaAverage(source, 2, 1, &one, 1, 1, 4);
  EXPECT_EQ(one, 0xFF800080u);  // 127.5 rounds up
  std::uint32_t three[3] = {};
  driver::StretchAreaAverage(source, 2, 1, three, 3, 1, 12);
  EXPECT_EQ(three[0], kRed);
  EXPECT_EQ(three[1], 0xFF800080u);
  EXPECT_EQ(three[2], kBlue);
}

TEST(DrawIconTest, PaintsOnlyTheSurfacesRowsAndLeavesBadSurfacesAlone) {
  // Rows padded to 7 pixels plus 2 bytes: the padding is never written, and
  // the unaligned rows are fine.
  const int width = 5, height = 4, stride = 7 * 4 + 2;
  std::vector<unsigned char> bytes(static_cast<std::size_t>(stride * height + 1), 0xEE);
  ExtDrawSurface surface{width, height, stride, reinterpret_cast<std::uint32_t*>(bytes.data() + 1)};
  EXPECT_EQ(driver::DrawIcon(nullptr, &surface), 1);
  for (int y = 0; y < height; ++y) {
    for (int b = width * 4; b < stride; ++b)
      ASSERT_EQ(bytes[1 + y * stride + b], 0xEE);
    std::uint32_t pixel = 0;
    std::memcpy(&pixel, bytes.data() + 1 + y * stride, 4);
    EXPECT_EQ(pixel >> 24, 0xFFu);
  }
  EXPECT_EQ(bytes[0], 0xEE);

  std::vector<std::uint32_t> pixels(16, 0x12345678);
  const ExtDrawSurface bad[] = {
      {0, 4, 16, pixels.data()},          {4, 0, 16, pixels.data()},  {-1, 4, 16, pixels.data()},
      {4, 4, 12, pixels.data()},          {4, 4, -16, pixels.data()}, {4, 4, 16, nullptr},
      {100000, 1, 400000, pixels.data()},
  };
  for (ExtDrawSurface surfaceCase : bad) {
    EXPECT_EQ(driver::DrawIcon(nullptr, &surfaceCase), 1);
    for (const std::uint32_t pixel : pixels)
      ASSERT_EQ(pixel, 0x12345678u);
  }
  EXPECT_EQ(driver::DrawIcon(nullptr, nullptr), 1);
}

}  // namespace
