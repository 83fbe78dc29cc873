// The excel:: objects of the Calc application. Internal to src/excel/calc.
//
// An application object holds its own documents (never another's, although
// all share one office), so application objects are as isolated as two
// spreadsheet processes. Workbooks, sheets and ranges hold their application
// and their document; the application holds its documents, never the
// objects handed out, so nothing forms a reference cycle.
#pragma once

#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/beans/XPropertyState.hpp>
#include <com/sun/star/beans/XTolerantMultiPropertySet.hpp>
#include <com/sun/star/container/XNameContainer.hpp>
#include <com/sun/star/frame/XModel.hpp>
#include <com/sun/star/lang/XComponent.hpp>
#include <com/sun/star/script/XLibraryContainer.hpp>
#include <com/sun/star/script/provider/XScript.hpp>
#include <com/sun/star/sheet/FormulaToken.hpp>
#include <com/sun/star/sheet/XCellRangeData.hpp>
#include <com/sun/star/sheet/XCellRangeFormula.hpp>
#include <com/sun/star/sheet/XCellRangesQuery.hpp>
#include <com/sun/star/sheet/XFormulaParser.hpp>
#include <com/sun/star/sheet/XSheetAnnotations.hpp>
#include <com/sun/star/sheet/XSheetCellRangeContainer.hpp>
#include <com/sun/star/sheet/XSpreadsheet.hpp>
#include <com/sun/star/sheet/XSpreadsheetDocument.hpp>
#include <com/sun/star/sheet/XSpreadsheets.hpp>
#include <com/sun/star/sheet/XUniqueCellFormatRangesSupplier.hpp>
#include <com/sun/star/table/XCell.hpp>
#include <com/sun/star/table/XCellRange.hpp>
#include <com/sun/star/text/XText.hpp>

#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "excel/calc/basic/basic_source.h"
#include "excel/calc/basic/macro_names.h"
#include "excel/calc/calls/uno_office.h"
#include "excel/calc/formulas/sheet_addresses.h"
#include "excel/object_model.h"

namespace excel::calc {

// The office's objects for one range, with the interfaces queried from
// them kept, since each first query is a call to the office.
struct RangeHandles {
  std::mutex mutex;
  CellArea area;
  css::uno::Reference<css::table::XCellRange> range;
  css::uno::Reference<css::table::XCell> cell;  // a single cell only
  css::uno::Reference<css::sheet::XCellRangeData> data;
  css::uno::Reference<css::text::XText> text;
  css::uno::Reference<css::beans::XPropertySet> properties;
  css::uno::Reference<css::beans::XTolerantMultiPropertySet> tolerant;
  css::uno::Reference<css::sheet::XCellRangesQuery> query;
  css::uno::Reference<css::sheet::XUniqueCellFormatRangesSupplier> formats;
  css::uno::Reference<css::sheet::XSheetAnnotations> sheetNotes;  // of the range's sheet
  std::optional<sal_Int16> sheetIndex;
};

// A range as a worksheet hands it out.
struct RangeTarget {
  std::shared_ptr<RangeHandles> handles;
  std::uint64_t generation = 0;
  bool throughName = false;     // reached through a workbook name
  std::uint64_t macrosRun = 0;  // the document's count when it was looked up
};

// The ranges and sheets a document has handed out, watched for a macro
// that moves them (moved_cells.h).
struct CellWatch {
  css::uno::Reference<css::sheet::XSheetCellRangeContainer> ranges;
  // As they were last read (the container's addresses as text, which name
  // the sheets); `known` is false when a range was added since.
  rtl::OUString addresses;
  css::uno::Sequence<rtl::OUString> sheetNames;
  bool known = false;
  bool pending = false;  // a macro ran since the last check
};

// A formula the office could not read as the file wrote it, rewritten when
// the document was opened (formula_rewrites.h).
struct RewrittenFormula {
  sal_Int16 sheet = 0;
  sal_Int32 row = 0;
  sal_Int32 column = 0;
  std::string original;   // as the file writes it, "=" included
  std::string rewritten;  // in the same form, "=" included
  css::uno::Reference<css::table::XCell> cell;
  rtl::OUString held;  // the cell's formula, as the office writes it, while rewritten
  css::uno::Sequence<css::sheet::FormulaToken> asRead;  // spelled as the file does
  css::uno::Sequence<css::sheet::FormulaToken> asRewritten;
};

// One document an application object holds.
struct Document {
  std::shared_ptr<OfficeSession> office;
  css::uno::Reference<css::lang::XComponent> component;
  css::uno::Reference<css::sheet::XSpreadsheetDocument> spreadsheet;
  css::uno::Reference<css::frame::XModel> model;
  std::string path;          // the file it was opened from or saved as; empty if never saved
  std::string title;         // for document-qualified macro names
  std::uint64_t lockId = 0;  // its lock file, held by the office session; 0: none
  std::string holder;        // who holds its file when it was opened read-only

  std::mutex mutex;  // guards everything below
  bool closed = false;
  bool closedInOffice = false;  // by a macro, not by the driver
  std::string lastMacro;        // "Library.Module.Procedure" of the last macro run
  // Bumped whenever cells may have moved (a macro moved what was watched,
  // or a sheet was renamed), so that cached cell references are not used
  // past it.
  std::uint64_t generation = 0;
  std::uint64_t macrosRun = 0;
  CellWatch watch;
  // Sheets already looked up, by the name they were asked for.
  struct SheetTarget {
    css::uno::Reference<css::sheet::XSpreadsheet> sheet;
    std::uint64_t generation = 0;
  };
  std::unordered_map<std::u16string, SheetTarget> sheetsByName;
  css::uno::Reference<css::sheet::XFormulaParser> parser;
  css::uno::Reference<css::sheet::XSpreadsheets> sheets;  // once asked for
  // Ranges already resolved, by the name a sheet was asked for and the
  // address texts, for every worksheet object reached by that name: a cell
  // read again after its sheet was looked up again costs no new range.
  std::unordered_map<std::u16string, RangeTarget> ranges;
  std::optional<sal_Int32> logicalFormat;
  std::map<sal_Int32, bool> formatIsLogical;
  std::map<std::u16string, sal_Int32> formatKeys;
  std::optional<std::vector<MacroEntry>> macros;
  std::map<std::string, std::vector<WrappedCall>> wrappers;  // by library
  bool storesGuarded = false;                                // GuardStores has run
  bool storedWithOurBasic = false;                           // a macro stored it in place meanwhile
  // By library, then module: sources as they were before a run changed them
  // (basic_source.h), put back before the document is stored.
  std::map<std::string, std::map<std::string, std::string>> originalSources;
  // Scripts already resolved, by the call they make (calc_macros.cpp):
  // resolving one costs several calls to the office, and event macros run
  // at every optimiser trial. Dropped whenever the document's modules
  // change.
  struct ResolvedScript {
    std::string wrapper;
    css::uno::Reference<css::script::provider::XScript> script;
  };
  std::map<std::string, ResolvedScript> scripts;
  std::vector<RewrittenFormula> rewrittenFormulas;

  bool IsClosed() {
    std::lock_guard lock(mutex);
    return closed;
  }
  // RPC_E_DISCONNECTED once closed or the office is gone.
  void CheckUsable();
  template <typename Body>
  auto Call(com::HRESULT refused, Body&& body) -> decltype(body()) {
    CheckUsable();
    try {
      return office->Call(refused, std::forward<Body>(body));
    } catch (const com::Error& error) {
      // A closed document's objects fail in many ways (disposed, no
      // sheets): after any failure, the document is asked once.
      if (error.hr() != com::RPC_E_DISCONNECTED || !error.HasDescription())
        CheckNotClosedInOffice();
      throw;
    }
  }
  // A document whose model is disposed while the office runs was closed
  // there, by a macro: RPC_E_DISCONNECTED saying so, from then on.
  void CheckNotClosedInOffice();
};

class CalcApplication final : public Application {
 public:
  CalcApplication();  // starts or joins the office; throws com::Error
  ~CalcApplication() override;

  void PutWindowState(std::int32_t lcid, std::int32_t state) override;
  std::int32_t GetWindowState(std::int32_t lcid) override;
  void PutVisible(std::int32_t lcid, com::VARIANT_BOOL visible) override;
  com::VARIANT_BOOL GetVisible(std::int32_t lcid) override;
  void PutScreenUpdating(std::int32_t lcid, com::VARIANT_BOOL updating) override;
  com::VARIANT_BOOL GetScreenUpdating(std::int32_t lcid) override;
  void PutInteractive(std::int32_t lcid, com::VARIANT_BOOL interactive) override;
  com::VARIANT_BOOL GetInteractive(std::int32_t lcid) override;
  com::Ptr<Workbooks> GetWorkbooks() override;
  com::Variant Run(const com::Variant& macro, const RunArguments& arguments) override;
  std::optional<com::Variant> RunAfterWriting(std::span<const CellWrite> writes,
                                              const com::Variant& macro,
                                              const RunArguments& arguments) override;
  void Quit() override;

  // RPC_E_DISCONNECTED after Quit or once the office is gone.
  void CheckUsable();
  const std::shared_ptr<OfficeSession>& Office() const { return office_; }
  // The documents, the active one first.
  std::vector<std::shared_ptr<Document>> Documents();
  void AddDocument(const std::shared_ptr<Document>& document);
  void RemoveDocument(const Document* document);
  void Activate(const std::shared_ptr<Document>& document);
  // A document of this application opened from `path`, if any.
  std::shared_ptr<Document> FindByPath(const std::string& path);
  // "Book1", "Book2", ...: the title of the next new workbook.
  std::string NextBookTitle();
  // Documents opened from now on run none of their own code: no macro and
  // no event handler (for looking at a file from anywhere).
  void RunNoDocumentCode() { runsDocumentCode_ = false; }
  bool RunsDocumentCode() const { return runsDocumentCode_; }

 private:
  com::VARIANT_BOOL GetFlag(const com::VARIANT_BOOL& flag);
  void PutFlag(com::VARIANT_BOOL& flag, com::VARIANT_BOOL value);

  std::unique_ptr<OfficeLease> lease_;  // released by Quit
  std::shared_ptr<OfficeSession> office_;
  std::mutex mutex_;
  bool quit_ = false;
  bool runsDocumentCode_ = true;
  std::vector<std::shared_ptr<Document>> documents_;
  std::weak_ptr<Document> active_;
  int books_ = 0;
  std::int32_t windowState_ = kWindowNormal;
  com::VARIANT_BOOL visible_ = com::VARIANT_FALSE;
  com::VARIANT_BOOL screenUpdating_ = com::VARIANT_TRUE;
  com::VARIANT_BOOL interactive_ = com::VARIANT_TRUE;
};

class CalcWorkbooks final : public Workbooks {
 public:
  explicit CalcWorkbooks(com::Ptr<CalcApplication> application)
      : application_(std::move(application)) {}
  com::Ptr<Workbook> Add(const com::Variant& templateFile, std::int32_t lcid) override;
  com::Ptr<Workbook> Open(const com::Bstr& filename, std::span<const com::Variant> optional,
                          std::int32_t lcid) override;

 private:
  com::Ptr<CalcApplication> application_;
};

class CalcWorkbook final : public Workbook {
 public:
  CalcWorkbook(com::Ptr<CalcApplication> application, std::shared_ptr<Document> document)
      : application_(std::move(application)), document_(std::move(document)) {}
  void Activate(std::int32_t lcid) override;
  void Close(const com::Variant& saveChanges, const com::Variant& filename,
             const com::Variant& routeWorkbook, std::int32_t lcid) override;
  void Save(std::int32_t lcid) override;
  void SaveCopyAs(const com::Variant& filename, std::int32_t lcid) override;
  void RunAutoMacros(std::int32_t which, std::int32_t lcid) override;
  com::Ptr<Sheets> GetSheets() override;
  com::Ptr<Sheets> GetWorksheets() override;
  com::Ptr<Application> GetApplication() override;

  const std::shared_ptr<Document>& GetDocument() const { return document_; }

 private:
  void CheckUsable();
  com::Ptr<CalcApplication> application_;
  std::shared_ptr<Document> document_;
};

class CalcSheets final : public Sheets {
 public:
  CalcSheets(com::Ptr<CalcApplication> application, std::shared_ptr<Document> document)
      : application_(std::move(application)), document_(std::move(document)) {}
  std::int32_t GetCount() override;
  com::Ptr<com::Unknown> GetItem(const com::Variant& index) override;
  com::Ptr<com::Unknown> Add(const com::Variant& before, const com::Variant& after,
                             const com::Variant& count, const com::Variant& type,
                             std::int32_t lcid) override;
  std::optional<std::vector<com::Bstr>> Names() override;

 private:
  com::Ptr<com::Unknown> Wrap(const css::uno::Reference<css::sheet::XSpreadsheet>& sheet,
                              std::u16string cacheName = {});
  com::Ptr<CalcApplication> application_;
  std::shared_ptr<Document> document_;
};

class CalcWorksheet final : public Worksheet {
 public:
  // `cacheName`: the name the sheet was asked for, under which its ranges are
  // shared in the document; empty to keep them to this object.
  CalcWorksheet(com::Ptr<CalcApplication> application, std::shared_ptr<Document> document,
                css::uno::Reference<css::sheet::XSpreadsheet> sheet, std::u16string cacheName = {})
      : application_(std::move(application)),
        document_(std::move(document)),
        sheet_(std::move(sheet)),
        cacheName_(std::move(cacheName)) {}
  com::Bstr GetName() override;
  void PutName(const com::Bstr& name) override;
  void Activate(std::int32_t lcid) override;
  com::Ptr<Range> GetRange(const com::Variant& cell1, const com::Variant& cell2) override;

 private:
  RangeTarget Resolve(const std::u16string& cell1, const std::u16string* cell2);
  std::optional<CellArea> AreaOfName(const std::u16string& name);

  com::Ptr<CalcApplication> application_;
  std::shared_ptr<Document> document_;
  css::uno::Reference<css::sheet::XSpreadsheet> sheet_;
  std::mutex mutex_;
  std::u16string cacheName_;  // guarded by mutex_
  // Address texts already resolved, with the office's range object, so that
  // a cell read or written again costs one call to the office.
  std::unordered_map<std::u16string, RangeTarget> cache_;
};

// Cells of a range as (row, column), 0-based within the range.
using CellSet = std::set<std::pair<std::int32_t, std::int32_t>>;

// The office's formula parser of a document, set to read formulas as a
// spreadsheet user writes them: English function names, comma separators,
// A1 references (calc_range.cpp).
css::uno::Reference<css::sheet::XFormulaParser> FormulaParserOf(Document& document);
// A new formula parser of the document reading English function names of
// `language` (css::sheet::FormulaLanguage) and references of `convention`
// (css::sheet::AddressConvention).
css::uno::Reference<css::sheet::XFormulaParser> NewFormulaParser(Document& document,
                                                                 sal_Int32 language,
                                                                 sal_Int16 convention);

// Creates the Range object for a resolved target (calc_range.cpp).
com::Ptr<Range> MakeRange(com::Ptr<CalcApplication> application, std::shared_ptr<Document> document,
                          const RangeTarget& target);

// Macros (calc_macros.cpp). Run resolves the name among the application's
// documents (the active one first), then the office's own libraries.
com::Variant RunMacro(CalcApplication& application, const std::string& name,
                      const std::vector<com::Variant>& arguments);
// RunMacro with cells written first in the same call: see
// Application::RunAfterWriting.
std::optional<com::Variant> RunMacroAfterWriting(CalcApplication& application,
                                                 const std::string& name,
                                                 const std::vector<com::Variant>& arguments,
                                                 std::span<const CellWrite> writes);
// Runs Auto_Open / Auto_Close / ... of one document if it has one.
void RunAutoMacro(CalcApplication& application, const std::shared_ptr<Document>& document,
                  const std::string& procedure);
// The document's sheets, asked for once (a call to the office, inside one).
css::uno::Reference<css::sheet::XSpreadsheets> SheetsOf(Document& document);

// Takes the generated wrappers out of a document before it is stored.
void RemoveWrappers(Document& document);
// Watches the document's stores from now on, so that a macro's own store
// in place, which writes the driver's Basic with the workbook, is written
// again without it by StoreAgainAfterMacro once the macro has returned
// (generated_basic.cpp).
void GuardStores(const std::shared_ptr<Document>& document);
void StoreAgainAfterMacro(Document& document);
// The document's Basic libraries.
css::uno::Reference<css::script::XLibraryContainer> DocumentLibraries(Document& document);
// The source of module `name` of a library's modules.
template <typename Modules>
std::string ModuleSourceOf(const css::uno::Reference<Modules>& modules, const rtl::OUString& name) {
  rtl::OUString source;
  modules->getByName(name) >>= source;
  return ToUtf8(source);
}
// Adds or replaces a module of a library. A new module of a library in VBA
// mode is made a standard module: one without that the office's VBA
// export cannot place, and it fails the whole store (0xc10).
void PutModule(const css::uno::Reference<css::script::XLibraryContainer>& libraries,
               const css::uno::Reference<css::container::XNameContainer>& modules,
               const rtl::OUString& name, const rtl::OUString& source);
void RemoveModule(const css::uno::Reference<css::container::XNameContainer>& modules,
                  const rtl::OUString& name);
// Takes out what a file holds of the driver's Basic, from an older build or
// a store nothing guarded; the user's modules stay as they are.
void RemoveLeftoverBasic(Document& document);
// What the document's own and the office's Basic libraries declare
// (indexed once, then kept).
std::vector<MacroEntry> DocumentMacros(Document& document);
std::vector<MacroEntry> ApplicationMacros(OfficeSession& office);
// The source of each of the document's Basic modules, as the file holds it.
struct ModuleSource {
  std::string library;
  std::string module;
  std::string source;
};
std::vector<ModuleSource> DocumentModuleSources(Document& document);
// The document's Basic modules that do not compile, each with the
// procedures that do not compile alone (calc_macros.cpp). The document is
// changed meanwhile (a probe module comes and goes): only for private copies.
struct CompileFailure {
  std::string library;
  std::string module;
  std::vector<std::string> procedures;
};
std::vector<CompileFailure> FindCompileFailures(CalcApplication& application,
                                                const std::shared_ptr<Document>& document);
// Adds or replaces a Basic module of a document.
void PutBasicModule(Document& document, const std::string& library, const std::string& module,
                    const std::string& source);

}  // namespace excel::calc
