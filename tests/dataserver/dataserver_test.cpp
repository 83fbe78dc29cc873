// The data server: the tag's indexes, every branch read and written, the
// per-request sheet list, cell contents and the server options; the command
// parser and each command's session calls and failures.
#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <optional>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "automation/cell_address.h"
#include "data_server_fixture.h"
#include "dataserver/commands.h"
#include "dataserver/request.h"
#include "dataserver/tag_objects.h"
#include "model/run_events.h"
#include "platform/files.h"

namespace dataserver_test {
namespace {

using dataserver::DataServerRequest;

// A read's status, value and message, compared at once.
using Outcome = std::tuple<std::int32_t, std::string, std::string>;
Outcome Of(const ReadResult& read) {
  return {read.status, read.value, read.message};
}
// Found by nothing: the read fails without a value or a message.
const Outcome kNothing{1, "", ""};

TEST(RequestTest, IndexesAreReadOnlyWhenWellFormed) {
  constexpr std::size_t kHuge = std::numeric_limits<std::size_t>::max() / 10 * 10;
  // The tag, its position index, else its key index, and what is left after them.
  // clang-format off
  const std::tuple<const char*, std::optional<std::size_t>, std::optional<std::string>, const char*>
      cases[] = {
          {"[12].x", 12, "", ".x"}, {"[0]", 0, "", ""}, {"[12", {}, "", "[12"}, {"[", {}, "", "["},
          {"[123456789012345678901234567890]", kHuge, "", ""}, {"[12x]", {}, "", "[12x]"},
          {"[]", {}, "", "[]"}, {"[{Da ta}].y", {}, "Da ta", ".y"}, {"[{}]", {}, "", ""},
          {"[{Data]", {}, {}, "[{Data]"}, {"[{Data}", {}, {}, "[{Data}"},
          {"[{Da}ta}]", {}, {}, "[{Da}ta}]"}, {".[{Data}]", {}, "", ".[{Data}]"}};
  // clang-format on
  for (const auto& [rest, position, key, left] : cases) {
    SCOPED_TRACE(rest);
    DataServerRequest request(rest, DataServerRequest::kRead);
    EXPECT_EQ(request.ReadPositionIndex(), position);
    if (!position) {
      EXPECT_EQ(request.ReadKeyIndex(), key);
    }
    EXPECT_EQ(request.Tag().substr(request.position), left);
  }
}

// Every key of the CaseDetails branch, written then read by each of its
// names; aliases reach the same field.
TEST_F(DataServerTest, CaseDetailsKeysReadAndWriteTheirFields) {
  casedata::CExcCaseDetails& details = model_->caseDetails;
  for (const char* key : {"FileName", "PlugIns"}) {
    SCOPED_TRACE(key);
    ASSERT_EQ(Write(std::string("Excel.CaseDetails.") + key, "/tmp/a;b"), 0);
    EXPECT_EQ(Read("excel.casedetails." + std::string(key)).value, "/tmp/a;b");
  }
  EXPECT_EQ(std::tie(details.fileName, details.plugIns), std::tuple("/tmp/a;b", "/tmp/a;b"));

  for (const model::RunEventInfo& info : model::kRunEvents) {
    SCOPED_TRACE(info.label);
    const std::string macro = "Macro" + std::to_string(info.event);
    ASSERT_EQ(Write("Excel.CaseDetails." + std::string(info.macroKey), macro), 0);
    EXPECT_EQ(details.macros[info.event], macro);
    const std::string flagTag = "Excel.CaseDetails." + std::string(info.flagKey);
    for (const auto& [written, expected] :
         std::vector<std::pair<std::string, bool>>{{"7", true}, {"0", false}, {"-3", true}}) {
      ASSERT_EQ(Write(flagTag, written), 0);
      EXPECT_EQ(details.passDate[info.event], expected) << written;
      EXPECT_EQ(Read(flagTag).value, expected ? "1" : "0");
    }
    for (const std::string_view key : {info.macroKey, info.macroAlias}) {
      if (!key.empty()) {
        EXPECT_EQ(Read("Excel.CaseDetails." + std::string(key)).value, macro);
      }
    }
    if (!info.flagAlias.empty()) {
      EXPECT_EQ(Read("Excel.CaseDetails." + std::string(info.flagAlias)).value, "1");
    }
  }
  EXPECT_EQ(Write("Excel.CaseDetails.Macro", "Aliased"), 0);
  EXPECT_EQ(details.macros[model::kStartOfTimestepEvent], "Aliased");

  // The shared path is always empty; a write is taken and dropped.
  EXPECT_EQ(Write("Excel.CaseDetails.SharedPath", "/shared"), 0);
  EXPECT_EQ(Of(Read("Excel.CaseDetails.SharedPath")), Outcome(0, "", ""));

  for (const char* tag : {"Excel.CaseDetails.Nothing", "Excel.CaseDetails", "Excel.Case.FileName",
                          "Book.CaseDetails.FileName", "ExcelX.CaseDetails.FileName"}) {
    SCOPED_TRACE(tag);
    EXPECT_EQ(Of(Read(tag)), kNothing);
    EXPECT_EQ(Write(tag, "x"), 1);
    EXPECT_EQ(Message(), "");
  }
}

TEST_F(DataServerTest, NextEventTakesNumbersAndDates) {
  EXPECT_EQ(Read("Excel.NextEvent").value, "3.4e+35");
  // Which texts are dates; how a date text reads is OleDateText's.
  const std::pair<const char*, double> cases[] = {{"1.5", 1.5},
                                                  {"1/6/2024 3:00:00 PM", 45297.625},
                                                  {"2024-01-06 15:00", 45297.625},
                                                  {" 2024-1-6 06:00:00 ", 45297.25}};
  for (const auto& [written, expected] : cases) {
    SCOPED_TRACE(written);
    ASSERT_EQ(Write("Excel.nextevent", written), 0) << Message();
    EXPECT_DOUBLE_EQ(model_->nextEvent, expected);
  }
  EXPECT_EQ(Read("Excel.NextEvent").value, "45297.2");
  // Two "/" or two "-" make a date; one that cannot be read changes nothing.
  for (const char* bad : {"13/45/2024", "2024-02-30", "a-b-c"}) {
    SCOPED_TRACE(bad);
    EXPECT_EQ(Write("Excel.NextEvent", bad), 1);
    EXPECT_EQ(Message(), "");
    EXPECT_DOUBLE_EQ(model_->nextEvent, 45297.25);
  }
}

TEST_F(DataServerTest, TheSheetListIsTheModelsCachedNamesForOneRequest) {
  // Count counts the cached names, whatever the workbook holds.
  model_->sheetNames.push_back("Cached");
  EXPECT_EQ(Read("Excel.Sheet.Count").value, "4");
  EXPECT_EQ(Read("Excel.Sheet[3].SheetName").value, "Cached");
  EXPECT_EQ(Read("Excel.sheet[1].sheetname").value, "Results");
  EXPECT_EQ(Read("Excel.Sheet[{Notes}].SheetName").value, "Notes");
  EXPECT_EQ(Read("excel...SHEET..count").value, "4") << "any run of dots, any case";

  // Found by nothing: no message. (Malformed indexes are the request's test.)
  for (const char* tag :
       {"Excel.Sheet[7].SheetName", "Excel.Sheet[{Missing}].SheetName",
        "Excel.Sheet[{data}].SheetName", "Excel.Sheet[{Data}.SheetName", "Excel.Sheet.Add",
        "Excel.Sheet[0].Other", "Excel.Sheets.Count", "Excel.Sheet.$Count"})
    EXPECT_EQ(Of(Read(tag)), kNothing) << tag;

  // Writes to the list or a read-only property succeed and change nothing.
  const std::vector<std::string> names = model_->sheetNames;
  const std::pair<const char*, const char*> writes[] = {
      {"Excel.Sheet.Count", "9"},  {"Excel.Sheet[0].SheetName", "Renamed"},
      {"Excel.Sheet.Add", ""},     {"Excel.Sheet.Reset", ""},
      {"Excel.Sheet.Delete", "0"}, {"Excel.Sheet.Delete", "3"}};
  for (const auto& [tag, value] : writes)
    EXPECT_EQ(Write(tag, value), 0) << tag << ": " << Message();
  EXPECT_EQ(model_->sheetNames, names);
  EXPECT_EQ(Application()->ActiveWorkbook()->SheetNames(),
            (std::vector<std::string>{"Data", "Results", "Notes"}));
  EXPECT_EQ(recorder_->Transcript(), "");

  for (const char* index : {"4", "-1", "99999999999999999999", "x4"}) {
    SCOPED_TRACE(index);
    EXPECT_EQ(Write("Excel.Sheet.Delete", index), index == std::string("x4") ? 0 : 1);
    EXPECT_EQ(Message(), index == std::string("x4") ? "" : dataserver::kInvalidIndexMessage);
  }
}

TEST_F(DataServerTest, ContentReadsJoinTheCellsTexts) {
  SetCell("Data", "A1", com::Variant::Double(1.5));
  SetCell("Data", "B2", com::Variant::Text("two"));
  SetCell("Data", "A3", com::Variant::Double(1));
  SetCell("Data", "A4", com::Variant::Double(2));
  SetCell("Results", "C3", com::Variant::Text("   "));
  const std::pair<const char*, const char*> cases[] = {
      {"excel.sheet[{Data}].cell[{a1}].content", "1.5"},
      {"Excel.Sheet[0].Cell[{A1|B2}].Content", "1.5|two"},
      {"Excel.Sheet[0].Cell[{|A1|||B2|}].Content", "1.5|two"},  // runs count as one
      {"Excel.Sheet[0].Cell[{A2|A3|A4}].Content", "1|2"},       // no leading separators
      {"Excel.Sheet[0].Cell[{A1|  |B2}].Content", "1.5"},       // a blank piece ends it
      {"Excel.Sheet[0].Cell[{2:2|1:1}].Content", "two|1.5"},    // column:row pairs
      {"Excel.Sheet[0].Cell.Content", ""},
      {"Excel.Sheet[{Results}].Cell[{C3|A1}].Content", "   "}};  // spaces only count as blank
  for (const auto& [tag, expected] : cases)
    EXPECT_EQ(Of(Read(tag)), Outcome(0, expected, "")) << tag;
  for (const char* tag : {"Excel.Sheet[0].Cell[{A1}].Value", "Excel.Sheet[0].Cell[{A1}.Content",
                          "Excel.Sheet[0].Cells[{A1}].Content"})
    EXPECT_EQ(Of(Read(tag)), kNothing) << tag;
}

TEST_F(DataServerTest, ContentWritesWalkValuesAndCellsInStep) {
  SetCell("Data", "C2", com::Variant::Text("kept"));
  ASSERT_EQ(Write("Excel.Sheet[{Data}].Cell[{B1|B2|B3}].Content", "5|6"), 0) << Message();
  ASSERT_EQ(Write("Excel.Sheet[0].Cell[{C1|C2|C3}].Content", "7|  |8"), 0);  // blank: kept
  ASSERT_EQ(Write("Excel.Sheet[0].Cell[{D1| |D3}].Content", "1|2|3"), 0);    // a blank cell ends it
  ASSERT_EQ(Write("Excel.Sheet[2].Cell[{3:4||E1}].Content", "x||y|z"), 0);
  std::string texts;
  for (const char* cell : {"B1", "B2", "B3", "C1", "C2", "C3", "D1", "D3"})
    texts += Cell("Data", cell) + ";";
  EXPECT_EQ(texts, "5;6;;7;kept;;1;;");
  EXPECT_EQ(Cell("Notes", "C4") + ";" + Cell("Notes", "E1"), "x;y");
}

TEST_F(DataServerTest, ContentFailuresGiveTheirMessages) {
  // The tag, the member that fails (none: the tag alone fails), the read's
  // and the write's message.
  const std::tuple<const char*, const char*, const char*, const char*> cases[] = {
      {"Excel.Sheet[0].Cell[7].Content", nullptr, "Cells can not be indexed by number",
       "Cells can not be indexed by number"},
      {"Excel.Sheet[0].Cell[{A1|B1}].Content", "Range.Invoke", "Could not get Data.Cell[A1]",
       "Error in setting data cell A1, worksheet Data"},
      {"Excel.Sheet[{Ghost}].Cell[{A1}].Content", nullptr, "Unable to get worksheet Ghost",
       "Unable to get worksheet Ghost"}};
  model_->sheetNames.push_back("Ghost");  // cached, but not in the workbook
  for (const auto& [tag, member, read, write] : cases) {
    SCOPED_TRACE(tag);
    for (const bool writing : {false, true}) {
      recorder_->ClearFaults();
      if (member != nullptr) recorder_->FailCall(member, com::E_FAIL);
      EXPECT_EQ(writing ? Write(tag, "1|2") : Read(tag).status, 1);
      EXPECT_EQ(Message(), writing ? write : read);
    }
  }
  recorder_->ClearFaults();
  EXPECT_EQ(Cell("Data", "B1"), "") << "the walk ends at the failure";
}

TEST_F(DataServerTest, LongResultsComeWhole) {
  // The host record's result area cuts them (its codec's test).
  SetCell("Data", "A1", com::Variant::Text("a"));
  std::string cells = "A1", joined = "a";
  for (int row = 2; row <= 171; ++row) {
    SetCell("Data", "A" + std::to_string(row), com::Variant::Text("\u00e9a"));
    cells += "|A" + std::to_string(row);
    joined += "|\u00e9a";
  }
  EXPECT_EQ(Of(Read("Excel.Sheet[0].Cell[{" + cells + "}].Content")), Outcome(0, joined, ""));
}

TEST_F(DataServerTest, ServerOptionsUseTheSession) {
  EXPECT_EQ(Read("Excel.ServerOptions.LockUpdate").value, "0");
  ASSERT_EQ(Write("Excel.ServerOptions.LockUpdate", "2"), 0);
  EXPECT_EQ(Application()->CurrentProperties().screenUpdating, com::VARIANT_FALSE);
  EXPECT_EQ(Read("Excel.ServerOptions.lockupdate").value, "1");
  ASSERT_EQ(Write("Excel.ServerOptions.LockUpdate", "0"), 0);
  EXPECT_EQ(Application()->CurrentProperties().screenUpdating, com::VARIANT_TRUE);
  EXPECT_EQ(Read("Excel.ServerOptions.IsAlive").value, "1");

  EXPECT_EQ(Write("Excel.ServerOptions.IsAlive", "1"), 1);
  EXPECT_EQ(Message(), "");
  recorder_->FailCall("Application.PutScreenUpdating", com::E_FAIL);
  EXPECT_EQ(Write("Excel.ServerOptions.LockUpdate", "1"), 1);
  EXPECT_EQ(Message(), "Call to LockUpdate failed (automation error)");
  recorder_->FailCall("Application.GetScreenUpdating", com::E_FAIL);
  EXPECT_EQ(Of(Read("Excel.ServerOptions.LockUpdate")), kNothing);
  recorder_->FailCall("Workbook.GetSheets", com::RPC_E_DISCONNECTED);
  EXPECT_EQ(Read("Excel.ServerOptions.IsAlive").value, "0");
}

using dataserver::CExtDataServerCmdArgument;
using Type = CExtDataServerCmdArgument::Type;

// An argument's type, text, integer and number.
using Argument = std::tuple<std::int32_t, std::string, std::int32_t, double>;

struct ParseCase {
  std::string command;
  int result;
  std::string error;
  std::vector<Argument> arguments;
  std::size_t minCount = 0;
};

// A command's status and message.
using Said = std::pair<std::int32_t, std::string>;

TEST(ParseCommandTest, ArgumentsAsTheHostWritesThem) {
  static constexpr Type kWord = Type::kWord, kQuoted = Type::kQuoted, kReal = Type::kReal,
                        kInteger = Type::kInteger;
  const auto word = [](const std::string& text) { return Argument{kWord, text, 0, 0}; };
  const auto quoted = [](const char* text) {
    return Argument{kQuoted, text, 0, automation::kUndefinedValue};
  };
  const std::string longText(300, 'x');
  const std::vector<ParseCase> cases = {
      // clang-format off
      {"Excel.RunMacro( Recalc )", 0, "", {word("Recalc ")}},
      {"Excel.RunMacro( 12 )", 0, "", {{kInteger, "12 ", 12, 12}}},
      {"Excel.RunMacro(-1.5e3)", 0, "", {{kReal, "-1.5e3", -1, -1500}}},
      {"Excel.RunMacro(.5, +7)", 0, "", {{kReal, ".5", 0, 0.5}, {kInteger, "+7", 7, 7}}},
      {"Excel.RunMacro(99999999999)", 0, "", {{kInteger, "99999999999", 2147483647, 1e11 - 1}}},
      {"Excel.RunMacro('it''s')", 0, "", {quoted("it''s")}},
      {"Excel.RunMacro('')", 0, "", {quoted("")}},
      {"Excel.RunMacro(\"x) y\", {p, q})", 0, "", {quoted("x) y"), quoted("p, q")}},
      {"Excel.RunMacro(a'b\")", 0, "", {word("a'b\"")}},
      {"Excel.RunMacro(1'2)", 0, "", {{kReal, "1'2", 1, 1}}},
      {"Excel.RunMacro(a,,b)", 0, "", {word("a"), word("b")}}, {"Excel.RunMacro(,,)", 0, "", {}},
      {"Excel.RunMacro()", 0, "", {}}, {"Excel.RunMacro", 0, "", {}},
      {"Excel.RunMacro.anything[x](z)", 0, "", {word("z")}},
      {"excel.runmacro(" + longText + ")", 0, "", {word(longText.substr(0, 255))}},
      {"Excel.RunMacro", 1, "Bad argument", {}, 1},
      {"Excel.RunMacro('Recalc'", 1, "Syntax error", {}},
      {"Excel.RunMacro('Recalc)", 1, "Syntax error", {}},
      {"Excel.RunMacro(a, b, c, d)", 1, "Bad number of arguments", {}},
      {"Excel.RunMacros(a)", -1, "", {}}, {"Excel.Other(a)", -1, "", {}}};
  // clang-format on
  for (const ParseCase& c : cases) {
    SCOPED_TRACE(c.command);
    DataServerRequest request(c.command, DataServerRequest::kCommand);
    ASSERT_TRUE(request.MatchElement("Excel"));
    dataserver::CExtDataServerCmdArgumentCollection arguments(2);  // cleared by the parser
    EXPECT_EQ(dataserver::ParseCommand(request, "RunMacro", arguments, c.minCount, 3), c.result);
    EXPECT_EQ(request.error, c.error);
    std::vector<Argument> parsed;
    for (const auto& a : arguments)
      parsed.emplace_back(a.type, a.text, a.integerValue, a.number);
    if (c.result == 0) {
      EXPECT_EQ(parsed, c.arguments);
    }
  }
}

class CommandTest : public DataServerTest {
 protected:
  void SetUp() override {
    registration_.OnCreate([this](test_support::MemoryApplication& application) {
      application.RegisterMacro("Recalc", [this](auto& app, const auto&) {
        ++recalcs_;
        app.ActiveWorkbook()->SetCellValue("Results", "A1", com::Variant::Double(recalcs_));
        return com::Variant();
      });
      application.RegisterMacro("a,b", [](auto&, const auto&) { return com::Variant(); });
    });
    DataServerTest::SetUp();
  }
  Said Run(const std::string& command) {
    const std::int32_t status = Execute(command);
    return {status, Message()};
  }
  const Said kDone{0, ""};
  const Said kBadCount{1, "Bad number of arguments"};
  int recalcs_ = 0;
};

TEST_F(CommandTest, RunMacroRunsItByEitherForm) {
  for (const char* command : {"Excel.RunMacro(Recalc)", "excel.runmacro('Recalc')",
                              "Excel.RunMacro(\"Recalc\")", "Excel.RunMacro('a,b')"})
    EXPECT_EQ(Execute(command), 0) << command << ": " << Message();
  EXPECT_EQ(recalcs_, 3);
  EXPECT_EQ(Cell("Results", "A1"), "3");
  EXPECT_EQ(recorder_->CallsOf("Application.Run").back().arguments[0], com::Variant::Text("a,b"));

  const std::vector<std::pair<const char*, const char*>> failures = {
      // The parser's own errors are its test's; these pin RunMacro's one argument.
      {"Excel.RunMacro()", "Bad number of arguments"},
      {"Excel.RunMacro(a, b)", "Bad number of arguments"},
      {"Book.RunMacro(Recalc)", "Invalid prefix"},
      {"Excel.RunMacro(Missing)", "Unable to run macro Missing ("}};
  for (const auto& [command, message] : failures) {
    SCOPED_TRACE(command);
    EXPECT_EQ(Execute(command), 1);
    EXPECT_EQ(Message().substr(0, std::strlen(message)), message);
  }
  EXPECT_EQ(recalcs_, 3);
}

TEST_F(CommandTest, SwitchUpdateAndUnknownCommands) {
  EXPECT_EQ(Execute("Excel.SwitchWorksheet(Results)"), 0) << Message();
  EXPECT_EQ(recorder_->CountOf("Worksheet.Activate"), 1u);
  EXPECT_EQ(Run("Excel.SwitchWorksheet('Missing')"), Said(1, "Failed to switch to Missing"));

  for (const char* command : {"Excel.Update", "Excel.Update()"}) {
    SCOPED_TRACE(command);
    ASSERT_EQ(model_->Session()->LockUpdate(true), 0);
    EXPECT_EQ(Execute(command), 0);
    EXPECT_EQ(Application()->CurrentProperties().screenUpdating, com::VARIANT_TRUE);
  }
  EXPECT_EQ(Run("Excel.Update(1)"), kBadCount);
  recorder_->FailCall("Application.PutScreenUpdating", com::E_FAIL);
  EXPECT_EQ(Run("Excel.Update"), Said(1, "Update failed"));

  recorder_->Clear();
  for (const char* command : {"Excel.Recalculate()", "Excel.", "Excel", "Excel.Update2()"})
    EXPECT_EQ(Run(command), kDone) << command;
  EXPECT_EQ(recorder_->Transcript(), "");

  // Without a session a parse error still comes first.
  model_->StopApplication();
  EXPECT_EQ(Run("Excel.Update(1)"), kBadCount);
  EXPECT_EQ(Run("Excel.Update"), Said(1, "There is no connection to Excel"));
}

TEST_F(CommandTest, OpenFileSwitchesTheCaseWorkbook) {
  const std::string other = MakeWorkbookFile("other, copy.xlsx", {"Alpha", "Beta"});
  ASSERT_EQ(Execute("Excel.OpenFile('" + other + "')"), 0) << Message();
  EXPECT_EQ(model_->caseDetails.fileName, other);
  EXPECT_EQ(Application()->ActiveWorkbook()->Path(), other);
  EXPECT_EQ(Read("Excel.Sheet.Count").value, "2") << "the cached names follow the open";
  EXPECT_EQ(Read("Excel.Sheet[1].SheetName").value, "Beta");

  // A failed open keeps the previous name.
  recorder_->FailCall("Workbooks.Open", com::E_FAIL);
  EXPECT_EQ(Execute("Excel.OpenFile(" + path_ + ")"), 1);
  EXPECT_NE(Message(), "");
  EXPECT_EQ(model_->caseDetails.fileName, other);
  EXPECT_EQ(Execute("Excel.OpenFile()"), 1);
  EXPECT_EQ(model_->caseDetails.fileName, other);
}

TEST_F(CommandTest, SaveFileAndSaveAsFile) {
  EXPECT_EQ(Execute("Excel.SaveFile()"), 0) << Message();
  EXPECT_EQ(recorder_->CountOf("Workbook.Save"), 1u);
  const std::string copy = folder_.File("copy, (1).xlsx");
  EXPECT_EQ(Execute("Excel.SaveAsFile('" + copy + "')"), 0) << Message();
  EXPECT_TRUE(platform::FileExists(copy));
  EXPECT_EQ(Application()->ActiveWorkbook()->Path(), path_) << "the session stays on its file";
  EXPECT_EQ(Run("Excel.SaveFile(x)"), kBadCount);

  recorder_->FailCall("Workbook.Save", com::E_FAIL);
  EXPECT_EQ(Execute("Excel.SaveFile"), 1);
  EXPECT_EQ(Message().rfind("Failed to save: ", 0), 0u) << Message();
  recorder_->FailCall("Workbook.SaveCopyAs", com::E_FAIL);
  EXPECT_EQ(Execute("Excel.SaveAsFile('" + copy + "')"), 1);
  EXPECT_NE(Message(), "");
  // Unquoted, the path's "," and ")" end it.
  EXPECT_EQ(Run("Excel.SaveAsFile(" + copy + ")"), kBadCount);

  // A workbook made new for a missing file is saved to that file.
  const std::string fresh = folder_.File("fresh.xlsx");
  ASSERT_EQ(Execute("Excel.OpenFile(" + fresh + ")"), 0) << Message();
  recorder_->Clear();
  EXPECT_EQ(Execute("Excel.SaveFile"), 0) << Message();
  EXPECT_EQ(recorder_->CountOf("Workbook.Save"), 0u);
  EXPECT_TRUE(platform::FileExists(fresh));
}

}  // namespace
}  // namespace dataserver_test
