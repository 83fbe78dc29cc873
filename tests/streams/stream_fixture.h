// A case with streams over a session on the in-memory application, every
// call recorded, and host records followed by guard bytes that every test
// checks at its end.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "automation/session_fixture.h"
#include "case/case_details.h"
#include "case/composition.h"
#include "case/stream_data.h"
#include "com/variant_text.h"
#include "gridmoor/host.h"
#include "ipr_record.h"

namespace streams_test {

inline constexpr double kUndefined = EXT_UNDEFINED_VALUE;

// The component table at B20 (names in B, column k in the k-th column after
// B) and the interaction matrix at R20, as the tests lay them out.
inline std::string TableCell(std::size_t column, std::size_t component) {
  return std::string(1, static_cast<char>('B' + column)) + std::to_string(20 + component);
}
inline std::string MatrixCell(std::size_t i, std::size_t j) {
  return std::string(1, static_cast<char>('R' + j)) + std::to_string(20 + i);
}

class StreamTest : public test_support::SessionTest {
 protected:
  void SetUp() override {
    session_ = NewSession();
    ASSERT_NE(session_, nullptr);
    ASSERT_EQ(session_->NewWorkbook(Msg()), 0);
    book_ = Application()->ActiveWorkbook();
    book_->AddWorksheet("Flow");
    book_->AddWorksheet("Other");
    SetCounts(1, 1);
    recorder_->Clear();
  }

  void TearDown() override {
    EXPECT_TRUE(ipr_.GuardsIntact()) << "written past the IPR record";
    EXPECT_TRUE(status_.GuardsIntact()) << "written past the status record";
  }

  void SetCounts(std::uint32_t inputs, std::uint32_t outputs) {
    details_.inputCount = inputs;
    details_.outputCount = outputs;
    streams::ResizeStreams(details_.inputStreams, inputs);
    streams::ResizeStreams(details_.outputStreams, outputs);
  }

  streams::CExcInputStreamData& Input(std::size_t i) { return *details_.inputStreams.At(i); }
  streams::CExcOutputStreamData& Output(std::size_t j) { return *details_.outputStreams.At(j); }

  // A composition of `count` components "C1", "C2", ... in the case list,
  // with compositions switched on.
  streams::CExcCompositionDefinition& AddComposition(const std::string& name, std::size_t count) {
    std::vector<std::string> names;
    for (std::size_t i = 0; i < count; ++i)
      names.push_back("C" + std::to_string(i + 1));
    details_.useCompositions = 1;
    return *details_.compositions.Add(
        std::make_unique<streams::CExcCompositionDefinition>(name, std::move(names)));
  }

  ExtStatusRecord* Status() { return status_.status(); }
  std::string StatusText() const {
    return std::string(reinterpret_cast<const char*>(status_.bytes.data()) + 4);
  }
  void* Ipr() { return ipr_.bytes.data(); }

  com::Variant Cell(const std::string& cell, const std::string& sheet = "Flow") const {
    return book_->CellValue(sheet, cell);
  }
  void PutCell(const std::string& cell, const com::Variant& value,
               const std::string& sheet = "Flow") {
    book_->SetCellValue(sheet, cell, value);
  }

  // The addresses of the Range objects asked for, in order.
  std::vector<std::string> RangesAsked() const {
    std::vector<std::string> cells;
    for (const auto& call : recorder_->CallsOf("Worksheet.GetRange"))
      cells.push_back(com::VariantToText(call.arguments[0]));
    return cells;
  }

  std::unique_ptr<automation::CExcExcelObj> session_;
  com::Ptr<test_support::MemoryWorkbook> book_;
  model::CExcCaseDetails details_;
  IprRecord ipr_;
  test_support::GuardedBuffer status_{EXT_STATUS_RECORD_SIZE, 0};
};

}  // namespace streams_test
