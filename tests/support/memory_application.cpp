// The application, its workbooks, macros and files, and the call log.
#include "support/memory_application.h"

#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <regex>
#include <stdexcept>

#include "com/variant_text.h"
#include "excel/errors.h"
#include "support/memory_application.h"

namespace test_support {

namespace memory {
namespace {

std::string Hex(unsigned value, const char* format = "0x%08X") {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, format, value);
  return buffer;
}

std::string QuoteText(std::string_view text) {
  std::string quoted = "\"";
  for (const char c : text) {
    if (c == '\\' || c == '"') {
      quoted += {'\\', c};
    } else if (c == '\n' || c == '\r' || c == '\t') {
      quoted += c == '\n' ? "\\n" : c == '\r' ? "\\r" : "\\t";
    } else {
      const bool control = static_cast<unsigned char>(c) < 0x20 || c == 0x7F;
      quoted += control ? Hex(static_cast<unsigned char>(c), "\\x%02X") : std::string(1, c);
    }
  }
  return quoted + "\"";
}

std::string FormatValue(const VARIANT& value) {
  if (value.vt == VT_ERROR && value.scode == com::DISP_E_PARAMNOTFOUND) return "Missing";
  const std::string type = com::VarTypeName(value.vt) + " ";
  char number[64];
  if (value.vt == VT_R8 || value.vt == VT_DATE) {
    return type + std::string(number, std::to_chars(number, number + 64, value.dblVal).ptr);
  }
  if (IsInteger(value.vt)) return type + com::VariantToText(value);
  if (value.vt == VT_ERROR) return type + Hex(static_cast<unsigned>(value.scode));
  if (value.vt == VT_BSTR) return type + QuoteText(com::BstrToUtf8(value.bstrVal));
  if (value.vt != VT_BOOL) return com::VarTypeName(value.vt);
  return type + (value.boolVal == VARIANT_TRUE    ? "true"
                 : value.boolVal == VARIANT_FALSE ? "false"
                                                  : std::to_string(value.boolVal));
}

// Each run of two or more Missing as "N x Missing".
std::string FormatValueList(std::span<const com::Variant> values) {
  std::string text;
  for (std::size_t i = 0; i < values.size();) {
    std::size_t run = 0;
    while (i + run < values.size() && values[i + run].IsMissing())
      ++run;
    text += (text.empty() ? "" : ", ") +
            (run >= 2 ? std::to_string(run) + " x Missing" : FormatValue(values[i]));
    i += run >= 2 ? run : 1;
  }
  return text;
}

std::string FormatArg(const Arg& arg, std::vector<com::Variant>& values) {
  values.insert(values.end(), arg.values.begin(), arg.values.end());
  const std::string number = std::to_string(arg.number);
  switch (arg.style) {
    case Arg::kValue:
      values.emplace_back(*arg.value);
      return FormatValue(*arg.value);
    case Arg::kText:
      values.push_back(com::Variant::Text(arg.text->View()));
      return QuoteText(arg.text->ToUtf8());
    case Arg::kBool:
      values.push_back(com::Variant::Bool(false));
      values.back().boolVal = static_cast<VARIANT_BOOL>(arg.number);
      return arg.number == VARIANT_TRUE    ? "VARIANT_TRUE"
             : arg.number == VARIANT_FALSE ? "VARIANT_FALSE"
                                           : number;
    case Arg::kList:
      return FormatValueList(arg.values);
    case Arg::kOptional:
      return "optional=" + (arg.values.empty() ? "none" : FormatValueList(arg.values));
    case Arg::kEach: {
      std::string text;
      for (const com::Variant& value : arg.values)
        text += (text.empty() ? "" : ", ") + FormatValue(value);
      return text;
    }
    default:
      values.push_back(com::Variant::Int4(arg.number));
      if (arg.style == Arg::kLcid) return "lcid=" + number;
      if (arg.style == Arg::kHex) return Hex(static_cast<unsigned>(arg.number), "0x%X");
      if (arg.style == Arg::kNumber) return number;
      return arg.number == 1   ? "method"  // the InvokeKind
             : arg.number == 2 ? "get"
             : arg.number == 4 ? "put"
                               : "kind=" + number;
  }
}

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

std::string AbsolutePath(std::string_view path) {
  return std::filesystem::absolute(path).lexically_normal().string();
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

// A new workbook ("BookN" with "Sheet1" unless given), the active one.
Place AddBook(Place at, BookState added) {
  AppState& app = *at.app;
  if (added.name.empty()) added.name = "Book" + std::to_string(app.nextBook++);
  if (added.sheets.empty()) added.sheets.push_back(std::make_shared<SheetData>("Sheet1"));
  app.books.push_back(at.book = app.activeBook = std::make_shared<BookState>(std::move(added)));
  return at;
}

// "'Book.xlsm'!Module1.Proc", "Book.xlsm!Proc", "Library.Module1.Proc",
// "Proc"; null without a procedure.
std::optional<MacroEntry> ParseMacroName(std::string_view name) {
  static const std::regex form(R"((?:'([^']+)'!|([^'!]+)!)?(?:(?:[^.!]+\.)?([^.!]+)\.)?([^.!]+))");
  std::match_results<std::string_view::const_iterator> parts;
  if (!std::regex_match(name.begin(), name.end(), parts, form)) return std::nullopt;
  return MacroEntry{parts[1].matched ? parts[1] : parts[2], parts[3], parts[4], {}};
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
    return Call("Add", {templateFile, Lcid(lcid)},
                [&](auto&) { return com::MakeObject<MemoryWorkbook>(AddBook(*this, {})); });
  }

  com::Ptr<excel::Workbook> Open(const com::Bstr& filename, std::span<const com::Variant> optional,
                                 std::int32_t lcid) override {
    return Call("Open", {filename, {Arg::kOptional, optional}, Lcid(lcid)}, [&](auto&) {
      if (optional.size() != excel::kOpenOptionalCountOld &&
          optional.size() != excel::kOpenOptionalCountNew) {
        com::Throw(com::DISP_E_BADPARAMCOUNT);
      }
      if (filename.Empty()) com::Throw(excel::kApplicationError);
      const std::string path = AbsolutePath(filename.ToUtf8());
      for (const auto& open : app->books) {
        if (open->path == path) {  // that workbook, made the active one
          return com::MakeObject<MemoryWorkbook>(Place{app, recorder, app->activeBook = open, {}});
        }
      }
      BookState read = ReadFile(path);
      read.name = std::filesystem::path(path).filename().string();
      read.path = path;
      return com::MakeObject<MemoryWorkbook>(AddBook(*this, std::move(read)));
    });
  }
};

Cell& CellAt(const BookState& book, std::string_view sheet, std::string_view cell) {
  const auto found = FindSheet(book.sheets, sheet);
  const auto block = ParseBlock(cell);
  if (!found || found->chart || !block || block->first != block->last) {
    throw std::invalid_argument("no cell " + std::string(sheet) + "!" + std::string(cell));
  }
  return found->cells[block->first];
}

}  // namespace

std::size_t Object::Record(const char* member, std::initializer_list<Arg> arguments) {
  RecordedCall call{std::string(kind_) + "." + member, {}, {}};
  std::string text;
  for (const Arg& argument : arguments) {
    const std::string part = FormatArg(argument, call.arguments);
    if (!part.empty()) text += (text.empty() ? "" : ", ") + part;
  }
  call.line = call.member + "(" + text + ")";
  std::lock_guard lock(recorder->mutex_);
  // Every matching fault counts the call, so that occurrences stay exact
  // when faults overlap; the first one due decides.
  HRESULT injected = com::S_OK;
  for (auto& [fault, seen] : recorder->faults_) {
    if ((fault.member != "*" && fault.member != call.member) || (fault.when && !fault.when(call))) {
      continue;
    }
    ++seen;
    const bool due = seen == fault.occurrence || (fault.andLater && seen > fault.occurrence);
    if (due && injected == com::S_OK) injected = fault.hr;
  }
  if (injected != com::S_OK) call.line += " -> failed " + Hex(static_cast<unsigned>(injected));
  recorder->calls_.push_back(std::move(call));
  if (injected != com::S_OK) com::Throw(injected);
  return recorder->forgotten_ + recorder->calls_.size() - 1;
}

void Object::Failed(std::size_t number) {
  std::string suffix = " -> failed (not a COM error)";
  try {
    throw;
  } catch (const com::Error& error) {
    suffix = " -> failed " + Hex(static_cast<unsigned>(error.hr()));
  } catch (...) {
  }
  std::lock_guard lock(recorder->mutex_);
  if (number >= recorder->forgotten_)
    recorder->calls_[number - recorder->forgotten_].line += suffix;
}

}  // namespace memory

using memory::Arg;
using memory::Lcid;
using memory::Lock;

std::vector<RecordedCall> Recorder::Calls() const {
  std::lock_guard lock(mutex_);
  return calls_;
}

std::vector<std::string> Recorder::Lines() const {
  std::vector<std::string> lines;
  for (const RecordedCall& call : Calls())
    lines.push_back(call.line);
  return lines;
}

std::string Recorder::Transcript() const {
  std::string text;
  for (const std::string& line : Lines())
    text += line + "\n";
  return text;
}

std::vector<RecordedCall> Recorder::CallsOf(std::string_view member) const {
  std::vector<RecordedCall> calls = Calls();
  std::erase_if(calls, [&](const RecordedCall& call) { return call.member != member; });
  return calls;
}

void Recorder::Clear() {
  std::lock_guard lock(mutex_);
  forgotten_ += calls_.size();
  calls_.clear();
}

void Recorder::FailCall(std::string member, HRESULT hr, std::size_t occurrence) {
  AddFault({std::move(member), hr, occurrence, false, {}});
}

void Recorder::FailFrom(std::string member, HRESULT hr, std::size_t occurrence) {
  AddFault({std::move(member), hr, occurrence, true, {}});
}

void Recorder::AddFault(Fault fault) {
  std::lock_guard lock(mutex_);
  faults_.emplace_back(std::move(fault), 0);
}

void Recorder::ClearFaults() {
  std::lock_guard lock(mutex_);
  faults_.clear();
}

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
    app->windowState = state;
  });
}

std::int32_t MemoryApplication::GetWindowState(std::int32_t lcid) {
  return Call("GetWindowState", {Lcid(lcid)}, [&](auto&) { return app->windowState; });
}

// The other properties read back as written.
#define MEMORY_FLAG(Name, field)                                                              \
  void MemoryApplication::Put##Name(std::int32_t lcid, VARIANT_BOOL value) {                  \
    Call("Put" #Name, {Lcid(lcid), {Arg::kBool, value}}, [&](auto&) { app->field = value; }); \
  }                                                                                           \
  VARIANT_BOOL MemoryApplication::Get##Name(std::int32_t lcid) {                              \
    return Call("Get" #Name, {Lcid(lcid)}, [&](auto&) { return app->field; });                \
  }
MEMORY_FLAG(Visible, visible)
MEMORY_FLAG(ScreenUpdating, screenUpdating)
MEMORY_FLAG(Interactive, interactive)
#undef MEMORY_FLAG

com::Ptr<excel::Workbooks> MemoryApplication::GetWorkbooks() {
  return Call("GetWorkbooks", {},
              [&](auto&) { return com::MakeObject<memory::MemoryWorkbooks>(Here()); });
}

com::Variant MemoryApplication::Run(const com::Variant& macro,
                                    const excel::RunArguments& arguments) {
  return Call("Run", {macro, {Arg::kList, arguments}}, [&](Lock& lock) {
    if (macro.vt != VT_BSTR) com::Throw(com::DISP_E_TYPEMISMATCH);
    const memory::MacroEntry* entry = memory::FindMacro(*app, com::BstrToUtf8(macro.bstrVal));
    if (entry == nullptr) com::Throw(com::DISP_E_EXCEPTION);
    std::vector<com::Variant> passed;
    std::copy_if(arguments.begin(), arguments.end(), std::back_inserter(passed),
                 [](const com::Variant& argument) { return !argument.IsMissing(); });
    return memory::CallMacro(app, lock, entry->macro, passed);
  });
}

void MemoryApplication::Quit() {
  Call("Quit", {}, [&](auto&) {
    app->quit = true;
    for (const auto& open : app->books)
      open->closed = true;
    app->books.clear();
    app->activeBook.reset();
  });
}

void MemoryApplication::RegisterMacro(std::string_view name, MemoryMacro macro) {
  std::optional<memory::MacroEntry> parsed = memory::ParseMacroName(name);
  if (!parsed) throw std::invalid_argument("not a macro name: " + std::string(name));
  parsed->macro = std::move(macro);
  Lock lock(app->mutex);
  std::erase_if(app->macros, [&](const memory::MacroEntry& entry) {
    return memory::SameName(entry.book, parsed->book) &&
           memory::SameName(entry.module, parsed->module) &&
           memory::SameName(entry.procedure, parsed->procedure);
  });
  app->macros.push_back(std::move(*parsed));
}

std::vector<com::Ptr<MemoryWorkbook>> MemoryApplication::OpenWorkbooks() const {
  Lock lock(app->mutex);
  std::vector<com::Ptr<MemoryWorkbook>> books;
  for (const auto& open : app->books)
    books.push_back(com::MakeObject<MemoryWorkbook>(memory::Place{app, nullptr, open, nullptr}));
  return books;
}

com::Ptr<MemoryWorkbook> MemoryApplication::ActiveWorkbook() const {
  Lock lock(app->mutex);
  if (!app->activeBook) return nullptr;
  return com::MakeObject<MemoryWorkbook>(memory::Place{app, nullptr, app->activeBook, nullptr});
}

com::Ptr<MemoryWorkbook> MemoryApplication::AddWorkbook() {
  Lock lock(app->mutex);
  return com::MakeObject<MemoryWorkbook>(memory::AddBook({app, nullptr, nullptr, nullptr}, {}));
}

void MemoryApplication::KillApplication() {
  Lock lock(app->mutex);
  app->killed = true;
}

bool MemoryApplication::HasQuit() const {
  Lock lock(app->mutex);
  return app->quit;
}

MemoryApplication::Properties MemoryApplication::CurrentProperties() const {
  Lock lock(app->mutex);
  return {app->windowState, app->visible, app->screenUpdating, app->interactive};
}

MemoryWorkbook::MemoryWorkbook(memory::Place place) : Object(std::move(place), "Workbook") {}

void MemoryWorkbook::Activate(std::int32_t lcid) {
  Call("Activate", {Lcid(lcid)}, [&](auto&) { app->activeBook = book; });
}

void MemoryWorkbook::Close(const com::Variant& saveChanges, const com::Variant& filename,
                           const com::Variant& routeWorkbook, std::int32_t lcid) {
  Call("Close", {saveChanges, filename, routeWorkbook, Lcid(lcid)}, [&](auto&) {
    // SaveChanges by its truth; into the file named, else the workbook's own.
    if ((saveChanges.vt == VT_BOOL && saveChanges.boolVal) ||
        ((saveChanges.vt == VT_I4 || saveChanges.vt == VT_INT) && saveChanges.lVal)) {
      if (filename.vt == VT_BSTR && SysStringLen(filename.bstrVal) > 0) {
        book->path = memory::AbsolutePath(com::BstrToUtf8(filename.bstrVal));
        book->name = std::filesystem::path(book->path).filename().string();
      }
      if (book->path.empty()) com::Throw(excel::kApplicationError);
      memory::WriteFile(book->path, *book);
    }
    book->closed = true;
    std::erase(app->books, book);
    if (app->activeBook == book) app->activeBook = app->books.empty() ? nullptr : app->books.back();
  });
}

void MemoryWorkbook::Save(std::int32_t lcid) {
  Call("Save", {Lcid(lcid)}, [&](auto&) {
    if (book->path.empty()) com::Throw(excel::kApplicationError);  // never saved
    memory::WriteFile(book->path, *book);
  });
}

void MemoryWorkbook::SaveCopyAs(const com::Variant& filename, std::int32_t lcid) {
  Call("SaveCopyAs", {filename, Lcid(lcid)}, [&](auto&) {
    if (filename.vt != VT_BSTR) com::Throw(com::DISP_E_TYPEMISMATCH);
    if (SysStringLen(filename.bstrVal) == 0) com::Throw(excel::kApplicationError);
    memory::WriteFile(memory::AbsolutePath(com::BstrToUtf8(filename.bstrVal)), *book);
  });
}

void MemoryWorkbook::RunAutoMacros(std::int32_t which, std::int32_t lcid) {
  static constexpr const char* kProcedures[] = {"Auto_Open", "Auto_Close", "Auto_Activate",
                                                "Auto_Deactivate"};
  Call("RunAutoMacros", {{Arg::kNumber, which}, Lcid(lcid)}, [&](Lock& lock) {
    if (which < 1 || which > 4) com::Throw(excel::kApplicationError);
    const memory::MacroEntry* entry = memory::FindMacro(*app, kProcedures[which - 1], book.get());
    if (entry != nullptr) memory::CallMacro(app, lock, entry->macro, {});
  });
}

com::Ptr<excel::Sheets> MemoryWorkbook::GetSheets() {
  return Call("GetSheets", {}, [&](auto&) { return memory::MakeSheets(*this, false); });
}

com::Ptr<excel::Sheets> MemoryWorkbook::GetWorksheets() {
  return Call("GetWorksheets", {}, [&](auto&) { return memory::MakeSheets(*this, true); });
}

com::Ptr<excel::Application> MemoryWorkbook::GetApplication() {
  return Call("GetApplication", {},
              [&](auto&) { return com::MakeObject<MemoryApplication>(app, recorder); });
}

std::string MemoryWorkbook::Name() const {
  Lock lock(app->mutex);
  return book->name;
}

std::string MemoryWorkbook::Path() const {
  Lock lock(app->mutex);
  return book->path;
}

std::vector<std::string> MemoryWorkbook::SheetNames() const {
  Lock lock(app->mutex);
  std::vector<std::string> names;
  for (const auto& each : book->sheets)
    names.push_back(each->name);
  return names;
}

com::Variant MemoryWorkbook::CellValue(std::string_view sheet, std::string_view cell) const {
  Lock lock(app->mutex);
  return memory::CellAt(*book, sheet, cell).value;
}

std::string MemoryWorkbook::CellNumberFormat(std::string_view sheet, std::string_view cell) const {
  Lock lock(app->mutex);
  const std::string& format = memory::CellAt(*book, sheet, cell).format;
  return format.empty() ? "General" : format;
}

void MemoryWorkbook::SetCellValue(std::string_view sheet, std::string_view cell,
                                  const com::Variant& value) {
  Lock lock(app->mutex);
  memory::Cell& content = memory::CellAt(*book, sheet, cell);
  content.value = value;
  content.formula.clear();
}

void MemoryWorkbook::AddWorksheet(std::string_view name) {
  Lock lock(app->mutex);
  if (!memory::AcceptableSheetName(*book, nullptr, name)) {
    throw std::invalid_argument("the sheet name is refused: " + std::string(name));
  }
  book->sheets.push_back(std::make_shared<memory::SheetData>(std::string(name)));
}

void MemoryWorkbook::AddChartSheet(std::string_view name) {
  AddWorksheet(name);
  Lock lock(app->mutex);
  book->sheets.back()->chart = true;
}

com::Ptr<excel::Application> MakeRecordingApplication(
    const com::Ptr<MemoryApplication>& application, std::shared_ptr<Recorder> recorder) {
  return com::MakeObject<MemoryApplication>(application->State(), std::move(recorder));
}

}  // namespace test_support
