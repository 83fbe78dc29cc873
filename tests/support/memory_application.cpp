// The in-memory application: its objects, cells, macros and files.
#include "support/memory_application.h"

#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <fstream>
#include <regex>
#include <stdexcept>

#include "com/variants/variant_grid.h"
#include "com/variants/variant_text.h"
#include "excel/errors.h"
#include "platform/files.h"

namespace test_support {

namespace memory {
namespace {

// "B7", "$B$7", "b7", up to XFD1048576.
std::optional<Position> ParseCell(std::string_view text) {
  static const std::regex form(R"(\$?([A-Za-z]{1,3})\$?([1-9][0-9]{0,6}))");
  std::match_results<std::string_view::const_iterator> parts;
  if (!std::regex_match(text.begin(), text.end(), parts, form)) return std::nullopt;
  int column = 0;
  for (const char letter : parts.str(1))
    column = column * 26 + (std::toupper(static_cast<unsigned char>(letter)) - 'A' + 1);
  const int row = std::stoi(parts.str(2));
  if (column > 16384 || row > 1048576) return std::nullopt;
  return Position{row, column};
}

Block Span(const Block& a, const Block& b) {
  return {{std::min(a.first.first, b.first.first), std::min(a.first.second, b.first.second)},
          {std::max(a.last.first, b.last.first), std::max(a.last.second, b.last.second)}};
}

std::string_view Trim(std::string_view text) {
  text.remove_prefix(std::min(text.find_first_not_of(" \t"), text.size()));
  return text.substr(0, text.find_last_not_of(" \t") + 1);
}

// The classic "C" form: sign, digits with a decimal point, exponent; no
// hexadecimal, infinities, NaN or separators; out of range is no number.
std::optional<double> ParseClassicNumber(std::string_view text) {
  text = Trim(text);
  if (text.find_first_not_of("0123456789.eE+-") != std::string_view::npos) return std::nullopt;
  if (text.size() > 1 && text[0] == '+' && text[1] != '-') text.remove_prefix(1);
  double value = 0;
  const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
  if (result.ec != std::errc() || result.ptr != text.data() + text.size()) return std::nullopt;
  return value;
}

constexpr std::pair<std::string_view, com::SCODE> kErrors[] = {
    {"#NULL!", excel::kErrNull}, {"#DIV/0!", excel::kErrDiv0}, {"#VALUE!", excel::kErrValue},
    {"#REF!", excel::kErrRef},   {"#NAME?", excel::kErrName},  {"#NUM!", excel::kErrNum},
    {"#N/A", excel::kErrNA}};

bool IsAbsent(const com::VARIANT& value) {
  return value.vt == com::VT_EMPTY ||
         (value.vt == com::VT_ERROR && value.scode == com::DISP_E_PARAMNOTFOUND);
}

bool SameName(std::string_view a, std::string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return std::tolower(static_cast<unsigned char>(x)) ==
           std::tolower(static_cast<unsigned char>(y));
  });
}

std::shared_ptr<SheetData> FindSheet(const SheetList& sheets, std::string_view name) {
  for (const auto& sheet : sheets) {
    if (SameName(sheet->name, name)) return sheet;
  }
  return nullptr;
}

bool AcceptableSheetName(const BookState& book, const SheetData* self, std::string_view name) {
  // At most 31 UTF-16 units: the lead bytes, twice for those beyond the BMP.
  std::size_t units = 0;
  for (const char c : name)
    units += ((c & 0xC0) != 0x80) + (static_cast<unsigned char>(c) >= 0xF0);
  if (name.empty() || units > 31 || name.find_first_of("[]:*?/\\") != std::string_view::npos ||
      name.front() == '\'' || name.back() == '\'') {
    return false;
  }
  const auto existing = FindSheet(book.sheets, name);
  return !existing || existing.get() == self;
}

std::optional<Block> ParseBlock(std::string_view text) {
  const std::size_t colon = text.find(':');
  const auto first = ParseCell(text.substr(0, colon));
  const auto last = colon == std::string_view::npos ? first : ParseCell(text.substr(colon + 1));
  if (!first || !last) return std::nullopt;
  return Span({*first, *first}, {*last, *last});
}

Cell InterpretInput(const com::VARIANT& value) {
  if (value.vt == com::VT_R8 || value.vt == com::VT_DATE)
    return {com::Variant::Double(value.dblVal)};
  if (IsInteger(value.vt)) {
    return {com::Variant::Double(*ParseClassicNumber(com::VariantToText(value)))};
  }
  if (value.vt == com::VT_EMPTY || value.vt == com::VT_NULL) return {};
  if (value.vt == com::VT_BOOL) return {com::Variant::Bool(value.boolVal != com::VARIANT_FALSE)};
  if (value.vt == com::VT_ERROR) {
    for (const auto& [name, code] : kErrors) {
      if (value.scode == code) return {com::Variant::ErrorValue(code)};
    }
  }
  if (value.vt != com::VT_BSTR) com::Throw(com::DISP_E_TYPEMISMATCH);  // Missing among others
  // As if typed: "'" keeps the rest as text, "=..." is a formula.
  const std::string text = com::BstrToUtf8(value.bstrVal);
  if (text.empty()) return {};
  if (text.front() == '\'') return {com::Variant::Text(std::string_view(text).substr(1))};
  if (text.front() == '=' && text.size() > 1) return {com::Variant(), text};
  for (const auto& [name, code] : kErrors) {
    if (SameName(Trim(text), name)) return {com::Variant::ErrorValue(code)};
  }
  if (SameName(Trim(text), "TRUE") || SameName(Trim(text), "FALSE")) {
    return {com::Variant::Bool(SameName(Trim(text), "TRUE"))};
  }
  if (const auto number = ParseClassicNumber(text)) return {com::Variant::Double(*number)};
  return {com::Variant::Text(text)};
}

class MemorySheets : public excel::Sheets, private Object {
 public:
  MemorySheets(Place place, bool worksheetsOnly)
      : Object(std::move(place), worksheetsOnly ? "Worksheets" : "Sheets"),
        worksheetsOnly_(worksheetsOnly) {}

  std::int32_t GetCount() override {
    return Call("GetCount", {}, [&](auto&) { return static_cast<std::int32_t>(View().size()); });
  }

  com::Ptr<com::Unknown> GetItem(const com::Variant& index) override {
    return Call("GetItem", {index}, [&](auto&) {
      const SheetList view = View();
      std::shared_ptr<SheetData> found;
      if (index.vt == com::VT_BSTR) {
        found = FindSheet(view, com::BstrToUtf8(index.bstrVal));
      } else if (index.vt == com::VT_I4 || index.vt == com::VT_INT) {
        if (index.lVal >= 1 && static_cast<std::size_t>(index.lVal) <= view.size()) {
          found = view[static_cast<std::size_t>(index.lVal) - 1];
        }
      } else {
        com::Throw(com::DISP_E_TYPEMISMATCH);
      }
      if (!found) com::Throw(com::DISP_E_BADINDEX);
      return Item(found);
    });
  }

  com::Ptr<com::Unknown> Add(const com::Variant& before, const com::Variant& after,
                             const com::Variant& count, const com::Variant& type,
                             std::int32_t lcid) override {
    return Call("Add", {before, after, count, type, Lcid(lcid)}, [&](auto&) {
      // One worksheet, wherever the arguments would put it.
      std::size_t number = book->sheets.size() + 1;
      while (FindSheet(book->sheets, "Sheet" + std::to_string(number)))
        ++number;
      // Before the active sheet, and active itself.
      const auto added = std::make_shared<SheetData>("Sheet" + std::to_string(number));
      book->sheets.insert(book->sheets.begin() + static_cast<std::ptrdiff_t>(book->active), added);
      return Item(added);
    });
  }

 private:
  SheetList View() const {
    SheetList view = book->sheets;
    if (worksheetsOnly_) std::erase_if(view, [](const auto& each) { return each->chart; });
    return view;
  }
  com::Ptr<com::Unknown> Item(const std::shared_ptr<SheetData>& item) const;

  bool worksheetsOnly_;
};

// Value2 of a cell or a block (as an array), NumberFormat of one cell; puts
// of one value or an array into a block.
class MemoryRange : public excel::Range, private Object {
 public:
  MemoryRange(Place place, Block block) : Object(std::move(place), "Range"), block_(block) {}

  com::Variant Invoke(std::int32_t dispid, excel::InvokeKind kind,
                      std::span<const com::Variant> arguments) override {
    const auto kindNumber = static_cast<std::int32_t>(kind);
    return Call(
        "Invoke", {{Arg::kHex, dispid}, {Arg::kInvokeKind, kindNumber}, {Arg::kList, arguments}},
        [&](auto&) {
          const bool put = kind == excel::InvokeKind::kPropertyPut;
          const bool value = dispid == excel::kDispidValue2;
          if ((!value && dispid != excel::kDispidNumberFormat) ||
              (!put && kind != excel::InvokeKind::kPropertyGet)) {
            com::Throw(com::DISP_E_MEMBERNOTFOUND);
          }
          if (arguments.size() != (put ? 1u : 0u)) com::Throw(com::DISP_E_BADPARAMCOUNT);
          const long long cells = (block_.last.first - block_.first.first + 1LL) *
                                  (block_.last.second - block_.first.second + 1);
          if (cells > (1 << 22)) com::Throw(com::E_OUTOFMEMORY);  // not cell by cell
          const auto rows = static_cast<std::size_t>(block_.last.first - block_.first.first + 1);
          const auto columns =
              static_cast<std::size_t>(block_.last.second - block_.first.second + 1);
          if (!put) {
            if (!value) {
              if (cells > 1) com::Throw(com::E_NOTIMPL);
              const std::string& format = sheet->cells[block_.first].format;
              return com::Variant::Text(format.empty() ? "General" : format);
            }
            if (cells == 1) return sheet->cells[block_.first].value;
            com::VariantGrid grid(rows, columns);
            for (std::size_t r = 0; r < rows; ++r) {
              for (std::size_t c = 0; c < columns; ++c) {
                const auto found = sheet->cells.find(At(r, c));
                if (found != sheet->cells.end())
                  grid.At(static_cast<std::int32_t>(r) + 1, static_cast<std::int32_t>(c) + 1) =
                      found->second.value;
              }
            }
            return grid.ToVariant();
          }
          if (!value && arguments[0].vt != com::VT_BSTR) com::Throw(com::DISP_E_TYPEMISMATCH);
          // Every value is taken before any cell changes: a refused one
          // leaves the block as it was.
          std::vector<Cell> inputs;
          if (value && (arguments[0].vt & com::VT_ARRAY) != 0) {
            const com::VariantGrid array = com::VariantGrid::FromVariant(arguments[0]);
            for (std::size_t r = 0; r < rows; ++r) {
              for (std::size_t c = 0; c < columns; ++c)
                inputs.push_back(InterpretInput(Element(array, r, c)));
            }
          } else {
            inputs.assign(1, value ? InterpretInput(arguments[0]) : Cell{});
          }
          const std::string format = value ? "" : com::BstrToUtf8(arguments[0].bstrVal);
          for (std::size_t r = 0; r < rows; ++r) {
            for (std::size_t c = 0; c < columns; ++c) {
              Cell& cell = sheet->cells[At(r, c)];
              const Cell& input = inputs.size() == 1 ? inputs[0] : inputs[r * columns + c];
              if (value) {
                cell.value = input.value;
                cell.formula = input.formula;
              } else {
                cell.format = format;
              }
            }
          }
          return com::Variant();
        });
  }

 private:
  Position At(std::size_t r, std::size_t c) const {
    return {block_.first.first + static_cast<int>(r), block_.first.second + static_cast<int>(c)};
  }
  // As the spreadsheet spreads an array over a range: a single row repeats
  // down, a single column across, and cells beyond it get #N/A.
  static com::Variant Element(const com::VariantGrid& array, std::size_t r, std::size_t c) {
    if (array.Rows() == 1) r = 0;
    if (array.Columns() == 1) c = 0;
    if (r >= array.Rows() || c >= array.Columns()) return com::Variant::ErrorValue(excel::kErrNA);
    return array.At(array.FirstRow() + static_cast<std::int32_t>(r),
                    array.FirstColumn() + static_cast<std::int32_t>(c));
  }

  Block block_;
};

class MemoryWorksheet : public excel::Worksheet, private Object {
 public:
  explicit MemoryWorksheet(Place place) : Object(std::move(place), "Worksheet") {}

  com::Bstr GetName() override {
    return Call("GetName", {}, [&](auto&) { return com::Bstr::FromUtf8(sheet->name); });
  }

  void PutName(const com::Bstr& name) override {
    Call("PutName", {name}, [&](auto&) {
      if (!AcceptableSheetName(*book, sheet.get(), name.ToUtf8())) {
        com::Throw(excel::kApplicationError);
      }
      sheet->name = name.ToUtf8();
    });
  }

  void Activate(std::int32_t lcid) override {
    Call("Activate", {Lcid(lcid)}, [&](auto&) {
      const auto at = std::find(book->sheets.begin(), book->sheets.end(), sheet);
      book->active = static_cast<std::size_t>(at - book->sheets.begin());
      app->activeBook = book;
    });
  }

  com::Ptr<excel::Range> GetRange(const com::Variant& cell1, const com::Variant& cell2) override {
    return Call("GetRange", {cell1, cell2}, [&](auto&) {
      Block block = Resolve(cell1);
      if (!IsAbsent(cell2)) block = Span(block, Resolve(cell2));
      return com::MakeObject<MemoryRange>(Here(), block);
    });
  }

 private:
  static Block Resolve(const com::Variant& cell) {
    if (cell.vt != com::VT_BSTR) com::Throw(com::DISP_E_TYPEMISMATCH);
    const auto block = ParseBlock(com::BstrToUtf8(cell.bstrVal));
    if (!block) com::Throw(excel::kApplicationError);
    return *block;
  }
};

class MemoryChart : public excel::Chart, private Object {
 public:
  explicit MemoryChart(Place place) : Object(std::move(place), "Chart") {}

  com::Bstr GetName() override {
    return Call("GetName", {}, [&](auto&) { return com::Bstr::FromUtf8(sheet->name); });
  }
};

com::Ptr<com::Unknown> MemorySheets::Item(const std::shared_ptr<SheetData>& item) const {
  const Place place{app, recorder, book, item};
  if (item->chart) return com::MakeObject<MemoryChart>(place);
  return com::MakeObject<MemoryWorksheet>(place);
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
  const std::optional<std::string> text = platform::ReadWholeFile(path, nullptr);
  if (!text || !text->starts_with(kMarker)) com::Throw(excel::kApplicationError);
  std::lock_guard lock(files.mutex);
  const auto found =
      files.snapshots.find(text->substr(kMarker.size(), text->find('\n') - kMarker.size()));
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

// "'Book.xlsm'!Module1.Proc", "Library.Module1.Proc", "Proc": the module
// and procedure (the workbook and library are not looked at); null without
// a procedure.
std::optional<MacroEntry> ParseMacroName(std::string_view name) {
  static const std::regex form(R"((?:'[^']+'!|[^'!]+!)?(?:(?:[^.!]+\.)?([^.!]+)\.)?([^.!]+))");
  std::match_results<std::string_view::const_iterator> parts;
  if (!std::regex_match(name.begin(), name.end(), parts, form)) return std::nullopt;
  return MacroEntry{parts[1], parts[2], {}};
}

const MacroEntry* FindMacro(const AppState& app, std::string_view name) {
  const std::optional<MacroEntry> asked = ParseMacroName(name);
  if (!asked) return nullptr;
  for (const MacroEntry& entry : app.macros) {
    if (SameName(entry.procedure, asked->procedure) &&
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
          return com::MakeObject<MemoryWorkbook>(Place{app, recorder, app->activeBook = open});
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

}  // namespace memory

using memory::Arg;
using memory::Lcid;
using memory::Lock;

MemoryApplication::MemoryApplication(std::shared_ptr<memory::AppState> state,
                                     std::shared_ptr<Recorder> recorder)
    : Object({std::move(state), std::move(recorder)}, "Application") {}

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
  void MemoryApplication::Put##Name(std::int32_t lcid, com::VARIANT_BOOL value) {             \
    Call("Put" #Name, {Lcid(lcid), {Arg::kBool, value}}, [&](auto&) { app->field = value; }); \
  }                                                                                           \
  com::VARIANT_BOOL MemoryApplication::Get##Name(std::int32_t lcid) {                         \
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
    if (macro.vt != com::VT_BSTR) com::Throw(com::DISP_E_TYPEMISMATCH);
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
    return memory::SameName(entry.module, parsed->module) &&
           memory::SameName(entry.procedure, parsed->procedure);
  });
  app->macros.push_back(std::move(*parsed));
}

std::vector<com::Ptr<MemoryWorkbook>> MemoryApplication::OpenWorkbooks() const {
  Lock lock(app->mutex);
  std::vector<com::Ptr<MemoryWorkbook>> books;
  for (const auto& open : app->books)
    books.push_back(com::MakeObject<MemoryWorkbook>(memory::Place{app, nullptr, open}));
  return books;
}

com::Ptr<MemoryWorkbook> MemoryApplication::ActiveWorkbook() const {
  Lock lock(app->mutex);
  if (!app->activeBook) return nullptr;
  return com::MakeObject<MemoryWorkbook>(memory::Place{app, nullptr, app->activeBook});
}

com::Ptr<MemoryWorkbook> MemoryApplication::AddWorkbook() {
  return Locked([&] { return com::MakeObject<MemoryWorkbook>(memory::AddBook({app}, {})); });
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
    if (saveChanges.vt == com::VT_BOOL && saveChanges.boolVal) com::Throw(com::E_NOTIMPL);
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
    if (filename.vt != com::VT_BSTR) com::Throw(com::DISP_E_TYPEMISMATCH);
    if (GmSysStringLen(filename.bstrVal) == 0) com::Throw(excel::kApplicationError);
    memory::WriteFile(memory::AbsolutePath(com::BstrToUtf8(filename.bstrVal)), *book);
  });
}

void MemoryWorkbook::RunAutoMacros(std::int32_t which, std::int32_t lcid) {
  Call("RunAutoMacros", {{Arg::kNumber, which}, Lcid(lcid)}, [&](auto&) {
    if (which < 1 || which > 4) com::Throw(excel::kApplicationError);
  });
}

com::Ptr<excel::Sheets> MemoryWorkbook::GetSheets() {
  return Call("GetSheets", {},
              [&](auto&) { return com::MakeObject<memory::MemorySheets>(Here(), false); });
}

com::Ptr<excel::Sheets> MemoryWorkbook::GetWorksheets() {
  return Call("GetWorksheets", {},
              [&](auto&) { return com::MakeObject<memory::MemorySheets>(Here(), true); });
}

com::Ptr<excel::Application> MemoryWorkbook::GetApplication() {
  return Call("GetApplication", {},
              [&](auto&) { return com::MakeObject<MemoryApplication>(app, recorder); });
}

std::vector<std::string> MemoryWorkbook::SheetNames() const {
  Lock lock(app->mutex);
  std::vector<std::string> names;
  for (const auto& each : book->sheets)
    names.push_back(each->name);
  return names;
}

com::Variant MemoryWorkbook::CellValue(std::string_view sheet, std::string_view cell) const {
  return Locked([&] { return memory::CellAt(*book, sheet, cell).value; });
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

com::Ptr<excel::Application> MakeRecordingApplication(
    const com::Ptr<MemoryApplication>& application, std::shared_ptr<Recorder> recorder) {
  return com::MakeObject<MemoryApplication>(application->State(), std::move(recorder));
}

}  // namespace test_support
