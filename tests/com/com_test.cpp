// COM basics: error codes and their texts, reference-counted handles and
// interface queries, and the class registry that makes applications.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <new>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <tuple>
#include <utility>

#include "com/class_registry.h"
#include "com/error.h"
#include "com/error_text.h"
#include "com/unknown.h"
#include "support/application_registration.h"
#include "support/temp_registry.h"
#include "thrown_error.h"

namespace {

TEST(ComErrorText, SystemTextsLoseTheirLineEndAndOtherCodesFollowTheFallbackRules) {
  EXPECT_EQ(com::SystemMessageText(com::E_FAIL), "Unspecified error\r\n");
  EXPECT_TRUE(com::SystemMessageText(com::SHEET_E_APPLICATION_DEFINED).empty());
  // The first code of the dispatch range has dispatch number 0: unknown.
  const std::pair<std::uint32_t, const char*> cases[] = {
      {0x80004005u, "Unspecified error"},        {0x80020009u, "Exception occurred."},
      {0x80040201u, "IDispatch error #1"},       {0x8004FFFFu, "IDispatch error #65023"},
      {0x80040200u, "Unknown error 0x80040200"}, {0x800401FFu, "Unknown error 0x800401FF"},
      {0x80050000u, "Unknown error 0x80050000"}, {0x800A03ECu, "Unknown error 0x800A03EC"},
      {0x00001234u, "Unknown error 0x1234"}};
  for (const auto& [code, text] : cases)
    EXPECT_EQ(com::ComErrorText(static_cast<com::HRESULT>(code)), text) << std::hex << code;
}

TEST(ComErrorText, TrimRemovesOneLineFeedThenOneCarriageReturn) {
  const std::pair<std::string, std::string> cases[] = {{"text\r\n", "text"},
                                                       {"text\r", "text\r"},
                                                       {"text\r\n\r\n", "text\r\n"},
                                                       {"\n", "\n"},
                                                       {"", ""}};
  for (const auto& [in, out] : cases)
    EXPECT_EQ(com::TrimMessageLineEnd(in), out);
}

TEST(ComError, TheApplicationsReasonReplacesTheTableTextOnOneLine) {
  const struct {
    const char* description;
    const char* text;
    bool described;
  } cases[] = {{nullptr, "Exception occurred.", false},  // the table's text
               {"General Error.\nGeneral input/output error.",
                "General Error. General input/output error.", true},
               {"  padded\r\n", "padded", true},
               {"", "Unknown error 0x800A03EC", false},
               {" \n\t", "Unknown error 0x800A03EC", false}};
  for (const auto& c : cases) {
    const com::HRESULT hr =
        c.description ? com::SHEET_E_APPLICATION_DEFINED : com::DISP_E_EXCEPTION;
    const com::Error error = c.description ? com::Error(hr, c.description) : com::Error(hr);
    EXPECT_EQ(std::tuple(error.hr(), std::string(error.what()), error.HasDescription()),
              std::tuple(hr, c.text, c.described));
  }
}

// Two interfaces one object can implement side by side.
class Sheet : public virtual com::Unknown {
 public:
  virtual int Cells() const = 0;
};

class Chart : public virtual com::Unknown {
 public:
  virtual int Series() const = 0;
};

class Workbook : public virtual com::Unknown {};

class Tracked : public Sheet, public Chart {
 public:
  explicit Tracked(std::atomic<int>* destroyed) : destroyed_(destroyed) {}
  ~Tracked() override { ++*destroyed_; }
  int Cells() const override { return 3; }
  int Series() const override { return 7; }

 private:
  std::atomic<int>* destroyed_;
};

TEST(Ptr, CountsReferencesHandsThemOverAndRefusesCallsWhenEmpty) {
  std::atomic<int> destroyed{0};
  com::Ptr<Tracked> first = com::MakeObject<Tracked>(&destroyed);
  EXPECT_EQ(first->RefCount(), 1u);
  {
    com::Ptr<Tracked> second = first;
    com::Ptr<Tracked> third = std::move(second);
    EXPECT_FALSE(second);  // NOLINT(bugprone-use-after-move)
    EXPECT_EQ(first->RefCount(), 2u);
  }
  com::Ptr<Tracked> other = com::MakeObject<Tracked>(&destroyed);
  other = first;                          // releases the object `other` held
  const com::Ptr<Tracked>& same = other;  // self-assignment, unflagged
  other = same;
  EXPECT_EQ(std::tuple(destroyed.load(), first->RefCount()), std::tuple(1, 2u));
  other.Reset();
  first.Reset();
  EXPECT_EQ(destroyed, 2);

  com::Ptr<Tracked> holder;
  EXPECT_EQ(com_test::FailureOf([&] { holder->Cells(); }), com::E_POINTER);
  EXPECT_EQ(com_test::FailureOf([&] { *holder; }), com::E_POINTER);
}

TEST(QueryInterface, FindsTheInterfacesTheObjectImplements) {
  std::atomic<int> destroyed{0};
  com::Ptr<Sheet> sheet = com::MakeObject<Tracked>(&destroyed);
  com::Ptr<Chart> chart = com::QueryInterface<Chart>(sheet);
  EXPECT_EQ(std::tuple(chart->Series(), sheet->RefCount()), std::tuple(7, 2u));  // one count
  com::Ptr<com::Unknown> unknown = chart;
  EXPECT_EQ(com::QueryInterface<Sheet>(unknown), sheet);

  EXPECT_EQ(com_test::FailureOf([&] { com::QueryInterface<Workbook>(sheet); }), com::E_NOINTERFACE);
  EXPECT_EQ(com_test::FailureOf([] { com::QueryInterface<Chart>(com::Ptr<Sheet>()); }),
            com::E_POINTER);
  EXPECT_FALSE(com::TryQueryInterface<Workbook>(sheet)) << "not a workbook: an empty handle";
  EXPECT_EQ(com::TryQueryInterface<Chart>(unknown), chart);
  EXPECT_FALSE(com::TryQueryInterface<Chart>(com::Ptr<Sheet>()));
  sheet.Reset();
  chart.Reset();
  EXPECT_EQ(destroyed, 0);
  unknown.Reset();
  EXPECT_EQ(destroyed, 1);
}

using com::ClassRegistry;
using com::Clsid;
using test_support::ScopedEnv;
using test_support::TempRegistry;

// An application that tells which factory made it.
class TestApplication : public test_support::MemoryApplication {
 public:
  explicit TestApplication(std::string name)
      : MemoryApplication(std::make_shared<test_support::memory::AppState>()),
        name(std::move(name)) {}
  const std::string name;
};

// Registers a factory of TestApplications named `name` for the test's lifetime.
test_support::ScopedApplicationFactory Factory(const std::string& name) {
  return {name,
          [name] { return com::Ptr<excel::Application>(com::MakeObject<TestApplication>(name)); }};
}

// The driver asks for Excel.Application.16 down to .9 only.
const char kSettings[] =
    "REGEDIT4\r\n\r\n"
    "[HKEY_CLASSES_ROOT\\Excel.Application.16]\r\n@=\"gm-test-sheet\"\r\n\r\n"
    "[HKEY_CLASSES_ROOT\\Excel.Application.14]\r\n@=\"gm-test-nobody\"\r\n\r\n"
    "[HKEY_CLASSES_ROOT\\Excel.Application.13]\r\n\"Other\"=\"gm-test-sheet\"\r\n";

class ClassRegistryTest : public ::testing::Test {
 protected:
  // The test run sets GRIDMOOR_SPREADSHEET=none; these tests decide it.
  ScopedEnv noOverride_{"GRIDMOOR_SPREADSHEET", std::nullopt};
  ClassRegistry& registry_ = ClassRegistry::Instance();
};

// The application name a ProgID creates, or the failure code as text.
std::string Create(std::string_view progId) {
  com::Ptr<com::Unknown> object;
  const com::HRESULT hr = ClassRegistry::Instance().CreateInstanceFromProgId(progId, &object);
  if (com::FAILED(hr)) {
    EXPECT_FALSE(object);
    return com::ComErrorText(hr);
  }
  com::Ptr<TestApplication> application = com::QueryInterface<TestApplication>(object);
  return application->name;
}

// GRIDMOOR_SPREADSHEET, when set, names the application instead of the settings.
TEST_F(ClassRegistryTest, ProgIdsAsTheSettingsOrTheEnvironmentNameThemReadAtEachLookup) {
  const TempRegistry settings(kSettings);
  const auto sheet = Factory("gm-test-sheet");
  const auto other = Factory("gm-test-other");
  const auto chosen = Factory("gm-test-chosen");
  const struct {
    std::optional<std::string_view> env;
    const char* progId;
    const char* expected;
  } cases[] = {{std::nullopt, "Excel.Application.16", "gm-test-sheet"},
               {std::nullopt, "Excel.Application.15", "Invalid class string"},
               {std::nullopt, "Excel.Application.14", "Class not registered"},
               {std::nullopt, "Excel.Application.13", "Invalid class string"},  // no default value
               {"NONE", "Excel.Application.16", "Invalid class string"},
               {"GM-Test-Chosen", "Excel.Application.16", "gm-test-chosen"},  // names ignore case
               {"gm-test-chosen", "Excel.Application.14", "Invalid class string"},
               {"gm-test-absent", "Excel.Application.16", "Class not registered"},
               {"", "Excel.Application.16", "gm-test-sheet"}};  // as if unset
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.env.value_or("unset")) + " " + c.progId);
    const ScopedEnv env("GRIDMOOR_SPREADSHEET", c.env);
    EXPECT_EQ(Create(c.progId), c.expected);
  }

  settings.Write("REGEDIT4\n\n[HKEY_CLASSES_ROOT\\Excel.Application.16]\n@=\"gm-test-other\"\n");
  EXPECT_EQ(Create("Excel.Application.16"), "gm-test-other");
}

TEST_F(ClassRegistryTest, WithoutSpreadsheetKeysTheCurrentVersionIsCalc) {
  const TempRegistry settings;  // no settings file at all
  Clsid clsid;
  ASSERT_EQ(registry_.ClsidFromProgId("Excel.Application.16", &clsid), com::S_OK);
  EXPECT_EQ(clsid.application, "calc");
  EXPECT_EQ(registry_.ClsidFromProgId("Excel.Application.15", &clsid), com::CO_E_CLASSSTRING);

  // Once any spreadsheet version is listed, only the listed ones exist.
  settings.Write("REGEDIT4\n\n[HKEY_CLASSES_ROOT\\Excel.Application.11]\n@=\"calc\"\n");
  EXPECT_EQ(registry_.ClsidFromProgId("Excel.Application.16", &clsid), com::CO_E_CLASSSTRING);
  ASSERT_EQ(registry_.ClsidFromProgId("Excel.Application.11", &clsid), com::S_OK);
  EXPECT_EQ(clsid.application, "calc");

  settings.Write("not a settings file\n");
  EXPECT_EQ(Create("Excel.Application.16"), "Could not read key from registry");
}

TEST_F(ClassRegistryTest, FactoryFailuresBecomeCreationResults) {
  const TempRegistry settings;
  const ScopedEnv app("GRIDMOOR_SPREADSHEET", "gm-test-failing");
  using Made = com::Ptr<excel::Application>;
  const struct {
    test_support::ScopedApplicationFactory::Factory factory;
    com::HRESULT expected;
  } cases[] = {
      {[]() -> Made { com::Throw(com::RPC_E_SERVER_UNAVAILABLE); }, com::RPC_E_SERVER_UNAVAILABLE},
      {[]() -> Made { throw std::runtime_error("no office"); }, com::E_FAIL},
      {[]() -> Made { throw std::bad_alloc(); }, com::E_OUTOFMEMORY},
      {[] { return Made(); }, com::E_FAIL}};
  for (const auto& c : cases) {
    const test_support::ScopedApplicationFactory failing("gm-test-failing", c.factory);
    com::Ptr<com::Unknown> object;
    EXPECT_EQ(registry_.CreateInstanceFromProgId("Excel.Application.16", &object), c.expected);
    EXPECT_FALSE(object);
  }
}

}  // namespace
