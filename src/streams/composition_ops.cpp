#include "streams/composition_ops.h"

#include "case/composition.h"
#include "case/stream_data.h"
#include "host/host_record.h"
#include "host/message.h"
#include "streams/transfer_common.h"

namespace streams {
namespace {

// This operation's success: the record was filled.
constexpr std::int32_t kCompositionFilled = 1;

}  // namespace

namespace detail {

const CExcCompositionDefinition* TransferredComposition(const model::CExcCaseDetails& details,
                                                        const std::string& compositionName) {
  if (details.useCompositions == 0) return nullptr;
  const CExcCompositionDefinition* composition =
      FindComposition(details.compositions, compositionName);
  if (composition == nullptr || composition->ComponentCount() == 0) return nullptr;
  return composition;
}

bool RefuseOversizedComposition(const CExcCompositionDefinition& composition,
                                host::StatusRecord& status) {
  if (composition.ComponentCount() <= kMaxComponents) return false;
  host::WriteStatus(status, "Composition %s has %zu components; a stream carries at most %zu",
                    composition.name.c_str(), composition.ComponentCount(), kMaxComponents);
  return true;
}

}  // namespace detail

std::int32_t QueryComp(const model::CExcCaseDetails& details, ExtStatusRecord* status) {
  if (details.useCompositions == 0) return EXT_RESULT_NONE;
  host::StatusRecord out(status);
  return host::Fail(out,
                    "Excel compositions are treated 'per stream' rather than 'per "
                    "application'.\nQueryComp should not be called (contact Orvax)");
}

std::int32_t GetStreamComposition(const model::CExcCaseDetails& details, bool createFailed,
                                  void* componentList, std::int32_t stream,
                                  ExtStatusRecord* status) {
  host::StatusRecord out(status);
  if (createFailed) {
    host::WriteStatus(out, "%s", automation::kNoConnectionMessage);
    return EXT_RESULT_NONE;
  }
  if (details.useCompositions == 0) return EXT_RESULT_OK;

  const std::uint32_t handle = static_cast<std::uint32_t>(stream);
  const std::string* name = nullptr;
  if (handle < details.inputCount) {
    if (const CExcInputStreamData* input = details.inputStreams.At(handle)) {
      name = &input->compositionName;
    }
  } else if (handle - details.inputCount < details.outputCount) {
    if (const CExcOutputStreamData* output =
            details.outputStreams.At(handle - details.inputCount)) {
      name = &output->compositionName;
    }
  }
  if (name == nullptr) {
    host::WriteStatus(out, "Invalid handle passed to Gridmoor::GetStreamComposition");
    return EXT_RESULT_NONE;
  }

  const CExcCompositionDefinition* composition = FindComposition(details.compositions, *name);
  if (composition == nullptr) {
    host::WriteStatus(out, "Could not find composition (%s)", name->c_str());
    return EXT_RESULT_NONE;
  }
  if (composition->ComponentCount() == 0) {
    host::WriteStatus(out, "Composition %s has no components", composition->name.c_str());
    return EXT_RESULT_NONE;
  }
  if (detail::RefuseOversizedComposition(*composition, out)) return EXT_RESULT_NONE;
  if (componentList == nullptr) {
    host::WriteStatus(out, "Invalid component list passed to Gridmoor::GetStreamComposition");
    return EXT_RESULT_NONE;
  }

  host::HostRecord record(componentList, EXT_COMPONENT_LIST_RECORD_MIN_SIZE);
  const std::size_t count = composition->ComponentCount();
  bool ok = record.WriteU32(EXT_COMPONENT_LIST_COUNT_OFFSET, static_cast<std::uint32_t>(count));
  for (std::size_t i = 0; i < count; ++i) {
    // A longer name is cut to its slot; the slot always keeps its terminator.
    ok = record.WriteText(EXT_COMPONENT_LIST_NAMES_OFFSET + EXT_COMPONENT_LIST_NAME_SIZE * i,
                          EXT_COMPONENT_LIST_NAME_SIZE, composition->components[i]) &&
         ok;
  }
  return ok ? kCompositionFilled : EXT_RESULT_NONE;
}

void ClearStaleCompositionNames(model::CExcCaseDetails& details) {
  const auto clear = [&](std::string& name) {
    if (!name.empty() && FindComposition(details.compositions, name) == nullptr) name.clear();
  };
  for (std::size_t i = 0; i < details.inputStreams.size(); ++i)
    if (CExcInputStreamData* input = details.inputStreams.At(i)) clear(input->compositionName);
  for (std::size_t j = 0; j < details.outputStreams.size(); ++j)
    if (CExcOutputStreamData* output = details.outputStreams.At(j)) clear(output->compositionName);
}

}  // namespace streams
