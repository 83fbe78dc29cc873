// The block transfer held to the single-cell transfer: twin workbooks with the
// same random streams and published variables, one run cell by cell
// (GRIDMOOR_BLOCK_TRANSFER=0), one by blocks; stream values, host records
// (guard bytes included), results, messages and every cell of the sheets
// must agree. Runs on any application: the in-memory one under `unit`, Calc
// under `integration`.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "automation/block_transfer.h"
#include "automation/excel_session.h"
#include "casedata/case_details.h"
#include "casedata/composition.h"
#include "casedata/exported_variable.h"
#include "casedata/stream_data.h"
#include "casedata/values/stream_values.h"
#include "excel/errors.h"
#include "gridmoor/host.h"
#include "optimisation/published_ops.h"
#include "streams/stream_transfer.h"
#include "support/guarded_buffer.h"
#include "support/memory_application.h"
#include "support/temp_registry.h"

namespace streams_test {

// Every non-empty cell of a sheet by (row, column), 1-based.
using SheetCells = std::map<std::pair<int, int>, com::Variant>;

using automation::A1Name;
using automation::PlainCell;
using CellAt = automation::CellPosition;

struct Twin {
  std::unique_ptr<automation::CExcExcelObj> session;
  com::Ptr<test_support::MemoryApplication> memory;  // when it runs on one
  casedata::CExcCaseDetails details;
  casedata::CExcclExportedVariable variables;
  casedata::IprValues ipr;
  test_support::StatusBuffer status;
  std::vector<std::string> texts;  // handed out by published-variable reads

  ~Twin() {
    if (!session) return;
    session->CloseWorkbook();
    session->Quit();
  }
};

// What one round drives, the same in both twins.
struct Round {
  std::uint32_t seed = 0;
  std::size_t components = 1;
  casedata::CExcStreamCompositionData block;
  std::vector<std::string> names;
  std::vector<std::pair<std::string, com::Variant>> cells;  // the sheet's content
  casedata::IprValues pushed;                               // SetIPR's values
  streams::RunPosition position;
  casedata::CExcExportedVariable variable;
  std::string setText;
  std::optional<CellAt> injected;  // fails calls at this cell of the sheet
};

class BlockDifferential : public ::testing::Test {
 protected:
  static constexpr const char* kSheet = "Flow";

  // Called once the twin's session has its new workbook.
  virtual void Attached(Twin&) {}
  // Every non-empty cell of kSheet, read independently of the transfer.
  virtual SheetCells Contents(Twin& twin) = 0;
  // Makes every call that reaches `cell` fail (nullopt: none).
  virtual void InjectAt(std::optional<CellAt> cell) = 0;

  Round MakeRound(std::uint32_t seed, std::size_t maxComponents, bool inject);
  // A session with a new workbook, and a case of one stream of each kind
  // using the composition "Comp" of `names`.
  void Start(Twin& twin, const std::vector<std::string>& names);
  // Runs the round's operations on both twins and compares them.
  void Run(const Round& round);

 private:
  void Prepare(Twin& twin, const Round& round);
  void Compare(Twin& cells, Twin& blocks, const std::string& what,
               const std::function<bool(int row, int column)>& ignored = nullptr);
};

}  // namespace streams_test
