// The two words every archive starts with.
#pragma once

#include <cstdint>

#include "archive/archive.h"

namespace archive {

inline constexpr std::uint32_t kSignatureFirst = 1;
inline constexpr std::uint32_t kSignatureSecond = 0x385FD21A;

// Loading: anything but the two words is a format error (recorded in the
// archive).
void TransferSignature(Archive& archive);

}  // namespace archive
