// The Basic the driver places into a workbook while its macros run: what is
// changed, what is left alone, and that the workbook's own text comes back.
#include "excel/calc/basic/basic_source.h"

#include "excel/calc/basic/basic_tokens.h"
#include "excel/calc/macros/flat_vba_project.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace excel::calc {
namespace {

constexpr std::string_view kSupport = "GridmoorSupport";

std::optional<std::string> Prepared(std::string_view source) {
  return PreparedForRun(source, kSupport);
}

// Each token as kind letter and text: W word, N number, T text, C comment,
// S space, L line end, Y symbol.
std::string Shown(std::string_view source) {
  std::string shown;
  for (const BasicToken& token : TokenizeBasic(source))
    shown.append(1, "WNTCSLY"[static_cast<int>(token.kind)])
        .append(TokenText(source, token))
        .append("|");
  return shown;
}

TEST(TokenizeBasic, TextsCommentsAndRemLinesAreTokensOfTheirOwn) {
  const std::pair<const char*, const char*> cases[] = {
      {"x = \"a \"\"b\"\" ' c\" ' d", "Wx|S |Y=|S |T\"a \"\"b\"\" ' c\"|S |C' d|"},
      {"Rem a: b\nx: rem c\nx.Rem 1", "CRem a: b|L\n|Wx|Y:|S |Crem c|L\n|Wx|Y.|WRem|S |N1|"},
      {"Remark = 1", "WRemark|S |Y=|S |N1|"},
      {"a _\r\n  b", "Wa|S _\r\n|S  |Wb|"},
      {"a_b = &HFF + 1.5e3", "Wa_b|S |Y=|S |N&HFF|S |Y+|S |N1.5e3|"},
      {"Módulo1.Go\r\"open", "WMódulo1|Y.|WGo|L\r|T\"open|"}};
  for (const auto& [source, shown] : cases)
    EXPECT_EQ(Shown(source), shown) << source;
  EXPECT_TRUE(UsesWord("a = 1: MSGBOX a", "msgbox"));
  EXPECT_FALSE(UsesWord("a = \"MsgBox\" ' MsgBox\nRem MsgBox\nMsgBoxes 1", "msgbox"));
}

TEST(PreparedForRun, ChangesOnlyWhatNeedsItAndKeepsEveryLineNumber) {
  struct Case {
    const char* name;
    std::string source;
    bool changed, standIns;
    const char* redirected;  // a text the prepared source must hold, if any
  };
  const Case cases[] = {
      {"plain", "Sub Go()\n  Range(\"A1\").Value = 1\nEnd Sub\n", false, false, nullptr},
      {"both boxes, in any case", "Sub Go()\n  MsgBox \"hi\"\n  x = INPUTBOX(\"v?\")\nEnd Sub",
       true, true, nullptr},
      {"its own message box", "Sub Go()\n  MsgBox 1\nEnd Sub\nFunction MsgBox(x)\nEnd Function\n",
       false, false, nullptr},
      {"full calculation",
       "Sub Go()\n  application.calculatefull\n  Application.CalculateFullRebuild\nEnd Sub\n", true,
       false, "  GridmoorSupport.GmCalculateFull\n  GridmoorSupport.GmCalculateFull\n"},
      {"its own workbook saved", "Sub Go()\n  thisWorkbook.save\nEnd Sub\n", true, false,
       "  GridmoorSupport.GmSaveThisWorkbook\n"},
      {"other saves and members named so stay",
       "Sub Go()\n  ThisWorkbook.SaveAs \"a.xlsm\"\n  x = ThisWorkbook.Saved\n"
       "  ActiveWorkbook.Save\n  Me.ThisWorkbook.Save\n  ' ThisWorkbook.Save\nEnd Sub\n",
       false, false, nullptr},
      {"calculation named in texts and comments",
       "Sub Go()\n  x = \"Application.CalculateFull\" ' Application.CalculateFull\n"
       "  Rem Application.CalculateFull\n  y = 1: REM Application.CalculateFull\nEnd Sub\n",
       false, false, nullptr},
      {"only a longer word", "Sub Go()\n  MsgBoxes = 1\n  MyInputBox 2\nEnd Sub\n", false, false,
       nullptr}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::optional<std::string> prepared = Prepared(c.source);
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
    EXPECT_FALSE(Prepared(*prepared).has_value());
    EXPECT_EQ(AsBeforePreparing(*prepared).find("MsgBox(Optional"), std::string_view::npos);
  }
}

TEST(PreparedForRun, FormulaAssignmentsToRangesGoToTheSupportModule) {
  struct Case {
    const char* body;      // lines of a Sub
    const char* prepared;  // nullptr: left as it is
  };
  // A range's .Formula and .FormulaLocal set in a With block or after a
  // comment naming one: the host's VBA tests, by the cells' values.
  const Case cases[] = {
      {"  With Range(\"A1:A3\")\n    .Formula = \"=B1\": .Cells(1, 1).Formula = x\n  End With",
       "  With Range(\"A1:A3\")\n    GridmoorSupport.GmSetFormula .Cells, 0, \"=B1\": "
       "GridmoorSupport.GmSetFormula .Cells(1, 1), 0, x\n  End With"},
      {"  If ok Then r.Formula = \"=A1\" Else r.Formula = \"=\"\"a:b\"\"\"",
       "  If ok Then GridmoorSupport.GmSetFormula r, 0, \"=A1\" Else GridmoorSupport.GmSetFormula "
       "r, 0, \"=\"\"a:b\"\"\""},
      {"  r.Formula = _\n    \"=A1\"", "  GridmoorSupport.GmSetFormula r, 0, _\n    \"=A1\""},
      // Comparisons, comments, other properties and continued lines.
      {"  If r.Formula = \"=A1\" Then x = 1", nullptr},
      {"  ' Range(\"A1:B2\").Formula = 1\n  Rem r.Formula = 1", nullptr},
      {"  r.FormulaR1C1 = \"=RC[1]\"\n  r.MyFormula = 1\n  Formula = 2", nullptr},
      {"  Call Show(1, _\n    r.Formula = 2)", nullptr},
      {"  x = Cells(1, 1).Formula = \"=A1\"", nullptr}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.body);
    const std::string source = std::string("Sub Go()\n") + c.body + "\nEnd Sub\n";
    const std::optional<std::string> prepared = Prepared(source);
    if (c.prepared == nullptr) {
      EXPECT_FALSE(prepared) << *prepared;
      continue;
    }
    ASSERT_TRUE(prepared);
    EXPECT_EQ(AsBeforePreparing(*prepared), std::string("Sub Go()\n") + c.prepared + "\nEnd Sub\n");
  }
}

TEST(SheetNamesAskedFor, TakesTheTextsGivenToSheetLookUpsInCodeOnly) {
  const std::string source =
      "Sub Go()\n"
      "  Worksheets(\"Data\").Range(\"A1\") = Sheets (  \"Q\"\"s\")\n"
      "  x = ThisComponent.Sheets.getByName(\"Data\") ' Sheets(\"Commented\")\n"
      "  y = \"Sheets(\"\"Quoted\"\")\": Rem Worksheets(\"Remarked\")\n"
      "  z = Sheets(n): w = MySheets(\"Other\"): v = Worksheets(\"Open\n"
      "End Sub\n";
  EXPECT_EQ(SheetNamesAskedFor(source), (std::vector<std::string>{"Data", "Q\"s"}));
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

// A module that defines one box itself still gets the other's stand-in.
TEST(PreparedForRun, EachBoxGetsItsStandInUnlessTheModuleDefinesIt) {
  struct Case {
    const char* source;
    bool messageBox, inputBox;
  };
  const Case cases[] = {
      {"Function InputBox(p)\nEnd Function\nSub Go()\n  a = MsgBox(\"?\", vbYesNo)\nEnd Sub\n",
       true, false},
      {"Sub MsgBox(p)\nEnd Sub\nSub Go()\n  a = InputBox(\"?\")\n  MsgBox a\nEnd Sub\n", false,
       true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.source);
    const std::optional<std::string> prepared = PreparedForRun(c.source, "GridmoorSupport_2");
    ASSERT_TRUE(prepared);
    EXPECT_EQ(prepared->find("Private Function MsgBox(") != std::string::npos, c.messageBox);
    EXPECT_EQ(prepared->find("Private Function InputBox(") != std::string::npos, c.inputBox);
    // The stand-ins call the support module by the name it was given.
    EXPECT_EQ(prepared->find("GridmoorSupport."), std::string::npos);
    EXPECT_NE(prepared->find("= GridmoorSupport_2.Gm"), std::string::npos);
    EXPECT_EQ(AsBeforePreparing(*prepared), c.source);
  }
}

// The driver's modules are told from a user's by their first line, never by
// their names, and take names no user's module of the library has.
TEST(GeneratedModules, AreKnownByTheirSourceAndNamedApartFromTheUsers) {
  const std::string support = SupportModuleSource();
  EXPECT_TRUE(IsGeneratedModule(support));
  EXPECT_TRUE(IsGeneratedModule(WrapperModuleSource(WrappedCall{"GridmoorCall1", "S", "M", "Go"})));
  for (const char* user :
       {"", "Sub Go()\nEnd Sub\n", "' Gridmoor generated module\nSub Go()\nEnd Sub\n",
        "Option Explicit\n' Gridmoor generated module, taken out before the workbook is stored. "
        "Do not edit.\n"})
    EXPECT_FALSE(IsGeneratedModule(user)) << user;
  EXPECT_FALSE(IsGeneratedModule(" " + support));
  // As the office reads it back from an .xlsm, after lines of its own.
  const std::string imported = "Rem Attribute VBA_ModuleType=VBAModule\nOption VBASupport 1\n";
  EXPECT_TRUE(IsGeneratedModule(imported + support));
  EXPECT_TRUE(IsLeftoverModule("GridmoorCall2", imported + support));
  EXPECT_FALSE(IsGeneratedModule(imported + "Sub Go()\n" + support));
  EXPECT_FALSE(IsLeftoverModule("GridmoorCall2", imported + "Sub Go()\nEnd Sub\n"));
  EXPECT_FALSE(IsGeneratedModule(support.substr(0, support.find('\n')) + "X\n"));

  const auto takenOf = [](std::initializer_list<std::string_view> names) {
    return [names](std::string_view name) {
      return std::find(names.begin(), names.end(), name) != names.end();
    };
  };
  EXPECT_EQ(FreeModuleName("GridmoorCall1", takenOf({"Module1"})), "GridmoorCall1");
  EXPECT_EQ(FreeModuleName("GridmoorSupport", takenOf({"GridmoorSupport", "GridmoorSupport_2"})),
            "GridmoorSupport_3");
}

// A flat file without its settings, or cut short in them, gives no code
// names (those of a file the office wrote: the host's VBA tests).
TEST(FlatCodeNames, AreReadFromTheSettingsAlone) {
  for (const char* broken :
       {"<office:document><office:body/></office:document>",
        "<office:settings><config:config-item-set config:name=\"ooo:configuration-settings\">", ""})
    EXPECT_FALSE(ReadFlatCodeNames(broken)) << broken;
  const std::optional<FlatCodeNames> plain = ReadFlatCodeNames(
      "<office:settings><config:config-item config:name=\"VBACompatibilityMode\">false"
      "</config:config-item></office:settings><office:body><broken");
  ASSERT_TRUE(plain);
  EXPECT_FALSE(plain->vbaMode);
  EXPECT_TRUE(plain->workbook.empty() && plain->sheets.empty());
}

}  // namespace
}  // namespace excel::calc
