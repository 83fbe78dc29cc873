// Every formula cell of a workbook with Calc's own result, read in a few
// calls per sheet: the formula cells' rectangles (queryContentCells), then
// per rectangle its formulas and results as arrays. Only error results
// (one getError each) and results of 0 or 1 whose format is mixed (the
// logical check of calc_range.cpp) cost calls per cell.
#include "excel/calc/calc_recalculation.h"

#include <stdlib.h>
#include <com/sun/star/container/XNameAccess.hpp>
#include <com/sun/star/lang/XMultiComponentFactory.hpp>
#include <com/sun/star/sheet/CellFlags.hpp>
#include <com/sun/star/sheet/XCalculatable.hpp>
#include <com/sun/star/sheet/XSheetCellRanges.hpp>

#include <algorithm>
#include <filesystem>
#include <map>
#include <system_error>

#include "excel/calc/calc_application.h"
#include "excel/calc/calc_errors.h"
#include "excel/calc/calc_objects.h"
#include "excel/calc/cell_formats.h"
#include "excel/calc/formula_rewrites.h"
#include "excel/calc/macro_names.h"
#include "excel/calc/sheet_addresses.h"
#include "excel/errors.h"
#include "text/ascii.h"

namespace excel::calc {
namespace uno = css::uno;
namespace fs = std::filesystem;
namespace {

// A folder of its own for the copy, removed with everything in it.
class PrivateFolder {
 public:
  PrivateFolder() {
    std::string pattern = (fs::temp_directory_path() / "gridmoor-check-XXXXXX").string();
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

CellResult ErrorResult(sal_Int32 calcError) {
  const std::optional<std::string> formula = ErrorFormula(ExcelErrorFromCalc(calcError));
  return CellResult{CellResult::Kind::kError, 0, formula ? formula->substr(1) : "#VALUE!"};
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
      RecalculatedCell cell{
          sheetIndex, address.StartRow + r, address.StartColumn + c, ToUtf8(texts[r][c]), {}, false};
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
    if (logical.count({cell.row - address.StartRow, cell.column - address.StartColumn}) != 0)
      cell.result.kind = CellResult::Kind::kLogical;
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

std::vector<std::string> KnownFunctions(OfficeSession& office) {
  const uno::Reference<css::container::XNameAccess> descriptions(
      office.Context()->getServiceManager()->createInstanceWithContext(
          "com.sun.star.sheet.FunctionDescriptions", office.Context()),
      uno::UNO_QUERY_THROW);
  std::vector<std::string> names;
  for (const rtl::OUString& name : descriptions->getElementNames()) {
    std::string upper = ToUtf8(name);
    std::transform(upper.begin(), upper.end(), upper.begin(),
                   [](char c) { return text::UpperAscii(c); });
    names.push_back(std::move(upper));
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

class CalcRecalculator final : public WorkbookRecalculator {
 public:
  RecalculatedWorkbook Recalculate(const std::string& path) override {
    const fs::path source = fs::absolute(path);
    std::error_code ec;
    if (!fs::exists(source, ec))
      com::Throw(kApplicationError, source.filename().string() + " could not be found");
    if (fs::is_directory(source, ec))
      com::Throw(kApplicationError, source.filename().string() + " is a folder, not a workbook");
    PrivateFolder folder;
    const fs::path copy = folder.Path() / source.filename();
    if (!fs::copy_file(source, copy, ec))
      com::Throw(kApplicationError, "could not copy " + source.string() + ": " + ec.message());

    const com::Ptr<Application> application = CreateCalcApplication();
    struct QuitOnExit {
      const com::Ptr<Application>& application;
      ~QuitOnExit() { application->Quit(); }
    } quit{application};
    auto& calc = dynamic_cast<CalcApplication&>(*application.Get());
    const std::vector<com::Variant> missing(kOpenOptionalCountOld, com::Variant::Missing());
    const com::Ptr<Workbook> workbook =
        application->GetWorkbooks()->Open(com::Bstr::FromUtf8(copy.string()), missing, 0);
    const std::shared_ptr<Document> document =
        dynamic_cast<CalcWorkbook&>(*workbook.Get()).GetDocument();

    RecalculatedWorkbook result;
    result.rewrites = FormulaRewritesOf(*document);
    document->Call(kApplicationError, [&] {
      const uno::Reference<css::sheet::XCalculatable> calculatable(document->component,
                                                                   uno::UNO_QUERY_THROW);
      calculatable->calculateAll();
      result.formulas = ReadFormulas(*document, result.sheets);
      result.functions = KnownFunctions(*document->office);
      result.modules = Modules(DocumentMacros(*document));
      result.officeModules = Modules(ApplicationMacros(*document->office));
    });
    for (const CompileFailure& failure : FindCompileFailures(calc, document)) {
      auto module =
          std::find_if(result.modules.begin(), result.modules.end(), [&](const MacroModuleInfo& m) {
            return m.library == failure.library && m.module == failure.module;
          });
      if (module == result.modules.end())
        module = result.modules.insert(
            result.modules.end(), MacroModuleInfo{failure.library, failure.module, {}, true, {}, {}});
      module->compiles = false;
      module->failingProcedures = failure.procedures;
    }
    return result;
  }
};

}  // namespace

std::unique_ptr<WorkbookRecalculator> CreateCalcRecalculator() {
  return std::make_unique<CalcRecalculator>();
}

}  // namespace excel::calc
