#include "streams/composition_ops.h"

#include <string>

#include "automation/excel_session.h"
#include "casedata/composition.h"
#include "casedata/stream_data.h"
#include "streams/transfer_common.h"

namespace streams {
using outcome::Error;

namespace detail {

const casedata::CExcCompositionDefinition* TransferredComposition(
    const casedata::CExcCaseDetails& details, const std::string& compositionName) {
  if (details.useCompositions == 0) return nullptr;
  const casedata::CExcCompositionDefinition* composition =
      casedata::FindComposition(details.compositions, compositionName);
  if (composition == nullptr || composition->ComponentCount() == 0) return nullptr;
  return composition;
}

Error RefuseOversizedComposition(const casedata::CExcCompositionDefinition& composition,
                                 std::int32_t result) {
  if (composition.ComponentCount() <= casedata::kMaxComponents) return Error::Success();
  return Error::Failed(
      "Composition " + composition.name + " has " + std::to_string(composition.ComponentCount()) +
          " components; a stream carries at most " + std::to_string(casedata::kMaxComponents),
      result);
}

}  // namespace detail

Error QueryComp(const casedata::CExcCaseDetails& details) {
  if (details.useCompositions == 0) return Error::Failed(std::string(), outcome::kNone);
  return Error::Failed(
      "Excel compositions are treated 'per stream' rather than 'per "
      "application'.\nQueryComp should not be called (contact Orvax)");
}

outcome::Expected<std::optional<casedata::ComponentList>> GetStreamComposition(
    const casedata::CExcCaseDetails& details, bool createFailed, std::int32_t stream) {
  const auto fail = [](std::string message) { return Error::Failed(message, outcome::kNone); };
  if (createFailed) return fail(automation::kNoConnectionMessage);
  if (details.useCompositions == 0) return std::optional<casedata::ComponentList>();

  const std::uint32_t handle = static_cast<std::uint32_t>(stream);
  const std::string* name = nullptr;
  if (handle < details.inputCount) {
    if (const casedata::CExcInputStreamData* input = details.inputStreams.At(handle)) {
      name = &input->compositionName;
    }
  } else if (handle - details.inputCount < details.outputCount) {
    if (const casedata::CExcOutputStreamData* output =
            details.outputStreams.At(handle - details.inputCount)) {
      name = &output->compositionName;
    }
  }
  if (name == nullptr) return fail("Invalid handle passed to Gridmoor::GetStreamComposition");

  const casedata::CExcCompositionDefinition* composition =
      casedata::FindComposition(details.compositions, *name);
  if (composition == nullptr) return fail("Could not find composition (" + *name + ")");
  if (composition->ComponentCount() == 0) {
    return fail("Composition " + composition->name + " has no components");
  }
  if (Error refused = detail::RefuseOversizedComposition(*composition, outcome::kNone)) {
    return refused;
  }
  return std::optional<casedata::ComponentList>(casedata::ComponentList{composition->components});
}

void ClearStaleCompositionNames(casedata::CExcCaseDetails& details) {
  const auto clear = [&](std::string& name) {
    if (!name.empty() && casedata::FindComposition(details.compositions, name) == nullptr)
      name.clear();
  };
  for (std::size_t i = 0; i < details.inputStreams.size(); ++i)
    if (casedata::CExcInputStreamData* input = details.inputStreams.At(i))
      clear(input->compositionName);
  for (std::size_t j = 0; j < details.outputStreams.size(); ++j)
    if (casedata::CExcOutputStreamData* output = details.outputStreams.At(j))
      clear(output->compositionName);
}

}  // namespace streams
