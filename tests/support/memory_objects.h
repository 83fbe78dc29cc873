// Inside the in-memory application: the state its objects share, and the
// objects the public header does not name.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "support/memory_application.h"
#include "support/memory_workbook_file.h"

namespace test_support::memory {

struct MacroName {
  std::string book;  // file name of the workbook; empty for the application's own
  std::string module;
  std::string procedure;
};

// "'Book.xlsm'!Module1.Proc", "Book.xlsm!Proc", "Module1.Proc", "Proc".
// std::invalid_argument when there is no procedure.
MacroName ParseMacroName(std::string_view name);

struct MacroEntry {
  MacroName name;
  MemoryMacro macro;
};

struct BookState {
  std::string name;
  std::string path;
  WorkbookContents contents;
  bool closed = false;
};

struct AppState {
  mutable std::mutex mutex;
  bool quit = false;
  bool killed = false;
  std::int32_t windowState = excel::kWindowNormal;
  VARIANT_BOOL visible = VARIANT_FALSE;
  VARIANT_BOOL screenUpdating = VARIANT_TRUE;
  VARIANT_BOOL interactive = VARIANT_TRUE;
  std::vector<std::shared_ptr<BookState>> books;  // open, in opening order
  std::shared_ptr<BookState> activeBook;
  int nextBookNumber = 1;
  std::vector<MacroEntry> macros;
  std::atomic<std::size_t> liveObjects{0};
};

using Lock = std::unique_lock<std::mutex>;

// Locks the state for one call through the interfaces. RPC_E_DISCONNECTED
// when the application has quit or died, or `book` has been closed.
Lock Enter(const AppState& app, const BookState* book = nullptr);
// Locks the state for the test side, which works whatever happened.
inline Lock Inspect(const AppState& app) {
  return Lock(app.mutex);
}

// Appends a workbook as the active one. The lock must be held.
std::shared_ptr<BookState> AddBook(AppState& app, WorkbookContents contents, std::string name,
                                   std::string path);
// "BookN" with its next number.
std::shared_ptr<BookState> AddNewBook(AppState& app, WorkbookContents contents);

// Registers (or replaces) a macro; takes the lock.
void AddMacro(AppState& app, MacroName name, MemoryMacro macro);
// Finds the macro Run would run for `name`; `ownBook` first when given (for
// the automatic macros), else the active workbook's. Null when none. The lock
// must be held.
const MacroEntry* FindMacro(const AppState& app, const MacroName& name, const BookState* ownBook);
// Runs `macro` with the lock released; any failure becomes DISP_E_EXCEPTION.
com::Variant CallMacro(const std::shared_ptr<AppState>& app, Lock& lock, MemoryMacro macro,
                       const std::vector<com::Variant>& arguments);

// Whether the workbook would take `name` for `self` (null for a new sheet).
bool AcceptableSheetName(const WorkbookContents& contents, const SheetData* self,
                         std::string_view name);

// Objects handed out through the interfaces.
com::Ptr<excel::Workbooks> MakeWorkbooks(const std::shared_ptr<AppState>& app);
com::Ptr<excel::Sheets> MakeSheets(const std::shared_ptr<AppState>& app,
                                   const std::shared_ptr<BookState>& book, bool worksheetsOnly);
// An excel::Worksheet, or an excel::Chart for a chart sheet.
com::Ptr<com::Unknown> MakeSheetItem(const std::shared_ptr<AppState>& app,
                                     const std::shared_ptr<BookState>& book,
                                     const std::shared_ptr<SheetData>& sheet);

}  // namespace test_support::memory
