// Not served yet: answers as a failure so a host never takes it for success.
#include "driver/message.h"
#include "model/model.h"

namespace model {
std::int32_t CExcModel::EditPublishedVariables(ExtWindow a0, ExtStatusRecord* status) {
  return CExtInterface::EditPublishedVariables(a0, status);
}

std::int32_t CExcModel::EvalPublishedVariables(void* a0, ExtStatusRecord* status) {
  return CExtInterface::EvalPublishedVariables(a0, status);
}

std::int32_t CExcModel::EvalPublishedVariables2(void* a0, ExtStatusRecord* status) {
  return CExtInterface::EvalPublishedVariables2(a0, status);
}

std::int32_t CExcModel::AddPublishedVariable(void* a0, ExtStatusRecord* status) {
  return CExtInterface::AddPublishedVariable(a0, status);
}

std::int32_t CExcModel::DelPublishedVariable(std::int32_t a0, ExtStatusRecord* status) {
  return CExtInterface::DelPublishedVariable(a0, status);
}

std::int32_t CExcModel::GetNextPublishedVariable(void* a0) {
  return CExtInterface::GetNextPublishedVariable(a0);
}

}  // namespace model
