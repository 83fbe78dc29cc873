#include "excel/calc/packages/file_filters.h"

#include "text/ascii.h"

namespace excel::calc {
namespace {

using text::LowerAscii;

std::string LowerExtension(std::string_view path) {
  const std::size_t slash = path.find_last_of("/\\");
  const std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
  const std::size_t dot = name.rfind('.');
  if (dot == std::string_view::npos) return {};
  std::string extension(name.substr(dot + 1));
  for (char& c : extension)
    c = LowerAscii(c);
  return extension;
}

}  // namespace

std::optional<std::string> SaveFilterForPath(std::string_view path) {
  const std::string extension = LowerExtension(path);
  if (extension == "xlsx") return "Calc MS Excel 2007 XML";
  if (extension == "xlsm") return "Calc MS Excel 2007 VBA XML";
  if (extension == "xls") return "MS Excel 97";
  if (extension == "ods") return "calc8";
  if (extension == "fods") return "OpenDocument Spreadsheet Flat XML";
  if (extension == "csv") return "Text - txt - csv (StarCalc)";
  return std::nullopt;
}

std::optional<ImportFilter> ImportFilterForPath(std::string_view path) {
  // Comma separated, double quotes around texts, UTF-8, from line 1, column
  // types detected, numbers read the en-US way, as a spreadsheet opens them.
  if (LowerExtension(path) == "csv")
    return ImportFilter{"Text - txt - csv (StarCalc)", "44,34,76,1,,1033,false,true"};
  return std::nullopt;
}

}  // namespace excel::calc
