// Shared set-up of the tests that drive a real office. Chart sheets cannot
// be tested here (the office imports them as ordinary sheets): the driver's
// chart-sheet behaviour is tested on the in-memory application.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>

#include "com/error.h"
#include "com/variant.h"
#include "excel/calc/calc_application.h"
#include "excel/errors.h"
#include "excel/object_model.h"

namespace excel::calc::testing {

// Every test makes its own application objects. Set-up skips when no office
// is installed (a failure in CI); tear-down fails when an office process
// that this test process started is still there, and kills it by its id.
class CalcTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // A file path in this test's own temporary folder.
  std::string PathOf(const std::string& name) const;
  const std::filesystem::path& Folder() const { return folder_; }

 private:
  std::filesystem::path folder_;
};

// For a test's SetUp: skips the test when no office is installed (fails it
// in CI).
void SkipWithoutOffice();
// For a test's TearDown, once its application objects are gone: fails the
// test when an office process that this process started still runs, and
// kills it by its id.
void ExpectNoOfficeLeft();

com::Ptr<Application> NewApplication();
com::Ptr<Workbook> NewWorkbook(const com::Ptr<Application>& application);
com::Ptr<Workbook> OpenWorkbook(const com::Ptr<Application>& application, const std::string& path);
com::Ptr<Worksheet> SheetOf(const com::Ptr<Workbook>& workbook, const char* name = nullptr);
com::Ptr<Range> RangeOf(const com::Ptr<Worksheet>& sheet, const char* cell1,
                        const char* cell2 = nullptr);

com::Variant Get(const com::Ptr<Worksheet>& sheet, const char* cell);
void Put(const com::Ptr<Worksheet>& sheet, const char* cell, const com::Variant& value);
void PutFormat(const com::Ptr<Worksheet>& sheet, const char* cell, const char* format);
std::string GetFormat(const com::Ptr<Worksheet>& sheet, const char* cell);

// The HRESULT `body` fails with; S_OK when it does not.
HRESULT FailureOf(const std::function<void()>& body);

// A rows x columns block as a VARIANT, row by row.
com::Variant Block(std::size_t rows, std::size_t columns,
                   std::initializer_list<com::Variant> values);

// True when `pid` is a child of this process (running or not yet reaped).
bool IsOurChild(int pid);

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& contents);

}  // namespace excel::calc::testing
