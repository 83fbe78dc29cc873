// Short forms of the calls that tests of any excel:: application make. The
// contract the driver relies on is application_contract_test.cpp's.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "com/error.h"
#include "com/thrown_error.h"
#include "excel/errors.h"
#include "excel/object_model.h"

namespace excel_test {

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
