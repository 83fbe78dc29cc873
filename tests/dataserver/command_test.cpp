// Data-server commands: the argument parser over its cases, and each
// command's session calls and failures.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "automation/cell_address.h"
#include "data_server_fixture.h"
#include "dataserver/commands.h"
#include "platform/files.h"

namespace dataserver_test {
namespace {

using dataserver::CExtDataServerCmdArgument;
using dataserver::DataServerRequest;
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
using Outcome = std::pair<std::int32_t, std::string>;

constexpr double kQuotedNumber = automation::kUndefinedValue;

TEST(ParseCommandTest, ArgumentsAsTheHostWritesThem) {
  static constexpr Type kWord = Type::kWord, kQuoted = Type::kQuoted, kReal = Type::kReal,
                        kInteger = Type::kInteger;
  const auto word = [](const std::string& text) { return Argument{kWord, text, 0, 0}; };
  const auto quoted = [](const char* text) { return Argument{kQuoted, text, 0, kQuotedNumber}; };
  const std::string longText(300, 'x');
  const std::vector<ParseCase> cases = {
      {"Excel.RunMacro(Recalc)", 0, "", {word("Recalc")}},
      {"Excel.RunMacro('Recalc')", 0, "", {quoted("Recalc")}},
      {"Excel.RunMacro( Recalc )", 0, "", {word("Recalc ")}},
      {"Excel.RunMacro( 12 )", 0, "", {{kInteger, "12 ", 12, 12}}},
      {"Excel.RunMacro(-1.5e3)", 0, "", {{kReal, "-1.5e3", -1, -1500}}},
      {"Excel.RunMacro(.5, +7)", 0, "", {{kReal, ".5", 0, 0.5}, {kInteger, "+7", 7, 7}}},
      {"Excel.RunMacro(99999999999)", 0, "", {{kInteger, "99999999999", 2147483647, 1e11 - 1}}},
      {"Excel.RunMacro('a,b')", 0, "", {quoted("a,b")}},
      {"Excel.RunMacro('it''s')", 0, "", {quoted("it''s")}},
      {"Excel.RunMacro(\"x) y\", {p, q})", 0, "", {quoted("x) y"), quoted("p, q")}},
      {"Excel.RunMacro(a'b\")", 0, "", {word("a'b\"")}},
      {"Excel.RunMacro(1'2)", 0, "", {{kReal, "1'2", 1, 1}}},
      {"Excel.RunMacro('')", 0, "", {quoted("")}},
      {"Excel.RunMacro(a,,b)", 0, "", {word("a"), word("b")}},
      {"Excel.RunMacro(,,)", 0, "", {}},
      {"Excel.RunMacro()", 0, "", {}},
      {"Excel.RunMacro", 0, "", {}},
      {"Excel.RunMacro.anything[x](z)", 0, "", {word("z")}},
      {"excel.runmacro(" + longText + ")", 0, "", {word(longText.substr(0, 255))}},
      {"Excel.RunMacro()", 1, "Bad number of arguments", {}, 1},
      {"Excel.RunMacro", 1, "Bad argument", {}, 1},
      {"Excel.RunMacro('Recalc'", 1, "Syntax error", {}},
      {"Excel.RunMacro('Recalc)", 1, "Syntax error", {}},
      {"Excel.RunMacro(a, b, c, d)", 1, "Bad number of arguments", {}},
      {"Excel.RunMacros(a)", -1, "", {}},
      {"Excel.Other(a)", -1, "", {}},
  };
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
  Outcome Run(const std::string& command) {
    const std::int32_t status = Execute(command);
    return {status, Message()};
  }
  const Outcome kDone{0, ""};
  const Outcome kBadCount{1, "Bad number of arguments"};
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
      {"Excel.RunMacro(Missing)", "Unable to run macro Missing ("},
  };
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
  EXPECT_EQ(Run("Excel.SwitchWorksheet('Missing')"), Outcome(1, "Failed to switch to Missing"));

  for (const char* command : {"Excel.Update", "Excel.Update()"}) {
    SCOPED_TRACE(command);
    ASSERT_EQ(model_->Session()->LockUpdate(true), 0);
    EXPECT_EQ(Execute(command), 0);
    EXPECT_EQ(Application()->CurrentProperties().screenUpdating, com::VARIANT_TRUE);
  }
  EXPECT_EQ(Run("Excel.Update(1)"), kBadCount);
  recorder_->FailCall("Application.PutScreenUpdating", com::E_FAIL);
  EXPECT_EQ(Run("Excel.Update"), Outcome(1, "Update failed"));

  recorder_->Clear();
  for (const char* command : {"Excel.Recalculate()", "Excel.", "Excel", "Excel.Update2()"})
    EXPECT_EQ(Run(command), kDone) << command;
  EXPECT_EQ(recorder_->Transcript(), "");

  // Without a session every command fails; a parse error still comes first.
  model_->StopApplication();
  for (const char* command :
       {"Excel.RunMacro(Recalc)", "Excel.SwitchWorksheet(Data)", "Excel.Update",
        "Excel.OpenFile(x)", "Excel.SaveFile", "Excel.SaveAsFile(x)"})
    EXPECT_EQ(Run(command), Outcome(1, "There is no connection to Excel")) << command;
  EXPECT_EQ(Run("Excel.Update(1)"), kBadCount);
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
