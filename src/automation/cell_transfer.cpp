#include "automation/cell_transfer.h"

#include <cfloat>
#include <charconv>
#include <cmath>
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

// Selects a named worksheet. The session's words give way to the shorter
// message the host expects, unless the office has ended.
outcome::Error Select(CExcExcelObj& session, const std::string& worksheet) {
  outcome::Error selection = session.SelectWorksheet(worksheet);
  if (!selection || WorkbookGone(session)) return selection;
  return Failure("Unable to get worksheet %s", worksheet.c_str());
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
  try {
    return com::VariantToText(value);
  } catch (const com::Error& error) {
    return outcome::Error::Failed(error.ErrorMessage());
  }
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

outcome::Expected<std::string> CellText(CExcExcelObj& session, const std::string& worksheet,
                                        const std::string& cell) {
  // A column:row pair outside the sheet names no cell: a failure, never an
  // empty success.
  const std::string address = CellAddress(cell);
  if (address.empty()) {
    return com::Failure(com::DISP_E_BADINDEX, InvalidReferenceMessage(worksheet, cell));
  }
  try {
    return CellValueText(session.GetCellValue(address), worksheet, address);
  } catch (const com::Error& error) {
    return outcome::Error::Failed(error.ErrorMessage());
  }
}

outcome::Expected<std::string> ReadCellText(CExcExcelObj* session, const std::string& worksheet,
                                            const std::string& cell) {
  if (session == nullptr) return outcome::Error::Failed(kNoConnectionMessage);
  if (!worksheet.empty()) {
    if (outcome::Error selection = Select(*session, worksheet)) return selection;
  }
  if (text::IsBlank(cell)) return std::string();
  outcome::Expected<std::string> read = CellText(*session, worksheet, cell);
  if (read) return read;
  // The application's words stay out of the host's message, unless the
  // office has ended: no retry mends that.
  const outcome::Error why = read.TakeError();
  return Failure("Could not get %s.Cell[%s]%s", worksheet.c_str(), cell.c_str(),
                 WordsIfWorkbookGone(*session, why.Message()).c_str());
}

outcome::Expected<double> ReadCellDouble(CExcExcelObj* session, const std::string& worksheet,
                                         const std::string& cell) {
  outcome::Expected<std::string> text = ReadCellText(session, worksheet, cell);
  if (!text) return text.TakeError();
  const std::optional<double> number = text::ParseWholeNumber(*text);
  if (!number) {
    const std::string address = CellAddress(cell);
    return Failure("%s%s", kGettingDataFailed,
                   NotANumberMessage(worksheet, address.empty() ? cell : address, *text).c_str());
  }
  return *number;
}

outcome::Expected<double> ReadCellNumber(CExcExcelObj* session, const std::string& worksheet,
                                         const std::string& cell, std::string_view sheetName) {
  using outcome::Error;
  if (session == nullptr) return Error::Failed(kNoConnectionMessage);
  if (!text::IsBlank(worksheet)) {
    if (Error selection = Select(*session, worksheet)) return selection;
  }
  if (text::IsBlank(cell)) return values::kUndefinedValue;
  try {
    return CellNumber(session->GetCellValue(cell), sheetName.empty() ? worksheet : sheetName, cell);
  } catch (const com::Error& error) {
    return Error::Failed(error.ErrorMessage());
  }
}

namespace {

// Whether `magnitude` is the double nearest a decimal of at most 15
// significant digits, found without writing a text: scaled to 15 digits and
// rounded, an exact quotient of two exact doubles gives it back. Then that
// decimal is also its nearest 15-digit one, as a double's rounding interval
// is far narrower than their gaps. False leaves the question to the text.
bool IsFifteenDigitDecimal(double magnitude) {
  static constexpr double kTens[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                     1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                     1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
  if (!(magnitude >= 1e-7 && magnitude < 1e15)) return false;
  const int scale = 14 - static_cast<int>(std::floor(std::log10(magnitude)));
  if (scale < 0 || scale > 22) return false;
  const double whole = std::nearbyint(magnitude * kTens[scale]);
  // A scale one too large (log10 rounded up) would allow 16 digits.
  return whole < 1e15 && whole / kTens[scale] == magnitude;
}

}  // namespace

std::optional<double> NumberThroughText(double value) {
  if (value == 0) return 0.0;  // -0 shows as "0"
  const double magnitude = std::fabs(value);
  if (magnitude < 1e15 && value == std::trunc(value)) return value;  // 15 digits at most
  if (IsFifteenDigitDecimal(magnitude)) return value;
  char buffer[40];
  // A normal double's rounding interval is far narrower than the gaps
  // between 15-digit decimals, so when its shortest text has at most 15
  // digits, that text is also its 15-digit rounding: the value comes back.
  if (magnitude >= DBL_MIN && magnitude <= DBL_MAX) {
    const char* end =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific).ptr;
    int digits = 0;
    for (const char* c = buffer; c != end && *c != 'e'; ++c)
      digits += *c >= '0' && *c <= '9';
    if (digits <= 15) return value;
  }
  // The text itself, read back as the cell's text is read (the letter's
  // case aside); a text out of range goes the text's own way.
  const char* end =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 15).ptr;
  double number = 0;
  const std::from_chars_result read = std::from_chars(buffer, end, number);
  if (read.ec == std::errc() && read.ptr == end) return number;
  return text::ParseWholeNumber(com::FormatDouble(value));
}

outcome::Expected<double> CellNumber(const com::Variant& value, std::string_view sheetName,
                                     const std::string& cell) {
  if (value.vt == com::VT_R8 && std::isfinite(value.dblVal)) {
    if (const std::optional<double> number = NumberThroughText(value.dblVal)) return *number;
  }
  outcome::Expected<std::string> text = CellValueText(value, sheetName, cell);
  if (!text) return text.TakeError();
  if (text::IsBlank(*text)) return values::kUndefinedValue;
  const std::optional<double> number = text::ParseWholeNumber(*text);
  if (!number) return outcome::Error::Failed(NotANumberMessage(sheetName, cell, *text));
  return *number;
}

outcome::Error WriteCellText(CExcExcelObj* session, const std::string& worksheet,
                             const std::string& cell, const std::string& text) {
  if (session == nullptr) return outcome::Error::Failed(kNoConnectionMessage);
  if (!worksheet.empty()) {
    if (outcome::Error selection = Select(*session, worksheet)) return selection;
  }
  std::string suffix;
  try {
    const std::string address = CellAddress(cell);
    // A pair outside the sheet, or no worksheet selected: nothing is
    // written, which is a failure too.
    if (!address.empty() && session->SetCellValue(address, com::Variant::Text(text)) == 0) {
      return outcome::Error::Success();
    }
  } catch (const com::Error& error) {
    suffix = WordsIfWorkbookGone(*session, error.ErrorMessage());
  }
  return Failure("Error in setting data cell %s, worksheet %s%s", cell.c_str(), worksheet.c_str(),
                 suffix.c_str());
}

}  // namespace automation
