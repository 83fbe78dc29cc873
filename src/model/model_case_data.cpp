// The case data and the model data file: the model's side of the archive.
// A write that runs out of room says "buffer overflow", as the host has
// always read it; any other archive failure says its own reason.
#include <cstdint>
#include <span>
#include <string>

#include "archive/archive.h"
#include "archive/archive_error.h"
#include "archive/case_record.h"
#include "archive/model_data_file.h"
#include "archive/relocation.h"
#include "archive/versions.h"
#include "host/host_record.h"
#include "host/message.h"
#include "model/file_paths.h"
#include "model/model.h"
#include "platform/environment.h"

namespace model {
namespace {

constexpr char kWriteCaseFailed[] = "Failed to write all case data";
constexpr char kReadCaseFailed[] = "Failed to read all case data - buffer overflow";
constexpr char kVersionTooNew[] = "Unable to read case data - version too new";
constexpr char kWriteModelDataFailed[] = "Failed to write all model data";
// Marks a batch job: relocation then always looks beside the model file.
constexpr char kBatchJobVariable[] = "LSB_JOBID";

// The message of a failed write: the operation, then why it stopped.
std::string WriteFailure(const char* operation, const archive::ArchiveError& error) {
  const bool overflow = error.kind() == archive::ArchiveError::Kind::kEnd;
  return std::string(operation) + " - " + (overflow ? "buffer overflow" : error.what());
}

archive::CaseView CaseOf(CExcModel& model) {
  return {model.caseDetails, model.objective,          model.constraints, model.controls,
          model.intControls, model.publishedVariables, model.caseVersion};
}

// A host buffer as bytes; a null buffer has no room at all.
std::span<std::uint8_t> HostBytes(void* buffer, std::size_t size) {
  if (buffer == nullptr) return {};
  return {static_cast<std::uint8_t*>(buffer), size};
}

void Relocate(CExcModel& model, const host::ConstHostRecord& record, ExtStatusRecord* status) {
  void* modelPath = nullptr;
  std::uint32_t noRelocation = 0;
  (void)record.ReadPointer(EXT_CASE_DATA_MODEL_PATH_OFFSET, modelPath);
  (void)record.ReadU32(EXT_CASE_DATA_NO_RELOCATION_OFFSET, noRelocation);
  const std::string path = host::ReadHostText(static_cast<const char*>(modelPath));
  archive::RelocationFacts facts;
  facts.fileName = model.caseDetails.fileName;
  facts.workbookExists = IsExistingFile(model.caseDetails.fileName);
  facts.batchJob = platform::GetEnv(kBatchJobVariable).has_value();
  facts.noRelocation = noRelocation != 0;
  facts.modelPath = path;
  if (const std::optional<std::string> folder = archive::RelocationFolder(facts)) {
    // Through the table, so that an override of the slot is what moves it.
    model.ChangeFileDirectory(folder->c_str(), status);
  }
}

}  // namespace

std::int32_t CExcModel::WriteCaseData(void* buffer, std::uint32_t size, ExtStatusRecord* status) {
  try {
    archive::Archive archive = archive::Archive::StoreInto(HostBytes(buffer, size));
    archive::TransferCase(archive, CaseOf(*this));
  } catch (const archive::ArchiveError& error) {
    host::StatusRecord out(status);
    return host::Fail(out, "%s", WriteFailure(kWriteCaseFailed, error).c_str());
  }
  return 0;
}

std::int32_t CExcModel::ReadCaseData(void* buffer, ExtStatusRecord* status) {
  host::StatusRecord out(status);
  const host::ConstHostRecord record(buffer, EXT_CASE_DATA_RECORD_SIZE);
  std::uint32_t size = 0;
  // A size beyond the record's room would read past the host's memory.
  if (!record.ReadU32(EXT_CASE_DATA_ARCHIVE_SIZE_OFFSET, size) ||
      size > EXT_CASE_DATA_ARCHIVE_CAPACITY) {
    return host::Fail(out, "%s", kReadCaseFailed);
  }
  const auto* bytes = static_cast<const std::uint8_t*>(buffer) + EXT_CASE_DATA_ARCHIVE_OFFSET;
  try {
    archive::Archive archive = archive::Archive::LoadFrom({bytes, size});
    archive::TransferCase(archive, CaseOf(*this));
  } catch (const archive::ArchiveError& error) {
    // What was read stays; the streams still match their counts.
    archive::SettleStreamCounts(caseDetails);
    const bool tooNew = error.kind() == archive::ArchiveError::Kind::kVersionTooNew;
    return host::Fail(out, "%s", tooNew ? kVersionTooNew : kReadCaseFailed);
  }
  archive::SettleStreamCounts(caseDetails);
  Relocate(*this, record, status);
  return 0;
}

std::int32_t CExcModel::WriteModelData(void* buffer, std::uint32_t size, ExtStatusRecord* status) {
  try {
    archive::StoreModelDataMarker(HostBytes(buffer, size));
    archive::WriteModelDataFile(modelDataFile, publishedVariables);
  } catch (const archive::ArchiveError& error) {
    host::StatusRecord out(status);
    return host::Fail(out, "%s", WriteFailure(kWriteModelDataFailed, error).c_str());
  }
  return 0;
}

std::int32_t CExcModel::ReadModelData(void* /*buffer*/, std::uint32_t /*size*/,
                                      ExtStatusRecord* /*status*/) {
  // A missing or damaged model data file is not the host's failure: the case
  // simply has the variables read so far, and the host has always had 0 and
  // no message for it (a host that wants to tell its user checks the file
  // itself, as gridmoor-host does).
  (void)ReadModelDataFile();
  return 0;
}

outcome::Error CExcModel::ReadModelDataFile() {
  if (!archive::HasModelDataFile(caseVersion)) return outcome::Error::Success();
  try {
    archive::ReadModelDataFile(modelDataFile, static_cast<std::uint32_t>(caseVersion),
                               publishedVariables);
  } catch (const archive::ArchiveError& error) {
    const std::string path = modelDataFile != nullptr ? modelDataFile : "(none named)";
    return outcome::Error::Failed("the model data file " + path +
                                  " cannot be read: " + error.what());
  }
  return outcome::Error::Success();
}

}  // namespace model
