// The values a workbook file carries for its formula cells, as the
// application that last saved it computed them: .xlsx / .xlsm (the cached
// value of each cell in the sheet parts) and OpenDocument (.ods, .fods).
// Read from the file alone, without any spreadsheet application.
#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "excel/recalculation.h"
#include "outcome/outcome.h"

namespace excel::calc {
class ZipPackage;
}

namespace refhost {

struct SavedCell {
  std::string sheet;
  int row = 0;  // 0-based
  int column = 0;
  // As the file writes it, "=" included; a cell of a shared formula has the
  // master's text moved to it, one inside an array "{=...}". Empty where
  // the file gives no text (a shared formula without its master).
  std::string formula;
  bool hasValue = false;  // false: the file carries no value for it
  excel::CellResult value;
};

struct SavedWorkbook {
  std::vector<std::string> sheets;
  std::vector<SavedCell> formulas;
  // The files the workbook's links name (the package's external link
  // parts), by the number its formulas give them: [1] is the first; ""
  // where a link names no file.
  std::vector<std::string> externalLinks;
  // Damage that loses part of the comparison but not all of it (a damaged
  // shared-strings part, a sheet without its relationship, ...): one
  // sentence each, naming the part.
  std::vector<std::string> problems;
};

// The memory a workbook's formula cells may take, texts included. A check
// of the largest workbooks stays well under it (about 200 bytes a cell:
// 2.5 million cells); a small file cannot make a reader exhaust memory by
// repeating cells (repeated rows and columns of an OpenDocument file;
// shared and array formulas and shared strings of an .xlsx).
class FormulaBudget {
 public:
#ifdef FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION
  // Fuzz builds only: the budget is the same code at 16 MB as at 512 MB,
  // and inputs that filled 512 MB held the fuzzer to a few hundred a second.
  static constexpr std::size_t kBytes = std::size_t{16} << 20;
#else
  static constexpr std::size_t kBytes = std::size_t{512} << 20;
#endif
  // Takes `count` cells like `cell`; false, taking nothing, past the budget.
  bool Take(const SavedCell& cell, std::size_t count = 1);
  // The refusal, naming the sheet where the budget ran out.
  static std::string Refusal(const std::string& sheet);

 private:
  std::size_t used_ = 0;
};

// Reads `file`, whatever its extension, by its content: a zip package with
// xl/workbook.xml, one with content.xml, or a flat OpenDocument XML file.
// The error says why its saved values cannot be read; a password-protected
// workbook is said to be one.
outcome::Expected<SavedWorkbook> ReadSavedValues(const std::filesystem::path& file);

// Whether `file` is a binary workbook (.xls): the office reads it, but its
// saved values are out of this check's reach. (A password-protected .xlsx
// comes in the same container, and is not one.)
bool IsBinaryWorkbook(const std::filesystem::path& file);

// The readers by format, from the file's bytes.
outcome::Expected<SavedWorkbook> ReadXlsxSavedValues(std::string bytes);
outcome::Expected<SavedWorkbook> ReadOdfSavedValues(const std::string& contentXml);
// The same from an opened package, and from content XML that comes a chunk
// at a time: `read` passes each chunk to `take` (it may stop passing them
// once `take` returns false), an error when the content cannot be read.
// Either reads parts of any size in the memory their cells take.
outcome::Expected<SavedWorkbook> ReadXlsxSavedValues(const excel::calc::ZipPackage& package);
using XmlChunkSink = std::function<bool(std::string_view chunk)>;
using XmlChunks = std::function<outcome::Error(const XmlChunkSink& take)>;
outcome::Expected<SavedWorkbook> ReadOdfSavedValues(const XmlChunks& read);

// "B7" for row 6, column 1 (0-based).
std::string CellName(int row, int column);

// A date and time as ISO 8601 writes it: "2024-01-15", "2024-01-15T06:00",
// "2024-01-15T06:00:00.5", a zone ("Z", "+01:00") ignored. Years 1 to 9999;
// nullopt for anything else.
struct CivilDate {
  int year = 0;
  int month = 0;
  int day = 0;
  double time = 0;  // the fraction of the day
};
std::optional<CivilDate> ParseIsoDate(std::string_view text);

// Days from 1899-12-30 (the spreadsheets' day 0) to a civil date.
long DaysFromEpoch(long year, unsigned month, unsigned day);

// A shared formula's text as it holds in a cell `rows` and `columns` away
// from its master cell: every relative A1 reference moved by that offset
// ($-anchored columns and rows stay), whole columns and rows (A:C, 1:3)
// included; string literals, quoted sheet names, function and defined
// names, error values and bracketed parts (structured references, other
// books) unchanged. A reference moved off the sheet becomes #REF!.
// Without an offset the text comes back as it is.
std::string ShiftFormula(std::string_view formula, int rows, int columns);

}  // namespace refhost
