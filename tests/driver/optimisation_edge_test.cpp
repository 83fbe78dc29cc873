// The edge of the optimiser's and the published variables' commands: the
// record read into a value for the model, and the model's answer written
// back, a failure's message into the status text, a value into the record
// even beside a failure when the model gives one, nothing when it gives
// none. The model here answers what each test sets.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "driver/optimisation_commands.h"
#include "model/model.h"
#include "support/guarded_buffer.h"
#include "support/temp_registry.h"

namespace {

namespace edge = driver::edge;
using outcome::Error;
using test_support::GuardedBuffer;

constexpr char kNoRecord[] = "No record was passed to Gridmoor.dll";

// Answers as set and keeps what it was given.
class CannedModel : public model::CExcModel {
 public:
  outcome::Expected<casedata::OptimisationProblem> SetupOptimisation(std::int32_t mode) override {
    given.push_back(mode);
    if (failure) return *failure;
    return problem;
  }
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
    if (failure) return *failure;
    return text;
  }
  outcome::Expected<const char*> EvalPublishedVariablesAsBlock(
      const casedata::PublishedValueRequest& request) override {
    requests.push_back(request);
    if (failure) return *failure;
    return text.c_str();
  }
  outcome::Expected<std::int32_t> AddPublishedVariable(
      const casedata::NewPublishedVariable& added) override {
    given.push_back(added.masking);
    if (failure) return *failure;
    return std::int32_t{12};
  }
  Error WriteBatchOutput(const casedata::BatchPath& output) override {
    paths.push_back(output);
    return Answer();
  }

  std::optional<Error> failure;
  std::optional<double> value;
  casedata::OptimisationProblem problem;
  std::string text = "2.5";
  std::vector<double> given;
  std::vector<casedata::PublishedValueRequest> requests;
  std::vector<casedata::BatchPath> paths;

 private:
  Error Answer() const { return failure ? *failure : Error::Success(); }
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

class OptimisationEdgeTest : public ::testing::Test {
 protected:
  std::int32_t Run(std::int32_t (*command)(edge::M, edge::A), void* record, std::int32_t iarg = 0) {
    std::memset(status_.bytes.data(), 0, EXT_STATUS_RECORD_SIZE);
    return command(*model_, {nullptr, record, iarg, status_.status()});
  }
  std::string Message() { return status_.status()->text; }

  test_support::ScopedEnv noApplication_{"GRIDMOOR_SPREADSHEET", "none"};
  std::unique_ptr<CannedModel> model_ = std::make_unique<CannedModel>();
  GuardedBuffer status_{EXT_STATUS_RECORD_SIZE, 0};
};

TEST_F(OptimisationEdgeTest, AReadsValueReachesTheRecordEvenBesideItsFailure) {
  using Command = std::int32_t (*)(edge::M, edge::A);
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
      std::memcpy(record.bytes.data() + EXT_OPT_VALUE_HANDLE_OFFSET, "\x02\0\0\0", 4);
      const double before = 9;
      std::memcpy(record.bytes.data() + EXT_OPT_VALUE_VALUE_OFFSET, &before, 8);
      model_->value = value;
      model_->failure = failure;
      model_->given.clear();
      EXPECT_EQ(Run(read, record.bytes.data()), result);
      EXPECT_EQ(Message(), message);
      double after = 0;
      std::memcpy(&after, record.bytes.data() + EXT_OPT_VALUE_VALUE_OFFSET, 8);
      EXPECT_EQ(after, left);
      EXPECT_EQ(record.bytes[EXT_OPT_VALUE_HANDLE_OFFSET], 2) << "the handle stays";
      EXPECT_EQ(model_->given, std::vector<double>{read == reads[0] ? 0.0 : 2.0});
      EXPECT_TRUE(record.GuardsIntact());
    }
  }
}

TEST_F(OptimisationEdgeTest, ARecordThatIsNotThereIsRefusedBeforeTheModelIsAsked) {
  using Command = std::int32_t (*)(edge::M, edge::A);
  const Command commands[] = {edge::GetObjectiveFunction, edge::GetConstraints,
                              edge::GetControls,          edge::GetIntegerControls,
                              edge::SetControls,          edge::SetIntegerControls,
                              edge::CheckIntegerControls};
  for (Command command : commands) {
    EXPECT_EQ(Run(command, nullptr), 1);
    EXPECT_EQ(Message(), kNoRecord);
  }
  EXPECT_EQ(Run(edge::AddPublishedVariable, nullptr), 1);
  EXPECT_EQ(Message(), "No record passed to AddPublishedVariable()");
  EXPECT_EQ(Run(edge::GetNextPublishedVariable, nullptr), -1);
  EXPECT_EQ(Message(), "");
  EXPECT_TRUE(model_->given.empty());
  EXPECT_TRUE(status_.GuardsIntact());
}

TEST_F(OptimisationEdgeTest, ASetPassesHandleAndValueAsTheHostGaveThem) {
  GuardedBuffer record(EXT_OPT_VALUE_RECORD_MIN_SIZE);
  const std::int32_t handle = 3;
  const double value = -0.25;
  std::memcpy(record.bytes.data() + EXT_OPT_VALUE_HANDLE_OFFSET, &handle, 4);
  std::memcpy(record.bytes.data() + EXT_OPT_VALUE_VALUE_OFFSET, &value, 8);
  const auto before = record.bytes;
  EXPECT_EQ(Run(edge::SetControls, record.bytes.data()), 0);
  model_->failure = Error::Failed("An integer control variable in Excel is not defined");
  EXPECT_EQ(Run(edge::SetIntegerControls, record.bytes.data()), 1);
  EXPECT_EQ(Message(), "An integer control variable in Excel is not defined");
  EXPECT_EQ(model_->given, (std::vector<double>{3, -0.25, 3, -0.25}));
  EXPECT_EQ(record.bytes, before) << "a set writes nothing back";
}

TEST_F(OptimisationEdgeTest, TheSetUpWritesTheProblemAndTellsOfItemsLeftOut) {
  GuardedBuffer record(EXT_OPT_PROBLEM_RECORD_SIZE);
  model_->problem.objective.defined = true;
  model_->problem.controls.resize(2);
  model_->problem.notice =
      "The optimiser takes at most 100 items of each kind; left out: 1 control";
  EXPECT_EQ(Run(edge::SetupOptimisation, record.bytes.data(), 2), 0);
  EXPECT_EQ(Message(), model_->problem.notice) << "said, yet no failure";
  EXPECT_EQ(record.bytes[EXT_OPT_PROBLEM_OBJ_DEFINED_OFFSET], 1);
  EXPECT_EQ(record.bytes[EXT_OPT_PROBLEM_CONTROL_COUNT_OFFSET], 2);
  EXPECT_EQ(model_->given, std::vector<double>{2});

  // A failed set-up leaves the record alone; a missing record fails once the
  // set-up is done (the dialog has been shown by then).
  const GuardedBuffer untouched(EXT_OPT_PROBLEM_RECORD_SIZE);
  GuardedBuffer other(EXT_OPT_PROBLEM_RECORD_SIZE);
  model_->failure = Error::Failed("There is no connection to Excel", -1);
  EXPECT_EQ(Run(edge::SetupOptimisation, other.bytes.data(), -1), -1);
  EXPECT_EQ(Message(), "There is no connection to Excel");
  EXPECT_EQ(other.bytes, untouched.bytes);
  model_->failure.reset();
  EXPECT_EQ(Run(edge::SetupOptimisation, nullptr, -1), 1);
  EXPECT_EQ(Message(), kNoRecord);
  EXPECT_EQ(model_->given.size(), 3u);
  EXPECT_TRUE(record.GuardsIntact());
}

TEST_F(OptimisationEdgeTest, PublishedValuesGoBackOnlyForAGetThatSucceeded) {
  GuardedBuffer record(EXT_PUBVAR_RECORD_MIN_SIZE, 0);
  std::strcpy(record.chars() + EXT_PUBVAR_TEXT_OFFSET, "given");
  record.bytes[EXT_PUBVAR_FLAG_OFFSET] = 1;
  EXPECT_EQ(Run(edge::EvalPublishedVariables, record.bytes.data()), 0);
  EXPECT_STREQ(record.chars() + EXT_PUBVAR_TEXT_OFFSET, "given") << "a set writes nothing back";
  record.bytes[EXT_PUBVAR_FLAG_OFFSET] = 0;
  EXPECT_EQ(Run(edge::EvalPublishedVariables, record.bytes.data()), 0);
  EXPECT_STREQ(record.chars() + EXT_PUBVAR_TEXT_OFFSET, "2.5");
  ASSERT_EQ(model_->requests.size(), 2u);
  EXPECT_EQ(model_->requests[0].text, "given");
  EXPECT_EQ(model_->requests[1].text, std::nullopt);

  // A block asked through this record: its own result and no message.
  model_->failure = Error::Failed("", casedata::kBlockVariableResult);
  model_->text = "not written";
  EXPECT_EQ(Run(edge::EvalPublishedVariables, record.bytes.data()), EXT_RESULT_BLOCK_VARIABLE);
  EXPECT_EQ(Message(), "");
  EXPECT_STREQ(record.chars() + EXT_PUBVAR_TEXT_OFFSET, "2.5");

  GuardedBuffer record2(EXT_PUBVAR2_RECORD_MIN_SIZE, 0);
  EXPECT_EQ(Run(edge::EvalPublishedVariablesAsBlock, record2.bytes.data()),
            EXT_RESULT_BLOCK_VARIABLE);
  model_->failure.reset();
  EXPECT_EQ(Run(edge::EvalPublishedVariablesAsBlock, record2.bytes.data()), 0);
  const char* handed = nullptr;
  std::memcpy(&handed, record2.bytes.data() + EXT_PUBVAR2_TEXT_POINTER_OFFSET, sizeof handed);
  EXPECT_EQ(handed, model_->text.c_str());

  GuardedBuffer add(EXT_ADD_PUBVAR_RECORD_MIN_SIZE, 0);
  EXPECT_EQ(Run(edge::AddPublishedVariable, add.bytes.data()), 0);
  EXPECT_EQ(add.bytes[EXT_ADD_PUBVAR_HANDLE_OFFSET], 12);
  add.bytes[EXT_ADD_PUBVAR_HANDLE_OFFSET] = 0;
  model_->failure = Error::Failed("No valid workbook");
  EXPECT_EQ(Run(edge::AddPublishedVariable, add.bytes.data()), 1);
  EXPECT_EQ(add.bytes[EXT_ADD_PUBVAR_HANDLE_OFFSET], 0) << "no handle for a refused add";
  for (const GuardedBuffer* buffer : {&record, &record2, &add})
    EXPECT_TRUE(buffer->GuardsIntact());
}

TEST_F(OptimisationEdgeTest, TheBatchOutputPathIsTheReportPathsField) {
  GuardedBuffer record(EXT_BATCH_FILES_RECORD_MIN_SIZE, 0);
  std::strcpy(record.chars() + EXT_BATCH_FILES_INPUT_PATH_OFFSET, "/in.xml");
  std::strcpy(record.chars() + EXT_BATCH_FILES_REPORT_PATH_OFFSET, "/out.xml");
  EXPECT_EQ(Run(edge::WriteBatchOutput, record.bytes.data()), 0);
  EXPECT_EQ(Run(edge::WriteBatchOutput, nullptr), 0);
  ASSERT_EQ(model_->paths.size(), 2u);
  EXPECT_EQ(std::tie(model_->paths[0].path, model_->paths[0].complete),
            std::tuple("/out.xml", true));
  EXPECT_FALSE(model_->paths[1].complete) << "no record, no path";
}

}  // namespace
