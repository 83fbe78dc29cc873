// Not served yet: answers as a failure so a host never takes it for success.
#include "driver/message.h"
#include "model/model.h"

namespace model {
std::int32_t CExcModel::SetupOptimisation(void* a0, std::int32_t a1, ExtStatusRecord* status) {
  return CExtInterface::SetupOptimisation(a0, a1, status);
}

std::int32_t CExcModel::CheckIntegerControls(void* a0, ExtStatusRecord* status) {
  return CExtInterface::CheckIntegerControls(a0, status);
}

std::int32_t CExcModel::GetObjectiveFunction(void* a0, ExtStatusRecord* status) {
  return CExtInterface::GetObjectiveFunction(a0, status);
}

std::int32_t CExcModel::GetConstraints(void* a0, ExtStatusRecord* status) {
  return CExtInterface::GetConstraints(a0, status);
}

std::int32_t CExcModel::SetControls(void* a0, ExtStatusRecord* status) {
  return CExtInterface::SetControls(a0, status);
}

std::int32_t CExcModel::GetControls(void* a0, ExtStatusRecord* status) {
  return CExtInterface::GetControls(a0, status);
}

std::int32_t CExcModel::SetIntegerControls(void* a0, ExtStatusRecord* status) {
  return CExtInterface::SetIntegerControls(a0, status);
}

std::int32_t CExcModel::GetIntegerControls(void* a0, ExtStatusRecord* status) {
  return CExtInterface::GetIntegerControls(a0, status);
}

std::int32_t CExcModel::ClearOptimisation(std::int32_t a0, ExtStatusRecord* status) {
  return CExtInterface::ClearOptimisation(a0, status);
}

}  // namespace model
