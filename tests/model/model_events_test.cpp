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

#include "driver/dispatch.h"
#include "model/model.h"
#include "model/run_events.h"
#include "support/application_registration.h"
#include "support/guarded_buffer.h"
#include "support/temp_folder.h"

namespace {

using model::CExcModel;
using model::RunDate;
using test_support::GuardedBuffer;

constexpr char kMacro[] = "Module1.Record";
constexpr char kFailingMacro[] = "Module1.Fail";
constexpr std::int32_t kMarker = 0x5A;

class ModelEventsTest : public ::testing::Test {
 protected:
  ModelEventsTest() {
    applications_.RecordWith(recorder_);
    applications_.OnCreate([runs = runs_](test_support::MemoryApplication& application) {
      application.RegisterMacro(kMacro, [runs](test_support::MemoryApplication&,
                                               const std::vector<com::Variant>& arguments) {
        runs->push_back(arguments);
        return com::Variant();
      });
      application.RegisterMacro(
          kFailingMacro,
          [](test_support::MemoryApplication&, const std::vector<com::Variant>&) -> com::Variant {
            throw std::runtime_error("the macro stopped");
          });
    });
  }

  // A model with a new workbook open and nothing recorded yet.
  void Open(CExcModel& model) {
    ASSERT_FALSE(model.CreateFailed()) << model.CreateError();
    model.caseDetails.fileName = folder_.File("events.xlsx");
    ASSERT_EQ(model.OpenCaseWorkbook(nullptr, Status()), 0) << Message();
    recorder_->Clear();
    runs_->clear();
  }

  // Host command `code` as ExtCmd serves it in direct mode.
  std::int32_t Command(CExcModel& model, std::int32_t code, void* arg = nullptr) {
    driver::CommandArgs args;
    args.arg = arg;
    args.status = Status();
    driver::DirectTarget target(model, args);
    return driver::DispatchHostCommand(target, code, args);
  }

  std::vector<std::string> RunLines() const {
    std::vector<std::string> lines;
    for (const auto& call : recorder_->CallsOf("Application.Run"))
      lines.push_back(call.line);
    return lines;
  }

  bool ApplicationVisible() {
    const auto live = applications_.LiveApplications();
    return !live.empty() && live.back()->CurrentProperties().visible != VARIANT_FALSE;
  }

  ExtStatusRecord* Status() { return reinterpret_cast<ExtStatusRecord*>(status_.bytes.data()); }
  std::string Message() const {
    return std::string(reinterpret_cast<const char*>(status_.bytes.data()) + 4);
  }
  void ClearMessage() { std::memset(status_.bytes.data() + 4, 0, EXT_STATUS_TEXT_SIZE); }

  std::shared_ptr<test_support::Recorder> recorder_ = std::make_shared<test_support::Recorder>();
  std::shared_ptr<std::vector<std::vector<com::Variant>>> runs_ =
      std::make_shared<std::vector<std::vector<com::Variant>>>();
  test_support::MemoryApplicationRegistration applications_{"memory", true};
  test_support::TempFolder folder_;
  GuardedBuffer status_{EXT_STATUS_RECORD_SIZE, 0};
};

std::string RunLine(const std::string& macro, const std::string& arguments) {
  return "Application.Run(VT_BSTR \"" + macro + "\", " + arguments + ")";
}

TEST(RunEvents, TheTableNamesEveryEventOnceInItsOwnPlace) {
  for (std::size_t e = 0; e < model::kEventCount; ++e) {
    EXPECT_EQ(model::kRunEvents[e].event, e);
    const auto macro = model::FindEventKey(model::kRunEvents[e].macroKey);
    const auto flag = model::FindEventKey(model::kRunEvents[e].flagKey);
    EXPECT_EQ(macro, (model::EventKey{e, model::EventSetting::kMacro}));
    EXPECT_EQ(flag, (model::EventKey{e, model::EventSetting::kPassDate}));
  }
  // Every event is listed once by the configuration.
  std::vector<int> listed(model::kEventCount, 0);
  for (std::size_t e : model::kRunEventDisplayOrder)
    ++listed.at(e);
  EXPECT_EQ(listed, std::vector<int>(model::kEventCount, 1));
  EXPECT_EQ(model::kRunEvents[model::kPostSolve2Event].label, "Post-module solve");
}

TEST(RunEvents, KeysAliasesAndCase) {
  struct Case {
    const char* key;
    std::optional<model::EventKey> expected;
  };
  using model::EventSetting;
  const Case cases[] = {
      {"Macro", model::EventKey{0, EventSetting::kMacro}},
      {"PassDateToMacro", model::EventKey{0, EventSetting::kPassDate}},
      {"startofrunmacro", model::EventKey{4, EventSetting::kMacro}},
      {"PASSDATETOENDOFRUNMACRO", model::EventKey{5, EventSetting::kPassDate}},
      {"PostSolve2Macro", model::EventKey{6, EventSetting::kMacro}},
      {"PostSolveMacro", model::EventKey{3, EventSetting::kMacro}},
      {"", std::nullopt},
      {"StartOfRun", std::nullopt},
      {"StartOfRunMacro ", std::nullopt},
      {"PassDateTo", std::nullopt},
  };
  for (const Case& c : cases)
    EXPECT_EQ(model::FindEventKey(c.key), c.expected) << c.key;
}

// Every event through its host codes: the macro named for it, and no other,
// runs with the timestep, then with the run date too.
TEST_F(ModelEventsTest, EachEventRunsItsMacroInBothArgumentForms) {
  CExcModel model;
  Open(model);
  ASSERT_EQ(model.SetDate(nullptr, 0, Status()), 1) << "no record";
  GuardedBuffer date(EXT_DATE_RECORD_MIN_SIZE, 0);
  const double dayBefore = 45296.0;  // 5 January 2024
  std::memcpy(date.bytes.data() + EXT_DATE_RECORD_DATE_OFFSET, &dayBefore, sizeof dayBefore);
  ASSERT_EQ(Command(model, EXT_CMD_SET_DATE, date.bytes.data()), 0);

  for (const model::RunEventInfo& info : model::kRunEvents) {
    for (int code : info.hostCodes) {
      if (code == 0) continue;
      for (bool passDate : {false, true}) {
        SCOPED_TRACE(std::string(info.label) + " code " + std::to_string(code) +
                     (passDate ? " with date" : ""));
        model.caseDetails.macros = {};
        model.caseDetails.passDate = {};
        model.caseDetails.macros[info.event] = kMacro;
        model.caseDetails.passDate[info.event] = passDate;
        model.timestep = 7;
        recorder_->Clear();
        EXPECT_EQ(Command(model, code), 0) << Message();
        // The start of a run counts from 0 again before its macro runs.
        const std::string step = info.event == model::kStartOfRunEvent ? "0" : "7";
        const std::string arguments = passDate
                                          ? "VT_I4 " + step + ", VT_BSTR \"1/6/2024\", 28 x Missing"
                                          : "VT_I4 " + step + ", 29 x Missing";
        EXPECT_EQ(RunLines(), std::vector<std::string>{RunLine(kMacro, arguments)});

        // Without a name, or with blanks only, nothing runs.
        for (const char* blank : {"", "   "}) {
          model.caseDetails.macros[info.event] = blank;
          recorder_->Clear();
          EXPECT_EQ(Command(model, code), 0);
          EXPECT_EQ(recorder_->Transcript(), "");
        }
      }
    }
  }
  EXPECT_EQ(model.OnEvent112(Status()), 0);
  EXPECT_EQ(model.OnEvent113(Status()), 0);
  EXPECT_EQ(runs_->size(), 2 * (model::kEventCount + 1));
  EXPECT_TRUE(runs_->back().size() == 2 && runs_->back()[1] == com::Variant::Text("1/6/2024"));
}

TEST_F(ModelEventsTest, TheRunDateTravelsAsEnglishText) {
  struct Case {
    RunDate date;
    const char* text;
  };
  const Case cases[] = {
      {{0.0, RunDate::kNull}, ""},
      {{45297.0, RunDate::kInvalid}, "Invalid DateTime"},
      {{45297.0, RunDate::kValid}, "1/6/2024"},
      {{45297.75, RunDate::kValid}, "1/6/2024 6:00:00 PM"},
      {{0.5, RunDate::kValid}, "12:00:00 PM"},
      {{1e12, RunDate::kValid}, "Invalid DateTime"},
  };
  CExcModel model;
  Open(model);
  model.caseDetails.macros[model::kPreSolveEvent] = kMacro;
  model.caseDetails.passDate[model::kPreSolveEvent] = true;
  model.timestep = 2;
  for (const Case& c : cases) {
    model.runDate = c.date;
    recorder_->Clear();
    EXPECT_EQ(model.OnPreSolve(Status()), 0) << Message();
    EXPECT_EQ(RunLines(),
              std::vector<std::string>{RunLine(
                  kMacro, "VT_I4 2, VT_BSTR \"" + std::string(c.text) + "\", 28 x Missing")});
  }
}

TEST_F(ModelEventsTest, TimestepsCountFromTheStartOfEachRun) {
  CExcModel model;
  Open(model);
  model.caseDetails.macros[model::kStartOfTimestepEvent] = kMacro;
  for (int run = 0; run < 2; ++run) {
    EXPECT_EQ(model.OnStartOfRun(nullptr, Status()), 0);
    for (int i = 0; i < 3; ++i)
      EXPECT_EQ(model.OnNextTimestep(nullptr, Status()), 0);
    recorder_->Clear();
    EXPECT_EQ(model.OnStartOfTimestep(Status()), 0);
    EXPECT_EQ(RunLines(), std::vector<std::string>{RunLine(kMacro, "VT_I4 3, 29 x Missing")});
  }
  EXPECT_EQ(model.OnStopRun(), 0);
  EXPECT_EQ(model.timestep, 0u);
}

TEST(ModelRunDate, TheRunDateIsTheDayAfterTheHostsDate) {
  struct Case {
    double host;
    double runDate;
    std::int32_t status;
  };
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const Case cases[] = {
      {40000.0, 40001.0, RunDate::kValid},
      {40000.25, 40001.25, RunDate::kValid},
      {-2.25, -1.25, RunDate::kValid},  // 28 to 29 December 1899, 06:00
      {-1.25, 0.25, RunDate::kValid},
      {-0.25, 1.25, RunDate::kValid},  // 30 December 1899, 06:00, written backwards
      {2958464.5, 2958465.5, RunDate::kValid},
      {2958465.0, 2958466.0, RunDate::kInvalid},  // after the year 9999
      {nan, nan, RunDate::kInvalid},
  };
  CExcModel model;  // no spreadsheet needed
  for (const Case& c : cases) {
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
  CExcModel model;
  GuardedBuffer record(EXT_NEXT_EVENT_RECORD_MIN_SIZE, 0x11);
  EXPECT_EQ(Command(model, EXT_CMD_GET_NEXT_EVENT, record.bytes.data()), 1);
  EXPECT_EQ(record.bytes, GuardedBuffer(EXT_NEXT_EVENT_RECORD_MIN_SIZE, 0x11).bytes);

  // Set from inside the model, as the data server does; reading keeps it.
  model.nextEvent = 45297.5;
  for (int read = 0; read < 2; ++read) {
    EXPECT_EQ(Command(model, EXT_CMD_GET_NEXT_EVENT, record.bytes.data()), 0);
    double time = 0.0;
    std::memcpy(&time, record.bytes.data() + EXT_NEXT_EVENT_TIME_OFFSET, sizeof time);
    EXPECT_EQ(record.bytes[EXT_NEXT_EVENT_FLAG_OFFSET], 1);
    EXPECT_EQ(time, 45297.5);
    for (std::size_t i : {0, 1, 2, 3, 5, 6, 7})
      EXPECT_EQ(record.bytes[i], 0x11) << "byte " << i;
    EXPECT_TRUE(record.GuardsIntact());
  }
  EXPECT_EQ(model.GetNextEvent(nullptr), 1);

  EXPECT_EQ(model.OnStartOfRun(nullptr, Status()), 0);
  EXPECT_EQ(model.GetNextEvent(record.bytes.data()), 1);
}

TEST_F(ModelEventsTest, AHiddenWindowIsShownAgainOnlyAfterASuccessfulEndOfRun) {
  CExcModel model;
  Open(model);
  model.caseDetails.hideInterface = true;
  model.SetInterfaceVisible(true);
  ASSERT_TRUE(ApplicationVisible());

  // The end-of-run macro fails: no message for the host, the run's state kept.
  model.caseDetails.macros[model::kEndOfRunEvent] = kFailingMacro;
  std::memset(status_.bytes.data(), 0, EXT_STATUS_RECORD_SIZE);
  EXPECT_EQ(Command(model, EXT_CMD_START_OF_RUN), 0);
  EXPECT_FALSE(ApplicationVisible());
  Command(model, EXT_CMD_NEXT_TIMESTEP);
  Command(model, EXT_CMD_NEXT_TIMESTEP);
  EXPECT_EQ(Command(model, EXT_CMD_END_OF_RUN), 1);
  EXPECT_EQ(Message(), "");
  EXPECT_FALSE(ApplicationVisible());
  EXPECT_EQ(model.timestep, 2u);
  EXPECT_EQ(RunLines().size(), 1u);

  model.caseDetails.macros[model::kEndOfRunEvent] = kMacro;
  EXPECT_EQ(Command(model, EXT_CMD_STOP_RUN), 0);
  EXPECT_TRUE(ApplicationVisible());
  EXPECT_EQ(model.timestep, 0u);
  EXPECT_TRUE(status_.GuardsIntact());

  // Without hiding the window is left as the user put it.
  model.caseDetails.hideInterface = false;
  EXPECT_EQ(model.OnStartOfRun(nullptr, Status()), 0);
  EXPECT_TRUE(ApplicationVisible());
}

TEST_F(ModelEventsTest, AFailingMacroIsReportedToTheHost) {
  CExcModel model;
  Open(model);
  const std::string expected =
      "Unable to run macro " + std::string(kFailingMacro) + " (Exception occurred.)";
  for (std::size_t e : {model::kStartOfTimestepEvent, model::kPostSolveEvent,
                        model::kStartOfRunEvent, model::kPostSolve2Event}) {
    model.caseDetails.macros = {};
    model.caseDetails.macros[e] = kFailingMacro;
    ClearMessage();
    EXPECT_EQ(Command(model, model::kRunEvents[e].hostCodes[0]), 1) << e;
    EXPECT_EQ(Message(), expected) << e;
  }
  // A name too long for the status record is cut to fit.
  model.caseDetails.macros[model::kPreSolveEvent] = std::string(400, 'm');
  EXPECT_EQ(model.RunEventMacro(model::kPreSolveEvent, Status()), 1);
  EXPECT_EQ(Message().size(), EXT_STATUS_TEXT_SIZE - 1u);
  EXPECT_EQ(model.RunEventMacro(model::kEventCount, Status()), 1);
  EXPECT_EQ(Message(), "There is no run-time event 7");
  EXPECT_TRUE(status_.GuardsIntact());
}

TEST_F(ModelEventsTest, WithoutASessionEventsAnswerThatThereIsNoConnection) {
  CExcModel model;
  Open(model);
  model.caseDetails.hideInterface = true;
  ASSERT_EQ(model.StopApplication(), 0);
  ASSERT_EQ(model.Session(), nullptr);

  // Blank names need no session.
  model.timestep = 4;
  for (const model::RunEventInfo& info : model::kRunEvents)
    EXPECT_EQ(Command(model, info.hostCodes[0]), 0) << info.label;
  EXPECT_EQ(model.timestep, 0u);

  model.caseDetails.macros.fill(kMacro);
  for (const model::RunEventInfo& info : model::kRunEvents) {
    std::memset(status_.bytes.data() + 4, kMarker, EXT_STATUS_TEXT_SIZE);
    model.timestep = 4;
    EXPECT_EQ(Command(model, info.hostCodes[0]), 1) << info.label;
    if (info.event == model::kEndOfRunEvent) {
      EXPECT_EQ(status_.bytes[4], kMarker) << "the end of run writes no message";
      EXPECT_EQ(model.timestep, 4u);
    } else {
      EXPECT_EQ(Message(), model::kNoConnectionMessage) << info.label;
    }
  }
  EXPECT_TRUE(status_.GuardsIntact());
}

}  // namespace
