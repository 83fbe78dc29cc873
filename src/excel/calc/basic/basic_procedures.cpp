#include "excel/calc/basic/basic_procedures.h"

#include <algorithm>
#include <cctype>
#include <optional>

#include "text/ascii.h"

namespace excel::calc {
namespace {

using text::EqualsNoCase;

// A byte of a multi-byte character counts as a letter: Basic takes names in
// any script (Módulo1).
bool IsLetter(char c) {
  return std::isalpha(static_cast<unsigned char>(c)) || static_cast<unsigned char>(c) >= 0x80;
}

bool IsIdentifierChar(char c) {
  return IsLetter(c) || std::isdigit(static_cast<unsigned char>(c)) || c == '_';
}

// The next word of a Basic line (letters, digits, underscores).
std::string_view NextWord(std::string_view& line) {
  line = text::Trim(line);
  std::size_t n = 0;
  while (n < line.size() && IsIdentifierChar(line[n]))
    ++n;
  std::string_view word = line.substr(0, n);
  line.remove_prefix(n);
  return word;
}

// The procedure a line of Basic declares, if it declares one.
std::optional<BasicProcedure> DeclaredProcedure(std::string_view line) {
  std::string_view word = NextWord(line);
  // Modifiers that may stand before the declaration.
  while (EqualsNoCase(word, "public") || EqualsNoCase(word, "private") ||
         EqualsNoCase(word, "static") || EqualsNoCase(word, "friend")) {
    word = NextWord(line);
  }
  const bool isSub = EqualsNoCase(word, "sub");
  const bool isFunction = EqualsNoCase(word, "function");
  if (!isSub && !isFunction) return std::nullopt;
  const std::string_view procedure = NextWord(line);
  if (!IsBasicIdentifier(procedure)) return std::nullopt;
  return BasicProcedure{std::string(procedure), isFunction};
}

bool EndsProcedure(std::string_view line) {
  if (!EqualsNoCase(NextWord(line), "end")) return false;
  const std::string_view what = NextWord(line);
  return EqualsNoCase(what, "sub") || EqualsNoCase(what, "function");
}

// Calls `visit(line, procedure)` for every line of `source`, `procedure`
// being the index of the procedure the line belongs to, or -1 outside any.
template <typename Visit>
void ForEachLine(std::string_view source, Visit&& visit) {
  std::size_t start = 0;
  int procedures = 0;
  bool inside = false;
  while (start <= source.size()) {
    std::size_t end = source.find_first_of("\r\n", start);
    if (end == std::string_view::npos) end = source.size();
    const std::string_view line = source.substr(start, end - start);
    // CR LF ends one line.
    start = end + (source.compare(end, 2, "\r\n") == 0 ? 2 : 1);
    if (!inside && DeclaredProcedure(line)) {
      inside = true;
      ++procedures;
    }
    visit(line, inside ? procedures - 1 : -1);
    if (inside && EndsProcedure(line)) inside = false;
  }
}

}  // namespace

bool IsBasicIdentifier(std::string_view text) {
  if (text.empty() || !IsLetter(text.front())) return false;
  return std::all_of(text.begin(), text.end(), IsIdentifierChar);
}

std::vector<BasicProcedure> FindBasicProcedures(std::string_view source) {
  std::vector<BasicProcedure> procedures;
  std::size_t start = 0;
  while (start <= source.size()) {
    std::size_t end = source.find_first_of("\r\n", start);
    if (end == std::string_view::npos) end = source.size();
    const std::string_view line = source.substr(start, end - start);
    start = end + 1;
    if (std::optional<BasicProcedure> procedure = DeclaredProcedure(line))
      procedures.push_back(std::move(*procedure));
  }
  return procedures;
}

std::string SourceWithOnlyProcedure(std::string_view source, std::size_t keep) {
  std::string kept;
  ForEachLine(source, [&](std::string_view line, int procedure) {
    if (procedure < 0 || static_cast<std::size_t>(procedure) == keep) kept += line;
    kept += '\n';
  });
  return kept;
}

}  // namespace excel::calc
