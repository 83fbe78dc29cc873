// Not served yet: answers as a failure so a host never takes it for success.
#include "driver/message.h"
#include "model/model.h"

namespace model {
namespace {

std::int32_t NotServed(ExtStatusRecord* status, const char* operation) {
  driver::StatusRecord record(status);
  driver::WriteStatus(record, "The Excel driver cannot serve %s yet", operation);
  return 1;
}

}  // namespace

std::int32_t CExcModel::WriteCaseData(void*, std::uint32_t, ExtStatusRecord* status) {
  return NotServed(status, "WriteCaseData");
}

std::int32_t CExcModel::ReadCaseData(void*, ExtStatusRecord* status) {
  return NotServed(status, "ReadCaseData");
}

std::int32_t CExcModel::WriteModelData(void* a0, std::uint32_t a1, ExtStatusRecord* status) {
  return CExtInterface::WriteModelData(a0, a1, status);
}

std::int32_t CExcModel::ReadModelData(void* a0, std::uint32_t a1, ExtStatusRecord* status) {
  return CExtInterface::ReadModelData(a0, a1, status);
}

}  // namespace model
