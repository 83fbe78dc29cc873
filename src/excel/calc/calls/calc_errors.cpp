#include "excel/calc/calls/calc_errors.h"

#include "excel/errors.h"
#include "text/ascii.h"

namespace excel::calc {
namespace {

using text::EqualsNoCase;

}  // namespace

com::SCODE ExcelErrorFromCalc(std::int32_t calcError) {
  switch (calcError) {
    case 521:  // no code / empty intersection
      return kErrNull;
    case 532:
      return kErrDiv0;
    case 524:  // invalid reference
      return kErrRef;
    case 525:  // unknown name
    case 527:  // add-in missing
    case 528:  // macro missing
      return kErrName;
    case 502:  // invalid argument (SQRT(-1), LN(0))
    case 503:  // invalid floating point operation
    case 523:  // no convergence
      return kErrNum;
    case 32767:
      return kErrNA;
    default:
      return kErrValue;
  }
}

std::string CalcErrorName(std::int32_t calcError) {
  struct Meaning {
    std::int32_t code;
    const char* text;
  };
  // Calc's own codes without a spreadsheet error value of their kind.
  static constexpr Meaning kMeanings[] = {
      {501, "invalid character"},
      {504, "error in a function's parameter list"},
      {505, "internal syntax error"},
      {506, "invalid semicolon"},
      {507, "a pair is missing"},
      {508, "a bracket is missing"},
      {509, "an operator is missing"},
      {510, "a variable is missing"},
      {511, "a variable is missing"},
      {512, "formula overflow"},
      {513, "text overflow"},
      {514, "internal overflow"},
      {515, "internal syntax error"},
      {516, "internal syntax error"},
      {517, "internal syntax error"},
      {518, "internal syntax error"},
      {520, "internal syntax error"},
      {522, "circular reference"},
      {526, "internal syntax error"},
      {530, "nested arrays are not supported"},
      {538, "array or matrix too large"},
      {539, "inline array content not supported"},
      {540, "external content disabled"},
  };
  switch (calcError) {
    case 502:
    case 503:
    case 519:
    case 521:
    case 523:
    case 524:
    case 525:
    case 527:
    case 528:
    case 532:
    case 32767:
      return ErrorFormula(ExcelErrorFromCalc(calcError))->substr(1);
    default:
      break;
  }
  std::string name = "Err:" + std::to_string(calcError);
  for (const Meaning& meaning : kMeanings)
    if (meaning.code == calcError) return name + " " + meaning.text;
  return name;
}

std::optional<std::string> ErrorFormula(com::SCODE code) {
  switch (static_cast<std::uint32_t>(code)) {
    case 0x800A07D0u:
      return "=#NULL!";
    case 0x800A07D7u:
      return "=#DIV/0!";
    case 0x800A07DFu:
      return "=#VALUE!";
    case 0x800A07E7u:
      return "=#REF!";
    case 0x800A07EDu:
      return "=#NAME?";
    case 0x800A07F4u:
      return "=#NUM!";
    case 0x800A07FAu:
      return "=#N/A";
    default:
      return std::nullopt;
  }
}

std::optional<com::SCODE> ErrorValueNamed(std::u16string_view text) {
  for (const ErrorValueNaming& named : kErrorValueNames) {
    if (EqualsNoCase(text, std::u16string(named.name.begin(), named.name.end()))) return named.code;
  }
  return std::nullopt;
}

namespace {

bool IsWordChar(char16_t c) {
  return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9') ||
         c == u'_' || c == u'.';
}

// A text or a quoted sheet name from formula[i], kept as written (a doubled
// quote stays inside); i moves past it.
void CopyQuoted(std::u16string_view formula, std::size_t& i, std::u16string& out) {
  const char16_t quote = formula[i];
  const std::size_t start = i++;
  while (i < formula.size()) {
    if (formula[i] == quote) {
      if (i + 1 < formula.size() && formula[i + 1] == quote) {
        i += 2;
        continue;
      }
      ++i;
      break;
    }
    ++i;
  }
  out.append(formula.substr(start, i - start));
}

// An error literal at formula[i] as an expression that gives that error;
// any other '#' as it is. i moves past what was read.
void ReplaceErrorLiteral(std::u16string_view formula, std::size_t& i, std::u16string& out) {
  struct Replacement {
    const char16_t* literal;
    const char16_t* expression;
  };
  static constexpr Replacement kErrors[] = {
      {u"#N/A", u"NA()"},      {u"#DIV/0!", u"(1/0)"},          {u"#VALUE!", u"(\"a\"*1)"},
      {u"#NUM!", u"SQRT(-1)"}, {u"#REF!", u"INDIRECT(\"A0\")"},
  };
  for (const Replacement& error : kErrors) {
    const std::u16string_view literal(error.literal);
    if (EqualsNoCase(formula.substr(i, literal.size()), literal)) {
      out += error.expression;
      i += literal.size();
      return;
    }
  }
  out += formula[i++];
}

// The word at formula[i]; TRUE and FALSE as constants get "()" so that the
// parser reads them as its functions. i moves past the word.
void CopyWord(std::u16string_view formula, std::size_t& i, std::u16string& out) {
  const std::size_t start = i;
  while (i < formula.size() && IsWordChar(formula[i]))
    ++i;
  const std::u16string_view word = formula.substr(start, i - start);
  out.append(word);
  const char16_t before = start > 0 ? formula[start - 1] : u' ';
  std::size_t next = i;
  while (next < formula.size() && formula[next] == u' ')
    ++next;
  const char16_t after = next < formula.size() ? formula[next] : u' ';
  // A constant, not a function call, a sheet name or part of a reference.
  if ((EqualsNoCase(word, u"TRUE") || EqualsNoCase(word, u"FALSE")) && after != u'(' &&
      after != u'!' && after != u':' && before != u'!' && before != u':' && before != u'$')
    out += u"()";
}

}  // namespace

std::u16string SpreadsheetFormulaForParser(std::u16string_view formula) {
  std::u16string out;
  out.reserve(formula.size() + 8);
  std::size_t i = 0;
  while (i < formula.size()) {
    const char16_t c = formula[i];
    if (c == u'"' || c == u'\'') {
      CopyQuoted(formula, i, out);
    } else if (c == u'#') {
      ReplaceErrorLiteral(formula, i, out);
    } else if (IsWordChar(c)) {
      CopyWord(formula, i, out);
    } else {
      out += formula[i++];
    }
  }
  return out;
}

bool IsFormulaSyntaxError(std::int32_t calcError) {
  switch (calcError) {
    case 501:  // invalid character
    case 507:  // missing pair
    case 508:  // missing bracket
    case 509:  // missing operator
    case 510:  // missing variable
    case 511:  // missing variable
    case 512:  // formula overflow
    case 513:  // string overflow
    case 514:  // internal overflow
    case 516:  // internal syntax error
    case 517:  // internal syntax error
    case 518:  // internal syntax error
    case 520:  // internal syntax error
      return true;
    default:
      return false;
  }
}

}  // namespace excel::calc
