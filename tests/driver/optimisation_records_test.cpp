// The optimiser's and the published variables' host records, each followed
// by guard bytes, and the commands' edge writing the model's answers back.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "driver/commands/optimisation_commands.h"
#include "driver/records/optimisation_records.h"
#include "driver/records/published_records.h"
#include "model/model.h"
#include "optimisation/items_fixture.h"
#include "support/guarded_buffer.h"
#include "support/temp_registry.h"

namespace {

namespace edge = driver::edge;
constexpr char kNoRecord[] = "No record was passed to Gridmoor.dll";
using outcome::Error;
using test_support::GuardedBuffer;
using Problem = casedata::OptimisationProblem;
using Command = std::int32_t (*)(edge::M, edge::A);

template <typename T>
void Put(std::vector<unsigned char>& bytes, std::size_t at, const T& value) {
  std::memcpy(bytes.data() + at, &value, sizeof value);
}

// The commands' edge over a model on the in-memory application: what its
// items, published variables and batch output become in the host's records.
class ModelEdgeTest : public optimisation_test::ItemsTest {
 protected:
  // The record as the host passes it, 0x11 throughout, to write expectations
  // into at the offsets the host reads.
  std::vector<unsigned char> expected_ =
      std::vector<unsigned char>(EXT_OPT_PROBLEM_RECORD_SIZE, 0x11);
  GuardedBuffer record_{EXT_OPT_PROBLEM_RECORD_SIZE};
  test_support::StatusBuffer status_;

  std::int32_t HeadlessSetUp() {
    return edge::SetupOptimisation(*model_, {nullptr, record_.bytes.data(), -1, status_.Cleared()});
  }
  // The text and its NUL; the rest of the field keeps what it held.
  void Terminated(std::size_t at, const std::string& text) {
    std::memcpy(&expected_[at], text.c_str(), text.size() + 1);
  }
  // The text, and NULs to the end of the field.
  void Padded(std::size_t at, std::size_t width, const std::string& text) {
    std::memset(&expected_[at], 0, width);
    std::memcpy(&expected_[at], text.data(), text.size());
  }
  void ExpectConstraint(std::size_t i, const std::string& name, const std::string& unit,
                        double limit, std::int32_t type) {
    const std::size_t at = 22768 + 232 * i;
    Padded(at, 64, name);
    Padded(at + 64, 16, unit);
    Put(expected_, at + 80, limit);
    Put(expected_, at + 88, type);
    Put(expected_, at + 92, static_cast<std::int32_t>(i));
    expected_[at + 96] = 0;
  }
  void ExpectControl(std::size_t i, const std::string& name, const std::string& unit, bool hasLower,
                     double lower, bool hasUpper, double upper) {
    const std::size_t at = 224 + 224 * i;
    Terminated(at, name);
    Terminated(at + 32, unit);
    expected_[at + 48] = hasLower;
    Put(expected_, at + 56, lower);
    expected_[at + 64] = hasUpper;
    Put(expected_, at + 72, upper);
    Put(expected_, at + 80, static_cast<std::int32_t>(i));
    Put(expected_, at + 88, EXT_UNDEFINED_VALUE);
  }
  ::testing::AssertionResult MatchesExpected() const {
    if (!record_.GuardsIntact()) return ::testing::AssertionFailure() << "written past the end";
    const auto end = record_.bytes.begin() + EXT_OPT_PROBLEM_RECORD_SIZE;
    const auto first = std::mismatch(record_.bytes.begin(), end, expected_.begin());
    if (first.first == end) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << "first difference at byte " << (first.first - record_.bytes.begin());
  }
};

TEST_F(ModelEdgeTest, AWholeProblemLandsAtTheHostsOffsets) {
  using namespace optimisation_test;
  // Texts as wide as their fields and wider.
  std::tie(model_->objective.Defined, model_->objective.Maximise, model_->objective.name,
           model_->objective.unit) =
      std::tuple(true, false, "Net present value", std::string(20, 'U'));
  // Constraint types are 0, 2 or else 1; bounds are present only below the
  // threshold.
  AddConstraint(model_->constraints, "Gas export", "C2", 2, 150.5).unit = "MMscf/d";
  AddConstraint(model_->constraints, std::string(70, 'w'), "C3", 0, 3.4e35).unit =
      std::string(16, 'u');
  AddConstraint(model_->constraints, "y", "C4", 3, 0);
  AddControl(model_->controls, "Choke A", "B2", 0.5, 2.0).unit = "in";
  AddControl(model_->controls, std::string(50, 'c'), "B3", 1.5, 10).unit = std::string(40, 'm');
  AddControl(model_->controls, "x", "B4", 3.2e35, 3.1999e35);
  // A blank state name shows the state's value; at most twenty labels.
  AddIntControl(
      model_->intControls, std::string(40, 'p'), "D2",
      {{"", "10"}, {"High", "20"}, {"  ", std::string(32, 'v')}, {std::string(40, 'n'), "x"}});
  auto& many = AddIntControl(model_->intControls, "Many", "D3", {});
  for (int k = 0; k < casedata::kMaxStates; ++k)
    many.StateValues[k] = "v" + std::to_string(k);
  many.StateCount = 25;

  auto& e = expected_;
  e[4] = 1;
  Padded(5, 64, "Net present value");
  Padded(69, 16, std::string(16, 'U'));
  e[85] = 0;
  ExpectConstraint(0, "Gas export", "MMscf/d", 150.5, 2);
  ExpectConstraint(1, std::string(64, 'w'), std::string(16, 'u'), 3.4e35, 0);
  ExpectConstraint(2, "y", "", 0, 1);
  Put(e, 45968, std::int32_t{3});
  ExpectControl(0, "Choke A", "in", true, 0.5, true, 2.0);
  // Control names and units are cut to leave room for their terminator.
  ExpectControl(1, std::string(31, 'c'), std::string(15, 'm'), true, 1.5, true, 10);
  ExpectControl(2, "x", "", false, 3.2e35, true, 3.1999e35);
  Put(e, 22624, std::int32_t{3});
  Terminated(46108, std::string(31, 'p'));
  Put(e, 46108 + 32, std::int32_t{0});
  Put(e, 46108 + 36, std::int32_t{4});
  const std::string labels[] = {"10", "High", std::string(32, 'v'), std::string(32, 'n')};
  for (int k = 0; k < 4; ++k)
    Padded(46108 + 40 + 32 * k, 32, labels[k]);
  Terminated(46108 + 808, "Many");
  Put(e, 46108 + 808 + 32, std::int32_t{1});
  Put(e, 46108 + 808 + 36, std::int32_t{20});
  for (int k = 0; k < 20; ++k)
    Padded(46108 + 808 + 40 + 32 * k, 32, "v" + std::to_string(k));
  Put(e, 126908, std::int32_t{2});
  ASSERT_EQ(HeadlessSetUp(), 0) << status_.Message();
  EXPECT_TRUE(MatchesExpected());

  // Undefined, the objective writes only its flag; the counts still go.
  std::fill_n(record_.bytes.begin(), record_.size, 0x11);
  model_->objective.Defined = false;
  model_->constraints.Clear();
  model_->controls.Clear();
  model_->intControls.Clear();
  expected_.assign(EXT_OPT_PROBLEM_RECORD_SIZE, 0x11);
  for (std::size_t count : {22624, 45968, 126908})
    Put(expected_, count, std::int32_t{0});
  expected_[4] = 0;
  ASSERT_EQ(HeadlessSetUp(), 0) << status_.Message();
  EXPECT_TRUE(MatchesExpected());

  Problem problem;
  EXPECT_FALSE(driver::EncodeProblem(problem, host::HostRecord()));
  // A list longer than the record's table is refused, not run over.
  problem.controls.resize(EXT_OPT_PROBLEM_MAX_ITEMS + 1);
  EXPECT_FALSE(driver::EncodeProblem(problem, record_.record()));
  EXPECT_TRUE(record_.GuardsIntact());
}

// Past a hundred items of a kind the first hundred go and the host is told
// of the rest, yet the set-up succeeds. A failed set-up leaves the record
// alone; a missing record fails once the set-up is done.
TEST_F(ModelEdgeTest, ItemsPastAHundredAreLeftOutAndToldAFailedSetUpWritesNothing) {
  using namespace optimisation_test;
  for (int i = 0; i < 101; ++i)
    AddConstraint(model_->constraints, "K" + std::to_string(i), "C2");
  for (int i = 0; i < 103; ++i)
    AddControl(model_->controls, "C" + std::to_string(i), "B2");
  for (int i = 0; i < 100; ++i)
    AddIntControl(model_->intControls, "I" + std::to_string(i), "D2", {{"", "1"}});
  const std::string leftOut = "The optimiser takes at most 100 items of each kind; left out: ";
  ASSERT_EQ(HeadlessSetUp(), 0);
  EXPECT_EQ(status_.Message(), leftOut + "1 constraint, 3 controls");
  const auto word = [&](std::size_t at) { return record_.Get<std::int32_t>(at); };
  // The counts, and the names of the last of each kind kept.
  EXPECT_EQ((std::vector<std::int32_t>{word(45968), word(22624), word(126908)}),
            (std::vector<std::int32_t>{100, 100, 100}));
  EXPECT_EQ((std::vector<std::string>{record_.chars() + 22768 + 232 * 99,
                                      record_.chars() + 46108 + 808 * 99}),
            (std::vector<std::string>{"K99", "I99"}));

  model_->constraints.RemoveAt(0);
  for (int i = 0; i < 3; ++i)
    model_->controls.RemoveAt(0);
  AddIntControl(model_->intControls, "I100", "D2", {});
  ASSERT_EQ(HeadlessSetUp(), 0);
  EXPECT_EQ(status_.Message(), leftOut + "1 integer control");
  model_->intControls.RemoveAt(0);
  ASSERT_EQ(HeadlessSetUp(), 0);
  EXPECT_EQ(status_.Message(), "") << "exactly a hundred of each: nothing to say";

  EXPECT_EQ(edge::SetupOptimisation(*model_, {nullptr, nullptr, -1, status_.Cleared()}), 1);
  EXPECT_EQ(status_.Message(), kNoRecord);
  model_->Session()->CloseWorkbook();
  const std::vector<unsigned char> before = record_.bytes;
  EXPECT_EQ(HeadlessSetUp(), -1);
  EXPECT_EQ(status_.Message(),
            "Can not perform this function until a workbook is opened\n(double-click on the icon "
            "to create input and output icons)");
  EXPECT_EQ(record_.bytes, before);
}

// An add follows the host's addresses only as far as it needs: not past a
// missing text, not at all when masking refuses it (these would not be
// readable); only an add that was made gives its handle back.
TEST_F(ModelEdgeTest, AnAddFollowsTheHostsAddressesOnlyAsFarAsItNeeds) {
  GuardedBuffer record(EXT_ADD_PUBVAR_RECORD_MIN_SIZE, 0);
  const char* unreadable = reinterpret_cast<const char*>(std::uintptr_t{8});
  const auto add = [&](bool masking, const char* worksheet, const char* cell, const char* name) {
    record.bytes[EXT_ADD_PUBVAR_MASKING_OFFSET] = masking;
    Put(record.bytes, EXT_ADD_PUBVAR_WORKSHEET_POINTER_OFFSET, worksheet);
    Put(record.bytes, EXT_ADD_PUBVAR_CELL_POINTER_OFFSET, cell);
    Put(record.bytes, EXT_ADD_PUBVAR_NAME_POINTER_OFFSET, name);
    Put(record.bytes, EXT_ADD_PUBVAR_HANDLE_OFFSET, std::int32_t{-7});
    const std::int32_t result =
        edge::AddPublishedVariable(*model_, {nullptr, record.bytes.data(), 0, status_.Cleared()});
    return std::tuple(result, status_.Message(),
                      record.Get<std::int32_t>(EXT_ADD_PUBVAR_HANDLE_OFFSET));
  };
  using Added = std::tuple<std::int32_t, std::string, std::int32_t>;
  EXPECT_EQ(add(false, "Data", "B7", "Added"), Added(0, "", 0));
  EXPECT_EQ(add(false, "Data", "B8", "Second"), Added(0, "", 1));
  EXPECT_EQ(add(false, "Data", nullptr, unreadable),
            Added(1, "No cell passed to AddPublishedVariable()", -7));
  EXPECT_EQ(add(false, nullptr, unreadable, unreadable),
            Added(1, "No worksheet name passed to AddPublishedVariable()", -7));
  EXPECT_EQ(add(false, "Data", "A1", nullptr),
            Added(1, "No variable name passed to AddPublishedVariable()", -7));
  EXPECT_EQ(add(true, unreadable, unreadable, unreadable),
            Added(1, "Equipment masking/disabling is not possible with the Excel link", -7));
  ASSERT_EQ(model_->publishedVariables.size(), 2u);
  EXPECT_EQ(
      std::tie(model_->publishedVariables.At(0)->worksheet, model_->publishedVariables.At(0)->cell,
               model_->publishedVariables.At(0)->name),
      std::tuple("Data", "B7", "Added"));
  EXPECT_TRUE(record.GuardsIntact());
}

// A path is complete only with its terminator; the report path is where the
// batch output goes, and without a record there is none to write.
TEST_F(ModelEdgeTest, BatchPathsAreCompleteOnlyWithTheirTerminator) {
  GuardedBuffer record(EXT_BATCH_FILES_RECORD_MIN_SIZE, 0);
  std::strcpy(record.chars() + EXT_BATCH_FILES_INPUT_PATH_OFFSET, "/in.xml");
  std::memset(record.chars() + EXT_BATCH_FILES_REPORT_PATH_OFFSET, 'x',
              EXT_BATCH_FILES_REPORT_PATH_SIZE);
  casedata::BatchFiles files = driver::DecodeBatchFiles(record.record());
  EXPECT_EQ(std::tie(files.input.path, files.input.complete), std::tuple("/in.xml", true));
  EXPECT_EQ(std::tie(files.report.path, files.report.complete),
            std::tuple(std::string(EXT_BATCH_FILES_REPORT_PATH_SIZE, 'x'), false));
  files = driver::DecodeBatchFiles(host::ConstHostRecord());
  EXPECT_FALSE(files.input.complete || files.report.complete);

  const std::string out = folder_.File("out.xml");
  std::strcpy(record.chars() + EXT_BATCH_FILES_REPORT_PATH_OFFSET, out.c_str());
  EXPECT_EQ(edge::WriteBatchOutput(*model_, {nullptr, record.bytes.data(), 0, status_.Cleared()}),
            0);
  EXPECT_TRUE(std::filesystem::exists(out)) << status_.Message();
  EXPECT_EQ(edge::WriteBatchOutput(*model_, {nullptr, nullptr, 0, status_.Cleared()}), 1);
  EXPECT_EQ(status_.Message(), "Could not open ''");
  EXPECT_TRUE(record.GuardsIntact());
}

TEST(OptimisationRecordsTest, TheIntegerControlListIsReadOnlyAsFarAsItsCount) {
  // The count, the handles the host wrote, and the handles read.
  const std::tuple<std::int32_t, std::vector<std::int32_t>, std::vector<std::int32_t>> cases[] = {
      {0, {}, {}},
      {-3, {}, {}},
      {100, std::vector<std::int32_t>(100, 3), std::vector<std::int32_t>(100, 3)},
      {101, {}, {}}};
  for (const auto& [count, written, read] : cases) {
    // Room for exactly the handles written: a read past them would take the
    // guard bytes for handles.
    GuardedBuffer list(EXT_INT_CONTROL_LIST_HANDLES_OFFSET +
                       4 * std::min<std::size_t>(written.size(), 128));
    Put(list.bytes, EXT_INT_CONTROL_LIST_COUNT_OFFSET, count);
    for (std::size_t j = 0; j < written.size(); ++j)
      Put(list.bytes, EXT_INT_CONTROL_LIST_HANDLES_OFFSET + 4 * j, written[j]);
    const auto before = list.bytes;
    const std::optional<casedata::IntegerControlList> decoded =
        driver::DecodeIntegerControlList(list.bytes.data());
    ASSERT_TRUE(decoded) << count;
    EXPECT_EQ(std::tie(decoded->count, decoded->handles), std::tie(count, read));
    EXPECT_EQ(list.bytes, before);
  }
  EXPECT_FALSE(driver::DecodeIntegerControlList(nullptr));
}

std::string FieldText(const GuardedBuffer& record, std::size_t offset, std::size_t size) {
  const char* field = reinterpret_cast<const char*>(record.bytes.data()) + offset;
  return std::string(field, strnlen(field, size));
}

TEST(PublishedRecordsTest, RecordTwoPassesTextsByAddressBothWays) {
  GuardedBuffer record(EXT_PUBVAR2_RECORD_MIN_SIZE, 0);
  Put(record.bytes, EXT_PUBVAR2_HANDLE_OFFSET, std::int32_t{1});
  record.bytes[EXT_PUBVAR2_FLAG_OFFSET] = 1;
  const std::string given = "1\t2\n3\t4";
  Put(record.bytes, EXT_PUBVAR2_TEXT_POINTER_OFFSET, given.c_str());
  casedata::PublishedValueRequest request = driver::DecodeValueRequest2(record.record(), 2);
  EXPECT_EQ(std::tie(request.handle, request.set, request.text),
            std::tuple(1, true, std::optional<std::string>(given)));
  // A handle that names no variable: the set is refused without its address
  // being followed, readable or not.
  Put(record.bytes, EXT_PUBVAR2_TEXT_POINTER_OFFSET, reinterpret_cast<const char*>(8));
  for (const auto& [handle, count] : {std::pair(1, 1), std::pair(-1, 5)}) {
    Put(record.bytes, EXT_PUBVAR2_HANDLE_OFFSET, std::int32_t{handle});
    request = driver::DecodeValueRequest2(record.record(), count);
    EXPECT_EQ(std::tie(request.handle, request.set, request.text),
              std::tuple(handle, true, std::nullopt));
  }
  Put(record.bytes, EXT_PUBVAR2_HANDLE_OFFSET, std::int32_t{0});
  Put(record.bytes, EXT_PUBVAR2_TEXT_POINTER_OFFSET, static_cast<const char*>(nullptr));
  EXPECT_EQ(driver::DecodeValueRequest2(record.record(), 1).text, std::nullopt) << "none passed";
  // An empty record names no variable.
  EXPECT_EQ(driver::DecodeValueRequest(host::ConstHostRecord()).handle, -1);
  EXPECT_EQ(driver::DecodeValueRequest2(host::ConstHostRecord(), 1).handle, -1);
}

// Answers as set and keeps what it was given.
class CannedModel : public model::CExcModel {
 public:
  casedata::ItemReading GetObjectiveFunction() override { return Reading(0); }
  casedata::ItemReading GetConstraints(std::int32_t handle) override { return Reading(handle); }
  casedata::ItemReading GetControls(std::int32_t handle) override { return Reading(handle); }
  casedata::ItemReading GetIntegerControls(std::int32_t handle) override { return Reading(handle); }
  Error SetControls(const casedata::ItemValue& value) override { return Set(value); }
  Error SetIntegerControls(const casedata::ItemValue& value) override { return Set(value); }
  Error CheckIntegerControls(const casedata::IntegerControlList& list) override {
    given.push_back(list.count);
    return Answer();
  }
  outcome::Expected<std::string> EvalPublishedVariables(
      const casedata::PublishedValueRequest& request) override {
    requests.push_back(request);
    if (failure) return Answer();
    return text;
  }
  outcome::Expected<const char*> EvalPublishedVariablesAsBlock(
      const casedata::PublishedValueRequest& request) override {
    requests.push_back(request);
    if (failure) return Answer();
    return text.c_str();
  }

  std::optional<Error> failure;
  std::optional<double> value;
  std::string text = "2.5";
  std::vector<double> given;
  std::vector<casedata::PublishedValueRequest> requests;

 private:
  // A new failure like the one set each time, so that the code under test
  // has its own to look at (reading the one set counts as looking at it).
  Error Answer() const {
    return failure ? Error::Failed(failure->Message(), failure->Result()) : Error::Success();
  }
  casedata::ItemReading Reading(std::int32_t handle) {
    given.push_back(handle);
    return {value, Answer()};
  }
  Error Set(const casedata::ItemValue& item) {
    given.push_back(item.handle);
    given.push_back(item.value);
    return Answer();
  }
};

// A command's answer and status text.
using Outcome = std::pair<std::int32_t, std::string>;

class OptimisationEdgeTest : public ::testing::Test {
 protected:
  Outcome Run(Command command, void* record, std::int32_t iarg = 0) {
    const std::int32_t result = command(*model_, {nullptr, record, iarg, status_.Cleared()});
    return {result, status_.Message()};
  }

  test_support::ScopedEnv noApplication_{"GRIDMOOR_SPREADSHEET", "none"};
  std::unique_ptr<CannedModel> model_ = std::make_unique<CannedModel>();
  test_support::StatusBuffer status_;
};

TEST_F(OptimisationEdgeTest, AReadsValueReachesTheRecordEvenBesideItsFailure) {
  const Command reads[] = {edge::GetObjectiveFunction, edge::GetConstraints, edge::GetControls,
                           edge::GetIntegerControls};
  // The model's number and failure; what the record's value and the answer become.
  const std::tuple<std::optional<double>, std::optional<Error>, double, std::int32_t, std::string>
      cases[] = {{4.5, std::nullopt, 4.5, 0, ""},
                 {3.4e35, Error::Failed("Could not get Data.Cell[B2]"), 3.4e35, 1,
                  "Could not get Data.Cell[B2]"},
                 {std::nullopt, Error::Failed("Lost connection to Excel", -1), 9, -1,
                  "Lost connection to Excel"}};
  for (Command read : reads) {
    for (const auto& [value, failure, left, result, message] : cases) {
      GuardedBuffer record(EXT_OPT_VALUE_RECORD_MIN_SIZE);
      record.Put(EXT_OPT_VALUE_HANDLE_OFFSET, std::int32_t{2});
      record.Put(EXT_OPT_VALUE_VALUE_OFFSET, 9.0);
      std::vector<unsigned char> expected = record.bytes;
      Put(expected, EXT_OPT_VALUE_VALUE_OFFSET, left);
      model_->value = value;
      if (failure) failure->Consume();  // the table's own copy is only a pattern
      model_->failure = failure;
      model_->given.clear();
      EXPECT_EQ(Run(read, record.bytes.data()), Outcome(result, message));
      EXPECT_EQ(record.bytes, expected) << "only the value changes";
      EXPECT_EQ(model_->given, std::vector<double>{read == reads[0] ? 0.0 : 2.0});
    }
  }
}

TEST_F(OptimisationEdgeTest, ARecordThatIsNotThereIsRefusedBeforeTheModelIsAsked) {
  const Command commands[] = {edge::GetObjectiveFunction, edge::GetConstraints,
                              edge::GetControls,          edge::GetIntegerControls,
                              edge::SetControls,          edge::SetIntegerControls,
                              edge::CheckIntegerControls};
  for (Command command : commands)
    EXPECT_EQ(Run(command, nullptr), Outcome(1, kNoRecord));
  EXPECT_EQ(Run(edge::AddPublishedVariable, nullptr),
            Outcome(1, "No record passed to AddPublishedVariable()"));
  EXPECT_EQ(Run(edge::GetNextPublishedVariable, nullptr), Outcome(-1, ""));
  EXPECT_TRUE(model_->given.empty());
  EXPECT_TRUE(status_.GuardsIntact());
}

TEST_F(OptimisationEdgeTest, ASetPassesHandleAndValueAsTheHostGaveThem) {
  GuardedBuffer record(EXT_OPT_VALUE_RECORD_MIN_SIZE);
  record.Put(EXT_OPT_VALUE_HANDLE_OFFSET, std::int32_t{3});
  record.Put(EXT_OPT_VALUE_VALUE_OFFSET, -0.25);
  const auto before = record.bytes;
  EXPECT_EQ(Run(edge::SetControls, record.bytes.data()), Outcome(0, ""));
  model_->failure = Error::Failed("An integer control variable in Excel is not defined");
  EXPECT_EQ(Run(edge::SetIntegerControls, record.bytes.data()),
            Outcome(1, "An integer control variable in Excel is not defined"));
  EXPECT_EQ(model_->given, (std::vector<double>{3, -0.25, 3, -0.25}));
  EXPECT_EQ(record.bytes, before) << "a set writes nothing back";
}

// Enumeration starts at -1 and walks the model's list, each variable's
// texts cut to the record's fields; past the end, or from any other
// handle, there is none.
TEST_F(OptimisationEdgeTest, EnumerationListsEachVariableWithItsTextsCutToTheirFields) {
  GuardedBuffer record(EXT_PUBVAR_RECORD_MIN_SIZE);
  const auto next = [&](std::int32_t from) {
    record.Put(EXT_PUBVAR_HANDLE_OFFSET, from);
    record.bytes[EXT_PUBVAR_FLAG_OFFSET] = 0;
    return Run(edge::GetNextPublishedVariable, record.bytes.data());
  };
  EXPECT_EQ(next(-1), Outcome(-1, "")) << "an empty list";
  for (const auto& [name, unit] : {std::pair{std::string("Oil rate"), std::string("STB/d")},
                                   {std::string(100, 'm'), std::string(20, 'u')}}) {
    auto variable = std::make_unique<casedata::CExcExportedVariable>();
    std::tie(variable->name, variable->unit) = std::tie(name, unit);
    model_->publishedVariables.Add(std::move(variable));
  }
  // The handle asked from; the variable's handle and texts in the record.
  const std::tuple<std::int32_t, std::int32_t, std::string, std::string> listed[] = {
      {-1, 0, "Oil rate", "STB/d"},
      {0, 1, std::string(EXT_PUBVAR_TEXT_SIZE - 1, 'm'),
       std::string(EXT_PUBVAR_UNIT_SIZE - 1, 'u')}};
  for (const auto& [from, handle, name, unit] : listed) {
    EXPECT_EQ(next(from), Outcome(0, ""));
    EXPECT_EQ(std::tuple(record.Get<std::int32_t>(EXT_PUBVAR_HANDLE_OFFSET),
                         record.bytes[EXT_PUBVAR_FLAG_OFFSET],
                         FieldText(record, EXT_PUBVAR_TEXT_OFFSET, EXT_PUBVAR_TEXT_SIZE),
                         FieldText(record, EXT_PUBVAR_UNIT_OFFSET, EXT_PUBVAR_UNIT_SIZE)),
              std::tuple(handle, 1, name, unit));
  }
  for (const std::int32_t from : {1, -5, INT32_MAX})
    EXPECT_EQ(next(from).first, -1) << from;
  EXPECT_TRUE(record.GuardsIntact());
}

// A set's text is read within its 64 bytes, whatever follows them; a get's
// is written back cut and terminated, and only when it succeeded.
TEST_F(OptimisationEdgeTest, PublishedValuesGoBackOnlyForAGetThatSucceeded) {
  GuardedBuffer record(EXT_PUBVAR_RECORD_MIN_SIZE, 0);
  record.Put(EXT_PUBVAR_HANDLE_OFFSET, std::int32_t{3});
  std::memset(record.chars() + EXT_PUBVAR_TEXT_OFFSET, 'x', EXT_PUBVAR_TEXT_SIZE);
  std::memset(record.chars() + EXT_PUBVAR_UNIT_OFFSET, 'Z', EXT_PUBVAR_UNIT_SIZE);
  record.bytes[EXT_PUBVAR_FLAG_OFFSET] = 1;
  const std::vector<unsigned char> sent = record.bytes;
  EXPECT_EQ(Run(edge::EvalPublishedVariables, record.bytes.data()).first, 0);
  EXPECT_EQ(record.bytes, sent) << "a set writes nothing back";
  record.bytes[EXT_PUBVAR_FLAG_OFFSET] = 0;
  model_->text = std::string(80, '7');
  EXPECT_EQ(Run(edge::EvalPublishedVariables, record.bytes.data()).first, 0);
  EXPECT_EQ(FieldText(record, EXT_PUBVAR_TEXT_OFFSET, EXT_PUBVAR_TEXT_SIZE),
            std::string(EXT_PUBVAR_TEXT_SIZE - 1, '7'));
  EXPECT_EQ(record.bytes[EXT_PUBVAR_UNIT_OFFSET], 'Z') << "the unit field is not the value's";
  ASSERT_EQ(model_->requests.size(), 2u);
  EXPECT_EQ(std::tie(model_->requests[0].handle, model_->requests[0].set, model_->requests[0].text),
            std::tuple(3, true, std::string(EXT_PUBVAR_TEXT_SIZE, 'x')));
  EXPECT_EQ(model_->requests[1].text, std::nullopt);

  // A block asked through this record: its own result and no message.
  model_->failure = Error::Failed("", casedata::kBlockVariableResult);
  model_->text = "not written";
  EXPECT_EQ(Run(edge::EvalPublishedVariables, record.bytes.data()),
            Outcome(EXT_RESULT_BLOCK_VARIABLE, ""));
  EXPECT_EQ(FieldText(record, EXT_PUBVAR_TEXT_OFFSET, EXT_PUBVAR_TEXT_SIZE),
            std::string(EXT_PUBVAR_TEXT_SIZE - 1, '7'));

  GuardedBuffer record2(EXT_PUBVAR2_RECORD_MIN_SIZE, 0);
  EXPECT_EQ(Run(edge::EvalPublishedVariablesAsBlock, record2.bytes.data()).first,
            EXT_RESULT_BLOCK_VARIABLE);
  model_->failure.reset();
  EXPECT_EQ(Run(edge::EvalPublishedVariablesAsBlock, record2.bytes.data()).first, 0);
  EXPECT_EQ(record2.Get<const char*>(EXT_PUBVAR2_TEXT_POINTER_OFFSET), model_->text.c_str());

  EXPECT_TRUE(record.GuardsIntact() && record2.GuardsIntact());
}

}  // namespace
