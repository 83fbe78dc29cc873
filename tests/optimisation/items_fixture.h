// A model over the in-memory application with a workbook holding "Sheet1"
// and "Data", every automation call recorded, and the host records of the
// optimiser and of published variables followed by guard bytes that every
// test checks at its end. The operations are called through the interface
// table, as the dispatch layer calls them.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <tuple>
#include <utility>
#include <vector>

#include "automation/session_fixture.h"
#include "case/exported_variable.h"
#include "case/opt_items.h"
#include "com/variant_text.h"
#include "gridmoor/host.h"
#include "model/model.h"
#include "support/guarded_buffer.h"

namespace optimisation_test {

namespace opt = optimisation;
using com::Variant;
using test_support::GuardedBuffer;
using Interface = model::CExtInterface;
// The value slots of the optimiser all take a value record and the status.
using ValueSlot = std::int32_t (Interface::*)(void*, ExtStatusRecord*);

inline constexpr double kUndefined = EXT_UNDEFINED_VALUE;

template <typename T>
T Read(const std::vector<unsigned char>& bytes, std::size_t at) {
  T value;
  std::memcpy(&value, bytes.data() + at, sizeof value);
  return value;
}
template <typename T>
void Write(std::vector<unsigned char>& bytes, std::size_t at, const T& value) {
  std::memcpy(bytes.data() + at, &value, sizeof value);
}

// Appends an item (or published variable) bound to a cell of "Data".
template <typename Item>
Item& AddItem(model::CExtCollection<Item>& list, const std::string& name, const std::string& cell,
              const std::string& sheet = "Data") {
  Item* item = list.Add(std::make_unique<Item>());
  item->name = name;
  item->worksheet = sheet;
  item->cell = cell;
  return *item;
}

inline opt::CExcConstraint& AddConstraint(opt::CExcclConstraint& list, const std::string& name,
                                          const std::string& cell, std::uint32_t type = 0,
                                          double limit = 0) {
  auto& item = AddItem(list, name, cell);
  std::tie(item.ConstraintType, item.Limit) = std::pair(type, limit);
  return item;
}

inline opt::CExcControlVariable& AddControl(opt::CExcclControlVariable& list,
                                            const std::string& name, const std::string& cell,
                                            double lower = kUndefined, double upper = kUndefined) {
  auto& item = AddItem(list, name, cell);
  std::tie(item.LowerBound, item.UpperBound) = std::pair(lower, upper);
  return item;
}

// States as {name, value} pairs.
inline opt::CExcIntCtrlVariable& AddIntControl(
    opt::CExcclIntCtrlVariable& list, const std::string& name, const std::string& cell,
    const std::vector<std::pair<std::string, std::string>>& states) {
  auto& item = AddItem(list, name, cell);
  item.StateCount = static_cast<std::int32_t>(states.size());
  for (std::size_t k = 0; k < states.size() && k < item.StateNames.size(); ++k) {
    item.StateNames[k] = states[k].first;
    item.StateValues[k] = states[k].second;
  }
  return item;
}

class ItemsTest : public test_support::SessionTest {
 protected:
  void SetUp() override {
    model_ = std::make_unique<model::CExcModel>();
    ASSERT_NE(model_->Session(), nullptr) << model_->CreateError();
    ASSERT_EQ(model_->Session()->NewWorkbook(Msg()), 0);
    book_ = Application()->ActiveWorkbook();
    book_->AddWorksheet("Data");
    recorder_->Clear();
  }

  void TearDown() override {
    const std::pair<const char*, const GuardedBuffer*> records[] = {
        {"status", &status_},    {"value", &value_},         {"problem", &problem_},
        {"published", &record_}, {"published 2", &record2_}, {"add", &add_}};
    for (const auto& [name, buffer] : records)
      EXPECT_TRUE(buffer->GuardsIntact()) << "written past the " << name << " record";
  }

  Interface& Table() { return *model_; }

  ExtStatusRecord* Status() { return status_.status(); }
  std::string StatusText() { return status_.status()->text; }
  void ClearStatus() { std::fill_n(status_.bytes.begin(), EXT_STATUS_RECORD_SIZE, 0); }

  // --- The value record of the optimiser, filled as the host fills it ---
  std::int32_t Run(ValueSlot slot, std::int32_t handle, double value) {
    std::fill_n(value_.bytes.begin(), EXT_OPT_VALUE_RECORD_MIN_SIZE, 0x11);
    Write(value_.bytes, EXT_OPT_VALUE_HANDLE_OFFSET, handle);
    Write(value_.bytes, EXT_OPT_VALUE_VALUE_OFFSET, value);
    return (Table().*slot)(value_.bytes.data(), Status());
  }
  double ValueRead() const { return Read<double>(value_.bytes, EXT_OPT_VALUE_VALUE_OFFSET); }
  // What a slot answers, the value it leaves and its message.
  std::tuple<std::int32_t, double, std::string> Outcome(ValueSlot slot, std::int32_t handle,
                                                        double value) {
    const std::int32_t result = Run(slot, handle, value);
    return {result, ValueRead(), StatusText()};
  }

  // --- The problem record, 0x11 throughout as the host passes it ---
  std::int32_t Setup(std::int32_t mode) {
    std::fill_n(problem_.bytes.begin(), problem_.size, 0x11);
    return Table().SetupOptimisation(problem_.bytes.data(), mode, Status());
  }
  std::int32_t ProblemI32(std::size_t at) const { return Read<std::int32_t>(problem_.bytes, at); }
  bool ProblemUntouched() const {
    return std::all_of(problem_.bytes.begin(), problem_.bytes.begin() + problem_.size,
                       [](unsigned char byte) { return byte == 0x11; });
  }

  // --- The published-variable record (codes 103 and 105) ---
  std::int32_t Eval(std::int32_t handle, bool set, std::string_view text) {
    Write(record_.bytes, EXT_PUBVAR_HANDLE_OFFSET, handle);
    record_.bytes[EXT_PUBVAR_FLAG_OFFSET] = set ? 1 : 0;
    const std::size_t length = std::min<std::size_t>(text.size(), EXT_PUBVAR_TEXT_SIZE);
    std::copy_n(text.begin(), length, record_.bytes.begin() + EXT_PUBVAR_TEXT_OFFSET);
    if (length < EXT_PUBVAR_TEXT_SIZE) record_.bytes[EXT_PUBVAR_TEXT_OFFSET + length] = 0;
    return Table().EvalPublishedVariables(record_.bytes.data(), Status());
  }
  std::int32_t Get(std::int32_t handle) { return Eval(handle, false, "before"); }
  std::int32_t Set(std::int32_t handle, std::string_view text) { return Eval(handle, true, text); }
  // A text field of the record up to its NUL; the whole field when it has none.
  std::string RecordText(std::size_t offset, std::size_t size) const {
    const char* field = reinterpret_cast<const char*>(record_.bytes.data()) + offset;
    return std::string(field, strnlen(field, size));
  }
  std::string ValueText() const { return RecordText(EXT_PUBVAR_TEXT_OFFSET, EXT_PUBVAR_TEXT_SIZE); }

  // --- Record 2 (code 117): the text by address ---
  std::int32_t Eval2(std::int32_t handle, bool set, const char* text = nullptr) {
    Write(record2_.bytes, EXT_PUBVAR2_HANDLE_OFFSET, handle);
    record2_.bytes[EXT_PUBVAR2_FLAG_OFFSET] = set ? 1 : 0;
    Write(record2_.bytes, EXT_PUBVAR2_TEXT_POINTER_OFFSET, text);
    return Table().EvalPublishedVariables2(record2_.bytes.data(), Status());
  }
  const char* Record2Text() const {
    return Read<const char*>(record2_.bytes, EXT_PUBVAR2_TEXT_POINTER_OFFSET);
  }

  // --- The add record (code 108): the three texts by address ---
  std::int32_t Add(const char* worksheet, const char* cell, const char* name,
                   bool masking = false) {
    Write(add_.bytes, EXT_ADD_PUBVAR_WORKSHEET_POINTER_OFFSET, worksheet);
    Write(add_.bytes, EXT_ADD_PUBVAR_CELL_POINTER_OFFSET, cell);
    Write(add_.bytes, EXT_ADD_PUBVAR_NAME_POINTER_OFFSET, name);
    add_.bytes[EXT_ADD_PUBVAR_MASKING_OFFSET] = masking ? 1 : 0;
    return Table().AddPublishedVariable(add_.bytes.data(), Status());
  }

  opt::CExcExportedVariable& AddVariable(const std::string& name, const std::string& cell,
                                         std::int32_t width = 1, std::int32_t height = 1) {
    auto& variable = AddItem(model_->publishedVariables, name, cell);
    std::tie(variable.RegionWidth, variable.RegionHeight) = std::pair(width, height);
    return variable;
  }

  Variant Cell(const std::string& cell, const std::string& sheet = "Data") const {
    return book_->CellValue(sheet, cell);
  }
  std::string CellText(const std::string& cell, const std::string& sheet = "Data") const {
    return com::VariantToText(Cell(cell, sheet));
  }
  void PutCell(const std::string& cell, const Variant& value, const std::string& sheet = "Data") {
    book_->SetCellValue(sheet, cell, value);
  }
  // Per recorded call of `member`: its first argument, or its whole line.
  std::vector<std::string> Recorded(const char* member, bool argument) const {
    std::vector<std::string> out;
    for (const auto& call : recorder_->CallsOf(member))
      out.push_back(argument ? com::VariantToText(call.arguments[0]) : call.line);
    return out;
  }
  std::vector<std::string> RangesAsked() const { return Recorded("Worksheet.GetRange", true); }
  std::vector<std::string> ValueLines() const { return Recorded("Range.Invoke", false); }

  std::unique_ptr<model::CExcModel> model_;
  com::Ptr<test_support::MemoryWorkbook> book_;
  GuardedBuffer status_{EXT_STATUS_RECORD_SIZE, 0};
  GuardedBuffer value_{EXT_OPT_VALUE_RECORD_MIN_SIZE};
  GuardedBuffer problem_{EXT_OPT_PROBLEM_RECORD_SIZE};
  GuardedBuffer record_{EXT_PUBVAR_RECORD_MIN_SIZE};
  GuardedBuffer record2_{EXT_PUBVAR2_RECORD_MIN_SIZE};
  GuardedBuffer add_{EXT_ADD_PUBVAR_RECORD_MIN_SIZE};
};

}  // namespace optimisation_test
