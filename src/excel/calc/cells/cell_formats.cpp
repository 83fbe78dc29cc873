#include "excel/calc/cells/cell_formats.h"

#include <com/sun/star/beans/TolerantPropertySetResultType.hpp>
#include <com/sun/star/beans/XTolerantMultiPropertySet.hpp>
#include <com/sun/star/container/XIndexAccess.hpp>
#include <com/sun/star/lang/Locale.hpp>
#include <com/sun/star/sheet/CellFlags.hpp>
#include <com/sun/star/sheet/XSheetCellRanges.hpp>
#include <com/sun/star/util/MalformedNumberFormatException.hpp>
#include <com/sun/star/util/NumberFormat.hpp>
#include <com/sun/star/util/XNumberFormatTypes.hpp>
#include <com/sun/star/util/XNumberFormatsSupplier.hpp>

#include "excel/calc/calls/uno_util.h"
#include "excel/calc/cells/range_handles.h"
#include "excel/errors.h"
#include "text/utf8.h"

namespace excel::calc {
namespace uno = css::uno;
namespace {

css::lang::Locale EnglishUs() {
  return css::lang::Locale("en", "US", "");
}

uno::Reference<css::util::XNumberFormats> NumberFormats(Document& document) {
  const uno::Reference<css::util::XNumberFormatsSupplier> supplier(document.component,
                                                                   uno::UNO_QUERY_THROW);
  return supplier->getNumberFormats();
}

}  // namespace

bool IsLogicalFormat(Document& document, sal_Int32 key) {
  {
    std::lock_guard lock(document.mutex);
    const auto found = document.formatIsLogical.find(key);
    if (found != document.formatIsLogical.end()) return found->second;
  }
  sal_Int16 type = 0;
  NumberFormats(document)->getByKey(key)->getPropertyValue("Type") >>= type;
  const bool logical = (type & css::util::NumberFormat::LOGICAL) != 0;
  std::lock_guard lock(document.mutex);
  document.formatIsLogical[key] = logical;
  return logical;
}

rtl::OUString FormatCode(Document& document, sal_Int32 key) {
  rtl::OUString code;
  NumberFormats(document)->getByKey(key)->getPropertyValue("FormatString") >>= code;
  return code;
}

sal_Int32 LogicalFormat(Document& document) {
  {
    std::lock_guard lock(document.mutex);
    if (document.logicalFormat) return *document.logicalFormat;
  }
  const uno::Reference<css::util::XNumberFormatTypes> types(NumberFormats(document),
                                                            uno::UNO_QUERY_THROW);
  const sal_Int32 key = types->getStandardFormat(css::util::NumberFormat::LOGICAL, EnglishUs());
  std::lock_guard lock(document.mutex);
  document.logicalFormat = key;
  return key;
}

sal_Int32 FormatKey(Document& document, const std::u16string& code) {
  {
    std::lock_guard lock(document.mutex);
    const auto found = document.formatKeys.find(code);
    if (found != document.formatKeys.end()) return found->second;
  }
  const uno::Reference<css::util::XNumberFormats> formats = NumberFormats(document);
  const rtl::OUString text = ToOUString(code);
  sal_Int32 key = formats->queryKey(text, EnglishUs(), false);
  if (key < 0) {
    try {
      key = formats->addNew(text, EnglishUs());
    } catch (const css::util::MalformedNumberFormatException&) {
      com::Throw(kApplicationError, "The number format \"" + text::Utf16ToUtf8(code) +
                                        "\" is not one the application accepts");
    }
  }
  std::lock_guard lock(document.mutex);
  document.formatKeys[code] = key;
  return key;
}

bool IsLogicalText(const rtl::OUString& shown) {
  return shown == "TRUE" || shown == "FALSE";
}

CellSet FilledCells(RangeHandles& handles) {
  CellSet filled;
  AddCells(QueryOf(handles)
               ->queryContentCells(css::sheet::CellFlags::STRING | css::sheet::CellFlags::FORMULA)
               ->getRangeAddresses(),
           handles.area, filled);
  return filled;
}

// Which of `candidates` (cells holding 0 or 1) are logicals: a logical
// number format, or a formula whose result shows as TRUE / FALSE. A single
// cell is judged by the same rule (CalcRange::GetCell).
CellSet LogicalCells(Document& document, RangeHandles& handles, const CellSet& candidates,
                     std::optional<CellSet>* filled) {
  CellSet logical;
  const CellArea& area = handles.area;
  bool allLogical = false;
  // One format for the whole block (the usual case) is one question, its
  // value and whether it holds for every cell together; mixed formats are
  // asked for group by group.
  const rtl::OUString numberFormat("NumberFormat");
  const uno::Sequence<css::beans::GetPropertyTolerantResult> format =
      TolerantOf(handles)->getPropertyValuesTolerant(
          uno::Sequence<rtl::OUString>(&numberFormat, 1));
  sal_Int32 key = 0;
  if (format.getLength() == 1 &&
      format[0].Result == css::beans::TolerantPropertySetResultType::SUCCESS &&
      format[0].State != css::beans::PropertyState_AMBIGUOUS_VALUE && (format[0].Value >>= key)) {
    allLogical = IsLogicalFormat(document, key);
  } else {
    const uno::Reference<css::container::XIndexAccess> groups =
        FormatsOf(handles)->getUniqueCellFormatRanges();
    for (sal_Int32 i = 0, n = groups->getCount(); i < n; ++i) {
      const uno::Reference<css::sheet::XSheetCellRanges> group(groups->getByIndex(i),
                                                               uno::UNO_QUERY_THROW);
      const uno::Reference<css::beans::XPropertySet> properties(group, uno::UNO_QUERY_THROW);
      sal_Int32 groupKey = 0;
      properties->getPropertyValue("NumberFormat") >>= groupKey;
      if (IsLogicalFormat(document, groupKey)) AddCells(group->getRangeAddresses(), area, logical);
    }
  }
  if (allLogical) return candidates;
  // A number is no text: the candidates that are filled are formulas.
  std::optional<CellSet> own;
  std::optional<CellSet>& known = filled != nullptr ? *filled : own;
  if (!known) known = FilledCells(handles);
  for (const auto& [row, column] : candidates) {
    if (logical.count({row, column}) != 0 || known->count({row, column}) == 0) continue;
    const uno::Reference<css::text::XText> text(handles.range->getCellByPosition(column, row),
                                                uno::UNO_QUERY_THROW);
    if (IsLogicalText(text->getString())) logical.emplace(row, column);
  }
  CellSet result;
  for (const auto& cell : candidates) {
    if (logical.count(cell) != 0) result.insert(cell);
  }
  return result;
}
}  // namespace excel::calc
