// The icon stretched over the host's drawing surface by area averaging.
#include "driver/draw_icon.h"

#include <gtest/gtest.h>

#include <cstring>
#include <utility>
#include <vector>

namespace {

constexpr std::uint32_t kRed = 0xFFFF0000;
constexpr std::uint32_t kBlue = 0xFF0000FF;
constexpr std::uint32_t kPurple = 0xFF800080;  // their average: 127.5 rounds up

TEST(DrawIconTest, EachTargetPixelAveragesTheSourceAreaItCovers) {
  using Pixels = std::vector<std::uint32_t>;
  const auto stretch = [](const Pixels& source, int sw, int sh, int tw, int th) {
    Pixels target(static_cast<std::size_t>(tw * th), 0);
    driver::StretchAreaAverage(source.data(), sw, sh, target.data(), tw, th,
                               static_cast<std::size_t>(tw) * 4);
    return target;
  };
  EXPECT_EQ(stretch({kRed, kBlue}, 2, 1, 1, 1), Pixels{kPurple});
  EXPECT_EQ(stretch({kRed, kBlue}, 2, 1, 3, 1), (Pixels{kRed, kPurple, kBlue}));
  EXPECT_EQ(stretch({kRed, kBlue}, 1, 2, 1, 3), (Pixels{kRed, kPurple, kBlue})) << "by rows";
  // Thirds: each target pixel covers one source pixel whole and half of the
  // middle one.
  EXPECT_EQ(stretch({kRed, kBlue, kRed}, 3, 1, 2, 1), (Pixels{0xFFAA0055, 0xFFAA0055}));

  // At its own size the icon is copied; at any other it stays opaque.
  const auto& icon = driver::IconPixels();
  for (const auto& [width, height] : {std::pair{32, 32}, {33, 7}, {1, 1}}) {
    Pixels target(static_cast<std::size_t>(width * height), 0);
    ExtDrawSurface surface{width, height, width * 4, target.data()};
    EXPECT_EQ(driver::DrawIcon(nullptr, &surface), 1);
    for (const std::uint32_t pixel : target)
      ASSERT_EQ(pixel >> 24, 0xFFu) << width << "x" << height;
    if (width == 32) {
      EXPECT_EQ(target, Pixels(icon.begin(), icon.end()));
    }
  }
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
