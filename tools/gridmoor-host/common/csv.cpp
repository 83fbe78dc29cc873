#include "common/csv.h"

#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "common/undefined_value.h"
#include "text/number.h"

namespace refhost {

outcome::Expected<std::vector<CsvRow>> ParseCsv(const std::string& text) {
  std::vector<CsvRow> rows;
  CsvRow row;
  std::string field;
  bool quoted = false, fieldStarted = false;
  std::size_t line = 1, quoteLine = 0;
  const auto endRow = [&] {
    if (fieldStarted || !row.empty() || !field.empty()) {
      row.push_back(field);
      rows.push_back(row);
    }
    row.clear();
    field.clear();
    fieldStarted = false;
  };
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (quoted) {
      if (c == '"') {
        if (i + 1 < text.size() && text[i + 1] == '"') {
          field += '"';
          ++i;
        } else {
          quoted = false;
        }
      } else {
        if (c == '\n') ++line;
        field += c;
      }
    } else if (c == '"') {
      quoted = true;
      fieldStarted = true;
      quoteLine = line;
    } else if (c == ',') {
      row.push_back(field);
      field.clear();
      fieldStarted = true;
    } else if (c == '\n') {
      endRow();
      ++line;
    } else if (c == '\r' && (i + 1 == text.size() || text[i + 1] == '\n')) {
      // Line ends written by another system.
    } else {
      field += c;
      fieldStarted = true;
    }
  }
  if (quoted)
    return outcome::Error::Failed("unterminated quote starting on line " +
                                  std::to_string(quoteLine));
  endRow();
  return rows;
}

std::string NeutralisedText(const std::string& text) {
  if (text.empty()) return text;
  const bool formulaLike = std::string_view("=+-@").find(text[0]) != std::string_view::npos &&
                           !text::ParseWholeNumber(text);
  return formulaLike || text[0] == '\'' ? "'" + text : text;
}

std::string CsvField(const std::string& raw) {
  const std::string text = NeutralisedText(raw);
  if (text.find_first_of(",\"\n\r") == std::string::npos) return text;
  std::string out = "\"";
  for (const char c : text) {
    if (c == '"') out += '"';
    out += c;
  }
  return out + "\"";
}

std::string CsvLine(const CsvRow& fields) {
  std::string line;
  for (std::size_t i = 0; i < fields.size(); ++i) {
    if (i > 0) line += ',';
    line += CsvField(fields[i]);
  }
  return line + "\n";
}

std::string JoinLines(const std::string& text) {
  std::string out;
  bool pendingBreak = false;
  for (const char c : text) {
    if (c == '\n' || c == '\r') {
      while (!out.empty() && (out.back() == ' ' || out.back() == '\t'))
        out.pop_back();
      pendingBreak = !out.empty();
      continue;
    }
    if (pendingBreak) {
      if (c == ' ' || c == '\t') continue;
      out += ' ';
      pendingBreak = false;
    }
    out += c;
  }
  return out;
}

std::string FormatNumber(double value) {
  if (IsUndefined(value)) return "";
  char text[40];
  std::snprintf(text, sizeof text, "%.17g", value);
  // The shortest form that reads back to the same double.
  for (int precision = 6; precision < 17; ++precision) {
    char shorter[40];
    std::snprintf(shorter, sizeof shorter, "%.*g", precision, value);
    if (text::ParseDouble(shorter) == value) return shorter;
  }
  return text;
}

std::string ReadableNumber(double value) {
  if (IsUndefined(value)) return "-";
  char text[40];
  std::snprintf(text, sizeof text, "%.6g", value);
  return text;
}

}  // namespace refhost
