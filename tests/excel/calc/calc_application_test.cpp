// What the real application does beyond ../application_contract_test.cpp:
// calculation, typed texts, format codes, file formats, named ranges, Basic.

#include "calc_test_support.h"
#include "com/variants/variant_grid.h"
#include "excel/calc/basic/basic_source.h"
#include "text/ascii.h"
#include "workbook_features.h"

namespace excel::calc::testing {
namespace {

using com::Variant;

// The contract on the real application, and beyond it.
class CalcApplicationTest : public ApplicationContract {};
INSTANTIATE_TEST_SUITE_P(Calc, ApplicationContract, ::testing::Values("calc"),
                         [](const auto& info) { return std::string(info.param); });
INSTANTIATE_TEST_SUITE_P(Calc, CalcApplicationTest, ::testing::Values("calc"),
                         [](const auto& info) { return std::string(info.param); });

TEST_P(CalcApplicationTest, FormulasAndFormatCodesAreWrittenAsUsersWriteThem) {
  Put(sheet_, "A1", Variant::Double(2));
  Put(sheet_, "B1", Variant::Double(3));
  const std::tuple<const char*, const char*, Variant> cases[] = {
      {"C1", "=SUM(A1,B1)", Variant::Double(5)},
      {"C6", "=\"\"", Variant::Text("")},  // an empty result is no empty cell
      {"D1", "=1/0", Variant::ErrorValue(kErrDiv0)},
      {"D2", "=NA()", Variant::ErrorValue(kErrNA)},
      {"D3", "=NOSUCHFUNCTION()", Variant::ErrorValue(kErrName)},
      {"D4", "=SQRT(-1)", Variant::ErrorValue(kErrNum)},
      {"D5", "=INDIRECT(\"A0\")", Variant::ErrorValue(kErrRef)},
      {"D6", "=\"a\"+1", Variant::ErrorValue(kErrValue)},
      {"E2", "=#NAME?", Variant::ErrorValue(kErrName)},
      // Typed texts the application recognises.
      {"F2", "1,234", Variant::Double(1234)}};
  for (const auto& [cell, formula, value] : cases)
    Put(sheet_, cell, Variant::Text(formula));
  for (const auto& [cell, formula, value] : cases)
    EXPECT_EQ(Get(sheet_, cell), value) << formula;

  // A formula the application cannot read is refused, the cell kept.
  const com::Error refused = ErrorOf([&] { Put(sheet_, "A1", Variant::Text("=1+")); });
  EXPECT_EQ(refused.hr(), kApplicationError);
  EXPECT_STREQ(refused.what(),
               "The formula =1+ for Sheet1!A1 does not compile; the cell keeps what it held");
  EXPECT_EQ(Get(sheet_, "A1"), Variant::Double(2));
  // So is a sheet name the application does not take.
  EXPECT_STREQ(ErrorOf([&] { sheet_->PutName(com::Bstr::FromUtf8("a/b")); }).what(),
               "A sheet cannot be named \"a/b\": a name has 1 to 31 characters, none of : \\ / "
               "? * [ ], and no quote at either end");
  // A format code the application does not take is refused.
  EXPECT_EQ(FailureOf([&] { Put(sheet_, "A5", Variant::Text("[ZZ]0"), kDispidNumberFormat); }),
            kApplicationError);
  EXPECT_EQ(Get(sheet_, "A5", kDispidNumberFormat), Variant::Text("General"));
}

TEST_P(CalcApplicationTest, EveryFileFormatKeepsTheValuesAndOpeningTakesOutTheDriversBasic) {
  Put(sheet_, "A1", Variant::Double(1.25));
  for (const char* name : {"copy.xlsx", "copy.ods", "copy.fods", "copy.xls"}) {
    book_->SaveCopyAs(Variant::Text(PathOf(name)), 0);
    const com::Ptr<Application> reader = NewApplication();
    const com::Ptr<Workbook> opened = OpenWorkbook(reader, PathOf(name));
    const com::Ptr<Worksheet> copy = SheetOf(opened);
    EXPECT_EQ(Get(copy, "A1"), Variant::Double(1.25)) << name;
    if (std::string(name) == "copy.xlsx") {
      Put(copy, "A1", Variant::Double(2));
      opened->Save(0);
      EXPECT_NE(ReadFile(PathOf(name)).substr(0, 2), "<?");  // still a package, not flat XML
    }
    reader->Quit();
  }

  WriteFile(PathOf("data.csv"), "1.5,text\n\"a,b\",3\n");
  const com::Ptr<Worksheet> csv = SheetOf(OpenWorkbook(application_, PathOf("data.csv")));
  EXPECT_EQ(Get(csv, "A1"), Variant::Double(1.5));
  EXPECT_EQ(Get(csv, "B1"), Variant::Text("text"));
  EXPECT_EQ(Get(csv, "A2"), Variant::Text("a,b"));
  EXPECT_EQ(Get(csv, "B2"), Variant::Double(3));

  // What an older build, or a store nothing guarded, left in a file is
  // taken out when the file is opened; the user's modules stay as they are.
  const std::string module = "Sub Go()\n  MsgBox 1\nEnd Sub\n";
  PutBasicModule(book_, "Standard", "Module1", *PreparedForRun(module, "GridmoorSupport"));
  PutBasicModule(book_, "Standard", "GridmoorSupport", SupportModuleSource());
  PutBasicModule(book_, "Standard", "GridmoorCall3",
                 "Option Explicit\n\nFunction GridmoorCall3()\n  GridmoorSupport.GmDialogs = "
                 "\"\"\nEnd Function\n");
  PutBasicModule(book_, "Standard", "GridmoorCall4", "Sub Mine()\nEnd Sub\n");
  const std::string path = PathOf("left.fods");
  book_->SaveCopyAs(Variant::Text(path), 0);
  const com::Ptr<Application> reader = NewApplication();
  const std::map<std::string, BasicModule> modules =
      BasicModulesOf(OpenWorkbook(reader, path), "Standard");
  std::map<std::string, std::string> sources;
  for (const auto& [name, found] : modules)
    sources[name] = std::string(text::TrimRight(found.source)) + "\n";
  EXPECT_EQ(sources, (std::map<std::string, std::string>{
                         {"Module1", module}, {"GridmoorCall4", "Sub Mine()\nEnd Sub\n"}}));
  reader->Quit();
}

TEST_P(CalcApplicationTest, NamedRangesResolveArraysSpreadAndBlockWritesKeepTheNotesOfTheirCells) {
  // Data!B1 is Rate, Data!A1:B1 Pair, Other!A1 Elsewhere.
  const com::Ptr<Workbook> names = NewWorkbook(application_);
  const com::Ptr<Worksheet> data = SheetOf(names);
  data->PutName(com::Bstr::FromUtf8("Data"));
  const Variant missing = Variant::Missing();
  AsWorksheet(names->GetWorksheets()->Add(missing, missing, missing, missing, 0))
      ->PutName(com::Bstr::FromUtf8("Other"));
  Put(data, "A1", Variant::Double(1.5));
  Put(data, "B1", Variant::Double(2.5));
  for (const auto& [name, content] :
       {std::pair{"Rate", "$Data.$B$1"}, std::pair{"Pair", "$Data.$A$1:$B$1"},
        std::pair{"Elsewhere", "$Other.$A$1"}})
    AddDefinedName(names, name, content);
  EXPECT_EQ(Get(data, "Rate"), Variant::Double(2.5));
  EXPECT_EQ(Get(data, "rate"), Variant::Double(2.5));
  const com::VariantGrid pair = com::VariantGrid::FromVariant(
      RangeOf(data, "Pair")->Invoke(kDispidValue2, InvokeKind::kPropertyGet, {}));
  EXPECT_EQ(pair.Columns(), 2u);
  EXPECT_EQ(pair.At(1, 1), Variant::Double(1.5));
  EXPECT_EQ(FailureOf([&] { RangeOf(data, "Elsewhere"); }), kApplicationError);  // another sheet's
  Put(data, "C1", Variant::Text("=Rate*2"));
  EXPECT_EQ(Get(data, "C1"), Variant::Double(5));

  // Arrays spread over blocks.
  const auto put = [&](const char* cells, const Variant& value) {
    RangeOf(sheet_, cells)->Invoke(kDispidValue2, InvokeKind::kPropertyPut, {&value, 1});
  };
  // A row repeats down; beyond a smaller array, cells get #N/A.
  put("H1:I2", Block(1, 2, {Variant::Double(1), Variant::Double(2)}));
  EXPECT_EQ(Get(sheet_, "I2"), Variant::Double(2));
  put("K1:M3",
      Block(2, 2,
            {Variant::Double(1), Variant::Double(2), Variant::Double(3), Variant::Double(4)}));
  EXPECT_EQ(Get(sheet_, "L2"), Variant::Double(4));
  EXPECT_EQ(Get(sheet_, "M1"), Variant::ErrorValue(kErrNA));
  EXPECT_EQ(Get(sheet_, "K3"), Variant::ErrorValue(kErrNA));
  // One formula fills a block with its references moving along.
  put("G1:G2", Variant::Text("=F1*2"));
  Put(sheet_, "F1", Variant::Double(5));
  Put(sheet_, "F2", Variant::Double(4));
  EXPECT_EQ(Get(sheet_, "G1"), Variant::Double(10));
  EXPECT_EQ(Get(sheet_, "G2"), Variant::Double(8));

  // Each way a block is written (values, typed texts, formulas, one value for
  // all): the name, the value written and what B2 then holds.
  using V = Variant;
  const auto square = [](V a, V b, V c, V d) { return Block(2, 2, {a, b, c, d}); };
  const std::tuple<const char*, Variant, Variant> cases[] = {
      {"numbers", square(V::Double(1), V::Double(2), V::Double(3), V::Double(4)), V::Double(1)},
      {"texts and empty cells", square(V::Text("a"), V(), V::Text("c"), V()), V::Text("a")},
      {"typed texts", square(V::Text("1,234"), V::Text("2"), V::Text("3"), V::Text("4")),
       V::Double(1234)},
      {"formulas", square(V::Text("=D5+1"), V::Double(2), V::Double(3), V::Text("=B2*2")),
       V::Double(1)},
      {"one value for all", V::Double(7), V::Double(7)},
      {"one formula for all", V::Text("=ROW()"), V::Double(2)}};
  AddNote(book_, "B2", "oil rate, STB/d", false);
  AddNote(book_, "C3", "from the test separator", true);
  AddNote(book_, "D4", "outside", false);
  const std::map<std::string, std::string> notes = NotesOf(book_);
  ASSERT_EQ(notes.size(), 3u);
  for (const auto& [name, value, b2] : cases) {
    put("B2:C3", value);
    EXPECT_EQ(Get(sheet_, "B2"), b2) << name;
    EXPECT_EQ(NotesOf(book_), notes) << name;
  }
  // A block without notes gets none.
  put("F1:G1", Block(1, 2, {Variant::Double(1), Variant::Double(2)}));
  EXPECT_EQ(NotesOf(book_), notes);
  // A note is no content: its cell reads as empty, alone and in a block,
  // beside an empty formula result and a formula result of 1.
  put("E4", V::Text("=\"\""));
  put("F4", V::Text("=3-2"));
  EXPECT_EQ(Get(sheet_, "D4"), V());
  EXPECT_EQ(com::VariantGrid::FromVariant(
                RangeOf(sheet_, "D4:F4")->Invoke(kDispidValue2, InvokeKind::kPropertyGet, {})),
            com::VariantGrid::FromVariant(Block(1, 3, {V(), V::Text(""), V::Double(1)})));
  // A large block's rows fit their new contents as a small block's do.
  const V tall = V::Text("'one\ntwo\nthree");
  put("A800:B800", tall);
  put("A1000:CV1700", tall);
  EXPECT_EQ(RowHeightOf(book_, 999), RowHeightOf(book_, 799));
  EXPECT_GT(RowHeightOf(book_, 999), RowHeightOf(book_, 2000));
}

TEST_P(CalcApplicationTest, BasicMacrosTravelWithTheFileAndNameAMissingSheet) {
  AddMacros(book_);
  const auto run = [&](const com::Ptr<Application>& application, const char* macro,
                       std::initializer_list<Variant> given) {
    return application->Run(Variant::Text(macro), excel_test::Arguments(given));
  };
  // A module that does not compile fails every macro of its library.
  PutBasicModule(book_, "Broken", "Module1", "Function Bad()\n  Bad = (1 +\nEnd Function\n");
  EXPECT_EQ(FailureOf([&] { run(application_, "Broken.Module1.Bad", {}); }), com::DISP_E_EXCEPTION);
  // The office's own libraries come last.
  EXPECT_EQ(run(application_, "Tools.Strings.GetFileNameWithoutExtension",
                {Variant::Text("/a/b/c.ods"), Variant::Text("/")}),
            Variant::Text("c"));

  // Macros run after the save and in the saved file, without a prompt, by
  // the file's name with or without its extension.
  const std::string path = PathOf("macros.fods");
  book_->SaveCopyAs(Variant::Text(path), 0);
  EXPECT_EQ(run(application_, "Add2", {Variant::Int4(2), Variant::Int4(2)}), Variant::Int4(4));
  const com::Ptr<Application> reader = NewApplication();
  OpenWorkbook(reader, path)->Activate(0);
  EXPECT_EQ(run(reader, "'macros.fods'!Module1.Add2", {Variant::Int4(3), Variant::Int4(4)}),
            Variant::Int4(7));
  EXPECT_EQ(run(reader, "macros!Add2", {Variant::Int4(3), Variant::Int4(5)}), Variant::Int4(8));
  reader->Quit();

  // A macro that asks for a sheet the workbook lacks fails naming it, not
  // with the office's bare "no such element" and a source line of its own.
  PutBasicModule(book_, "Standard", "Module1",
                 "Sub Missing()\n  x = ThisComponent.Sheets.getByName(\"Nowhere\")\nEnd Sub\n"
                 "Sub Present()\n  x = ThisComponent.Sheets.getByName(\"Sheet1\")\nEnd Sub\n");
  const std::string message = ErrorOf([&] { run(application_, "Missing", {}); }).what();
  EXPECT_NE(message.find("Module1.Missing: the workbook has no sheet \"Nowhere\""),
            std::string::npos)
      << message;
  EXPECT_EQ(message.find("Sheet1"), std::string::npos) << message;
}

// Cells written ahead of a macro in its own call are there when it runs, in
// the order given; a cell that cannot be written runs nothing, and the
// caller writes the cells itself.
TEST_P(CalcApplicationTest, CellsWrittenAheadOfAMacroAreWrittenFirstOrNothingRuns) {
  PutBasicModule(
      book_, "Standard", "Ahead",
      "Function Seen(n)\n  Dim s As Object\n  s = ThisComponent.Sheets.getByIndex(0)\n"
      "  s.getCellRangeByName(\"D1\").setValue(s.getCellRangeByName(\"D1\").getValue() + "
      "1)\n  Seen = s.getCellRangeByName(\"A1\").getValue() * 100 + "
      "s.getCellRangeByName(\"B2\").getValue() + n\nEnd Function\n"
      "Sub Fails(n)\n  Err.Raise 5\nEnd Sub\n");
  const auto run = [&](const char* macro, std::vector<CellWrite> writes) {
    return application_->RunAfterWriting(writes, Variant::Text(macro),
                                         Arguments({Variant::Int4(3)}));
  };
  // B2 twice: the later write stands.
  EXPECT_EQ(run("Seen", {{"Sheet1", 0, 0, 2}, {"Sheet1", 1, 1, 9}, {"Sheet1", 1, 1, 5}}),
            std::optional(Variant::Int4(208)));
  EXPECT_EQ(Get(sheet_, "B2"), Variant::Double(5));
  EXPECT_EQ(application_->Run(Variant::Text("Seen"), Arguments({Variant::Int4(0)})),
            Variant::Int4(205))
      << "the same macro without writes";
  // A missing sheet: A1 may be written, nothing runs (D1 counts the runs).
  EXPECT_EQ(run("Seen", {{"Sheet1", 0, 0, 4}, {"Nowhere", 0, 0, 1}}), std::nullopt);
  EXPECT_EQ(Get(sheet_, "D1"), Variant::Double(2));
  // The macro's own failure is its own, after the writes.
  EXPECT_EQ(FailureOf([&] { run("Fails", {{"Sheet1", 2, 0, 7}}); }), com::DISP_E_EXCEPTION);
  EXPECT_EQ(Get(sheet_, "C1"), Variant::Double(7));
}

// Sheets and cells looked up before a macro that moves them are found again
// by name and address, as a user reads them.
TEST_P(CalcApplicationTest, LookUpsAfterAMacroFollowNamesAndAddressesNotMovedCells) {
  constexpr const char* kSetUp = R"(Sub SetUp
  Dim s As Object, a As New com.sun.star.table.CellAddress
  s = ThisComponent.Sheets.getByIndex(0)
  s.setName("Data")
  s.getCellRangeByName("B1").setValue(1)
  s.getCellRangeByName("B2").setValue(2)
  s.getCellRangeByName("B3").setValue(3)
  ThisComponent.NamedRanges.addNewByName("Target", "$Data.$B$2", a, 0)
End Sub
)";
  struct Case {
    const char* name;
    const char* body;  // with s the sheet Data
    const char* sheet;
    const char* cell;
    Variant expected;  // Null: the sheet is not found
  };
  const Case cases[] = {
      {"row inserted above", "s.getRows().insertByIndex(0, 1)", "Data", "B2", Variant::Double(1)},
      {"cell moved away",
       "s.moveRange(s.getCellRangeByName(\"D5\").getCellAddress(), "
       "s.getCellRangeByName(\"B2\").getRangeAddress())",
       "Data", "B2", Variant()},
      {"sheet renamed", "s.setName(\"Renamed\")", "Data", "B2", Variant::Null()},
      {"renamed sheet read by its new name", "s.setName(\"Renamed\")", "Renamed", "B2",
       Variant::Double(2)},
      {"name pointed elsewhere",
       "ThisComponent.NamedRanges.getByName(\"Target\").setContent(\"$Data.$B$3\")", "Data",
       "Target", Variant::Double(3)}};
  for (const Case& c : cases) {
    const com::Ptr<Workbook> book = NewWorkbook(application_);
    PutBasicModule(book, "Standard", "Moves",
                   std::string(kSetUp) + "Sub Move\n  Dim s As Object\n  s = " +
                       "ThisComponent.Sheets.getByName(\"Data\")\n  " + c.body + "\nEnd Sub\n");
    application_->Run(Variant::Text("SetUp"), Arguments());
    EXPECT_EQ(Get(SheetOf(book, "Data"), "B2"), Variant::Double(2)) << c.name;
    EXPECT_EQ(Get(SheetOf(book, "Data"), "Target"), Variant::Double(2)) << c.name;
    application_->Run(Variant::Text("Move"), Arguments());
    if (c.expected.vt == com::VT_NULL) {
      EXPECT_EQ(FailureOf([&] { SheetOf(book, c.sheet); }), com::DISP_E_BADINDEX) << c.name;
    } else {
      EXPECT_EQ(Get(SheetOf(book, c.sheet), c.cell), c.expected) << c.name;
    }
    book->Close(Variant::Bool(false), Variant::Missing(), Variant::Missing(), 0);
  }
}

}  // namespace
}  // namespace excel::calc::testing
