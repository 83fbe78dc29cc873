// Shared set-up of the tests that drive a real office. Chart sheets cannot
// be tested here (the office imports them as ordinary sheets): the driver's
// chart-sheet behaviour is tested on the in-memory application.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "com/error.h"
#include "com/variants/variant.h"
#include "excel/application_contract.h"
#include "excel/calc/calc_application.h"
#include "excel/errors.h"
#include "excel/object_model.h"

namespace excel::calc::testing {

// Skips the test when no office is installed (fails it in CI).
void SkipWithoutOffice();
// Once the test's application objects are gone: fails the test when an
// office process that this process started still runs, and kills it by id.
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

// The real application as ../application_contract.h checks it.
excel_test::ContractSubject CalcSubject();

// The short forms of ../application_contract.h, and Calc's own.
using namespace excel_test;
com::Ptr<Application> NewApplication();

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
