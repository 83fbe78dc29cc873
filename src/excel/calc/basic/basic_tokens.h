// Basic source cut into tokens, so that the driver's rewrites of a module
// touch code alone: never a string literal, a comment or a Rem line. Kept
// free of UNO so that it is unit tested alone.
#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

namespace excel::calc {

enum class BasicTokenKind {
  Word,     // a name or keyword: letters (any non-ASCII byte counts as one), digits, _
  Number,   // digits, with what follows them (1.5e3, &HFF, 10#)
  Text,     // a string literal, quotes included; "" inside it is one quote
  Comment,  // ' or a Rem statement, to the end of its line
  Space,    // spaces and tabs, and a line continuation " _" with its line break
  LineEnd,  // \n, \r\n or \r
  Symbol,   // any other character, one each
};

struct BasicToken {
  BasicTokenKind kind;
  std::size_t begin = 0;
  std::size_t end = 0;
};

// The tokens of `source`, covering every byte of it in order.
std::vector<BasicToken> TokenizeBasic(std::string_view source);

// The text of `token` in `source`.
inline std::string_view TokenText(std::string_view source, const BasicToken& token) {
  return source.substr(token.begin, token.end - token.begin);
}

// Whether `word` is used as a name in the code of `source` (any case), not
// only in its texts or comments.
bool UsesWord(std::string_view source, std::string_view word);

}  // namespace excel::calc
