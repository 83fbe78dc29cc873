#include "automation/excel_session.h"

#include <array>
#include <cstdarg>
#include <utility>
#include <vector>

#include "automation/cell_address.h"
#include "com/class_registry.h"
#include "com/error.h"
#include "com/variants/bstr.h"
#include "platform/files.h"
#include "text/ascii.h"
#include "text/message_format.h"

namespace automation {
namespace {

using com::Variant;

constexpr std::int32_t kLcid = 0;

excel::RunArguments MissingArguments() {
  excel::RunArguments arguments;
  arguments.fill(Variant::Missing());
  return arguments;
}

}  // namespace

outcome::Error Failure(const char* fmt, ...) {
  std::array<char, kMessageSize> text{};
  va_list args;
  va_start(args, fmt);
  text::PrintMessageV(text.data(), text.size(), fmt, args);
  va_end(args);
  return outcome::Error::Failed(text.data());
}

int PrintFailure(const outcome::Error& error, Message message) {
  if (!error) return 0;
  text::PrintMessage(message.data(), message.size(), "%s", error.Message().c_str());
  return 1;
}

bool WorkbookGone(CExcExcelObj& session) {
  return session.HasWorkbook() && !session.IsAlive();
}

std::string WordsIfWorkbookGone(CExcExcelObj& session, const std::string& why) {
  return WorkbookGone(session) ? ": " + why : std::string();
}

int CExcExcelObj::RunMacroArgs(const com::Variant&, const excel::RunArguments&) {
  return 0;
}

std::optional<outcome::Error> CExcExcelObj::RunMacroAfterWriting(std::span<const excel::CellWrite>,
                                                                 const std::string&, std::int32_t,
                                                                 const std::string*) {
  return std::nullopt;
}

outcome::Error CExcExcelSession::StartApplication() {
  const com::ClassRegistry& registry = com::ClassRegistry::Instance();
  com::Clsid clsid;
  com::Ptr<com::Unknown> object;
  std::string reason;
  com::HRESULT hr = registry.ClsidFromProgId(progId_, &clsid);
  if (com::SUCCEEDED(hr)) hr = registry.CreateInstance(clsid, &object, &reason);
  if (com::SUCCEEDED(hr)) {
    application_ = com::TryQueryInterface<excel::Application>(object);
    if (!application_) hr = com::E_NOINTERFACE;
  }
  if (com::FAILED(hr)) {
    const bool notInstalled = hr == com::CO_E_CLASSSTRING || hr == com::REGDB_E_CLASSNOTREG;
    // The code stays first, where a reader of the old form finds it; the
    // reason after it tells the user what went wrong.
    if (reason.empty()) reason = com::Error(hr).ErrorMessage();
    return outcome::Error::Failed(text::FormatString("Failed to create Excel (%x: %s)",
                                                     static_cast<unsigned>(hr), reason.c_str()),
                                  notInstalled ? kNotInstalled : outcome::kFailed);
  }
  try {
    application_->PutWindowState(kLcid, excel::kWindowMinimized);
  } catch (const com::Error& error) {
    return outcome::Error::Failed(error.ErrorMessage());
  }
  return outcome::Error::Success();
}

outcome::Expected<std::unique_ptr<CExcExcelObj>> CExcExcelSession::Start(
    std::unique_ptr<CExcExcelSession> session) {
  outcome::Error error = session->StartApplication();
  if (!error) return std::unique_ptr<CExcExcelObj>(std::move(session));
  session->application_.Reset();
  session->worksheet_.Reset();
  session->workbook_.Reset();
  return error;
}

void CExcExcelSession::SetWorkbook(com::Ptr<excel::Workbook> workbook) {
  // A worksheet never outlives the workbook it belongs to.
  worksheet_.Reset();
  workbook_ = std::move(workbook);
}

com::Ptr<excel::Workbook> CExcExcelSession::OpenFile(const std::string& path) {
  const std::vector<Variant> optional(openOptionalCount_, Variant::Missing());
  return application_->GetWorkbooks()->Open(com::Bstr::FromUtf8(path), optional, kLcid);
}

com::Ptr<excel::Worksheet> CExcExcelSession::WorksheetNamed(const std::string& name) {
  return com::TryQueryInterface<excel::Worksheet>(
      workbook_->GetSheets()->GetItem(Variant::Text(name)));
}

void CExcExcelSession::SetVisible(bool visible) {
  try {
    application_->PutVisible(kLcid, visible ? com::VARIANT_TRUE : com::VARIANT_FALSE);
  } catch (const com::Error&) {
  }
}

outcome::Error CExcExcelSession::NewWorkbook() {
  try {
    SetWorkbook(application_->GetWorkbooks()->Add(Variant::Missing(), kLcid));
    return outcome::Error::Success();
  } catch (const com::Error& error) {
    return Failure("Failed to create new workbook in Excel (%s)", error.ErrorMessage().c_str());
  }
}

outcome::Error CExcExcelSession::OpenWorkbookWithAddIns(const std::string& path,
                                                        const std::vector<std::string>& addIns) {
  try {
    for (const std::string& addIn : addIns) {
      if (!platform::FileExists(addIn)) continue;
      SetWorkbook(OpenFile(addIn));
      workbook_->RunAutoMacros(excel::kAutoOpen, kLcid);
    }
    SetWorkbook(OpenFile(path));
    return outcome::Error::Success();
  } catch (const com::Error& error) {
    return Failure("Failed to open %s in Excel (%s)", path.c_str(), error.ErrorMessage().c_str());
  }
}

outcome::Error CExcExcelSession::OpenWorkbook(const std::string& path) {
  try {
    SetWorkbook(OpenFile(path));
    return outcome::Error::Success();
  } catch (const com::Error& error) {
    return Failure("Failed to open %s in Excel (%s)", path.c_str(), error.ErrorMessage().c_str());
  }
}

outcome::Expected<std::vector<std::string>> CExcExcelSession::GetSheetNames() {
  try {
    workbook_->Activate(kLcid);
    const com::Ptr<excel::Sheets> sheets = workbook_->GetSheets();
    std::vector<std::string> list;
    if (const std::optional<std::vector<com::Bstr>> names = sheets->Names()) {
      for (const com::Bstr& name : *names)
        list.push_back(name.ToUtf8());
      if (list.empty()) return Failure("No sheets defined for workbook in Excel");
      return list;
    }
    const std::int32_t count = sheets->GetCount();
    for (std::int32_t i = 1; i <= count; ++i) {
      // A sheet that is not a worksheet gives an empty handle, and reading
      // its name fails the whole listing.
      const auto sheet = com::TryQueryInterface<excel::Worksheet>(sheets->GetItem(Variant::Int(i)));
      list.push_back(sheet->GetName().ToUtf8());
    }
    if (list.empty()) return Failure("No sheets defined for workbook in Excel");
    return list;
  } catch (const com::Error& error) {
    return Failure("Failed to get sheet names for workbook in Excel (%s)",
                   error.ErrorMessage().c_str());
  }
}

outcome::Error CExcExcelSession::SaveWorkbook() {
  try {
    workbook_->Save(kLcid);
    return outcome::Error::Success();
  } catch (const com::Error& error) {
    return Failure("Failed to save: %s", error.ErrorMessage().c_str());
  }
}

outcome::Error CExcExcelSession::SaveWorkbookCopyAs(const std::string& path) {
  try {
    workbook_->SaveCopyAs(Variant::Text(path), kLcid);
    return outcome::Error::Success();
  } catch (const com::Error& error) {
    return Failure("Failed to save: %s", error.ErrorMessage().c_str());
  }
}

bool CExcExcelSession::CloseWorkbook() {
  if (!workbook_) return true;
  try {
    workbook_->Close(Variant::Bool(false), Variant::Missing(), Variant::Missing(), kLcid);
    SetWorkbook(nullptr);
    return true;
  } catch (const com::Error&) {
    return false;
  }
}

void CExcExcelSession::Quit() {
  if (!application_) return;
  try {
    application_->Quit();
    application_.Reset();
  } catch (const com::Error&) {
  }
}

outcome::Error CExcExcelSession::SelectWorksheet(const std::string& name) {
  try {
    worksheet_ = WorksheetNamed(name);
    return outcome::Error::Success();
  } catch (const com::Error& error) {
    return Failure("Unable to get worksheet %s (%s)", name.c_str(), error.ErrorMessage().c_str());
  }
}

void CExcExcelSession::ReleaseWorksheet() {
  worksheet_.Reset();
}

void CExcExcelSession::ReleaseWorkbook() {
  SetWorkbook(nullptr);
}

outcome::Error CExcExcelSession::AddWorksheet(const std::string& name) {
  try {
    const com::Ptr<com::Unknown> added = workbook_->GetWorksheets()->Add(
        Variant::Missing(), Variant::Missing(), Variant::Missing(), Variant::Missing(), kLcid);
    worksheet_ = com::TryQueryInterface<excel::Worksheet>(added);
    if (!text::IsBlank(name)) worksheet_->PutName(com::Bstr::FromUtf8(name));
    return outcome::Error::Success();
  } catch (const com::Error& error) {
    return Failure("Failed to create new worksheet (%s)", error.ErrorMessage().c_str());
  }
}

std::string CExcExcelSession::GetWorksheetName() {
  try {
    return worksheet_->GetName().ToUtf8();
  } catch (const com::Error&) {
    return {};
  }
}

com::Variant CExcExcelSession::GetCellValue(const std::string& address) {
  if (!worksheet_) return Variant::Text(std::string_view());
  const com::Ptr<excel::Range> range =
      worksheet_->GetRange(Variant::Text(address), Variant::Missing());
  return range->Invoke(excel::kDispidValue2, excel::InvokeKind::kPropertyGet, {});
}

int CExcExcelSession::SetCellValue(const std::string& address, const com::Variant& value) {
  if (!worksheet_) return 1;
  const com::Ptr<excel::Range> range =
      worksheet_->GetRange(Variant::Text(address), Variant::Missing());
  range->Invoke(excel::kDispidValue2, excel::InvokeKind::kPropertyPut, {&value, 1});
  return 0;
}

int CExcExcelSession::SetRangeValue(const std::string& first, const std::string& last,
                                    const com::Variant& value) {
  if (!worksheet_) return 1;
  const com::Ptr<excel::Range> range =
      worksheet_->GetRange(Variant::Text(first), Variant::Text(last));
  range->Invoke(excel::kDispidValue2, excel::InvokeKind::kPropertyPut, {&value, 1});
  return 0;
}

int CExcExcelSession::SetNumberFormat(const std::string& address, const com::Variant& format) {
  if (!worksheet_) return 1;
  const com::Ptr<excel::Range> range =
      worksheet_->GetRange(Variant::Text(address), Variant::Missing());
  range->Invoke(excel::kDispidNumberFormat, excel::InvokeKind::kPropertyPut, {&format, 1});
  return 0;
}

outcome::Error CExcExcelSession::ActivateWorksheet(const std::string& name) {
  try {
    workbook_->Activate(kLcid);
    WorksheetNamed(name)->Activate(kLcid);
    return outcome::Error::Success();
  } catch (const com::Error&) {
    // The host's message names the sheet alone.
    return Failure("Failed to switch to %s", name.c_str());
  }
}

outcome::Error CExcExcelSession::RunWithArguments(const std::string& macro,
                                                  excel::RunArguments arguments) {
  try {
    workbook_->Activate(kLcid);
    workbook_->GetApplication()->Run(Variant::Text(macro), arguments);
    return outcome::Error::Success();
  } catch (const com::Error& error) {
    return Failure("Unable to run macro %s (%s)", macro.c_str(), error.ErrorMessage().c_str());
  }
}

outcome::Error CExcExcelSession::RunMacroIntText(const std::string& macro, std::int32_t value,
                                                 const std::string& text) {
  try {
    excel::RunArguments arguments = MissingArguments();
    arguments[0] = Variant::Int4(value);
    arguments[1] = Variant::Text(text);
    return RunWithArguments(macro, std::move(arguments));
  } catch (const com::Error& error) {  // the text could not be allocated
    return Failure("Unable to run macro %s (%s)", macro.c_str(), error.ErrorMessage().c_str());
  }
}

outcome::Error CExcExcelSession::RunMacroInt(const std::string& macro, std::int32_t value) {
  excel::RunArguments arguments = MissingArguments();
  arguments[0] = Variant::Int4(value);
  return RunWithArguments(macro, std::move(arguments));
}

outcome::Error CExcExcelSession::RunMacro(const std::string& macro) {
  return RunWithArguments(macro, MissingArguments());
}

std::optional<outcome::Error> CExcExcelSession::RunMacroAfterWriting(
    std::span<const excel::CellWrite> writes, const std::string& macro, std::int32_t value,
    const std::string* text) {
  try {
    excel::RunArguments arguments = MissingArguments();
    arguments[0] = Variant::Int4(value);
    if (text != nullptr) arguments[1] = Variant::Text(*text);
    workbook_->Activate(kLcid);
    if (!workbook_->GetApplication()->RunAfterWriting(writes, Variant::Text(macro), arguments))
      return std::nullopt;
    return outcome::Error::Success();
  } catch (const com::Error& error) {
    // With the office gone the writes fail first, as their own.
    if (WorkbookGone(*this)) return std::nullopt;
    return Failure("Unable to run macro %s (%s)", macro.c_str(), error.ErrorMessage().c_str());
  }
}

int CExcExcelSession::RunMacroArgs(const com::Variant& macro,
                                   const excel::RunArguments& arguments) {
  try {
    workbook_->Activate(kLcid);
    workbook_->GetApplication()->Run(macro, arguments);
    return 0;
  } catch (const com::Error&) {
    return 1;
  }
}

bool CExcExcelSession::IsUpdateLocked() {
  return application_->GetScreenUpdating(kLcid) == com::VARIANT_FALSE;
}

int CExcExcelSession::LockUpdate(bool lock) {
  try {
    application_->PutScreenUpdating(kLcid, lock ? com::VARIANT_FALSE : com::VARIANT_TRUE);
    return 0;
  } catch (const com::Error&) {
    return 1;
  }
}

bool CExcExcelSession::IsAlive() {
  try {
    workbook_->GetSheets();
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

bool CExcExcelSession::HasWorkbook() {
  return static_cast<bool>(workbook_);
}

excel::Workbook* CExcExcelSession::GetWorkbook() {
  return workbook_.Get();
}

CExcExcel9Obj::CExcExcel9Obj()
    : CExcExcelSession("Excel.Application.9", excel::kOpenOptionalCountOld) {}

CExcExcel10Obj::CExcExcel10Obj()
    : CExcExcelSession("Excel.Application.10", excel::kOpenOptionalCountNew) {}

CExcExcel11Obj::CExcExcel11Obj(int version)
    : CExcExcelSession(text::FormatString("Excel.Application.%d", version),
                       excel::kOpenOptionalCountNew) {}

outcome::Expected<std::unique_ptr<CExcExcelObj>> CreateExcelSession() {
  std::vector<std::unique_ptr<CExcExcelSession>> versions;
  for (int version = 16; version >= 11; --version)
    versions.push_back(std::make_unique<CExcExcel11Obj>(version));
  versions.push_back(std::make_unique<CExcExcel10Obj>());
  versions.push_back(std::make_unique<CExcExcel9Obj>());
  // The first version that is installed but failed to start says why; a
  // version that is not installed at all says nothing worth reporting.
  std::string installedFailure;
  std::string last;
  for (std::unique_ptr<CExcExcelSession>& version : versions) {
    outcome::Expected<std::unique_ptr<CExcExcelObj>> session =
        CExcExcelSession::Start(std::move(version));
    if (session) return session;
    const outcome::Error& error = session.GetError();
    last = error.Message();
    if (installedFailure.empty() && error.Result() != kNotInstalled) installedFailure = last;
  }
  std::string reason = !installedFailure.empty() ? installedFailure : last;
  if (reason.empty()) reason = "no spreadsheet application is set up to start";
  return outcome::Error::Failed(
      text::FormatString("Failed to create Excel application: %s", reason.c_str()));
}

}  // namespace automation
