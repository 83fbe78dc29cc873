// Sheets collections, worksheets, chart sheets and ranges of the in-memory
// application.
#include <algorithm>
#include <utility>

#include "com/error.h"
#include "com/variant_grid.h"
#include "excel/errors.h"
#include "support/memory_objects.h"

namespace test_support::memory {

namespace {

// Larger blocks are refused rather than allocated cell by cell.
constexpr std::size_t kMaxBlockCells = std::size_t{1} << 22;

constexpr std::int32_t kWorksheetType = -4167;  // xlWorksheet
constexpr std::int32_t kChartType = -4109;      // xlChart

std::size_t Utf16Length(std::string_view utf8) {
  std::size_t length = 0;
  for (const char c : utf8) {
    const auto byte = static_cast<unsigned char>(c);
    if ((byte & 0xC0) != 0x80) ++length;  // a character starts here
    if (byte >= 0xF0) ++length;           // outside the BMP: a surrogate pair
  }
  return length;
}

std::size_t IndexOf(const WorkbookContents& contents, const SheetData* sheet) {
  for (std::size_t i = 0; i < contents.sheets.size(); ++i) {
    if (contents.sheets[i].get() == sheet) return i;
  }
  com::Throw(com::E_UNEXPECTED);
}

const VARIANT& Dereference(const VARIANT& value) {
  if (value.vt == (VT_BYREF | VT_VARIANT)) {
    if (value.pvarVal == nullptr) com::Throw(com::E_POINTER);
    return Dereference(*value.pvarVal);
  }
  return value;
}

bool IsAbsent(const VARIANT& value) {
  const VARIANT& plain = Dereference(value);
  return plain.vt == VT_EMPTY || (plain.vt == VT_ERROR && plain.scode == com::DISP_E_PARAMNOTFOUND);
}

// Reads an integer argument (Count, Type): Missing or VT_EMPTY gives `absent`.
std::int32_t IntegerArgument(const com::Variant& value, std::int32_t absent) {
  if (IsAbsent(value)) return absent;
  const VARIANT& plain = Dereference(value);
  switch (plain.vt) {
    case VT_I2:
      return plain.iVal;
    case VT_I4:
    case VT_INT:
      return plain.lVal;
    default:
      com::Throw(excel::kApplicationError);
  }
}

class MemorySheets : public excel::Sheets, private ObjectBase {
 public:
  MemorySheets(std::shared_ptr<AppState> app, std::shared_ptr<BookState> book, bool worksheetsOnly)
      : ObjectBase(std::move(app)), book_(std::move(book)), worksheetsOnly_(worksheetsOnly) {}

  std::int32_t GetCount() override {
    Lock lock = Enter(*app_, book_.get());
    return static_cast<std::int32_t>(View().size());
  }

  com::Ptr<com::Unknown> GetItem(const com::Variant& index) override {
    Lock lock = Enter(*app_, book_.get());
    const VARIANT& plain = Dereference(index);
    const std::vector<std::shared_ptr<SheetData>> view = View();
    std::int32_t position = 0;
    switch (plain.vt) {
      case VT_I2:
        position = plain.iVal;
        break;
      case VT_I4:
      case VT_INT:
        position = plain.lVal;
        break;
      case VT_R8:
        position = static_cast<std::int32_t>(plain.dblVal);
        if (position != plain.dblVal) com::Throw(com::DISP_E_BADINDEX);
        break;
      case VT_BSTR: {
        const std::string name = com::BstrToUtf8(plain.bstrVal);
        for (const auto& sheet : view) {
          if (SameName(sheet->name, name)) return MakeSheetItem(app_, book_, sheet);
        }
        com::Throw(com::DISP_E_BADINDEX);
      }
      default:
        com::Throw(com::DISP_E_TYPEMISMATCH);
    }
    if (position < 1 || static_cast<std::size_t>(position) > view.size()) {
      com::Throw(com::DISP_E_BADINDEX);
    }
    return MakeSheetItem(app_, book_, view[static_cast<std::size_t>(position) - 1]);
  }

  com::Ptr<com::Unknown> Add(const com::Variant& before, const com::Variant& after,
                             const com::Variant& count, const com::Variant& type,
                             std::int32_t) override {
    Lock lock = Enter(*app_, book_.get());
    // Sheets travel as objects, which these VARIANTs cannot carry.
    if (!IsAbsent(before) || !IsAbsent(after)) com::Throw(com::DISP_E_TYPEMISMATCH);
    const std::int32_t sheets = IntegerArgument(count, 1);
    const std::int32_t kind = IntegerArgument(type, kWorksheetType);
    if (sheets < 1 || sheets > 255 || (kind != kWorksheetType && kind != kChartType)) {
      com::Throw(excel::kApplicationError);
    }
    WorkbookContents& contents = book_->contents;
    std::shared_ptr<SheetData> added;
    for (std::int32_t i = 0; i < sheets; ++i) {
      added = std::make_shared<SheetData>(
          SheetData{DefaultName(contents, kind == kChartType), kind == kChartType, {}});
      // Before the active sheet, which the new one becomes.
      contents.sheets.insert(
          contents.sheets.begin() + static_cast<std::ptrdiff_t>(contents.activeSheet), added);
    }
    return MakeSheetItem(app_, book_, added);
  }

 private:
  std::vector<std::shared_ptr<SheetData>> View() const {
    std::vector<std::shared_ptr<SheetData>> view;
    for (const auto& sheet : book_->contents.sheets) {
      if (!worksheetsOnly_ || !sheet->chart) view.push_back(sheet);
    }
    return view;
  }

  static std::string DefaultName(const WorkbookContents& contents, bool chart) {
    const std::string stem = chart ? "Chart" : "Sheet";
    std::size_t number = 1 + static_cast<std::size_t>(std::count_if(
                                 contents.sheets.begin(), contents.sheets.end(),
                                 [chart](const auto& sheet) { return sheet->chart == chart; }));
    while (contents.FindSheet(stem + std::to_string(number)))
      ++number;
    return stem + std::to_string(number);
  }

  std::shared_ptr<BookState> book_;
  bool worksheetsOnly_;
};

class MemoryRange : public excel::Range, private ObjectBase {
 public:
  MemoryRange(std::shared_ptr<AppState> app, std::shared_ptr<BookState> book,
              std::shared_ptr<SheetData> sheet, CellBlock block)
      : ObjectBase(std::move(app)),
        book_(std::move(book)),
        sheet_(std::move(sheet)),
        block_(block) {}

  com::Variant Invoke(std::int32_t dispid, excel::InvokeKind kind,
                      std::span<const com::Variant> arguments) override {
    Lock lock = Enter(*app_, book_.get());
    if (dispid != excel::kDispidValue2 && dispid != excel::kDispidNumberFormat) {
      com::Throw(com::DISP_E_MEMBERNOTFOUND);
    }
    if (kind != excel::InvokeKind::kPropertyGet && kind != excel::InvokeKind::kPropertyPut) {
      com::Throw(com::DISP_E_MEMBERNOTFOUND);
    }
    const bool put = kind == excel::InvokeKind::kPropertyPut;
    if (arguments.size() != (put ? 1u : 0u)) com::Throw(com::DISP_E_BADPARAMCOUNT);
    if (block_.CellCount() > kMaxBlockCells) com::Throw(com::E_OUTOFMEMORY);
    if (dispid == excel::kDispidValue2) {
      if (!put) return ReadValues();
      WriteValues(arguments[0]);
    } else {
      if (!put) return ReadFormat();
      WriteFormat(arguments[0]);
    }
    return {};
  }

 private:
  template <typename Visit>
  void ForEachStoredCell(Visit visit) const {
    for (int row = block_.first.row; row <= block_.last.row; ++row) {
      for (auto it = sheet_->cells.lower_bound({row, block_.first.column});
           it != sheet_->cells.end() && it->first.row == row &&
           it->first.column <= block_.last.column;
           ++it) {
        visit(it->first, it->second);
      }
    }
  }

  com::Variant ReadValues() const {
    if (block_.CellCount() == 1) {
      const auto found = sheet_->cells.find(block_.first);
      return found == sheet_->cells.end() ? com::Variant() : found->second.value;
    }
    com::VariantGrid grid(static_cast<std::size_t>(block_.Rows()),
                          static_cast<std::size_t>(block_.Columns()));
    ForEachStoredCell([&](CellPosition position, const CellContent& cell) {
      grid.At(position.row - block_.first.row + 1, position.column - block_.first.column + 1) =
          cell.value;
    });
    return grid.ToVariant();
  }

  void WriteValues(const com::Variant& argument) {
    const VARIANT& value = Dereference(argument);
    std::vector<CellInput> inputs;  // every cell's, row by row; all checked before any is stored
    if ((value.vt & VT_ARRAY) != 0) {
      const com::VariantGrid grid = com::VariantGrid::FromVariant(value);
      inputs.reserve(block_.CellCount());
      for (int r = 0; r < block_.Rows(); ++r) {
        for (int c = 0; c < block_.Columns(); ++c) {
          // A single row or column is repeated; beyond the array the cells get #N/A.
          const std::size_t row = grid.Rows() == 1 ? 0 : static_cast<std::size_t>(r);
          const std::size_t column = grid.Columns() == 1 ? 0 : static_cast<std::size_t>(c);
          if (row >= grid.Rows() || column >= grid.Columns()) {
            inputs.push_back({com::Variant::ErrorValue(excel::kErrNA), {}});
          } else {
            inputs.push_back(
                InterpretInput(grid.At(grid.FirstRow() + static_cast<int>(row),
                                       grid.FirstColumn() + static_cast<int>(column))));
          }
        }
      }
    } else {
      inputs.push_back(InterpretInput(value));
    }
    std::size_t next = 0;
    for (int row = block_.first.row; row <= block_.last.row; ++row) {
      for (int column = block_.first.column; column <= block_.last.column; ++column) {
        const CellInput& input = inputs[inputs.size() == 1 ? 0 : next++];
        auto [it, added] = sheet_->cells.try_emplace({row, column});
        it->second.value = input.value;
        it->second.formula = input.formula;
        if (it->second.HoldsNothing()) sheet_->cells.erase(it);
      }
    }
  }

  com::Variant ReadFormat() const {
    std::size_t formatted = 0;
    std::string common;
    bool same = true;
    ForEachStoredCell([&](CellPosition, const CellContent& cell) {
      if (cell.numberFormat.empty()) return;
      if (formatted++ == 0) common = cell.numberFormat;
      same = same && cell.numberFormat == common;
    });
    if (formatted == 0) return com::Variant::Text("General");
    if (!same || formatted != block_.CellCount()) return com::Variant::Null();
    return com::Variant::Text(common);
  }

  void WriteFormat(const com::Variant& argument) {
    const VARIANT& value = Dereference(argument);
    if (value.vt != VT_BSTR) com::Throw(com::DISP_E_TYPEMISMATCH);
    std::string format = com::BstrToUtf8(value.bstrVal);
    if (SameName(format, "General")) format.clear();
    for (int row = block_.first.row; row <= block_.last.row; ++row) {
      for (int column = block_.first.column; column <= block_.last.column; ++column) {
        auto [it, added] = sheet_->cells.try_emplace({row, column});
        it->second.numberFormat = format;
        if (it->second.HoldsNothing()) sheet_->cells.erase(it);
      }
    }
  }

  std::shared_ptr<BookState> book_;
  std::shared_ptr<SheetData> sheet_;
  CellBlock block_;
};

class MemoryWorksheet : public excel::Worksheet, private ObjectBase {
 public:
  MemoryWorksheet(std::shared_ptr<AppState> app, std::shared_ptr<BookState> book,
                  std::shared_ptr<SheetData> sheet)
      : ObjectBase(std::move(app)), book_(std::move(book)), sheet_(std::move(sheet)) {}

  com::Bstr GetName() override {
    Lock lock = Enter(*app_, book_.get());
    return com::Bstr::FromUtf8(sheet_->name);
  }

  void PutName(const com::Bstr& name) override {
    Lock lock = Enter(*app_, book_.get());
    std::string text = name.ToUtf8();
    if (!AcceptableSheetName(book_->contents, sheet_.get(), text)) {
      com::Throw(excel::kApplicationError);
    }
    sheet_->name = std::move(text);
  }

  void Activate(std::int32_t) override {
    Lock lock = Enter(*app_, book_.get());
    book_->contents.activeSheet = IndexOf(book_->contents, sheet_.get());
    app_->activeBook = book_;
  }

  com::Ptr<excel::Range> GetRange(const com::Variant& cell1, const com::Variant& cell2) override {
    Lock lock = Enter(*app_, book_.get());
    CellBlock block = Resolve(cell1);
    if (!cell2.IsMissing()) block = CellBlock::Span(block, Resolve(cell2));
    return com::MakeObject<MemoryRange>(app_, book_, sheet_, block);
  }

 private:
  // An A1 cell or block, or a name defined on this sheet.
  CellBlock Resolve(const com::Variant& cell) const {
    const VARIANT& value = Dereference(cell);
    if (value.vt != VT_BSTR) com::Throw(excel::kApplicationError);
    const std::string text = com::BstrToUtf8(value.bstrVal);
    if (const auto block = ParseBlockAddress(text)) return *block;
    const DefinedName* name = book_->contents.FindName(text);
    if (name == nullptr || name->sheet != sheet_) com::Throw(excel::kApplicationError);
    return name->block;
  }

  std::shared_ptr<BookState> book_;
  std::shared_ptr<SheetData> sheet_;
};

class MemoryChart : public excel::Chart, private ObjectBase {
 public:
  MemoryChart(std::shared_ptr<AppState> app, std::shared_ptr<BookState> book,
              std::shared_ptr<SheetData> sheet)
      : ObjectBase(std::move(app)), book_(std::move(book)), sheet_(std::move(sheet)) {}

  com::Bstr GetName() override {
    Lock lock = Enter(*app_, book_.get());
    return com::Bstr::FromUtf8(sheet_->name);
  }

 private:
  std::shared_ptr<BookState> book_;
  std::shared_ptr<SheetData> sheet_;
};

}  // namespace

bool AcceptableSheetName(const WorkbookContents& contents, const SheetData* self,
                         std::string_view name) {
  if (name.empty() || Utf16Length(name) > 31) return false;
  if (name.find_first_of("[]:*?/\\") != std::string_view::npos) return false;
  if (name.front() == '\'' || name.back() == '\'') return false;
  const auto existing = contents.FindSheet(name);
  return !existing || existing.get() == self;
}

com::Ptr<excel::Sheets> MakeSheets(const std::shared_ptr<AppState>& app,
                                   const std::shared_ptr<BookState>& book, bool worksheetsOnly) {
  return com::MakeObject<MemorySheets>(app, book, worksheetsOnly);
}

com::Ptr<com::Unknown> MakeSheetItem(const std::shared_ptr<AppState>& app,
                                     const std::shared_ptr<BookState>& book,
                                     const std::shared_ptr<SheetData>& sheet) {
  if (sheet->chart) return com::MakeObject<MemoryChart>(app, book, sheet);
  return com::MakeObject<MemoryWorksheet>(app, book, sheet);
}

}  // namespace test_support::memory
