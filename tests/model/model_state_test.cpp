// The model's own state and the operations that need no spreadsheet: the
// answers without a connection, file labels and descriptions, result texts,
// the stream slots, the spreadsheet lock.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "automation/spreadsheet_lock.h"
#include "model/file_list.h"
#include "model/model.h"
#include "support/application_registration.h"
#include "support/guarded_buffer.h"
#include "support/temp_registry.h"

namespace {

using test_support::GuardedBuffer;

ExtStatusRecord* Status(GuardedBuffer& buffer) {
  return reinterpret_cast<ExtStatusRecord*>(buffer.bytes.data());
}

std::string StatusText(GuardedBuffer& buffer) {
  return std::string(Status(buffer)->text);
}

// Unit tests run without any application (GRIDMOOR_SPREADSHEET=none).
class UnconnectedModelTest : public ::testing::Test {
 protected:
  test_support::ScopedEnv noApplication_{"GRIDMOOR_SPREADSHEET", "none"};
  model::CExcModel model_;
};

TEST_F(UnconnectedModelTest, SpreadsheetOperationsAnswerThatThereIsNoConnection) {
  using M = model::CExcModel&;
  using S = ExtStatusRecord*;
  const std::string none = "There is no connection to Excel";
  const struct {
    const char* name;
    std::int32_t (*run)(M, S);
    std::string message;
  } cases[] = {
      {"EditCase",
       [](M m, S s) {
         std::uint32_t changed = 7;
         return m.EditCase(nullptr, &changed, s);
       },
       none},
      {"OpenCaseWorkbook", [](M m, S s) { return m.OpenCaseWorkbook(nullptr, s); }, none},
      {"StartApplication", [](M m, S s) { return m.StartApplication(0, s); }, none},
      {"ReloadWorkbook", [](M m, S s) { return m.ReloadWorkbook(s); }, none},
      {"SaveCaseWorkbook", [](M m, S s) { return m.SaveCaseWorkbook(0, nullptr, s); }, none},
      {"GetDispatch",
       [](M m, S s) {
         void* out = &m;
         return m.GetDispatch(&out, s);
       },
       "Unable to get dispatch interface for this object"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    GuardedBuffer status(EXT_STATUS_RECORD_SIZE, 0);
    EXPECT_EQ(c.run(model_, Status(status)), 1);
    EXPECT_EQ(StatusText(status), c.message);
    EXPECT_TRUE(status.GuardsIntact());
  }
  EXPECT_EQ(model_.caseDetails.workbookOpen, 0);
  // Without a status record nothing is written and nothing fails harder.
  EXPECT_EQ(model_.OpenCaseWorkbook(nullptr, nullptr), 1);
  EXPECT_EQ(model_.SetInterfaceVisible(true), 0);
  model_.RefreshSheetNames();
  EXPECT_TRUE(model_.sheetNames.empty());
  EXPECT_EQ(model_.StopApplication(), 0);
  // The answers that need nothing at all.
  for (const std::int32_t value : {0, 1, -1, 999, INT32_MIN}) {
    EXPECT_EQ(model_.QueryNumber(value, nullptr), -999);
    EXPECT_EQ(model_.QueryItem85(&model_, value, nullptr), -1);
  }
  EXPECT_EQ(model_.QueryItem84(nullptr, nullptr), -1);
}

TEST_F(UnconnectedModelTest, FileLabelIsCutToTheHostsLength) {
  struct Case {
    std::string fileName;
    std::int32_t length;
    std::vector<char> expected;  // the bytes written; the rest keep 'x'
  };
  const Case cases[] = {
      {"", 3, {'<', 'N', 'o'}},  // cut as the record helper cuts: no terminator
      {"/w/a.xlsx", 10, {'/', 'w', '/', 'a', '.', 'x', 'l', 's', 'x', 0}},
      {"/w/a.xlsx", -5, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.fileName + " length " + std::to_string(c.length));
    model_.caseDetails.fileName = c.fileName;
    const std::size_t room = c.length > 0 ? static_cast<std::size_t>(c.length) : 0;
    GuardedBuffer buffer(room + 4, 'x');
    EXPECT_EQ(model_.GetFileLabel(buffer.chars(), c.length, nullptr), 0);
    std::vector<char> written(buffer.chars(), buffer.chars() + c.expected.size());
    EXPECT_EQ(written, c.expected);
    for (std::size_t i = c.expected.size(); i < room + 4; ++i)
      EXPECT_EQ(buffer.chars()[i], 'x');
  }
  EXPECT_EQ(model_.GetFileLabel(nullptr, 10, nullptr), 0);
}

TEST_F(UnconnectedModelTest, FileDescriptionOnlyForIndexZeroAndAFileName) {
  const std::string longName = "/" + std::string(400, 'p');
  const struct {
    std::string fileName;
    std::int32_t index;
    std::string path;  // empty: -1 and nothing written
  } cases[] = {
      {"", 0, ""},
      {"/work/case.xlsx", 1, ""},
      {"/work/case.xlsx", 0, "/work/case.xlsx"},
      {"/work/case.xlsx", -4, "/work/case.xlsx"},
      {longName, 0, longName.substr(0, EXT_FILE_DESCRIPTION_PATH_SIZE - 1)},  // cut to the field
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.fileName.substr(0, 20) + " index " + std::to_string(c.index));
    model_.caseDetails.fileName = c.fileName;
    GuardedBuffer record(EXT_FILE_DESCRIPTION_RECORD_MIN_SIZE, 0x33);
    EXPECT_TRUE(record.record().WriteI32(EXT_FILE_DESCRIPTION_INDEX_OFFSET, c.index));
    EXPECT_EQ(model_.GetFileDescription(record.bytes.data(), 0, nullptr), c.path.empty() ? -1 : 0);
    EXPECT_TRUE(record.GuardsIntact());
    if (c.path.empty()) {
      EXPECT_EQ(record.bytes[EXT_FILE_DESCRIPTION_PATH_OFFSET], 0x33);
      continue;
    }
    EXPECT_EQ(std::string(record.chars() + EXT_FILE_DESCRIPTION_PATH_OFFSET), c.path);
    EXPECT_STREQ(record.chars() + EXT_FILE_DESCRIPTION_TEXT_OFFSET, "Excel spreadsheet file");
    EXPECT_EQ(record.bytes[EXT_FILE_DESCRIPTION_PRESENT_OFFSET], 1);
  }
  EXPECT_EQ(model_.GetFileDescription(nullptr, 0, nullptr), -1);
}

TEST_F(UnconnectedModelTest, TheHostNamesTheWorkbookAndTheModelDataFile) {
  GuardedBuffer record(EXT_FILE_NAME_RECORD_MIN_SIZE, 0);
  std::memcpy(record.chars() + EXT_FILE_NAME_TEXT_OFFSET, "/data/Case 1.xlsx", 17);
  EXPECT_EQ(model_.SetFileName(record.bytes.data(), nullptr), 0);
  EXPECT_EQ(model_.caseDetails.fileName, "/data/Case 1.xlsx");

  // An unterminated text is read to the end of its field only.
  std::memset(record.chars() + EXT_FILE_NAME_TEXT_OFFSET, 'n', EXT_FILE_NAME_TEXT_SIZE);
  EXPECT_EQ(model_.SetFileName(record.bytes.data(), nullptr), 0);
  EXPECT_EQ(model_.caseDetails.fileName, std::string(EXT_FILE_NAME_TEXT_SIZE, 'n'));

  GuardedBuffer status(EXT_STATUS_RECORD_SIZE, 0);
  EXPECT_EQ(model_.SetFileName(nullptr, Status(status)), 1);
  EXPECT_EQ(StatusText(status), "No file name was given");

  const char path[] = "/models/a.dat";
  EXPECT_EQ(model_.SetModelDataFile(path, true, nullptr), 0);
  EXPECT_EQ(model_.modelDataFile, path);  // the host's own text, not a copy
}

TEST_F(UnconnectedModelTest, TheEleventhResultTextReplacesTheFirst) {
  std::vector<const char*> handedOut;
  for (int i = 0; i < 10; ++i)
    handedOut.push_back(model_.HandOutResultText(std::to_string(i)));
  for (int i = 0; i < 10; ++i)
    EXPECT_STREQ(handedOut[i], std::to_string(i).c_str());
  const char* eleventh = model_.HandOutResultText("eleven");
  EXPECT_EQ(model_.resultTexts[0].get(), eleventh);
  EXPECT_STREQ(eleventh, "eleven");
  EXPECT_EQ(model_.resultTextsIndex, 1);
  // The other nine are still valid.
  for (int i = 1; i < 10; ++i)
    EXPECT_STREQ(handedOut[i], std::to_string(i).c_str());
}

TEST_F(UnconnectedModelTest, DescribesTheWorkbookFile) {
  model_.caseDetails.fileName = "/w/case.xlsx";
  model_.SetLabel("Well A & B");
  model::FileList files;
  files.flag = 1;
  EXPECT_EQ(model_.DescribeFiles(&files), 0);
  EXPECT_EQ(files.fileName, "/w/case.xlsx");
  ASSERT_EQ(files.modules.size(), 1u);
  EXPECT_EQ(files.modules[0].fileName, "/w/case.xlsx");
  ASSERT_EQ(files.modules[0].data.size(), 1u);
  const model::ModuleApplication& entry = files.modules[0].data[0];
  EXPECT_EQ(entry.application, "Excel");
  EXPECT_EQ(entry.alias, "Well A & B");
  EXPECT_TRUE(entry.isLocal);
  EXPECT_EQ(entry.description, "Excel spreadsheet");
  EXPECT_EQ(model_.DescribeFiles(nullptr), 1);
}

// The stream slots reach the stream transfer; a new case has one stream of
// each kind.
TEST(ModelStreams, SlotsReachTheStreamTransfer) {
  test_support::MemoryApplicationRegistration applications("memory", /*asDefault=*/true);
  model::CExcModel model;
  model::CExtInterface& table = model;
  GuardedBuffer status(EXT_STATUS_RECORD_SIZE, 0);
  GuardedBuffer record(EXT_IPR_RECORD_SIZE, 0);  // the largest of the stream records
  ASSERT_TRUE(record.record().WriteU32(EXT_STREAM_CURSOR_OFFSET, 0xFFFFFFFFu));
  std::vector<std::string> names;
  while (table.EnumStreams(record.bytes.data(), 1, Status(status)) == 0)
    names.emplace_back(record.chars() + EXT_STREAM_NAME_OFFSET);
  EXPECT_EQ(names, (std::vector<std::string>{"In-1", "Out-1"}));

  EXPECT_EQ(table.QueryComp(nullptr, Status(status)), -1) << "compositions are off";
  EXPECT_EQ(table.GetStreamComposition(record.bytes.data(), 0, Status(status)), 0);
  model.caseDetails.useCompositions = 1;
  EXPECT_EQ(table.GetStreamComposition(record.bytes.data(), 7, Status(status)), -1);
  EXPECT_EQ(StatusText(status), "Invalid handle passed to Gridmoor::GetStreamComposition");

  ASSERT_TRUE(record.record().WriteU32(EXT_IPR_SIZE_OFFSET, EXT_IPR_RECORD_SIZE));
  ASSERT_TRUE(record.record().WriteU32(EXT_IPR_HANDLE_OFFSET, 0));  // In-1
  EXPECT_EQ(table.GetIPR(record.bytes.data(), Status(status)), 1);
  EXPECT_EQ(StatusText(status), "Invalid handle passed to Gridmoor::GetIPR");
  EXPECT_EQ(table.SetIPR(record.bytes.data(), Status(status)), 1) << "no workbook is open";
  EXPECT_EQ(StatusText(status).rfind("Error in setting data in Excel: ", 0), 0u)
      << StatusText(status);
  EXPECT_TRUE(record.GuardsIntact());
  EXPECT_TRUE(status.GuardsIntact());
}

TEST(SpreadsheetLockTest, IsReleasedOnEveryPathAndSerialisesModels) {
  try {
    const automation::SpreadsheetLock lock;
    const automation::SpreadsheetLock again;  // the same thread may take it again
    throw std::runtime_error("leaves the scope");
  } catch (const std::runtime_error&) {
  }
  std::atomic<bool> taken{false};
  std::thread other([&] {
    taken = automation::SpreadsheetMutex().try_lock();
    if (taken) automation::SpreadsheetMutex().unlock();
  });
  other.join();
  ASSERT_TRUE(taken);

  // A model operation that talks to the spreadsheet waits for the lock.
  test_support::ScopedEnv noApplication("GRIDMOOR_SPREADSHEET", "none");
  model::CExcModel model;
  std::atomic<bool> done{false};
  std::unique_lock<std::recursive_mutex> held(automation::SpreadsheetMutex());
  std::thread user([&] {
    model.SetInterfaceVisible(true);
    done = true;
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_FALSE(done);
  held.unlock();
  user.join();
  EXPECT_TRUE(done);
}

}  // namespace
