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

}  // namespace

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
