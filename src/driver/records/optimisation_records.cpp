#include "driver/records/optimisation_records.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace driver {
namespace {

using casedata::OptimisationProblem;

// Writes into one host record and remembers whether every write landed.
class FieldWriter {
 public:
  explicit FieldWriter(const host::HostRecord& record) : record_(record) {}

  void Byte(std::size_t offset, bool value) { Note(record_.WriteU8(offset, value ? 1 : 0)); }
  void Int(std::size_t offset, std::int32_t value) { Note(record_.WriteI32(offset, value)); }
  void Double(std::size_t offset, double value) { Note(record_.WriteDouble(offset, value)); }
  // Always terminated: the text is cut at a character boundary to fit.
  void Terminated(std::size_t offset, std::size_t size, const std::string& text) {
    Note(record_.WriteText(offset, size, text, host::TextFit::kTerminated));
  }
  // The whole field is the text's: a text as wide as the field has no NUL.
  void FieldWide(std::size_t offset, std::size_t size, const std::string& text) {
    Note(record_.WriteText(offset, size, text, host::TextFit::kMayFill));
  }
  bool ok() const { return ok_; }

 private:
  void Note(bool written) { ok_ = ok_ && written; }

  host::HostRecord record_;
  bool ok_ = true;
};

void WriteObjective(const OptimisationProblem::Objective& objective, FieldWriter& out) {
  out.Byte(EXT_OPT_PROBLEM_OBJ_DEFINED_OFFSET, objective.defined);
  if (!objective.defined) return;
  out.FieldWide(EXT_OPT_PROBLEM_OBJ_NAME_OFFSET, EXT_OPT_PROBLEM_OBJ_NAME_SIZE, objective.name);
  out.FieldWide(EXT_OPT_PROBLEM_OBJ_UNIT_OFFSET, EXT_OPT_PROBLEM_OBJ_UNIT_SIZE, objective.unit);
  out.Byte(EXT_OPT_PROBLEM_OBJ_MAXIMISE_OFFSET, objective.maximise);
}

void WriteEntry(const OptimisationProblem::Constraint& constraint, FieldWriter& out) {
  out.FieldWide(EXT_OPT_CONSTRAINT_NAME_OFFSET, EXT_OPT_CONSTRAINT_NAME_SIZE, constraint.name);
  out.FieldWide(EXT_OPT_CONSTRAINT_UNIT_OFFSET, EXT_OPT_CONSTRAINT_UNIT_SIZE, constraint.unit);
  out.Double(EXT_OPT_CONSTRAINT_LIMIT_OFFSET, constraint.limit);
  out.Int(EXT_OPT_CONSTRAINT_TYPE_OFFSET, static_cast<std::int32_t>(constraint.sense));
  out.Int(EXT_OPT_CONSTRAINT_HANDLE_OFFSET, constraint.handle);
  out.Byte(EXT_OPT_CONSTRAINT_BYTE96_OFFSET, false);
}

void WriteEntry(const OptimisationProblem::Control& control, FieldWriter& out) {
  out.Terminated(EXT_OPT_CONTROL_NAME_OFFSET, EXT_OPT_CONTROL_NAME_SIZE, control.name);
  out.Terminated(EXT_OPT_CONTROL_UNIT_OFFSET, EXT_OPT_CONTROL_UNIT_SIZE, control.unit);
  out.Byte(EXT_OPT_CONTROL_HAS_LOWER_OFFSET, control.hasLower);
  out.Double(EXT_OPT_CONTROL_LOWER_OFFSET, control.lower);
  out.Byte(EXT_OPT_CONTROL_HAS_UPPER_OFFSET, control.hasUpper);
  out.Double(EXT_OPT_CONTROL_UPPER_OFFSET, control.upper);
  out.Int(EXT_OPT_CONTROL_HANDLE_OFFSET, control.handle);
  out.Double(EXT_OPT_CONTROL_WORD88_OFFSET, EXT_UNDEFINED_VALUE);
}

void WriteEntry(const OptimisationProblem::IntegerControl& control, FieldWriter& out) {
  out.Terminated(EXT_OPT_INT_CONTROL_NAME_OFFSET, EXT_OPT_INT_CONTROL_NAME_SIZE, control.name);
  out.Int(EXT_OPT_INT_CONTROL_HANDLE_OFFSET, control.handle);
  out.Int(EXT_OPT_INT_CONTROL_STATE_COUNT_OFFSET,
          static_cast<std::int32_t>(control.stateLabels.size()));
  for (std::size_t k = 0; k < control.stateLabels.size(); ++k) {
    out.FieldWide(EXT_OPT_INT_CONTROL_LABELS_OFFSET + k * EXT_OPT_INT_CONTROL_LABEL_SIZE,
                  EXT_OPT_INT_CONTROL_LABEL_SIZE, control.stateLabels[k]);
  }
}

// Writes one kind's count and its entries; more than the record has room
// for is a failure, never an overlap.
template <typename Entry>
bool WriteTable(const std::vector<Entry>& entries, const host::HostRecord& record,
                std::size_t tableOffset, std::size_t entrySize, std::size_t countOffset) {
  if (entries.size() > EXT_OPT_PROBLEM_MAX_ITEMS) return false;
  FieldWriter count(record);
  count.Int(countOffset, static_cast<std::int32_t>(entries.size()));
  bool ok = count.ok();
  for (std::size_t i = 0; i < entries.size(); ++i) {
    host::HostRecord part;
    if (!record.Slice(tableOffset + i * entrySize, entrySize, part)) {
      ok = false;
      continue;
    }
    FieldWriter entry(part);
    WriteEntry(entries[i], entry);
    ok = ok && entry.ok();
  }
  return ok;
}

}  // namespace

bool EncodeProblem(const OptimisationProblem& problem, host::HostRecord record) {
  if (record.empty()) return false;
  FieldWriter head(record);
  WriteObjective(problem.objective, head);
  bool ok = head.ok();
  ok = WriteTable(problem.constraints, record, EXT_OPT_PROBLEM_CONSTRAINTS_OFFSET,
                  EXT_OPT_CONSTRAINT_ENTRY_SIZE, EXT_OPT_PROBLEM_CONSTRAINT_COUNT_OFFSET) &&
       ok;
  ok = WriteTable(problem.controls, record, EXT_OPT_PROBLEM_CONTROLS_OFFSET,
                  EXT_OPT_CONTROL_ENTRY_SIZE, EXT_OPT_PROBLEM_CONTROL_COUNT_OFFSET) &&
       ok;
  ok = WriteTable(problem.integerControls, record, EXT_OPT_PROBLEM_INT_CONTROLS_OFFSET,
                  EXT_OPT_INT_CONTROL_ENTRY_SIZE, EXT_OPT_PROBLEM_INT_CONTROL_COUNT_OFFSET) &&
       ok;
  return ok;
}

std::optional<casedata::ItemValue> DecodeItemValue(const host::ConstHostRecord& record) {
  casedata::ItemValue value;
  if (!record.ReadI32(EXT_OPT_VALUE_HANDLE_OFFSET, value.handle) ||
      !record.ReadDouble(EXT_OPT_VALUE_VALUE_OFFSET, value.value)) {
    return std::nullopt;
  }
  return value;
}

bool EncodeItemValue(double value, host::HostRecord record) {
  return record.WriteDouble(EXT_OPT_VALUE_VALUE_OFFSET, value);
}

std::optional<casedata::IntegerControlList> DecodeIntegerControlList(const void* listRecord) {
  casedata::IntegerControlList list;
  const host::ConstHostRecord head(listRecord, EXT_INT_CONTROL_LIST_HANDLES_OFFSET);
  if (!head.ReadI32(EXT_INT_CONTROL_LIST_COUNT_OFFSET, list.count)) return std::nullopt;
  if (list.count < 1 || list.count > EXT_INT_CONTROL_LIST_MAX_HANDLES) return list;
  const auto count = static_cast<std::size_t>(list.count);
  const host::ConstHostRecord handles(listRecord, EXT_INT_CONTROL_LIST_HANDLES_OFFSET + 4 * count);
  list.handles.assign(count, -1);
  for (std::size_t j = 0; j < count; ++j) {
    static_cast<void>(
        handles.ReadI32(EXT_INT_CONTROL_LIST_HANDLES_OFFSET + 4 * j, list.handles[j]));
  }
  return list;
}

}  // namespace driver
