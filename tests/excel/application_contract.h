// The spreadsheet application's contract as the driver relies on it, checked on
// the real application (named by a ContractSubject); and short forms of the
// calls that tests of any excel:: application make.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "com/error.h"
#include "com/thrown_error.h"
#include "excel/errors.h"
#include "excel/object_model.h"
#include "support/temp_folder.h"

namespace excel_test {

struct ContractSubject {
  std::string name;
  std::function<com::Ptr<excel::Application>()> create;
  // Gives the new workbook "Book1", the active one, the macros of the
  // contract in a module "Module1": Add2(a, b) gives a + b; Joined(text,
  // number) gives text & "/" & number; WriteCell(value) writes the number
  // into B1 of the first sheet; Fails(divisor) divides 1 by it; Auto_Open
  // writes "opened" into C1 of the first sheet.
  std::function<void(const com::Ptr<excel::Workbook>&)> addMacros;
  std::function<void()> setUp;     // may skip the test
  std::function<void()> tearDown;  // once every application is gone
};

inline void PrintTo(const ContractSubject& subject, std::ostream* out) {
  *out << subject.name;
}

class ApplicationContract : public ::testing::TestWithParam<ContractSubject> {
 protected:
  void SetUp() override;
  void TearDown() override;
  // Another application, quit at the end of the test.
  com::Ptr<excel::Application> NewApplication();
  std::string PathOf(const std::string& name) const { return folder_.File(name); }

  test_support::TempFolder folder_;
  std::vector<com::Ptr<excel::Application>> applications_;
  com::Ptr<excel::Application> application_;
  com::Ptr<excel::Workbook> book_;    // new
  com::Ptr<excel::Worksheet> sheet_;  // its only sheet
};

using com_test::ErrorOf;
using com_test::FailureOf;

inline com::Ptr<excel::Workbook> NewWorkbook(const com::Ptr<excel::Application>& application) {
  return application->GetWorkbooks()->Add(com::Variant::Missing(), 0);
}

inline com::Ptr<excel::Workbook> OpenWorkbook(const com::Ptr<excel::Application>& application,
                                              const std::string& path, std::size_t count = 14) {
  const std::vector<com::Variant> optional(count, com::Variant::Missing());
  return application->GetWorkbooks()->Open(com::Bstr::FromUtf8(path), optional, 0);
}

inline com::Ptr<excel::Worksheet> AsWorksheet(const com::Ptr<com::Unknown>& item) {
  return com::QueryInterface<excel::Worksheet>(item);
}

// By name, or the first sheet.
inline com::Ptr<excel::Worksheet> SheetOf(const com::Ptr<excel::Workbook>& workbook,
                                          const char* name = nullptr) {
  return AsWorksheet(
      workbook->GetSheets()->GetItem(name ? com::Variant::Text(name) : com::Variant::Int(1)));
}

inline std::string NameOf(const com::Ptr<excel::Worksheet>& sheet) {
  return sheet->GetName().ToUtf8();
}

inline com::Ptr<excel::Range> RangeOf(const com::Ptr<excel::Worksheet>& sheet, const char* cell1,
                                      const char* cell2 = nullptr) {
  return sheet->GetRange(com::Variant::Text(cell1),
                         cell2 ? com::Variant::Text(cell2) : com::Variant::Missing());
}

inline com::Variant Get(const com::Ptr<excel::Worksheet>& sheet, const char* cell,
                        std::int32_t dispid = excel::kDispidValue2) {
  return RangeOf(sheet, cell)->Invoke(dispid, excel::InvokeKind::kPropertyGet, {});
}

inline void Put(const com::Ptr<excel::Worksheet>& sheet, const char* cell,
                const com::Variant& value, std::int32_t dispid = excel::kDispidValue2) {
  EXPECT_TRUE(
      RangeOf(sheet, cell)->Invoke(dispid, excel::InvokeKind::kPropertyPut, {&value, 1}).IsEmpty());
}

// Run's arguments: `given`, then Missing.
inline excel::RunArguments Arguments(std::initializer_list<com::Variant> given = {}) {
  excel::RunArguments arguments;
  arguments.fill(com::Variant::Missing());
  std::copy(given.begin(), given.end(), arguments.begin());
  return arguments;
}

}  // namespace excel_test
