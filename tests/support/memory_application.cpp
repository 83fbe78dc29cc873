#include "support/memory_application.h"

#include <algorithm>
#include <filesystem>
#include <stdexcept>
#include <utility>

#include "com/error.h"
#include "excel/errors.h"
#include "support/memory_objects.h"

namespace test_support {

namespace memory {

ObjectBase::ObjectBase(std::shared_ptr<AppState> app) : app_(std::move(app)) {
  ++app_->liveObjects;
}

ObjectBase::~ObjectBase() {
  --app_->liveObjects;
}

Lock Enter(const AppState& app, const BookState* book) {
  Lock lock(app.mutex);
  if (app.quit || app.killed || (book != nullptr && book->closed)) {
    com::Throw(com::RPC_E_DISCONNECTED);
  }
  return lock;
}

std::shared_ptr<BookState> AddBook(AppState& app, WorkbookContents contents, std::string name,
                                   std::string path) {
  auto book = std::make_shared<BookState>();
  book->name = std::move(name);
  book->path = std::move(path);
  book->contents = std::move(contents);
  app.books.push_back(book);
  app.activeBook = book;
  return book;
}

std::shared_ptr<BookState> AddNewBook(AppState& app, WorkbookContents contents) {
  return AddBook(app, std::move(contents), "Book" + std::to_string(app.nextBookNumber++), {});
}

MacroName ParseMacroName(std::string_view name) {
  MacroName parsed;
  const std::size_t bang = name.rfind('!');
  if (bang != std::string_view::npos) {
    std::string_view book = name.substr(0, bang);
    if (book.size() >= 2 && book.front() == '\'' && book.back() == '\'') {
      book = book.substr(1, book.size() - 2);
    }
    for (std::size_t i = 0; i < book.size(); ++i) {
      parsed.book += book[i];
      if (book[i] == '\'' && i + 1 < book.size() && book[i + 1] == '\'') ++i;  // '' is one '
    }
    // A path names the workbook by its file name.
    const std::size_t slash = parsed.book.find_last_of("/\\");
    if (slash != std::string::npos) parsed.book.erase(0, slash + 1);
    name.remove_prefix(bang + 1);
  }
  const std::size_t dot = name.rfind('.');
  if (dot != std::string_view::npos) {
    parsed.module = name.substr(0, dot);
    name.remove_prefix(dot + 1);
  }
  parsed.procedure = name;
  if (parsed.procedure.empty() || (bang != std::string_view::npos && parsed.book.empty())) {
    throw std::invalid_argument("not a macro name");
  }
  return parsed;
}

namespace {

bool Matches(const MacroName& entry, const MacroName& asked) {
  return SameName(entry.procedure, asked.procedure) &&
         (asked.module.empty() || entry.module.empty() || SameName(entry.module, asked.module));
}

const MacroEntry* FindIn(const AppState& app, std::string_view book, const MacroName& asked) {
  for (const MacroEntry& entry : app.macros) {
    const bool sameOwner = book.empty()
                               ? entry.name.book.empty()
                               : !entry.name.book.empty() && SameName(entry.name.book, book);
    if (sameOwner && Matches(entry.name, asked)) return &entry;
  }
  return nullptr;
}

const BookState* OpenBookNamed(const AppState& app, std::string_view name) {
  for (const auto& book : app.books) {
    if (SameName(book->name, name)) return book.get();
  }
  return nullptr;
}

}  // namespace

void AddMacro(AppState& app, MacroName name, MemoryMacro macro) {
  Lock lock(app.mutex);
  for (MacroEntry& entry : app.macros) {
    if (SameName(entry.name.book, name.book) && SameName(entry.name.module, name.module) &&
        SameName(entry.name.procedure, name.procedure)) {
      entry.macro = std::move(macro);
      return;
    }
  }
  app.macros.push_back({std::move(name), std::move(macro)});
}

const MacroEntry* FindMacro(const AppState& app, const MacroName& name, const BookState* ownBook) {
  if (!name.book.empty()) {
    const BookState* book = OpenBookNamed(app, name.book);
    return book == nullptr ? nullptr : FindIn(app, book->name, name);
  }
  const BookState* first = ownBook != nullptr ? ownBook : app.activeBook.get();
  if (first != nullptr) {
    if (const MacroEntry* found = FindIn(app, first->name, name)) return found;
  }
  for (const auto& book : app.books) {
    if (book.get() == first) continue;
    if (const MacroEntry* found = FindIn(app, book->name, name)) return found;
  }
  return FindIn(app, {}, name);
}

com::Variant CallMacro(const std::shared_ptr<AppState>& app, Lock& lock, MemoryMacro macro,
                       const std::vector<com::Variant>& arguments) {
  lock.unlock();
  // The macro may call back into the application, as a real one does.
  const com::Ptr<MemoryApplication> handle = com::MakeObject<MemoryApplication>(app);
  try {
    return macro(*handle, arguments);
  } catch (...) {
    com::Throw(com::DISP_E_EXCEPTION);
  }
}

namespace {

class MemoryWorkbooks : public excel::Workbooks, private ObjectBase {
 public:
  explicit MemoryWorkbooks(std::shared_ptr<AppState> app) : ObjectBase(std::move(app)) {}

  com::Ptr<excel::Workbook> Add(const com::Variant& templateFile, std::int32_t) override {
    Lock lock = Enter(*app_);
    WorkbookContents contents;
    if (IsTemplateNumber(templateFile, kChartTemplate)) {
      contents.sheets.push_back(std::make_shared<SheetData>(SheetData{"Chart1", true, {}}));
    } else if (templateFile.vt == VT_BSTR) {
      contents = ReadWorkbookFile(com::BstrToUtf8(templateFile.bstrVal));
    } else if (templateFile.vt == VT_ERROR || templateFile.vt == VT_EMPTY ||
               templateFile.vt == VT_I2 || templateFile.vt == VT_I4 || templateFile.vt == VT_INT) {
      contents = WorkbookContents::NewWorkbook();  // any other template kind: one worksheet
    } else {
      com::Throw(com::DISP_E_TYPEMISMATCH);
    }
    return com::MakeObject<MemoryWorkbook>(app_, AddNewBook(*app_, std::move(contents)));
  }

  com::Ptr<excel::Workbook> Open(const com::Bstr& filename, std::span<const com::Variant> optional,
                                 std::int32_t) override {
    Lock lock = Enter(*app_);
    if (optional.size() != excel::kOpenOptionalCountOld &&
        optional.size() != excel::kOpenOptionalCountNew) {
      com::Throw(com::DISP_E_BADPARAMCOUNT);
    }
    const std::string text = filename.ToUtf8();
    if (text.empty()) com::Throw(excel::kApplicationError);
    const std::filesystem::path path = std::filesystem::absolute(text).lexically_normal();
    for (const auto& book : app_->books) {
      if (book->path == path.string()) {
        app_->activeBook = book;
        return com::MakeObject<MemoryWorkbook>(app_, book);
      }
    }
    WorkbookContents contents = ReadWorkbookFile(path);
    return com::MakeObject<MemoryWorkbook>(
        app_, AddBook(*app_, std::move(contents), path.filename().string(), path.string()));
  }

 private:
  static constexpr std::int32_t kChartTemplate = -4109;  // xlWBATChart

  static bool IsTemplateNumber(const com::Variant& value, std::int32_t number) {
    return (value.vt == VT_I4 || value.vt == VT_INT) && value.lVal == number;
  }
};

// SaveChanges: Missing is no; VT_BOOL and integers by their truth.
bool SaveChangesFlag(const com::Variant& value) {
  if (value.IsMissing()) return false;
  switch (value.vt) {
    case VT_BOOL:
      return value.boolVal != VARIANT_FALSE;
    case VT_I2:
      return value.iVal != 0;
    case VT_I4:
    case VT_INT:
      return value.lVal != 0;
    default:
      com::Throw(com::DISP_E_TYPEMISMATCH);
  }
}

std::string FileNameArgument(const com::Variant& value) {
  if (value.vt != VT_BSTR) com::Throw(com::DISP_E_TYPEMISMATCH);
  std::string text = com::BstrToUtf8(value.bstrVal);
  if (text.empty()) com::Throw(excel::kApplicationError);
  return std::filesystem::absolute(text).lexically_normal().string();
}

std::shared_ptr<SheetData> CellSheet(const BookState& book, std::string_view sheet) {
  auto found = book.contents.FindSheet(sheet);
  if (!found) throw std::invalid_argument("no sheet " + std::string(sheet));
  if (found->chart) throw std::invalid_argument(std::string(sheet) + " is a chart sheet");
  return found;
}

CellPosition CellAt(std::string_view cell) {
  const auto position = ParseCellAddress(cell);
  if (!position) throw std::invalid_argument("not a cell address: " + std::string(cell));
  return *position;
}

}  // namespace

com::Ptr<excel::Workbooks> MakeWorkbooks(const std::shared_ptr<AppState>& app) {
  return com::MakeObject<MemoryWorkbooks>(app);
}

}  // namespace memory

using memory::Enter;
using memory::Inspect;
using memory::Lock;

// --- MemoryApplication ---

com::Ptr<MemoryApplication> MemoryApplication::Create() {
  return com::MakeObject<MemoryApplication>(std::make_shared<memory::AppState>());
}

MemoryApplication::MemoryApplication(std::shared_ptr<memory::AppState> state)
    : ObjectBase(std::move(state)) {}

void MemoryApplication::PutWindowState(std::int32_t, std::int32_t state) {
  Lock lock = Enter(*app_);
  if (state != excel::kWindowMaximized && state != excel::kWindowMinimized &&
      state != excel::kWindowNormal) {
    com::Throw(excel::kApplicationError);
  }
  app_->windowState = state;
}

std::int32_t MemoryApplication::GetWindowState(std::int32_t) {
  Lock lock = Enter(*app_);
  return app_->windowState;
}

void MemoryApplication::PutVisible(std::int32_t, VARIANT_BOOL visible) {
  Lock lock = Enter(*app_);
  app_->visible = visible;
}

VARIANT_BOOL MemoryApplication::GetVisible(std::int32_t) {
  Lock lock = Enter(*app_);
  return app_->visible;
}

void MemoryApplication::PutScreenUpdating(std::int32_t, VARIANT_BOOL updating) {
  Lock lock = Enter(*app_);
  app_->screenUpdating = updating;
}

VARIANT_BOOL MemoryApplication::GetScreenUpdating(std::int32_t) {
  Lock lock = Enter(*app_);
  return app_->screenUpdating;
}

void MemoryApplication::PutInteractive(std::int32_t, VARIANT_BOOL interactive) {
  Lock lock = Enter(*app_);
  app_->interactive = interactive;
}

VARIANT_BOOL MemoryApplication::GetInteractive(std::int32_t) {
  Lock lock = Enter(*app_);
  return app_->interactive;
}

com::Ptr<excel::Workbooks> MemoryApplication::GetWorkbooks() {
  Lock lock = Enter(*app_);
  return memory::MakeWorkbooks(app_);
}

com::Variant MemoryApplication::Run(const com::Variant& macro,
                                    const excel::RunArguments& arguments) {
  Lock lock = Enter(*app_);
  if (macro.vt != VT_BSTR) com::Throw(com::DISP_E_TYPEMISMATCH);
  memory::MacroName name;
  try {
    name = memory::ParseMacroName(com::BstrToUtf8(macro.bstrVal));
  } catch (const std::invalid_argument&) {
    com::Throw(com::DISP_E_EXCEPTION);
  }
  const memory::MacroEntry* entry = memory::FindMacro(*app_, name, nullptr);
  if (entry == nullptr) com::Throw(com::DISP_E_EXCEPTION);
  std::vector<com::Variant> passed;
  for (const com::Variant& argument : arguments) {
    if (!argument.IsMissing()) passed.push_back(argument);
  }
  return memory::CallMacro(app_, lock, entry->macro, passed);
}

void MemoryApplication::Quit() {
  Lock lock = Enter(*app_);
  app_->quit = true;
  for (const auto& book : app_->books)
    book->closed = true;
  app_->books.clear();
  app_->activeBook.reset();
}

void MemoryApplication::RegisterMacro(std::string_view name, MemoryMacro macro) {
  memory::AddMacro(*app_, memory::ParseMacroName(name), std::move(macro));
}

std::vector<com::Ptr<MemoryWorkbook>> MemoryApplication::OpenWorkbooks() const {
  Lock lock = Inspect(*app_);
  std::vector<com::Ptr<MemoryWorkbook>> books;
  for (const auto& book : app_->books)
    books.push_back(com::MakeObject<MemoryWorkbook>(app_, book));
  return books;
}

com::Ptr<MemoryWorkbook> MemoryApplication::FindWorkbook(std::string_view nameOrPath) const {
  Lock lock = Inspect(*app_);
  for (const auto& book : app_->books) {
    if (SameName(book->name, nameOrPath) || (!book->path.empty() && book->path == nameOrPath)) {
      return com::MakeObject<MemoryWorkbook>(app_, book);
    }
  }
  return nullptr;
}

com::Ptr<MemoryWorkbook> MemoryApplication::ActiveWorkbook() const {
  Lock lock = Inspect(*app_);
  if (!app_->activeBook) return nullptr;
  return com::MakeObject<MemoryWorkbook>(app_, app_->activeBook);
}

com::Ptr<MemoryWorkbook> MemoryApplication::AddWorkbook() {
  Lock lock = Inspect(*app_);
  return com::MakeObject<MemoryWorkbook>(
      app_, memory::AddNewBook(*app_, WorkbookContents::NewWorkbook()));
}

void MemoryApplication::KillApplication() {
  Lock lock = Inspect(*app_);
  app_->killed = true;
}

bool MemoryApplication::HasQuit() const {
  Lock lock = Inspect(*app_);
  return app_->quit;
}

bool MemoryApplication::IsKilled() const {
  Lock lock = Inspect(*app_);
  return app_->killed;
}

std::size_t MemoryApplication::LiveObjects() const {
  return app_->liveObjects.load();
}

MemoryApplication::Properties MemoryApplication::CurrentProperties() const {
  Lock lock = Inspect(*app_);
  return {app_->windowState, app_->visible, app_->screenUpdating, app_->interactive};
}

// --- MemoryWorkbook ---

MemoryWorkbook::MemoryWorkbook(std::shared_ptr<memory::AppState> app,
                               std::shared_ptr<memory::BookState> book)
    : ObjectBase(std::move(app)), book_(std::move(book)) {}

void MemoryWorkbook::Activate(std::int32_t) {
  Lock lock = Enter(*app_, book_.get());
  app_->activeBook = book_;
}

void MemoryWorkbook::Close(const com::Variant& saveChanges, const com::Variant& filename,
                           const com::Variant&, std::int32_t) {
  Lock lock = Enter(*app_, book_.get());
  if (memory::SaveChangesFlag(saveChanges)) {
    const std::string target =
        filename.IsMissing() ? book_->path : memory::FileNameArgument(filename);
    if (target.empty()) com::Throw(excel::kApplicationError);
    WriteWorkbookFile(target, book_->contents);
    book_->path = target;
    book_->name = std::filesystem::path(target).filename().string();
  }
  book_->closed = true;
  std::erase(app_->books, book_);
  if (app_->activeBook == book_) {
    app_->activeBook = app_->books.empty() ? nullptr : app_->books.back();
  }
}

void MemoryWorkbook::Save(std::int32_t) {
  Lock lock = Enter(*app_, book_.get());
  if (book_->path.empty()) com::Throw(excel::kApplicationError);
  WriteWorkbookFile(book_->path, book_->contents);
}

void MemoryWorkbook::SaveCopyAs(const com::Variant& filename, std::int32_t) {
  Lock lock = Enter(*app_, book_.get());
  WriteWorkbookFile(memory::FileNameArgument(filename), book_->contents);
}

void MemoryWorkbook::RunAutoMacros(std::int32_t which, std::int32_t) {
  static constexpr const char* kProcedures[] = {"Auto_Open", "Auto_Close", "Auto_Activate",
                                                "Auto_Deactivate"};
  Lock lock = Enter(*app_, book_.get());
  if (which < 1 || which > 4) com::Throw(excel::kApplicationError);
  const memory::MacroName name{{}, {}, kProcedures[which - 1]};
  // Only this workbook's own macro, or the application's: never another
  // workbook's.
  const memory::MacroEntry* entry = nullptr;
  for (const memory::MacroEntry& candidate : app_->macros) {
    if (!SameName(candidate.name.procedure, name.procedure)) continue;
    if (!candidate.name.book.empty() && SameName(candidate.name.book, book_->name)) {
      entry = &candidate;
      break;
    }
    if (candidate.name.book.empty() && entry == nullptr) entry = &candidate;
  }
  if (entry != nullptr) memory::CallMacro(app_, lock, entry->macro, {});
}

com::Ptr<excel::Sheets> MemoryWorkbook::GetSheets() {
  Lock lock = Enter(*app_, book_.get());
  return memory::MakeSheets(app_, book_, false);
}

com::Ptr<excel::Sheets> MemoryWorkbook::GetWorksheets() {
  Lock lock = Enter(*app_, book_.get());
  return memory::MakeSheets(app_, book_, true);
}

com::Ptr<excel::Application> MemoryWorkbook::GetApplication() {
  Lock lock = Enter(*app_, book_.get());
  return com::MakeObject<MemoryApplication>(app_);
}

std::string MemoryWorkbook::Name() const {
  Lock lock = Inspect(*app_);
  return book_->name;
}

std::string MemoryWorkbook::Path() const {
  Lock lock = Inspect(*app_);
  return book_->path;
}

bool MemoryWorkbook::IsClosed() const {
  Lock lock = Inspect(*app_);
  return book_->closed;
}

std::vector<std::string> MemoryWorkbook::SheetNames() const {
  Lock lock = Inspect(*app_);
  std::vector<std::string> names;
  for (const auto& sheet : book_->contents.sheets)
    names.push_back(sheet->name);
  return names;
}

bool MemoryWorkbook::IsChartSheet(std::string_view sheet) const {
  Lock lock = Inspect(*app_);
  const auto found = book_->contents.FindSheet(sheet);
  if (!found) throw std::invalid_argument("no sheet " + std::string(sheet));
  return found->chart;
}

std::string MemoryWorkbook::ActiveSheetName() const {
  Lock lock = Inspect(*app_);
  return book_->contents.sheets.at(book_->contents.activeSheet)->name;
}

com::Variant MemoryWorkbook::CellValue(std::string_view sheet, std::string_view cell) const {
  Lock lock = Inspect(*app_);
  const auto data = memory::CellSheet(*book_, sheet);
  const auto found = data->cells.find(memory::CellAt(cell));
  return found == data->cells.end() ? com::Variant() : found->second.value;
}

std::string MemoryWorkbook::CellFormula(std::string_view sheet, std::string_view cell) const {
  Lock lock = Inspect(*app_);
  const auto data = memory::CellSheet(*book_, sheet);
  const auto found = data->cells.find(memory::CellAt(cell));
  return found == data->cells.end() ? std::string() : found->second.formula;
}

std::string MemoryWorkbook::CellNumberFormat(std::string_view sheet, std::string_view cell) const {
  Lock lock = Inspect(*app_);
  const auto data = memory::CellSheet(*book_, sheet);
  const auto found = data->cells.find(memory::CellAt(cell));
  if (found == data->cells.end() || found->second.numberFormat.empty()) return "General";
  return found->second.numberFormat;
}

void MemoryWorkbook::SetCellValue(std::string_view sheet, std::string_view cell,
                                  const com::Variant& value) {
  switch (value.vt) {
    case VT_EMPTY:
    case VT_R8:
    case VT_BSTR:
    case VT_ERROR:
      break;
    case VT_BOOL:
      if (value.boolVal != VARIANT_TRUE && value.boolVal != VARIANT_FALSE) {
        throw std::invalid_argument("a logical is VARIANT_TRUE or VARIANT_FALSE");
      }
      break;
    default:
      throw std::invalid_argument("a cell cannot hold a " + com::VarTypeName(value.vt));
  }
  Lock lock = Inspect(*app_);
  CellContent& content = memory::CellSheet(*book_, sheet)->cells[memory::CellAt(cell)];
  content.value = value;
  content.formula.clear();
}

void MemoryWorkbook::SetFormula(std::string_view sheet, std::string_view cell,
                                std::string_view formula) {
  if (formula.size() < 2 || formula.front() != '=') {
    throw std::invalid_argument("a formula begins with = : " + std::string(formula));
  }
  Lock lock = Inspect(*app_);
  CellContent& content = memory::CellSheet(*book_, sheet)->cells[memory::CellAt(cell)];
  content.value.Clear();
  content.formula = formula;
}

void MemoryWorkbook::SetComputedValue(std::string_view sheet, std::string_view cell,
                                      const com::Variant& value) {
  Lock lock = Inspect(*app_);
  const auto data = memory::CellSheet(*book_, sheet);
  const auto found = data->cells.find(memory::CellAt(cell));
  if (found == data->cells.end() || found->second.formula.empty()) {
    throw std::invalid_argument(std::string(sheet) + "!" + std::string(cell) + " has no formula");
  }
  found->second.value = value;
}

namespace {

void AddSheet(memory::BookState& book, std::string_view name, bool chart,
              std::optional<std::size_t> position) {
  WorkbookContents& contents = book.contents;
  if (!memory::AcceptableSheetName(contents, nullptr, name)) {
    throw std::invalid_argument("the sheet name is refused: " + std::string(name));
  }
  const std::size_t at = position.value_or(contents.sheets.size() + 1);
  if (at < 1 || at > contents.sheets.size() + 1) throw std::invalid_argument("no such position");
  contents.sheets.insert(contents.sheets.begin() + static_cast<std::ptrdiff_t>(at - 1),
                         std::make_shared<SheetData>(SheetData{std::string(name), chart, {}}));
  if (at - 1 <= contents.activeSheet && contents.sheets.size() > 1) ++contents.activeSheet;
}

}  // namespace

void MemoryWorkbook::AddWorksheet(std::string_view name, std::optional<std::size_t> position) {
  Lock lock = Inspect(*app_);
  AddSheet(*book_, name, false, position);
}

void MemoryWorkbook::AddChartSheet(std::string_view name, std::optional<std::size_t> position) {
  Lock lock = Inspect(*app_);
  AddSheet(*book_, name, true, position);
}

void MemoryWorkbook::DefineName(std::string_view name, std::string_view sheet,
                                std::string_view address) {
  Lock lock = Inspect(*app_);
  const auto block = ParseBlockAddress(address);
  if (!block) throw std::invalid_argument("not a block address: " + std::string(address));
  if (name.empty() || ParseBlockAddress(name) || book_->contents.FindName(name)) {
    throw std::invalid_argument("the name is refused: " + std::string(name));
  }
  book_->contents.names.push_back({std::string(name), memory::CellSheet(*book_, sheet), *block});
}

void MemoryWorkbook::RegisterMacro(std::string_view name, MemoryMacro macro) {
  std::string bookName = Name();
  std::string qualified = "'";
  for (const char c : bookName)
    qualified += c == '\'' ? std::string("''") : std::string(1, c);
  qualified += "'!";
  qualified += name;
  memory::AddMacro(*app_, memory::ParseMacroName(qualified), std::move(macro));
}

std::string MemoryWorkbook::ToText() const {
  Lock lock = Inspect(*app_);
  return FormatWorkbook(book_->contents);
}

}  // namespace test_support
