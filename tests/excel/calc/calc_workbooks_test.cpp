// Workbooks and sheets of a real office: adding, naming, saving, opening.
#include <filesystem>

#include "calc_test_support.h"
#include "com/variant_grid.h"

namespace excel::calc::testing {
namespace {

using com::Variant;
namespace fs = std::filesystem;

std::string NameOf(const com::Ptr<Worksheet>& sheet) {
  return sheet->GetName().ToUtf8();
}

// A flat spreadsheet file as the office reads it: two sheets and three names.
constexpr const char* kNamedRangesFile = R"(<?xml version="1.0" encoding="UTF-8"?>
<office:document xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0"
 xmlns:table="urn:oasis:names:tc:opendocument:xmlns:table:1.0"
 xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0"
 office:version="1.2" office:mimetype="application/vnd.oasis.opendocument.spreadsheet">
 <office:body><office:spreadsheet>
  <table:table table:name="Data">
   <table:table-row>
    <table:table-cell office:value-type="float" office:value="1.5"><text:p>1.5</text:p></table:table-cell>
    <table:table-cell office:value-type="float" office:value="2.5"><text:p>2.5</text:p></table:table-cell>
   </table:table-row>
  </table:table>
  <table:table table:name="Other"><table:table-row><table:table-cell/></table:table-row></table:table>
  <table:named-expressions>
   <table:named-range table:name="Rate" table:base-cell-address="$Data.$A$1" table:cell-range-address="$Data.$B$1"/>
   <table:named-range table:name="Pair" table:base-cell-address="$Data.$A$1" table:cell-range-address="$Data.$A$1:.$B$1"/>
   <table:named-range table:name="Elsewhere" table:base-cell-address="$Other.$A$1" table:cell-range-address="$Other.$A$1"/>
  </table:named-expressions>
 </office:spreadsheet></office:body>
</office:document>
)";

using CalcWorkbooksTest = CalcTest;

TEST_F(CalcWorkbooksTest, ANewWorkbookHasOneSheetNamedSheet1) {
  const com::Ptr<Application> application = NewApplication();
  const com::Ptr<Workbook> workbook = NewWorkbook(application);
  EXPECT_EQ(workbook->GetSheets()->GetCount(), 1);
  EXPECT_EQ(workbook->GetWorksheets()->GetCount(), 1);
  EXPECT_EQ(NameOf(SheetOf(workbook)), "Sheet1");
  EXPECT_EQ(workbook->GetApplication().Get(), application.Get());
  application->Quit();
}

TEST_F(CalcWorkbooksTest, SheetsAreAddedFoundAndRenamed) {
  const com::Ptr<Application> application = NewApplication();
  const com::Ptr<Workbook> workbook = NewWorkbook(application);
  const com::Ptr<Sheets> sheets = workbook->GetWorksheets();
  const com::Ptr<Worksheet> added = com::QueryInterface<Worksheet>(sheets->Add(
      Variant::Missing(), Variant::Missing(), Variant::Missing(), Variant::Missing(), 0));
  EXPECT_EQ(NameOf(added), "Sheet2");
  EXPECT_EQ(sheets->GetCount(), 2);
  // Inserted before the active sheet, and active itself: the next goes first.
  EXPECT_EQ(NameOf(com::QueryInterface<Worksheet>(sheets->GetItem(Variant::Int4(1)))), "Sheet2");
  const com::Ptr<Worksheet> third = com::QueryInterface<Worksheet>(sheets->Add(
      Variant::Missing(), Variant::Missing(), Variant::Missing(), Variant::Missing(), 0));
  EXPECT_EQ(NameOf(third), "Sheet3");
  EXPECT_EQ(NameOf(com::QueryInterface<Worksheet>(sheets->GetItem(Variant::Int(1)))), "Sheet3");

  // By name, without regard to case; unknown names and positions.
  EXPECT_EQ(NameOf(SheetOf(workbook, "sheet1")), "Sheet1");
  EXPECT_EQ(FailureOf([&] { sheets->GetItem(Variant::Text("Nope")); }), com::DISP_E_BADINDEX);
  EXPECT_EQ(FailureOf([&] { sheets->GetItem(Variant::Int4(0)); }), com::DISP_E_BADINDEX);
  EXPECT_EQ(FailureOf([&] { sheets->GetItem(Variant::Int4(4)); }), com::DISP_E_BADINDEX);

  added->PutName(com::Bstr::FromUtf8("Results 2024"));
  EXPECT_EQ(NameOf(added), "Results 2024");
  EXPECT_EQ(NameOf(SheetOf(workbook, "RESULTS 2024")), "Results 2024");
  for (const char* refused :
       {"a/b", "x?", "[x]", "", "sheet1", "12345678901234567890123456789012"}) {
    EXPECT_EQ(FailureOf([&] { added->PutName(com::Bstr::FromUtf8(refused)); }), kApplicationError)
        << refused;
    EXPECT_EQ(NameOf(added), "Results 2024");
  }
  added->Activate(0);
  application->Quit();
}

TEST_F(CalcWorkbooksTest, NamedRangesOfTheSheetResolve) {
  const std::string path = PathOf("names.fods");
  WriteFile(path, kNamedRangesFile);
  const com::Ptr<Application> application = NewApplication();
  const com::Ptr<Workbook> workbook = OpenWorkbook(application, path);
  const com::Ptr<Worksheet> data = SheetOf(workbook, "Data");
  EXPECT_EQ(Get(data, "Rate"), Variant::Double(2.5));
  EXPECT_EQ(Get(data, "rate"), Variant::Double(2.5));
  const com::VariantGrid pair = com::VariantGrid::FromVariant(
      RangeOf(data, "Pair")->Invoke(kDispidValue2, InvokeKind::kPropertyGet, {}));
  EXPECT_EQ(pair.Columns(), 2u);
  EXPECT_EQ(pair.At(1, 1), Variant::Double(1.5));
  // A name of another sheet is no range of this one.
  EXPECT_EQ(FailureOf([&] { RangeOf(data, "Elsewhere"); }), kApplicationError);
  // Formulas see the names too.
  Put(data, "C1", Variant::Text("=Rate*2"));
  EXPECT_EQ(Get(data, "C1"), Variant::Double(5));
  application->Quit();
}

TEST_F(CalcWorkbooksTest, SavedCopiesReopenWithTheSameValuesInEveryFormat) {
  const com::Ptr<Application> application = NewApplication();
  const com::Ptr<Workbook> workbook = NewWorkbook(application);
  const com::Ptr<Worksheet> sheet = SheetOf(workbook);
  Put(sheet, "A1", Variant::Double(1.25));
  Put(sheet, "A2", Variant::Text("text"));
  Put(sheet, "A3", Variant::Text("=A1*4"));
  Put(sheet, "A4", Variant::Bool(true));
  Put(sheet, "A5", Variant::Text("=1/0"));
  for (const char* name : {"copy.xlsx", "copy.ods", "copy.fods", "copy.xls"}) {
    workbook->SaveCopyAs(Variant::Text(PathOf(name)), 0);
    ASSERT_TRUE(fs::exists(PathOf(name))) << name;
    const com::Ptr<Application> reader = NewApplication();
    const com::Ptr<Worksheet> copy = SheetOf(OpenWorkbook(reader, PathOf(name)));
    EXPECT_EQ(Get(copy, "A1"), Variant::Double(1.25)) << name;
    EXPECT_EQ(Get(copy, "A2"), Variant::Text("text")) << name;
    EXPECT_EQ(Get(copy, "A3"), Variant::Double(5)) << name;
    // The office writes a logical into .xls as a plain number.
    EXPECT_EQ(Get(copy, "A4"),
              std::string(name) == "copy.xls" ? Variant::Double(1) : Variant::Bool(true))
        << name;
    EXPECT_EQ(Get(copy, "A5"), Variant::ErrorValue(kErrDiv0)) << name;
    reader->Quit();
  }
  // The workbook kept working on itself: still never saved.
  EXPECT_EQ(FailureOf([&] { workbook->Save(0); }), kApplicationError);
  application->Quit();
}

TEST_F(CalcWorkbooksTest, SaveWritesTheOpenedFileInItsOwnFormat) {
  const std::string path = PathOf("book.xlsx");
  {
    const com::Ptr<Application> application = NewApplication();
    const com::Ptr<Workbook> workbook = NewWorkbook(application);
    Put(SheetOf(workbook), "A1", Variant::Double(1));
    workbook->SaveCopyAs(Variant::Text(path), 0);
    application->Quit();
  }
  const com::Ptr<Application> application = NewApplication();
  const com::Ptr<Workbook> workbook = OpenWorkbook(application, path);
  Put(SheetOf(workbook), "A1", Variant::Double(2));
  workbook->Save(0);
  workbook->Close(Variant::Bool(false), Variant::Missing(), Variant::Missing(), 0);
  EXPECT_EQ(Get(SheetOf(OpenWorkbook(application, path)), "A1"), Variant::Double(2));
  EXPECT_NE(ReadFile(path).substr(0, 2), "<?");  // still a zip package, not flat XML
  application->Quit();
  // No lock files are left beside the workbook.
  for (const fs::directory_entry& entry : fs::directory_iterator(Folder()))
    EXPECT_EQ(entry.path().filename().string().find(".~lock"), std::string::npos);
}

TEST_F(CalcWorkbooksTest, CloseWithSaveChangesStoresUnderTheNewName) {
  const com::Ptr<Application> application = NewApplication();
  const com::Ptr<Workbook> workbook = NewWorkbook(application);
  Put(SheetOf(workbook), "B2", Variant::Text("kept"));
  workbook->Close(Variant::Bool(true), Variant::Text(PathOf("closed.ods")), Variant::Missing(), 0);
  // A closed workbook has left its clients.
  EXPECT_EQ(FailureOf([&] { workbook->GetSheets(); }), com::RPC_E_DISCONNECTED);
  EXPECT_EQ(Get(SheetOf(OpenWorkbook(application, PathOf("closed.ods"))), "B2"),
            Variant::Text("kept"));
  application->Quit();
}

TEST_F(CalcWorkbooksTest, OpeningWhatIsNoWorkbookFails) {
  const com::Ptr<Application> application = NewApplication();
  WriteFile(PathOf("garbage.xlsx"), std::string("\x01\x02not a workbook\xff", 18));
  EXPECT_EQ(FailureOf([&] { OpenWorkbook(application, PathOf("missing.xlsx")); }),
            kApplicationError);
  EXPECT_EQ(FailureOf([&] { OpenWorkbook(application, PathOf("garbage.xlsx")); }),
            kApplicationError);
  EXPECT_EQ(FailureOf([&] { OpenWorkbook(application, Folder().string()); }), kApplicationError);
  std::array<Variant, 3> wrongCount;
  EXPECT_EQ(FailureOf([&] {
              application->GetWorkbooks()->Open(com::Bstr::FromUtf8(PathOf("x.xlsx")), wrongCount,
                                                0);
            }),
            com::DISP_E_BADPARAMCOUNT);
  // The application is still fine after failures.
  EXPECT_EQ(SheetOf(NewWorkbook(application))->GetName().ToUtf8(), "Sheet1");
  application->Quit();
}

TEST_F(CalcWorkbooksTest, CsvOpensByItsOwnType) {
  WriteFile(PathOf("data.csv"), "1.5,text\n\"a,b\",3\n");
  const com::Ptr<Application> application = NewApplication();
  const com::Ptr<Worksheet> sheet = SheetOf(OpenWorkbook(application, PathOf("data.csv")));
  EXPECT_EQ(Get(sheet, "A1"), Variant::Double(1.5));
  EXPECT_EQ(Get(sheet, "B1"), Variant::Text("text"));
  EXPECT_EQ(Get(sheet, "A2"), Variant::Text("a,b"));
  EXPECT_EQ(Get(sheet, "B2"), Variant::Double(3));
  application->Quit();
}

TEST_F(CalcWorkbooksTest, OpeningAFileTheApplicationHoldsGivesThatWorkbook) {
  const com::Ptr<Application> application = NewApplication();
  const com::Ptr<Workbook> first = NewWorkbook(application);
  first->SaveCopyAs(Variant::Text(PathOf("one.ods")), 0);
  const com::Ptr<Workbook> opened = OpenWorkbook(application, PathOf("one.ods"));
  Put(SheetOf(opened), "A1", Variant::Double(3));
  EXPECT_EQ(Get(SheetOf(OpenWorkbook(application, PathOf("one.ods"))), "A1"), Variant::Double(3));
  application->Quit();
}

}  // namespace
}  // namespace excel::calc::testing
