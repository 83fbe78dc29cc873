#include "driver/application/draw_icon.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace driver {
namespace {

// One character per pixel; the legend below gives the colours.
// clang-format off
constexpr const char* kIconArt[kIconSize] = {
    "BBBBBBBBBBBBBBBBBBBBBBBBBBBBBBBB",
    "BBBBBBBBBBBBBBBBBBBBBBBBBBBBBBBB",
    "BBBBBBBBBBBBBBBBBBBBBBBBBBBBBBBB",
    "BBBKKKKKKKKKKKKKKKKKKKKKKKKKKBBB",
    "BBBKHHHHDHHHHHDHHHHHDHHHHHDHKSBB",
    "BBBKHHHHDHHHHHDHHHHHDHHHHHDHKSBB",
    "BBBKHHHHDHHHHHDHHHHHDHHHHHDHKSBB",
    "BBBKHHHHDHHHHHDHHHHHDHHHHHDHKSBB",
    "BBBKHHHHDHHHHHDHHHHHDHHHHHDHKSBB",
    "BBBKGGGGGGGGGGGGGGGGGGGGGGGGKSBB",
    "BBBKhhhhGWWWWWGWWWWWGWWWWWGWKSBB",
    "BBBKhhhhGWWWWWGWWWWWGWWWWWGWKSBB",
    "BBBKhhhhGWWWWWGWWWWWGWWWWWGWKSBB",
    "BBBKhhhhGWWWWWGWWWWWGWWWWWGWKSBB",
    "BBBKGGGGGGGGGGGGGGGGGGGGGGGGKSBB",
    "BBBKhhhhGWWWWWGAAAAAGWWWWWGWKSBB",
    "BBBKhhhhGWWWWWGAAAAAGWWWWWGWKSBB",
    "BBBKhhhhGWWWWWGAAAAAGWWWWWGWKSBB",
    "BBBKhhhhGWWWWWGAAAAAGWWWWWGWKSBB",
    "BBBKGGGGGGGGGGGGGGGGGGGGGGGGKSBB",
    "BBBKhhhhGWWWWWGWWWWWGWWWWWGWKSBB",
    "BBBKhhhhGWWWWWGWWWWWGWWWWWGWKSBB",
    "BBBKhhhhGWWWWWGWWWWWGWWWWWGWKSBB",
    "BBBKhhhhGWWWWWGWWWWWGWWWWWGWKSBB",
    "BBBKGGGGGGGGGGGGGGGGGGGGGGGGKSBB",
    "BBBKhhhhGWWWWWGWWWWWGWWWWWGWKSBB",
    "BBBKhhhhGWWWWWGWWWWWGWWWWWGWKSBB",
    "BBBKhhhhGWWWWWGWWWWWGWWWWWGWKSBB",
    "BBBKKKKKKKKKKKKKKKKKKKKKKKKKKSBB",
    "BBBBSSSSSSSSSSSSSSSSSSSSSSSSSSBB",
    "BBBBBBBBBBBBBBBBBBBBBBBBBBBBBBBB",
    "BBBBBBBBBBBBBBBBBBBBBBBBBBBBBBBB",
};
// clang-format on

constexpr std::uint32_t Colour(char c) {
  switch (c) {
    case 'K':
      return 0xFF2F3B45;  // outline
    case 'W':
      return 0xFFFFFFFF;  // cell
    case 'G':
      return 0xFFC3CAD3;  // grid line
    case 'H':
      return 0xFF2E8B57;  // column header
    case 'D':
      return 0xFF246E45;  // grid line in the header
    case 'h':
      return 0xFFB9E2C8;  // row header
    case 'A':
      return 0xFFF2A23A;  // selected cell
    case 'S':
      return 0xFFB4BCC6;  // shadow
    default:
      return 0xFFE8EEF4;  // background
  }
}

constexpr std::array<std::uint32_t, kIconSize * kIconSize> BuildIcon() {
  std::array<std::uint32_t, kIconSize * kIconSize> pixels{};
  for (int y = 0; y < kIconSize; ++y) {
    for (int x = 0; x < kIconSize; ++x)
      pixels[y * kIconSize + x] = Colour(kIconArt[y][x]);
  }
  return pixels;
}

constexpr std::array<std::uint32_t, kIconSize* kIconSize> kIcon = BuildIcon();

// For one axis: the source pixels under target pixel t and their weights.
// Target pixel t covers [t*S, (t+1)*S) and source pixel i covers
// [i*T, (i+1)*T) in units of 1/(S*T) of the axis, so the weights are exact
// integers summing to S.
struct Span {
  int first = 0;
  std::vector<std::uint64_t> weights;
};

std::vector<Span> AxisSpans(int sourceSize, int targetSize) {
  std::vector<Span> spans(static_cast<std::size_t>(targetSize));
  const std::uint64_t s = static_cast<std::uint64_t>(sourceSize);
  const std::uint64_t t = static_cast<std::uint64_t>(targetSize);
  for (std::uint64_t index = 0; index < t; ++index) {
    const std::uint64_t begin = index * s;
    const std::uint64_t end = begin + s;
    Span& span = spans[index];
    span.first = static_cast<int>(begin / t);
    for (std::uint64_t i = begin / t; i * t < end && i < s; ++i) {
      const std::uint64_t lo = std::max(begin, i * t);
      const std::uint64_t hi = std::min(end, (i + 1) * t);
      span.weights.push_back(hi - lo);
    }
  }
  return spans;
}

}  // namespace

const std::array<std::uint32_t, kIconSize * kIconSize>& IconPixels() {
  return kIcon;
}

void StretchAreaAverage(const std::uint32_t* source, int sourceWidth, int sourceHeight,
                        void* target, int targetWidth, int targetHeight, std::size_t targetStride) {
  if (source == nullptr || target == nullptr || sourceWidth <= 0 || sourceHeight <= 0 ||
      targetWidth <= 0 || targetHeight <= 0) {
    return;
  }
  const std::vector<Span> columns = AxisSpans(sourceWidth, targetWidth);
  const std::vector<Span> rows = AxisSpans(sourceHeight, targetHeight);
  const std::uint64_t total =
      static_cast<std::uint64_t>(sourceWidth) * static_cast<std::uint64_t>(sourceHeight);
  auto* targetBytes = static_cast<unsigned char*>(target);
  for (int y = 0; y < targetHeight; ++y) {
    const Span& row = rows[static_cast<std::size_t>(y)];
    unsigned char* line = targetBytes + static_cast<std::size_t>(y) * targetStride;
    for (int x = 0; x < targetWidth; ++x) {
      const Span& column = columns[static_cast<std::size_t>(x)];
      std::uint64_t red = 0;
      std::uint64_t green = 0;
      std::uint64_t blue = 0;
      for (std::size_t j = 0; j < row.weights.size(); ++j) {
        const std::uint32_t* sourceRow =
            source + static_cast<std::size_t>(row.first + static_cast<int>(j)) *
                         static_cast<std::size_t>(sourceWidth);
        for (std::size_t i = 0; i < column.weights.size(); ++i) {
          const std::uint64_t weight = row.weights[j] * column.weights[i];
          const std::uint32_t pixel = sourceRow[column.first + static_cast<int>(i)];
          red += weight * ((pixel >> 16) & 0xFF);
          green += weight * ((pixel >> 8) & 0xFF);
          blue += weight * (pixel & 0xFF);
        }
      }
      // Rounded to the nearest value.
      const auto channel = [total](std::uint64_t sum) {
        return static_cast<std::uint32_t>((sum + total / 2) / total);
      };
      const std::uint32_t pixel =
          0xFF000000u | (channel(red) << 16) | (channel(green) << 8) | channel(blue);
      std::memcpy(line + static_cast<std::size_t>(x) * sizeof pixel, &pixel, sizeof pixel);
    }
  }
}

std::int32_t DrawIcon(ExtWindow /*window*/, ExtDrawSurface* surface) {
  if (surface == nullptr || surface->pixels == nullptr) return 1;
  const int width = surface->width;
  const int height = surface->height;
  if (width <= 0 || height <= 0 || width > kMaxSurfaceSide || height > kMaxSurfaceSide) return 1;
  if (surface->stride < 0 ||
      static_cast<std::size_t>(surface->stride) < static_cast<std::size_t>(width) * 4) {
    return 1;
  }
  StretchAreaAverage(kIcon.data(), kIconSize, kIconSize, surface->pixels, width, height,
                     static_cast<std::size_t>(surface->stride));
  return 1;
}

}  // namespace driver
