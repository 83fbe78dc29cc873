#include "optimisation/published_ops.h"

#include <algorithm>
#include <climits>
#include <cstddef>
#include <exception>
#include <memory>
#include <optional>
#include <utility>

#include "automation/block_transfer.h"
#include "automation/cell_address.h"
#include "automation/cell_transfer.h"
#include "com/error.h"
#include "com/variants/bstr.h"
#include "com/variants/variant.h"
#include "com/variants/variant_grid.h"
#include "com/variants/variant_text.h"
#include "optimisation/printed_text.h"
#include "text/ascii.h"
#include "text/number.h"

namespace optimisation {
namespace {

using outcome::Error;

std::string Quoted(const casedata::CExcExportedVariable& variable) {
  return "'" + Printed(variable.name) + "'";
}

Error SetFailed(const casedata::CExcExportedVariable& variable, const std::string& why) {
  return Error::Failed("Error in setting data for variable " + Quoted(variable) + ": (" +
                       Printed(why) + ")");
}

// The most cells one block call moves: a bigger block goes as bands of
// whole rows, so that memory stays bounded by the band and no band makes
// the office build one vast array. Measured on Calc (bench/
// published_block_bench), 10,000 columns wide: reads of 2^16-cell bands
// run at about 1.3 million cells/s against 0.37 million for 2^18 or 2^20;
// writes of 2^18-cell bands at about 0.21 million against 0.14 million for
// 2^20 and 0.11 million for 2^16.
constexpr std::size_t kMaxReadCells = std::size_t{1} << 16;
constexpr std::size_t kMaxWriteCells = std::size_t{1} << 18;

// How many rows of `width` cells a band of at most `cells` takes.
std::size_t BandRows(std::size_t width, std::size_t cells) {
  return width == 0 ? 1 : std::max<std::size_t>(1, cells / width);
}

// The variable `handle` names; null for a handle outside the list.
const casedata::CExcExportedVariable* VariableAt(const casedata::CExcclExportedVariable& variables,
                                                 std::int32_t handle) {
  return handle < 0 ? nullptr : variables.At(static_cast<std::size_t>(handle));
}

// The cell `column` columns right of and `row` rows below `topLeft`.
std::string BlockCell(const std::string& topLeft, int column, int row) {
  return automation::OffsetCell(automation::OffsetCell(topLeft, column, false), row, true);
}

// Writes `text` into the current worksheet as if typed there. An address
// that names no cell is a failure, never a skip.
Error WriteCell(automation::CExcExcelObj& session, const std::string& address,
                const std::string& text) {
  if (text::IsBlank(address)) return com::Failure(com::DISP_E_BADINDEX);
  if (session.SetCellValue(address, com::Variant::Text(text)) != 0) {
    return com::Failure(com::E_POINTER);
  }
  return Error::Success();
}

// The cascade keeps the history of set values: time step t goes t rows below
// (vertical) or t columns right of the cascade cell.
Error WriteCascade(automation::CExcExcelObj& session,
                   const casedata::CExcExportedVariable& variable, const std::string& text,
                   std::uint32_t timestep) {
  if (text::IsBlank(variable.CascadeCell)) return Error::Success();
  const int steps = timestep > INT_MAX ? INT_MAX : static_cast<int>(timestep);
  const std::string target =
      automation::OffsetCell(automation::CellAddress(variable.CascadeCell), steps,
                             variable.CascadeDirection == casedata::kVertical);
  return WriteCell(session, target, text);
}

// A part cut at `separator`, and what follows it; none after the last part.
std::string_view CutFirst(std::string_view& rest, char separator, bool& last) {
  const std::size_t end = rest.find(separator);
  const std::string_view part = rest.substr(0, end);
  last = end == std::string_view::npos;
  rest = last ? std::string_view() : rest.substr(end + 1);
  return part;
}

// The rows of a block text, one at a time (the text is never copied): rows
// cut at line feeds, values at tabs. Empty values between tabs stay; a blank
// last row, and a blank last value of a row, are dropped (a text ending in a
// separator adds nothing).
class BlockRows {
 public:
  explicit BlockRows(std::string_view text) : rest_(text) {
    left_ = static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')) + 1;
    const std::size_t lastBreak = text.rfind('\n');
    if (text::IsBlank(lastBreak == std::string_view::npos ? text : text.substr(lastBreak + 1)))
      --left_;
  }

  // The next row's values into `values`; false when there is none.
  bool Next(std::vector<std::string_view>& values) {
    values.clear();
    if (left_ == 0) return false;
    --left_;
    bool last = false;
    std::string_view line = CutFirst(rest_, '\n', last);
    do {
      values.push_back(CutFirst(line, '\t', last));
    } while (!last);
    if (text::IsBlank(values.back())) values.pop_back();
    return true;
  }

 private:
  std::string_view rest_;
  std::size_t left_ = 0;
};

// Writes `rows` rows of `width` values (row by row in `values`) starting
// `firstRow` rows below `topLeft`: in one block call where the band is a
// block of the grid, otherwise, or when the call fails, cell by cell.
Error WriteBand(automation::CExcExcelObj& session, const std::string& topLeft, std::size_t firstRow,
                std::size_t rows, std::size_t width, const std::vector<std::string_view>& values) {
  if (values.size() >= 2) {
    if (const auto block = automation::BlockBelow(topLeft, firstRow, rows, width)) {
      com::VariantGrid grid(rows, width);
      for (std::size_t i = 0; i < values.size(); ++i) {
        grid.At(static_cast<std::int32_t>(i / width) + 1,
                static_cast<std::int32_t>(i % width) + 1) = com::Variant::Text(values[i]);
      }
      if (automation::WriteBlock(session, *block, grid)) return Error::Success();
    }
  }
  for (std::size_t i = 0; i < values.size(); ++i) {
    const std::string cell =
        BlockCell(topLeft, static_cast<int>(i % width), static_cast<int>(firstRow + i / width));
    if (Error failed = WriteCell(session, cell, std::string(values[i]))) return failed;
  }
  return Error::Success();
}

// Writes a block text's rows: each run of rows of one length in bands of at
// most kMaxWriteCells cells (never filled out to a rectangle).
Error WriteRows(automation::CExcExcelObj& session, const std::string& topLeft,
                std::string_view text) {
  BlockRows rows(text);
  std::vector<std::string_view> row;
  std::vector<std::string_view> band;
  bool more = rows.Next(row);
  std::size_t firstRow = 0;
  while (more) {
    const std::size_t width = row.size();
    const std::size_t limit = BandRows(width, kMaxWriteCells);
    band.clear();
    std::size_t count = 0;
    do {
      band.insert(band.end(), row.begin(), row.end());
      ++count;
      more = rows.Next(row);
    } while (more && row.size() == width && count < limit);
    if (Error failed = WriteBand(session, topLeft, firstRow, count, width, band)) return failed;
    firstRow += count;
  }
  return Error::Success();
}

Error SetValue(const casedata::CExcExportedVariable& variable, automation::CExcExcelObj& session,
               std::uint32_t timestep, const std::string& text, bool blocksAllowed) {
  if (const Error selection = session.SelectWorksheet(variable.worksheet)) {
    return Error::Failed("Error in setting data for variable " + Quoted(variable) +
                         " in Excel: " + selection.Message());
  }
  try {
    // A column:row pair becomes an A1 address first, so that it can be
    // stepped and is never taken for a range of whole rows.
    const std::string topLeft = automation::CellAddress(variable.cell);
    Error written;
    if (blocksAllowed && text.find_first_of("\t\n") != std::string::npos) {
      written = WriteRows(session, topLeft, text);
    } else {
      written = WriteCell(session, topLeft, text);
      if (!written) written = WriteCascade(session, variable, text, timestep);
    }
    if (written) return SetFailed(variable, written.Message());
    return Error::Success();
  } catch (const com::Error& error) {
    return SetFailed(variable, error.ErrorMessage());
  } catch (const std::exception& error) {
    return SetFailed(variable, error.what());
  }
}

// A cell's number from its text; a text that is not wholly a number gives
// none and says why, naming the variable's sheet and the cell.
std::optional<double> NumberOf(const std::string& text, const std::string& sheetName,
                               const std::string& address, std::string& why) {
  const std::optional<double> number = text::ParseWholeNumber(text);
  if (!number) why = automation::NotANumberMessage(sheetName, address, text);
  return number;
}

// A cell of a block: an empty one is a gap (a cascade row not yet filled, a
// forecast with holes) and reads as the host's missing value; text fails.
std::optional<double> BlockNumberOf(const std::string& text, const std::string& sheetName,
                                    const std::string& address, std::string& why) {
  if (text.empty()) return automation::kUndefinedValue;
  return NumberOf(text, sheetName, address, why);
}

// One cell's text. An empty `worksheet` reads the current one. A cell
// reference that names no cell gives no text rather than an empty one.
std::optional<std::string> ReadText(automation::CExcExcelObj& session, const std::string& worksheet,
                                    const std::string& address, std::string& why) {
  if (text::IsBlank(address)) return std::nullopt;
  // The variable's own message gives the application's words for why.
  if (!worksheet.empty()) {
    if (const Error selection = session.SelectWorksheet(worksheet)) {
      why = selection.Message();
      return std::nullopt;
    }
  }
  outcome::Expected<std::string> text = automation::CellText(session, worksheet, address);
  if (!text) {
    why = text.GetError().Message();
    return std::nullopt;
  }
  return std::move(*text);
}

// A value of a block read as the single-cell read has its text; none for
// what has no text (an error value).
std::optional<std::string> BlockText(const com::Variant& value) {
  try {
    return value.vt == com::VT_BSTR ? com::BstrToUtf8(value.bstrVal) : com::VariantToText(value);
  } catch (const com::Error&) {
    return std::nullopt;
  }
}

// The failure of a read: the reason when there is one.
Error GetFailed(const casedata::CExcExportedVariable& variable, const std::string& why) {
  std::string message = "Error in getting data for variable " + Quoted(variable);
  if (!why.empty()) message += ": " + Printed(why);
  return Error::Failed(std::move(message));
}

// The block's values, row by row, joined by its delimiters; none when a
// cell cannot be read, with the reason in `why` when there is one. A block
// over kMaxReadCells cells is read a band of rows at a time.
std::optional<std::string> ReadBlock(automation::CExcExcelObj& session,
                                     const casedata::CExcExportedVariable& variable,
                                     std::string& why) {
  const std::string columnSeparator =
      text::IsBlank(variable.ColumnDelimiter) ? "\t" : variable.ColumnDelimiter;
  const std::string rowSeparator =
      text::IsBlank(variable.RowDelimiter) ? "\n" : variable.RowDelimiter;
  const std::string topLeft = automation::CellAddress(variable.cell);
  const auto width = static_cast<std::size_t>(variable.Width());
  const auto height = static_cast<std::size_t>(variable.Height());
  const std::size_t bandRows = BandRows(width, kMaxReadCells);
  // The worksheet is selected as the first cell's read selects it; the
  // others are read from it as the current one, the blocks among them.
  bool selected = variable.worksheet.empty();
  std::string text;
  for (std::size_t top = 0; top < height; top += bandRows) {
    const std::size_t rows = std::min(bandRows, height - top);
    const std::optional<automation::CellBlock> cells =
        rows * width >= 2 ? automation::BlockBelow(topLeft, top, rows, width) : std::nullopt;
    if (cells && !selected) {
      if (session.SelectWorksheet(variable.worksheet)) return std::nullopt;
      selected = true;
    }
    std::optional<automation::BlockRead> block;
    if (cells) block.emplace(session, *cells);
    for (std::size_t r = 0; r < rows; ++r) {
      for (std::size_t c = 0; c < width; ++c) {
        const com::Variant* read = block ? block->Find(r, c) : nullptr;
        std::optional<double> value;
        if (read != nullptr) {
          const std::optional<std::string> cellText = BlockText(*read);
          if (cellText) {
            value = BlockNumberOf(*cellText, variable.worksheet, block->Address(r, c), why);
          }
        } else {
          const std::string address =
              BlockCell(topLeft, static_cast<int>(c), static_cast<int>(top + r));
          const std::optional<std::string> cellText =
              ReadText(session, selected ? std::string() : variable.worksheet, address, why);
          if (cellText) value = BlockNumberOf(*cellText, variable.worksheet, address, why);
          selected = true;
        }
        if (!value) return std::nullopt;
        if (c > 0) text += columnSeparator;
        text += FormatPublishedValue(*value);
      }
      if (top + r + 1 < height) text += rowSeparator;
    }
  }
  return text;
}

}  // namespace

std::string FormatPublishedValue(double value) {
  return text::FormatGeneral(value);
}

std::optional<casedata::PublishedVariableInfo> GetNextPublishedVariable(
    const casedata::CExcclExportedVariable& variables, std::int32_t handle) {
  // Only -1 starts; a handle below it names nothing to follow.
  const std::int64_t next = std::int64_t{handle} + 1;
  if (next < 0 || static_cast<std::uint64_t>(next) >= variables.size()) return std::nullopt;
  const casedata::CExcExportedVariable& variable = *variables.At(static_cast<std::size_t>(next));
  return casedata::PublishedVariableInfo{static_cast<std::int32_t>(next), variable.name,
                                         variable.unit};
}

outcome::Expected<std::string> EvalPublishedVariables(
    const casedata::CExcclExportedVariable& variables, automation::CExcExcelObj* session,
    std::uint32_t timestep, const casedata::PublishedValueRequest& request) {
  const casedata::CExcExportedVariable* variable = VariableAt(variables, request.handle);
  if (variable == nullptr) return Error::Failed("Bad handle passed to EvalPublishedVariables()");

  if (request.set) {
    if (session == nullptr) return Error::Failed(automation::kNoConnectionMessage);
    Error error =
        SetValue(*variable, *session, timestep, request.text.value_or(std::string()), false);
    if (error) return error;
    return std::string();
  }

  // A block does not fit the record; the host asks again with record 2.
  if (variable->IsBlock()) return Error::Failed(std::string(), casedata::kBlockVariableResult);
  if (session == nullptr) return Error::Failed(automation::kNoConnectionMessage);
  try {
    std::string why;
    // A single cell has no gaps: an empty one is a failure, naming it.
    const std::string address = automation::CellAddress(variable->cell);
    const std::optional<std::string> text = ReadText(*session, variable->worksheet, address, why);
    const std::optional<double> value =
        text ? NumberOf(*text, variable->worksheet, address, why) : std::nullopt;
    if (!value) return GetFailed(*variable, why);
    return FormatPublishedValue(*value);
  } catch (const std::exception& error) {
    return GetFailed(*variable, error.what());
  }
}

outcome::Expected<std::string> EvalPublishedVariablesAsBlock(
    const casedata::CExcclExportedVariable& variables, automation::CExcExcelObj* session,
    std::uint32_t timestep, const casedata::PublishedValueRequest& request) {
  const casedata::CExcExportedVariable* variable = VariableAt(variables, request.handle);
  if (variable == nullptr) return Error::Failed("Bad handle passed to EvalPublishedVariables2()");

  if (request.set) {
    if (!request.text) {
      return Error::Failed("No value passed to EvalPublishedVariables2() for variable " +
                           Quoted(*variable));
    }
    if (request.text->size() > casedata::kMaxPublishedText) {
      return Error::Failed("The value for variable " + Quoted(*variable) + " is too long");
    }
    if (session == nullptr) return Error::Failed(automation::kNoConnectionMessage);
    Error error = SetValue(*variable, *session, timestep, *request.text, true);
    if (error) return error;
    return std::string();
  }

  if (session == nullptr) return Error::Failed(automation::kNoConnectionMessage);
  try {
    std::string why;
    std::optional<std::string> text = ReadBlock(*session, *variable, why);
    if (!text) return GetFailed(*variable, why);
    return std::move(*text);
  } catch (const std::exception& error) {
    return GetFailed(*variable, error.what());
  }
}

outcome::Expected<std::int32_t> AddPublishedVariable(casedata::CExcclExportedVariable& variables,
                                                     automation::CExcExcelObj* session,
                                                     const casedata::NewPublishedVariable& added) {
  if (added.masking) {
    return Error::Failed("Equipment masking/disabling is not possible with the Excel link");
  }
  const struct {
    const std::optional<std::string>& text;
    const char* what;
  } fields[] = {
      {added.worksheet, "worksheet name"}, {added.cell, "cell"}, {added.name, "variable name"}};
  for (const auto& field : fields) {
    if (!field.text)
      return Error::Failed(std::string("No ") + field.what + " passed to AddPublishedVariable()");
  }
  const std::string& worksheet = *added.worksheet;

  if (session == nullptr) return Error::Failed(automation::kNoConnectionMessage);
  if (!session->HasWorkbook()) return Error::Failed("No valid workbook");
  outcome::Expected<std::vector<std::string>> sheets = session->GetSheetNames();
  if (!sheets) return sheets.TakeError();
  if (std::find(sheets->begin(), sheets->end(), worksheet) == sheets->end()) {
    return Error::Failed("Worksheet '" + Printed(worksheet) + "' is not valid");
  }

  auto variable = std::make_unique<casedata::CExcExportedVariable>();
  variable->worksheet = worksheet;
  variable->cell = *added.cell;
  variable->name = *added.name;
  const auto handle = static_cast<std::int32_t>(variables.size());
  variables.Add(std::move(variable));
  return handle;
}

Error DelPublishedVariable(casedata::CExcclExportedVariable& variables, std::int32_t handle) {
  if (handle == -1) {
    variables.Clear();
    return Error::Success();
  }
  if (handle < 0 || static_cast<std::size_t>(handle) >= variables.size()) {
    return Error::Failed("Bad handle passed to DelPublishedVariable()");
  }
  variables.RemoveAt(static_cast<std::size_t>(handle));
  return Error::Success();
}

void RebuildPublishedVariables(casedata::CExcclExportedVariable& variables,
                               const std::vector<casedata::CExcExportedVariable>& rows) {
  variables.Clear();
  for (const casedata::CExcExportedVariable& row : rows) {
    if (text::IsBlank(row.name) || text::IsBlank(row.worksheet) || text::IsBlank(row.cell)) {
      continue;
    }
    auto variable = std::make_unique<casedata::CExcExportedVariable>(row);
    variable->RegionWidth = row.Width();
    variable->RegionHeight = row.Height();
    variables.Add(std::move(variable));
  }
}

}  // namespace optimisation
