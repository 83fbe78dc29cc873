// The Basic the driver places into a workbook while its macros run: what is
// changed, what is left alone, and that the workbook's own text comes back.
#include "excel/calc/basic_source.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace excel::calc {
namespace {

TEST(PreparedForRun, ChangesOnlyWhatNeedsItAndKeepsEveryLineNumber) {
  struct Case {
    const char* name;
    std::string source;
    bool changed, standIns;
    const char* redirected;  // a text the prepared source must hold, if any
  };
  const Case cases[] = {
      {"plain", "Sub Go()\n  Range(\"A1\").Value = 1\nEnd Sub\n", false, false, nullptr},
      {"message box", "Sub Go()\n  MsgBox \"hi\"\nEnd Sub", true, true, nullptr},
      {"input box in any case", "Sub Go()\n  x = INPUTBOX(\"v?\")\nEnd Sub\n", true, true, nullptr},
      {"only a longer word", "Sub Go()\n  MsgBoxes = 1\n  MyInputBox 2\nEnd Sub\n", false, false,
       nullptr},
      {"its own message box", "Sub Go()\n  MsgBox 1\nEnd Sub\nFunction MsgBox(x)\nEnd Function\n",
       false, false, nullptr},
      {"full calculation",
       "Sub Go()\n  application.calculatefull\n  Application.CalculateFullRebuild\nEnd Sub\n", true,
       false, "  GridmoorSupport.GmCalculateFull\n  GridmoorSupport.GmCalculateFull\n"},
      {"plain calculation stays", "Sub Go()\n  Application.Calculate\nEnd Sub\n", false, false,
       nullptr}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::optional<std::string> prepared = PreparedForRun(c.source);
    ASSERT_EQ(prepared.has_value(), c.changed);
    if (!prepared) {
      EXPECT_EQ(AsBeforePreparing(c.source), c.source);
      continue;
    }
    EXPECT_EQ(prepared->find("Private Function MsgBox(") != std::string::npos, c.standIns);
    EXPECT_EQ(prepared->find("Private Function InputBox(") != std::string::npos, c.standIns);
    if (c.redirected) {
      EXPECT_NE(prepared->find(c.redirected), std::string::npos) << *prepared;
    }
    // What was there keeps its lines: a runtime error's line stays the user's;
    // with nothing redirected it is given back as it was, ended by a newline.
    const std::string_view before = AsBeforePreparing(*prepared);
    const std::string ended = c.source.back() == '\n' ? c.source : c.source + "\n";
    EXPECT_EQ(std::count(before.begin(), before.end(), '\n'),
              std::count(ended.begin(), ended.end(), '\n'));
    if (!c.redirected) {
      EXPECT_EQ(before, ended);
    }
    // Prepared once; its procedures read as the module's own.
    EXPECT_FALSE(PreparedForRun(*prepared).has_value());
    EXPECT_EQ(AsBeforePreparing(*prepared).find("MsgBox(Optional"), std::string_view::npos);
  }
}

TEST(PreparedForRun, FormulaAssignmentsToRangesGoToTheSupportModule) {
  struct Case {
    const char* body;      // lines of a Sub
    const char* prepared;  // nullptr: left as it is
  };
  const Case cases[] = {
      {"  Range(\"A2:C7\").Formula = \"=SUM(First!A2+1)\"",
       "  GridmoorSupport.GmSetFormula Range(\"A2:C7\"), 0, \"=SUM(First!A2+1)\""},
      {"Sheets(\"A b\").Range(\"A1:B2\").formulalocal=f ' set .Formula = 1",
       "GridmoorSupport.GmSetFormula Sheets(\"A b\").Range(\"A1:B2\"), 1,f ' set .Formula = 1"},
      {"  With Range(\"A1:A3\")\n    .Formula = \"=B1\": .Cells(1, 1).Formula = x\n  End With",
       "  With Range(\"A1:A3\")\n    GridmoorSupport.GmSetFormula .Cells, 0, \"=B1\": "
       "GridmoorSupport.GmSetFormula .Cells(1, 1), 0, x\n  End With"},
      {"  If ok Then r.Formula = \"=A1\" Else r.Formula = \"=\"\"a:b\"\"\"",
       "  If ok Then GridmoorSupport.GmSetFormula r, 0, \"=A1\" Else GridmoorSupport.GmSetFormula "
       "r, 0, \"=\"\"a:b\"\"\""},
      {"  r.Formula = _\n    \"=A1\"", "  GridmoorSupport.GmSetFormula r, 0, _\n    \"=A1\""},
      // Comparisons, comments, texts, other properties and continued lines.
      {"  If r.Formula = \"=A1\" Then x = 1", nullptr},
      {"  ' Range(\"A1:B2\").Formula = 1\n  Rem r.Formula = 1", nullptr},
      {"  Debug.Print \"Range(\"\"A1\"\").Formula = 1\"", nullptr},
      {"  r.FormulaR1C1 = \"=RC[1]\"\n  r.MyFormula = 1\n  Formula = 2", nullptr},
      {"  Call Show(1, _\n    r.Formula = 2)", nullptr},
      {"  x = Cells(1, 1).Formula = \"=A1\"", nullptr}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.body);
    const std::string source = std::string("Sub Go()\n") + c.body + "\nEnd Sub\n";
    const std::optional<std::string> prepared = PreparedForRun(source);
    if (c.prepared == nullptr) {
      EXPECT_FALSE(prepared) << *prepared;
      continue;
    }
    ASSERT_TRUE(prepared);
    EXPECT_EQ(AsBeforePreparing(*prepared), std::string("Sub Go()\n") + c.prepared + "\nEnd Sub\n");
  }
}

TEST(DecodeDialogs, EachRecordBecomesOneSentence) {
  const std::string recorded = std::string("MContinue?\x1f") + "6\x1e" + "IPressure\nin psig?\x1f" +
                               "250\x1e" + "M\x1f" + "1\x1e" + "Xunknown\x1e" + "Mcut short";
  const std::vector<std::string> expected = {
      "showed a message box: \"Continue?\" (answered 6)",
      "asked for input: \"Pressure\nin psig?\" (answered with its default \"250\")",
      "showed a message box: \"\" (answered 1)", "showed a message box: \"cut short\" (answered )"};
  EXPECT_EQ(DecodeDialogs(recorded), expected);
  EXPECT_TRUE(DecodeDialogs("").empty());
}

TEST(Wrappers, EachHasItsOwnModuleNamedSoThatItIsKnownAsOurs) {
  EXPECT_EQ(WrapperName(1), "GridmoorCall1");
  EXPECT_TRUE(IsWrapperModule(WrapperName(12)));
  EXPECT_TRUE(IsWrapperModule("gridmoorcall3"));
  for (const char* user : {"GridmoorCall", "GridmoorCallX", "Module1", "GridmoorCall1a"})
    EXPECT_FALSE(IsWrapperModule(user)) << user;
  const std::string source =
      WrapperModuleSource(WrappedCall{WrapperName(2), "Module1", "Add", true, 2});
  EXPECT_NE(source.find("Function GridmoorCall2(a1, a2)"), std::string::npos) << source;
  EXPECT_NE(source.find("outcome = Array(0, Module1.Add(a1, a2))"), std::string::npos) << source;
  // A Sub without arguments is called without parentheses, which Basic would
  // take as an index into its result.
  EXPECT_NE(
      WrapperModuleSource(WrappedCall{WrapperName(1), "M", "Go", false, 0}).find("Call M.Go\n"),
      std::string::npos);
  // A document's wrapper takes the sheets and ranges last and reads them
  // after the call, where a failed read cannot fail the macro.
  const std::string watching =
      WrapperModuleSource(WrappedCall{WrapperName(3), "M", "Go", false, 1, true});
  EXPECT_NE(watching.find("Function GridmoorCall3(a1, gmSheets, gmRanges)"), std::string::npos)
      << watching;
  EXPECT_LT(watching.find("Call M.Go(a1)"), watching.find("On Error GoTo Unread"));
  EXPECT_LT(watching.find("RangeAddressesAsString"), watching.find("Unread:\n"));
  EXPECT_EQ(source.find("gmSheets"), std::string::npos);
}

}  // namespace
}  // namespace excel::calc
