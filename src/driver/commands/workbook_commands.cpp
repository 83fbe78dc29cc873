#include "driver/commands/workbook_commands.h"

#include <optional>
#include <string>

#include "driver/commands/case_commands.h"
#include "host/host_record.h"
#include "model/model.h"

namespace driver::edge {
namespace {

const char* Text(void* arg) {
  return static_cast<const char*>(arg);
}

}  // namespace

std::int32_t ReloadWorkbook(M m, A a) {
  return Answer(m.ReloadWorkbook(), a);
}

// The changed flag is written only when the dialog ended with OK.
std::int32_t EditCase(M m, A a) {
  outcome::Expected<bool> changed = m.EditCase(a.window);
  if (!changed) return Answer(changed.TakeError(), a);
  host::HostRecord flag(a.arg, sizeof(std::uint32_t));
  static_cast<void>(flag.WriteU32(0, *changed ? 1 : 0));
  return EXT_RESULT_OK;
}

std::int32_t SaveCaseWorkbook(M m, A a) {
  return Answer(m.SaveCaseWorkbook(host::ReadHostText(Text(a.arg))), a);
}

std::int32_t ChangeFileDirectory(M m, A a) {
  m.ChangeFileDirectory(host::ReadHostText(Text(a.arg)));
  return EXT_RESULT_OK;
}

std::int32_t OpenCaseWorkbook(M m, A a) {
  return Answer(m.OpenCaseWorkbook(), a);
}

// A record with no room for the pointer fails as a missing workbook does.
std::int32_t GetDispatch(M m, A a) {
  outcome::Expected<excel::Workbook*> workbook = m.GetDispatch();
  if (!workbook) return Answer(workbook.TakeError(), a);
  host::HostRecord out(a.arg, sizeof(void*));
  if (!out.WritePointer(0, *workbook))
    return Answer(outcome::Error::Failed(model::kNoDispatchMessage), a);
  return EXT_RESULT_OK;
}

// The label fills the host's buffer of iarg bytes, without its NUL when it
// is as long or longer; no buffer or no room: nothing is asked.
std::int32_t GetFileLabel(M m, A a) {
  if (a.arg == nullptr || a.iarg <= 0) return EXT_RESULT_OK;
  const std::optional<std::string> label = m.GetFileLabel();
  if (!label) return EXT_RESULT_OK;
  const auto size = static_cast<std::size_t>(a.iarg);
  host::HostRecord buffer(a.arg, size);
  static_cast<void>(buffer.WriteText(0, size, *label, host::TextFit::kMayFill));
  return EXT_RESULT_OK;
}

std::int32_t StartApplication(M m, A a) {
  return Answer(m.StartApplication(), a);
}

}  // namespace driver::edge
