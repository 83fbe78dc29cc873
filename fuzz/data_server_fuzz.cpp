// Data-server tags and commands, from the host's records, on a model over the
// in-memory application (a workbook of three sheets): the first byte picks a
// read, a write or a command, the rest is the tag, then after a NUL the
// written value. Every answer is 0 or 1, the status text and the result area
// stay terminated inside their fields, and nothing is written past either
// record.
//
// The application refuses to open or save files, so no input reaches the
// disk; each input gets a fresh model.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "com/class_registry.h"
#include "driver/records/data_server_records.h"
#include "model/model.h"
#include "support/guarded_buffer.h"
#include "support/memory_application.h"

namespace {

using test_support::MemoryApplication;
using test_support::Recorder;

// The call log of every application, with the faults that keep files shut.
const std::shared_ptr<Recorder>& FailingFiles() {
  static const std::shared_ptr<Recorder> recorder = [] {
    auto made = std::make_shared<Recorder>();
    for (const char* member : {"Workbooks.Open", "Workbook.Save", "Workbook.SaveCopyAs"})
      made->FailFrom(member, com::E_FAIL);
    return made;
  }();
  return recorder;
}

void RegisterApplication() {
  static const bool registered = [] {
    com::ClassRegistry::Instance().RegisterFactory("memory", []() -> com::Ptr<com::Unknown> {
      const com::Ptr<MemoryApplication> made = MemoryApplication::Create();
      made->RegisterMacro("Recalc", [](MemoryApplication&, const auto&) { return com::Variant(); });
      return com::MakeObject<MemoryApplication>(made->State(), FailingFiles());
    });
    ::setenv("GRIDMOOR_SPREADSHEET", "memory", 1);
    return true;
  }();
  (void)registered;
}

void Check(bool condition) {
  if (!condition) std::abort();
}

std::unique_ptr<model::CExcModel> NewModel() {
  auto model = std::make_unique<model::CExcModel>();
  Check(!model->OpenCaseWorkbook());
  automation::CExcExcelObj* session = model->Session();
  Check(!session->AddWorksheet("Results") && !session->AddWorksheet("Notes"));
  model->RefreshSheetNames();
  Check(model->sheetNames.size() == 3);
  return model;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  RegisterApplication();
  const std::unique_ptr<model::CExcModel> model = NewModel();

  const std::string input(reinterpret_cast<const char*>(data) + 1, size - 1);
  const std::size_t nul = input.find('\0');
  const std::string tag = input.substr(0, nul);
  const std::string value = nul == std::string::npos ? std::string() : input.substr(nul + 1);

  test_support::StatusBuffer status;
  ExtStatusRecord* const statusRecord = status.status();
  std::int32_t result = 0;
  switch (data[0] % 3) {
    case 0: {
      test_support::GuardedBuffer record(EXT_DS_READ_RECORD_SIZE, 0x5C);
      record.Put(0, std::uint32_t{EXT_DS_READ_RECORD_SIZE});
      record.Put(EXT_DS_READ_TAG_POINTER_OFFSET, tag.c_str());
      result = driver::GetDataServerValue(*model, record.bytes.data(), statusRecord);
      Check(std::memchr(record.bytes.data() + EXT_DS_READ_RESULT_OFFSET, 0,
                        EXT_DS_READ_RESULT_SIZE) != nullptr);
      Check(record.GuardsIntact());
      break;
    }
    case 1: {
      const char* record[3] = {nullptr, tag.c_str(), value.c_str()};
      result = driver::SetDataServerValue(*model, record, statusRecord);
      break;
    }
    default:
      result = driver::ExecuteCommand(*model, tag.c_str(), statusRecord);
      break;
  }
  Check(result == 0 || result == 1);
  Check(std::memchr(statusRecord->text, 0, EXT_STATUS_TEXT_SIZE) != nullptr);
  Check(status.GuardsIntact());
  FailingFiles()->Clear();  // the log would grow without end
  return 0;
}
