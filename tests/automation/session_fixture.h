// A session over the in-memory application, every call recorded.
#pragma once

#include <gtest/gtest.h>

#include <future>
#include <memory>
#include <span>
#include <string>

#include "automation/excel_session.h"
#include "automation/spreadsheet_lock.h"
#include "support/application_registration.h"
#include "support/memory_application.h"
#include "support/temp_folder.h"
#include "support/temp_registry.h"

namespace test_support {

// Tests that pin the single-cell path's calls hold one of these: every cell
// on its own (the block path is held to that path by the differential test).
struct CellByCell {
  ScopedEnv setting{"GRIDMOOR_BLOCK_TRANSFER", "0"};
};

// Whether another thread holds the spreadsheet lock. Asked from a thread of
// its own: the lock is recursive, so the holder's own thread would get it.
inline bool SpreadsheetLockedElsewhere() {
  return std::async(
             std::launch::async,
             [] { return !std::unique_lock(automation::SpreadsheetMutex(), std::try_to_lock); })
      .get();
}

class SessionTest : public ::testing::Test {
 protected:
  SessionTest() { registration_.RecordWith(recorder_); }

  // A session on a fresh application; fails the test when none starts.
  std::unique_ptr<automation::CExcExcelObj> NewSession() {
    auto session = automation::CreateExcelSession();
    EXPECT_TRUE(session) << session.GetError().Message();
    return session ? *std::move(session) : nullptr;
  }

  // The newest application made, for inspecting state behind the session.
  com::Ptr<MemoryApplication> Application() const {
    const auto live = registration_.LiveApplications();
    return live.empty() ? com::Ptr<MemoryApplication>() : live.back();
  }

  // A workbook file on disk with the given sheets, made by a separate
  // application so that the session under test opens it fresh.
  std::string MakeWorkbookFile(const std::string& name, std::initializer_list<const char*> sheets) {
    const com::Ptr<MemoryApplication> maker = MemoryApplication::Create();
    const com::Ptr<MemoryWorkbook> book = maker->AddWorkbook();
    com::QueryInterface<excel::Worksheet>(book->GetSheets()->GetItem(com::Variant::Int(1)))
        ->PutName(com::Bstr::FromUtf8(*sheets.begin()));
    for (const char* sheet : std::span(sheets.begin() + 1, sheets.end()))
      book->AddWorksheet(sheet);
    const std::string path = folder_.File(name);
    book->SaveCopyAs(com::Variant::Text(path), 0);
    maker->Quit();
    return path;
  }

  automation::Message Msg() { return message_; }
  std::string MessageText() const { return message_; }

  std::shared_ptr<Recorder> recorder_ = std::make_shared<Recorder>();
  MemoryApplicationRegistration registration_{"memory", /*asDefault=*/true};
  TempFolder folder_;
  char message_[260] = {};
};

}  // namespace test_support
