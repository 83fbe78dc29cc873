// Range of the Calc application: Value2 and NumberFormat.
//
// One cell read is one call to the office (getDataArray) unless the value
// needs a second look: an empty text (empty cell or empty result), an error
// (which code) or 0 / 1 (a logical?). A block is one call plus a few to sort
// those out, the cells with a text or formula asked for once for both.
#include <com/sun/star/lang/XMultiServiceFactory.hpp>
#include <com/sun/star/sheet/AddressConvention.hpp>
#include <com/sun/star/sheet/FormulaLanguage.hpp>
#include <com/sun/star/sheet/FormulaMapGroup.hpp>
#include <com/sun/star/sheet/XCellRangeFormula.hpp>
#include <com/sun/star/sheet/XCellRangesQuery.hpp>
#include <com/sun/star/sheet/XFormulaOpCodeMapper.hpp>
#include <com/sun/star/sheet/XFormulaTokens.hpp>
#include <com/sun/star/sheet/XUniqueCellFormatRangesSupplier.hpp>
#include <com/sun/star/table/CellContentType.hpp>

#include <algorithm>
#include <set>

#include "com/variants/variant_grid.h"
#include "com/variants/variant_text.h"
#include "excel/calc/calls/calc_errors.h"
#include "excel/calc/calls/calc_objects.h"
#include "excel/calc/cells/cell_formats.h"
#include "excel/calc/cells/cell_input.h"
#include "excel/calc/cells/cell_notes.h"
#include "excel/calc/cells/range_handles.h"
#include "excel/calc/formulas/sheet_addresses.h"
#include "excel/errors.h"
#include "text/utf8.h"

namespace excel::calc {
namespace uno = css::uno;

uno::Reference<css::sheet::XFormulaParser> NewFormulaParser(Document& document, sal_Int32 language,
                                                            sal_Int16 convention) {
  const uno::Reference<css::lang::XMultiServiceFactory> factory(document.component,
                                                                uno::UNO_QUERY_THROW);
  const uno::Reference<css::sheet::XFormulaParser> parser(
      factory->createInstance("com.sun.star.sheet.FormulaParser"), uno::UNO_QUERY_THROW);
  const uno::Reference<css::sheet::XFormulaOpCodeMapper> mapper(
      factory->createInstance("com.sun.star.sheet.FormulaOpCodeMapper"), uno::UNO_QUERY_THROW);
  const uno::Reference<css::beans::XPropertySet> properties(parser, uno::UNO_QUERY_THROW);
  properties->setPropertyValue("OpCodeMap",
                               uno::Any(mapper->getAvailableMappings(
                                   language, css::sheet::FormulaMapGroup::ALL_EXCEPT_SPECIAL)));
  properties->setPropertyValue("FormulaConvention", uno::Any(convention));
  properties->setPropertyValue("CompileEnglish", uno::Any(true));
  return parser;
}

uno::Reference<css::sheet::XFormulaParser> FormulaParserOf(Document& document) {
  {
    std::lock_guard lock(document.mutex);
    if (document.parser.is()) return document.parser;
  }
  const uno::Reference<css::sheet::XFormulaParser> parser = NewFormulaParser(
      document, css::sheet::FormulaLanguage::OOXML, css::sheet::AddressConvention::XL_OOX);
  std::lock_guard lock(document.mutex);
  document.parser = parser;
  return parser;
}

namespace {

using Cells = CellSet;

com::Variant ErrorValue(sal_Int32 calcError) {
  return com::Variant::ErrorValue(ExcelErrorFromCalc(calcError));
}

// "Sheet1!B4", for messages.
std::string CellName(const uno::Reference<css::table::XCell>& cell) {
  const uno::Reference<css::beans::XPropertySet> properties(cell, uno::UNO_QUERY_THROW);
  rtl::OUString absolute;  // "$Sheet1.$B$4"
  properties->getPropertyValue("AbsoluteName") >>= absolute;
  std::string name = ToUtf8(absolute);
  std::erase(name, '$');
  const std::size_t dot = name.rfind('.');
  if (dot != std::string::npos) name[dot] = '!';
  return name;
}

// Writes one cell. A formula the application cannot compile is refused and
// the cell keeps what it held.
void WriteCell(Document& document, const uno::Reference<css::table::XCell>& cell,
               const CellInput& input, sal_Int16 sheet, std::int32_t column, std::int32_t row,
               const uno::Sequence<css::sheet::FormulaToken>* parsed) {
  switch (input.kind) {
    case InputKind::kEmpty:
      cell->setFormula(rtl::OUString());
      return;
    case InputKind::kNumber:
      cell->setValue(input.number);
      return;
    case InputKind::kLogical: {
      cell->setValue(input.number);
      const uno::Reference<css::beans::XPropertySet> properties(cell, uno::UNO_QUERY_THROW);
      properties->setPropertyValue("NumberFormat", uno::Any(LogicalFormat(document)));
      return;
    }
    case InputKind::kText: {
      const uno::Reference<css::text::XText> text(cell, uno::UNO_QUERY_THROW);
      text->setString(ToOUString(input.text));
      return;
    }
    case InputKind::kTyped:
      cell->setFormula(ToOUString(input.text));
      return;
    case InputKind::kError:
      cell->setFormula(Utf8ToOUString(*ErrorFormula(input.error)));
      return;
    case InputKind::kFormula: {
      const uno::Sequence<css::sheet::FormulaToken> tokens =
          parsed != nullptr ? *parsed
                            : FormulaParserOf(document)->parseFormula(
                                  ToOUString(SpreadsheetFormulaForParser(input.text)),
                                  css::table::CellAddress(sheet, column, row));
      const rtl::OUString previous = cell->getFormula();
      const uno::Reference<css::sheet::XFormulaTokens> target(cell, uno::UNO_QUERY_THROW);
      target->setTokens(tokens);
      if (IsFormulaSyntaxError(cell->getError())) {
        cell->setFormula(previous);
        com::Throw(kApplicationError, "The formula " + text::Utf16ToUtf8(input.text) + " for " +
                                          CellName(cell) +
                                          " does not compile; the cell keeps what it held");
      }
      return;
    }
  }
}

// A cell of a block that the data array cannot carry (a formula, an error,
// a text left to input recognition): written after it, on its own.
struct LaterCell {
  std::int32_t row;
  std::int32_t column;
  CellInput input;
};

// The data-array form of a plain input; false (and an empty text in the
// array) for an input written later.
bool PlainCellValue(const CellInput& input, uno::Any& cell) {
  switch (input.kind) {
    case InputKind::kNumber:
      cell <<= input.number;
      return true;
    case InputKind::kText:
      cell <<= ToOUString(input.text);
      return true;
    case InputKind::kEmpty:
      cell <<= rtl::OUString();
      return true;
    default:
      cell <<= rtl::OUString();
      return false;
  }
}

class CalcRange final : public Range {
 public:
  CalcRange(com::Ptr<CalcApplication> application, std::shared_ptr<Document> document,
            std::shared_ptr<RangeHandles> handles)
      : application_(std::move(application)),
        document_(std::move(document)),
        handles_(std::move(handles)) {}

  com::Variant Invoke(std::int32_t dispid, InvokeKind kind,
                      std::span<const com::Variant> arguments) override {
    const auto flags = static_cast<std::uint16_t>(kind);
    const bool get = (flags & static_cast<std::uint16_t>(InvokeKind::kPropertyGet)) != 0;
    const bool put = (flags & static_cast<std::uint16_t>(InvokeKind::kPropertyPut)) != 0;
    if (dispid != kDispidValue2 && dispid != kDispidNumberFormat)
      com::Throw(com::DISP_E_MEMBERNOTFOUND);
    if (put == get) com::Throw(com::DISP_E_MEMBERNOTFOUND);
    if (arguments.size() != (put ? 1u : 0u)) com::Throw(com::DISP_E_BADPARAMCOUNT);
    application_->CheckUsable();
    return document_->Call(kApplicationError, [&] {
      if (dispid == kDispidValue2) {
        if (get) return handles_->cell.is() ? GetCell() : GetBlock();
        PutValue(arguments[0]);
      } else {
        if (get) return GetNumberFormat();
        PutNumberFormat(arguments[0]);
      }
      return com::Variant();
    });
  }

 private:
  com::Variant GetCell() {
    RangeHandles& handles = *handles_;
    const uno::Sequence<uno::Sequence<uno::Any>> data = DataOf(handles)->getDataArray();
    const uno::Any value =
        data.getLength() > 0 && data[0].getLength() > 0 ? data[0][0] : uno::Any();
    double number = 0;
    rtl::OUString text;
    if (value >>= number) {
      if ((number == 0 || number == 1) && IsLogicalCell(handles))
        return com::Variant::Bool(number != 0);
      return com::Variant::Double(number);
    }
    if (value >>= text) {
      if (text.isEmpty() && handles.cell->getType() == css::table::CellContentType_EMPTY)
        return com::Variant();
      return com::Variant::Text(std::u16string_view(ToU16(text)));
    }
    // An error cell reads as nothing in the data array.
    const sal_Int32 error = handles.cell->getError();
    return error != 0 ? ErrorValue(error) : com::Variant();
  }

  // The rule of LogicalCells for one cell: a logical number format, or a
  // formula whose result shows as TRUE / FALSE.
  bool IsLogicalCell(RangeHandles& handles) {
    sal_Int32 key = 0;
    PropertiesOf(handles)->getPropertyValue("NumberFormat") >>= key;
    if (IsLogicalFormat(*document_, key)) return true;
    return handles.cell->getType() == css::table::CellContentType_FORMULA &&
           IsLogicalText(TextOf(handles)->getString());
  }

  com::Variant GetBlock() {
    RangeHandles& handles = *handles_;
    const CellArea& area = handles.area;
    const uno::Sequence<uno::Sequence<uno::Any>> data = DataOf(handles)->getDataArray();
    com::VariantGrid grid(static_cast<std::size_t>(area.Rows()),
                          static_cast<std::size_t>(area.Columns()));
    Cells emptyTexts;
    Cells errors;
    Cells zeroOrOne;
    for (sal_Int32 r = 0; r < data.getLength() && r < area.Rows(); ++r) {
      for (sal_Int32 c = 0; c < data[r].getLength() && c < area.Columns(); ++c) {
        const uno::Any& value = data[r][c];
        double number = 0;
        rtl::OUString text;
        com::Variant& out = grid.At(r + 1, c + 1);
        if (value >>= number) {
          out = com::Variant::Double(number);
          if (number == 0 || number == 1) zeroOrOne.emplace(r, c);
        } else if (value >>= text) {
          out = com::Variant::Text(std::u16string_view(ToU16(text)));
          if (text.isEmpty()) emptyTexts.emplace(r, c);
        } else {
          errors.emplace(r, c);
        }
      }
    }
    // One question for both the empty cells and the formulas among 0 and 1.
    std::optional<Cells> filled;
    if (!emptyTexts.empty()) {
      filled = FilledCells(handles);
      for (const auto& [r, c] : emptyTexts) {
        if (filled->count({r, c}) == 0) grid.At(r + 1, c + 1) = com::Variant();
      }
    }
    for (const auto& [r, c] : errors) {
      const sal_Int32 error = handles.range->getCellByPosition(c, r)->getError();
      grid.At(r + 1, c + 1) = error != 0 ? ErrorValue(error) : com::Variant();
    }
    if (!zeroOrOne.empty()) {
      for (const auto& [r, c] : LogicalCells(*document_, handles, zeroOrOne, &filled))
        grid.At(r + 1, c + 1) = com::Variant::Bool(grid.At(r + 1, c + 1).dblVal != 0);
    }
    return std::move(grid).ToVariant();
  }

  void PutValue(const com::Variant& argument) {
    RangeHandles& handles = *handles_;
    const com::VARIANT& value = Dereferenced(argument);
    const CellArea& area = handles.area;
    if (handles.cell.is()) {
      // An array into one cell: its first element, as the spreadsheet does.
      if ((value.vt & com::VT_ARRAY) != 0) {
        const com::VariantGrid block = com::VariantGrid::FromVariant(value);
        const com::VARIANT* first = ArrayElementFor(block, 0, 0);
        const CellInput input =
            first != nullptr ? ClassifyValue(*first) : CellInput{InputKind::kError, 0, {}, kErrNA};
        WriteCell(*document_, handles.cell, input, InputSheet(input), area.firstColumn,
                  area.firstRow, nullptr);
        return;
      }
      const CellInput input = ClassifyValue(value);
      WriteCell(*document_, handles.cell, input, InputSheet(input), area.firstColumn, area.firstRow,
                nullptr);
      return;
    }
    PutBlock(value);
  }

  // The sheet index only matters for formulas (their reference position).
  sal_Int16 InputSheet(const CellInput& input) {
    return input.kind == InputKind::kFormula ? SheetIndexOf(*handles_) : 0;
  }

  void PutBlock(const com::VARIANT& value) {
    RangeHandles& handles = *handles_;
    const bool isArray = (value.vt & com::VT_ARRAY) != 0;
    const com::VariantGrid block =
        isArray ? com::VariantGrid::FromVariant(value) : com::VariantGrid();
    const CellInput scalar = isArray ? CellInput{} : ClassifyValue(value);
    std::vector<LaterCell> later;
    const uno::Sequence<uno::Sequence<uno::Any>> data = PlainData(block, isArray, scalar, later);
    // A formula the application refuses must leave what writing cell by
    // cell leaves: the cells before it written, none after it.
    if (isArray && std::any_of(later.begin(), later.end(), [](const LaterCell& item) {
          return item.input.kind == InputKind::kFormula;
        })) {
      PutCellByCell(block);
      return;
    }
    const std::vector<KeptNote> notes = NotesIn(handles);
    // Texts that fill the whole block need no data array under them: each
    // cell is written once.
    const bool allTyped = later.size() == static_cast<std::size_t>(handles.area.Rows()) *
                                              static_cast<std::size_t>(handles.area.Columns());
    if (!allTyped) DataOf(handles)->setDataArray(data);
    const bool written = later.empty() || PutTypedBlock(later);
    if (!written && allTyped) DataOf(handles)->setDataArray(data);
    PutBackNotes(handles, notes);
    if (!written) PutLater(later, isArray ? nullptr : &scalar);
  }

  // The block's plain values as one data array; the cells it cannot carry
  // are empty in it and go to `later`. An array too small for the block
  // gives #N/A past its end.
  uno::Sequence<uno::Sequence<uno::Any>> PlainData(const com::VariantGrid& block, bool isArray,
                                                   const CellInput& scalar,
                                                   std::vector<LaterCell>& later) {
    const CellArea& area = handles_->area;
    uno::Sequence<uno::Sequence<uno::Any>> data(area.Rows());
    for (std::int32_t r = 0; r < area.Rows(); ++r) {
      uno::Sequence<uno::Any>& row = data.getArray()[r];
      row.realloc(area.Columns());
      for (std::int32_t c = 0; c < area.Columns(); ++c) {
        CellInput input = scalar;
        if (isArray) {
          const com::VARIANT* element = ArrayElementFor(block, r, c);
          input = element != nullptr ? ClassifyValue(*element)
                                     : CellInput{InputKind::kError, 0, {}, kErrNA};
        }
        if (!PlainCellValue(input, row.getArray()[c]))
          later.push_back(LaterCell{r, c, std::move(input)});
      }
    }
    return data;
  }

  // The cells the data array could not carry, one by one. `scalar` is the
  // one value of the whole block, or null for an array.
  void PutLater(const std::vector<LaterCell>& later, const CellInput* scalar) {
    RangeHandles& handles = *handles_;
    const CellArea& area = handles.area;
    const sal_Int16 sheet = SheetIndexOf(handles);
    // A single formula for the whole block is read once at the first cell:
    // its relative references then move along, as when a spreadsheet fills
    // a block with one formula.
    std::optional<uno::Sequence<css::sheet::FormulaToken>> shared;
    if (scalar != nullptr && scalar->kind == InputKind::kFormula) {
      shared = FormulaParserOf(*document_)
                   ->parseFormula(ToOUString(SpreadsheetFormulaForParser(scalar->text)),
                                  css::table::CellAddress(sheet, area.firstColumn, area.firstRow));
    }
    for (const LaterCell& item : later) {
      WriteCell(*document_, handles.range->getCellByPosition(item.column, item.row), item.input,
                sheet, area.firstColumn + item.column, area.firstRow + item.row,
                shared ? &*shared : nullptr);
    }
  }

  void PutCellByCell(const com::VariantGrid& block) {
    RangeHandles& handles = *handles_;
    const CellArea& area = handles.area;
    for (std::int32_t r = 0; r < area.Rows(); ++r) {
      for (std::int32_t c = 0; c < area.Columns(); ++c) {
        const com::VARIANT* element = ArrayElementFor(block, r, c);
        const CellInput input = element != nullptr ? ClassifyValue(*element)
                                                   : CellInput{InputKind::kError, 0, {}, kErrNA};
        WriteCell(*document_, handles.range->getCellByPosition(c, r), input, InputSheet(input),
                  area.firstColumn + c, area.firstRow + r, nullptr);
      }
    }
  }

  // Texts left to the application's input recognition that fill a rectangle
  // of their own (a column of component names) go in one call, each taken
  // as typed into its cell. False when they do not.
  template <typename Items>
  bool PutTypedBlock(const Items& later) {
    std::int32_t top = later.front().row, bottom = top;
    std::int32_t left = later.front().column, right = left;
    for (const auto& item : later) {
      if (item.input.kind != InputKind::kTyped) return false;
      top = std::min(top, item.row);
      bottom = std::max(bottom, item.row);
      left = std::min(left, item.column);
      right = std::max(right, item.column);
    }
    const std::size_t rows = static_cast<std::size_t>(bottom - top + 1);
    const std::size_t columns = static_cast<std::size_t>(right - left + 1);
    if (later.size() < 2 || later.size() != rows * columns) return false;
    uno::Sequence<uno::Sequence<rtl::OUString>> texts(static_cast<sal_Int32>(rows));
    for (sal_Int32 r = 0; r < texts.getLength(); ++r)
      texts.getArray()[r].realloc(static_cast<sal_Int32>(columns));
    for (const auto& item : later)
      texts.getArray()[item.row - top].getArray()[item.column - left] = ToOUString(item.input.text);
    const uno::Reference<css::sheet::XCellRangeFormula> target(
        handles_->range->getCellRangeByPosition(left, top, right, bottom), uno::UNO_QUERY_THROW);
    target->setFormulaArray(texts);
    return true;
  }

  com::Variant GetNumberFormat() {
    sal_Int32 key = 0;
    PropertiesOf(*handles_)->getPropertyValue("NumberFormat") >>= key;
    return com::Variant::Text(std::u16string_view(ToU16(FormatCode(*document_, key))));
  }

  void PutNumberFormat(const com::Variant& argument) {
    const com::VARIANT& value = Dereferenced(argument);
    const std::u16string code =
        value.vt == com::VT_BSTR
            ? std::u16string(value.bstrVal == nullptr ? u"" : value.bstrVal,
                             value.bstrVal == nullptr ? 0 : GmSysStringLen(value.bstrVal))
            : text::Utf8ToUtf16(com::VariantToText(value));
    const sal_Int32 key = FormatKey(*document_, code);
    PropertiesOf(*handles_)->setPropertyValue("NumberFormat", uno::Any(key));
  }

  com::Ptr<CalcApplication> application_;
  std::shared_ptr<Document> document_;
  std::shared_ptr<RangeHandles> handles_;
};

}  // namespace

com::Ptr<Range> MakeRange(com::Ptr<CalcApplication> application, std::shared_ptr<Document> document,
                          const RangeTarget& target) {
  return com::MakeObject<CalcRange>(std::move(application), std::move(document), target.handles);
}

}  // namespace excel::calc
