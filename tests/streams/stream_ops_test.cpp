// A stream's values from its cells (GetIPR) and to them (SetIPR) on the
// in-memory application; their host records are the driver's, tested there.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <cstdint>
#include <memory>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "automation/session_fixture.h"
#include "casedata/case_details.h"
#include "casedata/composition.h"
#include "casedata/stream_data.h"
#include "casedata/values/stream_values.h"
#include "com/error_text.h"
#include "com/variants/variant_text.h"
#include "excel/errors.h"
#include "gridmoor/host.h"
#include "outcome/outcome.h"
#include "streams/stream_transfer.h"
#include "support/cell_texts.h"

namespace streams_test {
namespace {

using casedata::CExcCompositionDefinition;
using casedata::IprValues;
using com::Variant;
using ::testing::Contains;
using ::testing::Not;
using Strings = std::vector<std::string>;
using Variants = std::vector<Variant>;
constexpr double kRunDate = 45000.5;
constexpr double kUndefined = EXT_UNDEFINED_VALUE;
constexpr std::uint32_t kHostWord = 0x11111111u;

// What the host left in a value the operations do not touch.
double HostFill() {
  return std::bit_cast<double>(0x1111111111111111ull);
}

// Values as a host passes them before any was set: every number the fill.
IprValues HostValues() {
  IprValues values;
  for (double* field :
       {&values.oilRate, &values.waterRate, &values.gasRate, &values.pressure, &values.temperature,
        &values.oilGravity, &values.waterGravity, &values.gasGravity, &values.massRate})
    *field = HostFill();
  for (std::uint32_t* word : {&values.compositionPresent, &values.componentCount,
                              &values.componentFlags, &values.eosModel})
    *word = kHostWord;
  for (auto* table : {&values.components, &values.interaction})
    for (casedata::ComponentValues& column : *table)
      column.fill(HostFill());
  return values;
}

// The component table at B20 (names in B, column k in the k-th column after
// B) and the interaction matrix at R20, as the tests lay them out.
std::string TableCell(std::size_t column, std::size_t component) {
  return std::string(1, static_cast<char>('B' + column)) + std::to_string(20 + component);
}
std::string MatrixCell(std::size_t i, std::size_t j) {
  return std::string(1, static_cast<char>('R' + j)) + std::to_string(20 + i);
}

// GetIPR on Out-1 and SetIPR on In-1, both on the sheet "Flow".
class IprTest : public test_support::SessionTest {
 protected:
  void SetUp() override {
    session_ = NewSession();
    ASSERT_NE(session_, nullptr);
    ASSERT_EQ(session_->NewWorkbook().Message(), "");
    book_ = Application()->ActiveWorkbook();
    book_->AddWorksheet("Flow");
    book_->AddWorksheet("Other");
    details_.inputCount = details_.outputCount = 1;
    casedata::ResizeStreams(details_.inputStreams, 1);
    casedata::ResizeStreams(details_.outputStreams, 1);
    Input(0).sheetName = Output(0).sheetName = "Flow";
    recorder_->Clear();
  }

  casedata::CExcInputStreamData& Input(std::size_t i) { return *details_.inputStreams.At(i); }
  casedata::CExcOutputStreamData& Output(std::size_t j) { return *details_.outputStreams.At(j); }

  // The result an outcome gives the host, keeping its message.
  std::int32_t Answer(const outcome::Error& error) {
    message_ = error.Message();
    return error.Result();
  }
  const std::string& StatusText() const { return message_; }

  Variant Cell(const std::string& cell, const std::string& sheet = "Flow") const {
    return book_->CellValue(sheet, cell);
  }
  void PutCell(const std::string& cell, const Variant& value, const std::string& sheet = "Flow") {
    book_->SetCellValue(sheet, cell, value);
  }

  // The addresses of the Range objects asked for, in order.
  std::vector<std::string> RangesAsked() const {
    std::vector<std::string> cells;
    for (const auto& call : recorder_->CallsOf("Worksheet.GetRange"))
      cells.push_back(com::VariantToText(call.arguments[0]));
    return cells;
  }

  // The result the host gets; the values keep what the get read, also on a
  // failure.
  std::int32_t Get() {
    ipr_.handle = 1;  // Out-1
    outcome::Partial<IprValues> got = streams::GetIPR(details_, session_.get(), ipr_);
    ipr_ = std::move(got.value);
    return Answer(got.error);
  }
  std::int32_t Set(std::uint32_t timestep = 0) {
    ipr_.handle = 0;  // In-1
    return Answer(streams::SetIPR(details_, session_.get(), {kRunDate, timestep}, ipr_));
  }

  // Entry i of component-table column k (1 ... 14), and coefficient i, j.
  double& ComponentField(std::size_t k, std::size_t i) { return ipr_.components[k - 1][i]; }
  double& MatrixField(std::size_t i, std::size_t j) { return ipr_.interaction[i][j]; }

  // The host's values of a stream, in internal units.
  void Give() {
    std::tie(ipr_.oilRate, ipr_.waterRate, ipr_.gasRate, ipr_.pressure, ipr_.temperature,
             ipr_.oilGravity, ipr_.gasGravity, ipr_.waterGravity) =
        std::tuple(100, 50, 2.5, 145, 150, 0.85, 0.7, 1.02);
  }

  // Binds every row of a grid to <column>2 ... <column>11 with the given units.
  void BindRows(std::array<casedata::CExcPropertyCell, casedata::kInputRowCount>& grid,
                const std::array<std::uint32_t, casedata::kInputRowCount>& units,
                const char* column) {
    for (std::size_t row = 0; row < grid.size(); ++row)
      grid[row] = {column + std::to_string(row + 2), units[row]};
  }

  // Switches compositions on and binds both streams to the composition "Gas"
  // of `count` components "C1", "C2", ...: its table at B20, matrix at R20,
  // EOS model at B31 and mass rate at B30.
  casedata::CExcStreamCompositionData& UseComposition(std::size_t count) {
    std::vector<std::string> names;
    for (std::size_t i = 0; i < count; ++i)
      names.push_back("C" + std::to_string(i + 1));
    details_.useCompositions = 1;
    details_.compositions.Add(std::make_unique<CExcCompositionDefinition>("Gas", std::move(names)));
    Input(0).compositionName = Output(0).compositionName = "Gas";
    Input(0).composition = Output(0).composition = {.componentTableCell = "B20",
                                                    .interactionCell = "R20",
                                                    .massRateCell = "B30",
                                                    .eosModelCell = "B31"};
    return Input(0).composition;
  }

  std::unique_ptr<automation::CExcExcelObj> session_;
  com::Ptr<test_support::MemoryWorkbook> book_;
  casedata::CExcCaseDetails details_;
  IprValues ipr_ = HostValues();
  std::string message_;
};

// A blank cell is undefined; a row without a cell leaves its field. How a
// cell's text becomes a number is the cell transfer's business.
TEST_F(IprTest, PropertyRowsFillTheirFieldsFromTheStreamsSheetConverted) {
  // The bound cell and its unit, the value in B2, B3, ..., the field and what it gets.
  const std::tuple<const char*, std::uint32_t, Variant, double IprValues::*, double> rows[] = {
      {"B2", 1, Variant::Double(100), &IprValues::oilRate, 100 / 0.158987},          // Sm3/d
      {"B3", 0, Variant::Double(50), &IprValues::waterRate, 50},                     // STB/d
      {"B4", 2, Variant::Double(2500), &IprValues::gasRate, 2.5},                    // Mscf/d
      {"B5", 3, Variant::Double(10), &IprValues::pressure, 10 / 0.068948 - 14.696},  // BARa
      {"B6", 1, Variant::Double(60), &IprValues::temperature, 60 / 0.5555 + 32},     // deg C
      {"B7", 5, Variant::Double(0.85), &IprValues::oilGravity, 0.85},  // no kind: unit ignored
      {"B8", 1, Variant::Text("   "), &IprValues::waterGravity, kUndefined},
      {"  ", 3, Variant::Double(0.7), &IprValues::gasGravity, HostFill()}};
  for (std::size_t row = 0; const auto& [cell, unit, value, field, expected] : rows) {
    const std::string at = "B" + std::to_string(row + 2);
    Output(0).propertyCells[row++] = {cell, unit};
    PutCell(at, value);
    PutCell(at, Variant::Double(-1), "Other");
  }
  ASSERT_EQ(session_->SelectWorksheet("Other").Message(), "");

  ASSERT_EQ(Get(), 0) << StatusText();
  for (const auto& [cell, unit, value, field, expected] : rows)
    EXPECT_DOUBLE_EQ(ipr_.*field, expected) << cell;
  EXPECT_EQ(std::tuple(ipr_.massRate, ipr_.compositionPresent), std::tuple(HostFill(), kHostWord))
      << "compositions are off";
}

// A property, mole fraction or component property cell whose text is not
// wholly a number fails the get naming the stream's sheet and the cell. Empty
// cells read as a missing property, a mole fraction of 0, a component
// property not given.
TEST_F(IprTest, CellsThatAreNotWhollyNumbersFailTheGetNamingTheCell) {
  Output(0).propertyCells[casedata::kOutOilRate] = {"B2", 0};
  UseComposition(2).interactionCell = "";
  for (const auto& [text, number] : test_support::kCellTexts) {
    SCOPED_TRACE(std::string("\"") + text + "\"");
    const bool empty = *text == '\0';
    const Variant value = empty ? Variant() : Variant::Text(text);
    const auto failure = [&, text = text](const std::string& cell) {
      return "Error in getting data from Excel: Type mismatch. Flow!" + cell + " holds \"" + text +
             "\", not a number";
    };
    // The table's cells are numbers; one cell at a time holds the text.
    // The cell, the value it fills (0: the oil rate, else column k of
    // component 1) and what that gets.
    const std::tuple<std::string, std::size_t, double> cells[] = {
        {"B2", 0, empty ? kUndefined : number.value_or(0)},
        {TableCell(1, 1), 1, empty ? 0.0 : number.value_or(0)},
        {TableCell(2, 1), 2, empty ? HostFill() : number.value_or(0)}};
    for (const auto& [cell, k, expected] : cells) {
      // Looked up each time: a get replaces the values.
      const auto field = [&, k = k]() -> double& {
        return k == 0 ? ipr_.oilRate : ComponentField(k, 1);
      };
      for (std::size_t i = 0; i < 2; ++i)
        for (std::size_t k = 1; k <= 2; ++k)
          PutCell(TableCell(k, i), Variant::Double(0.5));
      PutCell("B2", Variant::Double(3));
      PutCell(cell, value);
      field() = HostFill();
      EXPECT_EQ(Get(), number || empty ? 0 : 1) << cell;
      EXPECT_EQ(StatusText(), number || empty ? "" : failure(cell));
      if (number || empty) {
        EXPECT_EQ(field(), expected) << cell;
      }
    }
  }
}

TEST_F(IprTest, FailuresReportTheAutomationErrorAndKeepWhatWasDone) {
  const test_support::CellByCell cellByCell;
  for (std::size_t row = 0; row < 4; ++row) {
    const std::string cell = "B" + std::to_string(row + 2);
    Output(0).propertyCells[row] = {cell, 0};
    PutCell(cell, Variant::Double(static_cast<double>(row + 1)));
  }
  recorder_->FailCall("Range.Invoke", com::RPC_E_DISCONNECTED, 3);
  EXPECT_EQ(Get(), 1);
  EXPECT_EQ(StatusText(),
            "Error in getting data from Excel: " + com::ComErrorText(com::RPC_E_DISCONNECTED));
  EXPECT_EQ((std::vector<double>{ipr_.oilRate, ipr_.waterRate, ipr_.gasRate, ipr_.pressure}),
            (std::vector<double>{1, 2, HostFill(), HostFill()}));

  // A set stops at once and leaves what it wrote.
  Give();
  Input(0).forecastDisplay = false;
  BindRows(Input(0).solverCells, {}, "C");
  recorder_->Clear();
  recorder_->FailCall("Range.Invoke", com::RPC_E_DISCONNECTED, 3);
  EXPECT_EQ(Set(), 1);
  EXPECT_EQ(StatusText(),
            "Error in setting data in Excel: " + com::ComErrorText(com::RPC_E_DISCONNECTED));
  EXPECT_EQ((Variants{Cell("C2"), Cell("C3"), Cell("C4")}),
            (Variants{Variant::Double(kRunDate), Variant::Double(100), Variant()}));
  EXPECT_EQ(recorder_->CountOf("Range.Invoke"), 3u);
}

TEST_F(IprTest, SolverCellsGetNumbersInTheirUnitsForecastCellsStepPerTimestep) {
  Give();
  Input(0).forecastDisplay = false;
  BindRows(Input(0).solverCells, {0, 1, 0, 1, 1, 2, 1, 4, 4, 4}, "C");
  ASSERT_EQ(Set(), 0) << StatusText();
  // Date, oil Sm3/d, water STB/d, liquid (oil + water) Sm3/d, gas 1000Sm3/d, pressure BARg,
  // temperature deg C, oil, water and gas gravity.
  const double expected[] = {
      kRunDate,       100 * 0.158987,      50,   150 * 0.158987, 2.5 * 28.174,
      145 * 0.068948, (150 - 32) * 0.5555, 0.85, 1.02,           0.7};
  for (std::size_t row = 0; row < std::size(expected); ++row) {
    const Variant cell = Cell("C" + std::to_string(row + 2));
    ASSERT_EQ(cell.vt, com::VT_R8) << row;
    EXPECT_DOUBLE_EQ(cell.dblVal, expected[row]) << row;
  }
  // C2:C11 run down one column: one call writes them all.
  EXPECT_EQ(recorder_->CountOf("Range.Invoke"), 1u);
  EXPECT_EQ(StatusText(), "");

  // Forecast cells step one place per timestep. How an address steps is the
  // cell addresses' business; only direction 1 steps down rows (direction 0
  // is in the next test).
  Input(0).forecastDisplay = true;
  Input(0).solverDisplay = false;
  Input(0).forecastCells[casedata::kInDate] = {"A1", 0};
  Input(0).forecastCells[casedata::kInOilRate] = {"C5", 0};
  // Direction, timestep, the oil and the date cell written.
  const std::tuple<std::uint32_t, std::uint32_t, const char*, const char*> cases[] = {
      {1, 3, "C8", "A4"}, {2, 1, "D5", "B1"}};
  for (const auto& [direction, timestep, written, date] : cases) {
    Input(0).forecastDirection = direction;
    recorder_->Clear();
    ASSERT_EQ(Set(timestep), 0) << StatusText();
    EXPECT_EQ(Cell(written), Variant::Double(100)) << written;
    EXPECT_EQ(Cell(date), Variant::Double(kRunDate)) << date;
    EXPECT_EQ(recorder_->CountOf("Range.Invoke"), 2u) << "oil and date only";
  }
}

TEST_F(IprTest, UndefinedHostValuesAreSkippedTheRestWritten) {
  Give();
  BindRows(Input(0).solverCells, {}, "C");
  BindRows(Input(0).forecastCells, {}, "E");
  Input(0).forecastDirection = 0;
  ipr_.oilRate = kUndefined;
  ipr_.gasRate = 3.3e35;
  ipr_.gasGravity = kUndefined;
  ASSERT_EQ(Set(1), 0) << StatusText();
  for (const std::string column : {"C", "F"}) {  // solver, forecast one column on
    // Date, oil, water, liquid (needs both), gas, pressure, ..., gas gravity.
    EXPECT_EQ(
        (Variants{Cell(column + "2"), Cell(column + "3"), Cell(column + "4"), Cell(column + "5"),
                  Cell(column + "6"), Cell(column + "7"), Cell(column + "11")}),
        (Variants{Variant::Double(kRunDate), Variant(), Variant::Double(50), Variant(), Variant(),
                  Variant::Double(145), Variant()}))
        << column;
  }
  EXPECT_EQ(recorder_->CountOf("Range.Invoke"), 12u) << "6 of 10 rows in each grid";

  ipr_.oilRate = 1;
  ipr_.waterRate = kUndefined;
  ASSERT_EQ(Set(1), 0);
  EXPECT_EQ((Variants{Cell("C3"), Cell("C5")}), (Variants{Variant::Double(1), Variant()}))
      << "liquid rate needs both";
}

TEST_F(IprTest, AMissingSheetIsAddedAndTheStreamKeepsItsName) {
  Give();
  Input(0).solverCells[casedata::kInOilRate] = {"C3", 0};
  Input(0).sheetName = "Wells";
  ASSERT_EQ(Set(), 0) << StatusText();
  EXPECT_EQ(Input(0).sheetName, "Wells");
  EXPECT_EQ(Cell("C3", "Wells"), Variant::Double(100));

  Input(0).sheetName = "";
  Strings sheets = book_->SheetNames();
  ASSERT_EQ(Set(), 0) << StatusText();
  EXPECT_THAT(sheets, Not(Contains(Input(0).sheetName)));
  sheets.push_back(Input(0).sheetName);
  EXPECT_THAT(book_->SheetNames(), ::testing::UnorderedElementsAreArray(sheets));
  EXPECT_EQ(Cell("C3", Input(0).sheetName), Variant::Double(100));
}

// The EOS model is read by name; only the block's bound cells are read.
TEST_F(IprTest, TheEosModelByNameAndOnlyTheBoundCellsOfTheBlock) {
  UseComposition(2);
  auto& block = Output(0).composition;
  block.massRateUnit = 1;  // kg/d
  PutCell(MatrixCell(0, 1), Variant::Double(0.5));
  // The EOS model by name, any case; an empty mass-rate cell leaves its field.
  const std::tuple<Variant, std::uint32_t, Variant, double> cases[] = {
      {Variant::Text("PR"), 1, Variant::Double(1000), 1000 / 0.453592},
      {Variant::Text("pr"), 1, Variant(), 5},
      {Variant::Text("PR "), 0, Variant::Double(1000), 1000 / 0.453592},
      {Variant(), 0, Variant::Double(1000), 1000 / 0.453592}};
  for (const auto& [eos, model, massRate, expected] : cases) {
    PutCell("B31", eos);
    PutCell("B30", massRate);
    ipr_.eosModel = 7;
    ipr_.massRate = 5;
    ASSERT_EQ(Get(), 0) << StatusText();
    EXPECT_EQ(ipr_.eosModel, model) << com::Describe(eos);
    EXPECT_DOUBLE_EQ(ipr_.massRate, expected) << com::Describe(massRate);
  }
  EXPECT_EQ(ipr_.componentFlags, casedata::kHasInteraction);

  // Without a matrix, mass-rate or EOS reference none of them is read.
  block.interactionCell = "  ";
  block.massRateCell = block.eosModelCell = "";
  MatrixField(0, 1) = HostFill();
  ipr_.massRate = 5;
  recorder_->Clear();
  ASSERT_EQ(Get(), 0);
  EXPECT_EQ(std::tuple(ipr_.componentFlags, MatrixField(0, 1), ipr_.massRate, ipr_.eosModel),
            std::tuple(0u, HostFill(), 5.0, 0u));
  for (const std::string& cell : RangesAsked())
    EXPECT_TRUE(cell[0] != 'R' && cell != "B30" && cell != "B31") << cell;
}

// A block written with SetIPR and read back with GetIPR from the same cells:
// the cells hold what the host gave in their units, reading them gives the
// record back, and what a user then empties or blanks reads as such.
TEST_F(IprTest, ACompositionBlockIsWrittenInItsUnitsAndReadBack) {
  const test_support::CellByCell cellByCell;
  auto& block = UseComposition(3);
  block.massRateUnit = 1;    // kg/d
  block.columnUnits[1] = 1;  // Critical Temperature: deg C
  block.columnUnits[2] = 3;  // Critical Pressure: BARa
  block.columnUnits[3] = 1;  // Critical Volume: m3/kg.mol
  block.columnUnits[7] = 3;  // Boiling Point: deg K
  Output(0).composition = block;
  // Every column but Parachor is given.
  ipr_.componentFlags = 0x3FFF & ~casedata::kHasParachor;
  ipr_.eosModel = 2;
  ipr_.massRate = 1000;
  auto value = [](std::size_t k, std::size_t i) { return 100.0 * k + i; };
  auto coefficient = [](std::size_t i, std::size_t j) { return 0.001 * (10 * i + j); };
  for (std::size_t i = 0; i < 3; ++i) {
    for (std::size_t k = 1; k <= 14; ++k)
      ComponentField(k, i) = value(k, i);
    for (std::size_t j = 0; j < 3; ++j)
      MatrixField(i, j) = coefficient(i, j);
  }
  ASSERT_EQ(Set(), 0) << StatusText();
  EXPECT_EQ(Cell("B31"), Variant::Text("SRK"));
  EXPECT_DOUBLE_EQ(Cell("B30").dblVal, 1000 * 0.453592);
  for (std::size_t i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(Cell(TableCell(0, i)), Variant::Text("C" + std::to_string(i + 1)));
    EXPECT_DOUBLE_EQ(Cell(TableCell(2, i)).dblVal, (value(2, i) - 32) * 0.5555);
    EXPECT_DOUBLE_EQ(Cell(TableCell(3, i)).dblVal, (value(3, i) + 14.696) * 0.068948);
    EXPECT_DOUBLE_EQ(Cell(TableCell(4, i)).dblVal, value(4, i) * 0.06243);
    EXPECT_DOUBLE_EQ(Cell(TableCell(8, i)).dblVal, (value(8, i) + 459.7) * 0.5555);
    EXPECT_EQ(Cell(TableCell(12, i)), Variant::Text("--")) << "Parachor not given";
    EXPECT_EQ(Cell(MatrixCell(i, i)), Variant::Text("--"));
  }

  // Into a fresh record: what was given; Parachor's dashes are not given
  // there either.
  const auto get = [&] {
    ipr_ = HostValues();
    ASSERT_EQ(Get(), 0) << StatusText();
  };
  get();
  EXPECT_EQ(
      std::tuple(ipr_.componentCount, ipr_.compositionPresent, ipr_.componentFlags, ipr_.eosModel),
      std::tuple(3u, 1u, 0x3FFFu & ~casedata::kHasParachor, 2u));
  EXPECT_NEAR(ipr_.massRate, 1000, 1e-9);
  for (std::size_t i = 0; i < 3; ++i) {
    for (std::size_t k = 1; k <= 14; ++k) {
      if (k == 12) {
        EXPECT_EQ(ComponentField(k, i), HostFill()) << i;
      } else {
        EXPECT_NEAR(ComponentField(k, i), value(k, i), 1e-9) << k << "," << i;
      }
      EXPECT_EQ(ComponentField(k, 3), HostFill()) << "past the composition";
    }
    for (std::size_t j = 0; j < 3; ++j) {
      if (i == j) {
        EXPECT_EQ(MatrixField(i, j), HostFill()) << "the diagonal has no coefficient";
      } else {
        EXPECT_DOUBLE_EQ(MatrixField(i, j), coefficient(i, j)) << i << "," << j;
      }
    }
  }

  // An empty cell leaves its entry, and its flag when every component's is
  // empty (Omega B).
  for (std::size_t i = 0; i < 3; ++i)
    PutCell(TableCell(11, i), Variant());
  PutCell(MatrixCell(2, 0), Variant());
  recorder_->Clear();
  get();
  EXPECT_EQ(ipr_.componentFlags, 0x3FFFu & ~casedata::kHasOmegaB & ~casedata::kHasParachor);
  EXPECT_EQ(std::tuple(ComponentField(11, 0), MatrixField(2, 0)),
            std::tuple(HostFill(), HostFill()));
  const std::vector<std::string> asked = RangesAsked();
  for (std::size_t i = 0; i < 3; ++i) {
    EXPECT_THAT(asked, Not(Contains(TableCell(0, i)))) << "the names are not read";
    EXPECT_THAT(asked, Not(Contains(MatrixCell(i, i))));
  }
}

TEST_F(IprTest, WithoutFlagsOnlyNamesAndFractionsAreWrittenAndABlankTableSkipsOnlyTheTable) {
  UseComposition(3);
  ipr_.componentFlags = 0;
  const double fractions[] = {0.1, 0.2, kUndefined};
  for (std::size_t i = 0; i < 3; ++i)
    ComponentField(1, i) = fractions[i];
  for (const std::uint32_t eos : {0u, 1u, 3u}) {
    ipr_.eosModel = eos;
    ASSERT_EQ(Set(), 0) << StatusText();
    EXPECT_EQ(Cell("B31"), Variant::Text(eos == 1 ? "PR" : "--"));
  }
  for (std::size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(Cell(TableCell(0, i)), Variant::Text("C" + std::to_string(i + 1)));
    EXPECT_EQ(Cell(TableCell(1, i)), Variant::Double(fractions[i])) << "no undefined test";
    for (std::size_t k = 2; k <= 14; ++k)
      EXPECT_EQ(Cell(TableCell(k, i)), Variant::Text("--")) << k;
  }
  for (const std::string& cell : RangesAsked())
    EXPECT_NE(cell[0], 'R') << "the matrix is left alone";

  Input(0).composition.componentTableCell = "";
  ipr_.componentFlags = casedata::kHasInteraction;
  recorder_->Clear();
  ASSERT_EQ(Set(), 0) << StatusText();
  EXPECT_EQ(recorder_->CountOf("Range.Invoke"), 11u) << "9 matrix cells, mass rate and EOS model";
}

}  // namespace
}  // namespace streams_test
