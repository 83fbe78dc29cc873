#include "check/vba_notes.h"

#include <cctype>
#include <regex>

#include "differences/formula_names.h"

namespace refhost {
namespace {

struct Token {
  enum class Kind { kName, kText, kSymbol, kOther };
  Kind kind;
  std::string text;  // a text without its quotes, "" unescaped
  int line;
};
using Statement = std::vector<Token>;

bool IsName(const Token& token, std::string_view name) {
  return token.kind == Token::Kind::kName && Upper(token.text) == Upper(name);
}
bool IsSymbol(const Token& token, std::string_view symbol) {
  return token.kind == Token::Kind::kSymbol && token.text == symbol;
}

// Basic source as statements of tokens: comments (' and Rem) left out,
// lines joined at " _", statements split at line ends and at ":".
class Lexer {
 public:
  explicit Lexer(std::string_view source) : source_(source) {}

  std::vector<Statement> Statements() {
    while (i_ < source_.size()) {
      const char c = source_[i_];
      if (c == '\r' || c == '\n') {
        LineEnd();
      } else if (c == ' ' || c == '\t') {
        ++i_;
      } else if (c == '\'') {
        SkipComment();
      } else if (c == '"') {
        ReadText();
      } else if (std::isalpha(static_cast<unsigned char>(c)) != 0) {
        ReadName();
      } else if (c == ':' && (i_ + 1 >= source_.size() || source_[i_ + 1] != '=')) {
        ++i_;
        End();
      } else {
        const bool named = c == ':';  // := of a named argument
        current_.push_back({std::isdigit(static_cast<unsigned char>(c)) != 0 ? Token::Kind::kOther
                                                                             : Token::Kind::kSymbol,
                            named ? ":=" : std::string(1, c), line_});
        i_ += named ? 2 : 1;
      }
    }
    End();
    return std::move(statements_);
  }

 private:
  void End() {
    if (!current_.empty()) statements_.push_back(std::move(current_));
    current_.clear();
  }
  void LineEnd() {
    if (source_[i_] == '\r' && i_ + 1 < source_.size() && source_[i_ + 1] == '\n') ++i_;
    ++i_;
    ++line_;
    if (!current_.empty() && IsSymbol(current_.back(), "_"))
      current_.pop_back();  // continued on the next line
    else
      End();
  }
  // A comment runs to the line's end, and on over lines that end in " _".
  void SkipComment() {
    while (true) {
      std::size_t end = source_.find_first_of("\r\n", i_);
      if (end == std::string_view::npos) end = source_.size();
      std::string_view text = source_.substr(i_, end - i_);
      while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
      i_ = end;
      const bool continued = text.size() >= 2 && text.back() == '_' &&
                             (text[text.size() - 2] == ' ' || text[text.size() - 2] == '\t');
      if (!continued || i_ >= source_.size()) return;
      if (source_[i_] == '\r' && i_ + 1 < source_.size() && source_[i_ + 1] == '\n') ++i_;
      ++i_;
      ++line_;
    }
  }
  void ReadText() {
    std::string text;
    for (++i_; i_ < source_.size() && source_[i_] != '\r' && source_[i_] != '\n'; ++i_) {
      if (source_[i_] == '"') {
        if (i_ + 1 < source_.size() && source_[i_ + 1] == '"') {
          text += '"';
          ++i_;
          continue;
        }
        ++i_;
        break;
      }
      text += source_[i_];
    }
    current_.push_back({Token::Kind::kText, std::move(text), line_});
  }
  void ReadName() {
    const std::size_t start = i_;
    while (i_ < source_.size() &&
           (std::isalnum(static_cast<unsigned char>(source_[i_])) != 0 || source_[i_] == '_'))
      ++i_;
    std::string name(source_.substr(start, i_ - start));
    if (current_.empty() && Upper(name) == "REM" &&
        (i_ >= source_.size() || source_[i_] == ' ' || source_[i_] == '\t' || source_[i_] == '\r' ||
         source_[i_] == '\n')) {
      SkipComment();
      return;
    }
    current_.push_back({Token::Kind::kName, std::move(name), line_});
  }

  std::string_view source_;
  std::size_t i_ = 0;
  int line_ = 1;
  Statement current_;
  std::vector<Statement> statements_;
};

bool IsCell(const std::string& text) {
  static const std::regex cell(R"(\$?[A-Za-z]{1,3}\$?\d+)");
  return std::regex_match(text, cell);
}

std::string Plain(std::string address) {
  if (const std::size_t bang = address.rfind('!'); bang != std::string::npos)
    address.erase(0, bang + 1);
  std::string out;
  for (const char c : address)
    if (c != '$' && c != ' ') out += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

// Whether Range's addresses take more than one cell: "A2:C7", "A:A",
// "1:3", "A1,B2", or two corners that differ. A name tells nothing.
bool SeveralCells(const std::vector<std::string>& addresses) {
  if (addresses.size() == 2)
    return IsCell(Plain(addresses[0])) && IsCell(Plain(addresses[1])) &&
           Plain(addresses[0]) != Plain(addresses[1]);
  const std::string address = Plain(addresses[0]);
  if (address.find(',') != std::string::npos) return true;
  const std::size_t colon = address.find(':');
  if (colon == std::string::npos) return false;
  const std::string from = address.substr(0, colon), to = address.substr(colon + 1);
  static const std::regex line(R"([A-Z]{1,3}|\d+)");
  if (IsCell(from) && IsCell(to)) return from != to;
  return std::regex_match(from, line) && std::regex_match(to, line);
}

// Whether a formula written in the source has a relative reference: A1,
// $A1, A$1 (A1 style); RC[-1], R[1]C2, RC (R1C1 style).
bool HasRelativeReference(std::string formula, bool r1c1) {
  formula = std::regex_replace(formula, std::regex("\"[^\"]*\""), "\"\"");
  static const std::regex a1(R"((^|[^A-Za-z0-9_.$])(\$?)[A-Za-z]{1,3}(\$?)\d+(?![A-Za-z0-9_(]))");
  static const std::regex rc(
      R"((^|[^A-Za-z0-9_.])[Rr](\[-?\d+\]|\d*)[Cc](\[-?\d+\]|\d*)(?![A-Za-z0-9_(]))");
  const std::regex& pattern = r1c1 ? rc : a1;
  for (auto it = std::sregex_iterator(formula.begin(), formula.end(), pattern);
       it != std::sregex_iterator(); ++it) {
    const std::smatch& m = *it;
    if (r1c1) {
      const auto plain = [](const std::string& part) {
        return !part.empty() && part.front() != '[';
      };
      if (!plain(m[2].str()) || !plain(m[3].str())) return true;
    } else if (m[2].length() == 0 || m[3].length() == 0) {
      return true;
    }
  }
  return false;
}

// Range("...") or Range("...", "...") at `at`: its addresses, and `at`
// moved past its closing parenthesis.
bool ReadRange(const Statement& s, std::size_t& at, std::vector<std::string>& addresses) {
  const auto is = [&](std::size_t k, std::string_view symbol) {
    return k < s.size() && IsSymbol(s[k], symbol);
  };
  const auto text = [&](std::size_t k) { return k < s.size() && s[k].kind == Token::Kind::kText; };
  if (!IsName(s[at], "Range") || !is(at + 1, "(") || !text(at + 2)) return false;
  addresses = {s[at + 2].text};
  if (is(at + 3, ")")) {
    at += 4;
    return true;
  }
  if (is(at + 3, ",") && text(at + 4) && is(at + 5, ")")) {
    addresses.push_back(s[at + 4].text);
    at += 6;
    return true;
  }
  return false;
}

// Tokens [from, to) are an object's chain: names, dots and argument lists
// (Worksheets("X"), ThisWorkbook.Sheets(1)), ending in a dot if any.
bool IsChain(const Statement& s, std::size_t from, std::size_t to) {
  int depth = 0;
  for (std::size_t k = from; k < to; ++k) {
    if (IsSymbol(s[k], "(")) ++depth;
    if (IsSymbol(s[k], ")") && --depth < 0) return false;
    if (depth == 0 && !IsSymbol(s[k], ")") && !IsSymbol(s[k], ".") &&
        s[k].kind != Token::Kind::kName)
      return false;
  }
  return depth == 0 && (from == to || IsSymbol(s[to - 1], "."));
}

// A range a statement's object is: its addresses and the line they are on.
struct RangeAt {
  std::vector<std::string> addresses;  // empty: no range whose address is known
  int line = 0;
};

// The range of `With <chain>.Range("...")`.
RangeAt WithRange(const Statement& s) {
  std::size_t at = 1;
  while (at < s.size() && !IsName(s[at], "Range"))
    ++at;
  std::vector<std::string> addresses;
  if (at < s.size() && IsChain(s, 1, at) && ReadRange(s, at, addresses) && at == s.size())
    return {addresses, s[1].line};
  return {};
}

// The range whose property a statement sets, and `at` on the dot before the
// property: <chain>.Range("...").Formula = ..., or .Formula = ... inside a
// With of a range.
RangeAt AssignedRange(const Statement& s, const std::vector<RangeAt>& withs, std::size_t& at) {
  // The object starts after a single-line If's Then or Else.
  std::size_t start = 0;
  for (std::size_t k = 0; k < s.size(); ++k)
    if (IsName(s[k], "Then") || IsName(s[k], "Else")) start = k + 1;
  at = start;
  while (at < s.size() && !IsName(s[at], "Range"))
    ++at;
  if (at < s.size() && IsChain(s, start, at)) {
    RangeAt range{{}, s[at].line};
    if (!ReadRange(s, at, range.addresses) || at >= s.size() || !IsSymbol(s[at], ".")) return {};
    return range;
  }
  at = start;
  if (start < s.size() && IsSymbol(s[start], ".") && !withs.empty()) return withs.back();
  return {};
}

// Dialogs called by a name the office has no procedure of (VBA.MsgBox,
// Interaction.MsgBox, Application.InputBox): the macro fails there, where
// the unqualified MsgBox and InputBox are answered in a run.
void AddDialogNotes(const std::string& module, const Statement& s, std::vector<VbaNote>& notes) {
  static const std::pair<std::string_view, std::string_view> kCalls[] = {
      {"VBA", "MsgBox"}, {"Interaction", "MsgBox"}, {"Application", "InputBox"}};
  for (std::size_t k = 0; k + 2 < s.size(); ++k) {
    if (!IsSymbol(s[k + 1], ".") || (k > 0 && IsSymbol(s[k - 1], "."))) continue;
    for (const auto& [owner, dialog] : kCalls) {
      if (!IsName(s[k], owner) || !IsName(s[k + 2], dialog)) continue;
      const std::string written = s[k].text + "." + s[k + 2].text;
      notes.push_back({module, s[k].line, "vba-dialog-call",
                       written + " fails in Calc, which has no " + std::string(dialog) +
                           " of that name; call " + std::string(dialog) +
                           " unqualified, which a run answers"});
    }
  }
}

}  // namespace

std::vector<VbaNote> FindVbaNotes(const std::string& module, std::string_view source) {
  std::vector<VbaNote> notes;
  std::vector<RangeAt> withs;
  for (const Statement& s : Lexer(source).Statements()) {
    AddDialogNotes(module, s, notes);
    if (IsName(s[0], "With")) {
      withs.push_back(WithRange(s));
      continue;
    }
    if (s.size() >= 2 && IsName(s[0], "End") && IsName(s[1], "With")) {
      if (!withs.empty()) withs.pop_back();
      continue;
    }
    std::size_t at = 0;
    const RangeAt range = AssignedRange(s, withs, at);
    if (range.addresses.empty() || at + 2 >= s.size() || !IsSymbol(s[at + 2], "=")) continue;
    // Calc moves an R1C1 formula's references with each cell already.
    if ((!IsName(s[at + 1], "Formula") && !IsName(s[at + 1], "FormulaLocal")) ||
        !SeveralCells(range.addresses))
      continue;
    const bool literal = at + 4 == s.size() && s[at + 3].kind == Token::Kind::kText;
    if (literal && !HasRelativeReference(s[at + 3].text, false)) continue;
    std::string written = "Range(\"" + range.addresses[0] + "\"";
    if (range.addresses.size() == 2) written += ", \"" + range.addresses[1] + "\"";
    written += ")." + s[at + 1].text;
    notes.push_back({module, range.line, "vba-range-formula",
                     written +
                         " gives several cells one formula: Excel moves its relative references "
                         "with each cell, where Calc gave every cell the same formula; the driver "
                         "gives each cell its own relative references when the macro runs"});
  }
  return notes;
}

}  // namespace refhost
