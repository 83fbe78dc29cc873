#include "automation/cell_transfer.h"

#include <cstring>
#include <optional>

#include "automation/cell_address.h"
#include "com/error.h"
#include "com/variants/bstr.h"
#include "com/variants/variant_text.h"
#include "excel/errors.h"
#include "text/ascii.h"
#include "text/message_format.h"
#include "text/number.h"
#include "text/utf8.h"

namespace automation {
namespace {

// Selects a named worksheet; the session's own message is replaced by the
// shorter one the host expects.
bool Select(CExcExcelObj& session, const std::string& worksheet, Message message,
            std::string* reason = nullptr) {
  if (PrintFailure(session.SelectWorksheet(worksheet), message) == 0) return true;
  if (reason != nullptr && !message.empty())
    *reason = std::string(message.data(), strnlen(message.data(), message.size()));
  text::PrintMessage(message.data(), message.size(), "Unable to get worksheet %s",
                     worksheet.c_str());
  return false;
}

// Enough of a cell's text to recognise it by; the status field is short.
constexpr std::size_t kShownTextBytes = 40;

std::string InvalidReferenceMessage(const std::string& worksheet, const std::string& cell) {
  const std::string sheet = worksheet.empty() ? std::string() : " on sheet " + worksheet;
  return text::FormatString("Invalid cell reference \"%s\"%s: outside the sheet", cell.c_str(),
                            sheet.c_str());
}

}  // namespace

outcome::Expected<std::string> CellValueText(const com::Variant& value, std::string_view worksheet,
                                             std::string_view cell) {
  if (value.vt == com::VT_BSTR) return com::BstrToUtf8(value.bstrVal);
  if (value.vt == com::VT_ERROR) {
    const std::string place =
        worksheet.empty() ? std::string(cell) : std::string(worksheet) + "!" + std::string(cell);
    const std::string_view name = excel::ErrorValueName(value.scode);
    return com::Failure(
        com::DISP_E_TYPEMISMATCH,
        text::FormatString("Type mismatch. %s holds the error value %s, not a number",
                           place.c_str(), name.empty() ? "#VALUE!" : std::string(name).c_str()));
  }
  return com::VariantToText(value);
}

std::string NotANumberMessage(std::string_view worksheet, std::string_view cell,
                              std::string_view text) {
  const std::string place = std::string(worksheet) + "!" + std::string(cell);
  if (text.empty()) {
    return text::FormatString("Type mismatch. %s is empty", place.c_str());
  }
  std::string shown(text.substr(0, text::Utf8PrefixLength(text, kShownTextBytes)));
  if (shown.size() < text.size()) shown += "...";
  return text::FormatString("Type mismatch. %s holds \"%s\", not a number", place.c_str(),
                            shown.c_str());
}

namespace {

// ": <why>" when `error` is the office gone: a message in the command's own
// terms must still say that the office ended, which no retry mends.
std::string OfficeEndedSuffix(const com::Error& error) {
  if (error.hr() != com::RPC_E_DISCONNECTED) return {};
  return ": " + error.ErrorMessage();
}

// The cell's text; the application's refusal arrives as com::Error.
outcome::Expected<std::string> CellText(CExcExcelObj& session, const std::string& worksheet,
                                        const std::string& cell, const std::string& address) {
  // A column:row pair outside the sheet names no cell: a failure, never an
  // empty success.
  if (address.empty()) {
    return com::Failure(com::DISP_E_BADINDEX, InvalidReferenceMessage(worksheet, cell));
  }
  return CellValueText(session.GetCellValue(address), worksheet, address);
}

}  // namespace

int ReadCellText(CExcExcelObj* session, const std::string& worksheet, const std::string& cell,
                 std::string& text, Message message, std::string* reason) {
  text.clear();
  if (session == nullptr) {
    text::PrintMessage(message.data(), message.size(), "%s", kNoConnectionMessage);
    return 1;
  }
  if (!worksheet.empty() && !Select(*session, worksheet, message, reason)) return 1;
  const std::string address = CellAddress(cell);
  if (text::IsBlank(cell)) return 0;
  std::string why;
  std::string suffix;
  try {
    outcome::Expected<std::string> read = CellText(*session, worksheet, cell, address);
    if (read) {
      text = std::move(*read);
      return 0;
    }
    why = read.GetError().Message();
  } catch (const com::Error& error) {
    why = error.ErrorMessage();
    suffix = OfficeEndedSuffix(error);
  }
  if (reason != nullptr) *reason = why;
  text::PrintMessage(message.data(), message.size(), "Could not get %s.Cell[%s]%s",
                     worksheet.c_str(), cell.c_str(), suffix.c_str());
  return 1;
}

int ReadCellDouble(CExcExcelObj* session, const std::string& worksheet, const std::string& cell,
                   double& value, Message message) {
  value = values::kUndefinedValue;
  std::string text;
  if (ReadCellText(session, worksheet, cell, text, message) != 0) return 1;
  const std::optional<double> number = text::ParseWholeNumber(text);
  if (!number) {
    const std::string address = CellAddress(cell);
    text::PrintMessage(
        message.data(), message.size(), "%s%s", kGettingDataFailed,
        NotANumberMessage(worksheet, address.empty() ? cell : address, text).c_str());
    return 1;
  }
  value = *number;
  return 0;
}

outcome::Expected<double> ReadCellNumber(CExcExcelObj* session, const std::string& worksheet,
                                         const std::string& cell, std::string_view sheetName) {
  using outcome::Error;
  if (session == nullptr) return Error::Failed(kNoConnectionMessage);
  if (!text::IsBlank(worksheet)) {
    if (session->SelectWorksheet(worksheet)) {
      return Error::Failed(text::FormatString("Unable to get worksheet %s", worksheet.c_str()));
    }
  }
  if (text::IsBlank(cell)) return values::kUndefinedValue;
  return CellNumber(session->GetCellValue(cell), sheetName.empty() ? worksheet : sheetName, cell);
}

outcome::Expected<double> CellNumber(const com::Variant& value, std::string_view sheetName,
                                     const std::string& cell) {
  outcome::Expected<std::string> text = CellValueText(value, sheetName, cell);
  if (!text) return text.TakeError();
  if (text::IsBlank(*text)) return values::kUndefinedValue;
  const std::optional<double> number = text::ParseWholeNumber(*text);
  if (!number) return outcome::Error::Failed(NotANumberMessage(sheetName, cell, *text));
  return *number;
}

int WriteCellText(CExcExcelObj* session, const std::string& worksheet, const std::string& cell,
                  const std::string& text, Message message) {
  if (session == nullptr) {
    text::PrintMessage(message.data(), message.size(), "%s", kNoConnectionMessage);
    return 1;
  }
  if (!worksheet.empty() && !Select(*session, worksheet, message)) return 1;
  std::string suffix;
  try {
    const std::string address = CellAddress(cell);
    // A pair outside the sheet, or no worksheet selected: nothing is
    // written, which is a failure too.
    if (!address.empty() && session->SetCellValue(address, com::Variant::Text(text)) == 0) {
      return 0;
    }
  } catch (const com::Error& error) {
    suffix = OfficeEndedSuffix(error);
  }
  text::PrintMessage(message.data(), message.size(),
                     "Error in setting data cell %s, worksheet %s%s", cell.c_str(),
                     worksheet.c_str(), suffix.c_str());
  return 1;
}

}  // namespace automation
