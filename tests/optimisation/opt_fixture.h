// Optimisation items over a session on the in-memory application, every call
// recorded, and host records followed by guard bytes that every test checks
// at its end.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "automation/session_fixture.h"
#include "gridmoor/host.h"
#include "optimisation/opt_items.h"
#include "optimisation/optimisation_ops.h"
#include "support/guarded_buffer.h"

namespace optimisation_test {

inline constexpr double kUndefined = 3.4e35;

// The pattern an untouched double of a host record holds.
inline double HostFill() {
  double value;
  const std::uint64_t bits = 0x1111111111111111ull;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

struct State {
  const char* name;
  const char* value;
};

inline optimisation::CExcConstraint& AddConstraint(optimisation::CExcclConstraint& list,
                                                   const std::string& name,
                                                   const std::string& sheet,
                                                   const std::string& cell, std::uint32_t type = 0,
                                                   double limit = 0) {
  auto* item = list.Add(std::make_unique<optimisation::CExcConstraint>());
  item->name = name;
  item->worksheet = sheet;
  item->cell = cell;
  item->ConstraintType = type;
  item->Limit = limit;
  return *item;
}

inline optimisation::CExcControlVariable& AddControl(
    optimisation::CExcclControlVariable& list, const std::string& name, const std::string& sheet,
    const std::string& cell, double lower = kUndefined, double upper = kUndefined) {
  auto* item = list.Add(std::make_unique<optimisation::CExcControlVariable>());
  item->name = name;
  item->worksheet = sheet;
  item->cell = cell;
  item->LowerBound = lower;
  item->UpperBound = upper;
  return *item;
}

inline optimisation::CExcIntCtrlVariable& AddIntControl(optimisation::CExcclIntCtrlVariable& list,
                                                        const std::string& name,
                                                        const std::string& sheet,
                                                        const std::string& cell,
                                                        const std::vector<State>& states) {
  auto* item = list.Add(std::make_unique<optimisation::CExcIntCtrlVariable>());
  item->name = name;
  item->worksheet = sheet;
  item->cell = cell;
  item->StateCount = static_cast<std::int32_t>(states.size());
  for (std::size_t k = 0; k < states.size() && k < item->StateNames.size(); ++k) {
    item->StateNames[k] = states[k].name;
    item->StateValues[k] = states[k].value;
  }
  return *item;
}

class OptimisationTest : public test_support::SessionTest {
 protected:
  void SetUp() override {
    session_ = NewSession();
    ASSERT_NE(session_, nullptr);
    ASSERT_EQ(session_->NewWorkbook(Msg()), 0);
    book_ = Application()->ActiveWorkbook();
    book_->AddWorksheet("Plant");
    recorder_->Clear();
  }

  void TearDown() override {
    EXPECT_TRUE(value_.GuardsIntact()) << "written past the value record";
    EXPECT_TRUE(status_.GuardsIntact()) << "written past the status record";
  }

  optimisation::OptimisationItems Items() {
    return {objective_, constraints_, controls_, intControls_};
  }

  ExtStatusRecord* Status() { return reinterpret_cast<ExtStatusRecord*>(status_.bytes.data()); }
  std::string StatusText() const {
    return std::string(reinterpret_cast<const char*>(status_.bytes.data()) + 4);
  }
  void ClearStatus() { std::memset(status_.bytes.data(), 0, EXT_STATUS_RECORD_SIZE); }

  void* Value() { return value_.bytes.data(); }
  // Fills the value record as the host does before a call.
  void PutValue(std::int32_t handle, double value) {
    std::memset(value_.bytes.data(), 0x11, EXT_OPT_VALUE_RECORD_MIN_SIZE);
    std::memcpy(value_.bytes.data() + EXT_OPT_VALUE_HANDLE_OFFSET, &handle, sizeof handle);
    std::memcpy(value_.bytes.data() + EXT_OPT_VALUE_VALUE_OFFSET, &value, sizeof value);
  }
  double ValueRead() const {
    double value;
    std::memcpy(&value, value_.bytes.data() + EXT_OPT_VALUE_VALUE_OFFSET, sizeof value);
    return value;
  }

  com::Variant Cell(const std::string& cell, const std::string& sheet = "Plant") const {
    return book_->CellValue(sheet, cell);
  }
  void PutCell(const std::string& cell, const com::Variant& value,
               const std::string& sheet = "Plant") {
    book_->SetCellValue(sheet, cell, value);
  }

  // Recorded calls that reached a cell (Range objects and their values).
  std::size_t CellCalls() const {
    return recorder_->CountOf("Worksheet.GetRange") + recorder_->CountOf("Range.Invoke");
  }

  std::unique_ptr<automation::CExcExcelObj> session_;
  com::Ptr<test_support::MemoryWorkbook> book_;
  optimisation::CExcObjFn objective_;
  optimisation::CExcclConstraint constraints_;
  optimisation::CExcclControlVariable controls_;
  optimisation::CExcclIntCtrlVariable intControls_;
  test_support::GuardedBuffer value_{EXT_OPT_VALUE_RECORD_MIN_SIZE};
  test_support::GuardedBuffer status_{EXT_STATUS_RECORD_SIZE, 0};
};

}  // namespace optimisation_test
