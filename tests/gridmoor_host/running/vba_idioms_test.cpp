// Macros written for the other spreadsheet, run by the host as run-time
// macros of an .xlsm against a real office, their effect read back through
// output streams. Each idiom's expected effect is what that spreadsheet does,
// worked out by hand. The workbook is the Excel-saved macro02.xlsm with its
// module's source replaced: the office keeps the VBA project when it saves.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <regex>

#include "excel/calc/calc_test_support.h"
#include "excel/calc/workbook_features.h"
#include "host_test_support.h"

namespace {

using ::testing::HasSubstr;
using ::testing::Not;

namespace fs = std::filesystem;
using namespace hosttest;
using nlohmann::json;

// What one idiom leaves in Sheet1!B1:B3, which the output stream Out-1
// reads as its oil rate, water rate and pressure; nullopt: left empty.
struct Idiom {
  const char* name;
  // The body of a Sub of a module with Option VBASupport 1, shortened: '|'
  // breaks the line, %B1 is Range("B1").Value, #Data is Worksheets("Data").
  const char* body;
  std::optional<double> b1, b2 = std::nullopt, b3 = std::nullopt;
};

constexpr std::nullopt_t kEmpty = std::nullopt;

const Idiom kIdioms[] = {
    {"Range value", "%B1 = 11", 11},
    {"Application.CalculateFull",
     R"(%B3 = 7|Range("B2").Formula = "=B3+1"|Application.CalculateFull|%B1 = %B2 * 10)", 80, 8, 7},
    {"MsgBox answers with its default button",
     R"(%B1 = MsgBox("Continue with the run?", vbYesNo)|%B2 = MsgBox("Stop here?", vbYesNo + vbDefaultButton2)|)"
     R"(MsgBox "Done"|%B3 = 1)",
     6, 7, 1},
    {"InputBox answers with its default",
     R"(%B1 = Val(InputBox("Separator pressure?", "Pressure", "250")))", 250},
    // The sheet added before the active one came first, as it would there.
    {"ThisWorkbook.Sheets",
     R"(ThisWorkbook.Sheets(1).Range("H1").Value = 26|%B1 = #Data.Range("H1").Value|%B2 = ThisWorkbook.Sheets.Count)",
     26, 2},
    {"Sheets by name and a range of several cells",
     R"(Sheets("Data").Range("A1:A3").Value = 28|%B1 = Application.WorksheetFunction.Sum(Sheets("Data").Range("A1:A3")))",
     84},
    {"FormulaR1C1", R"(%B2 = 15|Range("B1").FormulaR1C1 = "=R[1]C*2")", 30, 15},
    {"Formula across sheets", R"(Range("B1").Formula = "=SUM(Data!C1:C4)*3.1")", 31},
    {"ClearContents",
     R"(Range("B1:B2").Value = 9|Range("B1:B2").ClearContents|%B3 = IIf(IsEmpty(%B1), 35, 0))",
     kEmpty, kEmpty, 35},
    {"Recorded Select and ActiveCell",
     R"(Range("B2").Select|ActiveCell.FormulaR1C1 = "15"|ActiveCell.Offset(-1, 0).Value = ActiveCell.Row)",
     2, 15},
    {"Selection", R"(Range("B1:B3").Select|Selection.Value = 16)", 16, 16, 16},
    {"With block",
     R"(With #Sheet1|.Range("B1").Value = 18|.Range("B2").Value = .Range("B1").Value * 2|End With)",
     18, 36},
    {"For Each over a range",
     R"(Dim c As Range, total As Double|For Each c In #Data.Range("C1:C4")|total = total + c.Value|Next c|%B1 = total)",
     10},
    {"Variant array read from Range.Value",
     R"(Dim v As Variant|v = #Data.Range("C1:C4").Value|%B1 = v(3, 1)|%B2 = UBound(v, 1)|%B3 = LBound(v, 2))",
     3, 4, 1},
    {"Variant array written to Range.Value",
     R"(Dim a(1 To 3, 1 To 1) As Variant|a(1, 1) = 21|a(2, 1) = 22|a(3, 1) = 23|Range("B1:B3").Value = a)",
     21, 22, 23},
    {"Names(...).RefersToRange",
     R"(%B1 = ActiveWorkbook.Names("x").RefersToRange.Value|%B2 = %x + 1)", 42, 43},
    {"Application.Calculate",
     R"(%B3 = 5|Range("B2").Formula = "=B3*2"|Application.Calculate|%B1 = %B2)", 10, 10, 5},
    {"ScreenUpdating",
     R"(Application.ScreenUpdating = False|%B1 = 19|Application.ScreenUpdating = True|%B2 = IIf(Application.ScreenUpdating, 1, 0))",
     19, 1},
    {"EnableEvents",
     R"(Application.EnableEvents = False|%B1 = 20|Application.EnableEvents = True|%B2 = IIf(Application.EnableEvents, 1, 0))",
     20, 1},
    {"DisplayAlerts",
     R"(Application.DisplayAlerts = False|%B1 = 21|Application.DisplayAlerts = True)", 21},
    {"On Error Resume Next",
     R"(Dim x As Double, zero As Double|On Error Resume Next|x = 1 / zero|%B1 = Err.Number|Err.Clear|%B2 = Err.Number)",
     11, 0},
    {"ActiveWorkbook.Worksheets",
     R"(ActiveWorkbook.Worksheets("Sheet1").Cells(1, 2).Value = 27|%B2 = ActiveWorkbook.Worksheets.Count)",
     27, 2},
    {"Application.Run with an argument", R"(Application.Run "Helper", 37)", 37},
};

// An idiom's body as Basic.
std::string Basic(std::string body) {
  std::replace(body.begin(), body.end(), '|', '\n');
  body = std::regex_replace(body, std::regex("%([A-Za-z]+[0-9]*)"), "Range(\"$1\").Value");
  return std::regex_replace(body, std::regex("#(Data|Sheet1)"), "Worksheets(\"$1\")");
}

constexpr const char* kModuleHeader =
    "Rem Attribute VBA_ModuleType=VBAModule\nOption VBASupport 1\n";

// Module1 of the test workbook: the set-up, a user-defined function, a
// helper for Application.Run, one Sub per idiom, and a dispatcher that runs the next idiom at each
// timestep (a counter in Sheet1!Z1, whatever the first timestep's number).
std::string IdiomModule() {
  std::string source = kModuleHeader + std::string(R"vba(
Sub Setup(timestep As Integer)
  Worksheets("Data").Range("C1:C4").Value = WorksheetFunction.Transpose(Array(1, 2, 3, 4))
  Worksheets("Data").Range("G1").Value = 42
  ActiveWorkbook.Names.Add Name:="x", RefersTo:="=Data!$G$1"
  Worksheets("Sheet1").Range("D1").Formula = "=Cube(Data!B10)"
  Worksheets("Sheet1").Activate
End Sub

Function Cube(v)
  Cube = v * v * v
End Function

Sub Helper(v)
  Worksheets("Sheet1").Range("B1").Value = v
End Sub

Sub Broken(timestep As Integer)
  Dim zero As Double
  Range("B1").Value = 1 / zero
End Sub

Sub RunIdiom(timestep As Integer)
  Dim n As Integer
  n = Worksheets("Sheet1").Range("Z1").Value + 1
  Worksheets("Sheet1").Range("Z1").Value = n
  Worksheets("Sheet1").Activate
  Worksheets("Sheet1").Range("B1:B3").ClearContents
  Select Case n
)vba");
  for (std::size_t i = 1; i <= std::size(kIdioms); ++i)
    source += "    Case " + std::to_string(i) + ": Idiom" + std::to_string(i) + "\n";
  source += "  End Select\nEnd Sub\n";
  for (std::size_t i = 0; i < std::size(kIdioms); ++i)
    source +=
        "\nSub Idiom" + std::to_string(i + 1) + "()\n" + Basic(kIdioms[i].body) + "\nEnd Sub\n";
  return source;
}

// The Excel-saved workbook with the idiom module in place of its recorded
// one and a second sheet "Data", saved as .xlsm; made once, then copied.
void MakeIdiomWorkbook(const fs::path& file) {
  using namespace excel::calc::testing;
  static const Folder made;
  const fs::path idioms = made.path() / "idioms.xlsm";
  if (!fs::exists(idioms)) {
    fs::copy_file(fs::path(GRIDMOOR_TEST_DATA_DIR) / "excel-authored" / "macro02.xlsm", idioms);
    fs::permissions(idioms, fs::perms::owner_write, fs::perm_options::add);
    const com::Ptr<excel::Application> application = NewApplication();
    const com::Ptr<excel::Workbook> book = OpenWorkbook(application, idioms.string());
    excel::calc::PutBasicModule(book, "VBAProject", "Module1", IdiomModule());
    AsWorksheet(book->GetWorksheets()->Add(com::Variant::Missing(), com::Variant::Missing(),
                                           com::Variant::Missing(), com::Variant::Missing(), 0))
        ->PutName(com::Bstr::FromUtf8("Data"));
    book->Save(0);
    application->Quit();
  }
  fs::copy_file(idioms, file);
}

// Sheet1!B1:B3 as Out-1's oil rate, water rate and pressure; Sheet1!D1, the
// user-defined function of the input, as Out-2's oil rate.
json IdiomScenario(const fs::path& workbook) {
  json scenario = json::parse(R"({"case": {"inputCount": 1, "outputCount": 2,
    "macros": {"StartOfRun": {"macro": "Module1.Setup", "passDate": false},
               "StartOfTimestep": {"macro": "RunIdiom", "passDate": false}},
    "inputStreams": [{"sheetName": "Data",
                      "solverCells": [{"cell": "", "unit": 0}, {"cell": "B10", "unit": 0}]}],
    "outputStreams": [
      {"sheetName": "Sheet1", "propertyCells": [{"cell": "B1", "unit": 0}, {"cell": "B2", "unit": 0},
                                                {"cell": "", "unit": 0}, {"cell": "B3", "unit": 0}]},
      {"sheetName": "Sheet1", "propertyCells": [{"cell": "D1", "unit": 0}]}]},
    "run": {"start": "2025-01-01", "stepDays": 1}})");
  scenario["workbook"] = workbook.string();
  scenario["run"]["timesteps"] = std::size(kIdioms);
  for (std::size_t t = 0; t < std::size(kIdioms); ++t)
    scenario["inputs"]["In-1"].push_back({{"oilRate", t + 2}});
  return scenario;
}

class VbaIdioms : public excel::calc::testing::CalcTest {};

TEST_F(VbaIdioms, RunAsRunTimeMacrosWithTheEffectThatSpreadsheetGivesThem) {
  Folder folder;
  const fs::path workbook = folder.path() / "idioms.xlsm", scenario = folder.path() / "idioms.json";
  MakeIdiomWorkbook(workbook);
  std::ofstream(scenario) << IdiomScenario(workbook).dump(2);
  const fs::path out = folder.path() / "out";
  const Result r = RunQuiet(scenario, out, folder.path(),
                            " --save-as " + (folder.path() / "after.xlsm").string());
  ASSERT_EQ(r.status, 0) << r.err;

  const auto table = ReadStreams(out / "streams.csv");
  const auto shown = [](const std::string& text) {
    return text.empty() ? "empty" : std::to_string(std::stod(text));
  };
  for (std::size_t i = 0; i < std::size(kIdioms); ++i) {
    const Idiom& idiom = kIdioms[i];
    const int t = static_cast<int>(i);
    SCOPED_TRACE(std::string("idiom ") + std::to_string(i + 1) + ": " + idiom.name);
    ASSERT_TRUE(table.count({t, "Out-1"}));
    const std::map<std::string, std::string>& row = table.at({t, "Out-1"});
    const std::pair<const char*, std::optional<double>> expected[] = {
        {"oilRate", idiom.b1}, {"waterRate", idiom.b2}, {"pressure", idiom.b3}};
    for (const auto& [field, value] : expected)
      EXPECT_EQ(shown(row.at(field)), value ? std::to_string(*value) : "empty") << field;
    // The user-defined function recomputes after every write of the host.
    EXPECT_DOUBLE_EQ(std::stod(table.at({t, "Out-2"}).at("oilRate")), std::pow(t + 2, 3));
  }
  EXPECT_TRUE(fs::exists(folder.path() / "after.xlsm"));
  // What the boxes asked reaches the run's notes and standard error.
  const std::string notes = ReadJson(out / "summary.json")["notes"].dump();
  for (const char* asked :
       {"Continue with the run?", "Stop here?", "Done", "Separator pressure?"}) {
    EXPECT_THAT(notes, HasSubstr(asked));
    EXPECT_THAT(r.err, HasSubstr(asked));
  }
}

// The one-sheet output stream and a start-of-run macro for `workbook`.
json StartOfRunScenario(const fs::path& workbook, const std::string& macro) {
  json scenario = json::parse(R"({"case": {
    "inputStreams": [{"sheetName": "Sheet1", "solverCells": []}],
    "outputStreams": [{"sheetName": "Sheet1", "propertyCells": [{"cell": "A1", "unit": 0}]}]},
    "run": {"start": "2025-01-01", "timesteps": 1, "stepDays": 1}, "inputs": {"In-1": [{}]}})");
  scenario["workbook"] = workbook.string();
  scenario["case"]["macros"]["StartOfRun"] = {{"macro", macro}, {"passDate", false}};
  return scenario;
}

// A writable copy of `file`: from the test data, else from `folder`.
fs::path CopyOf(const Folder& folder, const std::string& file) {
  const fs::path copy = folder.path() / ("copy-" + file);
  const fs::path data = fs::path(GRIDMOOR_TEST_DATA_DIR) / "excel-authored" / file;
  fs::copy_file(fs::exists(data) ? data : folder.path() / file, copy);
  fs::permissions(copy, fs::perms::owner_write, fs::perm_options::add);
  return copy;
}

TEST_F(VbaIdioms, ExcelSavedMacrosRunUnchangedAndFailuresNameTheirProcedure) {
  struct Case {
    const char *file, *macro;
    int status;
    const char *oilRate, *said;  // Sheet1!A1 through Out-1; in the notes or the failure
  };
  const Case cases[] = {
      // Recorded: Range("A1").Select, ActiveCell.FormulaR1C1 = "123".
      {"macro02.xlsm", "Macro1", 0, "123", ""},
      {"macro04.xlsm", "Module1.say_hello", 0, "",
       "macro Module1.say_hello showed a message box: \"Hello, World!\" (answered 1)"},
      {"idioms.xlsm", "Broken", 1, nullptr,
       "Unable to run macro Broken (Module1.Broken: Division by zero.)"},
  };
  Folder folder;
  MakeIdiomWorkbook(folder.path() / "idioms.xlsm");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    const fs::path scenario = folder.path() / (std::string(c.file) + ".json");
    std::ofstream(scenario) << StartOfRunScenario(CopyOf(folder, c.file), c.macro).dump(2);
    const fs::path out = folder.path() / (std::string(c.file) + "-out");
    // A copy in a format without macros says that they are not in it.
    const Result r =
        RunQuiet(scenario, out, folder.path(), " --save-as " + (out.string() + "-copy.xlsx"));
    ASSERT_EQ(r.status, c.status) << r.err;
    const json summary = ReadJson(out / "summary.json");
    if (c.status != 0) {
      EXPECT_THAT(summary["error"]["message"].get<std::string>(), HasSubstr(c.said))
          << summary["error"].dump();
      continue;
    }
    EXPECT_EQ(ReadStreams(out / "streams.csv").at({0, "Out-1"}).at("oilRate"), c.oilRate);
    EXPECT_THAT(r.err, HasSubstr("that format keeps no macros, so the VBA project of"));
    // The notes as JSON: the message's quotes are escaped there.
    const std::string said = json(c.said).dump();
    EXPECT_THAT(summary["notes"].dump(), HasSubstr(said.substr(1, said.size() - 2)));
  }
}

// A save puts the modules back and the next call prepares them again; a
// macro failing after that still fails alone, and the office lives on. A
// formula assigned to a range of several cells moves each cell's relative
// references with it, as the other spreadsheet does (the office alone
// gives every cell the first cell's formula); a saved workbook holds the
// module as written.
TEST_F(VbaIdioms, MacrosRunAgainAfterASaveAndARangeFormulaMovesWithEveryCell) {
  using namespace excel::calc::testing;
  const std::string module = kModuleHeader + std::string(R"vba(
Sub Fill()
  Dim r As Long, c As Long
  For r = 2 To 7
    For c = 1 To 3
      Worksheets("Data").Cells(r, c).Value = r * 10 + c
    Next c
  Next r
  Worksheets("Sheet1").Range("A2:C7").Formula = "=SUM(Data!A2+1)" ' not .Formula = 1
  With Worksheets("Sheet1").Range("E2:E3")
    .FormulaLocal = "=Data!A2*2"
  End With
  Worksheets("Sheet1").Range("F2:F3").Formula = 5
  Worksheets("Sheet1").Range("G2").Value = "x.Formula = ""=1"""
  Worksheets("Sheet1").Range("H2").Value = Mid(Range("C7").Formula, 2)
End Sub)vba");
  Folder folder;
  const fs::path workbook = folder.path() / "idioms.xlsm", copy = folder.path() / "copy.xlsm";
  MakeIdiomWorkbook(workbook);
  {
    const com::Ptr<excel::Application> application = NewApplication();
    const com::Ptr<excel::Workbook> book = OpenWorkbook(application, workbook.string());
    const com::Ptr<excel::Worksheet> sheet = SheetOf(book, "Sheet1");
    const auto run = [&](const std::string& macro, std::initializer_list<com::Variant> given = {}) {
      sheet->Activate(0);
      application->Run(com::Variant::Text(macro), Arguments(given));
    };
    const std::size_t messageBox = 3;  // the idiom that shows message boxes
    ASSERT_EQ(std::string(kIdioms[messageBox - 1].name).rfind("MsgBox", 0), 0u);
    for (int round = 0; round < 2; ++round) {
      SCOPED_TRACE(round);
      run("Idiom" + std::to_string(messageBox));
      EXPECT_EQ(Get(sheet, "B1"), com::Variant::Double(6));
      const std::string failure =
          ErrorOf([&] { run("Broken", {com::Variant::Int(1)}); }).ErrorMessage();
      EXPECT_THAT(failure, HasSubstr("Module1.Broken: Division by zero."));
      book->SaveCopyAs(com::Variant::Text(copy.string()), 0);
    }
    excel::calc::PutBasicModule(book, "VBAProject", "Module1", module);
    run("Fill");
    const std::pair<const char*, com::Variant> expected[] = {
        {"A2", com::Variant::Double(22)},
        {"C7", com::Variant::Double(74)},
        {"E3", com::Variant::Double(62)},
        {"F3", com::Variant::Double(5)},
        {"G2", com::Variant::Text("x.Formula = \"=1\"")},
        {"H2", com::Variant::Text("SUM(Data!C7+1)")}};
    for (const auto& [cell, value] : expected)
      EXPECT_EQ(Get(sheet, cell), value) << cell;
    book->SaveCopyAs(com::Variant::Text(copy.string()), 0);
    application->Quit();
  }
  const com::Ptr<excel::Application> application = NewApplication();
  std::string source =
      BasicModulesOf(OpenWorkbook(application, copy.string()), "VBAProject")["Module1"].source;
  while (!source.empty() && source.back() == '\n')
    source.pop_back();  // the office ends a module with a line break on every save
  EXPECT_EQ(source, module);
  application->Quit();
}

// A workbook kept in the office's own formats (flat or not) runs its VBA as
// the .xlsm did: a standard module reaches the workbook through ThisWorkbook
// (a module of that name, the workbook's code name, no longer hides it) and
// a sheet's module acts on its sheet (Me). The office alone loads such a
// file as plain Basic.
TEST_F(VbaIdioms, AFlatFileKeepsItsDocumentModules) {
  using namespace excel::calc::testing;
  Folder folder;
  const fs::path workbook = CopyOf(folder, "macro04.xlsm");
  const std::pair<const char*, std::string> modules[] = {
      {"Module1", kModuleHeader + std::string(R"(
Sub ReachWorkbook()
  ThisWorkbook.Sheets(1).Range("H1").Value = ThisWorkbook.Sheets.Count + 25
End Sub)")},
      {"Sheet1", R"(Rem Attribute VBA_ModuleType=VBADocumentModule
Option VBASupport 1

Sub WriteOwnSheet()
  Me.Range("H2").Value = Len(Me.Name)
End Sub)"}};
  {
    const com::Ptr<excel::Application> application = NewApplication();
    const com::Ptr<excel::Workbook> book = OpenWorkbook(application, workbook.string());
    for (const auto& [name, source] : modules)
      excel::calc::PutBasicModule(book, "VBAProject", name, source);
    for (const char* format : {".ods", ".fods"})
      book->SaveCopyAs(com::Variant::Text((folder.path() / "copy").string() + format), 0);
    application->Quit();
  }
  for (const char* format : {".ods", ".fods"}) {
    SCOPED_TRACE(format);
    const com::Ptr<excel::Application> application = NewApplication();
    const com::Ptr<excel::Workbook> book =
        OpenWorkbook(application, (folder.path() / "copy").string() + format);
    EXPECT_TRUE(BasicModulesOf(book, "VBAProject").at("ThisWorkbook").documentModule);
    for (const char* macro : {"ReachWorkbook", "Sheet1.WriteOwnSheet"})
      EXPECT_NO_THROW(application->Run(com::Variant::Text(macro), Arguments())) << macro;
    const com::Ptr<excel::Worksheet> sheet = SheetOf(book, "Foo");  // code name Sheet1
    EXPECT_EQ(Get(sheet, "H1"), com::Variant::Double(26));
    EXPECT_EQ(Get(sheet, "H2"), com::Variant::Double(3));
    application->Quit();
  }
}

// An .xlsm whose macro stores the workbook itself succeeds (the driver's
// modules added to the VBA project are standard modules, which its export
// needs); opened again it holds the macro's change and none of the
// driver's modules. ThisWorkbook.Save stores as the office's Save command
// does, which asks whether to keep a format not its own: nobody answers in
// a run, and unasked it saved nothing.
TEST_F(VbaIdioms, AMacroStoresItsOwnWorkbook) {
  using namespace excel::calc::testing;
  Folder folder;
  const fs::path workbook = folder.path() / "idioms.xlsm";
  MakeIdiomWorkbook(workbook);
  const auto inOffice = [&](const auto& act) {
    const com::Ptr<excel::Application> application = NewApplication();
    act(application, OpenWorkbook(application, workbook.string()));
    application->Quit();
  };
  inOffice([&](const auto&, const com::Ptr<excel::Workbook>& book) {
    excel::calc::PutBasicModule(
        book, "VBAProject", "Module2",
        kModuleHeader + std::string("\nSub SaveSelf()\n  Worksheets(\"Sheet1\")"
                                    ".Range(\"C1\").Value = MsgBox(\"Keep?\", "
                                    "vbYesNo)\n  ThisWorkbook.Save\nEnd Sub\n"));
    book->Save(0);
  });
  // Opened afresh: the office has not stored it in this format yet.
  inOffice([&](const com::Ptr<excel::Application>& application, const auto&) {
    application->Run(com::Variant::Text("SaveSelf"), Arguments());
  });
  inOffice([&](const auto&, const com::Ptr<excel::Workbook>& book) {
    EXPECT_EQ(Get(SheetOf(book, "Sheet1"), "C1"), com::Variant::Double(6));
    for (const auto& [name, found] : BasicModulesOf(book, "VBAProject")) {
      EXPECT_THAT(name, Not(HasSubstr("Gridmoor")));
      EXPECT_THAT(found.source, Not(HasSubstr("GridmoorSupport"))) << name;
    }
  });
}

}  // namespace
