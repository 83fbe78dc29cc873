// A model over the in-memory application with a workbook holding "Sheet1"
// and "Data", every automation call recorded. The operations are called
// through the model's slots; the fixture keeps what the host would see of
// each answer (the number or text handed back, the message).
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <utility>
#include <vector>

#include "automation/session_fixture.h"
#include "casedata/exported_variable.h"
#include "casedata/opt_items.h"
#include "casedata/values/optimisation_values.h"
#include "casedata/values/published_values.h"
#include "com/variants/variant_text.h"
#include "gridmoor/host_records.h"
#include "model/model.h"
#include "outcome/outcome.h"

namespace optimisation_test {

using com::Variant;
using Interface = model::CExtInterface;

// The optimiser's value slots: each reads or sets one item's number.
enum class ValueSlot {
  kGetObjective,
  kGetConstraint,
  kSetControl,
  kGetControl,
  kSetIntControl,
  kGetIntControl
};

inline constexpr double kUndefined = casedata::kUndefinedValue;

// Appends an item (or published variable) bound to a cell of "Data".
template <typename Item>
Item& AddItem(casedata::CExtCollection<Item>& list, const std::string& name,
              const std::string& cell, const std::string& sheet = "Data") {
  Item* item = list.Add(std::make_unique<Item>());
  item->name = name;
  item->worksheet = sheet;
  item->cell = cell;
  return *item;
}

inline casedata::CExcConstraint& AddConstraint(casedata::CExcclConstraint& list,
                                               const std::string& name, const std::string& cell,
                                               std::uint32_t type = 0, double limit = 0) {
  auto& item = AddItem(list, name, cell);
  std::tie(item.ConstraintType, item.Limit) = std::pair(type, limit);
  return item;
}

inline casedata::CExcControlVariable& AddControl(casedata::CExcclControlVariable& list,
                                                 const std::string& name, const std::string& cell,
                                                 double lower = kUndefined,
                                                 double upper = kUndefined) {
  auto& item = AddItem(list, name, cell);
  std::tie(item.LowerBound, item.UpperBound) = std::pair(lower, upper);
  return item;
}

// States as {name, value} pairs.
inline casedata::CExcIntCtrlVariable& AddIntControl(
    casedata::CExcclIntegerControl& list, const std::string& name, const std::string& cell,
    const std::vector<std::pair<std::string, std::string>>& states) {
  auto& item = AddItem(list, name, cell);
  item.StateCount = static_cast<std::int32_t>(states.size());
  for (std::size_t k = 0; k < states.size() && k < item.StateNames.size(); ++k) {
    item.StateNames[k] = states[k].first;
    item.StateValues[k] = states[k].second;
  }
  return item;
}

class ItemsTest : public test_support::SessionTest {
 protected:
  void SetUp() override {
    model_ = std::make_unique<model::CExcModel>();
    ASSERT_NE(model_->Session(), nullptr) << model_->CreateError();
    ASSERT_EQ(model_->Session()->NewWorkbook().Message(), "");
    book_ = Application()->ActiveWorkbook();
    book_->AddWorksheet("Data");
    recorder_->Clear();
  }

  Interface& Table() { return *model_; }
  // The message of the last answer, as the host's status text holds it.
  std::string StatusText() const { return message_; }
  // The answer's result, its message kept.
  std::int32_t Answer(const outcome::Error& error) {
    message_ = error.Message();
    return error.Result();
  }

  // --- The optimiser's values: `value` is the host's number before the call ---
  // As the driver's dispatch does before each request: held control writes
  // go out (unless another one comes), read-ahead values are forgotten
  // (unless a constraint is read). A held write's failure is the answer.
  std::int32_t Run(ValueSlot slot, std::int32_t handle, double value) {
    value_ = value;
    using Request = model::CExcModel::Request;
    static constexpr Request kRequests[] = {Request::kOther,        Request::kConstraintRead,
                                            Request::kControlWrite, Request::kOther,
                                            Request::kOther,        Request::kOther};
    if (const outcome::Error held = model_->BeforeRequest(kRequests[static_cast<int>(slot)]))
      return Answer(held);
    const auto read = [&](const casedata::ItemReading& reading) {
      if (reading.value) value_ = *reading.value;
      return Answer(reading.error);
    };
    switch (slot) {
      case ValueSlot::kGetObjective:
        return read(Table().GetObjectiveFunction());
      case ValueSlot::kGetConstraint:
        return read(Table().GetConstraints(handle));
      case ValueSlot::kSetControl:
        return Answer(Table().SetControls({handle, value}));
      case ValueSlot::kGetControl:
        return read(Table().GetControls(handle));
      case ValueSlot::kSetIntControl:
        return Answer(Table().SetIntegerControls({handle, value}));
      case ValueSlot::kGetIntControl:
        return read(Table().GetIntegerControls(handle));
    }
    return -999;
  }
  // Any other request: what is held goes out.
  std::int32_t SendHeld() {
    return Answer(model_->BeforeRequest(model::CExcModel::Request::kOther));
  }
  // What a slot answers, the value it leaves and its message.
  std::tuple<std::int32_t, double, std::string> Outcome(ValueSlot slot, std::int32_t handle,
                                                        double value) {
    const std::int32_t result = Run(slot, handle, value);
    return {result, value_, StatusText()};
  }

  // --- The problem: set up with `mode`; none when the set-up fails ---
  std::int32_t SetUpProblem(std::int32_t mode) {
    outcome::Expected<casedata::OptimisationProblem> problem = Table().SetupOptimisation(mode);
    if (!problem) {
      problem_.reset();
      return Answer(problem.TakeError());
    }
    problem_ = std::move(*problem);
    message_ = problem_->notice;
    return 0;
  }
  bool ProblemUntouched() const { return !problem_.has_value(); }

  // --- Published variables: the value text the host's record holds ---
  std::int32_t Eval(std::int32_t handle, bool set, std::string_view text) {
    outcome::Expected<std::string> got =
        Table().EvalPublishedVariables({handle, set, std::string(text)});
    if (!got) return Answer(got.TakeError());
    if (!set) valueText_ = *got;
    return Answer(outcome::Error::Success());
  }
  std::int32_t Get(std::int32_t handle) {
    valueText_ = "before";
    return Eval(handle, false, "");
  }
  std::int32_t Set(std::int32_t handle, std::string_view text) { return Eval(handle, true, text); }
  std::string ValueText() const { return valueText_; }

  // --- Record 2 (code 117): the text by address ---
  std::int32_t Eval2(std::int32_t handle, bool set, const char* text = nullptr) {
    casedata::PublishedValueRequest request{handle, set, std::nullopt};
    if (text != nullptr) request.text = text;
    outcome::Expected<const char*> got = Table().EvalPublishedVariablesAsBlock(request);
    if (!got) return Answer(got.TakeError());
    if (!set) record2Text_ = *got;
    return Answer(outcome::Error::Success());
  }
  const char* Record2Text() const { return record2Text_; }

  // --- Adding (code 108): a null text is one the host did not pass ---
  std::int32_t Add(const char* worksheet, const char* cell, const char* name,
                   bool masking = false) {
    const auto given = [](const char* text) {
      return text != nullptr ? std::optional<std::string>(text) : std::nullopt;
    };
    outcome::Expected<std::int32_t> handle =
        Table().AddPublishedVariable({masking, given(worksheet), given(cell), given(name)});
    if (!handle) return Answer(handle.TakeError());
    addedHandle_ = *handle;
    return Answer(outcome::Error::Success());
  }

  casedata::CExcExportedVariable& AddVariable(const std::string& name, const std::string& cell,
                                              std::int32_t width = 1, std::int32_t height = 1) {
    auto& variable = AddItem(model_->publishedVariables, name, cell);
    std::tie(variable.RegionWidth, variable.RegionHeight) = std::pair(width, height);
    return variable;
  }

  Variant Cell(const std::string& cell, const std::string& sheet = "Data") const {
    return book_->CellValue(sheet, cell);
  }
  std::string CellText(const std::string& cell, const std::string& sheet = "Data") const {
    return com::VariantToText(Cell(cell, sheet));
  }
  void PutCell(const std::string& cell, const Variant& value, const std::string& sheet = "Data") {
    book_->SetCellValue(sheet, cell, value);
  }
  // Per recorded call of `member`: its first argument, or its whole line.
  std::vector<std::string> Recorded(const char* member, bool argument) const {
    std::vector<std::string> out;
    for (const auto& call : recorder_->CallsOf(member))
      out.push_back(argument ? com::VariantToText(call.arguments[0]) : call.line);
    return out;
  }
  std::vector<std::string> RangesAsked() const { return Recorded("Worksheet.GetRange", true); }
  std::vector<std::string> ValueLines() const { return Recorded("Range.Invoke", false); }

  std::unique_ptr<model::CExcModel> model_;
  com::Ptr<test_support::MemoryWorkbook> book_;
  std::string message_;
  double value_ = 0;
  std::optional<casedata::OptimisationProblem> problem_;
  std::string valueText_ = "before";
  const char* record2Text_ = nullptr;
  std::optional<std::int32_t> addedHandle_;
};

}  // namespace optimisation_test
