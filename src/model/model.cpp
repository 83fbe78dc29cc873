#include "model/model.h"

#include <cstring>
#include <utility>

#include "automation/cell_address.h"
#include "automation/spreadsheet_lock.h"
#include "com/error.h"
#include "model/dialogs.h"
#include "model/file_paths.h"
#include "text/ascii.h"
#include "text/message_format.h"
#include "xml/equipment.h"

namespace model {
namespace {

constexpr char kNoFileLabel[] = "<No file>";
constexpr char kFileDescription[] = "Excel spreadsheet file";
constexpr char kModuleApplication[] = "Excel";
constexpr char kModuleDescription[] = "Excel spreadsheet";

// The case's plug-ins and the driver-wide ones, in that order. Blank entries
// name no file and are left out.
std::vector<std::string> AddInList(const std::string& casePlugIns,
                                   const std::string& driverPlugIns) {
  const std::string joined =
      text::FormatString("%s;%s", casePlugIns.c_str(), driverPlugIns.c_str());
  std::vector<std::string> paths;
  std::size_t start = 0;
  while (start <= joined.size()) {
    std::size_t end = joined.find(';', start);
    if (end == std::string::npos) end = joined.size();
    const std::string path = joined.substr(start, end - start);
    if (!text::IsBlank(path)) paths.push_back(path);
    start = end + 1;
  }
  return paths;
}

}  // namespace

CExcModel::CExcModel(PlugInSource driverPlugIns) : driverPlugIns_(std::move(driverPlugIns)) {}

CExcModel::~CExcModel() {
  // Destruction order: the sheet names and result texts, then the members
  // from the published variables back to the case details and the label,
  // last of all the server object, which closes the workbook and quits the
  // application (the members are declared in the reverse of that order).
  sheetNames.clear();
  for (std::string& text : resultTexts)
    text = std::string();
}

void CExcModel::RefreshSheetNames() {
  sheetNames.clear();
  automation::CExcExcelObj* session = Session();
  if (session == nullptr || session->GetWorkbook() == nullptr) return;
  try {
    outcome::Expected<std::vector<std::string>> names = session->GetSheetNames();
    if (names) sheetNames = std::move(*names);
  } catch (const com::Error&) {
    // The dialogs then offer no sheet names; the failure is not the host's.
  }
}

std::int32_t CExcModel::SetInterfaceVisible(bool show) {
  const automation::SpreadsheetLock lock;
  automation::CExcExcelObj* session = Session();
  if (caseDetails.hideInterface && session != nullptr) session->SetVisible(show);
  return 0;
}

const char* CExcModel::HandOutResultText(std::string text) {
  std::string& slot = resultTexts[static_cast<std::size_t>(resultTextsIndex)];
  slot = std::move(text);
  resultTextsIndex = (resultTextsIndex + 1) % static_cast<std::int32_t>(kResultTextCount);
  return slot.c_str();
}

outcome::Expected<bool> CExcModel::EditCase(values::WindowHandle window) {
  if (Session() == nullptr) return outcome::Error::Failed(automation::kNoConnectionMessage);
  const casedata::CExcCaseDetails before(caseDetails);
  outcome::Expected<std::shared_ptr<Dialogs>> dialogs = DialogsToShow();
  if (!dialogs) return outcome::Error::Failed(dialogs.GetError().Message(), outcome::kNone);
  const CaseDialogKind kind = dialogKind < 1 ? CaseDialogKind::kFull : CaseDialogKind::kSimpleFile;
  const DialogResult result = (*dialogs)->EditCase(kind, *this, caseDetails, window);
  if (result != DialogResult::kOk) {
    // A cancelled dialog leaves the case as it was.
    caseDetails = before;
    return outcome::Error::Failed(std::string(), outcome::kNone);
  }
  caseDetails.SyncStreamCounts();
  // The workbook to open is the same one when both names lead to one file
  // (names differing only in case are different files here).
  const bool unchanged = caseDetails.workbookOpen != 0 &&
                         automation::SameFile(caseDetails.fileName, before.fileName) &&
                         caseDetails.inputCount == before.inputCount &&
                         caseDetails.outputCount == before.outputCount;
  return !unchanged;
}

std::int32_t CExcModel::QueryNumber(std::int32_t /*value*/) {
  return -999;
}

outcome::Error CExcModel::SaveCaseWorkbook(const std::string& copyName) {
  const automation::SpreadsheetLock lock;
  automation::CExcExcelObj* session = Session();
  if (session == nullptr) return outcome::Error::Failed(automation::kNoConnectionMessage);
  const auto saveCopy = [session](const std::string& name) {
    return session->SaveWorkbookCopyAs(name);
  };
  if (!text::IsBlank(copyName)) return saveCopy(copyName);
  // A workbook created because its file did not exist has no name of its own
  // in the application; saving it in place would write it under the
  // application's default name, so it goes to the case's file instead.
  const std::string opened = server.FileName();
  if (!server.FileExists() && !opened.empty()) return saveCopy(opened);
  return session->SaveWorkbook();
}

std::int32_t CExcModel::Reserved08() {
  return 0;
}

std::int32_t CExcModel::Reserved11() {
  return 0;
}

std::int32_t CExcModel::Reserved12() {
  return 0;
}

std::int32_t CExcModel::Reserved13() {
  return 0;
}

void CExcModel::SetFileName(std::string path) {
  caseDetails.fileName = std::move(path);
}

outcome::Error CExcModel::OpenCaseWorkbook() {
  if (Session() == nullptr) return outcome::Error::Failed(automation::kNoConnectionMessage);
  const automation::SpreadsheetLock lock;
  const std::vector<std::string> addIns =
      AddInList(caseDetails.plugIns, driverPlugIns_ ? driverPlugIns_() : std::string());
  outcome::Error error = automation::AsError([&](automation::Message message) {
    return server.Open(caseDetails.fileName, addIns, false, message);
  });
  if (!error) caseDetails.workbookOpen = 1;
  return error;
}

outcome::Expected<excel::Workbook*> CExcModel::GetDispatch() {
  automation::CExcExcelObj* session = Session();
  excel::Workbook* workbook = session != nullptr ? session->GetWorkbook() : nullptr;
  if (workbook == nullptr) return outcome::Error::Failed(kNoDispatchMessage);
  return workbook;
}

outcome::Error CExcModel::ReloadWorkbook() {
  const automation::SpreadsheetLock lock;
  return automation::AsError([&](automation::Message message) {
    return server.Open(caseDetails.fileName, {}, true, message);
  });
}

void CExcModel::ChangeFileDirectory(const std::string& directory) {
  const std::optional<std::string> moved = PathInDirectory(caseDetails.fileName, directory);
  if (moved && IsExistingFile(*moved)) caseDetails.fileName = *moved;
}

void CExcModel::SetModelDataFile(const char* path, bool /*flag*/) {
  modelDataFile = path;
}

std::optional<std::string> CExcModel::GetFileLabel() {
  return caseDetails.fileName.empty() ? std::string(kNoFileLabel) : caseDetails.fileName;
}

outcome::Error CExcModel::StartApplication() {
  outcome::Error opened = OpenCaseWorkbook();
  RefreshSheetNames();
  return opened;
}

std::int32_t CExcModel::StopApplication() {
  const std::int32_t closed = server.Close();
  caseDetails.workbookOpen = 0;
  sheetNames.clear();
  return closed;
}

std::int32_t CExcModel::DescribeFiles(xml::EquipmentDescription* description, std::uint8_t /*flag*/,
                                      const std::vector<std::string>& /*texts*/) {
  if (description == nullptr) return 1;
  description->fileName = caseDetails.fileName;
  xml::CXmlModuleData application;
  application.application = kModuleApplication;
  application.alias = label;
  application.isLocal = true;
  application.description = kModuleDescription;
  xml::CXmlModule module;
  module.fileName = caseDetails.fileName;
  module.data.push_back(std::move(application));
  description->modules.push_back(std::move(module));
  return 0;
}

std::int32_t CExcModel::DeclineQuery106() {
  return -1;
}

std::int32_t CExcModel::DeclineQuery107(std::int32_t /*value*/) {
  return -1;
}

// The workbook is the case's only file; any index up to 0 names it.
std::optional<casedata::FileDescription> CExcModel::GetFileDescription(std::int32_t index) {
  if (index > 0 || caseDetails.fileName.empty()) return std::nullopt;
  return casedata::FileDescription{caseDetails.fileName, kFileDescription};
}

}  // namespace model
