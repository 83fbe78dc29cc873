// An in-memory spreadsheet application for tests: the excel:: object model
// over workbooks kept in memory, with files in a text format of its own (see
// memory_workbook_file.h), and a test-side API to prepare and inspect state
// without going through the interfaces.
//
// It behaves as the real application does where the driver can tell:
// - Workbooks.Add: a new, never-saved workbook "BookN" with one worksheet
//   "Sheet1" (Template Missing, VT_EMPTY or an integer; xlWBATChart, -4109,
//   gives one chart sheet instead; a VT_BSTR template file gives an unsaved
//   copy of it; other types DISP_E_TYPEMISMATCH).
// - Workbooks.Open: a missing, unreadable or foreign file fails with
//   excel::kApplicationError; an optional-argument count other than 12 or 14
//   with DISP_E_BADPARAMCOUNT; a file this application already has open gives
//   that workbook. Two applications opening one file get independent copies.
// - Workbook.Save of a never-saved workbook fails with kApplicationError;
//   SaveCopyAs (VT_BSTR) writes a copy and the workbook keeps its own file;
//   Close saves only when SaveChanges is true (Missing does not save: there
//   is nobody to ask); RunAutoMacros(1) runs the workbook's "Auto_Open"
//   macro, or else the application's, when there is one.
// - Sheets.Item by 1-based position (VT_I2/VT_I4/VT_INT, or a whole VT_R8)
//   or by name (VT_BSTR, any case); out of range, unknown or fractional:
//   DISP_E_BADINDEX; other types: DISP_E_TYPEMISMATCH. Sheets.Add inserts
//   before the active sheet, which it becomes, named "SheetN" (N from the
//   sheet count + 1 up to a free name); Type xlChart (-4109) adds a chart
//   sheet "ChartN". Before/After must be Missing or VT_EMPTY (sheet objects
//   do not travel in this VARIANT).
// - Worksheet.PutName refuses (kApplicationError, old name kept) an empty
//   name, one over 31 characters, one holding []:*?/\ , one beginning or
//   ending with ', and a duplicate (any case).
// - Worksheet.Range: A1 cells with or without $, "A1:C3", Cell1 and Cell2
//   (the block spanning both), named ranges of this sheet; anything else
//   kApplicationError.
// - Range.Invoke: Value2 (0x56C) get gives one cell's VARIANT, or for a
//   block a 2-D VT_ARRAY|VT_VARIANT, 1-based, rows first; put takes a value
//   as InterpretInput (memory_cells.h) says; a scalar fills the block; an
//   array fills it cell by cell, a one-row or one-column array repeats, and
//   cells beyond the array get #N/A. A put is all or nothing.
//   NumberFormat (0xC1) put takes VT_BSTR only (else DISP_E_TYPEMISMATCH);
//   get gives the format, or VT_NULL when the cells differ. Any other dispid
//   or kind: DISP_E_MEMBERNOTFOUND; a wrong argument count:
//   DISP_E_BADPARAMCOUNT. Blocks over 4M cells: E_OUTOFMEMORY.
// - Run: see RegisterMacro. An unknown macro, and one that throws, fail with
//   DISP_E_EXCEPTION; a macro that is not VT_BSTR with DISP_E_TYPEMISMATCH.
// - WindowState, Visible, ScreenUpdating and Interactive read back as written
//   (initially xlNormal, false, true, true); a WindowState other than
//   xlMaximized, xlMinimized or xlNormal fails with kApplicationError.
// - After Quit or KillApplication every call on any object of the application
//   fails with RPC_E_DISCONNECTED; so does every call on a closed workbook
//   and on its sheets and ranges.
// There is no calculation: a formula cell reads back the value the test set
// with SetComputedValue (VT_EMPTY until then).
//
// Objects share the application's state under one mutex, so the test thread
// may inspect while another thread drives. The test-side members work after
// Quit and KillApplication too.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "excel/object_model.h"

namespace test_support {

class MemoryApplication;
class MemoryWorkbook;

namespace memory {
struct AppState;
struct BookState;

// Counts the live objects of one application.
class ObjectBase {
 public:
  ObjectBase(const ObjectBase&) = delete;
  ObjectBase& operator=(const ObjectBase&) = delete;

 protected:
  explicit ObjectBase(std::shared_ptr<AppState> app);
  ~ObjectBase();
  std::shared_ptr<AppState> app_;
};
}  // namespace memory

// A macro: takes the arguments of Run that are not Missing, in order, and
// gives its result. It fails by throwing (Run then fails with
// DISP_E_EXCEPTION). It may use `application` (and through it the
// interfaces); capturing a com::Ptr to the application's own objects would
// keep them alive in a cycle.
using MemoryMacro = std::function<com::Variant(MemoryApplication& application,
                                               const std::vector<com::Variant>& arguments)>;

class MemoryApplication : public excel::Application, private memory::ObjectBase {
 public:
  static com::Ptr<MemoryApplication> Create();
  // Another handle on an existing application's state.
  explicit MemoryApplication(std::shared_ptr<memory::AppState> state);

  void PutWindowState(std::int32_t lcid, std::int32_t state) override;
  std::int32_t GetWindowState(std::int32_t lcid) override;
  void PutVisible(std::int32_t lcid, VARIANT_BOOL visible) override;
  VARIANT_BOOL GetVisible(std::int32_t lcid) override;
  void PutScreenUpdating(std::int32_t lcid, VARIANT_BOOL updating) override;
  VARIANT_BOOL GetScreenUpdating(std::int32_t lcid) override;
  void PutInteractive(std::int32_t lcid, VARIANT_BOOL interactive) override;
  VARIANT_BOOL GetInteractive(std::int32_t lcid) override;
  com::Ptr<excel::Workbooks> GetWorkbooks() override;
  com::Variant Run(const com::Variant& macro, const excel::RunArguments& arguments) override;
  void Quit() override;

  // --- Test side ---

  // Registers a macro under the name Run is given:
  //   "Proc" or "Module1.Proc"   the application's own macro;
  //   "'Book.xlsm'!Module1.Proc"  a macro of the workbook with that name
  //   or "Book.xlsm!Proc"         (file name), seen only while it is open.
  // Run resolves a name (all parts without regard to case; a name without
  // module matches a macro of any module, a registered macro without module
  // matches any module asked for): with a workbook part, only that open
  // workbook's macros; else the active workbook's, the other open workbooks'
  // in opening order, then the application's. Registering a name again
  // replaces the macro.
  void RegisterMacro(std::string_view name, MemoryMacro macro);

  // Workbooks open in this application, in opening order.
  std::vector<com::Ptr<MemoryWorkbook>> OpenWorkbooks() const;
  // By workbook name or full path; null when not open.
  com::Ptr<MemoryWorkbook> FindWorkbook(std::string_view nameOrPath) const;
  com::Ptr<MemoryWorkbook> ActiveWorkbook() const;
  // As Workbooks.Add.
  com::Ptr<MemoryWorkbook> AddWorkbook();

  // The application dies: every later call through the interfaces on any of
  // its objects fails with RPC_E_DISCONNECTED.
  void KillApplication();
  bool HasQuit() const;
  bool IsKilled() const;

  // Objects of this application alive now, this one included: a driver that
  // let go of everything it was handed leaves only the test's own.
  std::size_t LiveObjects() const;

  struct Properties {
    std::int32_t windowState;
    VARIANT_BOOL visible;
    VARIANT_BOOL screenUpdating;
    VARIANT_BOOL interactive;
  };
  Properties CurrentProperties() const;

  const std::shared_ptr<memory::AppState>& State() const { return app_; }
};

// Test-side members address cells as ("Sheet1", "B2"); a sheet that is not
// there, a chart sheet or a bad address throws std::invalid_argument.
class MemoryWorkbook : public excel::Workbook, private memory::ObjectBase {
 public:
  MemoryWorkbook(std::shared_ptr<memory::AppState> app, std::shared_ptr<memory::BookState> book);

  void Activate(std::int32_t lcid) override;
  void Close(const com::Variant& saveChanges, const com::Variant& filename,
             const com::Variant& routeWorkbook, std::int32_t lcid) override;
  void Save(std::int32_t lcid) override;
  void SaveCopyAs(const com::Variant& filename, std::int32_t lcid) override;
  void RunAutoMacros(std::int32_t which, std::int32_t lcid) override;
  com::Ptr<excel::Sheets> GetSheets() override;
  com::Ptr<excel::Sheets> GetWorksheets() override;
  com::Ptr<excel::Application> GetApplication() override;

  // --- Test side ---

  std::string Name() const;  // "Book1", or the file name
  std::string Path() const;  // the full path; empty when never saved
  bool IsClosed() const;
  // Every sheet in order, chart sheets included.
  std::vector<std::string> SheetNames() const;
  bool IsChartSheet(std::string_view sheet) const;
  std::string ActiveSheetName() const;

  // The value Value2 would read (a formula cell's computed value).
  com::Variant CellValue(std::string_view sheet, std::string_view cell) const;
  std::string CellFormula(std::string_view sheet, std::string_view cell) const;       // "" for none
  std::string CellNumberFormat(std::string_view sheet, std::string_view cell) const;  // "General"
  // Stores `value` as it is (VT_EMPTY, VT_R8, VT_BSTR, VT_BOOL or VT_ERROR;
  // other types throw std::invalid_argument) and drops any formula.
  void SetCellValue(std::string_view sheet, std::string_view cell, const com::Variant& value);
  // Stores a formula text ("=..."); its value is VT_EMPTY until set.
  void SetFormula(std::string_view sheet, std::string_view cell, std::string_view formula);
  // What the formula in the cell computes; std::invalid_argument when the
  // cell holds no formula.
  void SetComputedValue(std::string_view sheet, std::string_view cell, const com::Variant& value);

  // Adds a worksheet or a chart sheet at the end, or before the sheet at
  // 1-based `position`. The name must be free and acceptable.
  void AddWorksheet(std::string_view name, std::optional<std::size_t> position = std::nullopt);
  void AddChartSheet(std::string_view name, std::optional<std::size_t> position = std::nullopt);
  // A named range of a worksheet ("A1" or "A1:C3").
  void DefineName(std::string_view name, std::string_view sheet, std::string_view address);
  // A macro of this workbook (RegisterMacro of the application, qualified
  // with this workbook's name).
  void RegisterMacro(std::string_view name, MemoryMacro macro);

  // The workbook as its file would hold it.
  std::string ToText() const;

  const std::shared_ptr<memory::BookState>& Book() const { return book_; }

 private:
  std::shared_ptr<memory::BookState> book_;
};

}  // namespace test_support
