// The spreadsheet application's contract as the driver relies on it, checked
// on each application the driver's tests use: the in-memory one of
// tests/support and the real one. An instantiation names its application
// with a ContractSubject.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "excel/errors.h"
#include "excel/object_model_helpers.h"
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

}  // namespace excel_test
