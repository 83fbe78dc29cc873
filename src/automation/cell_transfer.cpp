#include "automation/cell_transfer.h"

#include <optional>

#include "automation/cell_address.h"
#include "com/bstr.h"
#include "com/error.h"
#include "com/variant_text.h"
#include "host/message.h"
#include "text/ascii.h"
#include "text/number.h"
#include "text/utf8.h"

namespace automation {
namespace {

std::string CellText(const com::Variant& value) {
  if (value.vt == VT_BSTR) return com::BstrToUtf8(value.bstrVal);
  return com::VariantToText(value);
}

// Selects a named worksheet; the session's own message is replaced by the
// shorter one the host expects.
bool Select(CExcExcelObj& session, const std::string& worksheet, Message message) {
  if (session.SelectWorksheet(worksheet, message) == 0) return true;
  host::PrintMessage(message.data(), message.size(), "Unable to get worksheet %s",
                     worksheet.c_str());
  return false;
}

// Enough of a cell's text to recognise it by; the status field is short.
constexpr std::size_t kShownTextBytes = 40;

}  // namespace

std::string NotANumberMessage(std::string_view worksheet, std::string_view cell,
                              std::string_view text) {
  const std::string place = std::string(worksheet) + "!" + std::string(cell);
  if (text.empty()) {
    return host::FormatString("Type mismatch. %s is empty", place.c_str());
  }
  std::string shown(text.substr(0, text::Utf8PrefixLength(text, kShownTextBytes)));
  if (shown.size() < text.size()) shown += "...";
  return host::FormatString("Type mismatch. %s holds \"%s\", not a number", place.c_str(),
                            shown.c_str());
}

int ReadCellText(CExcExcelObj* session, const std::string& worksheet, const std::string& cell,
                 std::string& text, Message message) {
  text.clear();
  if (session == nullptr) {
    host::PrintMessage(message.data(), message.size(), "%s", kNoConnectionMessage);
    return 1;
  }
  if (!worksheet.empty() && !Select(*session, worksheet, message)) return 1;
  const std::string address = CellAddress(cell);
  if (text::IsBlank(cell)) return 0;
  try {
    // A column:row pair outside the sheet names no cell: a failure, never an
    // empty success.
    if (address.empty()) com::Throw(com::DISP_E_BADINDEX);
    text = CellText(session->GetCellValue(address));
    return 0;
  } catch (const com::Error&) {
    text.clear();
    host::PrintMessage(message.data(), message.size(), "Could not get %s.Cell[%s]",
                       worksheet.c_str(), cell.c_str());
    return 1;
  }
}

int ReadCellDouble(CExcExcelObj* session, const std::string& worksheet, const std::string& cell,
                   double& value, Message message) {
  value = EXT_UNDEFINED_VALUE;
  std::string text;
  if (ReadCellText(session, worksheet, cell, text, message) != 0) return 1;
  const std::optional<double> number = text::ParseWholeNumber(text);
  if (!number) {
    const std::string address = CellAddress(cell);
    host::PrintMessage(
        message.data(), message.size(), "%s%s", kGettingDataFailed,
        NotANumberMessage(worksheet, address.empty() ? cell : address, text).c_str());
    return 1;
  }
  value = *number;
  return 0;
}

double ReadCellNumber(CExcExcelObj* session, const std::string& worksheet, const std::string& cell,
                      std::string_view sheetName) {
  if (session == nullptr) throw CellReadError(kNoConnectionMessage);
  if (!text::IsBlank(worksheet)) {
    char scratch[260] = {};
    if (session->SelectWorksheet(worksheet, scratch) != 0) {
      throw CellReadError(host::FormatString("Unable to get worksheet %s", worksheet.c_str()));
    }
  }
  if (text::IsBlank(cell)) return EXT_UNDEFINED_VALUE;
  const std::string text = CellText(session->GetCellValue(cell));
  if (text::IsBlank(text)) return EXT_UNDEFINED_VALUE;
  const std::optional<double> number = text::ParseWholeNumber(text);
  if (!number) {
    throw CellReadError(NotANumberMessage(sheetName.empty() ? worksheet : sheetName, cell, text));
  }
  return *number;
}

int WriteCellText(CExcExcelObj* session, const std::string& worksheet, const std::string& cell,
                  const std::string& text, Message message) {
  if (session == nullptr) {
    host::PrintMessage(message.data(), message.size(), "%s", kNoConnectionMessage);
    return 1;
  }
  if (!worksheet.empty() && !Select(*session, worksheet, message)) return 1;
  try {
    const std::string address = CellAddress(cell);
    if (address.empty()) com::Throw(com::DISP_E_BADINDEX);
    // With no worksheet selected nothing is written: that is a failure too.
    if (session->SetCellValue(address, com::Variant::Text(text)) != 0) com::Throw(com::E_POINTER);
    return 0;
  } catch (const com::Error&) {
    host::PrintMessage(message.data(), message.size(),
                       "Error in setting data cell %s, worksheet %s", cell.c_str(),
                       worksheet.c_str());
    return 1;
  }
}

}  // namespace automation
