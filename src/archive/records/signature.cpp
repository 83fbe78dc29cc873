#include "archive/records/signature.h"

#include "archive/primitives.h"

namespace archive {

void TransferSignature(Archive& archive) {
  std::uint32_t first = kSignatureFirst;
  std::uint32_t second = kSignatureSecond;
  TransferU32(archive, first);
  TransferU32(archive, second);
  if (archive.Failed()) return;
  if (first != kSignatureFirst || second != kSignatureSecond) {
    archive.Fail(ArchiveError::Kind::kFormat, "the archive does not start with its signature");
  }
}

}  // namespace archive
