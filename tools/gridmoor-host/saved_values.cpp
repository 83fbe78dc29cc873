#include "saved_values.h"

#include <fstream>
#include <sstream>

#include "zip_package.h"

namespace refhost {

std::string CellName(int row, int column) {
  std::string letters;
  for (int c = column + 1; c > 0; c = (c - 1) / 26)
    letters.insert(letters.begin(), static_cast<char>('A' + (c - 1) % 26));
  return letters + std::to_string(row + 1);
}

bool ReadSavedValues(const std::filesystem::path& file, SavedWorkbook& workbook,
                     std::string& error) {
  std::error_code ec;
  if (!std::filesystem::exists(file, ec)) {
    error = file.string() + " could not be found";
    return false;
  }
  if (std::filesystem::is_directory(file, ec)) {
    error = file.string() + " is a folder, not a workbook";
    return false;
  }
  std::ifstream in(file, std::ios::binary);
  std::ostringstream bytes;
  if (!(in && bytes << in.rdbuf())) {
    error = file.string() + " could not be read";
    return false;
  }
  std::string content = std::move(bytes).str();
  std::string why;
  bool read = false;
  if (content.rfind("PK\x03\x04", 0) == 0 || content.rfind("PK\x05\x06", 0) == 0) {
    ZipPackage package;
    if (!package.Open(content, why)) {
    } else if (package.Has("xl/workbook.xml")) {
      read = ReadXlsxSavedValues(std::move(content), workbook, why);
    } else if (package.Has("content.xml")) {
      std::string xml;
      read = package.Read("content.xml", xml, why) && ReadOdfSavedValues(xml, workbook, why);
    } else {
      why = "a zip package that is neither an .xlsx/.xlsm nor an OpenDocument spreadsheet";
    }
  } else if (content.find("<office:document") != std::string::npos) {
    read = ReadOdfSavedValues(content, workbook, why);
  } else if (content.rfind("\xD0\xCF\x11\xE0", 0) == 0) {
    why = "a binary workbook (.xls): its saved values cannot be read; save it as .xlsx";
  } else {
    why = "not a workbook this check can read (.xlsx, .xlsm, .ods or .fods)";
  }
  if (!read) error = file.filename().string() + ": " + why;
  return read;
}

}  // namespace refhost
