#include "archive/model_data_file.h"

#include "archive/case_record.h"
#include "archive/locked_file.h"
#include "archive/primitives.h"
#include "archive/signature.h"

namespace archive {
namespace {

constexpr std::uint16_t kModelDataMarker = 255;

}  // namespace

void TransferModelData(Archive& archive, casedata::CExcclExportedVariable& variables) {
  TransferSignature(archive);
  TransferPublishedVariables(archive, variables);
}

void StoreModelDataMarker(Archive& archive) {
  TransferSignature(archive);
  std::uint16_t marker = kModelDataMarker;
  TransferU16(archive, marker);
}

void WriteModelDataFile(const char* path, casedata::CExcclExportedVariable& variables) {
  LockedFile file(path, LockedFile::Access::kWrite);
  Archive archive = Archive::StoreToFile(file);
  TransferModelData(archive, variables);
  archive.Finish();
}

void ReadModelDataFile(const char* path, std::uint32_t caseVersion,
                       casedata::CExcclExportedVariable& variables) {
  LockedFile file(path, LockedFile::Access::kRead);
  Archive archive = Archive::LoadFromFile(file);
  archive.SetVersion(caseVersion);
  TransferModelData(archive, variables);
}

}  // namespace archive
