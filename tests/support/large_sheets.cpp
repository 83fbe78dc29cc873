#include "support/large_sheets.h"

#include <string>

#include "support/xlsx_writer.h"

namespace test_support {
namespace {

// The number in a row's column (of nine).
double ValueAt(std::size_t row, int column) {
  return static_cast<double>((row * 7919 + static_cast<std::size_t>(column) * 104729) % 1000003) /
         8;
}

// One row of the sheet: nine numbers and their sum, as a formula.
void AppendXlsxRow(std::string& xml, std::size_t row, bool indented) {
  const std::string r = std::to_string(row);
  const char* line = indented ? "\n    " : "";
  const char* inner = indented ? "\n      " : "";
  xml += std::string(indented ? "\n  " : "") + "<row r=\"" + r + "\">";
  double sum = 0;
  for (int column = 0; column < 9; ++column) {
    const double value = ValueAt(row, column);
    sum += value;
    xml += line + std::string("<c r=\"") + static_cast<char>('A' + column) + r + "\" s=\"1\">" +
           inner + "<v>" + std::to_string(value) + "</v>" + line + "</c>";
  }
  xml += line + std::string("<c r=\"J") + r + "\">" + inner + "<f>SUM(A" + r + ":I" + r + ")</f>" +
         inner + "<v>" + std::to_string(sum) + "</v>" + line + "</c>";
  xml += std::string(indented ? "\n  " : "") + "</row>";
}

void AppendFodsRow(std::string& xml, std::size_t row, bool indented) {
  const std::string r = std::to_string(row);
  const char* line = indented ? "\n     " : "";
  xml += std::string(indented ? "\n    " : "") + "<table:table-row>";
  double sum = 0;
  for (int column = 0; column < 9; ++column) {
    const double value = ValueAt(row, column);
    sum += value;
    xml += line + std::string("<table:table-cell office:value-type=\"float\" office:value=\"") +
           std::to_string(value) + "\"/>";
  }
  xml += line + std::string("<table:table-cell table:formula=\"of:=SUM([.A") + r + ":.I" + r +
         "])\" office:value-type=\"float\" office:value=\"" + std::to_string(sum) + "\"/>";
  xml += std::string(indented ? "\n    " : "") + "</table:table-row>";
}

}  // namespace

std::size_t WriteLargeXlsx(const std::filesystem::path& file, const LargeSheet& sheet) {
  std::vector<std::pair<std::string, std::string>> parts = XlsxParts({{"Data", {}}});
  std::string xml =
      "<worksheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\"><sheetData>";
  std::size_t rows = 0;
  while (xml.size() < sheet.xmlBytes)
    AppendXlsxRow(xml, ++rows, sheet.indented);
  xml += "</sheetData></worksheet>";
  for (auto& [name, content] : parts)
    if (name == "xl/worksheets/sheet1.xml") content = std::move(xml);
  WriteFile(file, ZipBytes(parts, true, 1));
  return rows;
}

std::size_t WriteLargeFods(const std::filesystem::path& file, const LargeSheet& sheet) {
  std::string xml =
      "<?xml version=\"1.0\"?>\n<office:document "
      "xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\" "
      "xmlns:table=\"urn:oasis:names:tc:opendocument:xmlns:table:1.0\"><office:body>"
      "<office:spreadsheet><table:table table:name=\"Data\">";
  std::size_t rows = 0;
  while (xml.size() < sheet.xmlBytes)
    AppendFodsRow(xml, ++rows, sheet.indented);
  xml += "</table:table></office:spreadsheet></office:body></office:document>";
  WriteFile(file, xml);
  return rows;
}

}  // namespace test_support
