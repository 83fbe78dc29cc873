// Run-time events reach their workbook macros through the host's command
// codes, with the timestep alone or the timestep and the run date as text;
// start and end of run reset the counters and hide and show the window.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "automation/session_fixture.h"
#include "driver/dispatch.h"
#include "model/model.h"
#include "model/run_events.h"
#include "support/guarded_buffer.h"

namespace {

using model::CExcModel;
using model::EventKey;
using model::EventSetting;
using model::RunDate;
using test_support::GuardedBuffer;

constexpr char kMacro[] = "Module1.Record";
constexpr char kFailingMacro[] = "Module1.Fail";

std::string RunLine(const std::string& arguments) {
  return "Application.Run(VT_BSTR \"" + std::string(kMacro) + "\", " + arguments + ")";
}

class ModelEventsTest : public test_support::SessionTest {
 protected:
  // The model with a new workbook open and nothing recorded yet.
  void SetUp() override {
    registration_.OnCreate([](test_support::MemoryApplication& application) {
      application.RegisterMacro(kMacro, [](auto&, const auto&) { return com::Variant(); });
      application.RegisterMacro(kFailingMacro, [](auto&, const auto&) -> com::Variant {
        throw std::runtime_error("the macro stopped");
      });
    });
    model_ = std::make_unique<CExcModel>();
    ASSERT_FALSE(model_->CreateFailed()) << model_->CreateError();
    model_->caseDetails.fileName = folder_.File("events.xlsx");
    ASSERT_EQ(model_->OpenCaseWorkbook(nullptr, Status()), 0) << Message();
    recorder_->Clear();
  }
  void TearDown() override { EXPECT_TRUE(status_.GuardsIntact()); }

  // Host command `code` as ExtCmd serves it in direct mode.
  std::int32_t Command(std::int32_t code, void* arg = nullptr) {
    driver::CommandArgs args;
    args.arg = arg;
    args.status = Status();
    driver::DirectTarget target(*model_, args);
    return driver::DispatchHostCommand(target, code, args);
  }
  // The macros run since the last look.
  std::vector<std::string> TakeRunLines() {
    std::vector<std::string> lines;
    for (const auto& call : recorder_->CallsOf("Application.Run"))
      lines.push_back(call.line);
    recorder_->Clear();
    return lines;
  }
  bool ApplicationVisible() {
    return Application() && Application()->CurrentProperties().visible != VARIANT_FALSE;
  }
  void SetMacro(std::size_t event, const std::string& macro, bool passDate = false) {
    model_->caseDetails.macros = {};
    model_->caseDetails.passDate = {};
    model_->caseDetails.macros[event] = macro;
    model_->caseDetails.passDate[event] = passDate;
  }

  ExtStatusRecord* Status() { return reinterpret_cast<ExtStatusRecord*>(status_.bytes.data()); }
  std::string Message() const {
    return std::string(reinterpret_cast<const char*>(status_.bytes.data()) + 4);
  }
  void FillMessage(char fill) { std::memset(status_.bytes.data() + 4, fill, EXT_STATUS_TEXT_SIZE); }

  GuardedBuffer status_{EXT_STATUS_RECORD_SIZE, 0};
  std::unique_ptr<CExcModel> model_;
};

TEST(RunEvents, DataServerKeys) {
  for (const model::RunEventInfo& info : model::kRunEvents) {
    EXPECT_EQ(model::FindEventKey(info.macroKey), (EventKey{info.event, EventSetting::kMacro}));
    EXPECT_EQ(model::FindEventKey(info.flagKey), (EventKey{info.event, EventSetting::kPassDate}));
  }
  const struct {
    const char* key;
    std::optional<EventKey> expected;
  } cases[] = {
      {"PassDateToMacro", EventKey{0, EventSetting::kPassDate}},  // an alias
      {"startofrunmacro", EventKey{4, EventSetting::kMacro}},
      {"StartOfRun", std::nullopt},
      {"StartOfRunMacro ", std::nullopt},
  };
  for (const auto& c : cases)
    EXPECT_EQ(model::FindEventKey(c.key), c.expected) << c.key;
}

// Every event through its host codes: the macro named for it, and no other,
// runs with the timestep, then with the run date too.
TEST_F(ModelEventsTest, EachEventRunsItsMacroInBothArgumentForms) {
  ASSERT_EQ(model_->SetDate(nullptr, 0, Status()), 1) << "no record";
  GuardedBuffer date(EXT_DATE_RECORD_MIN_SIZE, 0);
  const double dayBefore = 45296.0;  // 5 January 2024
  std::memcpy(date.bytes.data() + EXT_DATE_RECORD_DATE_OFFSET, &dayBefore, sizeof dayBefore);
  ASSERT_EQ(Command(EXT_CMD_SET_DATE, date.bytes.data()), 0);

  for (const model::RunEventInfo& info : model::kRunEvents) {
    for (int code : info.hostCodes) {
      if (code == 0) continue;
      for (bool passDate : {false, true}) {
        SCOPED_TRACE(std::string(info.label) + " code " + std::to_string(code) +
                     (passDate ? " with date" : ""));
        SetMacro(info.event, kMacro, passDate);
        model_->timestep = 7;
        EXPECT_EQ(Command(code), 0) << Message();
        // The start of a run counts from 0 again before its macro runs.
        const std::string step = info.event == model::kStartOfRunEvent ? "0" : "7";
        EXPECT_EQ(TakeRunLines(),
                  std::vector<std::string>{RunLine(
                      "VT_I4 " + step +
                      (passDate ? ", VT_BSTR \"1/6/2024\", 28 x Missing" : ", 29 x Missing"))});

        // A blank name runs nothing.
        model_->caseDetails.macros[info.event] = "   ";
        EXPECT_EQ(Command(code), 0);
        EXPECT_EQ(recorder_->Transcript(), "");
      }
    }
  }
  EXPECT_EQ(model_->OnEvent112(Status()), 0);
  EXPECT_EQ(model_->OnEvent113(Status()), 0);
  EXPECT_EQ(recorder_->Transcript(), "");
}

TEST_F(ModelEventsTest, TheRunDateTravelsAsEnglishText) {
  const struct {
    RunDate date;
    const char* text;
  } cases[] = {
      {{0.0, RunDate::kNull}, ""},
      {{45297.0, RunDate::kInvalid}, "Invalid DateTime"},
      {{45297.75, RunDate::kValid}, "1/6/2024 6:00:00 PM"},  // the date text's own rules
      {{1e12, RunDate::kValid}, "Invalid DateTime"},
  };
  SetMacro(model::kPreSolveEvent, kMacro, true);
  model_->timestep = 2;
  for (const auto& c : cases) {
    model_->runDate = c.date;
    EXPECT_EQ(model_->OnPreSolve(Status()), 0) << Message();
    EXPECT_EQ(TakeRunLines(),
              std::vector<std::string>{
                  RunLine("VT_I4 2, VT_BSTR \"" + std::string(c.text) + "\", 28 x Missing")});
  }
}

TEST(ModelRunDate, TheRunDateIsTheDayAfterTheHostsDate) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const struct {
    double host;
    double runDate;
    std::int32_t status;
  } cases[] = {
      {40000.25, 40001.25, RunDate::kValid},
      {-2.25, -1.25, RunDate::kValid},  // 28 to 29 December 1899, 06:00
      {-1.25, 0.25, RunDate::kValid},
      {-0.25, 1.25, RunDate::kValid},  // 30 December 1899, 06:00, written backwards
      {2958464.5, 2958465.5, RunDate::kValid},
      {2958465.0, 2958466.0, RunDate::kInvalid},  // after the year 9999
      {nan, nan, RunDate::kInvalid},
  };
  CExcModel model;  // no spreadsheet needed
  for (const auto& c : cases) {
    GuardedBuffer record(EXT_DATE_RECORD_MIN_SIZE, 0);
    std::memcpy(record.bytes.data() + EXT_DATE_RECORD_DATE_OFFSET, &c.host, sizeof c.host);
    EXPECT_EQ(model.SetDate(record.bytes.data(), 0, nullptr), 0);
    if (std::isnan(c.runDate)) {
      EXPECT_TRUE(std::isnan(model.runDate.days));
    } else {
      EXPECT_DOUBLE_EQ(model.runDate.days, c.runDate) << c.host;
    }
    EXPECT_EQ(model.runDate.status, c.status) << c.host;
  }
}

TEST_F(ModelEventsTest, TheNextEventIsReportedUntilTheNextRunStarts) {
  GuardedBuffer record(EXT_NEXT_EVENT_RECORD_MIN_SIZE, 0x11);
  const auto untouched = record.bytes;
  EXPECT_EQ(Command(EXT_CMD_GET_NEXT_EVENT, record.bytes.data()), 1);
  EXPECT_EQ(record.bytes, untouched);

  // Set from inside the model, as the data server does; reading keeps it.
  model_->nextEvent = 45297.5;
  for (int read = 0; read < 2; ++read) {
    EXPECT_EQ(Command(EXT_CMD_GET_NEXT_EVENT, record.bytes.data()), 0);
    double time = 0.0;
    std::memcpy(&time, record.bytes.data() + EXT_NEXT_EVENT_TIME_OFFSET, sizeof time);
    EXPECT_EQ(record.bytes[EXT_NEXT_EVENT_FLAG_OFFSET], 1);
    EXPECT_EQ(time, 45297.5);
    for (std::size_t i : {0, 1, 2, 3, 5, 6, 7})
      EXPECT_EQ(record.bytes[i], 0x11) << "byte " << i;
    EXPECT_TRUE(record.GuardsIntact());
  }
  EXPECT_EQ(model_->GetNextEvent(nullptr), 1);
  EXPECT_EQ(model_->OnStartOfRun(nullptr, Status()), 0);
  EXPECT_EQ(model_->GetNextEvent(record.bytes.data()), 1);
}

TEST_F(ModelEventsTest, AHiddenWindowIsShownAgainOnlyAfterASuccessfulEndOfRun) {
  // The host shows and hides the window only when the case hides it.
  model_->caseDetails.hideInterface = true;
  model_->SetInterfaceVisible(false);
  EXPECT_FALSE(ApplicationVisible());
  model_->SetInterfaceVisible(true);
  ASSERT_TRUE(ApplicationVisible());

  // The end-of-run macro fails: no message for the host, the run's state kept.
  SetMacro(model::kEndOfRunEvent, kFailingMacro);
  model_->caseDetails.macros[model::kStartOfTimestepEvent] = kMacro;
  model_->timestep = 5;
  EXPECT_EQ(Command(EXT_CMD_START_OF_RUN), 0);
  EXPECT_FALSE(ApplicationVisible());
  EXPECT_EQ(Command(EXT_CMD_NEXT_TIMESTEP), 0);
  EXPECT_EQ(Command(EXT_CMD_NEXT_TIMESTEP), 0);
  EXPECT_EQ(Command(EXT_CMD_START_OF_TIMESTEP), 0);
  EXPECT_EQ(TakeRunLines(), std::vector<std::string>{RunLine("VT_I4 2, 29 x Missing")})
      << "counted from the start of the run";
  EXPECT_EQ(Command(EXT_CMD_END_OF_RUN), 1);
  EXPECT_EQ(Message(), "");
  EXPECT_FALSE(ApplicationVisible());
  EXPECT_EQ(model_->timestep, 2u);

  model_->caseDetails.macros[model::kEndOfRunEvent] = kMacro;
  EXPECT_EQ(Command(EXT_CMD_STOP_RUN), 0);
  EXPECT_TRUE(ApplicationVisible());
  EXPECT_EQ(model_->timestep, 0u);

  // Without hiding the window is left as the user put it.
  model_->caseDetails.hideInterface = false;
  EXPECT_EQ(model_->OnStartOfRun(nullptr, Status()), 0);
  model_->SetInterfaceVisible(false);
  EXPECT_TRUE(ApplicationVisible());
}

TEST_F(ModelEventsTest, AFailingMacroIsReportedToTheHost) {
  for (std::size_t e : {model::kPostSolveEvent, model::kStartOfRunEvent}) {
    SetMacro(e, kFailingMacro);
    FillMessage(0);
    EXPECT_EQ(Command(model::kRunEvents[e].hostCodes[0]), 1) << e;
    EXPECT_EQ(Message(), "Unable to run macro Module1.Fail (Exception occurred.)") << e;
  }
  EXPECT_EQ(model_->RunEventMacro(model::kEventCount, Status()), 1);
  EXPECT_EQ(Message(), "There is no run-time event 7");
}

TEST_F(ModelEventsTest, WithoutASessionEventsAnswerThatThereIsNoConnection) {
  model_->caseDetails.hideInterface = true;
  ASSERT_EQ(model_->StopApplication(), 0);
  ASSERT_EQ(model_->Session(), nullptr);

  // Blank names need no session.
  model_->timestep = 4;
  for (const model::RunEventInfo& info : model::kRunEvents)
    EXPECT_EQ(Command(info.hostCodes[0]), 0) << info.label;
  EXPECT_EQ(model_->timestep, 0u);

  model_->caseDetails.macros.fill(kMacro);
  for (const model::RunEventInfo& info : model::kRunEvents) {
    FillMessage(0x5A);
    model_->timestep = 4;
    EXPECT_EQ(Command(info.hostCodes[0]), 1) << info.label;
    if (info.event == model::kEndOfRunEvent) {
      EXPECT_EQ(status_.bytes[4], 0x5A) << "the end of run writes no message";
      EXPECT_EQ(model_->timestep, 4u);
    } else {
      EXPECT_EQ(Message(), "There is no connection to Excel") << info.label;
    }
  }
}

}  // namespace
