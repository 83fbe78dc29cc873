// What the driver relies on of any excel:: application: workbooks, sheets, cells
// and their VARIANT types, number formats, files, macros, properties, HRESULTs.
#include "excel/calc/calc_test_support.h"

#include <filesystem>
#include <optional>

#include "com/variants/variant_grid.h"
#include "com/variants/variant_text.h"

namespace excel::calc::testing {

using com::Variant;

namespace {

const Variant kMissing = Variant::Missing();

TEST_P(ApplicationContract,
       ANewWorkbookHasSheet1NewSheetsGoBeforeTheActiveOneAndRefusedNamesLeaveTheOld) {
  EXPECT_EQ(book_->GetSheets()->GetCount(), 1);
  EXPECT_EQ(NameOf(sheet_), "Sheet1");
  EXPECT_EQ(book_->GetApplication()->GetScreenUpdating(0), com::VARIANT_TRUE);
  const com::Ptr<excel::Sheets> sheets = book_->GetWorksheets();
  const auto added = AsWorksheet(sheets->Add(kMissing, kMissing, kMissing, kMissing, 0));
  EXPECT_EQ(NameOf(added), "Sheet2");
  EXPECT_EQ(NameOf(AsWorksheet(sheets->GetItem(Variant::Int4(1)))), "Sheet2");
  // Named from the count on, past the names taken; active once added.
  added->PutName(com::Bstr::FromUtf8("Sheet3"));
  EXPECT_EQ(NameOf(AsWorksheet(sheets->Add(kMissing, kMissing, kMissing, kMissing, 0))), "Sheet4");
  sheet_->Activate(0);
  sheets->Add(kMissing, kMissing, kMissing, kMissing, 0);
  std::vector<std::string> names;
  for (std::int32_t i = 1; i <= sheets->GetCount(); ++i)
    names.push_back(NameOf(AsWorksheet(sheets->GetItem(Variant::Int(i)))));
  EXPECT_EQ(names, (std::vector<std::string>{"Sheet4", "Sheet3", "Sheet5", "Sheet1"}));
  // The names in one call, where the application has it, are the items' own.
  const auto listed = [](const com::Ptr<excel::Sheets>& of) {
    std::optional<std::vector<std::string>> texts;
    if (const auto all = of->Names()) {
      texts.emplace();
      for (const com::Bstr& name : *all)
        texts->push_back(name.ToUtf8());
    }
    return texts;
  };
  if (const auto all = listed(sheets)) {
    EXPECT_EQ(*all, names);
  }

  EXPECT_EQ(NameOf(SheetOf(book_, "sheet3")), "Sheet3");
  for (const Variant& index : {Variant::Text("Nope"), Variant::Int4(0), Variant::Int4(5)}) {
    EXPECT_EQ(FailureOf([&] { sheets->GetItem(index); }), com::DISP_E_BADINDEX) << Describe(index);
  }

  // Refused names leave the old one (in a workbook of its own).
  const com::Ptr<excel::Workbook> other = NewWorkbook(application_);
  const auto first = SheetOf(other);
  other->GetWorksheets()->Add(kMissing, kMissing, kMissing, kMissing, 0);  // "Sheet2"
  using namespace std::string_literals;
  for (const std::string& refused : {""s, "a/b"s, "x?"s, "[x]"s, "a:b"s, "a*b"s, "a\\b"s, "'ab"s,
                                     "sheet2"s, std::string(32, 'x')}) {
    EXPECT_EQ(FailureOf([&] { first->PutName(com::Bstr::FromUtf8(refused)); }), kApplicationError)
        << refused;
    EXPECT_EQ(NameOf(first), "Sheet1") << refused;
  }
  for (const std::string& accepted :
       {std::string(31, 'x'), "Results 2024"s, "a'b"s, "Débit ☃"s, "SHEET1"s}) {
    first->PutName(com::Bstr::FromUtf8(accepted));
    EXPECT_EQ(NameOf(first), accepted);
    if (const auto all = listed(other->GetSheets())) {
      EXPECT_EQ(*all, (std::vector<std::string>{"Sheet2", accepted}));
    }
  }
}

// Each value read back alone; and what the driver's block transfer relies
// on: a block read gives, cell by cell, what single-cell reads give, and an
// array written into a block leaves each cell as writing its value alone does.
TEST_P(ApplicationContract, ValuesReadBackWithTheirVariantTypesAlsoInBlocks) {
  using V = Variant;
  // Without a value read: what the application computes or recognises.
  const auto P = [](Variant written, std::optional<Variant> read = std::nullopt) {
    return std::pair{written, read};
  };
  // Row 9 (A9) holds 12.5, which a refused write below must keep.
  std::vector<std::pair<Variant, std::optional<Variant>>> cases = {
      P(V::Double(2.5), V::Double(2.5)),
      P(V::Double(0.1 + 0.2), V::Double(0.1 + 0.2)),
      P(V::Int4(42), V::Double(42)),
      P(V::Date(43832.25), V::Double(43832.25)),
      P(V::Bool(true), V::Bool(true)),
      P(V::Bool(false), V::Bool(false)),
      P(V::Text("Grüße ∑"), V::Text("Grüße ∑")),
      P(V::Text("TRUE"), V::Bool(true)),
      P(V::Text("12.5"), V::Double(12.5)),
      P(V::Text("'12"), V::Text("12")),
      P(V::Text("'=no formula"), V::Text("=no formula")),
      P(V::Text("#N/A"), V::ErrorValue(excel::kErrNA)),
      P(V(), V()),
      P(V::Text(""), V()),
      P(V::Double(0), V::Double(0)),
      P(V::Double(1), V::Double(1))};
  for (const char* text : {"  ", "=\"\"", "=1>0", "=2+3", "C1", "1/2/2020", "N2", "3 4", "--"})
    cases.push_back(P(V::Text(text)));
  const std::size_t n = std::size(cases);
  const auto cell = [](char column, std::size_t i) { return column + std::to_string(i + 1); };
  const auto read = [&](char column) {
    return com::VariantGrid::FromVariant(
        RangeOf(sheet_, cell(column, 0).c_str(), cell(column, n - 1).c_str())
            ->Invoke(excel::kDispidValue2, excel::InvokeKind::kPropertyGet, {}));
  };
  const auto write = [&](char column, const std::vector<Variant>& cells) {
    com::VariantGrid grid(cells.size(), 1);
    for (std::size_t i = 0; i < cells.size(); ++i)
      grid.At(static_cast<std::int32_t>(i) + 1, 1) = cells[i];
    const Variant array = grid.ToVariant();
    RangeOf(sheet_, cell(column, 0).c_str(), cell(column, cells.size() - 1).c_str())
        ->Invoke(excel::kDispidValue2, excel::InvokeKind::kPropertyPut, {&array, 1});
  };
  std::vector<Variant> written, plain;
  for (std::size_t i = 0; i < n; ++i) {
    Put(sheet_, cell('A', i).c_str(), cases[i].first);
    written.push_back(cases[i].first);
    plain.push_back(V::Double(static_cast<double>(i % 2)));
  }
  // Mixed formats (the logicals) in column A; one format in column C.
  write('B', written);
  write('C', plain);
  const com::VariantGrid a = read('A');
  const com::VariantGrid b = read('B');
  const com::VariantGrid c = read('C');
  for (std::size_t i = 0; i < n; ++i) {
    const auto row = static_cast<std::int32_t>(i) + 1;
    const Variant single = Get(sheet_, cell('A', i).c_str());
    SCOPED_TRACE(Describe(cases[i].first));
    EXPECT_EQ(single, cases[i].second.value_or(single));
    EXPECT_EQ(a.At(row, 1), single);
    EXPECT_EQ(b.At(row, 1), single);
    EXPECT_EQ(Get(sheet_, cell('B', i).c_str()), single);
    EXPECT_EQ(c.At(row, 1), Get(sheet_, cell('C', i).c_str()));
  }
  EXPECT_EQ(Get(sheet_, "Z99"), Variant());
  for (const com::SCODE error : {excel::kErrNull, excel::kErrDiv0, excel::kErrValue, excel::kErrRef,
                                 excel::kErrName, excel::kErrNum, excel::kErrNA}) {
    Put(sheet_, "Y1", Variant::ErrorValue(error));
    EXPECT_EQ(Get(sheet_, "Y1"), Variant::ErrorValue(error)) << std::hex << error;
  }
  // Emptying clears; what no cell holds is refused and the cell kept.
  Put(sheet_, "A1", Variant());
  EXPECT_EQ(Get(sheet_, "A1"), Variant());
  for (const Variant& refused : {Variant::Missing(), Variant::ErrorValue(com::E_FAIL)}) {
    EXPECT_EQ(FailureOf([&] { Put(sheet_, "A9", refused); }), com::DISP_E_TYPEMISMATCH);
    EXPECT_EQ(Get(sheet_, "A9"), Variant::Double(12.5));
  }
}

TEST_P(ApplicationContract,
       AddressesTakeEveryA1FormNumberFormatsAreKeptBesideTheValueAndInvokeChecksItsArguments) {
  Put(sheet_, "B2", Variant::Double(9));
  for (const char* address : {"B2", "$B$2", "b2", "B$2", "$B2"})
    EXPECT_EQ(Get(sheet_, address), Variant::Double(9)) << address;
  for (const char* address : {"1B", "B0", "XFE1", "A1048577", "NoSuchName", "", "A1:B2:C3"})
    EXPECT_EQ(FailureOf([&] { RangeOf(sheet_, address); }), kApplicationError) << address;
  EXPECT_EQ(FailureOf([&] { RangeOf(sheet_, "A1", "nowhere"); }), kApplicationError);
  EXPECT_EQ(FailureOf([&] { sheet_->GetRange(Variant::Double(1), kMissing); }),
            com::DISP_E_TYPEMISMATCH);
  // A block by its corners in any order, in one text or two.
  for (const auto& [cell1, cell2] :
       {std::pair{"A1:B2", ""}, std::pair{"$B$2:a1", ""}, std::pair{"B1", "A2"}}) {
    Put(sheet_, "A1:B2", Variant());
    const Variant value = Variant::Text("7");
    RangeOf(sheet_, cell1, *cell2 ? cell2 : nullptr)
        ->Invoke(excel::kDispidValue2, excel::InvokeKind::kPropertyPut, {&value, 1});
    for (const char* cell : {"A1", "B1", "A2", "B2"})
      EXPECT_EQ(Get(sheet_, cell), Variant::Double(7)) << cell1 << " " << cell2 << " " << cell;
    EXPECT_EQ(Get(sheet_, "C3"), Variant());
  }

  // Number formats are kept beside the value.
  const auto format = [&](const char* cell) {
    return com::VariantToText(Get(sheet_, cell, excel::kDispidNumberFormat));
  };
  EXPECT_EQ(format("A1"), "General");
  Put(sheet_, "A1", Variant::Double(0.25));
  Put(sheet_, "A1", Variant::Text("0.00%"), excel::kDispidNumberFormat);
  EXPECT_EQ(format("A1"), "0.00%");
  EXPECT_EQ(Get(sheet_, "A1"), Variant::Double(0.25));
  Put(sheet_, "A1", Variant::Double(0.5));  // a value keeps the format
  EXPECT_EQ(format("A1"), "0.00%");
  Put(sheet_, "A2:B3", Variant::Text("#,##0.00"), excel::kDispidNumberFormat);
  EXPECT_EQ(format("B3"), "#,##0.00");
  Put(sheet_, "B3", Variant::Text("General"), excel::kDispidNumberFormat);
  EXPECT_EQ(format("B3"), "General");
  // Invoke checks the member, the kind and the argument count.
  const com::Ptr<excel::Range> range = RangeOf(sheet_, "A1");
  const auto failure = [&](std::int32_t dispid, excel::InvokeKind kind, std::size_t count) {
    const std::vector<Variant> arguments(count, Variant::Double(1));
    return FailureOf([&] { range->Invoke(dispid, kind, arguments); });
  };
  using excel::kDispidValue2;
  using enum excel::InvokeKind;
  EXPECT_EQ(failure(0x123, kPropertyGet, 0), com::DISP_E_MEMBERNOTFOUND);
  EXPECT_EQ(failure(kDispidValue2, kMethod, 0), com::DISP_E_MEMBERNOTFOUND);
  EXPECT_EQ(failure(kDispidValue2, kPropertyGet, 1), com::DISP_E_BADPARAMCOUNT);
  EXPECT_EQ(failure(kDispidValue2, kPropertyPut, 0), com::DISP_E_BADPARAMCOUNT);
  EXPECT_EQ(failure(kDispidValue2, kPropertyPut, 2), com::DISP_E_BADPARAMCOUNT);
  EXPECT_EQ(failure(excel::kDispidNumberFormat, kPropertyPut, 0), com::DISP_E_BADPARAMCOUNT);
}

TEST_P(ApplicationContract,
       ACopySavedAsReopensElsewhereTheWorkbookStaysUnsavedAndWhatIsNoWorkbookFails) {
  const char* cells[] = {"A1", "A2", "A3", "A4"};
  const Variant values[] = {Variant::Double(1.25), Variant::Text("text"), Variant::Bool(true),
                            Variant::ErrorValue(excel::kErrDiv0)};
  for (std::size_t i = 0; i < 4; ++i)
    Put(sheet_, cells[i], values[i]);
  EXPECT_EQ(FailureOf([&] { book_->Save(0); }), kApplicationError);  // never saved
  const std::string copy = PathOf("copy.xlsx");
  book_->SaveCopyAs(Variant::Text(copy), 0);
  EXPECT_TRUE(std::filesystem::exists(copy));
  EXPECT_EQ(FailureOf([&] { book_->Save(0); }), kApplicationError);
  EXPECT_EQ(FailureOf([&] { book_->SaveCopyAs(Variant::Int4(1), 0); }), com::DISP_E_TYPEMISMATCH);
  EXPECT_EQ(FailureOf([&] { book_->SaveCopyAs(Variant::Text(""), 0); }), kApplicationError);
  Put(sheet_, "A1", Variant::Text("after the copy"));

  // A copy of the file is a workbook of its own.
  std::filesystem::copy_file(copy, PathOf("copy2.xlsx"));
  const com::Ptr<excel::Application> reader = NewApplication();
  for (const char* name : {"copy.xlsx", "copy2.xlsx"}) {
    const auto sheet = SheetOf(OpenWorkbook(reader, PathOf(name), 12));  // the older Open
    for (std::size_t i = 0; i < 4; ++i)
      EXPECT_EQ(Get(sheet, cells[i]), values[i]) << name << " " << cells[i];
    Put(sheet, "A1", Variant::Text(name));
  }
  const auto first = SheetOf(OpenWorkbook(reader, PathOf("copy.xlsx")));
  EXPECT_EQ(Get(first, "A1"), Variant::Text("copy.xlsx"))
      << "the open workbook, not the file again";
  // Another application gets its own copy of the file.
  const auto other = SheetOf(OpenWorkbook(NewApplication(), PathOf("copy.xlsx")));
  EXPECT_EQ(Get(other, "A1"), Variant::Double(1.25));

  // Opening what is no file fails (a file that is no workbook: calc_office_test.cpp).
  for (const std::string& path : {PathOf("missing.xlsx"), folder_.path().string(), std::string()})
    EXPECT_EQ(FailureOf([&] { OpenWorkbook(application_, path); }), kApplicationError) << path;
  book_->SaveCopyAs(Variant::Text(PathOf("book.xlsx")), 0);
  for (const std::size_t count : {0, 13}) {
    EXPECT_EQ(FailureOf([&] { OpenWorkbook(application_, PathOf("book.xlsx"), count); }),
              com::DISP_E_BADPARAMCOUNT);
  }
  // Saving in place and on closing is the file format tests'; a closed
  // workbook has left its clients.
  const com::Ptr<excel::Workbook> opened = OpenWorkbook(application_, PathOf("book.xlsx"));
  const auto sheet = SheetOf(opened);
  opened->Close(Variant::Bool(false), kMissing, kMissing, 0);
  EXPECT_EQ(FailureOf([&] { opened->GetSheets(); }), com::RPC_E_DISCONNECTED);
  EXPECT_EQ(FailureOf([&] { Get(sheet, "A1"); }), com::RPC_E_DISCONNECTED);
}

TEST_P(ApplicationContract,
       MacrosRunByEveryNameFormPropertiesReadBackAndQuitDisconnectsEverything) {
  AddMacros(book_);
  const auto run = [&](const char* macro, std::initializer_list<Variant> arguments) {
    book_->Activate(0);  // as the driver calls macros
    return book_->GetApplication()->Run(Variant::Text(macro), Arguments(arguments));
  };
  // Results keep their types.
  EXPECT_EQ(run("Add2", {Variant::Double(2), Variant::Double(3)}), Variant::Int4(5));
  EXPECT_EQ(run("Module1.Add2", {Variant::Double(2.5), Variant::Int4(1)}), Variant::Double(3.5));
  EXPECT_EQ(run("Standard.module1.add2", {Variant::Int4(1), Variant::Int4(1)}), Variant::Int4(2));
  EXPECT_EQ(run("'Book1'!Module1.Joined", {Variant::Text("t"), Variant::Int4(7)}),
            Variant::Text("t/7"));
  // Arguments left out are not passed; the others keep their order.
  excel::RunArguments gaps = Arguments({Variant::Text("x")});
  gaps[2] = Variant::Int4(3);
  EXPECT_EQ(com::VariantToText(application_->Run(Variant::Text("Joined"), gaps)), "x/3");
  // A macro's changes are there for the next read.
  EXPECT_EQ(com::VariantToText(run("WriteCell", {Variant::Double(42)})), "");
  EXPECT_EQ(Get(sheet_, "B1"), Variant::Double(42));

  for (const char* unknown : {"NoSuchMacro", "Module9.Add2", "'Other.xlsm'!Add2", "not a name"}) {
    EXPECT_EQ(FailureOf([&] { run(unknown, {}); }), com::DISP_E_EXCEPTION) << unknown;
  }
  EXPECT_EQ(FailureOf([&] { run("Fails", {Variant::Double(0)}); }), com::DISP_E_EXCEPTION);
  EXPECT_EQ(FailureOf([&] { run("Fails", {Variant::Double(2)}); }), com::S_OK);
  EXPECT_EQ(FailureOf([&] { application_->Run(Variant::Double(1), Arguments()); }),
            com::DISP_E_TYPEMISMATCH);

  // Auto_Open runs when asked; a workbook without one runs nothing.
  book_->RunAutoMacros(excel::kAutoOpen, 0);
  EXPECT_EQ(Get(sheet_, "C1"), Variant::Text("opened"));
  const auto other = NewWorkbook(application_);
  other->RunAutoMacros(excel::kAutoOpen, 0);
  EXPECT_EQ(Get(SheetOf(other), "C1"), Variant());

  // Properties read back; Quit disconnects every object.
  application_->PutWindowState(0, excel::kWindowMinimized);
  EXPECT_EQ(application_->GetWindowState(0), excel::kWindowMinimized);
  EXPECT_EQ(FailureOf([&] { application_->PutWindowState(0, 3); }), kApplicationError);
  EXPECT_EQ(application_->GetWindowState(0), excel::kWindowMinimized);
  for (const com::VARIANT_BOOL value : {com::VARIANT_TRUE, com::VARIANT_FALSE}) {
    application_->PutVisible(0, value);
    application_->PutScreenUpdating(0, value);
    application_->PutInteractive(0, value);
    EXPECT_EQ(application_->GetVisible(0), value);
    EXPECT_EQ(application_->GetScreenUpdating(0), value);
    EXPECT_EQ(application_->GetInteractive(0), value);
  }
  const com::Ptr<excel::Range> range = RangeOf(sheet_, "A1");
  const com::Ptr<excel::Sheets> sheets = book_->GetSheets();
  application_->Quit();
  EXPECT_EQ(FailureOf([&] { application_->GetVisible(0); }), com::RPC_E_DISCONNECTED);
  EXPECT_EQ(FailureOf([&] { application_->GetWorkbooks(); }), com::RPC_E_DISCONNECTED);
  EXPECT_EQ(FailureOf([&] { book_->Activate(0); }), com::RPC_E_DISCONNECTED);
  EXPECT_EQ(FailureOf([&] { sheets->GetCount(); }), com::RPC_E_DISCONNECTED);
  EXPECT_EQ(FailureOf([&] { sheet_->GetName(); }), com::RPC_E_DISCONNECTED);
  EXPECT_EQ(
      FailureOf([&] { range->Invoke(excel::kDispidValue2, excel::InvokeKind::kPropertyGet, {}); }),
      com::RPC_E_DISCONNECTED);
}

}  // namespace
}  // namespace excel::calc::testing
