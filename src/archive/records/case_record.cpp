#include "archive/records/case_record.h"

#include <algorithm>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "archive/primitives.h"
#include "archive/records/record_fields.h"
#include "archive/records/signature.h"

namespace archive {
namespace {

// The binary visitor of the field lists: each field in the record's order,
// in the archive's direction, when the archive's version holds it.
class BinaryFields {
 public:
  explicit BinaryFields(Archive& archive) : archive_(archive) {}

  void Flag(const char*, bool& value, Versions versions = {}) {
    if (Holds(versions)) TransferFlag(archive_, value);
  }
  // A flag the case keeps as 0 or 1.
  void Flag(const char*, std::int32_t& value, Versions versions = {}) {
    if (!Holds(versions) || Stopped()) return;
    bool flag = value != 0;
    TransferFlag(archive_, flag);
    value = flag ? 1 : 0;
  }
  void U32(const char*, std::uint32_t& value, Versions versions = {}) {
    if (Holds(versions)) TransferU32(archive_, value);
  }
  void Double(const char*, double& value) { TransferDouble(archive_, value); }
  void Text(const char*, std::string& value, Versions versions = {}) {
    if (Holds(versions)) TransferText(archive_, value);
  }
  void Cell(const char*, casedata::CellField& value, Versions versions = {}) {
    if (Holds(versions)) TransferText16(archive_, value);
  }
  void Bounded(const char*, std::int32_t& value, std::int32_t min, std::int32_t max,
               Versions versions = {}) {
    if (!Holds(versions)) return;
    TransferI32(archive_, value);
    if (archive_.IsLoading() && !Stopped()) value = std::clamp(value, min, max);
  }
  template <std::size_t N>
  void U32s(const char*, std::array<std::uint32_t, N>& values) {
    for (std::uint32_t& value : values)
      TransferU32(archive_, value);
  }
  void Texts(const char*, std::vector<std::string>& texts, const char* what) {
    std::uint32_t count = CountOf(archive_, texts.size(), what);
    // A text takes at least its length word.
    TransferCount(archive_, count, sizeof(std::uint32_t), what);
    if (Stopped()) return;
    if (archive_.IsLoading()) texts.assign(count, std::string());
    for (std::string& text : texts)
      TransferText(archive_, text);
  }
  template <std::size_t N>
  void Rows(const char*, std::array<casedata::CExcPropertyCell, N>& rows) {
    for (casedata::CExcPropertyCell& row : rows)
      Fields(*this, row);
  }
  template <std::size_t N>
  void Rows(const char*, std::array<casedata::CExcPropertyCell, N>& first, const char*,
            std::array<casedata::CExcPropertyCell, N>& second) {
    for (std::size_t row = 0; row < N; ++row) {
      Fields(*this, first[row]);
      Fields(*this, second[row]);
    }
  }
  // Loaded into a new record, which replaces the field once complete.
  template <typename T>
  void Object(const char*, T& record, Versions versions = {}) {
    if (!Holds(versions)) return;
    if (archive_.IsStoring()) {
      Fields(*this, record);
      return;
    }
    T loaded;
    Fields(*this, loaded);
    if (!Stopped()) record = loaded;
  }
  // The u32 count, then the elements; a loaded element is appended once
  // complete. `what` names the elements in a format error.
  template <typename T>
  void List(const char*, casedata::CExtCollection<T>& list, const char* what,
            Versions versions = {}) {
    if (!Holds(versions)) return;
    if (archive_.IsStoring()) {
      std::uint32_t count = CountOf(archive_, list.size(), what);
      TransferU32(archive_, count);
      for (std::size_t i = 0; i < list.size(); ++i)
        Fields(*this, *list.At(i));
      return;
    }
    std::uint32_t count = 0;
    TransferCount(archive_, count, MinimumSize<T>(), what);
    for (std::uint32_t i = 0; i < count; ++i) {
      auto element = std::make_unique<T>();
      Fields(*this, *element);
      if (Stopped()) return;
      list.Add(std::move(element));
    }
  }
  void StreamCount(const char*, std::uint32_t& count) { TransferU32(archive_, count); }
  // A loaded list replaces the streams there were.
  template <typename Stream>
  void Streams(const char* key, casedata::CExtCollection<Stream>& streams, const char*,
               std::uint32_t&, const char* what) {
    if (Stopped()) return;
    if (archive_.IsLoading()) streams.Clear();
    List(key, streams, what);
  }
  void Macros(const char*, casedata::CExcCaseDetails& details) {
    for (const MacroField& field : kMacroFields) {
      if (!Holds(field.first)) continue;
      MacroRef macro{details.macros[field.event], details.passDate[field.event]};
      Fields(*this, macro);
    }
  }
  void States(const char*, const char*, casedata::CExcIntCtrlVariable& control,
              std::size_t earlyPairs, std::uint32_t allPairsFrom) {
    TransferI32(archive_, control.StateCount);
    if (Stopped()) return;
    if (archive_.IsLoading()) control.StateCount = control.UsedStateCount();
    const std::size_t pairs =
        archive_.Version() >= allPairsFrom ? control.StateNames.size() : earlyPairs;
    for (std::size_t k = 0; k < pairs; ++k) {
      StateRef state{control.StateNames[k], control.StateValues[k]};
      Fields(*this, state);
    }
  }
  // The case's one composition, its component names only; only ever
  // loaded, it becomes a composition of its own name.
  void LegacyComposition(casedata::CExcclCompositionDefinition& compositions, Versions versions) {
    if (!Holds(versions) || archive_.IsStoring()) return;
    std::vector<std::string> names;
    Texts("", names, "legacy components");
    if (Stopped()) return;
    compositions.Add(std::make_unique<casedata::CExcCompositionDefinition>(kLegacyCompositionName,
                                                                           std::move(names)));
  }
  void LegacyCompositionName(std::string& name, Versions versions) {
    if (Holds(versions) && archive_.IsLoading() && !Stopped()) name = kLegacyCompositionName;
  }

 private:
  bool Holds(Versions versions) const { return versions.Hold(archive_.Version()); }
  // A transfer failed: nothing more is loaded into the case.
  bool Stopped() const { return archive_.Failed(); }

  // The bytes a new element takes with the archive's version: every text of
  // a new element is empty, so no element can take fewer.
  template <typename T>
  std::size_t MinimumSize() const {
    std::vector<std::uint8_t> bytes;
    Archive measure = Archive::StoreGrowing(bytes);
    measure.SetVersion(archive_.Version());
    BinaryFields fields(measure);
    T element;
    Fields(fields, element);
    return bytes.size();
  }

  Archive& archive_;
};

void TransferVersion(Archive& archive, std::int32_t& versionRead) {
  std::uint32_t version = kCurrentVersion;
  TransferU32(archive, version);
  if (archive.IsStoring() || archive.Failed()) return;
  versionRead = static_cast<std::int32_t>(
      std::min<std::uint32_t>(version, std::numeric_limits<std::int32_t>::max()));
  if (version > kCurrentVersion) {
    archive.Fail(
        ArchiveError::Kind::kVersionTooNew,
        "version " + std::to_string(version) + " is newer than " + std::to_string(kCurrentVersion));
  } else if (version < kOldestVersion) {
    archive.Fail(ArchiveError::Kind::kFormat, "version 0 is not a case version");
  } else {
    archive.SetVersion(version);
  }
}

}  // namespace

ArchiveError TransferCase(Archive& archive, const CaseView& parts) {
  TransferSignature(archive);
  TransferVersion(archive, parts.version);
  if (!archive.Failed()) {
    BinaryFields fields(archive);
    Fields(fields, parts);
  }
  return archive.TakeFailure();
}

void TransferPublishedVariables(Archive& archive, casedata::CExcclExportedVariable& variables) {
  BinaryFields fields(archive);
  fields.List("", variables, "published variables");
}

void SettleStreamCounts(casedata::CExcCaseDetails& details) {
  details.inputCount = std::clamp(details.inputCount, kMinStreamCount, kMaxStreamCount);
  details.outputCount = std::clamp(details.outputCount, kMinStreamCount, kMaxStreamCount);
  details.SyncStreamCounts();
}

}  // namespace archive
