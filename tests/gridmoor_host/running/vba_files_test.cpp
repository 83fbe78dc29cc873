// VBA projects of workbooks kept in the office's own formats, run by the
// driver against a real office.
#include <gtest/gtest.h>

#include "excel/calc/calc_test_support.h"
#include "excel/calc/workbook_features.h"
#include "host_test_support.h"

namespace {

namespace fs = std::filesystem;
using namespace hosttest;

class VbaFiles : public excel::calc::testing::CalcTest {};

// A workbook kept in the office's flat format runs its VBA as the .xlsm did:
// a standard module reaches the workbook through ThisWorkbook (a module of
// that name, the workbook's code name, no longer hides it) and a sheet's
// module acts on its sheet (Me). The office alone loads such a file as
// plain Basic.
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
