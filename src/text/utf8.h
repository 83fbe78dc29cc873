// Host texts are single-byte UTF-8; automation texts are UTF-16. These
// conversions are lossless both ways: a byte that is not part of a valid UTF-8
// sequence travels as the lone surrogate U+DC00+byte and comes back as that
// byte. A lone surrogate of any other kind becomes U+FFFD.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace text {

std::u16string Utf8ToUtf16(std::string_view utf8);
std::string Utf16ToUtf8(std::u16string_view utf16);

// The longest prefix of `utf8` of at most `maxBytes` bytes that does not end
// inside a multi-byte sequence.
std::size_t Utf8PrefixLength(std::string_view utf8, std::size_t maxBytes);

// Copies `utf8` into dest[0..destSize), cut at a character boundary so that
// the terminator fits; destSize 0 writes nothing. Returns the bytes copied.
std::size_t CopyTerminated(std::string_view utf8, char* dest, std::size_t destSize);

// A valid UTF-8 copy of `utf8` in which every byte that does not start a
// valid sequence, and every character `keep` refuses, is U+FFFD.
std::string ReplaceInvalidUtf8(std::string_view utf8, bool (*keep)(char32_t));

}  // namespace text
