// BSTR allocation for hosts and for the driver: a 32-bit byte count, the
// UTF-16 characters, then a 16-bit NUL. The BSTR addresses the characters.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "gridmoor/oleauto.h"

namespace {

constexpr std::size_t kPrefixBytes = sizeof(std::uint32_t);
// The byte count of the characters must fit the 32-bit prefix.
constexpr std::uint32_t kMaxLength =
    (UINT32_MAX - kPrefixBytes - sizeof(GmOlechar)) / sizeof(GmOlechar);

char* BlockOf(GmBstr text) {
  return reinterpret_cast<char*>(text) - kPrefixBytes;
}

}  // namespace

GmBstr GmSysAllocStringLen(const GmOlechar* text, uint32_t length) {
  if (length > kMaxLength) return nullptr;
  const std::uint32_t bytes = length * static_cast<std::uint32_t>(sizeof(GmOlechar));
  auto* block = static_cast<char*>(std::malloc(kPrefixBytes + bytes + sizeof(GmOlechar)));
  if (block == nullptr) return nullptr;
  std::memcpy(block, &bytes, kPrefixBytes);
  auto* characters = reinterpret_cast<GmOlechar*>(block + kPrefixBytes);
  if (text != nullptr) {
    if (bytes > 0) std::memcpy(characters, text, bytes);
  } else {
    std::memset(characters, 0, bytes);
  }
  characters[length] = 0;
  return characters;
}

GmBstr GmSysAllocString(const GmOlechar* text) {
  if (text == nullptr) return nullptr;
  std::size_t length = 0;
  while (text[length] != 0)
    ++length;
  if (length > kMaxLength) return nullptr;
  return GmSysAllocStringLen(text, static_cast<uint32_t>(length));
}

void GmSysFreeString(GmBstr text) {
  if (text != nullptr) std::free(BlockOf(text));
}

uint32_t GmSysStringByteLen(GmBstr text) {
  if (text == nullptr) return 0;
  std::uint32_t bytes;
  std::memcpy(&bytes, BlockOf(text), kPrefixBytes);
  return bytes;
}

uint32_t GmSysStringLen(GmBstr text) {
  return GmSysStringByteLen(text) / sizeof(GmOlechar);
}
