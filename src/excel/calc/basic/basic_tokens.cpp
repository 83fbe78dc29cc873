#include "excel/calc/basic/basic_tokens.h"

#include "text/ascii.h"

namespace excel::calc {
namespace {

bool StartsWord(char c) {
  const char lower = text::LowerAscii(c);
  return (lower >= 'a' && lower <= 'z') || c == '_' || static_cast<unsigned char>(c) >= 0x80;
}

bool InWord(char c) {
  return StartsWord(c) || (c >= '0' && c <= '9');
}

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// The end of the line break at `at`, or `at` when there is none.
std::size_t LineBreakEnd(std::string_view source, std::size_t at) {
  if (at < source.size() && source[at] == '\r')
    return at + 1 < source.size() && source[at + 1] == '\n' ? at + 2 : at + 1;
  return at < source.size() && source[at] == '\n' ? at + 1 : at;
}

std::size_t LineEnd(std::string_view source, std::size_t at) {
  const std::size_t end = source.find_first_of("\r\n", at);
  return end == std::string_view::npos ? source.size() : end;
}

// Whether a statement starts at the next token: at the start of a line or
// after a colon, spaces aside.
bool AtStatementStart(const std::vector<BasicToken>& tokens, std::string_view source) {
  for (auto token = tokens.rbegin(); token != tokens.rend(); ++token) {
    if (token->kind == BasicTokenKind::Space) continue;
    if (token->kind == BasicTokenKind::LineEnd) return true;
    return token->kind == BasicTokenKind::Symbol && source[token->begin] == ':';
  }
  return true;
}

}  // namespace

std::vector<BasicToken> TokenizeBasic(std::string_view source) {
  std::vector<BasicToken> tokens;
  std::size_t at = 0;
  while (at < source.size()) {
    const char c = source[at];
    BasicTokenKind kind = BasicTokenKind::Symbol;
    std::size_t end = at + 1;
    if (const std::size_t lineBreak = LineBreakEnd(source, at); lineBreak != at) {
      kind = BasicTokenKind::LineEnd;
      end = lineBreak;
    } else if (c == ' ' || c == '\t') {
      kind = BasicTokenKind::Space;
      while (end < source.size() && (source[end] == ' ' || source[end] == '\t'))
        ++end;
      // " _" at the end of a line continues the statement on the next.
      std::size_t after = end;
      if (after < source.size() && source[after] == '_') {
        ++after;
        while (after < source.size() && (source[after] == ' ' || source[after] == '\t'))
          ++after;
        const std::size_t next = LineBreakEnd(source, after);
        if (next != after || after == source.size()) end = next;
      }
    } else if (c == '"') {
      kind = BasicTokenKind::Text;
      const std::size_t stop = LineEnd(source, at);
      while (end < stop) {
        if (source[end++] != '"') continue;
        if (end < stop && source[end] == '"') {
          ++end;  // a doubled quote
          continue;
        }
        break;
      }
    } else if (c == '\'') {
      kind = BasicTokenKind::Comment;
      end = LineEnd(source, at);
    } else if (StartsWord(c)) {
      kind = BasicTokenKind::Word;
      while (end < source.size() && InWord(source[end]))
        ++end;
      if (text::EqualsNoCase(source.substr(at, end - at), "rem") &&
          AtStatementStart(tokens, source)) {
        kind = BasicTokenKind::Comment;
        end = LineEnd(source, at);
      }
    } else if (IsDigit(c) || (c == '&' && at + 1 < source.size() &&
                              (text::LowerAscii(source[at + 1]) == 'h' ||
                               text::LowerAscii(source[at + 1]) == 'o'))) {
      kind = BasicTokenKind::Number;
      while (end < source.size() &&
             (InWord(source[end]) || source[end] == '.' || source[end] == '#'))
        ++end;
    }
    tokens.push_back(BasicToken{kind, at, end});
    at = end;
  }
  return tokens;
}

bool UsesWord(std::string_view source, std::string_view word) {
  for (const BasicToken& token : TokenizeBasic(source)) {
    if (token.kind == BasicTokenKind::Word && text::EqualsNoCase(TokenText(source, token), word))
      return true;
  }
  return false;
}

}  // namespace excel::calc
