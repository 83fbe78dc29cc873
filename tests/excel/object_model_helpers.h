// Short forms of the object-model calls the tests of this folder make.
#pragma once

#include <array>
#include <string_view>
#include <vector>

#include "com/error.h"
#include "excel/object_model.h"

namespace excel_test {

// The HRESULT a call fails with; S_OK when it does not fail.
template <typename Call>
HRESULT FailureOf(Call&& call) {
  try {
    call();
  } catch (const com::Error& error) {
    return error.hr();
  }
  return com::S_OK;
}

inline excel::RunArguments RunArguments(std::vector<com::Variant> leading = {}) {
  excel::RunArguments arguments;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    arguments[i] = i < leading.size() ? leading[i] : com::Variant::Missing();
  }
  return arguments;
}

inline std::vector<com::Variant> Missing(std::size_t count) {
  return std::vector<com::Variant>(count, com::Variant::Missing());
}

inline com::Ptr<excel::Workbook> OpenFile(const com::Ptr<excel::Application>& application,
                                          std::string_view path) {
  return application->GetWorkbooks()->Open(com::Bstr::FromUtf8(path), Missing(12), 0);
}

inline com::Ptr<excel::Workbook> NewBook(const com::Ptr<excel::Application>& application) {
  return application->GetWorkbooks()->Add(com::Variant::Missing(), 0);
}

inline com::Ptr<excel::Worksheet> Sheet(const com::Ptr<excel::Workbook>& book,
                                        const com::Variant& index) {
  return com::QueryInterface<excel::Worksheet>(book->GetSheets()->GetItem(index));
}

inline com::Ptr<excel::Worksheet> Sheet(const com::Ptr<excel::Workbook>& book,
                                        std::string_view name) {
  return Sheet(book, com::Variant::Text(name));
}

inline com::Ptr<excel::Range> RangeAt(const com::Ptr<excel::Worksheet>& sheet,
                                      std::string_view cell1) {
  return sheet->GetRange(com::Variant::Text(cell1), com::Variant::Missing());
}

inline com::Variant GetValue(const com::Ptr<excel::Range>& range) {
  return range->Invoke(excel::kDispidValue2, excel::InvokeKind::kPropertyGet, {});
}

inline void PutValue(const com::Ptr<excel::Range>& range, const com::Variant& value) {
  range->Invoke(excel::kDispidValue2, excel::InvokeKind::kPropertyPut, std::span(&value, 1));
}

inline com::Variant CloseWithoutSaving() {
  return com::Variant::Bool(false);
}

}  // namespace excel_test
