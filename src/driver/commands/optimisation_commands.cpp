#include "driver/commands/optimisation_commands.h"

#include <utility>

#include "driver/commands/case_commands.h"
#include "driver/records/optimisation_records.h"
#include "driver/records/published_records.h"
#include "host/host_record.h"
#include "host/message.h"
#include "model/model.h"

namespace driver::edge {
namespace {

using outcome::Error;

constexpr char kNoRecord[] = "No record was passed to Gridmoor.dll";

host::HostRecord ValueRecord(A a) {
  return host::HostRecord(a.arg, EXT_OPT_VALUE_RECORD_MIN_SIZE);
}

// A read's number goes into the value record whether or not the read
// failed; none leaves the record's number as it was.
std::int32_t AnswerReading(const casedata::ItemReading& reading, A a) {
  if (reading.value) static_cast<void>(EncodeItemValue(*reading.value, ValueRecord(a)));
  host::StatusRecord status(a.status);
  return host::Answer(reading.error, status);
}

// A value record's handle, or the failure of a missing record.
template <typename Read>
std::int32_t WithItemValue(A a, Read read) {
  const std::optional<casedata::ItemValue> value = DecodeItemValue(ValueRecord(a));
  if (!value) return Answer(Error::Failed(kNoRecord), a);
  return read(*value);
}

}  // namespace

std::int32_t SetupOptimisation(M m, A a) {
  outcome::Expected<casedata::OptimisationProblem> problem = m.SetupOptimisation(a.iarg);
  if (!problem) return Answer(problem.TakeError(), a);
  const host::HostRecord record(a.arg, EXT_OPT_PROBLEM_RECORD_SIZE);
  if (record.empty()) return Answer(Error::Failed(kNoRecord), a);
  if (!EncodeProblem(*problem, record))
    return Answer(Error::Failed("The optimisation problem could not be written"), a);
  // Items left out do not fail the set-up; the host is told all the same.
  if (!problem->notice.empty()) {
    host::StatusRecord status(a.status);
    host::WriteStatus(status, "%s", problem->notice.c_str());
  }
  return EXT_RESULT_OK;
}

std::int32_t CheckIntegerControls(M m, A a) {
  const std::optional<casedata::IntegerControlList> list = DecodeIntegerControlList(a.arg);
  if (!list) return Answer(Error::Failed(kNoRecord), a);
  return Answer(m.CheckIntegerControls(*list), a);
}

std::int32_t GetObjectiveFunction(M m, A a) {
  return WithItemValue(
      a, [&](const casedata::ItemValue&) { return AnswerReading(m.GetObjectiveFunction(), a); });
}

std::int32_t GetConstraints(M m, A a) {
  return WithItemValue(a, [&](const casedata::ItemValue& value) {
    return AnswerReading(m.GetConstraints(value.handle), a);
  });
}

std::int32_t GetControls(M m, A a) {
  return WithItemValue(a, [&](const casedata::ItemValue& value) {
    return AnswerReading(m.GetControls(value.handle), a);
  });
}

std::int32_t GetIntegerControls(M m, A a) {
  return WithItemValue(a, [&](const casedata::ItemValue& value) {
    return AnswerReading(m.GetIntegerControls(value.handle), a);
  });
}

std::int32_t SetControls(M m, A a) {
  return WithItemValue(
      a, [&](const casedata::ItemValue& value) { return Answer(m.SetControls(value), a); });
}

std::int32_t SetIntegerControls(M m, A a) {
  return WithItemValue(
      a, [&](const casedata::ItemValue& value) { return Answer(m.SetIntegerControls(value), a); });
}

std::int32_t ClearOptimisation(M m, A a) {
  m.ClearOptimisation(a.iarg);
  return EXT_RESULT_OK;
}

std::int32_t GetNextPublishedVariable(M m, A a) {
  const host::HostRecord record(a.arg, EXT_PUBVAR_RECORD_MIN_SIZE);
  const std::optional<std::int32_t> handle = DecodeVariableHandle(record);
  if (!handle) return EXT_RESULT_NONE;
  const std::optional<casedata::PublishedVariableInfo> next = m.GetNextPublishedVariable(*handle);
  if (!next) return EXT_RESULT_NONE;
  return EncodeVariableInfo(*next, record) ? EXT_RESULT_OK : EXT_RESULT_NONE;
}

std::int32_t EvalPublishedVariables(M m, A a) {
  const host::HostRecord record(a.arg, EXT_PUBVAR_RECORD_MIN_SIZE);
  const casedata::PublishedValueRequest request = DecodeValueRequest(record);
  outcome::Expected<std::string> text = m.EvalPublishedVariables(request);
  if (!text) return Answer(text.TakeError(), a);
  if (!request.set) static_cast<void>(EncodeValueText(*text, record));
  return EXT_RESULT_OK;
}

std::int32_t EvalPublishedVariablesAsBlock(M m, A a) {
  const host::HostRecord record(a.arg, EXT_PUBVAR2_RECORD_MIN_SIZE);
  const casedata::PublishedValueRequest request =
      DecodeValueRequest2(record, m.publishedVariables.size());
  outcome::Expected<const char*> text = m.EvalPublishedVariablesAsBlock(request);
  if (!text) return Answer(text.TakeError(), a);
  // The record was read, so it has room for the address.
  if (!request.set) static_cast<void>(EncodeValueAddress(*text, record));
  return EXT_RESULT_OK;
}

std::int32_t AddPublishedVariable(M m, A a) {
  const host::HostRecord record(a.arg, EXT_ADD_PUBVAR_RECORD_MIN_SIZE);
  const std::optional<casedata::NewPublishedVariable> added = DecodeNewVariable(record);
  if (!added) return Answer(Error::Failed("No record passed to AddPublishedVariable()"), a);
  outcome::Expected<std::int32_t> handle = m.AddPublishedVariable(*added);
  if (!handle) return Answer(handle.TakeError(), a);
  static_cast<void>(EncodeNewHandle(*handle, record));
  return EXT_RESULT_OK;
}

std::int32_t DelPublishedVariable(M m, A a) {
  return Answer(m.DelPublishedVariable(a.iarg), a);
}

std::int32_t ReadBatchProblem(M m, A a) {
  const host::ConstHostRecord record(a.arg, EXT_BATCH_FILES_RECORD_MIN_SIZE);
  return Answer(m.ReadBatchProblem(DecodeBatchFiles(record), a.iarg > 0), a);
}

std::int32_t WriteBatchOutput(M m, A a) {
  // The output path is where code 256 reads the report path.
  const host::ConstHostRecord record(a.arg, EXT_BATCH_FILES_RECORD_MIN_SIZE);
  return Answer(m.WriteBatchOutput(DecodeBatchOutput(record)), a);
}

}  // namespace driver::edge
