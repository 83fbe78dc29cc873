// Data-server tags and commands, from the host's records, on a model over the
// in-memory application (a workbook of three sheets): the first byte picks a
// read, a write or a command, the rest is the tag, then after a NUL the
// written value. Every
// answer is 0 or 1, the status text and the result area stay terminated
// inside their fields, and nothing is written past either record.
//
// The application refuses to open or save files, so no input reaches the
// disk; each input gets a fresh model.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "com/class_registry.h"
#include "driver/records/data_server_records.h"
#include "model/model.h"
#include "support/memory_application.h"

namespace {

using test_support::MemoryApplication;
using test_support::Recorder;

constexpr std::size_t kGuardSize = 16;
constexpr unsigned char kGuard = 0xA5;

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

bool GuardsIntact(const std::vector<unsigned char>& bytes, std::size_t size) {
  return std::all_of(bytes.begin() + static_cast<std::ptrdiff_t>(size), bytes.end(),
                     [](unsigned char byte) { return byte == kGuard; });
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

  std::vector<unsigned char> status(EXT_STATUS_RECORD_SIZE + kGuardSize, kGuard);
  std::memset(status.data(), 0, EXT_STATUS_RECORD_SIZE);
  auto* statusRecord = reinterpret_cast<ExtStatusRecord*>(status.data());
  std::int32_t result = 0;
  switch (data[0] % 3) {
    case 0: {
      std::vector<unsigned char> record(EXT_DS_READ_RECORD_SIZE + kGuardSize, kGuard);
      std::memset(record.data(), 0x5C, EXT_DS_READ_RECORD_SIZE);
      const std::uint32_t recordSize = EXT_DS_READ_RECORD_SIZE;
      const char* text = tag.c_str();
      std::memcpy(record.data(), &recordSize, sizeof recordSize);
      std::memcpy(record.data() + EXT_DS_READ_TAG_POINTER_OFFSET, &text, sizeof text);
      result = driver::GetDataServerValue(*model, record.data(), statusRecord);
      Check(std::memchr(record.data() + EXT_DS_READ_RESULT_OFFSET, 0, EXT_DS_READ_RESULT_SIZE) !=
            nullptr);
      Check(GuardsIntact(record, EXT_DS_READ_RECORD_SIZE));
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
  Check(GuardsIntact(status, EXT_STATUS_RECORD_SIZE));
  FailingFiles()->Clear();  // the log would grow without end
  return 0;
}
