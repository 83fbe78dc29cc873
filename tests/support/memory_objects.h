// Inside the in-memory application: the state its objects share, and how a
// call is recorded.
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "com/error.h"
#include "support/memory_application.h"

namespace test_support::memory {

struct Cell {
  com::Variant value{};  // a formula cell's is VT_EMPTY
  std::string formula{};
  std::string format{};  // "" is General
};

using Position = std::pair<int, int>;  // 1-based row and column

struct Block {
  Position first, last;
  int Rows() const { return last.first - first.first + 1; }
  int Columns() const { return last.second - first.second + 1; }
};

struct SheetData {
  std::string name;
  bool chart = false;
  std::map<Position, Cell> cells{};  // the others are empty
};
using SheetList = std::vector<std::shared_ptr<SheetData>>;

struct BookState {
  std::string name;
  std::string path;
  SheetList sheets;
  std::size_t active = 0;
  bool closed = false;
};

struct MacroEntry {
  std::string book;  // the workbook's name; empty for the application's own
  std::string module;
  std::string procedure;
  MemoryMacro macro;
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
  int nextBook = 1;
  std::vector<MacroEntry> macros;
};

using Lock = std::unique_lock<std::mutex>;

inline bool IsInteger(VARTYPE vt) {
  return vt == VT_I2 || vt == VT_I4 || (vt >= VT_I1 && vt <= VT_UINT);
}

// Without regard to ASCII case, as the application compares names.
bool SameName(std::string_view a, std::string_view b);
std::shared_ptr<SheetData> FindSheet(const SheetList& sheets, std::string_view name);
// Whether the workbook takes `name` for `self` (null for a new sheet).
bool AcceptableSheetName(const BookState& book, const SheetData* self, std::string_view name);
// "B7", "$B$7", "b7", or two of them joined by ':' in any corner order.
std::optional<Block> ParseBlock(std::string_view text);
// A Value2 put as the cell takes it (value and formula); DISP_E_TYPEMISMATCH
// for what no cell holds.
Cell InterpretInput(const VARIANT& value);
com::Ptr<excel::Sheets> MakeSheets(const Place& place, bool worksheetsOnly);

// One argument of a recorded call; it refers to the caller's values.
struct Arg {
  enum Style { kValue, kLcid, kNumber, kHex, kBool, kText, kList, kEach, kOptional, kInvokeKind };
  Arg(const com::Variant& v) : style(kValue), value(&v) {}
  Arg(const com::Bstr& t) : style(kText), text(&t) {}
  Arg(Style s, std::int32_t n) : style(s), number(n) {}
  Arg(Style s, std::span<const com::Variant> v) : style(s), values(v) {}
  Style style;
  const VARIANT* value = nullptr;
  const com::Bstr* text = nullptr;
  std::int32_t number = 0;
  std::span<const com::Variant> values;
};
inline Arg Lcid(std::int32_t lcid) {
  return {Arg::kLcid, lcid};
}

template <typename Body>
auto Object::Call(const char* member, std::initializer_list<Arg> arguments, Body body) {
  const std::size_t number = recorder_ ? Record(member, arguments) : 0;
  try {
    Lock lock(app_->mutex);
    if (app_->quit || app_->killed || (book_ && book_->closed)) com::Throw(com::RPC_E_DISCONNECTED);
    return body(lock);
  } catch (...) {
    if (recorder_) Failed(number);
    throw;
  }
}

}  // namespace test_support::memory
