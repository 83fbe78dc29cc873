// Workbook, Sheets and Worksheet of the Calc application.
#include <com/sun/star/container/NoSuchElementException.hpp>
#include <com/sun/star/container/XIndexAccess.hpp>
#include <com/sun/star/container/XNamed.hpp>
#include <com/sun/star/lang/DisposedException.hpp>
#include <com/sun/star/sheet/XCellRangeAddressable.hpp>
#include <com/sun/star/sheet/XCellRangeReferrer.hpp>
#include <com/sun/star/sheet/XNamedRanges.hpp>
#include <com/sun/star/sheet/XSpreadsheetView.hpp>
#include <com/sun/star/sheet/XSpreadsheets.hpp>
#include <com/sun/star/util/XCloseable.hpp>

#include <cctype>
#include <cstdint>
#include <limits>

#include "excel/calc/calls/calc_objects.h"
#include "excel/calc/cells/cell_input.h"
#include "excel/calc/cells/moved_cells.h"
#include "excel/calc/documents/workbook_storing.h"
#include "excel/calc/formulas/sheet_addresses.h"
#include "excel/calc/process/office_program.h"
#include "excel/errors.h"
#include "text/ascii.h"
#include "text/utf8.h"

namespace excel::calc {
namespace uno = css::uno;
namespace {

bool IsMissingOrEmpty(const com::VARIANT& value) {
  return value.vt == com::VT_EMPTY ||
         (value.vt == com::VT_ERROR && value.scode == com::DISP_E_PARAMNOTFOUND);
}

std::u16string BstrText(const com::VARIANT& value) {
  return value.bstrVal == nullptr ? std::u16string()
                                  : std::u16string(value.bstrVal, GmSysStringLen(value.bstrVal));
}

// True for a VARIANT that a spreadsheet takes as "yes" in SaveChanges.
bool IsTrue(const com::VARIANT& value) {
  switch (value.vt) {
    case com::VT_BOOL:
      return value.boolVal != com::VARIANT_FALSE;
    case com::VT_I4:
    case com::VT_INT:
      return value.lVal != 0;
    case com::VT_I2:
      return value.iVal != 0;
    case com::VT_R8:
      return value.dblVal != 0;
    default:
      return false;
  }
}

uno::Reference<css::sheet::XSpreadsheetView> ViewOf(Document& document) {
  return uno::Reference<css::sheet::XSpreadsheetView>(document.model->getCurrentController(),
                                                      uno::UNO_QUERY);
}

std::u16string NewSheetName(const uno::Sequence<rtl::OUString>& names) {
  for (sal_Int32 n = names.getLength() + 1;; ++n) {
    const std::u16string candidate = u"Sheet" + ToU16(rtl::OUString::number(n));
    bool taken = false;
    for (const rtl::OUString& name : names)
      taken = taken || text::EqualsNoCase(ToU16(name), candidate);
    if (!taken) return candidate;
  }
}

}  // namespace

void Document::CheckNotClosedInOffice() {
  bool known = false;
  {
    std::lock_guard lock(mutex);
    if (closed) return;
    known = closedInOffice;
  }
  if (office->Disconnected()) return;
  if (!known) {
    try {
      office->Call(kApplicationError, [&] { static_cast<void>(model->getURL()); });
      return;  // the document is there: something else is gone
    } catch (const com::Error& error) {
      if (error.hr() != com::RPC_E_DISCONNECTED || office->Disconnected()) return;
    }
  }
  std::string name;
  std::string macro;
  {
    std::lock_guard lock(mutex);
    closedInOffice = true;
    name = title;
    macro = lastMacro;
  }
  com::Throw(com::RPC_E_DISCONNECTED,
             "The workbook " + name + " was closed by a macro" +
                 (macro.empty() ? std::string() : " (the last one run: " + macro + ")") +
                 ": its cells can no longer be read or written");
}

void CalcWorkbook::CheckUsable() {
  application_->CheckUsable();
  document_->CheckUsable();
}

void CalcWorkbook::Activate(std::int32_t) {
  CheckUsable();
  application_->Activate(document_);
}

void CalcWorkbook::Close(const com::Variant& saveChanges, const com::Variant& filename,
                         const com::Variant& routeWorkbook, std::int32_t) {
  (void)routeWorkbook;
  CheckUsable();
  if (IsTrue(Dereferenced(saveChanges))) {
    const com::VARIANT& name = Dereferenced(filename);
    if (name.vt == com::VT_BSTR && GmSysStringLen(name.bstrVal) > 0) {
      const std::string path = AbsolutePath(com::BstrToUtf8(name.bstrVal));
      StoreTo(*document_, path, false);
      std::lock_guard lock(document_->mutex);
      document_->path = path;
    } else {
      Save(0);
    }
  }
  document_->Call(kApplicationError, [&] {
    const uno::Reference<css::util::XCloseable> closeable(document_->component,
                                                          uno::UNO_QUERY_THROW);
    closeable->close(true);
  });
  {
    std::lock_guard lock(document_->mutex);
    document_->closed = true;
  }
  document_->office->ReleaseLock(document_->lockId);
  application_->RemoveDocument(document_.get());
}

void CalcWorkbook::Save(std::int32_t) {
  CheckUsable();
  std::string path;
  {
    std::lock_guard lock(document_->mutex);
    path = document_->path;
  }
  // A workbook that was never saved has no file or format to save in.
  if (path.empty()) com::Throw(kApplicationError);
  StoreInPlace(*document_, path);
  document_->office->FollowSave(document_->lockId, path);
}

void CalcWorkbook::SaveCopyAs(const com::Variant& filename, std::int32_t) {
  CheckUsable();
  const com::VARIANT& name = Dereferenced(filename);
  if (name.vt != com::VT_BSTR) com::Throw(com::DISP_E_TYPEMISMATCH);
  if (GmSysStringLen(name.bstrVal) == 0) com::Throw(kApplicationError);
  StoreTo(*document_, AbsolutePath(com::BstrToUtf8(name.bstrVal)), true);
}

void CalcWorkbook::RunAutoMacros(std::int32_t which, std::int32_t) {
  static constexpr const char* kProcedures[] = {"Auto_Open", "Auto_Close", "Auto_Activate",
                                                "Auto_Deactivate"};
  if (which < 1 || which > 4) com::Throw(kApplicationError);
  CheckUsable();
  RunAutoMacro(*application_, document_, kProcedures[which - 1]);
}

com::Ptr<Sheets> CalcWorkbook::GetSheets() {
  CheckUsable();
  return com::MakeObject<CalcSheets>(application_, document_);
}

com::Ptr<Sheets> CalcWorkbook::GetWorksheets() {
  // Every sheet of a Calc document is a worksheet: chart sheets come in as
  // ordinary sheets.
  return GetSheets();
}

com::Ptr<Application> CalcWorkbook::GetApplication() {
  CheckUsable();
  return application_;
}

com::Ptr<com::Unknown> CalcSheets::Wrap(const uno::Reference<css::sheet::XSpreadsheet>& sheet,
                                        std::u16string cacheName) {
  return com::MakeObject<CalcWorksheet>(application_, document_, sheet, std::move(cacheName));
}

std::int32_t CalcSheets::GetCount() {
  application_->CheckUsable();
  return document_->Call(kApplicationError, [&] {
    const uno::Reference<css::container::XIndexAccess> sheets(document_->spreadsheet->getSheets(),
                                                              uno::UNO_QUERY_THROW);
    return static_cast<std::int32_t>(sheets->getCount());
  });
}

std::optional<std::vector<com::Bstr>> CalcSheets::Names() {
  application_->CheckUsable();
  // Every sheet of a spreadsheet document is a worksheet, listed in order.
  return document_->Call(kApplicationError, [&] {
    std::vector<com::Bstr> names;
    for (const rtl::OUString& name : SheetsOf(*document_)->getElementNames())
      names.push_back(com::Bstr::FromUtf16(ToU16(name)));
    return names;
  });
}

uno::Reference<css::sheet::XSpreadsheets> SheetsOf(Document& document) {
  {
    std::lock_guard lock(document.mutex);
    if (document.sheets.is()) return document.sheets;
  }
  const uno::Reference<css::sheet::XSpreadsheets> sheets = document.spreadsheet->getSheets();
  // A document a macro closed has no sheets.
  if (!sheets.is()) throw css::lang::DisposedException();
  std::lock_guard lock(document.mutex);
  document.sheets = sheets;
  return sheets;
}

namespace {

// The sheet asked for by this name before, unless the sheets changed since.
uno::Reference<css::sheet::XSpreadsheet> RememberedSheet(Document& document,
                                                         const std::u16string& wanted,
                                                         std::uint64_t generation) {
  std::lock_guard lock(document.mutex);
  const auto found = document.sheetsByName.find(wanted);
  if (found == document.sheetsByName.end() || found->second.generation != generation) return {};
  return found->second.sheet;
}

void RememberSheet(Document& document, const std::u16string& wanted,
                   const uno::Reference<css::sheet::XSpreadsheet>& sheet,
                   std::uint64_t generation) {
  std::lock_guard lock(document.mutex);
  if (document.sheetsByName.size() >= 1024) document.sheetsByName.clear();
  document.sheetsByName[wanted] = Document::SheetTarget{sheet, generation};
}

uno::Reference<css::sheet::XSpreadsheet> SheetNamed(
    const uno::Reference<css::sheet::XSpreadsheets>& sheets, const std::u16string& wanted) {
  // One call when the office knows the name (it compares names without
  // regard to case, and no two sheets differ in case alone).
  try {
    return uno::Reference<css::sheet::XSpreadsheet>(sheets->getByName(ToOUString(wanted)),
                                                    uno::UNO_QUERY_THROW);
  } catch (const css::container::NoSuchElementException&) {
  }
  // Sheet names compare without regard to case; an exact match wins.
  rtl::OUString found;
  for (const rtl::OUString& name : sheets->getElementNames()) {
    if (ToU16(name) == wanted) {
      found = name;
      break;
    }
    if (found.isEmpty() && text::EqualsNoCase(ToU16(name), wanted)) found = name;
  }
  if (found.isEmpty()) com::Throw(com::DISP_E_BADINDEX);
  return uno::Reference<css::sheet::XSpreadsheet>(sheets->getByName(found), uno::UNO_QUERY_THROW);
}

// A sheet position from 1 as a number VARIANT gives it.
std::int32_t SheetPosition(const com::VARIANT& value) {
  switch (value.vt) {
    case com::VT_I4:
    case com::VT_INT:
      return value.lVal;
    case com::VT_I2:
      return value.iVal;
    case com::VT_R8:
      // Whole positions only, and none that an int cannot hold.
      if (!(value.dblVal >= 1 && value.dblVal <= std::numeric_limits<std::int32_t>::max()) ||
          value.dblVal != static_cast<double>(static_cast<std::int32_t>(value.dblVal)))
        com::Throw(com::DISP_E_BADINDEX);
      return static_cast<std::int32_t>(value.dblVal);
    default:
      com::Throw(com::DISP_E_TYPEMISMATCH);
  }
}

}  // namespace

com::Ptr<com::Unknown> CalcSheets::GetItem(const com::Variant& index) {
  application_->CheckUsable();
  const com::VARIANT& value = Dereferenced(index);
  uno::Reference<css::sheet::XSpreadsheet> sheet;
  if (value.vt == com::VT_BSTR) {
    const std::u16string wanted = BstrText(value);
    const Freshness now = CheckedFreshness(*document_);
    sheet = RememberedSheet(*document_, wanted, now.generation);
    if (sheet.is()) return Wrap(sheet, wanted);
    document_->Call(kApplicationError, [&] { sheet = SheetNamed(SheetsOf(*document_), wanted); });
    RememberSheet(*document_, wanted, sheet, now.generation);
    return Wrap(sheet, wanted);
  }
  const std::int32_t position = SheetPosition(value);
  document_->Call(kApplicationError, [&] {
    const uno::Reference<css::container::XIndexAccess> sheets(document_->spreadsheet->getSheets(),
                                                              uno::UNO_QUERY_THROW);
    if (position < 1 || position > sheets->getCount()) com::Throw(com::DISP_E_BADINDEX);
    sheet.set(sheets->getByIndex(position - 1), uno::UNO_QUERY_THROW);
  });
  return Wrap(sheet);
}

com::Ptr<com::Unknown> CalcSheets::Add(const com::Variant& before, const com::Variant& after,
                                       const com::Variant& count, const com::Variant& type,
                                       std::int32_t) {
  application_->CheckUsable();
  // Placing by another sheet needs a sheet object, which a VARIANT here
  // cannot carry; one worksheet at a time.
  if (!IsMissingOrEmpty(Dereferenced(before)) || !IsMissingOrEmpty(Dereferenced(after)))
    com::Throw(com::DISP_E_TYPEMISMATCH);
  const com::VARIANT& howMany = Dereferenced(count);
  if (!IsMissingOrEmpty(howMany) &&
      !((howMany.vt == com::VT_I4 || howMany.vt == com::VT_INT) && howMany.lVal == 1))
    com::Throw(kApplicationError);
  const com::VARIANT& kind = Dereferenced(type);
  constexpr std::int32_t kWorksheetType = -4167;  // xlWorksheet
  if (!IsMissingOrEmpty(kind) &&
      !((kind.vt == com::VT_I4 || kind.vt == com::VT_INT) && kind.lVal == kWorksheetType))
    com::Throw(kApplicationError);

  uno::Reference<css::sheet::XSpreadsheet> sheet;
  document_->Call(kApplicationError, [&] {
    const uno::Reference<css::sheet::XSpreadsheets> sheets = document_->spreadsheet->getSheets();
    const uno::Reference<css::sheet::XSpreadsheetView> view = ViewOf(*document_);
    sal_Int16 position = 0;
    if (view.is()) {
      const uno::Reference<css::sheet::XCellRangeAddressable> active(view->getActiveSheet(),
                                                                     uno::UNO_QUERY);
      if (active.is()) position = active->getRangeAddress().Sheet;
    }
    const rtl::OUString name = ToOUString(NewSheetName(sheets->getElementNames()));
    sheets->insertNewByName(name, position);
    sheet.set(sheets->getByName(name), uno::UNO_QUERY_THROW);
    // The new sheet becomes the active one, as in the spreadsheet.
    if (view.is()) view->setActiveSheet(sheet);
  });
  return Wrap(sheet);
}

com::Bstr CalcWorksheet::GetName() {
  application_->CheckUsable();
  return document_->Call(kApplicationError, [&] {
    const uno::Reference<css::container::XNamed> named(sheet_, uno::UNO_QUERY_THROW);
    return com::Bstr::FromUtf16(ToU16(named->getName()));
  });
}

void CalcWorksheet::PutName(const com::Bstr& name) {
  application_->CheckUsable();
  const std::u16string wanted(name.View());
  const auto refuse = [&](const char* why) {
    com::Throw(kApplicationError,
               "A sheet cannot be named \"" + text::Utf16ToUtf8(wanted) + "\": " + why);
  };
  if (!IsAcceptableSheetName(wanted))
    refuse("a name has 1 to 31 characters, none of : \\ / ? * [ ], and no quote at either end");
  document_->Call(kApplicationError, [&] {
    const uno::Reference<css::container::XNamed> named(sheet_, uno::UNO_QUERY_THROW);
    const rtl::OUString current = named->getName();
    if (ToU16(current) == wanted) return;
    for (const rtl::OUString& other : document_->spreadsheet->getSheets()->getElementNames()) {
      if (other != current && text::EqualsNoCase(ToU16(other), wanted))
        refuse("another sheet has that name");
    }
    named->setName(ToOUString(wanted));
    // Calc ignores a name it does not accept without saying so.
    if (ToU16(named->getName()) != wanted) refuse("the office does not accept it");
  });
  // Ranges shared under the old name are no longer this sheet's.
  {
    std::lock_guard lock(mutex_);
    cacheName_.clear();
  }
  std::lock_guard lock(document_->mutex);
  ++document_->generation;
}

void CalcWorksheet::Activate(std::int32_t) {
  application_->CheckUsable();
  document_->Call(kApplicationError, [&] {
    const uno::Reference<css::sheet::XSpreadsheetView> view = ViewOf(*document_);
    if (view.is()) view->setActiveSheet(sheet_);
  });
}

std::optional<CellArea> CalcWorksheet::AreaOfName(const std::u16string& name) {
  const uno::Reference<css::beans::XPropertySet> properties(document_->spreadsheet,
                                                            uno::UNO_QUERY_THROW);
  const uno::Reference<css::sheet::XNamedRanges> names(properties->getPropertyValue("NamedRanges"),
                                                       uno::UNO_QUERY_THROW);
  rtl::OUString found;
  for (const rtl::OUString& candidate : names->getElementNames()) {
    if (text::EqualsNoCase(ToU16(candidate), name)) found = candidate;
  }
  if (found.isEmpty()) return std::nullopt;
  const uno::Reference<css::sheet::XCellRangeReferrer> referrer(names->getByName(found),
                                                                uno::UNO_QUERY_THROW);
  const uno::Reference<css::sheet::XCellRangeAddressable> cells(referrer->getReferredCells(),
                                                                uno::UNO_QUERY);
  if (!cells.is()) return std::nullopt;  // a name for a constant or a formula
  const css::table::CellRangeAddress address = cells->getRangeAddress();
  const uno::Reference<css::sheet::XCellRangeAddressable> self(sheet_, uno::UNO_QUERY_THROW);
  // A name on another sheet is no range of this one.
  if (address.Sheet != self->getRangeAddress().Sheet) return std::nullopt;
  return CellArea{address.StartColumn, address.StartRow, address.EndColumn, address.EndRow};
}

RangeTarget CalcWorksheet::Resolve(const std::u16string& cell1, const std::u16string* cell2) {
  RangeTarget target;
  const auto areaOf = [&](const std::u16string& text) -> CellArea {
    std::string ascii;
    for (const char16_t c : text)
      ascii += c < 0x80 ? static_cast<char>(c) : '\x7f';
    if (std::optional<CellArea> area = ParseA1Area(ascii)) return *area;
    if (std::optional<CellArea> named = AreaOfName(text)) {
      target.throughName = true;
      return *named;
    }
    const uno::Reference<css::container::XNamed> sheetName(sheet_, uno::UNO_QUERY_THROW);
    com::Throw(kApplicationError, "Invalid cell reference \"" +
                                      text::Utf16ToUtf8(text.substr(0, 64)) + "\" on sheet " +
                                      ToUtf8(sheetName->getName()) +
                                      ": no cell of the sheet and no name");
  };
  target.handles = std::make_shared<RangeHandles>();
  RangeHandles& handles = *target.handles;
  document_->Call(kApplicationError, [&] {
    handles.area = areaOf(cell1);
    if (cell2 != nullptr) handles.area = BoundingArea(handles.area, areaOf(*cell2));
    const CellArea& a = handles.area;
    if (a.IsSingleCell()) {
      handles.cell = sheet_->getCellByPosition(a.firstColumn, a.firstRow);
    } else {
      handles.range =
          sheet_->getCellRangeByPosition(a.firstColumn, a.firstRow, a.lastColumn, a.lastRow);
    }
  });
  return target;
}

com::Ptr<Range> CalcWorksheet::GetRange(const com::Variant& cell1, const com::Variant& cell2) {
  application_->CheckUsable();
  document_->CheckUsable();
  const com::VARIANT& first = Dereferenced(cell1);
  const com::VARIANT& second = Dereferenced(cell2);
  if (first.vt != com::VT_BSTR) com::Throw(com::DISP_E_TYPEMISMATCH);
  const bool hasSecond = !IsMissingOrEmpty(second);
  if (hasSecond && second.vt != com::VT_BSTR) com::Throw(com::DISP_E_TYPEMISMATCH);
  const std::u16string text1 = BstrText(first);
  const std::u16string text2 = hasSecond ? BstrText(second) : std::u16string();
  const std::u16string key = hasSecond ? text1 + u'\x01' + text2 : text1;

  const Freshness now = CheckedFreshness(*document_);
  std::u16string shared;
  {
    std::lock_guard lock(mutex_);
    if (!cacheName_.empty()) shared = cacheName_ + u'\x02' + key;
    const auto found = cache_.find(key);
    if (shared.empty() && found != cache_.end() && StillValid(found->second, now))
      return MakeRange(application_, document_, found->second);
  }
  if (!shared.empty()) {
    std::lock_guard lock(document_->mutex);
    const auto found = document_->ranges.find(shared);
    if (found != document_->ranges.end() && StillValid(found->second, now))
      return MakeRange(application_, document_, found->second);
  }
  RangeTarget target = Resolve(text1, hasSecond ? &text2 : nullptr);
  target.generation = now.generation;
  target.macrosRun = now.macrosRun;
  WatchRange(*document_, *target.handles);
  constexpr std::size_t kMaxCached = 1 << 16;
  if (!shared.empty()) {
    std::lock_guard lock(document_->mutex);
    if (document_->ranges.size() >= kMaxCached) document_->ranges.clear();
    document_->ranges[shared] = target;
  } else {
    std::lock_guard lock(mutex_);
    if (cache_.size() >= kMaxCached) cache_.clear();
    cache_[key] = target;
  }
  return MakeRange(application_, document_, target);
}

}  // namespace excel::calc
