#include "archive/case_record.h"

#include <algorithm>
#include <array>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "archive/archive_error.h"
#include "archive/collection_transfer.h"
#include "archive/optimisation_records.h"
#include "archive/primitives.h"
#include "archive/published_record.h"
#include "archive/signature.h"
#include "archive/stream_records.h"
#include "archive/versions.h"
#include "case/composition.h"
#include "case/stream_data.h"

namespace archive {
namespace {

// The macros in the order the record holds them, which is not the order of
// the events, and the first version that holds each.
struct MacroField {
  std::size_t event;
  std::uint32_t firstVersion;
};
constexpr std::array<MacroField, model::kEventCount> kMacroFields = {{
    {1, 1},   // end of timestep
    {2, 12},  // pre-module solve
    {3, 12},  // post-system solve
    {4, 15},  // start of run
    {5, 15},  // end of run
    {0, 15},  // start of timestep
    {6, 20},  // post-module solve
}};

void TransferVersion(Archive& archive, std::int32_t& versionRead) {
  std::uint32_t version = kCurrentVersion;
  TransferU32(archive, version);
  if (archive.IsStoring()) return;
  versionRead = static_cast<std::int32_t>(
      std::min<std::uint32_t>(version, std::numeric_limits<std::int32_t>::max()));
  if (version > kCurrentVersion) {
    throw ArchiveError(
        ArchiveError::Kind::kVersionTooNew,
        "version " + std::to_string(version) + " is newer than " + std::to_string(kCurrentVersion));
  }
  if (version < kOldestVersion) {
    throw ArchiveError(ArchiveError::Kind::kFormat, "version 0 is not a case version");
  }
  archive.SetVersion(version);
}

void TransferMacros(Archive& archive, model::CExcCaseDetails& details) {
  for (const MacroField& field : kMacroFields) {
    if (archive.Version() < field.firstVersion) continue;
    TransferText(archive, details.macros[field.event]);
    TransferFlag(archive, details.passDate[field.event]);
  }
}

template <typename Stream>
void TransferStreams(Archive& archive, model::CExtCollection<Stream>& streams, const char* what) {
  if (archive.IsLoading()) streams.Clear();
  TransferCollection(archive, streams, what);
}

// Loaded into a new objective, which replaces the model's once complete.
void TransferObjective(Archive& archive, optimisation::CExcObjFn& objective) {
  if (archive.IsStoring()) {
    Transfer(archive, objective);
    return;
  }
  optimisation::CExcObjFn loaded;
  Transfer(archive, loaded);
  objective = loaded;
}

void TransferUseCompositions(Archive& archive, std::int32_t& useCompositions) {
  bool flag = useCompositions != 0;
  TransferFlag(archive, flag);
  useCompositions = flag ? 1 : 0;
}

// Versions 3 to 9: the case's one composition, its component names only.
// Only ever loaded; it becomes a composition of its own name.
void LoadLegacyComposition(Archive& archive, streams::CExcclCompositionDefinition& compositions) {
  std::uint32_t count = 0;
  TransferCount(archive, count, sizeof(std::uint32_t), "legacy components");
  std::vector<std::string> names(count);
  for (std::string& name : names)
    TransferText(archive, name);
  compositions.Add(std::make_unique<streams::CExcCompositionDefinition>(kLegacyCompositionName,
                                                                        std::move(names)));
}

}  // namespace

void TransferCase(Archive& archive, const CaseView& parts) {
  model::CExcCaseDetails& details = parts.details;
  TransferSignature(archive);
  TransferVersion(archive, parts.version);
  const std::uint32_t version = archive.Version();

  TransferText(archive, details.fileName);
  TransferU32(archive, details.inputCount);
  TransferU32(archive, details.outputCount);
  TransferMacros(archive, details);
  TransferStreams(archive, details.inputStreams, "input streams");
  TransferStreams(archive, details.outputStreams, "output streams");
  if (HasOptimisation(version)) {
    TransferObjective(archive, parts.objective);
    TransferCollection(archive, parts.constraints, "constraints");
  }
  if (HasUseCompositions(version)) TransferUseCompositions(archive, details.useCompositions);
  if (HasNamedCompositions(version)) {
    TransferCollection(archive, details.compositions, "compositions");
  } else if (HasLegacyComposition(version) && archive.IsLoading()) {
    LoadLegacyComposition(archive, details.compositions);
  }
  if (HasControls(version)) TransferCollection(archive, parts.controls, "controls");
  if (HasIntegerControls(version)) {
    TransferCollection(archive, parts.intControls, "integer controls");
  }
  if (HasCasePublishedVariables(version)) {
    TransferCollection(archive, parts.publishedVariables, "published variables");
  }
  if (HasHideInterface(version)) TransferFlag(archive, details.hideInterface);
}

void SettleStreamCounts(model::CExcCaseDetails& details) {
  details.inputCount = std::clamp(details.inputCount, kMinStreamCount, kMaxStreamCount);
  details.outputCount = std::clamp(details.outputCount, kMinStreamCount, kMaxStreamCount);
  details.SyncStreamCounts();
}

}  // namespace archive
