// An in-memory spreadsheet application for tests: the excel:: object model
// over workbooks in memory, a test side to prepare and inspect them, and a
// call log with fault injection. Where the driver can tell, it behaves as the
// real application (tests/excel/application_contract_test.cpp), except that:
// - nothing is calculated: a formula ("=...") reads VT_EMPTY; a text put
//   becomes a number only in the classic "C" form (" 1.5e3 ");
// - a range's NumberFormat reads one cell (else E_NOTIMPL);
// - a saved workbook is a snapshot kept for the life of the process, its
//   file a marker naming the snapshot (a copy of the file opens as a copy);
// - macros are functions the test registers, none a workbook's own:
//   RunAutoMacros runs nothing; chart sheets exist;
// - Close does not save (SaveChanges true is E_NOTIMPL).
// The objects share their application's state under one mutex, so that the
// test may inspect while another thread drives.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <initializer_list>
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
#include "com/hresult.h"
#include "excel/object_model.h"

namespace test_support {

class MemoryApplication;
class Recorder;

// The call log. The objects that MakeRecordingApplication hands out, and all
// reached from them, record each call as it begins, as "<Kind>.<Member>(
// <arguments>)": Kind Application, Workbooks, Workbook, Sheets, Worksheets
// (from GetWorksheets), Worksheet, Chart or Range; VARIANTs by type and value
// (Missing, VT_I4 3, VT_R8 1.5, VT_BOOL false, VT_BSTR "a", VT_ERROR
// 0x800A07FA), lcid=0, other integers bare, VARIANT_TRUE, BSTRs quoted,
// optional=12 x Missing for Open, VT_I4 3, 29 x Missing for Run, and the
// dispid in hex, get, put or method for Invoke. A failed call ends with
// " -> failed 0x800A03EC" (or " -> failed (not a COM error)"). The test side
// and macros are not recorded.
struct RecordedCall {
  std::string member;  // "Workbook.Close"
  // Integers (lcid included) as VT_I4, VARIANT_BOOL as VT_BOOL, BSTRs as
  // VT_BSTR; Invoke: dispid and kind as VT_I4 first.
  std::vector<com::Variant> arguments;
  std::string line;
};

// Makes a call fail with `hr` before the application acts (it is recorded,
// failed).
struct Fault {
  std::string member;  // "Workbook.Save"
  com::HRESULT hr = com::E_FAIL;
  // The calls that match (member, and `when` if set), counted from the moment
  // the fault was added, from 1: the one that fails, and every later one too
  // when `andLater`.
  std::size_t occurrence = 1;
  bool andLater = false;
  std::function<bool(const RecordedCall&)> when;
};

// A macro: takes the arguments of Run that are not Missing and gives its
// result; it fails by throwing (Run then fails with DISP_E_EXCEPTION). It may
// call the application it is given; a com::Ptr to the application's objects
// captured in it would keep them alive in a cycle.
using MemoryMacro = std::function<com::Variant(MemoryApplication& application,
                                               const std::vector<com::Variant>& arguments)>;

// --- Inside: the state the objects of one application share ---

namespace memory {

struct Cell {
  com::Variant value{};  // a formula cell's is VT_EMPTY
  std::string formula{};
  std::string format{};  // "" for General
};

using Position = std::pair<int, int>;  // 1-based row and column

struct Block {
  Position first, last;
};

struct SheetData {
  // Spelled out: clang 14 (the fuzz build) has no parenthesised aggregates.
  explicit SheetData(std::string sheetName) : name(std::move(sheetName)) {}
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
  std::string module;
  std::string procedure;
  MemoryMacro macro;
};

struct AppState {
  mutable std::mutex mutex;
  bool quit = false;
  std::int32_t windowState = excel::kWindowNormal;
  com::VARIANT_BOOL visible = com::VARIANT_FALSE;
  com::VARIANT_BOOL screenUpdating = com::VARIANT_TRUE;
  com::VARIANT_BOOL interactive = com::VARIANT_TRUE;
  std::vector<std::shared_ptr<BookState>> books;  // open, in opening order
  std::shared_ptr<BookState> activeBook;
  int nextBook = 1;
  std::vector<MacroEntry> macros;
};

using Lock = std::unique_lock<std::mutex>;

inline bool IsInteger(com::VARTYPE vt) {
  return vt == com::VT_I2 || vt == com::VT_I4 || (vt >= com::VT_I1 && vt <= com::VT_UINT);
}

// One argument of a recorded call; it refers to the caller's values.
struct Arg {
  enum Style { kValue, kLcid, kNumber, kHex, kBool, kText, kList, kOptional, kInvokeKind };
  Arg(const com::Variant& v) : style(kValue), value(&v) {}
  Arg(const com::Bstr& t) : style(kText), text(&t) {}
  Arg(Style s, std::int32_t n) : style(s), number(n) {}
  Arg(Style s, std::span<const com::Variant> v) : style(s), values(v) {}
  Style style;
  const com::VARIANT* value = nullptr;
  const com::Bstr* text = nullptr;
  std::int32_t number = 0;
  std::span<const com::Variant> values;
};
inline Arg Lcid(std::int32_t lcid) {
  return {Arg::kLcid, lcid};
}

// Where an object is: its application's state, the recorder when it was
// reached through MakeRecordingApplication, its workbook and its sheet.
struct Place {
  std::shared_ptr<AppState> app;
  std::shared_ptr<Recorder> recorder{};
  std::shared_ptr<BookState> book{};
  std::shared_ptr<SheetData> sheet{};
};

class Object : protected Place {
 protected:
  Object(Place place, const char* kind) : Place(std::move(place)), kind_(kind) {}
  const Place& Here() const { return *this; }
  // Runs `inspect` under the state's lock, whatever happened (the test side).
  template <typename Inspect>
  auto Locked(Inspect inspect) const {
    Lock lock(app->mutex);
    return inspect();
  }
  // One call through the interfaces: recorded (failing when a fault is due),
  // then `body(lock)` runs under the state's lock, which fails with
  // RPC_E_DISCONNECTED when the application has gone or the workbook closed.
  template <typename Body>
  auto Call(const char* member, std::initializer_list<Arg> arguments, Body body);

 private:
  std::size_t Record(const char* member, std::initializer_list<Arg> arguments);
  void Failed(std::size_t number);  // inside a catch block
  const char* kind_;
};

template <typename Body>
auto Object::Call(const char* member, std::initializer_list<Arg> arguments, Body body) {
  const std::size_t number = recorder ? Record(member, arguments) : 0;
  try {
    Lock lock(app->mutex);
    if (app->quit || (book && book->closed)) com::Throw(com::RPC_E_DISCONNECTED);
    return body(lock);
  } catch (...) {
    if (recorder) Failed(number);
    throw;
  }
}

}  // namespace memory

class Recorder {
 public:
  std::vector<RecordedCall> Calls() const;
  std::vector<std::string> Lines() const;
  std::string Transcript() const;  // the lines, each followed by "\n"
  std::vector<RecordedCall> CallsOf(std::string_view member) const;
  std::size_t CountOf(std::string_view member) const { return CallsOf(member).size(); }
  void Clear();  // forgets the calls recorded so far; the faults stay

  void FailCall(std::string member, com::HRESULT hr, std::size_t occurrence = 1);
  void FailFrom(std::string member, com::HRESULT hr, std::size_t occurrence = 1);  // and later
  void AddFault(Fault fault);
  void ClearFaults();

 private:
  friend class memory::Object;
  mutable std::mutex mutex_;
  std::vector<RecordedCall> calls_;
  std::size_t forgotten_ = 0;  // calls dropped by Clear, so that numbers stay valid
  std::vector<std::pair<Fault, std::size_t>> faults_;  // with the calls counted
};

class MemoryWorkbook;

class MemoryApplication : public excel::Application, private memory::Object {
 public:
  static com::Ptr<MemoryApplication> Create();
  // Another handle on an application's state.
  explicit MemoryApplication(std::shared_ptr<memory::AppState> state,
                             std::shared_ptr<Recorder> recorder = nullptr);

  void PutWindowState(std::int32_t lcid, std::int32_t state) override;
  std::int32_t GetWindowState(std::int32_t lcid) override;
  void PutVisible(std::int32_t lcid, com::VARIANT_BOOL visible) override;
  com::VARIANT_BOOL GetVisible(std::int32_t lcid) override;
  void PutScreenUpdating(std::int32_t lcid, com::VARIANT_BOOL updating) override;
  com::VARIANT_BOOL GetScreenUpdating(std::int32_t lcid) override;
  void PutInteractive(std::int32_t lcid, com::VARIANT_BOOL interactive) override;
  com::VARIANT_BOOL GetInteractive(std::int32_t lcid) override;
  com::Ptr<excel::Workbooks> GetWorkbooks() override;
  com::Variant Run(const com::Variant& macro, const excel::RunArguments& arguments) override;
  void Quit() override;

  // --- Test side ---

  // Registers (or replaces) the macro Run finds by `name`, "Proc" or
  // "Module1.Proc", without regard to case; a module left out on either side
  // matches any.
  void RegisterMacro(std::string_view name, MemoryMacro macro);
  std::vector<com::Ptr<MemoryWorkbook>> OpenWorkbooks() const;  // in opening order
  com::Ptr<MemoryWorkbook> ActiveWorkbook() const;              // null when none
  com::Ptr<MemoryWorkbook> AddWorkbook();                       // as Workbooks.Add
  bool HasQuit() const {
    return Locked([&] { return app->quit; });
  }
  struct Properties {
    std::int32_t windowState;
    com::VARIANT_BOOL visible;
    com::VARIANT_BOOL screenUpdating;
    com::VARIANT_BOOL interactive;
  };
  Properties CurrentProperties() const;
  const std::shared_ptr<memory::AppState>& State() const { return app; }
};

// Test-side members address cells as ("Sheet1", "B2"); a sheet that is not
// there, a chart sheet or a bad address throws std::invalid_argument.
class MemoryWorkbook : public excel::Workbook, private memory::Object {
 public:
  explicit MemoryWorkbook(memory::Place place);

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

  // "Book1", or its file's name; the full path of its file, "" when none.
  std::string Name() const {
    return Locked([&] { return book->name; });
  }
  std::string Path() const {
    return Locked([&] { return book->path; });
  }
  std::vector<std::string> SheetNames() const;  // charts included
  com::Variant CellValue(std::string_view sheet, std::string_view cell) const;
  // Stores `value` as it is (VT_EMPTY, VT_R8, VT_BSTR, VT_BOOL or VT_ERROR).
  void SetCellValue(std::string_view sheet, std::string_view cell, const com::Variant& value);
  // Appends a sheet; the name must be free and acceptable.
  void AddWorksheet(std::string_view name);
  void AddChartSheet(std::string_view name) {
    AddWorksheet(name);
    Locked([&] { book->sheets.back()->chart = true; });
  }
};

// `application` seen through the call log of `recorder`.
com::Ptr<excel::Application> MakeRecordingApplication(
    const com::Ptr<MemoryApplication>& application, std::shared_ptr<Recorder> recorder);

}  // namespace test_support
