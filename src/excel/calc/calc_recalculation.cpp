// Every formula cell of a workbook with Calc's own result, read in a few
// calls per sheet: the formula cells' rectangles (queryContentCells), then
// per rectangle its formulas and results as arrays. Only error results
// (one getError each) and results of 0 or 1 whose format is mixed (the
// logical check of calc_range.cpp) cost calls per cell.
#include "excel/calc/calc_recalculation.h"

#include <stdlib.h>
#include <unistd.h>
#include <com/sun/star/container/XNameAccess.hpp>
#include <com/sun/star/lang/XMultiComponentFactory.hpp>
#include <com/sun/star/sheet/AddressConvention.hpp>
#include <com/sun/star/sheet/CellFlags.hpp>
#include <com/sun/star/sheet/ComplexReference.hpp>
#include <com/sun/star/sheet/FormulaLanguage.hpp>
#include <com/sun/star/sheet/NameToken.hpp>
#include <com/sun/star/sheet/ReferenceFlags.hpp>
#include <com/sun/star/sheet/SingleReference.hpp>
#include <com/sun/star/sheet/XCalculatable.hpp>
#include <com/sun/star/sheet/XCellRangeAddressable.hpp>
#include <com/sun/star/sheet/XCellRangeReferrer.hpp>
#include <com/sun/star/sheet/XFormulaParser.hpp>
#include <com/sun/star/sheet/XNamedRange.hpp>
#include <com/sun/star/sheet/XSheetCellRanges.hpp>

#include <algorithm>
#include <filesystem>
#include <map>
#include <set>
#include <system_error>
#include <tuple>

#include "excel/calc/basic/macro_names.h"
#include "excel/calc/calc_application.h"
#include "excel/calc/calls/calc_errors.h"
#include "excel/calc/calls/calc_objects.h"
#include "excel/calc/cells/cell_formats.h"
#include "excel/calc/documents/formula_rewrites.h"
#include "excel/calc/formulas/formula_text.h"
#include "excel/calc/formulas/sheet_addresses.h"
#include "excel/calc/process/office_profile.h"
#include "excel/calc/process/office_program.h"
#include "excel/errors.h"
#include "text/ascii.h"

namespace excel::calc {
namespace uno = css::uno;
namespace fs = std::filesystem;
namespace {

// A folder of its own for the copy, removed with everything in it; named
// as the office's folders are, so that a later office start removes it once
// this process has ended without doing so.
class PrivateFolder {
 public:
  PrivateFolder() {
    std::string pattern = (TemporaryRoot() / (std::string(kOfficeFolderPrefix) +
                                              std::to_string(::getpid()) + "-copy-XXXXXX"))
                              .string();
    if (mkdtemp(pattern.data()) == nullptr)
      com::Throw(kApplicationError, "no private folder could be made for the workbook's copy");
    path_ = pattern;
  }
  ~PrivateFolder() {
    std::error_code ec;
    fs::remove_all(path_, ec);
  }
  PrivateFolder(const PrivateFolder&) = delete;
  PrivateFolder& operator=(const PrivateFolder&) = delete;
  const fs::path& Path() const { return path_; }

 private:
  fs::path path_;
};

std::string Capitals(std::string name) {
  std::transform(name.begin(), name.end(), name.begin(),
                 [](char c) { return text::UpperAscii(c); });
  return name;
}

CellResult ErrorResult(sal_Int32 calcError) {
  return CellResult{CellResult::Kind::kError, 0, CalcErrorName(calcError)};
}

// The formulas and results of one rectangle of formula cells.
void ReadArea(Document& document, const uno::Reference<css::sheet::XSpreadsheet>& sheet,
              int sheetIndex, const css::table::CellRangeAddress& address,
              std::vector<RecalculatedCell>& out) {
  RangeHandles handles;
  handles.area = CellArea{address.StartColumn, address.StartRow, address.EndColumn, address.EndRow};
  handles.range = sheet->getCellRangeByPosition(address.StartColumn, address.StartRow,
                                                address.EndColumn, address.EndRow);
  const uno::Reference<css::sheet::XCellRangeFormula> formulas(handles.range, uno::UNO_QUERY_THROW);
  handles.data.set(handles.range, uno::UNO_QUERY_THROW);
  const uno::Sequence<uno::Sequence<rtl::OUString>> texts = formulas->getFormulaArray();
  const uno::Sequence<uno::Sequence<uno::Any>> values = handles.data->getDataArray();
  const std::size_t first = out.size();
  CellSet zeroOrOne;
  for (sal_Int32 r = 0; r < texts.getLength() && r < values.getLength(); ++r) {
    for (sal_Int32 c = 0; c < texts[r].getLength() && c < values[r].getLength(); ++c) {
      // The rectangles hold formula cells only; an empty one has no formula.
      if (!texts[r][c].startsWith("=") && !texts[r][c].startsWith("{")) continue;
      RecalculatedCell cell{sheetIndex,
                            address.StartRow + r,
                            address.StartColumn + c,
                            ToUtf8(texts[r][c]),
                            {},
                            false,
                            false,
                            false};
      double number = 0;
      rtl::OUString text;
      if (values[r][c] >>= number) {
        cell.result = CellResult{CellResult::Kind::kNumber, number, {}};
        if (number == 0 || number == 1) zeroOrOne.emplace(r, c);
      } else if (values[r][c] >>= text) {
        cell.result = CellResult{CellResult::Kind::kText, 0, ToUtf8(text)};
      } else {
        const sal_Int32 error = handles.range->getCellByPosition(c, r)->getError();
        if (error != 0) cell.result = ErrorResult(error);
      }
      out.push_back(std::move(cell));
    }
  }
  if (zeroOrOne.empty()) return;
  const CellSet logical = LogicalCells(document, handles, zeroOrOne);
  for (std::size_t i = first; i < out.size(); ++i) {
    RecalculatedCell& cell = out[i];
    // Still a number: the format only says how the office shows it.
    if (logical.count({cell.row - address.StartRow, cell.column - address.StartColumn}) != 0)
      cell.shownAsLogical = true;
  }
}

std::vector<RecalculatedCell> ReadFormulas(Document& document, std::vector<std::string>& names) {
  const uno::Reference<css::sheet::XSpreadsheets> all = document.spreadsheet->getSheets();
  const uno::Reference<css::container::XIndexAccess> sheets(all, uno::UNO_QUERY_THROW);
  // In the order of the sheets' positions.
  for (const rtl::OUString& name : all->getElementNames())
    names.push_back(ToUtf8(name));
  std::vector<RecalculatedCell> cells;
  for (sal_Int32 i = 0, n = sheets->getCount(); i < n; ++i) {
    const uno::Reference<css::sheet::XSpreadsheet> sheet(sheets->getByIndex(i),
                                                         uno::UNO_QUERY_THROW);
    const uno::Reference<css::sheet::XCellRangesQuery> query(sheet, uno::UNO_QUERY_THROW);
    const uno::Reference<css::sheet::XSheetCellRanges> found =
        query->queryContentCells(css::sheet::CellFlags::FORMULA);
    if (!found.is()) continue;
    for (const css::table::CellRangeAddress& address : found->getRangeAddresses())
      ReadArea(document, sheet, static_cast<int>(i), address, cells);
  }
  std::sort(cells.begin(), cells.end(), [](const RecalculatedCell& a, const RecalculatedCell& b) {
    return std::tie(a.sheet, a.row, a.column) < std::tie(b.sheet, b.row, b.column);
  });
  return cells;
}

using CellKey = std::tuple<int, int, int>;  // sheet, row, column

struct Area {
  int sheet, firstRow, firstColumn, lastRow, lastColumn;
};

// The cell a reference names, as seen from `at`.
CellKey Resolved(const css::sheet::SingleReference& ref, const RecalculatedCell& at) {
  namespace flags = css::sheet::ReferenceFlags;
  const int sheet = (ref.Flags & flags::SHEET_3D) == 0         ? at.sheet
                    : (ref.Flags & flags::SHEET_RELATIVE) != 0 ? at.sheet + ref.RelativeSheet
                                                               : ref.Sheet;
  const int row = (ref.Flags & flags::ROW_RELATIVE) != 0 ? at.row + ref.RelativeRow : ref.Row;
  const int column =
      (ref.Flags & flags::COLUMN_RELATIVE) != 0 ? at.column + ref.RelativeColumn : ref.Column;
  return {sheet, row, column};
}

// The workbook's names for cells, by the index a formula's token of the
// name carries.
std::map<sal_Int32, Area> NamedAreas(Document& document) {
  std::map<sal_Int32, Area> areas;
  const uno::Reference<css::beans::XPropertySet> properties(document.spreadsheet,
                                                            uno::UNO_QUERY_THROW);
  const uno::Reference<css::container::XIndexAccess> names(
      properties->getPropertyValue("NamedRanges"), uno::UNO_QUERY_THROW);
  for (sal_Int32 i = 0, n = names->getCount(); i < n; ++i) {
    const uno::Reference<css::sheet::XCellRangeReferrer> referrer(names->getByIndex(i),
                                                                  uno::UNO_QUERY);
    const uno::Reference<css::beans::XPropertySet> name(referrer, uno::UNO_QUERY);
    if (!referrer.is() || !name.is()) continue;
    const uno::Reference<css::sheet::XCellRangeAddressable> cells(referrer->getReferredCells(),
                                                                  uno::UNO_QUERY);
    sal_Int32 index = -1;
    if (!cells.is() || !(name->getPropertyValue("TokenIndex") >>= index)) continue;
    const css::table::CellRangeAddress a = cells->getRangeAddress();
    areas[index] = {a.Sheet, a.StartRow, a.StartColumn, a.EndRow, a.EndColumn};
  }
  return areas;
}

// The workbook's global names and what each holds: a cell may differ
// because of what a name it uses calls.
std::vector<DefinedName> DefinedNames(Document& document) {
  std::vector<DefinedName> found;
  const uno::Reference<css::beans::XPropertySet> properties(document.spreadsheet,
                                                            uno::UNO_QUERY_THROW);
  const uno::Reference<css::container::XNameAccess> names(
      properties->getPropertyValue("NamedRanges"), uno::UNO_QUERY_THROW);
  for (const rtl::OUString& name : names->getElementNames()) {
    const uno::Reference<css::sheet::XNamedRange> range(names->getByName(name), uno::UNO_QUERY);
    if (range.is()) found.push_back({ToUtf8(name), ToUtf8(range->getContent())});
  }
  return found;
}

// The areas a formula's references cover, by the workbook's names for
// cells too (other files' cells left out), from the office's own reading
// of it.
std::vector<Area> ReferencedAreas(const uno::Sequence<css::sheet::FormulaToken>& tokens,
                                  const RecalculatedCell& at,
                                  const std::map<sal_Int32, Area>& named) {
  std::vector<Area> areas;
  for (const css::sheet::FormulaToken& token : tokens) {
    css::sheet::SingleReference single;
    css::sheet::ComplexReference complex;
    css::sheet::NameToken name;
    if ((token.Data >>= name) && name.Sheet < 0) {  // a global name
      if (const auto found = named.find(name.Index); found != named.end())
        areas.push_back(found->second);
    } else if (token.Data >>= single) {
      const auto [sheet, row, column] = Resolved(single, at);
      areas.push_back({sheet, row, column, row, column});
    } else if (token.Data >>= complex) {
      const auto [sheet, row1, column1] = Resolved(complex.Reference1, at);
      const auto [sheet2, row2, column2] = Resolved(complex.Reference2, at);
      for (int s = std::min(sheet, sheet2); s <= std::max(sheet, sheet2); ++s)
        areas.push_back({s, std::min(row1, row2), std::min(column1, column2), std::max(row1, row2),
                         std::max(column1, column2)});
    }
  }
  return areas;
}

bool HoldsAny(const std::set<CellKey>& cells, const Area& area) {
  for (auto at = cells.lower_bound({area.sheet, area.firstRow, 0});
       at != cells.end() && *at < CellKey{area.sheet, area.lastRow + 1, 0}; ++at) {
    const int column = std::get<2>(*at);
    if (column >= area.firstColumn && column <= area.lastColumn) return true;
  }
  return false;
}

// Marks (`mark`) the cells `seed` picks and every cell that depends on one
// through its references, on any sheet. (The office's own dependents query
// marks cells by position alone, whatever their sheet.) Each formula is
// read into the office's tokens only when a cell is picked at all.
template <typename Seed>
void MarkWithDependents(Document& document, std::vector<RecalculatedCell>& formulas, Seed&& seed,
                        bool RecalculatedCell::*mark) {
  std::set<CellKey> marked;
  for (RecalculatedCell& cell : formulas) {
    cell.*mark = seed(cell.formula);
    if (cell.*mark) marked.insert({cell.sheet, cell.row, cell.column});
  }
  if (marked.empty()) return;
  // Set to read the formulas as getFormulaArray wrote them.
  const uno::Reference<css::sheet::XFormulaParser> parser = NewFormulaParser(
      document, css::sheet::FormulaLanguage::API, css::sheet::AddressConvention::OOO);
  const std::map<sal_Int32, Area> named = NamedAreas(document);
  std::vector<std::pair<RecalculatedCell*, std::vector<Area>>> rest;
  for (RecalculatedCell& cell : formulas) {
    if (cell.*mark) continue;
    const std::string text = cell.formula.rfind('{', 0) == 0 && cell.formula.size() > 2
                                 ? cell.formula.substr(1, cell.formula.size() - 2)
                                 : cell.formula;
    const css::table::CellAddress position(static_cast<sal_Int16>(cell.sheet), cell.column,
                                           cell.row);
    rest.emplace_back(
        &cell, ReferencedAreas(parser->parseFormula(Utf8ToOUString(text), position), cell, named));
  }
  for (bool added = true; added;) {
    added = false;
    for (auto& [cell, areas] : rest) {
      if (cell->*mark || std::none_of(areas.begin(), areas.end(),
                                      [&](const Area& area) { return HoldsAny(marked, area); }))
        continue;
      cell->*mark = added = true;
      marked.insert({cell->sheet, cell->row, cell->column});
    }
  }
}

// Whether a formula calls one of `functions` (the workbook's own, in
// capitals), unprefixed or as the file format's user-defined function.
bool CallsOneOf(const std::set<std::string>& functions, std::string_view formula) {
  for (const std::string& name : FunctionNamesIn(formula)) {
    std::string upper = Capitals(name);
    if (upper.rfind("_XLUDF.", 0) == 0) upper.erase(0, 7);
    if (functions.count(upper) != 0) return true;
  }
  return false;
}

std::vector<std::string> KnownFunctions(OfficeSession& office) {
  const uno::Reference<css::container::XNameAccess> descriptions(
      office.Context()->getServiceManager()->createInstanceWithContext(
          "com.sun.star.sheet.FunctionDescriptions", office.Context()),
      uno::UNO_QUERY_THROW);
  std::vector<std::string> names;
  for (const rtl::OUString& name : descriptions->getElementNames()) {
    names.push_back(Capitals(ToUtf8(name)));
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::vector<MacroModuleInfo> Modules(const std::vector<MacroEntry>& entries) {
  std::vector<MacroModuleInfo> modules;
  for (const MacroEntry& entry : entries) {
    if (modules.empty() || modules.back().library != entry.library ||
        modules.back().module != entry.module)
      modules.push_back(MacroModuleInfo{entry.library, entry.module, {}, true, {}, {}});
    modules.back().procedures.push_back(
        MacroProcedureInfo{entry.procedure.name, entry.procedure.isFunction});
  }
  return modules;
}

// The workbook's macro functions a formula can call (capitals): those the
// office has no function of the name for.
std::set<std::string> WorkbookFunctions(const std::vector<MacroModuleInfo>& modules,
                                        const std::vector<std::string>& known) {
  std::set<std::string> own;
  for (const MacroModuleInfo& module : modules)
    for (const MacroProcedureInfo& procedure : module.procedures) {
      std::string upper = Capitals(procedure.name);
      if (procedure.isFunction && !std::binary_search(known.begin(), known.end(), upper))
        own.insert(std::move(upper));
    }
  return own;
}

// Each module's source; a module without procedures is listed too.
void AddSources(std::vector<ModuleSource> sources, std::vector<MacroModuleInfo>& modules) {
  for (ModuleSource& each : sources) {
    auto module = std::find_if(modules.begin(), modules.end(), [&](const MacroModuleInfo& m) {
      return m.library == each.library && m.module == each.module;
    });
    if (module == modules.end())
      module = modules.insert(modules.end(),
                              MacroModuleInfo{each.library, each.module, {}, true, {}, {}});
    module->source = std::move(each.source);
  }
}

// The workbook a path names; fails for a missing file or a folder.
fs::path WorkbookAt(const std::string& path) {
  const fs::path source = fs::absolute(path);
  std::error_code ec;
  if (!fs::exists(source, ec))
    com::Throw(kApplicationError, source.filename().string() + " could not be found");
  if (fs::is_directory(source, ec))
    com::Throw(kApplicationError, source.filename().string() + " is a folder, not a workbook");
  return source;
}

// The copy the office opens: it never sees the original.
fs::path CopyInto(const fs::path& source, const PrivateFolder& folder) {
  std::error_code ec;
  const fs::path copy = folder.Path() / source.filename();
  if (!fs::copy_file(source, copy, ec))
    com::Throw(kApplicationError, "could not copy " + source.string() + ": " + ec.message());
  return copy;
}

void CalculateAll(Document& document) {
  const uno::Reference<css::sheet::XCalculatable> calculatable(document.component,
                                                               uno::UNO_QUERY_THROW);
  try {
    calculatable->calculateAll();
  } catch (const css::lang::DisposedException&) {
    throw;
  } catch (const css::uno::RuntimeException& failure) {
    throw css::uno::RuntimeException("the office's recalculation of the workbook failed (" +
                                     failure.Message + ")");
  }
}

// What the recalculated workbook holds: its formulas and values, names,
// functions and macro modules.
void ReadRecalculated(Document& document, RecalculatedWorkbook& result) {
  result.formulas = ReadFormulas(document, result.sheets);
  MarkWithDependents(document, result.formulas, CallsVolatileFunction,
                     &RecalculatedCell::isVolatile);
  result.names = DefinedNames(document);
  result.functions = KnownFunctions(*document.office);
  result.modules = Modules(DocumentMacros(document));
  MarkWithDependents(
      document, result.formulas,
      [own = WorkbookFunctions(result.modules, result.functions)](std::string_view formula) {
        return CallsOneOf(own, formula);
      },
      &RecalculatedCell::callsWorkbookCode);
  AddSources(DocumentModuleSources(document), result.modules);
  result.officeModules = Modules(ApplicationMacros(*document.office));
}

// Marks the modules that do not compile, naming their failing procedures.
void MarkCompileFailures(CalcApplication& calc, const std::shared_ptr<Document>& document,
                         std::vector<MacroModuleInfo>& modules) {
  for (const CompileFailure& failure : FindCompileFailures(calc, document)) {
    auto module = std::find_if(modules.begin(), modules.end(), [&](const MacroModuleInfo& m) {
      return m.library == failure.library && m.module == failure.module;
    });
    if (module == modules.end())
      module = modules.insert(modules.end(),
                              MacroModuleInfo{failure.library, failure.module, {}, true, {}, {}});
    module->compiles = false;
    module->failingProcedures = failure.procedures;
  }
}

class CalcRecalculator final : public WorkbookRecalculator {
 public:
  RecalculatedWorkbook Recalculate(const std::string& path) override {
    const fs::path source = WorkbookAt(path);
    PrivateFolder folder;
    const fs::path copy = CopyInto(source, folder);

    const com::Ptr<Application> application = CreateCalcApplication();
    struct QuitOnExit {
      const com::Ptr<Application>& application;
      ~QuitOnExit() { application->Quit(); }
    } quit{application};
    auto& calc = dynamic_cast<CalcApplication&>(*application.Get());
    // A file from anywhere: looking at it must run none of its code.
    calc.RunNoDocumentCode();
    const std::vector<com::Variant> missing(kOpenOptionalCountOld, com::Variant::Missing());
    const com::Ptr<Workbook> workbook =
        application->GetWorkbooks()->Open(com::Bstr::FromUtf8(copy.string()), missing, 0);
    const std::shared_ptr<Document> document =
        dynamic_cast<CalcWorkbook&>(*workbook.Get()).GetDocument();

    RecalculatedWorkbook result;
    result.officeVersion = OfficeVersion();
    result.fileUrl = FileUrlFromPath(copy);
    result.rewrites = FormulaRewritesOf(*document);
    document->Call(kApplicationError, [&] {
      CalculateAll(*document);
      ReadRecalculated(*document, result);
    });
    MarkCompileFailures(calc, document, result.modules);
    return result;
  }
};

}  // namespace

std::unique_ptr<WorkbookRecalculator> CreateCalcRecalculator() {
  return std::make_unique<CalcRecalculator>();
}

}  // namespace excel::calc
