// The application, its workbooks, macros and files.
#include "support/memory_application.h"

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "excel/errors.h"
#include "support/memory_objects.h"

namespace test_support {

namespace memory {
namespace {

// Saved workbooks: snapshots for the life of the process, each named by the
// marker its files hold.
struct FileStore {
  std::mutex mutex;
  std::map<std::string, BookState> snapshots;
  std::size_t next = 0;
} files;
constexpr std::string_view kMarker = "gridmoor-memory-workbook ";

BookState Copy(const BookState& book) {
  BookState copy = book;
  for (auto& sheet : copy.sheets)
    sheet = std::make_shared<SheetData>(*sheet);
  return copy;
}

std::string AbsolutePath(const VARIANT& name) {
  return std::filesystem::absolute(com::BstrToUtf8(name.bstrVal)).lexically_normal().string();
}

void WriteFile(const std::string& path, const BookState& book) {
  std::string name;
  {
    std::lock_guard lock(files.mutex);
    name = std::to_string(::getpid()) + "-" + std::to_string(++files.next);
    files.snapshots[name] = Copy(book);
  }
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << kMarker << name << "\n";
  out.close();
  if (!out) com::Throw(excel::kApplicationError);
}

BookState ReadFile(const std::string& path) {
  std::error_code error;
  std::string line;
  if (!std::filesystem::is_regular_file(path, error) || !std::getline(std::ifstream(path), line) ||
      !line.starts_with(kMarker)) {
    com::Throw(excel::kApplicationError);
  }
  std::lock_guard lock(files.mutex);
  const auto found = files.snapshots.find(line.substr(kMarker.size()));
  if (found == files.snapshots.end()) com::Throw(excel::kApplicationError);
  return Copy(found->second);
}

Place AddBook(const Place& at, BookState book) {
  AppState& app = *at.app;
  if (book.name.empty()) book.name = "Book" + std::to_string(app.nextBook++);
  if (book.sheets.empty()) book.sheets.push_back(std::make_shared<SheetData>(SheetData{"Sheet1"}));
  app.books.push_back(std::make_shared<BookState>(std::move(book)));
  app.activeBook = app.books.back();
  return {at.app, at.recorder, app.activeBook, nullptr};
}

// "'Book.xlsm'!Module1.Proc", "Book.xlsm!Proc", "Library.Module1.Proc",
// "Proc"; null without a procedure.
std::optional<MacroEntry> ParseMacroName(std::string_view name) {
  MacroEntry parsed;
  const std::size_t bang = name.rfind('!');
  if (bang != std::string_view::npos) {
    std::string_view book = name.substr(0, bang);
    if (book.size() >= 2 && book.front() == '\'' && book.back() == '\'') {
      book = book.substr(1, book.size() - 2);
    }
    if (book.empty()) return std::nullopt;
    parsed.book = book;
    name.remove_prefix(bang + 1);
  }
  const std::size_t dot = name.rfind('.');
  if (dot != std::string_view::npos) {
    parsed.module = name.substr(0, dot);
    parsed.module.erase(0, parsed.module.rfind('.') + 1);  // without the library
    name.remove_prefix(dot + 1);
  }
  parsed.procedure = name;
  if (parsed.procedure.empty()) return std::nullopt;
  return parsed;
}

// The macro Run finds by `name`, or with `own` the one RunAutoMacros runs.
const MacroEntry* FindMacro(const AppState& app, std::string_view name,
                            const BookState* own = nullptr) {
  const std::optional<MacroEntry> asked = ParseMacroName(name);
  const auto open = [&](const std::string& book) {
    return std::any_of(app.books.begin(), app.books.end(),
                       [&](const auto& b) { return SameName(b->name, book); });
  };
  if (!asked || (!asked->book.empty() && !open(asked->book))) return nullptr;
  for (const MacroEntry& entry : app.macros) {
    const bool owner =
        own ? SameName(entry.book, own->name)
            : entry.book.empty() ||
                  (asked->book.empty() ? open(entry.book) : SameName(entry.book, asked->book));
    if (owner && SameName(entry.procedure, asked->procedure) &&
        (asked->module.empty() || entry.module.empty() || SameName(entry.module, asked->module))) {
      return &entry;
    }
  }
  return nullptr;
}

// With the lock released, as a real application lets its macros call back;
// any failure becomes DISP_E_EXCEPTION.
com::Variant CallMacro(const std::shared_ptr<AppState>& app, Lock& lock, MemoryMacro macro,
                       const std::vector<com::Variant>& arguments) {
  lock.unlock();
  const auto handle = com::MakeObject<MemoryApplication>(app);
  try {
    return macro(*handle, arguments);
  } catch (...) {
    com::Throw(com::DISP_E_EXCEPTION);
  }
}

class MemoryWorkbooks : public excel::Workbooks, private Object {
 public:
  explicit MemoryWorkbooks(Place place) : Object(std::move(place), "Workbooks") {}

  com::Ptr<excel::Workbook> Add(const com::Variant& templateFile, std::int32_t lcid) override {
    return Call("Add", {templateFile, Lcid(lcid)}, [&](auto&) {
      const VARTYPE vt = templateFile.vt;
      if (vt != VT_ERROR && vt != VT_EMPTY && vt != VT_I2 && vt != VT_I4 && vt != VT_INT) {
        com::Throw(com::DISP_E_TYPEMISMATCH);  // no template files here
      }
      return com::MakeObject<MemoryWorkbook>(AddBook(Here(), {}));
    });
  }

  com::Ptr<excel::Workbook> Open(const com::Bstr& filename, std::span<const com::Variant> optional,
                                 std::int32_t lcid) override {
    return Call("Open", {filename, {Arg::kOptional, optional}, Lcid(lcid)}, [&](auto&) {
      if (optional.size() != excel::kOpenOptionalCountOld &&
          optional.size() != excel::kOpenOptionalCountNew) {
        com::Throw(com::DISP_E_BADPARAMCOUNT);
      }
      if (filename.Empty()) com::Throw(excel::kApplicationError);
      const std::string path = AbsolutePath(com::Variant::Text(filename.View()));
      for (const auto& book : app_->books) {
        if (book->path == path) {
          app_->activeBook = book;
          return com::MakeObject<MemoryWorkbook>(Place{app_, recorder_, book, nullptr});
        }
      }
      BookState book = ReadFile(path);
      book.name = std::filesystem::path(path).filename().string();
      book.path = path;
      return com::MakeObject<MemoryWorkbook>(AddBook(Here(), std::move(book)));
    });
  }
};

Cell& CellAt(const BookState& book, std::string_view sheet, std::string_view cell) {
  const auto found = FindSheet(book.sheets, sheet);
  const auto block = ParseBlock(cell);
  if (!found || found->chart || !block || block->first != block->last) {
    throw std::invalid_argument("no cell " + std::string(sheet) + "!" + std::string(cell));
  }
  return found->cells[block->first];  // the caller erases it if it stays empty
}

}  // namespace
}  // namespace memory

using memory::Arg;
using memory::Lcid;
using memory::Lock;

MemoryApplication::MemoryApplication(std::shared_ptr<memory::AppState> state,
                                     std::shared_ptr<Recorder> recorder)
    : Object({std::move(state), std::move(recorder), nullptr, nullptr}, "Application") {}

com::Ptr<MemoryApplication> MemoryApplication::Create() {
  return com::MakeObject<MemoryApplication>(std::make_shared<memory::AppState>());
}

void MemoryApplication::PutWindowState(std::int32_t lcid, std::int32_t state) {
  Call("PutWindowState", {Lcid(lcid), {Arg::kNumber, state}}, [&](auto&) {
    if (state != excel::kWindowMaximized && state != excel::kWindowMinimized &&
        state != excel::kWindowNormal) {
      com::Throw(excel::kApplicationError);
    }
    app_->windowState = state;
  });
}

std::int32_t MemoryApplication::GetWindowState(std::int32_t lcid) {
  return Call("GetWindowState", {Lcid(lcid)}, [&](auto&) { return app_->windowState; });
}

void MemoryApplication::PutVisible(std::int32_t lcid, VARIANT_BOOL visible) {
  Call("PutVisible", {Lcid(lcid), {Arg::kBool, visible}}, [&](auto&) { app_->visible = visible; });
}

VARIANT_BOOL MemoryApplication::GetVisible(std::int32_t lcid) {
  return Call("GetVisible", {Lcid(lcid)}, [&](auto&) { return app_->visible; });
}

void MemoryApplication::PutScreenUpdating(std::int32_t lcid, VARIANT_BOOL updating) {
  Call("PutScreenUpdating", {Lcid(lcid), {Arg::kBool, updating}},
       [&](auto&) { app_->screenUpdating = updating; });
}

VARIANT_BOOL MemoryApplication::GetScreenUpdating(std::int32_t lcid) {
  return Call("GetScreenUpdating", {Lcid(lcid)}, [&](auto&) { return app_->screenUpdating; });
}

void MemoryApplication::PutInteractive(std::int32_t lcid, VARIANT_BOOL interactive) {
  Call("PutInteractive", {Lcid(lcid), {Arg::kBool, interactive}},
       [&](auto&) { app_->interactive = interactive; });
}

VARIANT_BOOL MemoryApplication::GetInteractive(std::int32_t lcid) {
  return Call("GetInteractive", {Lcid(lcid)}, [&](auto&) { return app_->interactive; });
}

com::Ptr<excel::Workbooks> MemoryApplication::GetWorkbooks() {
  return Call("GetWorkbooks", {},
              [&](auto&) { return com::MakeObject<memory::MemoryWorkbooks>(Here()); });
}

com::Variant MemoryApplication::Run(const com::Variant& macro,
                                    const excel::RunArguments& arguments) {
  return Call("Run", {macro, {Arg::kList, arguments}}, [&](Lock& lock) {
    if (macro.vt != VT_BSTR) com::Throw(com::DISP_E_TYPEMISMATCH);
    const memory::MacroEntry* entry = memory::FindMacro(*app_, com::BstrToUtf8(macro.bstrVal));
    if (entry == nullptr) com::Throw(com::DISP_E_EXCEPTION);
    std::vector<com::Variant> passed;
    std::copy_if(arguments.begin(), arguments.end(), std::back_inserter(passed),
                 [](const com::Variant& argument) { return !argument.IsMissing(); });
    return memory::CallMacro(app_, lock, entry->macro, passed);
  });
}

void MemoryApplication::Quit() {
  Call("Quit", {}, [&](auto&) {
    app_->quit = true;
    for (const auto& book : app_->books)
      book->closed = true;
    app_->books.clear();
    app_->activeBook.reset();
  });
}

void MemoryApplication::RegisterMacro(std::string_view name, MemoryMacro macro) {
  std::optional<memory::MacroEntry> parsed = memory::ParseMacroName(name);
  if (!parsed) throw std::invalid_argument("not a macro name: " + std::string(name));
  parsed->macro = std::move(macro);
  Lock lock(app_->mutex);
  std::erase_if(app_->macros, [&](const memory::MacroEntry& entry) {
    return memory::SameName(entry.book, parsed->book) &&
           memory::SameName(entry.module, parsed->module) &&
           memory::SameName(entry.procedure, parsed->procedure);
  });
  app_->macros.push_back(std::move(*parsed));
}

std::vector<com::Ptr<MemoryWorkbook>> MemoryApplication::OpenWorkbooks() const {
  Lock lock(app_->mutex);
  std::vector<com::Ptr<MemoryWorkbook>> books;
  for (const auto& book : app_->books)
    books.push_back(com::MakeObject<MemoryWorkbook>(memory::Place{app_, nullptr, book, nullptr}));
  return books;
}

com::Ptr<MemoryWorkbook> MemoryApplication::ActiveWorkbook() const {
  Lock lock(app_->mutex);
  if (!app_->activeBook) return nullptr;
  return com::MakeObject<MemoryWorkbook>(memory::Place{app_, nullptr, app_->activeBook, nullptr});
}

com::Ptr<MemoryWorkbook> MemoryApplication::AddWorkbook() {
  Lock lock(app_->mutex);
  return com::MakeObject<MemoryWorkbook>(memory::AddBook({app_, nullptr, nullptr, nullptr}, {}));
}

void MemoryApplication::KillApplication() {
  Lock lock(app_->mutex);
  app_->killed = true;
}

bool MemoryApplication::HasQuit() const {
  Lock lock(app_->mutex);
  return app_->quit;
}

MemoryApplication::Properties MemoryApplication::CurrentProperties() const {
  Lock lock(app_->mutex);
  return {app_->windowState, app_->visible, app_->screenUpdating, app_->interactive};
}

MemoryWorkbook::MemoryWorkbook(memory::Place place) : Object(std::move(place), "Workbook") {}

void MemoryWorkbook::Activate(std::int32_t lcid) {
  Call("Activate", {Lcid(lcid)}, [&](auto&) { app_->activeBook = book_; });
}

void MemoryWorkbook::Close(const com::Variant& saveChanges, const com::Variant& filename,
                           const com::Variant& routeWorkbook, std::int32_t lcid) {
  Call("Close", {saveChanges, filename, routeWorkbook, Lcid(lcid)}, [&](auto&) {
    // SaveChanges by its truth; into the file named, else the workbook's own.
    if ((saveChanges.vt == VT_BOOL && saveChanges.boolVal) ||
        ((saveChanges.vt == VT_I4 || saveChanges.vt == VT_INT) && saveChanges.lVal)) {
      if (filename.vt == VT_BSTR && SysStringLen(filename.bstrVal) > 0) {
        book_->path = memory::AbsolutePath(filename);
        book_->name = std::filesystem::path(book_->path).filename().string();
      }
      if (book_->path.empty()) com::Throw(excel::kApplicationError);
      memory::WriteFile(book_->path, *book_);
    }
    book_->closed = true;
    std::erase(app_->books, book_);
    if (app_->activeBook == book_) {
      app_->activeBook = app_->books.empty() ? nullptr : app_->books.back();
    }
  });
}

void MemoryWorkbook::Save(std::int32_t lcid) {
  Call("Save", {Lcid(lcid)}, [&](auto&) {
    if (book_->path.empty()) com::Throw(excel::kApplicationError);  // never saved
    memory::WriteFile(book_->path, *book_);
  });
}

void MemoryWorkbook::SaveCopyAs(const com::Variant& filename, std::int32_t lcid) {
  Call("SaveCopyAs", {filename, Lcid(lcid)}, [&](auto&) {
    if (filename.vt != VT_BSTR) com::Throw(com::DISP_E_TYPEMISMATCH);
    if (SysStringLen(filename.bstrVal) == 0) com::Throw(excel::kApplicationError);
    memory::WriteFile(memory::AbsolutePath(filename), *book_);
  });
}

void MemoryWorkbook::RunAutoMacros(std::int32_t which, std::int32_t lcid) {
  static constexpr const char* kProcedures[] = {"Auto_Open", "Auto_Close", "Auto_Activate",
                                                "Auto_Deactivate"};
  Call("RunAutoMacros", {{Arg::kNumber, which}, Lcid(lcid)}, [&](Lock& lock) {
    if (which < 1 || which > 4) com::Throw(excel::kApplicationError);
    const memory::MacroEntry* entry = memory::FindMacro(*app_, kProcedures[which - 1], book_.get());
    if (entry != nullptr) memory::CallMacro(app_, lock, entry->macro, {});
  });
}

com::Ptr<excel::Sheets> MemoryWorkbook::GetSheets() {
  return Call("GetSheets", {}, [&](auto&) { return memory::MakeSheets(Here(), false); });
}

com::Ptr<excel::Sheets> MemoryWorkbook::GetWorksheets() {
  return Call("GetWorksheets", {}, [&](auto&) { return memory::MakeSheets(Here(), true); });
}

com::Ptr<excel::Application> MemoryWorkbook::GetApplication() {
  return Call("GetApplication", {},
              [&](auto&) { return com::MakeObject<MemoryApplication>(app_, recorder_); });
}

std::string MemoryWorkbook::Name() const {
  Lock lock(app_->mutex);
  return book_->name;
}

std::string MemoryWorkbook::Path() const {
  Lock lock(app_->mutex);
  return book_->path;
}

std::vector<std::string> MemoryWorkbook::SheetNames() const {
  Lock lock(app_->mutex);
  std::vector<std::string> names;
  for (const auto& sheet : book_->sheets)
    names.push_back(sheet->name);
  return names;
}

com::Variant MemoryWorkbook::CellValue(std::string_view sheet, std::string_view cell) const {
  Lock lock(app_->mutex);
  return memory::CellAt(*book_, sheet, cell).value;
}

std::string MemoryWorkbook::CellNumberFormat(std::string_view sheet, std::string_view cell) const {
  Lock lock(app_->mutex);
  const std::string& format = memory::CellAt(*book_, sheet, cell).format;
  return format.empty() ? "General" : format;
}

void MemoryWorkbook::SetCellValue(std::string_view sheet, std::string_view cell,
                                  const com::Variant& value) {
  Lock lock(app_->mutex);
  memory::Cell& content = memory::CellAt(*book_, sheet, cell);
  content.value = value;
  content.formula.clear();
}

void MemoryWorkbook::AddWorksheet(std::string_view name) {
  Lock lock(app_->mutex);
  if (!memory::AcceptableSheetName(*book_, nullptr, name)) {
    throw std::invalid_argument("the sheet name is refused: " + std::string(name));
  }
  book_->sheets.push_back(
      std::make_shared<memory::SheetData>(memory::SheetData{std::string(name)}));
}

void MemoryWorkbook::AddChartSheet(std::string_view name) {
  AddWorksheet(name);
  Lock lock(app_->mutex);
  book_->sheets.back()->chart = true;
}

com::Ptr<excel::Application> MakeRecordingApplication(
    const com::Ptr<MemoryApplication>& application, std::shared_ptr<Recorder> recorder) {
  return com::MakeObject<MemoryApplication>(application->State(), std::move(recorder));
}

}  // namespace test_support
