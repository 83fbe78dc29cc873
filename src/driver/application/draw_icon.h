// The driver's icon (host code 7): a compiled-in picture stretched over the
// host's drawing surface by area averaging.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "gridmoor/host.h"

namespace driver {

inline constexpr int kIconSize = 32;

// The icon's pixels row by row, top row first, as 0xAARRGGBB (opaque).
const std::array<std::uint32_t, kIconSize * kIconSize>& IconPixels();

// Paints `source` (sourceWidth x sourceHeight, rows packed) over the whole
// target: each target pixel is the average of the source area it covers,
// every source pixel weighted by how much of it lies inside. The alpha of
// the result is opaque. Rows of the target start `targetStride` bytes apart;
// pixels are copied byte-wise, so the target need not be aligned.
void StretchAreaAverage(const std::uint32_t* source, int sourceWidth, int sourceHeight,
                        void* target, int targetWidth, int targetHeight, std::size_t targetStride);

// The largest surface side painted; larger surfaces are left untouched.
inline constexpr int kMaxSurfaceSide = 16384;

// Paints the icon over the whole surface. A null or malformed surface
// (non-positive size, a row stride shorter than the row, no pixels, a side
// above kMaxSurfaceSide) is left alone. Returns 1 either way.
std::int32_t DrawIcon(ExtWindow window, ExtDrawSurface* surface);

}  // namespace driver
