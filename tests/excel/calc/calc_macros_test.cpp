// Basic macros of a real office run through Application.Run.
#include "calc_test_support.h"

namespace excel::calc::testing {
namespace {

using com::Variant;

constexpr const char* kModule1 =
    "Function Add2(a, b)\n"
    "  Add2 = a + b\n"
    "End Function\n"
    "\n"
    "Sub WriteCell(value)\n"
    "  ThisComponent.Sheets.getByIndex(0).getCellByPosition(1, 0).setValue(value)\n"
    "End Sub\n"
    "\n"
    "Function Joined(text, number)\n"
    "  Joined = text & \"/\" & number\n"
    "End Function\n"
    "\n"
    "Sub Fails(divisor)\n"
    "  Dim x\n"
    "  x = 1 / divisor\n"
    "End Sub\n"
    "\n"
    "Sub Auto_Open\n"
    "  ThisComponent.Sheets.getByIndex(0).getCellByPosition(2, 0).setString(\"opened\")\n"
    "End Sub\n";

RunArguments Arguments(std::initializer_list<Variant> given) {
  RunArguments arguments;
  arguments.fill(Variant::Missing());
  std::size_t i = 0;
  for (const Variant& value : given)
    arguments[i++] = value;
  return arguments;
}

Variant RunIn(const com::Ptr<Workbook>& workbook, const char* macro,
              std::initializer_list<Variant> given = {}) {
  workbook->Activate(0);
  return workbook->GetApplication()->Run(Variant::Text(macro), Arguments(given));
}

using CalcMacrosTest = CalcTest;

TEST_F(CalcMacrosTest, MacrosRunWithTheirArgumentsByEveryNameForm) {
  const com::Ptr<Application> application = NewApplication();
  const com::Ptr<Workbook> workbook = NewWorkbook(application);
  PutBasicModule(workbook, "Standard", "Module1", kModule1);
  EXPECT_EQ(RunIn(workbook, "Add2", {Variant::Double(2), Variant::Double(3)}), Variant::Int4(5));
  EXPECT_EQ(RunIn(workbook, "Module1.Add2", {Variant::Double(2.5), Variant::Int4(1)}),
            Variant::Double(3.5));
  EXPECT_EQ(RunIn(workbook, "Standard.Module1.Add2", {Variant::Int4(1), Variant::Int4(1)}),
            Variant::Int4(2));
  EXPECT_EQ(RunIn(workbook, "'Book1'!Module1.Joined", {Variant::Text("t"), Variant::Int4(7)}),
            Variant::Text("t/7"));
  // Arguments left out are not passed; the others keep their order.
  RunArguments gaps = Arguments({Variant::Text("x")});
  gaps[2] = Variant::Int4(3);
  EXPECT_EQ(application->Run(Variant::Text("Joined"), gaps), Variant::Text("x/3"));

  // A macro that changes cells: the next read sees the change.
  const com::Ptr<Worksheet> sheet = SheetOf(workbook);
  EXPECT_EQ(Get(sheet, "B1"), Variant());
  EXPECT_EQ(RunIn(workbook, "WriteCell", {Variant::Double(42)}), Variant());
  EXPECT_EQ(Get(sheet, "B1"), Variant::Double(42));
  application->Quit();
}

TEST_F(CalcMacrosTest, UnknownAndFailingMacrosAreExceptions) {
  const com::Ptr<Application> application = NewApplication();
  const com::Ptr<Workbook> workbook = NewWorkbook(application);
  PutBasicModule(workbook, "Standard", "Module1", kModule1);
  EXPECT_EQ(FailureOf([&] { RunIn(workbook, "NoSuchMacro"); }), com::DISP_E_EXCEPTION);
  EXPECT_EQ(FailureOf([&] { RunIn(workbook, "Module9.Add2"); }), com::DISP_E_EXCEPTION);
  EXPECT_EQ(FailureOf([&] { RunIn(workbook, "'Other.xlsm'!Add2"); }), com::DISP_E_EXCEPTION);
  EXPECT_EQ(FailureOf([&] { RunIn(workbook, "not a name"); }), com::DISP_E_EXCEPTION);
  // A Basic runtime error (division by zero) is a failing macro...
  EXPECT_EQ(FailureOf([&] { RunIn(workbook, "Fails", {Variant::Double(0)}); }),
            com::DISP_E_EXCEPTION);
  // ...and the same macro without the error runs.
  EXPECT_EQ(RunIn(workbook, "Fails", {Variant::Double(2)}), Variant());
  // A module that does not compile fails every macro of its library.
  PutBasicModule(workbook, "Broken", "Module1", "Function Bad()\n  Bad = (1 +\nEnd Function\n");
  EXPECT_EQ(FailureOf([&] { RunIn(workbook, "Broken.Module1.Bad"); }), com::DISP_E_EXCEPTION);
  EXPECT_EQ(FailureOf([&] { application->Run(Variant::Double(1), Arguments({})); }),
            com::DISP_E_TYPEMISMATCH);
  application->Quit();
}

TEST_F(CalcMacrosTest, AutoOpenRunsOnRequestAndWrappersAreNeverSaved) {
  const com::Ptr<Application> application = NewApplication();
  const com::Ptr<Workbook> workbook = NewWorkbook(application);
  PutBasicModule(workbook, "Standard", "Module1", kModule1);
  EXPECT_EQ(RunIn(workbook, "Add2", {Variant::Double(1), Variant::Double(1)}), Variant::Int4(2));
  workbook->RunAutoMacros(kAutoOpen, 0);
  EXPECT_EQ(Get(SheetOf(workbook), "C1"), Variant::Text("opened"));
  // A workbook without the macro: nothing happens.
  NewWorkbook(application)->RunAutoMacros(kAutoOpen, 0);

  const std::string path = PathOf("macros.fods");
  workbook->SaveCopyAs(Variant::Text(path), 0);
  const std::string saved = ReadFile(path);
  EXPECT_NE(saved.find("Add2"), std::string::npos);
  EXPECT_EQ(saved.find("GridmoorCallWrappers"), std::string::npos);
  // Macros still run after the save (the wrapper comes back).
  EXPECT_EQ(RunIn(workbook, "Add2", {Variant::Double(2), Variant::Double(2)}), Variant::Int4(4));
  application->Quit();

  // Macros in a saved file run on open, without a prompt.
  const com::Ptr<Application> reader = NewApplication();
  const com::Ptr<Workbook> opened = OpenWorkbook(reader, path);
  EXPECT_EQ(RunIn(opened, "'macros.fods'!Module1.Add2", {Variant::Int4(3), Variant::Int4(4)}),
            Variant::Int4(7));
  EXPECT_EQ(RunIn(opened, "macros!Add2", {Variant::Int4(3), Variant::Int4(5)}), Variant::Int4(8));
  reader->Quit();
}

TEST_F(CalcMacrosTest, TheOfficesOwnLibrariesComeLast) {
  const com::Ptr<Application> application = NewApplication();
  const com::Ptr<Workbook> workbook = NewWorkbook(application);
  // The office's bundled Tools library.
  EXPECT_EQ(RunIn(workbook, "Tools.Strings.GetFileNameWithoutExtension",
                  {Variant::Text("/a/b/c.ods"), Variant::Text("/")}),
            Variant::Text("c"));
  application->Quit();
}

}  // namespace
}  // namespace excel::calc::testing
