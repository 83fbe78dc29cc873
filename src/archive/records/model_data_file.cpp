#include "archive/records/model_data_file.h"

#include "archive/locked_file.h"
#include "archive/primitives.h"
#include "archive/records/case_record.h"
#include "archive/records/signature.h"

namespace archive {
namespace {

constexpr std::uint16_t kModelDataMarker = 255;

}  // namespace

ArchiveError TransferModelData(Archive& archive, casedata::CExcclExportedVariable& variables) {
  TransferSignature(archive);
  if (!archive.Failed()) TransferPublishedVariables(archive, variables);
  return archive.TakeFailure();
}

ArchiveError StoreModelDataMarker(Archive& archive) {
  TransferSignature(archive);
  std::uint16_t marker = kModelDataMarker;
  TransferU16(archive, marker);
  return archive.TakeFailure();
}

ArchiveError WriteModelDataFile(const char* path, casedata::CExcclExportedVariable& variables) {
  outcome::Expected<LockedFile> file = LockedFile::Open(path, LockedFile::Access::kWrite);
  if (!file) return ArchiveError(ArchiveError::Kind::kFile, file.TakeError().Message());
  Archive archive = Archive::StoreToFile(*file);
  TransferSignature(archive);
  TransferPublishedVariables(archive, variables);
  archive.Finish();
  return archive.TakeFailure();
}

ArchiveError ReadModelDataFile(const char* path, std::uint32_t caseVersion,
                               casedata::CExcclExportedVariable& variables) {
  outcome::Expected<LockedFile> file = LockedFile::Open(path, LockedFile::Access::kRead);
  if (!file) return ArchiveError(ArchiveError::Kind::kFile, file.TakeError().Message());
  Archive archive = Archive::LoadFromFile(*file);
  archive.SetVersion(caseVersion);
  return TransferModelData(archive, variables);
}

}  // namespace archive
