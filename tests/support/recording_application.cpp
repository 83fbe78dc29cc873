#include "support/recording_application.h"

#include <cstdio>
#include <type_traits>
#include <utility>

#include "com/error.h"
#include "support/recording_format.h"

namespace test_support {

// --- Recorder ---

std::vector<RecordedCall> Recorder::Calls() const {
  std::lock_guard lock(mutex_);
  return calls_;
}

std::vector<std::string> Recorder::Lines() const {
  std::lock_guard lock(mutex_);
  std::vector<std::string> lines;
  for (const RecordedCall& call : calls_)
    lines.push_back(call.line);
  return lines;
}

std::string Recorder::Transcript() const {
  std::string text;
  for (const std::string& line : Lines())
    text += line + "\n";
  return text;
}

std::vector<RecordedCall> Recorder::CallsOf(std::string_view member) const {
  std::lock_guard lock(mutex_);
  std::vector<RecordedCall> calls;
  for (const RecordedCall& call : calls_) {
    if (call.member == member) calls.push_back(call);
  }
  return calls;
}

std::size_t Recorder::CountOf(std::string_view member) const {
  std::lock_guard lock(mutex_);
  std::size_t count = 0;
  for (const RecordedCall& call : calls_)
    count += call.member == member ? 1 : 0;
  return count;
}

void Recorder::Clear() {
  std::lock_guard lock(mutex_);
  forgotten_ += calls_.size();
  calls_.clear();
}

void Recorder::FailCall(std::string member, HRESULT hr, std::size_t occurrence) {
  AddFault({std::move(member), hr, occurrence, false, {}});
}

void Recorder::FailFrom(std::string member, HRESULT hr, std::size_t occurrence) {
  AddFault({std::move(member), hr, occurrence, true, {}});
}

void Recorder::AddFault(Fault fault) {
  std::lock_guard lock(mutex_);
  faults_.push_back({std::move(fault), 0});
}

void Recorder::ClearFaults() {
  std::lock_guard lock(mutex_);
  faults_.clear();
}

namespace {

std::string FailureSuffix(HRESULT hr, bool comError) {
  if (!comError) return " -> failed (not a COM error)";
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, " -> failed 0x%08X", static_cast<unsigned>(hr));
  return buffer;
}

}  // namespace

std::size_t Recorder::Begin(std::string member, std::vector<com::Variant> arguments,
                            std::string text, HRESULT* injected) {
  std::lock_guard lock(mutex_);
  RecordedCall call;
  call.line = member + "(" + text + ")";
  call.member = std::move(member);
  call.arguments = std::move(arguments);
  *injected = com::S_OK;
  // Every matching fault counts the call, so that occurrences stay exact
  // when faults overlap; the first one due decides.
  for (ArmedFault& armed : faults_) {
    const Fault& fault = armed.fault;
    if (fault.member != "*" && fault.member != call.member) continue;
    if (fault.when && !fault.when(call)) continue;
    ++armed.seen;
    const bool due =
        armed.seen == fault.occurrence || (fault.andLater && armed.seen > fault.occurrence);
    if (due && *injected == com::S_OK) *injected = fault.hr;
  }
  if (*injected != com::S_OK) {
    call.failure = *injected;
    call.injected = true;
    call.line += FailureSuffix(*injected, true);
  }
  calls_.push_back(std::move(call));
  return forgotten_ + calls_.size() - 1;
}

void Recorder::Finish(std::size_t number, HRESULT failure, com::Variant result, bool comError) {
  std::lock_guard lock(mutex_);
  if (number < forgotten_) return;  // cleared while the call ran
  RecordedCall& call = calls_[number - forgotten_];
  call.result = std::move(result);
  call.failure = failure;
  if (failure != com::S_OK) call.line += FailureSuffix(failure, comError);
}

// --- The wrappers ---

namespace {

com::Variant ResultOf(const com::Variant& value) {
  return value;
}
com::Variant ResultOf(std::int32_t value) {
  return com::Variant::Int4(value);
}
com::Variant ResultOf(VARIANT_BOOL value) {
  com::Variant result = com::Variant::Bool(false);
  result.boolVal = value;
  return result;
}
com::Variant ResultOf(const com::Bstr& value) {
  return com::Variant::Text(value.View());
}
template <typename T>
com::Variant ResultOf(const com::Ptr<T>&) {
  return {};
}

com::Variant Integer(std::int32_t value) {
  return com::Variant::Int4(value);
}

com::Variant BoolArgument(VARIANT_BOOL value) {
  return ResultOf(value);
}

std::string Lcid(std::int32_t lcid) {
  return "lcid=" + std::to_string(lcid);
}

}  // namespace

class RecordingAccess {
 public:
  RecordingAccess(std::shared_ptr<Recorder> recorder, std::string kind)
      : recorder_(std::move(recorder)), kind_(std::move(kind)) {}

  // Records the call, raises an injected fault, or runs `body` and records
  // how it ended.
  template <typename Body>
  auto Record(std::string_view member, std::vector<com::Variant> arguments, std::string text,
              Body body) -> decltype(body()) {
    HRESULT injected = com::S_OK;
    const std::size_t number = recorder_->Begin(kind_ + "." + std::string(member),
                                                std::move(arguments), std::move(text), &injected);
    if (injected != com::S_OK) com::Throw(injected);
    try {
      if constexpr (std::is_void_v<decltype(body())>) {
        body();
        recorder_->Finish(number, com::S_OK, {});
      } else {
        auto result = body();
        recorder_->Finish(number, com::S_OK, ResultOf(result));
        return result;
      }
    } catch (const com::Error& error) {
      recorder_->Finish(number, error.hr(), {});
      throw;
    } catch (...) {
      recorder_->Finish(number, com::E_FAIL, {}, false);
      throw;
    }
  }

  const std::shared_ptr<Recorder>& recorder() const { return recorder_; }

 private:
  std::shared_ptr<Recorder> recorder_;
  std::string kind_;
};

namespace {

com::Ptr<excel::Workbooks> WrapWorkbooks(com::Ptr<excel::Workbooks> inner,
                                         const std::shared_ptr<Recorder>& recorder);
com::Ptr<excel::Workbook> WrapWorkbook(com::Ptr<excel::Workbook> inner,
                                       const std::shared_ptr<Recorder>& recorder);
com::Ptr<excel::Sheets> WrapSheets(com::Ptr<excel::Sheets> inner,
                                   const std::shared_ptr<Recorder>& recorder, std::string kind);
com::Ptr<com::Unknown> WrapSheetItem(com::Ptr<com::Unknown> inner,
                                     const std::shared_ptr<Recorder>& recorder);
com::Ptr<excel::Range> WrapRange(com::Ptr<excel::Range> inner,
                                 const std::shared_ptr<Recorder>& recorder);

class RecordingApplication : public excel::Application, private RecordingAccess {
 public:
  RecordingApplication(com::Ptr<excel::Application> inner, std::shared_ptr<Recorder> recorder)
      : RecordingAccess(std::move(recorder), "Application"), inner_(std::move(inner)) {}

  void PutWindowState(std::int32_t lcid, std::int32_t state) override {
    Record("PutWindowState", {Integer(lcid), Integer(state)},
           Lcid(lcid) + ", " + std::to_string(state), [&] { inner_->PutWindowState(lcid, state); });
  }
  std::int32_t GetWindowState(std::int32_t lcid) override {
    return Record("GetWindowState", {Integer(lcid)}, Lcid(lcid),
                  [&] { return inner_->GetWindowState(lcid); });
  }
  void PutVisible(std::int32_t lcid, VARIANT_BOOL visible) override {
    Record("PutVisible", {Integer(lcid), BoolArgument(visible)},
           Lcid(lcid) + ", " + FormatVariantBool(visible),
           [&] { inner_->PutVisible(lcid, visible); });
  }
  VARIANT_BOOL GetVisible(std::int32_t lcid) override {
    return Record("GetVisible", {Integer(lcid)}, Lcid(lcid),
                  [&] { return inner_->GetVisible(lcid); });
  }
  void PutScreenUpdating(std::int32_t lcid, VARIANT_BOOL updating) override {
    Record("PutScreenUpdating", {Integer(lcid), BoolArgument(updating)},
           Lcid(lcid) + ", " + FormatVariantBool(updating),
           [&] { inner_->PutScreenUpdating(lcid, updating); });
  }
  VARIANT_BOOL GetScreenUpdating(std::int32_t lcid) override {
    return Record("GetScreenUpdating", {Integer(lcid)}, Lcid(lcid),
                  [&] { return inner_->GetScreenUpdating(lcid); });
  }
  void PutInteractive(std::int32_t lcid, VARIANT_BOOL interactive) override {
    Record("PutInteractive", {Integer(lcid), BoolArgument(interactive)},
           Lcid(lcid) + ", " + FormatVariantBool(interactive),
           [&] { inner_->PutInteractive(lcid, interactive); });
  }
  VARIANT_BOOL GetInteractive(std::int32_t lcid) override {
    return Record("GetInteractive", {Integer(lcid)}, Lcid(lcid),
                  [&] { return inner_->GetInteractive(lcid); });
  }
  com::Ptr<excel::Workbooks> GetWorkbooks() override {
    return WrapWorkbooks(Record("GetWorkbooks", {}, {}, [&] { return inner_->GetWorkbooks(); }),
                         recorder());
  }
  com::Variant Run(const com::Variant& macro, const excel::RunArguments& arguments) override {
    std::vector<com::Variant> recorded{macro};
    recorded.insert(recorded.end(), arguments.begin(), arguments.end());
    return Record("Run", std::move(recorded),
                  FormatValue(macro) + ", " + FormatValueList(arguments),
                  [&] { return inner_->Run(macro, arguments); });
  }
  void Quit() override {
    Record("Quit", {}, {}, [&] { inner_->Quit(); });
  }

 private:
  com::Ptr<excel::Application> inner_;
};

class RecordingWorkbooks : public excel::Workbooks, private RecordingAccess {
 public:
  RecordingWorkbooks(com::Ptr<excel::Workbooks> inner, std::shared_ptr<Recorder> recorder)
      : RecordingAccess(std::move(recorder), "Workbooks"), inner_(std::move(inner)) {}

  com::Ptr<excel::Workbook> Add(const com::Variant& templateFile, std::int32_t lcid) override {
    return WrapWorkbook(
        Record("Add", {templateFile, Integer(lcid)}, FormatValue(templateFile) + ", " + Lcid(lcid),
               [&] { return inner_->Add(templateFile, lcid); }),
        recorder());
  }
  com::Ptr<excel::Workbook> Open(const com::Bstr& filename, std::span<const com::Variant> optional,
                                 std::int32_t lcid) override {
    std::vector<com::Variant> recorded{com::Variant::Text(filename.View())};
    recorded.insert(recorded.end(), optional.begin(), optional.end());
    recorded.push_back(Integer(lcid));
    const std::string list = optional.empty() ? "none" : FormatValueList(optional);
    return WrapWorkbook(
        Record("Open", std::move(recorded),
               QuoteText(filename.ToUtf8()) + ", optional=" + list + ", " + Lcid(lcid),
               [&] { return inner_->Open(filename, optional, lcid); }),
        recorder());
  }

 private:
  com::Ptr<excel::Workbooks> inner_;
};

class RecordingWorkbook : public excel::Workbook, private RecordingAccess {
 public:
  RecordingWorkbook(com::Ptr<excel::Workbook> inner, std::shared_ptr<Recorder> recorder)
      : RecordingAccess(std::move(recorder), "Workbook"), inner_(std::move(inner)) {}

  void Activate(std::int32_t lcid) override {
    Record("Activate", {Integer(lcid)}, Lcid(lcid), [&] { inner_->Activate(lcid); });
  }
  void Close(const com::Variant& saveChanges, const com::Variant& filename,
             const com::Variant& routeWorkbook, std::int32_t lcid) override {
    Record("Close", {saveChanges, filename, routeWorkbook, Integer(lcid)},
           FormatValue(saveChanges) + ", " + FormatValue(filename) + ", " +
               FormatValue(routeWorkbook) + ", " + Lcid(lcid),
           [&] { inner_->Close(saveChanges, filename, routeWorkbook, lcid); });
  }
  void Save(std::int32_t lcid) override {
    Record("Save", {Integer(lcid)}, Lcid(lcid), [&] { inner_->Save(lcid); });
  }
  void SaveCopyAs(const com::Variant& filename, std::int32_t lcid) override {
    Record("SaveCopyAs", {filename, Integer(lcid)}, FormatValue(filename) + ", " + Lcid(lcid),
           [&] { inner_->SaveCopyAs(filename, lcid); });
  }
  void RunAutoMacros(std::int32_t which, std::int32_t lcid) override {
    Record("RunAutoMacros", {Integer(which), Integer(lcid)},
           std::to_string(which) + ", " + Lcid(lcid), [&] { inner_->RunAutoMacros(which, lcid); });
  }
  com::Ptr<excel::Sheets> GetSheets() override {
    return WrapSheets(Record("GetSheets", {}, {}, [&] { return inner_->GetSheets(); }), recorder(),
                      "Sheets");
  }
  com::Ptr<excel::Sheets> GetWorksheets() override {
    return WrapSheets(Record("GetWorksheets", {}, {}, [&] { return inner_->GetWorksheets(); }),
                      recorder(), "Worksheets");
  }
  com::Ptr<excel::Application> GetApplication() override {
    return MakeRecordingApplication(
        Record("GetApplication", {}, {}, [&] { return inner_->GetApplication(); }), recorder());
  }

 private:
  com::Ptr<excel::Workbook> inner_;
};

class RecordingSheets : public excel::Sheets, private RecordingAccess {
 public:
  RecordingSheets(com::Ptr<excel::Sheets> inner, std::shared_ptr<Recorder> recorder,
                  std::string kind)
      : RecordingAccess(std::move(recorder), std::move(kind)), inner_(std::move(inner)) {}

  std::int32_t GetCount() override {
    return Record("GetCount", {}, {}, [&] { return inner_->GetCount(); });
  }
  com::Ptr<com::Unknown> GetItem(const com::Variant& index) override {
    return WrapSheetItem(
        Record("GetItem", {index}, FormatValue(index), [&] { return inner_->GetItem(index); }),
        recorder());
  }
  com::Ptr<com::Unknown> Add(const com::Variant& before, const com::Variant& after,
                             const com::Variant& count, const com::Variant& type,
                             std::int32_t lcid) override {
    return WrapSheetItem(
        Record("Add", {before, after, count, type, Integer(lcid)},
               FormatValue(before) + ", " + FormatValue(after) + ", " + FormatValue(count) + ", " +
                   FormatValue(type) + ", " + Lcid(lcid),
               [&] { return inner_->Add(before, after, count, type, lcid); }),
        recorder());
  }

 private:
  com::Ptr<excel::Sheets> inner_;
};

class RecordingWorksheet : public excel::Worksheet, protected RecordingAccess {
 public:
  RecordingWorksheet(com::Ptr<excel::Worksheet> inner, std::shared_ptr<Recorder> recorder)
      : RecordingAccess(std::move(recorder), "Worksheet"), inner_(std::move(inner)) {}

  com::Bstr GetName() override {
    return Record("GetName", {}, {}, [&] { return inner_->GetName(); });
  }
  void PutName(const com::Bstr& name) override {
    Record("PutName", {com::Variant::Text(name.View())}, QuoteText(name.ToUtf8()),
           [&] { inner_->PutName(name); });
  }
  void Activate(std::int32_t lcid) override {
    Record("Activate", {Integer(lcid)}, Lcid(lcid), [&] { inner_->Activate(lcid); });
  }
  com::Ptr<excel::Range> GetRange(const com::Variant& cell1, const com::Variant& cell2) override {
    return WrapRange(
        Record("GetRange", {cell1, cell2}, FormatValue(cell1) + ", " + FormatValue(cell2),
               [&] { return inner_->GetRange(cell1, cell2); }),
        recorder());
  }

 private:
  com::Ptr<excel::Worksheet> inner_;
};

// An object that is both (no application has one yet, but the decorator
// must not hide either interface).
class RecordingWorksheetChart : public RecordingWorksheet, public excel::Chart {
 public:
  using RecordingWorksheet::RecordingWorksheet;
  com::Bstr GetName() override { return RecordingWorksheet::GetName(); }
};

class RecordingChart : public excel::Chart, private RecordingAccess {
 public:
  RecordingChart(com::Ptr<excel::Chart> inner, std::shared_ptr<Recorder> recorder)
      : RecordingAccess(std::move(recorder), "Chart"), inner_(std::move(inner)) {}

  com::Bstr GetName() override {
    return Record("GetName", {}, {}, [&] { return inner_->GetName(); });
  }

 private:
  com::Ptr<excel::Chart> inner_;
};

// A sheet item that is neither a worksheet nor a chart: it has no members to
// record, but it keeps the object alive as long as the caller holds it.
class RecordingSheetItem : public com::Unknown {
 public:
  explicit RecordingSheetItem(com::Ptr<com::Unknown> inner) : inner_(std::move(inner)) {}

 private:
  com::Ptr<com::Unknown> inner_;
};

class RecordingRange : public excel::Range, private RecordingAccess {
 public:
  RecordingRange(com::Ptr<excel::Range> inner, std::shared_ptr<Recorder> recorder)
      : RecordingAccess(std::move(recorder), "Range"), inner_(std::move(inner)) {}

  com::Variant Invoke(std::int32_t dispid, excel::InvokeKind kind,
                      std::span<const com::Variant> arguments) override {
    char id[16];
    std::snprintf(id, sizeof id, "0x%X", static_cast<unsigned>(dispid));
    std::string text = id;
    switch (kind) {
      case excel::InvokeKind::kPropertyGet:
        text += ", get";
        break;
      case excel::InvokeKind::kPropertyPut:
        text += ", put";
        break;
      case excel::InvokeKind::kMethod:
        text += ", method";
        break;
      default:
        text += ", kind=" + std::to_string(static_cast<unsigned>(kind));
    }
    for (const com::Variant& argument : arguments)
      text += ", " + FormatValue(argument);
    std::vector<com::Variant> recorded{Integer(dispid), Integer(static_cast<std::int32_t>(kind))};
    recorded.insert(recorded.end(), arguments.begin(), arguments.end());
    return Record("Invoke", std::move(recorded), std::move(text),
                  [&] { return inner_->Invoke(dispid, kind, arguments); });
  }

 private:
  com::Ptr<excel::Range> inner_;
};

com::Ptr<excel::Workbooks> WrapWorkbooks(com::Ptr<excel::Workbooks> inner,
                                         const std::shared_ptr<Recorder>& recorder) {
  if (!inner) return nullptr;
  return com::MakeObject<RecordingWorkbooks>(std::move(inner), recorder);
}

com::Ptr<excel::Workbook> WrapWorkbook(com::Ptr<excel::Workbook> inner,
                                       const std::shared_ptr<Recorder>& recorder) {
  if (!inner) return nullptr;
  return com::MakeObject<RecordingWorkbook>(std::move(inner), recorder);
}

com::Ptr<excel::Sheets> WrapSheets(com::Ptr<excel::Sheets> inner,
                                   const std::shared_ptr<Recorder>& recorder, std::string kind) {
  if (!inner) return nullptr;
  return com::MakeObject<RecordingSheets>(std::move(inner), recorder, std::move(kind));
}

com::Ptr<com::Unknown> WrapSheetItem(com::Ptr<com::Unknown> inner,
                                     const std::shared_ptr<Recorder>& recorder) {
  if (!inner) return nullptr;
  com::Ptr<excel::Worksheet> worksheet = com::TryQueryInterface<excel::Worksheet>(inner);
  com::Ptr<excel::Chart> chart = com::TryQueryInterface<excel::Chart>(inner);
  if (worksheet && chart) return com::MakeObject<RecordingWorksheetChart>(worksheet, recorder);
  if (worksheet) return com::MakeObject<RecordingWorksheet>(worksheet, recorder);
  if (chart) return com::MakeObject<RecordingChart>(chart, recorder);
  return com::MakeObject<RecordingSheetItem>(std::move(inner));
}

com::Ptr<excel::Range> WrapRange(com::Ptr<excel::Range> inner,
                                 const std::shared_ptr<Recorder>& recorder) {
  if (!inner) return nullptr;
  return com::MakeObject<RecordingRange>(std::move(inner), recorder);
}

}  // namespace

com::Ptr<excel::Application> MakeRecordingApplication(com::Ptr<excel::Application> inner,
                                                      std::shared_ptr<Recorder> recorder) {
  if (!inner) return nullptr;
  return com::MakeObject<RecordingApplication>(std::move(inner), std::move(recorder));
}

}  // namespace test_support
