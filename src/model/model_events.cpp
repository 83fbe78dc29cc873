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

std::int32_t CExcModel::RunEventMacro(std::size_t, ExtStatusRecord* status) {
  return NotServed(status, "RunEventMacro");
}

std::int32_t CExcModel::OnStartOfRun(void*, ExtStatusRecord* status) {
  return NotServed(status, "OnStartOfRun");
}

std::int32_t CExcModel::SetDate(void* a0, std::int32_t a1, ExtStatusRecord* status) {
  return CExtInterface::SetDate(a0, a1, status);
}

std::int32_t CExcModel::OnPreSolve(ExtStatusRecord* status) {
  return CExtInterface::OnPreSolve(status);
}

std::int32_t CExcModel::OnPostSolve(ExtStatusRecord* status) {
  return CExtInterface::OnPostSolve(status);
}

std::int32_t CExcModel::OnPostSolve2(ExtStatusRecord* status) {
  return CExtInterface::OnPostSolve2(status);
}

// Host code 112: nothing to do.
std::int32_t CExcModel::OnEvent112(ExtStatusRecord*) {
  return 0;
}

// Host code 113: nothing to do.
std::int32_t CExcModel::OnEvent113(ExtStatusRecord*) {
  return 0;
}

std::int32_t CExcModel::OnStartOfTimestep(ExtStatusRecord* status) {
  return CExtInterface::OnStartOfTimestep(status);
}

std::int32_t CExcModel::OnEndOfTimestep(ExtStatusRecord* status) {
  return CExtInterface::OnEndOfTimestep(status);
}

std::int32_t CExcModel::OnEndOfRun() {
  return 1;
}

}  // namespace model
