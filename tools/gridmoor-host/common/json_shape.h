// The shape of JSON text, read before a JSON library builds it: how deeply
// it nests (the library's parser, copies and destructor recurse per level,
// so a deep document would exhaust the stack) and whether an object repeats
// a key (the library keeps the last one silently).
#pragma once

#include <cstddef>
#include <string>

namespace refhost {

// Deeper than any scenario or case (about six levels) will ever need.
inline constexpr std::size_t kJsonDepthLimit = 64;

struct JsonShape {
  std::string tooDeep;    // the first place that nests deeper than the limit
  std::string duplicate;  // the first key an object gives twice, both places
};

// Walks `text` without recursion. Malformed text is walked as far as it
// makes sense; the parser says what is wrong with it.
JsonShape ReadJsonShape(const std::string& text);

// "line L, column C" of byte `byte` of `text`, both counted from 1.
std::string TextPosition(const std::string& text, std::size_t byte);

}  // namespace refhost
