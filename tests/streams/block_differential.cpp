#include "block_differential.h"

#include <algorithm>
#include <utility>

#include "automation/cell_address.h"
#include "host/message.h"

namespace streams_test {
namespace {

using com::Variant;

class Random {
 public:
  explicit Random(std::uint32_t seed) : engine_(seed) {}
  int Pick(int low, int high) { return std::uniform_int_distribution<int>(low, high)(engine_); }
  bool OneIn(int n) { return Pick(1, n) == 1; }
  double Number() {
    if (OneIn(6)) return Pick(0, 1);  // 0 and 1 ask whether they are logicals
    return std::uniform_real_distribution<double>(-1e4, 1e4)(engine_);
  }
  // An address as users write it: now and then lower case or with "$".
  std::string Address(int row, int column) {
    std::string text = A1Name(row, column);
    if (OneIn(4))
      std::ranges::transform(text, text.begin(), [](unsigned char c) { return std::tolower(c); });
    if (OneIn(4)) text = "$" + text;
    return text;
  }
  // Every kind a cell may hold; error values only when asked for.
  Variant Content(bool errors) {
    if (errors && OneIn(400)) return Variant::Text("#N/A");
    const int kind = Pick(0, 9);
    if (kind == 0) return Variant();
    if (kind == 4) return Variant::Bool(OneIn(2));
    if (kind > 6) return Variant::Double(Number());
    const char* texts[] = {"  ", "'text", "'12 units", "", "=2+3", "=\"\""};
    return Variant::Text(texts[kind - 1]);
  }

 private:
  std::mt19937 engine_;
};

}  // namespace

Round BlockDifferential::MakeRound(std::uint32_t seed, std::size_t maxComponents, bool inject) {
  Random random(seed);
  Round round;
  round.seed = seed;
  const std::size_t n = static_cast<std::size_t>(random.Pick(1, static_cast<int>(maxComponents)));
  round.components = n;
  const bool errors = random.OneIn(3);
  const CellAt table{random.Pick(1, 20), random.Pick(1, 10)};
  const CellAt matrix{random.Pick(1, 30), random.Pick(1, 30)};  // may overlap the table
  casedata::CExcStreamCompositionData& block = round.block;
  block.componentTableCell = random.Address(table.row, table.column);
  block.interactionCell = random.Address(matrix.row, matrix.column);
  if (random.OneIn(12)) block.componentTableCell = "XYZ";       // steps to no address
  if (random.OneIn(12)) block.componentTableCell = "B1048570";  // runs off the grid
  if (random.OneIn(10)) block.interactionCell = " ";
  block.massRateCell =
      random.OneIn(5) ? "" : random.Address(random.Pick(1, 60), random.Pick(1, 40));
  block.eosModelCell =
      random.OneIn(5) ? "" : random.Address(random.Pick(1, 60), random.Pick(1, 40));
  block.massRateUnit = static_cast<std::uint32_t>(random.Pick(0, 2));
  for (std::uint32_t& unit : block.columnUnits)
    unit = static_cast<std::uint32_t>(random.Pick(0, random.OneIn(8) ? 9 : 1));
  for (std::size_t i = 0; i < n; ++i) {
    const char* odd[] = {"12", "TRUE", "=1+1", "'x", ""};
    round.names.push_back(random.OneIn(10) ? odd[random.Pick(0, 4)] : "C" + std::to_string(i + 1));
  }

  const auto fill = [&](CellAt at, std::size_t rows, std::size_t columns) {
    for (std::size_t r = 0; r < rows; ++r) {
      for (std::size_t c = 0; c < columns; ++c) {
        round.cells.emplace_back(
            A1Name(at.row + static_cast<int>(r), at.column + static_cast<int>(c)),
            random.Content(errors));
      }
    }
  };
  fill(table, n, 15);
  fill(matrix, n, n);
  fill({1, 1}, 60, 3);  // where the property cells point

  casedata::IprValues& pushed = round.pushed;
  pushed.handle = 0;
  for (double* rate : {&pushed.oilRate, &pushed.waterRate, &pushed.gasRate, &pushed.pressure,
                       &pushed.massRate, &pushed.temperature})
    *rate = random.OneIn(5) ? EXT_UNDEFINED_VALUE : random.Number();
  for (double* gravity : {&pushed.oilGravity, &pushed.gasGravity, &pushed.waterGravity})
    *gravity = random.Number();
  pushed.componentFlags = static_cast<std::uint32_t>(random.Pick(0, 0x3FFF));
  pushed.eosModel = static_cast<std::uint32_t>(random.Pick(0, 3));
  for (std::size_t i = 0; i < n; ++i) {
    for (casedata::ComponentValues& column : pushed.components)
      column[i] = random.Number();
    for (std::size_t j = 0; j < n; ++j)
      pushed.interaction[i][j] = random.Number();
  }
  round.position = {45000.0 + random.Pick(0, 100), static_cast<std::uint32_t>(random.Pick(0, 4))};

  casedata::CExcExportedVariable& variable = round.variable;
  variable.name = "V";
  variable.worksheet = random.OneIn(10) ? "Nowhere" : random.OneIn(10) ? "" : kSheet;
  const CellAt corner{random.Pick(1, 40), random.Pick(1, 40)};
  variable.cell = random.OneIn(8) ? std::to_string(corner.column) + ":" + std::to_string(corner.row)
                                  : random.Address(corner.row, corner.column);
  const bool large = maxComponents >= 100 && random.OneIn(4);
  variable.RegionWidth = large ? 100 : random.Pick(1, 12);
  variable.RegionHeight = large ? 100 : random.Pick(1, 12);
  const char* delimiters[] = {"", " ", ";", " | "};
  variable.ColumnDelimiter = delimiters[random.Pick(0, 3)];
  variable.RowDelimiter = delimiters[random.Pick(0, 3)];
  const int rows = random.Pick(1, large ? 100 : 8);
  // Now and then only texts the application's input recognition reads.
  const bool typedOnly = random.OneIn(5);
  for (int r = 0; r < rows; ++r) {
    const int values = random.OneIn(3) ? random.Pick(0, 6) : 5;  // ragged now and then
    for (int v = 0; v < values; ++v) {
      if (v > 0) round.setText += '\t';
      const int kind = random.Pick(0, 5);
      if (typedOnly) {
        round.setText += std::to_string(random.Pick(-99, 99)) + (kind < 3 ? "%" : ",5");
        continue;
      }
      round.setText += kind == 0   ? ""
                       : kind == 1 ? " "
                       : kind == 2 ? "word"
                                   : std::to_string(random.Pick(-99, 99));
    }
    if (r + 1 < rows || random.OneIn(2)) round.setText += '\n';
  }
  if (random.OneIn(6)) round.setText += "\t ";  // a blank last value is dropped

  if (inject) {
    // A cell the operations reach: in the table, the matrix, a property
    // cell or the variable's block (picked last, so the round is the same
    // with or without it).
    const int last = static_cast<int>(n) - 1;
    const CellAt reached[] = {
        {table.row + random.Pick(0, last), table.column + random.Pick(0, 14)},
        {matrix.row + random.Pick(0, last), matrix.column + random.Pick(0, last)},
        {random.Pick(1, 12), 2},
        {corner.row + random.Pick(0, variable.RegionHeight - 1),
         corner.column + random.Pick(0, variable.RegionWidth - 1)}};
    round.injected = reached[random.Pick(0, 3)];
  }
  return round;
}

void BlockDifferential::Start(Twin& twin, const std::vector<std::string>& names) {
  auto started = automation::CreateExcelSession();
  ASSERT_TRUE(started) << started.GetError().Message();
  twin.session = *std::move(started);
  ASSERT_EQ(twin.session->NewWorkbook().Message(), "");
  casedata::CExcCaseDetails& details = twin.details;
  details.inputCount = details.outputCount = 1;
  casedata::ResizeStreams(details.inputStreams, 1);
  casedata::ResizeStreams(details.outputStreams, 1);
  details.useCompositions = 1;
  details.compositions.Add(std::make_unique<casedata::CExcCompositionDefinition>("Comp", names));
  details.inputStreams.At(0)->compositionName = details.outputStreams.At(0)->compositionName =
      "Comp";
}

void BlockDifferential::Prepare(Twin& twin, const Round& round) {
  ASSERT_NO_FATAL_FAILURE(Start(twin, round.names));
  Attached(twin);
  ASSERT_EQ(twin.session->AddWorksheet(kSheet).Message(), "");
  for (const auto& [cell, value] : round.cells)
    ASSERT_EQ(twin.session->SetCellValue(cell, value), 0) << cell;

  Random random(round.seed + 1);
  casedata::CExcInputStreamData& in = *twin.details.inputStreams.At(0);
  casedata::CExcOutputStreamData& out = *twin.details.outputStreams.At(0);
  in.sheetName = out.sheetName = kSheet;
  in.composition = out.composition = round.block;
  in.forecastDirection = static_cast<std::uint32_t>(random.Pick(0, 1));
  // Now and then the solver cells run down one column, which is written in
  // one call.
  const bool solverColumn = random.OneIn(2);
  const int solverTop = random.Pick(1, 40);
  for (std::size_t row = 0; row < casedata::kInputRowCount; ++row) {
    const auto bound = [&] {
      return random.OneIn(3) ? std::string()
                             : random.Address(random.Pick(1, 60), random.Pick(1, 3));
    };
    in.solverCells[row] = {
        solverColumn ? random.Address(solverTop + static_cast<int>(row), 1) : bound(),
        static_cast<std::uint32_t>(random.Pick(0, 2))};
    in.forecastCells[row] = {bound(), static_cast<std::uint32_t>(random.Pick(0, 2))};
  }
  for (std::size_t row = 0; row < casedata::kOutputRowCount; ++row)
    out.propertyCells[row] = {
        random.OneIn(3) ? std::string() : random.Address(random.Pick(1, 12), 2),
        static_cast<std::uint32_t>(random.Pick(0, 2))};
  twin.variables.Add(std::make_unique<casedata::CExcExportedVariable>(round.variable));
}

void BlockDifferential::Compare(Twin& cells, Twin& blocks, const std::string& what,
                                const std::function<bool(int, int)>& ignored) {
  EXPECT_TRUE(cells.status.bytes == blocks.status.bytes)
      << what << ": status records, " << cells.status.Message() << " / " << blocks.status.Message();
  EXPECT_TRUE(cells.ipr == blocks.ipr) << what << ": stream values";
  EXPECT_EQ(cells.texts, blocks.texts) << what;
  EXPECT_EQ(cells.details.inputStreams.At(0)->sheetName,
            blocks.details.inputStreams.At(0)->sheetName);
  SheetCells left = Contents(cells);
  SheetCells right = Contents(blocks);
  for (SheetCells* sheet : {&left, &right}) {
    if (ignored)
      std::erase_if(*sheet,
                    [&](const auto& at) { return ignored(at.first.first, at.first.second); });
  }
  const auto [l, r] = std::mismatch(left.begin(), left.end(), right.begin(), right.end());
  if (l == left.end() && r == right.end()) return;
  const auto at = l != left.end() ? l->first : r->first;
  ADD_FAILURE() << what << ": cell " << A1Name(at.first, at.second) << " differs";
}

void BlockDifferential::Run(const Round& round) {
  SCOPED_TRACE("seed " + std::to_string(round.seed) + ", " + std::to_string(round.components) +
               " components");
  Twin cells;
  Twin blocks;
  Prepare(cells, round);
  Prepare(blocks, round);
  if (HasFatalFailure()) return;
  InjectAt(round.injected);

  const auto both = [&](const char* what, const std::function<std::int32_t(Twin&)>& operation,
                        const std::function<bool(int, int)>& ignored = nullptr) {
    const auto under = [&](std::optional<std::string_view> setting, Twin& twin) {
      const test_support::ScopedEnv blockTransfer("GRIDMOOR_BLOCK_TRANSFER", setting);
      return operation(twin);
    };
    const std::int32_t byCell = under("0", cells);
    EXPECT_EQ(byCell, under(std::nullopt, blocks)) << what;
    Compare(cells, blocks, what, ignored);
  };

  // The stream operations' outcomes reach the status records as the host's
  // edge writes them.
  const auto answer = [](Twin& twin, const outcome::Error& error) {
    host::StatusRecord status(twin.status.status());
    return host::Answer(error, status);
  };
  both("GetIPR", [&](Twin& twin) {
    twin.ipr.handle = 1;
    outcome::Partial<casedata::IprValues> got =
        streams::GetIPR(twin.details, twin.session.get(), std::move(twin.ipr));
    twin.ipr = std::move(got.value);
    return answer(twin, got.error);
  });

  // The one place where the two ways part on a failure: the table is
  // written whole before the matrix, so a failure in the matrix leaves the
  // table's rows below the failing one written, as a successful run writes
  // them, where cell by cell they are not reached.
  std::function<bool(int, int)> laterTableRows;
  const std::optional<CellAt> table = PlainCell(round.block.componentTableCell.str());
  const std::optional<CellAt> matrix = PlainCell(round.block.interactionCell.str());
  const int n = static_cast<int>(round.components);
  if (round.injected && table && matrix && round.injected->row >= matrix->row &&
      round.injected->row < matrix->row + n && round.injected->column >= matrix->column &&
      round.injected->column < matrix->column + n) {
    const int failingRow = round.injected->row - matrix->row;
    laterTableRows = [=](int row, int column) {
      return row > table->row + failingRow && row < table->row + n && column >= table->column &&
             column < table->column + 15;
    };
  }
  both(
      "SetIPR",
      [&](Twin& twin) {
        twin.ipr = round.pushed;
        return answer(twin,
                      streams::SetIPR(twin.details, twin.session.get(), round.position, twin.ipr));
      },
      laterTableRows);
  if (laterTableRows) return InjectAt(std::nullopt);  // the twins now differ there

  const auto eval = [&](Twin& twin, bool set) {
    casedata::PublishedValueRequest request{0, set, std::nullopt};
    if (set) request.text = round.setText;
    outcome::Expected<std::string> text = optimisation::EvalPublishedVariablesAsBlock(
        twin.variables, twin.session.get(), round.position.timestep, request);
    host::StatusRecord status(twin.status.status());
    if (!text) return host::Answer(text.TakeError(), status);
    if (!set) twin.texts.push_back(std::move(*text));
    return std::int32_t{0};
  };
  both("EvalPublishedVariablesAsBlock get", [&](Twin& twin) { return eval(twin, false); });
  both("EvalPublishedVariablesAsBlock set", [&](Twin& twin) { return eval(twin, true); });
  both("EvalPublishedVariablesAsBlock get after the set",
       [&](Twin& twin) { return eval(twin, false); });
  InjectAt(std::nullopt);
}

}  // namespace streams_test
