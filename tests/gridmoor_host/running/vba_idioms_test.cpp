// Macros written for the other spreadsheet, run by the host as run-time
// macros of an .xlsm against a real office, their effect read back through
// output streams. Each idiom's expected effect is what that spreadsheet does,
// worked out by hand. The workbook is the Excel-saved macro02.xlsm with its
// module's source replaced: the office keeps the VBA project when it saves.
#include <gtest/gtest.h>

#include "excel/calc/calc_test_support.h"
#include "excel/calc/workbook_features.h"
#include "host_test_support.h"

namespace {

namespace fs = std::filesystem;
using namespace hosttest;
using nlohmann::json;

// What one idiom leaves in Sheet1!B1:B3, which the output stream Out-1
// reads as its oil rate, water rate and pressure; nullopt: left empty.
struct Idiom {
  const char* name;
  const char* body;  // the body of a Sub of a module with Option VBASupport 1
  std::optional<double> b1, b2, b3;
};

constexpr std::nullopt_t kEmpty = std::nullopt;

const Idiom kIdioms[] = {
    {"Range value", "Range(\"B1\").Value = 11", 11, kEmpty, kEmpty},
    {"Cells", "Cells(1, 2).Value = 12\nCells(2, 2) = Cells(1, 2) + 1", 12, 13, kEmpty},
    {"Offset", "Range(\"A3\").Offset(-2, 1).Value = 13", 13, kEmpty, kEmpty},
    {"Resize", "Range(\"B1\").Resize(3, 1).Value = 14", 14, 14, 14},
    {"Recorded Select and ActiveCell",
     "Range(\"B2\").Select\nActiveCell.FormulaR1C1 = \"15\"\nActiveCell.Offset(-1, 0).Value = "
     "ActiveCell.Row",
     2, 15, kEmpty},
    {"Selection", "Range(\"B1:B3\").Select\nSelection.Value = 16", 16, 16, 16},
    {"Activate and the active sheet",
     "Worksheets(\"Data\").Activate\nRange(\"A5\").Value = 17\n"
     "Worksheets(\"Sheet1\").Activate\nRange(\"B1\").Value = Worksheets(\"Data\").Range(\"A5\")\n"
     "Range(\"B2\").Value = IIf(IsEmpty(Range(\"A5\").Value), 1, 0)",
     17, 1, kEmpty},
    {"With block",
     "With Worksheets(\"Sheet1\")\n  .Range(\"B1\").Value = 18\n  .Range(\"B2\").Value = "
     ".Range(\"B1\").Value * 2\nEnd With",
     18, 36, kEmpty},
    {"For Each over a range",
     "Dim c As Range, total As Double\nFor Each c In Worksheets(\"Data\").Range(\"C1:C4\")\n"
     "  total = total + c.Value\nNext c\nRange(\"B1\").Value = total",
     10, kEmpty, kEmpty},
    {"Variant array read from Range.Value",
     "Dim v As Variant\nv = Worksheets(\"Data\").Range(\"C1:C4\").Value\n"
     "Range(\"B1\").Value = v(3, 1)\nRange(\"B2\").Value = UBound(v, 1)\n"
     "Range(\"B3\").Value = LBound(v, 2)",
     3, 4, 1},
    {"Variant array written to Range.Value",
     "Dim a(1 To 3, 1 To 1) As Variant\na(1, 1) = 21\na(2, 1) = 22\na(3, 1) = 23\n"
     "Range(\"B1:B3\").Value = a",
     21, 22, 23},
    {"WorksheetFunction.Sum",
     "Range(\"B1\").Value = "
     "Application.WorksheetFunction.Sum(Worksheets(\"Data\").Range(\"C1:C4\")) "
     "* 2",
     20, kEmpty, kEmpty},
    {"WorksheetFunction.VLookup",
     "Range(\"B1\").Value = Application.WorksheetFunction.VLookup(\"b\", "
     "Worksheets(\"Data\").Range(\"E1:F3\"), 2, False)",
     200, kEmpty, kEmpty},
    {"WorksheetFunction.Match",
     "Range(\"B1\").Value = Application.WorksheetFunction.Match(300, "
     "Worksheets(\"Data\").Range(\"F1:F3\"), 0)",
     3, kEmpty, kEmpty},
    {"Names(...).RefersToRange",
     "Range(\"B1\").Value = ActiveWorkbook.Names(\"x\").RefersToRange.Value\n"
     "Range(\"B2\").Value = Range(\"x\").Value + 1",
     42, 43, kEmpty},
    {"Application.Calculate",
     "Range(\"B3\").Value = 5\nRange(\"B2\").Formula = \"=B3*2\"\nApplication.Calculate\n"
     "Range(\"B1\").Value = Range(\"B2\").Value",
     10, 10, 5},
    {"Application.CalculateFull",
     "Range(\"B3\").Value = 7\nRange(\"B2\").Formula = \"=B3+1\"\nApplication.CalculateFull\n"
     "Range(\"B1\").Value = Range(\"B2\").Value * 10",
     80, 8, 7},
    {"ScreenUpdating",
     "Application.ScreenUpdating = False\nRange(\"B1\").Value = 19\n"
     "Application.ScreenUpdating = True\nRange(\"B2\").Value = IIf(Application.ScreenUpdating, 1, "
     "0)",
     19, 1, kEmpty},
    {"EnableEvents",
     "Application.EnableEvents = False\nRange(\"B1\").Value = 20\nApplication.EnableEvents = True\n"
     "Range(\"B2\").Value = IIf(Application.EnableEvents, 1, 0)",
     20, 1, kEmpty},
    {"DisplayAlerts",
     "Application.DisplayAlerts = False\nRange(\"B1\").Value = 21\n"
     "Application.DisplayAlerts = True",
     21, kEmpty, kEmpty},
    {"On Error Resume Next",
     "Dim x As Double, zero As Double\nOn Error Resume Next\nx = 1 / zero\nRange(\"B1\").Value = "
     "Err.Number\n"
     "Err.Clear\nRange(\"B2\").Value = Err.Number",
     11, 0, kEmpty},
    {"MsgBox answers with its default button",
     "Range(\"B1\").Value = MsgBox(\"Continue with the run?\", vbYesNo)\n"
     "Range(\"B2\").Value = MsgBox(\"Stop here?\", vbYesNo + vbDefaultButton2)\n"
     "MsgBox \"Done\"\nRange(\"B3\").Value = 1",
     6, 7, 1},
    {"InputBox answers with its default",
     "Range(\"B1\").Value = Val(InputBox(\"Separator pressure?\", \"Pressure\", \"250\"))", 250,
     kEmpty, kEmpty},
    // The sheet added before the active one came first, as it would there.
    {"ThisWorkbook.Sheets",
     "ThisWorkbook.Sheets(1).Range(\"H1\").Value = 26\n"
     "Range(\"B1\").Value = Worksheets(\"Data\").Range(\"H1\").Value\n"
     "Range(\"B2\").Value = ThisWorkbook.Sheets.Count",
     26, 2, kEmpty},
    {"ActiveWorkbook.Worksheets",
     "ActiveWorkbook.Worksheets(\"Sheet1\").Cells(1, 2).Value = 27\n"
     "Range(\"B2\").Value = ActiveWorkbook.Worksheets.Count",
     27, 2, kEmpty},
    {"Sheets by name and a range of several cells",
     "Sheets(\"Data\").Range(\"A1:A3\").Value = 28\n"
     "Range(\"B1\").Value = Application.WorksheetFunction.Sum(Sheets(\"Data\").Range(\"A1:A3\"))",
     84, kEmpty, kEmpty},
    {"FormulaR1C1", "Range(\"B2\").Value = 15\nRange(\"B1\").FormulaR1C1 = \"=R[1]C*2\"", 30, 15,
     kEmpty},
    {"Formula across sheets", "Range(\"B1\").Formula = \"=SUM(Data!C1:C4)*3.1\"", 31, kEmpty,
     kEmpty},
    {"Worksheet object variable",
     "Dim ws As Worksheet\nSet ws = Worksheets(\"Sheet1\")\nws.Range(\"B1\").Value = Len(ws.Name) "
     "* "
     "4",
     24, kEmpty, kEmpty},
    {"Last row with End(xlUp)",
     "With Worksheets(\"Data\")\n  Range(\"B1\").Value = .Cells(.Rows.Count, 3).End(xlUp).Row\n"
     "End With",
     4, kEmpty, kEmpty},
    {"Do While over cells",
     "Dim i As Long\ni = 1\nDo While Not IsEmpty(Worksheets(\"Data\").Cells(i, 3).Value)\n"
     "  i = i + 1\nLoop\nRange(\"B1\").Value = (i - 1) * 9",
     36, kEmpty, kEmpty},
    {"Application.Run with an argument", "Application.Run \"Helper\", 37", 37, kEmpty, kEmpty},
    {"NumberFormat and a decimal value",
     "Range(\"B1\").NumberFormat = \"0.00\"\nRange(\"B1\").Value = 34.5", 34.5, kEmpty, kEmpty},
    {"ClearContents",
     "Range(\"B1:B2\").Value = 9\nRange(\"B1:B2\").ClearContents\n"
     "Range(\"B3\").Value = IIf(IsEmpty(Range(\"B1\").Value), 35, 0)",
     kEmpty, kEmpty, 35},
    {"WorksheetFunction.Max and Min",
     "Dim r As Range\nSet r = Worksheets(\"Data\").Range(\"C1:C4\")\n"
     "Range(\"B1\").Value = WorksheetFunction.Max(r)\nRange(\"B2\").Value = "
     "WorksheetFunction.Min(r)",
     4, 1, kEmpty},
};

// Module1 of the test workbook: the set-up, a user-defined function, a
// helper for Application.Run, one Sub per idiom, and a dispatcher that runs
// the next idiom at each timestep (a counter in Sheet1!Z1, whatever the
// first timestep's number).
std::string IdiomModule() {
  std::string source =
      "Rem Attribute VBA_ModuleType=VBAModule\nOption VBASupport 1\n\n"
      "Sub Setup(timestep As Integer)\n"
      "  With Worksheets(\"Data\")\n"
      "    .Range(\"C1:C4\").Value = WorksheetFunction.Transpose(Array(1, 2, 3, 4))\n"
      "    .Range(\"E1\").Value = \"a\": .Range(\"F1\").Value = 100\n"
      "    .Range(\"E2\").Value = \"b\": .Range(\"F2\").Value = 200\n"
      "    .Range(\"E3\").Value = \"c\": .Range(\"F3\").Value = 300\n"
      "    .Range(\"G1\").Value = 42\n"
      "  End With\n"
      "  ActiveWorkbook.Names.Add Name:=\"x\", RefersTo:=\"=Data!$G$1\"\n"
      "  Worksheets(\"Sheet1\").Range(\"D1\").Formula = \"=Cube(Data!B10)\"\n"
      "  Worksheets(\"Sheet1\").Activate\n"
      "End Sub\n\n"
      "Function Cube(v)\n  Cube = v * v * v\nEnd Function\n\n"
      "Sub Helper(v)\n  Worksheets(\"Sheet1\").Range(\"B1\").Value = v\nEnd Sub\n\n"
      "Sub Broken(timestep As Integer)\n  Dim zero As Double\n  Range(\"B1\").Value = 1 / "
      "zero\nEnd Sub\n\n"
      "Sub RunIdiom(timestep As Integer)\n"
      "  Dim n As Integer\n"
      "  n = Worksheets(\"Sheet1\").Range(\"Z1\").Value + 1\n"
      "  Worksheets(\"Sheet1\").Range(\"Z1\").Value = n\n"
      "  Worksheets(\"Sheet1\").Activate\n"
      "  Worksheets(\"Sheet1\").Range(\"B1:B3\").ClearContents\n"
      "  Select Case n\n";
  const std::size_t count = std::size(kIdioms);
  for (std::size_t i = 0; i < count; ++i)
    source += "    Case " + std::to_string(i + 1) + ": Idiom" + std::to_string(i + 1) + "\n";
  source += "  End Select\nEnd Sub\n";
  for (std::size_t i = 0; i < count; ++i)
    source += "\nSub Idiom" + std::to_string(i + 1) + "()\n" + kIdioms[i].body + "\nEnd Sub\n";
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
  const fs::path workbook = folder.path() / "idioms.xlsm";
  MakeIdiomWorkbook(workbook);
  const fs::path scenario = folder.path() / "idioms.json";
  std::ofstream(scenario) << IdiomScenario(workbook).dump(2);

  const fs::path out = folder.path() / "out";
  const Result r = RunQuiet(scenario, out, folder.path(),
                            " --save-as " + (folder.path() / "after.xlsm").string());
  ASSERT_EQ(r.status, 0) << r.err;

  const auto table = ReadStreams(out / "streams.csv");
  for (std::size_t i = 0; i < std::size(kIdioms); ++i) {
    const Idiom& idiom = kIdioms[i];
    const int t = static_cast<int>(i);
    SCOPED_TRACE(std::string("idiom ") + std::to_string(i + 1) + ": " + idiom.name);
    ASSERT_TRUE(table.count({t, "Out-1"}));
    const std::map<std::string, std::string>& row = table.at({t, "Out-1"});
    const std::pair<const char*, std::optional<double>> expected[] = {
        {"oilRate", idiom.b1}, {"waterRate", idiom.b2}, {"pressure", idiom.b3}};
    for (const auto& [field, value] : expected) {
      const std::string& text = row.at(field);
      EXPECT_EQ(text.empty() ? "empty" : std::to_string(std::stod(text)),
                value ? std::to_string(*value) : "empty")
          << field;
    }
    // The user-defined function recomputes after every write of the host.
    const double input = static_cast<double>(t + 2);
    EXPECT_DOUBLE_EQ(std::stod(table.at({t, "Out-2"}).at("oilRate")), input * input * input);
  }

  // The idioms' source went back into the saved workbook as it was.
  EXPECT_TRUE(fs::exists(folder.path() / "after.xlsm"));

  // What the boxes asked reaches the run's notes and standard error.
  const std::string notes = ReadJson(out / "summary.json")["notes"].dump();
  for (const char* asked :
       {"Continue with the run?", "Stop here?", "Done", "Separator pressure?"}) {
    EXPECT_NE(notes.find(asked), std::string::npos) << notes;
    EXPECT_NE(r.err.find(asked), std::string::npos) << r.err;
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
    const fs::path workbook = folder.path() / ("copy-" + std::string(c.file));
    const fs::path data = fs::path(GRIDMOOR_TEST_DATA_DIR) / "excel-authored" / c.file;
    fs::copy_file(fs::exists(data) ? data : folder.path() / c.file, workbook);
    fs::permissions(workbook, fs::perms::owner_write, fs::perm_options::add);
    const fs::path scenario = folder.path() / (std::string(c.file) + ".json");
    std::ofstream(scenario) << StartOfRunScenario(workbook, c.macro).dump(2);
    const fs::path out = folder.path() / (std::string(c.file) + "-out");
    const Result r = RunQuiet(scenario, out, folder.path());
    ASSERT_EQ(r.status, c.status) << r.err;
    const json summary = ReadJson(out / "summary.json");
    if (c.status != 0) {
      EXPECT_NE(summary["error"]["message"].get<std::string>().find(c.said), std::string::npos)
          << summary["error"].dump();
      continue;
    }
    EXPECT_EQ(ReadStreams(out / "streams.csv").at({0, "Out-1"}).at("oilRate"), c.oilRate);
    if (std::string(c.file) == "macro02.xlsm") {
      // A copy in a format without macros says that they are not in it.
      const Result copy = RunQuiet(scenario, out / "copy", folder.path(),
                                   " --save-as " + (folder.path() / "copy.xlsx").string());
      ASSERT_EQ(copy.status, 0) << copy.err;
      EXPECT_NE(copy.err.find("that format keeps no macros, so the VBA project of"),
                std::string::npos)
          << copy.err;
    }
    // The notes as JSON: the message's quotes are escaped there.
    const std::string said = json(c.said).dump();
    EXPECT_NE(summary["notes"].dump().find(said.substr(1, said.size() - 2)), std::string::npos)
        << summary["notes"].dump();
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
  const std::string module =
      "Rem Attribute VBA_ModuleType=VBAModule\nOption VBASupport 1\n\n"
      "Sub Fill()\n"
      "  Dim r As Long, c As Long\n"
      "  For r = 2 To 7\n"
      "    For c = 1 To 3\n"
      "      Worksheets(\"Data\").Cells(r, c).Value = r * 10 + c\n"
      "    Next c\n"
      "  Next r\n"
      "  Worksheets(\"Sheet1\").Range(\"A2:C7\").Formula = \"=SUM(Data!A2+1)\" ' not .Formula = 1\n"
      "  With Worksheets(\"Sheet1\").Range(\"E2:E3\")\n"
      "    .FormulaLocal = \"=Data!A2*2\"\n"
      "  End With\n"
      "  Worksheets(\"Sheet1\").Range(\"F2:F3\").Formula = 5\n"
      "  Worksheets(\"Sheet1\").Range(\"G2\").Value = \"x.Formula = \"\"=1\"\"\"\n"
      "  Worksheets(\"Sheet1\").Range(\"H2\").Value = Mid(Range(\"C7\").Formula, 2)\n"
      "End Sub";
  Folder folder;
  const fs::path workbook = folder.path() / "idioms.xlsm", copy = folder.path() / "copy.xlsm";
  MakeIdiomWorkbook(workbook);
  {
    const com::Ptr<excel::Application> application = NewApplication();
    const com::Ptr<excel::Workbook> book = OpenWorkbook(application, workbook.string());
    const auto run = [&](const char* macro, std::initializer_list<com::Variant> given = {}) {
      application->Run(com::Variant::Text(macro), Arguments(given));
    };
    // The idiom that shows message boxes, by its Sub's number.
    const std::size_t messageBox =
        1 +
        std::find_if(
            std::begin(kIdioms), std::end(kIdioms),
            [](const Idiom& idiom) { return std::string(idiom.name).starts_with("MsgBox"); }) -
        std::begin(kIdioms);
    for (int round = 0; round < 2; ++round) {
      SCOPED_TRACE(round);
      SheetOf(book, "Sheet1")->Activate(0);
      run(("Idiom" + std::to_string(messageBox)).c_str());
      EXPECT_EQ(Get(SheetOf(book, "Sheet1"), "B1"), com::Variant::Double(6));
      const std::string failure =
          ErrorOf([&] { run("Broken", {com::Variant::Int(1)}); }).ErrorMessage();
      EXPECT_NE(failure.find("Module1.Broken: Division by zero."), std::string::npos) << failure;
      book->SaveCopyAs(com::Variant::Text(copy.string()), 0);
    }

    excel::calc::PutBasicModule(book, "VBAProject", "Module1", module);
    SheetOf(book, "Sheet1")->Activate(0);
    run("Fill");
    const com::Ptr<excel::Worksheet> sheet = SheetOf(book, "Sheet1");
    const std::pair<const char*, com::Variant> expected[] = {
        {"A2", com::Variant::Double(22)},
        {"B5", com::Variant::Double(53)},
        {"C7", com::Variant::Double(74)},
        {"E2", com::Variant::Double(42)},
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
  const std::map<std::string, BasicModule> saved =
      BasicModulesOf(OpenWorkbook(application, copy.string()), "VBAProject");
  ASSERT_EQ(saved.count("Module1"), 1u);
  std::string source = saved.at("Module1").source;
  while (!source.empty() && source.back() == '\n')
    source.pop_back();  // the office ends a module with a line break on every save
  EXPECT_EQ(source, module);
  application->Quit();
}

// An .xlsm whose macro stores the workbook itself succeeds, by either call
// (the driver's modules added to the VBA project are standard modules, which
// its export needs); opened again it holds the macro's change and none of
// the driver's modules. ThisWorkbook.Save stores as the office's Save
// command does, which asks whether to keep a format not its own: nobody
// answers in a run, and unasked it saved nothing.
TEST_F(VbaIdioms, AMacroStoresItsOwnWorkbook) {
  using namespace excel::calc::testing;
  const char* stores[] = {"ThisComponent.store()", "ThisWorkbook.Save"};
  std::string module = "Rem Attribute VBA_ModuleType=VBAModule\nOption VBASupport 1\n";
  for (int i = 0; i < 2; ++i)
    module += "\nSub SaveSelf" + std::to_string(i) +
              "()\n  Worksheets(\"Sheet1\").Range(\"C1\").Value = MsgBox(\"Keep?\", vbYesNo)\n  " +
              stores[i] + "\nEnd Sub\n";
  Folder folder;
  const fs::path prepared = folder.path() / "prepared.xlsm";
  MakeIdiomWorkbook(prepared);
  {
    const com::Ptr<excel::Application> application = NewApplication();
    const com::Ptr<excel::Workbook> book = OpenWorkbook(application, prepared.string());
    excel::calc::PutBasicModule(book, "VBAProject", "Module2", module);
    book->Save(0);
    application->Quit();
  }
  for (int i = 0; i < 2; ++i) {
    SCOPED_TRACE(stores[i]);
    const fs::path workbook = folder.path() / ("idioms" + std::to_string(i) + ".xlsm");
    fs::copy_file(prepared, workbook);
    {
      // Opened afresh: the office has not stored it in this format yet.
      const com::Ptr<excel::Application> application = NewApplication();
      OpenWorkbook(application, workbook.string());
      application->Run(com::Variant::Text("SaveSelf" + std::to_string(i)), Arguments());
      application->Quit();
    }
    const com::Ptr<excel::Application> application = NewApplication();
    const com::Ptr<excel::Workbook> book = OpenWorkbook(application, workbook.string());
    EXPECT_EQ(Get(SheetOf(book, "Sheet1"), "C1"), com::Variant::Double(6));
    const std::map<std::string, BasicModule> saved = BasicModulesOf(book, "VBAProject");
    for (const auto& [name, found] : saved) {
      EXPECT_EQ(name.find("Gridmoor"), std::string::npos) << name;
      EXPECT_EQ(found.source.find("GridmoorSupport"), std::string::npos) << name;
    }
    application->Quit();
  }
}

class VbaFiles : public excel::calc::testing::CalcTest {};

// A workbook kept in the office's own formats (flat or not) runs its VBA as
// the .xlsm did: a standard module reaches the workbook through ThisWorkbook
// (a module of that name, the workbook's code name, no longer hides it) and
// a sheet's module acts on its sheet (Me). The office alone loads such a
// file as plain Basic.
TEST_F(VbaFiles, AFlatFileKeepsItsDocumentModules) {
  using namespace excel::calc::testing;
  Folder folder;
  const fs::path workbook = folder.path() / "macro04.xlsm";
  fs::copy_file(fs::path(GRIDMOOR_TEST_DATA_DIR) / "excel-authored" / "macro04.xlsm", workbook);
  fs::permissions(workbook, fs::perms::owner_write, fs::perm_options::add);
  const std::string header = "Rem Attribute VBA_ModuleType=VBAModule\nOption VBASupport 1\n\n";
  const std::pair<const char*, std::string> modules[] = {
      {"Module1", header + "Sub ReachWorkbook()\n  ThisWorkbook.Sheets(1).Range(\"H1\").Value = "
                           "ThisWorkbook.Sheets.Count + 25\nEnd Sub\n"},
      {"Sheet1",
       "Rem Attribute VBA_ModuleType=VBADocumentModule\nOption VBASupport 1\n\n"
       "Sub WriteOwnSheet()\n  Me.Range(\"H2\").Value = Len(Me.Name)\nEnd Sub\n"}};
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
    const fs::path copy = folder.path() / (std::string("copy") + format);
    const com::Ptr<excel::Application> application = NewApplication();
    const com::Ptr<excel::Workbook> book = OpenWorkbook(application, copy.string());
    EXPECT_TRUE(BasicModulesOf(book, "VBAProject").at("ThisWorkbook").documentModule);
    for (const char* macro : {"ReachWorkbook", "Sheet1.WriteOwnSheet"}) {
      try {
        application->Run(com::Variant::Text(macro), Arguments());
      } catch (const com::Error& error) {
        ADD_FAILURE() << macro << ": " << error.ErrorMessage();
      }
    }
    const com::Ptr<excel::Worksheet> sheet = SheetOf(book, "Foo");  // code name Sheet1
    EXPECT_EQ(Get(sheet, "H1"), com::Variant::Double(26));
    EXPECT_EQ(Get(sheet, "H2"), com::Variant::Double(3));
    application->Quit();
  }
}

}  // namespace
