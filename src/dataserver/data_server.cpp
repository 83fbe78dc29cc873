#include "dataserver/data_server.h"

#include <string>

#include "automation/excel_session.h"
#include "dataserver/commands.h"
#include "dataserver/tag_objects.h"
#include "host/host_record.h"
#include "host/message.h"
#include "model/model.h"

namespace dataserver {
namespace {

std::int32_t Answer(const DataServerRequest& request, bool handled, ExtStatusRecord* status) {
  if (request.error.empty()) return handled ? EXT_RESULT_OK : EXT_RESULT_FAILED;
  host::StatusRecord record(status);
  return host::Fail(record, "%s", request.error.c_str());
}

std::int32_t Failed(ExtStatusRecord* status, const char* message) {
  host::StatusRecord record(status);
  return host::Fail(record, "%s", message);
}

using Arguments = CExtDataServerCmdArgumentCollection;

std::int32_t RunMacro(model::CExcModel& model, const Arguments& arguments,
                      ExtStatusRecord* status) {
  return model.Session()->RunMacro(arguments[0].text, host::StatusText(status)) > 0 ? 1 : 0;
}

std::int32_t SwitchWorksheet(model::CExcModel& model, const Arguments& arguments,
                             ExtStatusRecord* status) {
  return model.Session()->ActivateWorksheet(arguments[0].text, host::StatusText(status)) > 0 ? 1
                                                                                             : 0;
}

std::int32_t Update(model::CExcModel& model, const Arguments&, ExtStatusRecord* status) {
  if (model.Session()->LockUpdate(false) >= 1) return Failed(status, kUpdateFailedMessage);
  return 0;
}

std::int32_t OpenFile(model::CExcModel& model, const Arguments& arguments,
                      ExtStatusRecord* status) {
  // The previous name comes back unless the open succeeds, thrown errors
  // included.
  struct NameScope {
    model::CExcModel& model;
    std::string previous;
    bool opened = false;
    ~NameScope() {
      if (!opened) model.caseDetails.fileName = previous;
    }
  } scope{model, model.caseDetails.fileName};
  model.caseDetails.fileName = arguments[0].text;
  unsigned char openRecord[EXT_OPEN_RECORD_SIZE] = {};
  host::HostRecord record(openRecord, sizeof openRecord);
  (void)record.WriteU32(EXT_OPEN_RECORD_FLAG_OFFSET, 1);
  if (model.OpenCaseWorkbook(openRecord, status) != 0) return 1;
  scope.opened = true;
  // The Sheet branch answers from the cached names.
  model.RefreshSheetNames();
  return 0;
}

std::int32_t SaveFile(model::CExcModel& model, const Arguments&, ExtStatusRecord* status) {
  // As the model saves in place: a workbook made new for a missing file goes
  // to that file, never to the application's default name.
  return model.SaveCaseWorkbook(0, nullptr, status) != 0 ? 1 : 0;
}

std::int32_t SaveAsFile(model::CExcModel& model, const Arguments& arguments,
                        ExtStatusRecord* status) {
  return model.Session()->SaveWorkbookCopyAs(arguments[0].text, host::StatusText(status)) > 0 ? 1
                                                                                              : 0;
}

struct Command {
  const char* name;
  std::size_t minCount;
  std::size_t maxCount;
  std::int32_t (*run)(model::CExcModel&, const Arguments&, ExtStatusRecord*);
};

// Tried in this order; the first whose name matches decides.
constexpr Command kCommands[] = {
    {"RunMacro", 1, 1, RunMacro}, {"SwitchWorksheet", 1, 1, SwitchWorksheet},
    {"Update", 0, 0, Update},     {"OpenFile", 1, 1, OpenFile},
    {"SaveFile", 0, 0, SaveFile}, {"SaveAsFile", 1, 1, SaveAsFile},
};

}  // namespace

bool ServeTag(DataServerRequest& request, model::CExcModel& model) {
  if (!request.MatchElement(kRootElement)) return false;
  const std::size_t start = request.position;
  CExcCaseDetailsDataServer caseDetails;
  if (caseDetails.Process(request, model)) return true;
  request.position = start;
  if (ProcessNextEvent(request, model)) return true;
  request.position = start;
  {
    CExcSheetDataServerList sheets(model.sheetNames);
    if (sheets.ProcessList(request, false, model, {})) return true;
  }
  request.position = start;
  CExcServerOptions options;
  return options.Process(request, model);
}

std::int32_t GetDataServerValue(model::CExcModel& model, void* readRecord,
                                ExtStatusRecord* status) {
  if (readRecord == nullptr) return EXT_RESULT_FAILED;
  host::HostRecord record(readRecord, EXT_DS_READ_RECORD_SIZE);
  std::uint32_t size = 0;
  if (!record.ReadU32(EXT_DS_READ_SIZE_OFFSET, size) || size != EXT_DS_READ_RECORD_SIZE) {
    return Failed(status, kNotCompatibleMessage);
  }
  (void)record.Fill(EXT_DS_READ_RESULT_OFFSET, EXT_DS_READ_RESULT_SIZE, 0);
  void* tag = nullptr;
  if (!record.ReadPointer(EXT_DS_READ_TAG_POINTER_OFFSET, tag) || tag == nullptr) {
    return EXT_RESULT_FAILED;
  }
  DataServerRequest request(host::ReadHostText(static_cast<const char*>(tag)),
                            DataServerRequest::kRead);
  const bool handled = ServeTag(request, model);
  (void)record.WriteText(EXT_DS_READ_RESULT_OFFSET, EXT_DS_READ_RESULT_SIZE, request.value);
  return Answer(request, handled, status);
}

std::int32_t SetDataServerValue(model::CExcModel& model, const void* writeRecord,
                                ExtStatusRecord* status) {
  const host::ConstHostRecord record(writeRecord, EXT_DS_WRITE_RECORD_MIN_SIZE);
  void* tag = nullptr;
  void* value = nullptr;
  if (!record.ReadPointer(EXT_DS_WRITE_TAG_POINTER_OFFSET, tag) ||
      !record.ReadPointer(EXT_DS_WRITE_VALUE_POINTER_OFFSET, value) || tag == nullptr ||
      value == nullptr) {
    return EXT_RESULT_FAILED;
  }
  DataServerRequest request(host::ReadHostText(static_cast<const char*>(tag)),
                            DataServerRequest::kWrite,
                            host::ReadHostText(static_cast<const char*>(value)));
  const bool handled = ServeTag(request, model);
  return Answer(request, handled, status);
}

std::int32_t ExecuteCommand(model::CExcModel& model, const char* command, ExtStatusRecord* status) {
  if (command == nullptr) return EXT_RESULT_FAILED;
  DataServerRequest request(host::ReadHostText(command), DataServerRequest::kCommand);
  if (!request.MatchElement(kRootElement)) return Failed(status, kInvalidPrefixMessage);
  const std::size_t start = request.position;
  Arguments arguments;
  for (const Command& candidate : kCommands) {
    request.position = start;
    const int parsed =
        ParseCommand(request, candidate.name, arguments, candidate.minCount, candidate.maxCount);
    if (parsed < 0) continue;
    if (parsed > 0) return Answer(request, false, status);
    if (model.Session() == nullptr) return Failed(status, automation::kNoConnectionMessage);
    return candidate.run(model, arguments, status);
  }
  return EXT_RESULT_OK;
}

}  // namespace dataserver
