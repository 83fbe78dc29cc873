// A model over the in-memory application with a workbook holding "Sheet1"
// and "Data", every automation call recorded, and the published-variable
// records followed by guard bytes that every test checks at its end. The
// operations are called through the interface table, as the dispatch layer
// calls them.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "automation/session_fixture.h"
#include "com/variant_text.h"
#include "gridmoor/host.h"
#include "model/model.h"
#include "optimisation/exported_variable.h"
#include "support/guarded_buffer.h"

namespace published_test {

class PublishedTest : public test_support::SessionTest {
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
    EXPECT_TRUE(record_.GuardsIntact()) << "written past the published-variable record";
    EXPECT_TRUE(record2_.GuardsIntact()) << "written past published-variable record 2";
    EXPECT_TRUE(add_.GuardsIntact()) << "written past the add record";
    EXPECT_TRUE(status_.GuardsIntact()) << "written past the status record";
  }

  model::CExtInterface& Table() { return *model_; }
  optimisation::CExcclExportedVariable& Variables() { return model_->publishedVariables; }
  automation::CExcExcelObj* Session() { return model_->Session(); }

  // Appends a variable on "Data".
  optimisation::CExcExportedVariable& AddVariable(const std::string& name, const std::string& cell,
                                                  std::int32_t width = 1, std::int32_t height = 1) {
    auto variable = std::make_unique<optimisation::CExcExportedVariable>();
    variable->name = name;
    variable->worksheet = "Data";
    variable->cell = cell;
    variable->RegionWidth = width;
    variable->RegionHeight = height;
    return *Variables().Add(std::move(variable));
  }

  // --- The fixed-size record (codes 103 and 105) ---
  void PutHandle(std::int32_t handle) {
    std::memcpy(record_.bytes.data() + EXT_PUBVAR_HANDLE_OFFSET, &handle, sizeof handle);
  }
  // Handle, flag and the value text (terminated when shorter than its field).
  void PutRecord(std::int32_t handle, bool set, std::string_view text = {}) {
    PutHandle(handle);
    record_.bytes[EXT_PUBVAR_FLAG_OFFSET] = set ? 1 : 0;
    const std::size_t length = std::min<std::size_t>(text.size(), EXT_PUBVAR_TEXT_SIZE);
    if (length > 0) std::memcpy(record_.bytes.data() + EXT_PUBVAR_TEXT_OFFSET, text.data(), length);
    if (length < EXT_PUBVAR_TEXT_SIZE) record_.bytes[EXT_PUBVAR_TEXT_OFFSET + length] = 0;
  }
  std::int32_t RecordHandle() const {
    std::int32_t handle;
    std::memcpy(&handle, record_.bytes.data() + EXT_PUBVAR_HANDLE_OFFSET, sizeof handle);
    return handle;
  }
  std::uint8_t RecordFlag() const { return record_.bytes[EXT_PUBVAR_FLAG_OFFSET]; }
  // A text field of the record up to its NUL; the whole field when it has none.
  std::string RecordText(std::size_t offset, std::size_t size) const {
    const char* field = reinterpret_cast<const char*>(record_.bytes.data()) + offset;
    return std::string(field, strnlen(field, size));
  }
  std::string ValueText() const { return RecordText(EXT_PUBVAR_TEXT_OFFSET, EXT_PUBVAR_TEXT_SIZE); }
  std::int32_t Eval() { return Table().EvalPublishedVariables(record_.bytes.data(), Status()); }

  // --- Record 2 (code 117) ---
  void PutRecord2(std::int32_t handle, bool set, const char* text) {
    std::memcpy(record2_.bytes.data() + EXT_PUBVAR2_HANDLE_OFFSET, &handle, sizeof handle);
    record2_.bytes[EXT_PUBVAR2_FLAG_OFFSET] = set ? 1 : 0;
    std::memcpy(record2_.bytes.data() + EXT_PUBVAR2_TEXT_POINTER_OFFSET, &text, sizeof text);
  }
  const char* Record2Text() const {
    const char* text;
    std::memcpy(&text, record2_.bytes.data() + EXT_PUBVAR2_TEXT_POINTER_OFFSET, sizeof text);
    return text;
  }
  std::int32_t Eval2() { return Table().EvalPublishedVariables2(record2_.bytes.data(), Status()); }

  // --- The add record (code 108): the three texts by address ---
  std::int32_t Add(const char* worksheet, const char* cell, const char* name,
                   bool masking = false) {
    std::memcpy(add_.bytes.data() + EXT_ADD_PUBVAR_WORKSHEET_POINTER_OFFSET, &worksheet, 8);
    std::memcpy(add_.bytes.data() + EXT_ADD_PUBVAR_CELL_POINTER_OFFSET, &cell, 8);
    std::memcpy(add_.bytes.data() + EXT_ADD_PUBVAR_NAME_POINTER_OFFSET, &name, 8);
    add_.bytes[EXT_ADD_PUBVAR_MASKING_OFFSET] = masking ? 1 : 0;
    return Table().AddPublishedVariable(add_.bytes.data(), Status());
  }
  std::int32_t AddedHandle() const {
    std::int32_t handle;
    std::memcpy(&handle, add_.bytes.data() + EXT_ADD_PUBVAR_HANDLE_OFFSET, sizeof handle);
    return handle;
  }

  // --- Cells ---
  com::Variant Cell(const std::string& cell, const std::string& sheet = "Data") const {
    return book_->CellValue(sheet, cell);
  }
  std::string CellText(const std::string& cell, const std::string& sheet = "Data") const {
    return com::VariantToText(Cell(cell, sheet));
  }
  void PutCell(const std::string& cell, const com::Variant& value,
               const std::string& sheet = "Data") {
    book_->SetCellValue(sheet, cell, value);
  }
  // The addresses of the Range objects asked for, in order.
  std::vector<std::string> RangesAsked() const {
    std::vector<std::string> cells;
    for (const auto& call : recorder_->CallsOf("Worksheet.GetRange"))
      cells.push_back(com::VariantToText(call.arguments[0]));
    return cells;
  }

  ExtStatusRecord* Status() { return reinterpret_cast<ExtStatusRecord*>(status_.bytes.data()); }
  std::string StatusText() const {
    return std::string(reinterpret_cast<const char*>(status_.bytes.data()) +
                       EXT_STATUS_TEXT_OFFSET);
  }
  void ClearStatus() {
    std::fill(status_.bytes.begin(), status_.bytes.begin() + EXT_STATUS_RECORD_SIZE, 0);
  }

  std::unique_ptr<model::CExcModel> model_;
  com::Ptr<test_support::MemoryWorkbook> book_;
  test_support::GuardedBuffer record_{EXT_PUBVAR_RECORD_MIN_SIZE};
  test_support::GuardedBuffer record2_{EXT_PUBVAR2_RECORD_MIN_SIZE};
  test_support::GuardedBuffer add_{EXT_ADD_PUBVAR_RECORD_MIN_SIZE};
  test_support::GuardedBuffer status_{EXT_STATUS_RECORD_SIZE, 0};
};

}  // namespace published_test
