#include "dataserver/data_server.h"

#include <string>
#include <utility>

#include "automation/excel_session.h"
#include "dataserver/commands.h"
#include "dataserver/tag_objects.h"
#include "model/model.h"

namespace dataserver {
namespace {

using outcome::Error;

// A handler's refusal, with its message when it gave one.
Error Answer(const DataServerRequest& request, bool handled) {
  if (!request.error.empty()) return Error::Failed(request.error);
  return handled ? Error::Success() : Error::Failed({});
}

using Arguments = CExtDataServerCmdArgumentCollection;

Error RunMacro(model::CExcModel& model, const Arguments& arguments) {
  return model.Session()->RunMacro(arguments[0].text);
}

Error SwitchWorksheet(model::CExcModel& model, const Arguments& arguments) {
  return model.Session()->ActivateWorksheet(arguments[0].text);
}

Error Update(model::CExcModel& model, const Arguments&) {
  if (model.Session()->LockUpdate(false) >= 1) return Error::Failed(kUpdateFailedMessage);
  return Error::Success();
}

Error OpenFile(model::CExcModel& model, const Arguments& arguments) {
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
  if (Error error = model.OpenCaseWorkbook()) return error;
  scope.opened = true;
  // The Sheet branch answers from the cached names.
  model.RefreshSheetNames();
  return Error::Success();
}

Error SaveFile(model::CExcModel& model, const Arguments&) {
  // As the model saves in place: a workbook made new for a missing file goes
  // to that file, never to the application's default name.
  return model.SaveCaseWorkbook({});
}

Error SaveAsFile(model::CExcModel& model, const Arguments& arguments) {
  return model.Session()->SaveWorkbookCopyAs(arguments[0].text);
}

struct Command {
  const char* name;
  std::size_t minCount;
  std::size_t maxCount;
  Error (*run)(model::CExcModel&, const Arguments&);
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

outcome::Partial<std::string> GetDataServerValue(model::CExcModel& model,
                                                 const casedata::TagRead& read) {
  DataServerRequest request(read.tag, DataServerRequest::kRead);
  const bool handled = ServeTag(request, model);
  return {std::move(request.value), Answer(request, handled)};
}

Error SetDataServerValue(model::CExcModel& model, const casedata::TagWrite& write) {
  DataServerRequest request(write.tag, DataServerRequest::kWrite, write.value);
  const bool handled = ServeTag(request, model);
  return Answer(request, handled);
}

Error ExecuteCommand(model::CExcModel& model, const casedata::CommandText& command) {
  DataServerRequest request(command.text, DataServerRequest::kCommand);
  if (!request.MatchElement(kRootElement)) return Error::Failed(kInvalidPrefixMessage);
  const std::size_t start = request.position;
  Arguments arguments;
  for (const Command& candidate : kCommands) {
    request.position = start;
    const int parsed =
        ParseCommand(request, candidate.name, arguments, candidate.minCount, candidate.maxCount);
    if (parsed < 0) continue;
    if (parsed > 0) return Answer(request, false);
    if (model.Session() == nullptr) return Error::Failed(automation::kNoConnectionMessage);
    return candidate.run(model, arguments);
  }
  return Error::Success();
}

}  // namespace dataserver
