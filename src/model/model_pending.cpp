// Operations of the model that belong to the run-time and case-data
// subsystems and are not served by this build yet. Each answers as a
// failure with a message, so that a host never mistakes it for success.
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

std::int32_t CExcModel::OnStartOfRun(void* /*arg*/, ExtStatusRecord* status) {
  return NotServed(status, "OnStartOfRun");
}

std::int32_t CExcModel::OnEndOfRun() {
  return 1;
}

std::int32_t CExcModel::WriteCaseData(void* /*buffer*/, std::uint32_t /*size*/,
                                      ExtStatusRecord* status) {
  return NotServed(status, "WriteCaseData");
}

std::int32_t CExcModel::ReadCaseData(void* /*buffer*/, ExtStatusRecord* status) {
  return NotServed(status, "ReadCaseData");
}

}  // namespace model
