#include "differences/formula_names.h"

namespace refhost {

using excel::calc::IsFormulaNameChar;
using excel::calc::QuotedEnd;

std::string Upper(std::string_view text) {
  std::string upper(text);
  for (char& c : upper) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return upper;
}

std::optional<std::string> UnknownFunctionName(std::string_view name,
                                               const std::set<std::string>& functions,
                                               const std::set<std::string>& procedures) {
  std::string upper = Upper(name);
  // The office writes an add-in function it knows by its service's name.
  if (upper.rfind("COM.SUN.STAR.", 0) == 0) return std::nullopt;
  bool prefixed = false, userDefined = false;
  for (const char* prefix : {"_XLFN._XLWS.", "_XLFN.", "_XLWS.", "_XLUDF.", "_XLL."}) {
    if (upper.rfind(prefix, 0) != 0) continue;
    prefixed = true;
    userDefined = std::string_view(prefix) == "_XLUDF.";
    name.remove_prefix(std::string_view(prefix).size());
    upper.erase(0, std::string_view(prefix).size());
    break;
  }
  // A name the office did not resolve as one of its functions keeps the
  // file's prefix or comes out in small letters; its own come out in
  // capitals, without the prefix.
  if (userDefined || !prefixed) {
    if (procedures.count(upper) != 0) return std::nullopt;
    if (!userDefined && functions.count(std::string(name)) != 0) return std::nullopt;
  }
  return upper;
}

std::string DecodedFileUrl(std::string_view url) {
  if (url.substr(0, 7) == "file://") url.remove_prefix(7);
  const auto hex = [](char c) {
    return c >= '0' && c <= '9'   ? c - '0'
           : c >= 'a' && c <= 'f' ? c - 'a' + 10
           : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                  : -1;
  };
  std::string out;
  for (std::size_t i = 0; i < url.size(); ++i) {
    if (url[i] == '%' && i + 2 < url.size() && hex(url[i + 1]) >= 0 && hex(url[i + 2]) >= 0) {
      out += static_cast<char>(hex(url[i + 1]) * 16 + hex(url[i + 2]));
      i += 2;
    } else {
      out += url[i];
    }
  }
  return out;
}

namespace {

// A quoted name from `at` (at the opening quote; a doubled quote is one):
// the text and the position after the closing quote.
std::pair<std::string, std::size_t> Quoted(std::string_view text, std::size_t at) {
  std::string name;
  std::size_t i = at + 1;
  for (; i < text.size(); ++i) {
    if (text[i] != '\'') {
      name += text[i];
    } else if (i + 1 < text.size() && text[i + 1] == '\'') {
      name += text[++i];
    } else {
      return {name, i + 1};
    }
  }
  return {name, i};
}

}  // namespace

std::vector<FileSheetReference> FileSheetReferencesIn(std::string_view formula) {
  std::vector<FileSheetReference> found;
  for (std::size_t at = formula.find("'file:"); at != std::string_view::npos;
       at = formula.find("'file:", at)) {
    auto [url, after] = Quoted(formula, at);
    at = after;
    if (formula.substr(after, 1) != "#") continue;
    std::size_t sheet = after + 1;
    if (formula.substr(sheet, 1) == "$") ++sheet;
    std::string name;
    if (formula.substr(sheet, 1) == "'") {
      name = Quoted(formula, sheet).first;
    } else {
      const std::size_t end = formula.find_first_of(".:;,)+-*/&=<>^ ", sheet);
      name = std::string(formula.substr(sheet, end == std::string_view::npos ? end : end - sheet));
    }
    found.push_back(FileSheetReference{DecodedFileUrl(url), std::move(name)});
  }
  return found;
}

std::vector<BookReference> BookReferencesIn(std::string_view formula) {
  std::vector<BookReference> found;
  // [n] or [Book.xlsx] before a sheet name; a structured reference
  // (Table1[Column]) follows a name, never starts a reference.
  for (std::size_t i = 0; i < formula.size(); ++i) {
    if (formula[i] == '"') {
      i = QuotedEnd(formula, i) - 1;
      continue;
    }
    if (formula[i] != '[') continue;
    const char before = i == 0 ? '=' : formula[i - 1];
    if (IsFormulaNameChar(before) || before == ']' || before == '[') continue;
    const std::size_t close = formula.find(']', i);
    if (close == std::string_view::npos) continue;
    const std::size_t after = close + 1;
    // [1]Sheet1!A1 or '[1]My sheet'!A1 or [Book.xlsx]Sheet1!A1
    const std::size_t bang = formula.find('!', after);
    const std::size_t stop = formula.find_first_of(",;()+-*/&=<>^ ", after);
    std::string sheet;
    if (before == '\'') {
      const std::size_t quoteBang = formula.find("'!", after);
      if (quoteBang == std::string_view::npos) continue;
      sheet = std::string(formula.substr(after, quoteBang - after));
      for (std::size_t q = sheet.find("''"); q != std::string::npos; q = sheet.find("''", q + 1))
        sheet.erase(q, 1);
    } else if (bang != std::string_view::npos && (stop == std::string_view::npos || bang < stop)) {
      sheet = std::string(formula.substr(after, bang - after));
    } else {
      continue;
    }
    found.push_back({std::string(formula.substr(i + 1, close - i - 1)), std::move(sheet)});
    i = close;
  }
  return found;
}

bool RefersToOtherFile(std::string_view formula) {
  return formula.find("'file:") != std::string_view::npos || !BookReferencesIn(formula).empty();
}

}  // namespace refhost
