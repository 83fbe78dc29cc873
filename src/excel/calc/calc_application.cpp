#include "excel/calc/calc_application.h"

#include <com/sun/star/document/MacroExecMode.hpp>
#include <com/sun/star/frame/XComponentLoader.hpp>
#include <com/sun/star/util/XCloseable.hpp>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <utility>

#include "com/class_registry.h"
#include "excel/calc/calls/calc_objects.h"
#include "excel/calc/cells/cell_input.h"
#include "excel/calc/documents/formula_rewrites.h"
#include "excel/calc/macros/flat_vba_project.h"
#include "excel/calc/macros/office_reach.h"
#include "excel/calc/packages/file_filters.h"
#include "excel/calc/process/office_launcher.h"
#include "excel/calc/process/office_leftovers.h"
#include "excel/calc/process/office_program.h"
#include "excel/errors.h"
#include "platform/files.h"
#include "platform/notices.h"
#include "text/number.h"

namespace excel::calc {
namespace uno = css::uno;
namespace {

bool IsValidWindowState(std::int32_t state) {
  return state == kWindowMaximized || state == kWindowMinimized || state == kWindowNormal;
}

// Load arguments every document gets: a view (the office is headless, so
// nothing is shown), since macros recorded in other spreadsheets act on the
// active cell and selection, which only a view has; and document macros run
// without a prompt (set per document here, never by lowering the office's
// own security settings). An application that runs no document code
// opens every document with its macros off, which also keeps its event
// handlers (on load, for one) from running.
uno::Sequence<css::beans::PropertyValue> LoadArguments(const CalcApplication& application,
                                                       bool asTemplate, const std::string& path,
                                                       bool readOnly = false) {
  std::vector<std::pair<const char*, uno::Any>> entries = {
      {"Hidden", uno::Any(!application.Office()->ViewsAvailable())},
      {"MacroExecutionMode", uno::Any(application.RunsDocumentCode()
                                          ? css::document::MacroExecMode::ALWAYS_EXECUTE_NO_WARN
                                          : css::document::MacroExecMode::NEVER_EXECUTE)},
  };
  if (asTemplate) entries.emplace_back("AsTemplate", uno::Any(true));
  // As a desktop office opens a workbook somebody else holds.
  if (readOnly) entries.emplace_back("ReadOnly", uno::Any(true));
  uno::Sequence<css::beans::PropertyValue> arguments(static_cast<sal_Int32>(entries.size()));
  for (std::size_t i = 0; i < entries.size(); ++i) {
    arguments.getArray()[i].Name = rtl::OUString::createFromAscii(entries[i].first);
    arguments.getArray()[i].Value = entries[i].second;
  }
  if (const std::optional<ImportFilter> filter = ImportFilterForPath(path)) {
    const sal_Int32 n = arguments.getLength();
    arguments.realloc(n + 2);
    arguments.getArray()[n].Name = "FilterName";
    arguments.getArray()[n].Value <<= Utf8ToOUString(filter->name);
    arguments.getArray()[n + 1].Name = "FilterOptions";
    arguments.getArray()[n + 1].Value <<= Utf8ToOUString(filter->options);
  }
  return arguments;
}

// Loads a spreadsheet document for `application`; a component that is not a
// spreadsheet is closed again and refused, naming `file` (the file's name,
// empty for a new workbook).
std::shared_ptr<Document> LoadDocument(CalcApplication& application, const std::string& url,
                                       const uno::Sequence<css::beans::PropertyValue>& arguments,
                                       const std::string& file = {}) {
  auto document = std::make_shared<Document>();
  document->office = application.Office();
  document->office->Call(kApplicationError, [&] {
    const uno::Reference<css::frame::XComponentLoader> loader(document->office->Desktop(),
                                                              uno::UNO_QUERY_THROW);
    document->component = loader->loadComponentFromURL(Utf8ToOUString(url), "_blank", 0, arguments);
    document->spreadsheet.set(document->component, uno::UNO_QUERY);
    document->model.set(document->component, uno::UNO_QUERY);
    if (!document->spreadsheet.is() || !document->model.is()) {
      const uno::Reference<css::util::XCloseable> closeable(document->component, uno::UNO_QUERY);
      if (closeable.is()) IgnoringFailures([&] { closeable->close(true); });
      // No document at all from a spreadsheet's file: the office gave up
      // while loading it, which includes recalculating every formula.
      if (!document->component.is() && SaveFilterForPath(file))
        com::Throw(kApplicationError, file +
                                          " could not be loaded: the office failed while "
                                          "reading or recalculating it");
      com::Throw(kApplicationError, file.empty() ? std::string() : file + " is not a spreadsheet");
    }
    // A headless office still paints a document's view into memory after
    // every change, which cost an optimiser trial more than its bridge
    // calls did. Macros keep the view's cursor and selection; painting
    // waits until the document is closed (or a macro turns screen updating
    // back on).
    if (document->office->ViewsAvailable()) document->model->lockControllers();
  });
  return document;
}

// Type detection's fallbacks: a file the office could not read as a
// spreadsheet still opens, as a blank document or as one column of text.
// Only a .csv is meant to be read as text.
void CheckLoadedAsSpreadsheet(Document& document, const std::string& path) {
  rtl::OUString filter;
  for (const css::beans::PropertyValue& argument : document.model->getArgs()) {
    if (argument.Name == "FilterName") argument.Value >>= filter;
  }
  const std::optional<ImportFilter> asked = ImportFilterForPath(path);
  if (filter.isEmpty() || (filter.startsWith("Text") && !asked)) {
    const uno::Reference<css::util::XCloseable> closeable(document.component, uno::UNO_QUERY);
    if (closeable.is()) IgnoringFailures([&] { closeable->close(true); });
    com::Throw(kApplicationError, std::filesystem::path(path).filename().string() +
                                      " is not a workbook the office can read");
  }
}

}  // namespace

void Document::CheckUsable() {
  if (IsClosed()) com::Throw(com::RPC_E_DISCONNECTED);
  if (office->Disconnected()) office->ThrowDisconnected();
}

CalcApplication::CalcApplication()
    : lease_(std::make_unique<OfficeLease>()), office_(lease_->Session()) {}

CalcApplication::~CalcApplication() {
  Quit();
}

void CalcApplication::CheckUsable() {
  {
    std::lock_guard lock(mutex_);
    if (quit_) com::Throw(com::RPC_E_DISCONNECTED);
  }
  if (office_->Disconnected()) office_->ThrowDisconnected();
}

com::VARIANT_BOOL CalcApplication::GetFlag(const com::VARIANT_BOOL& flag) {
  CheckUsable();
  std::lock_guard lock(mutex_);
  return flag;
}

void CalcApplication::PutFlag(com::VARIANT_BOOL& flag, com::VARIANT_BOOL value) {
  CheckUsable();
  std::lock_guard lock(mutex_);
  flag = value != com::VARIANT_FALSE ? com::VARIANT_TRUE : com::VARIANT_FALSE;
}

void CalcApplication::PutWindowState(std::int32_t, std::int32_t state) {
  CheckUsable();
  if (!IsValidWindowState(state)) com::Throw(kApplicationError);
  std::lock_guard lock(mutex_);
  windowState_ = state;
}

std::int32_t CalcApplication::GetWindowState(std::int32_t) {
  CheckUsable();
  std::lock_guard lock(mutex_);
  return windowState_;
}

void CalcApplication::PutVisible(std::int32_t, com::VARIANT_BOOL visible) {
  PutFlag(visible_, visible);
}
com::VARIANT_BOOL CalcApplication::GetVisible(std::int32_t) {
  return GetFlag(visible_);
}
void CalcApplication::PutScreenUpdating(std::int32_t, com::VARIANT_BOOL updating) {
  PutFlag(screenUpdating_, updating);
}
com::VARIANT_BOOL CalcApplication::GetScreenUpdating(std::int32_t) {
  return GetFlag(screenUpdating_);
}
void CalcApplication::PutInteractive(std::int32_t, com::VARIANT_BOOL interactive) {
  PutFlag(interactive_, interactive);
}
com::VARIANT_BOOL CalcApplication::GetInteractive(std::int32_t) {
  return GetFlag(interactive_);
}

com::Ptr<Workbooks> CalcApplication::GetWorkbooks() {
  CheckUsable();
  return com::MakeObject<CalcWorkbooks>(com::Ptr<CalcApplication>(this));
}

namespace {

// The macro's name and the arguments Run passes (those not Missing).
std::pair<std::string, std::vector<com::Variant>> RunRequest(const com::Variant& macro,
                                                             const RunArguments& arguments) {
  const com::VARIANT& name = Dereferenced(macro);
  if (name.vt != com::VT_BSTR) com::Throw(com::DISP_E_TYPEMISMATCH);
  std::vector<com::Variant> passed;
  for (const com::Variant& argument : arguments) {
    if (!argument.IsMissing()) passed.push_back(argument);
  }
  return {com::BstrToUtf8(name.bstrVal), std::move(passed)};
}

}  // namespace

com::Variant CalcApplication::Run(const com::Variant& macro, const RunArguments& arguments) {
  CheckUsable();
  const auto [name, passed] = RunRequest(macro, arguments);
  return RunMacro(*this, name, passed);
}

std::optional<com::Variant> CalcApplication::RunAfterWriting(std::span<const CellWrite> writes,
                                                             const com::Variant& macro,
                                                             const RunArguments& arguments) {
  CheckUsable();
  const auto [name, passed] = RunRequest(macro, arguments);
  return RunMacroAfterWriting(*this, name, passed, writes);
}

void CalcApplication::Quit() {
  std::vector<std::shared_ptr<Document>> documents;
  std::unique_ptr<OfficeLease> lease;
  {
    std::lock_guard lock(mutex_);
    if (quit_) return;
    quit_ = true;
    documents.swap(documents_);
    lease.swap(lease_);
  }
  // Headless there is nobody to ask about unsaved changes: they are dropped.
  for (const std::shared_ptr<Document>& document : documents) {
    {
      std::lock_guard lock(document->mutex);
      document->closed = true;
    }
    if (!office_->Disconnected()) {
      office_->CallIgnoringFailures([&] {
        const uno::Reference<css::util::XCloseable> closeable(document->component,
                                                              uno::UNO_QUERY_THROW);
        closeable->close(true);
      });
    }
    office_->ReleaseLock(document->lockId);
  }
  lease.reset();  // the last application object ends the office here
}

std::vector<std::shared_ptr<Document>> CalcApplication::Documents() {
  std::lock_guard lock(mutex_);
  std::vector<std::shared_ptr<Document>> documents;
  const std::shared_ptr<Document> active = active_.lock();
  if (active) documents.push_back(active);
  for (const std::shared_ptr<Document>& document : documents_) {
    if (document != active) documents.push_back(document);
  }
  return documents;
}

void CalcApplication::AddDocument(const std::shared_ptr<Document>& document) {
  std::lock_guard lock(mutex_);
  documents_.push_back(document);
  active_ = document;
}

void CalcApplication::RemoveDocument(const Document* document) {
  std::lock_guard lock(mutex_);
  std::erase_if(documents_,
                [&](const std::shared_ptr<Document>& held) { return held.get() == document; });
}

void CalcApplication::Activate(const std::shared_ptr<Document>& document) {
  std::lock_guard lock(mutex_);
  active_ = document;
}

std::shared_ptr<Document> CalcApplication::FindByPath(const std::string& path) {
  std::lock_guard lock(mutex_);
  for (const std::shared_ptr<Document>& document : documents_) {
    if (!document->path.empty() && document->path == path) return document;
  }
  return nullptr;
}

std::string CalcApplication::NextBookTitle() {
  std::lock_guard lock(mutex_);
  return "Book" + std::to_string(++books_);
}

namespace {

// Whether the office closed the document under the driver (a macro's
// ThisComponent.close); any other failure to reach it is thrown.
bool ClosedByMacro(Document& document) {
  try {
    document.CheckNotClosedInOffice();
    return false;
  } catch (const com::Error&) {
    std::lock_guard lock(document.mutex);
    if (!document.closedInOffice) throw;
    return true;
  }
}

}  // namespace

com::Ptr<Workbook> CalcWorkbooks::Add(const com::Variant& templateFile, std::int32_t) {
  application_->CheckUsable();
  std::string url = "private:factory/scalc";
  std::string templatePath;
  const com::VARIANT& value = Dereferenced(templateFile);
  if (value.vt == com::VT_BSTR) {
    templatePath = AbsolutePath(com::BstrToUtf8(value.bstrVal));
    if (!platform::GetFileStatus(templatePath).exists) com::Throw(kApplicationError);
    url = FileUrlFromPath(templatePath);
  } else if (!(value.vt == com::VT_ERROR || value.vt == com::VT_EMPTY || value.vt == com::VT_I4 ||
               value.vt == com::VT_INT || value.vt == com::VT_I2)) {
    com::Throw(com::DISP_E_TYPEMISMATCH);  // a number is the one-worksheet template kind
  }
  std::shared_ptr<Document> document = LoadDocument(
      *application_, url, LoadArguments(*application_, !templatePath.empty(), templatePath));
  document->title = application_->NextBookTitle();
  application_->AddDocument(document);
  return com::MakeObject<CalcWorkbook>(application_, document);
}

com::Ptr<Workbook> CalcWorkbooks::Open(const com::Bstr& filename,
                                       std::span<const com::Variant> optional, std::int32_t) {
  if (optional.size() != kOpenOptionalCountOld && optional.size() != kOpenOptionalCountNew)
    com::Throw(com::DISP_E_BADPARAMCOUNT);
  application_->CheckUsable();
  if (filename.Empty()) com::Throw(kApplicationError, "No file name was given");
  const std::string path = AbsolutePath(filename.ToUtf8());
  const std::string name = std::filesystem::path(path).filename().string();
  const platform::FileStatus status = platform::GetFileStatus(path);
  if (!status.exists) com::Throw(kApplicationError, name + " could not be found");
  if (status.isDirectory) com::Throw(kApplicationError, name + " is a folder, not a workbook");
  // Opening a file this application already has gives that workbook; one a
  // macro closed is let go, with its lock, and the file opened afresh.
  if (std::shared_ptr<Document> open = application_->FindByPath(path)) {
    if (!ClosedByMacro(*open)) {
      application_->Activate(open);
      return com::MakeObject<CalcWorkbook>(application_, open);
    }
    open->office->ReleaseLock(open->lockId);
    application_->RemoveDocument(open.get());
  }
  // The office opens an empty file as a new blank document; a spreadsheet
  // program refuses it (an empty .csv is an empty table, though).
  if (status.size == 0 && !ImportFilterForPath(path))
    com::Throw(kApplicationError, name + " is empty: there is no workbook in it");
  // What an office of this process, killed while saving here, left.
  RemoveOfficeTempFilesIn(std::filesystem::path(path).parent_path(), StartedOffices());
  // Held before loading, so that no other process opens it meanwhile.
  std::unique_ptr<WorkbookLock> lock =
      WorkbookLock::Acquire(path, application_->Office()->ProfileFolder());
  const bool readOnly = lock->ReadOnly();
  std::shared_ptr<Document> document =
      LoadDocument(*application_, FileUrlFromPath(path),
                   LoadArguments(*application_, false, path, readOnly), name);
  document->office->Call(kApplicationError, [&] { CheckLoadedAsSpreadsheet(*document, path); });
  MarkOfficeIfCodeReachesIt(*document);
  RewriteUnreadFormulas(*document, path);
  document->office->Call(kApplicationError, [&] {
    RemoveLeftoverBasic(*document);
    RestoreFlatVbaProject(*document, path);
  });
  if (readOnly) {
    document->holder = lock->Holder();
    platform::PublishNotice(name + " is in use by " + document->holder +
                            ": opened read-only, so saving it fails");
  }
  document->lockId = document->office->HoldLock(std::move(lock));
  document->path = path;
  document->title = std::filesystem::path(path).filename().string();
  application_->AddDocument(document);
  return com::MakeObject<CalcWorkbook>(application_, document);
}

void RegisterCalcApplication() {
  static std::once_flag once;
  std::call_once(once, [] {
    com::ClassRegistry::Instance().RegisterFactory(std::string(kApplicationName), [] {
      return com::Ptr<com::Unknown>(CreateCalcApplication());
    });
  });
}

com::Ptr<Application> CreateCalcApplication() {
  return com::MakeObject<CalcApplication>();
}

int CurrentOfficeProcessId() {
  return CurrentOfficePid();
}

std::uint64_t BridgeCallCount() {
  return BridgeReplies();
}

std::vector<int> StartedOfficeProcessIds() {
  return StartedProcessIds();
}

void SetOfficePipe(std::string_view pipe) {
  SetSharedOfficePipe(std::string(pipe));
}

std::unique_ptr<SharedOffice> SharedOffice::Start() {
  return std::unique_ptr<SharedOffice>(new SharedOffice(StartSharedOffice()));
}

SharedOffice::SharedOffice(std::shared_ptr<OfficeSession> session) : session_(std::move(session)) {}

SharedOffice::~SharedOffice() = default;

std::string SharedOffice::Pipe() const {
  return session_->PipeName();
}

int SharedOffice::ProcessId() const {
  return session_->Pid();
}

bool SharedOffice::Alive() {
  return session_->ConfirmAlive();
}

bool SharedOffice::Reset() {
  return session_->Reset();
}

void SetOfficeStartTimeout(std::chrono::milliseconds timeout) {
  SetStartTimeout(timeout);
}

void SetOfficeCallTimeout(std::chrono::milliseconds timeout) {
  SetCallTimeout(timeout);
}

std::optional<std::chrono::milliseconds> CallTimeoutFromText(std::string_view text) {
  double seconds = 0;
  if (text.empty() || text::ScanDouble(text, seconds) != text.size() || !(seconds > 0) ||
      seconds > 86400)
    return std::nullopt;
  return std::chrono::milliseconds(std::max<std::int64_t>(1, std::llround(seconds * 1000)));
}

void PutBasicModule(const com::Ptr<Workbook>& workbook, std::string_view library,
                    std::string_view module, std::string_view source) {
  auto* calcWorkbook = dynamic_cast<CalcWorkbook*>(workbook.Get());
  if (calcWorkbook == nullptr) com::Throw(com::E_INVALIDARG);
  PutBasicModule(*calcWorkbook->GetDocument(), std::string(library), std::string(module),
                 std::string(source));
}

}  // namespace excel::calc
