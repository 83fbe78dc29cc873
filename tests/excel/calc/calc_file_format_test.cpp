// Saving a workbook made in Excel through each of the driver's save paths
// keeps its VBA project, read again by a fresh application. (Defined names,
// data validation, charts and conditional formats go through the office's
// filters; no driver code touches them.)
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "calc_test_support.h"
#include "workbook_features.h"

namespace excel::calc::testing {
namespace {

using com::Variant;
namespace fs = std::filesystem;

// Saved by Excel: Module1.Macro1 (recorded: selects A1, types 123), the
// document modules MyWorkbook and MySheet1, 123 in A1 of Sheet1.
const std::string kMacroWorkbook =
    std::string(GRIDMOOR_TEST_DATA_DIR) + "/excel-authored/macro02.xlsm";
constexpr const char* kVbaLibrary = "VBAProject";

// A module's source without the trailing line ends each save adds.
std::map<std::string, BasicModule> Trimmed(std::map<std::string, BasicModule> modules) {
  for (auto& [name, module] : modules) {
    while (!module.source.empty() && module.source.back() == '\n')
      module.source.pop_back();
  }
  return modules;
}

// A writable copy of the macro workbook at `path`.
std::string CopyOfMacroWorkbook(const std::string& path) {
  fs::copy_file(kMacroWorkbook, path);
  fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write, fs::perm_options::add);
  return path;
}

// Runs the recorded macro on a cleared A1. It selects a cell, which fails in
// a workbook loaded hidden (no view that the office shows).
void RunRecordedMacro(const com::Ptr<Application>& application,
                      const com::Ptr<Workbook>& workbook) {
  const com::Ptr<Worksheet> sheet = SheetOf(workbook);
  Put(sheet, "A1", Variant());
  if (!IsLoadedHidden(workbook)) {
    application->Run(Variant::Text("Macro1"), Arguments());
    EXPECT_EQ(Get(sheet, "A1"), Variant::Double(123)) << "the recorded macro did not run";
  } else {
    EXPECT_EQ(FailureOf([&] { application->Run(Variant::Text("Macro1"), Arguments()); }),
              com::DISP_E_EXCEPTION);
    EXPECT_TRUE(Get(sheet, "A1").IsEmpty());
  }
}

using FileFormatTest = CalcTest;

enum class SavePath { kSave, kSaveCopyAs, kCloseSavingAs };

struct SaveCase {
  const char* name;
  SavePath path;
  bool runMacroFirst;  // places the driver's call wrapper in the VBA project
};

// (A macro-free format drops the project: the office's filter decides that.)
const SaveCase kSaveCases[] = {{"SaveInPlace", SavePath::kSave, false},
                               {"SaveCopyAs", SavePath::kSaveCopyAs, false},
                               {"CloseSavingAs", SavePath::kCloseSavingAs, false},
                               {"RunMacroThenSaveCopyAs", SavePath::kSaveCopyAs, true}};

// Each workbook, a copy of the macro workbook, is saved in one application,
// one open at a time, and read back by a fresh one.
TEST_F(FileFormatTest, EverySavePathKeepsWhatTheWorkbookHolds) {
  std::map<std::string, BasicModule> original;
  std::vector<std::string> saved;
  {
    const com::Ptr<Application> application = NewApplication();
    for (const SaveCase& c : kSaveCases) {
      SCOPED_TRACE(c.name);
      const std::string opened = CopyOfMacroWorkbook(PathOf(std::string(c.name) + ".xlsm"));
      saved.push_back(c.path == SavePath::kSave ? opened
                                                : PathOf(std::string(c.name) + "-saved.xlsm"));
      const com::Ptr<Workbook> workbook = OpenWorkbook(application, opened);
      original = Trimmed(BasicModulesOf(workbook, kVbaLibrary));
      ASSERT_EQ(original.size(), 3u);
      if (c.runMacroFirst) RunRecordedMacro(application, workbook);
      const Variant missing = Variant::Missing();
      if (c.path == SavePath::kCloseSavingAs) {
        workbook->Close(Variant::Bool(true), Variant::Text(saved.back()), missing, 0);
        continue;
      }
      if (c.path == SavePath::kSave) workbook->Save(0);
      if (c.path == SavePath::kSaveCopyAs) workbook->SaveCopyAs(Variant::Text(saved.back()), 0);
      workbook->Close(Variant::Bool(false), missing, missing, 0);
    }
    application->Quit();
  }
  const com::Ptr<Application> application = NewApplication();
  for (std::size_t n = 0; n < std::size(kSaveCases); ++n) {
    SCOPED_TRACE(kSaveCases[n].name);
    const com::Ptr<Workbook> workbook = OpenWorkbook(application, saved[n]);
    EXPECT_EQ(Trimmed(BasicModulesOf(workbook, kVbaLibrary)), original) << "VBA project";
    RunRecordedMacro(application, workbook);
    workbook->Close(Variant::Bool(false), Variant::Missing(), Variant::Missing(), 0);
  }
}

// A module added through the driver is registered as a standard module, or
// the office's project export fails every store of the file.
TEST_F(FileFormatTest, VbaProjectStoresAnAddedModuleAndOneSheetFormatsLoseNoSheets) {
  const std::string opened = CopyOfMacroWorkbook(PathOf("book.xlsm"));
  {
    const com::Ptr<Application> application = NewApplication();
    const com::Ptr<Workbook> workbook = OpenWorkbook(application, opened);
    PutBasicModule(workbook, kVbaLibrary, "Added",
                   "Rem Attribute VBA_ModuleType=VBAModule\nOption VBASupport 1\nSub Added()\n"
                   "End Sub\n");
    EXPECT_EQ(FailureOf([&] { workbook->SaveCopyAs(Variant::Text(PathOf("saved.xlsm")), 0); }), 0);
  }
  const com::Ptr<Application> application = NewApplication();
  const std::map<std::string, BasicModule> modules =
      Trimmed(BasicModulesOf(OpenWorkbook(application, PathOf("saved.xlsm")), kVbaLibrary));
  ASSERT_EQ(modules.count("Added"), 1u);
  EXPECT_NE(modules.at("Added").source.find("Sub Added()"), std::string::npos);

  // A one-sheet format is never stored over with other sheets (the office
  // would drop all but the active one): refused, the file left as it was.
  const std::string csv = PathOf("data.csv");
  const std::string rows = "rate,1250\npressure,310\n";
  WriteFile(csv, rows);
  const com::Ptr<Workbook> workbook = OpenWorkbook(application, csv);
  const com::Variant missing = Variant::Missing();
  workbook->GetWorksheets()->Add(missing, missing, missing, missing, 0);
  const std::vector<std::pair<const char*, std::function<void()>>> saves = {
      {"Save", [&] { workbook->Save(0); }},
      {"SaveCopyAs", [&] { workbook->SaveCopyAs(Variant::Text(PathOf("copy.csv")), 0); }}};
  for (const auto& [name, save] : saves) {
    const com::Error error = com_test::ErrorOf(save);
    EXPECT_EQ(error.hr(), kApplicationError) << name;
    EXPECT_NE(error.ErrorMessage().find("the format holds one sheet, and the workbook has 2 ("),
              std::string::npos)
        << name << ": " << error.ErrorMessage();
  }
  EXPECT_EQ(ReadFile(csv), rows);
  EXPECT_FALSE(fs::exists(PathOf("copy.csv")));
  // Other formats hold every sheet.
  workbook->SaveCopyAs(Variant::Text(PathOf("copy.ods")), 0);
  EXPECT_TRUE(fs::exists(PathOf("copy.ods")));

  WriteFile(PathOf("single.csv"), rows);
  const com::Ptr<Workbook> single = OpenWorkbook(application, PathOf("single.csv"));
  Put(SheetOf(single), "B1", Variant::Double(7));
  single->Save(0);
  EXPECT_EQ(ReadFile(PathOf("single.csv")), "rate,7\npressure,310\n");
}

}  // namespace
}  // namespace excel::calc::testing
