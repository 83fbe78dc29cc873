#include "automation/cell_address.h"

#include <cctype>
#include <climits>
#include <cstdio>
#include <cstdlib>

#include "text/ascii.h"
#include "text/number.h"

namespace automation {
namespace {

constexpr std::size_t kMaxPartLength = 7;

// As atol, saturating instead of overflowing.
long ParseInteger(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i])))
    ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  long value = 0;
  for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
    if (value < LONG_MAX / 10) value = value * 10 + (text[i] - '0');
  }
  return negative ? -value : value;
}

bool IsLetter(char c) {
  return std::isalpha(static_cast<unsigned char>(c)) != 0;
}

bool IsDigit(char c) {
  return std::isdigit(static_cast<unsigned char>(c)) != 0;
}

// "3:7" with blanks around either number.
bool IsPair(std::string_view cell) {
  const std::size_t colon = cell.find(':');
  if (colon == std::string_view::npos) return false;
  auto number = [](std::string_view part) {
    while (!part.empty() && part.front() == ' ')
      part.remove_prefix(1);
    while (!part.empty() && part.back() == ' ')
      part.remove_suffix(1);
    if (part.empty() || part.size() > 9) return false;
    for (const char c : part) {
      if (!IsDigit(c)) return false;
    }
    return true;
  };
  return number(cell.substr(0, colon)) && number(cell.substr(colon + 1)) &&
         !CellAddress(cell).empty();
}

// Where the row of a text that starts like an address begins ("$B$5": 3);
// 0 when it does not start with one to three letters and a digit.
std::size_t LettersThenDigit(std::string_view cell) {
  std::size_t i = cell.empty() || cell.front() != '$' ? 0 : 1;
  const std::size_t first = i;
  while (i < cell.size() && IsLetter(cell[i]))
    ++i;
  if (i == first || i - first > 3) return 0;
  if (i < cell.size() && cell[i] == '$') ++i;
  return i < cell.size() && IsDigit(cell[i]) ? i : 0;
}

bool IsA1(std::string_view cell) {
  const std::size_t digits = LettersThenDigit(cell);
  if (digits == 0) return false;
  long long column = 0;
  for (const char c : cell.substr(0, digits)) {
    if (IsLetter(c)) column = column * 26 + (std::toupper(static_cast<unsigned char>(c)) - 'A' + 1);
  }
  const std::string_view row = cell.substr(digits);
  if (row.size() > 7) return false;
  for (const char c : row) {
    if (!IsDigit(c)) return false;
  }
  const long number = ParseInteger(row);
  return column <= 16384 && number >= 1 && number <= 1048576;
}

bool IsName(std::string_view cell) {
  if (cell.empty() || !(IsLetter(cell.front()) || cell.front() == '_')) return false;
  for (const char c : cell) {
    if (!(IsLetter(c) || IsDigit(c) || c == '_' || c == '.')) return false;
  }
  return LettersThenDigit(cell) == 0;
}

}  // namespace

bool IsCellReference(std::string_view cell) {
  return IsA1(cell) || IsPair(cell) || IsName(cell);
}

std::string CellAddress(std::string_view cell) {
  const std::size_t colon = cell.find(':');
  if (colon == std::string_view::npos || colon + 1 == cell.size()) return std::string(cell);

  const long column = ParseInteger(cell.substr(0, colon));
  std::string_view rowText = cell.substr(colon + 1);
  rowText = rowText.substr(0, rowText.find(':'));
  const long row = ParseInteger(rowText);
  if (column < 1 || column > kMaxPairColumn || row < 1 || row > INT_MAX) return {};

  std::string address;
  if (column <= 26) {
    address += static_cast<char>('A' + column - 1);
  } else {
    address += static_cast<char>('A' + (column - 27) / 26);
    address += static_cast<char>('A' + (column - 27) % 26);
  }
  return address + std::to_string(row);
}

std::string OffsetCell(std::string_view address, int count, bool byRow) {
  return TryOffsetCell(address, count, byRow).value_or(std::string());
}

std::optional<std::string> TryOffsetCell(std::string_view address, int count, bool byRow) {
  std::string column;
  std::string rowDigits;
  for (const char c : address) {
    if (std::isdigit(static_cast<unsigned char>(c))) {
      rowDigits += c;
    } else if (rowDigits.empty() && std::isalpha(static_cast<unsigned char>(c))) {
      column += c;
    }
  }
  if (column.size() > kMaxPartLength || rowDigits.size() > kMaxPartLength) return std::nullopt;
  if (column.empty() || rowDigits.empty()) return std::string();
  const long row = std::strtol(rowDigits.c_str(), nullptr, 10);
  if (row == 0) return std::string();

  if (byRow) return column + std::to_string(row + count);

  for (char& c : column)
    c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (count <= 0) return column + std::to_string(row);

  // The column as a base-26 numeral without zero (A = 1, Z = 26, AA = 27);
  // seven letters and an int count stay far inside 64 bits.
  long long number = 0;
  for (const char c : column)
    number = number * 26 + (c - 'A' + 1);
  number += count;
  std::string stepped;
  for (; number > 0; number = (number - 1) / 26) {
    stepped.insert(stepped.begin(), static_cast<char>('A' + (number - 1) % 26));
  }
  return stepped + std::to_string(row);
}

}  // namespace automation
