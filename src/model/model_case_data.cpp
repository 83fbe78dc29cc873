// The case data and the model data file: the model's side of the archive.
// A write that runs out of room says "buffer overflow", as the host has
// always read it; any other archive failure says its own reason.
#include <cstdint>
#include <string>
#include <vector>

#include "archive/archive.h"
#include "archive/archive_error.h"
#include "archive/records/case_record.h"
#include "archive/records/model_data_file.h"
#include "archive/relocation.h"
#include "archive/versions.h"
#include "model/file_paths.h"
#include "model/model.h"
#include "platform/environment.h"

namespace model {
namespace {

using Bytes = outcome::Partial<std::vector<std::uint8_t>>;

constexpr char kWriteCaseFailed[] = "Failed to write all case data";
constexpr char kVersionTooNew[] = "Unable to read case data - version too new";
constexpr char kWriteModelDataFailed[] = "Failed to write all model data";
// Marks a batch job: relocation then always looks beside the model file.
constexpr char kBatchJobVariable[] = "LSB_JOBID";

// The message of a failed write: the operation, then why it stopped.
outcome::Error WriteFailure(const char* operation, const archive::ArchiveError& error) {
  const bool overflow = error.kind() == archive::ArchiveError::Kind::kEnd;
  return outcome::Error::Failed(std::string(operation) + " - " +
                                (overflow ? "buffer overflow" : error.Message()));
}

archive::CaseView CaseOf(CExcModel& model) {
  return {model.caseDetails, model.objective,          model.constraints, model.controls,
          model.intControls, model.publishedVariables, model.caseVersion};
}

void Relocate(CExcModel& model, const casedata::StoredCase& stored) {
  archive::RelocationFacts facts;
  facts.fileName = model.caseDetails.fileName;
  facts.workbookExists = IsExistingFile(model.caseDetails.fileName);
  facts.batchJob = platform::GetEnv(kBatchJobVariable).has_value();
  facts.noRelocation = stored.noRelocation;
  facts.modelPath = stored.modelPath;
  if (const std::optional<std::string> folder = archive::RelocationFolder(facts)) {
    // Through the table, so that an override of the slot is what moves it.
    model.ChangeFileDirectory(*folder);
  }
}

}  // namespace

// Every store stops before the transfer that would pass `capacity`: the
// bytes given back are exactly those a store into the host's buffer leaves.
Bytes CExcModel::WriteCaseData(std::size_t capacity) {
  Bytes written;
  archive::Archive archive = archive::Archive::StoreGrowing(written.value, capacity);
  if (const archive::ArchiveError error = archive::TransferCase(archive, CaseOf(*this))) {
    written.error = WriteFailure(kWriteCaseFailed, error);
  }
  return written;
}

outcome::Error CExcModel::ReadCaseData(const casedata::StoredCase& stored) {
  archive::Archive archive = archive::Archive::LoadFrom(stored.archive);
  if (const archive::ArchiveError error = archive::TransferCase(archive, CaseOf(*this))) {
    // What was read stays; the streams still match their counts.
    archive::SettleStreamCounts(caseDetails);
    const bool tooNew = error.kind() == archive::ArchiveError::Kind::kVersionTooNew;
    return outcome::Error::Failed(tooNew ? kVersionTooNew : casedata::kReadCaseFailed);
  }
  archive::SettleStreamCounts(caseDetails);
  Relocate(*this, stored);
  return outcome::Error::Success();
}

Bytes CExcModel::WriteModelData(std::size_t capacity) {
  Bytes written;
  archive::Archive marker = archive::Archive::StoreGrowing(written.value, capacity);
  archive::ArchiveError error = archive::StoreModelDataMarker(marker);
  if (!error) error = archive::WriteModelDataFile(modelDataFile, publishedVariables);
  if (error) written.error = WriteFailure(kWriteModelDataFailed, error);
  return written;
}

outcome::Error CExcModel::ReadModelData() {
  if (!archive::HasModelDataFile(caseVersion)) return outcome::Error::Success();
  if (const archive::ArchiveError error = archive::ReadModelDataFile(
          modelDataFile, static_cast<std::uint32_t>(caseVersion), publishedVariables)) {
    const std::string path = modelDataFile != nullptr ? modelDataFile : "(none named)";
    return outcome::Error::Failed("the model data file " + path +
                                  " cannot be read: " + error.Message());
  }
  return outcome::Error::Success();
}

}  // namespace model
