// Shared set-up of the tests that drive a real office. Chart sheets cannot
// be tested here (the office imports them as ordinary sheets): the driver's
// chart-sheet behaviour is tested on the in-memory application.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "com/error.h"
#include "com/variants/variant.h"
#include "excel/application_contract.h"
#include "excel/calc/calc_application.h"
#include "excel/errors.h"
#include "excel/object_model.h"
#include "support/temp_folder.h"

namespace excel::calc::testing {

// Skips the test when no office is installed (fails it in CI).
void SkipWithoutOffice();
// Fails the test when an office this process started still runs; kills it.
void ExpectNoOfficeLeft();

// Every test makes its own application objects, and has a temporary folder.
class CalcTest : public ::testing::Test {
 protected:
  void SetUp() override { SkipWithoutOffice(); }
  void TearDown() override { ExpectNoOfficeLeft(); }

  // A file path in this test's own temporary folder.
  std::string PathOf(const std::string& name) const { return folder_.File(name); }

 private:
  test_support::TempFolder folder_;
};

// The short forms of ../application_contract.h, and Calc's own.
using namespace excel_test;
com::Ptr<Application> NewApplication();

// The contract (../application_contract_test.cpp) and what the real
// application does beyond it, on a new workbook of a new application.
class ApplicationContract : public ::testing::TestWithParam<const char*> {
 protected:
  void SetUp() override;
  void TearDown() override;
  // Another application, quit at the end of the test.
  com::Ptr<Application> NewApplication();
  std::string PathOf(const std::string& name) const { return folder_.File(name); }
  // Module1: Add2(a, b), Joined(text, number) as text & "/" & number,
  // WriteCell(value) into B1, Fails(divisor) dividing 1 by it, Auto_Open
  // writing "opened" into C1.
  static void AddMacros(const com::Ptr<Workbook>& workbook);

  test_support::TempFolder folder_;
  std::vector<com::Ptr<Application>> applications_;
  com::Ptr<Application> application_;
  com::Ptr<Workbook> book_;    // new
  com::Ptr<Worksheet> sheet_;  // its only sheet
};

// A rows x columns block as a VARIANT, row by row.
com::Variant Block(std::size_t rows, std::size_t columns,
                   std::initializer_list<com::Variant> values);

// True when `pid` is a child of this process (running or not yet reaped).
bool IsOurChild(int pid);
// Stops process `pid` (SIGSTOP) and waits until it is stopped: the signal
// takes effect only when its threads are next scheduled. False when it does
// not stop within seconds.
bool Freeze(int pid);

// A child process that holds `path` by WorkbookLock until ended, as another
// driver process would (no office needed for that).
class OtherHolder {
 public:
  explicit OtherHolder(const std::string& path);
  ~OtherHolder() { End(); }
  OtherHolder(const OtherHolder&) = delete;
  OtherHolder& operator=(const OtherHolder&) = delete;
  long Pid() const { return pid_; }
  // 'w': it holds the workbook; 'r': somebody else did.
  char State() const { return state_; }
  void End();

 private:
  int pid_ = 0;
  char state_ = 0;
};

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& contents);

}  // namespace excel::calc::testing
