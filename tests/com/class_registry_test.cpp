#include "com/class_registry.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <new>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "com/error_text.h"
#include "support/application_registration.h"
#include "support/temp_registry.h"

namespace {

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
  } cases[] = {
      {std::nullopt, "Excel.Application.16", "gm-test-sheet"},
      {std::nullopt, "Excel.Application.15", "Invalid class string"},
      {std::nullopt, "Excel.Application.14", "Class not registered"},
      {std::nullopt, "Excel.Application.13", "Invalid class string"},  // no default value
      {"NONE", "Excel.Application.16", "Invalid class string"},
      {"GM-Test-Chosen", "Excel.Application.16", "gm-test-chosen"},  // names ignore case
      {"gm-test-chosen", "Excel.Application.14", "Invalid class string"},
      {"gm-test-absent", "Excel.Application.16", "Class not registered"},
      {"", "Excel.Application.16", "gm-test-sheet"},  // as if unset
  };
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
      {[] { return Made(); }, com::E_FAIL},
  };
  for (const auto& c : cases) {
    const test_support::ScopedApplicationFactory failing("gm-test-failing", c.factory);
    com::Ptr<com::Unknown> object;
    EXPECT_EQ(registry_.CreateInstanceFromProgId("Excel.Application.16", &object), c.expected);
    EXPECT_FALSE(object);
  }
}

TEST_F(ClassRegistryTest, ConcurrentRegistrationAndCreation) {
  const ScopedEnv app("GRIDMOOR_SPREADSHEET", "gm-test-thread-0");
  const auto stable = Factory("gm-test-thread-0");
  std::atomic<int> created{0};
  std::vector<std::thread> threads;
  for (int t = 1; t <= 3; ++t) {
    threads.emplace_back([t, &created] {
      const std::string name = "gm-test-thread-" + std::to_string(t);
      for (int i = 0; i < 200; ++i) {
        ClassRegistry::Instance().RegisterFactory(name, [name] {
          return com::Ptr<com::Unknown>(com::MakeObject<TestApplication>(name));
        });
        com::Ptr<com::Unknown> object;
        if (ClassRegistry::Instance().CreateInstanceFromProgId("Excel.Application.16", &object) ==
            com::S_OK)
          ++created;
        ClassRegistry::Instance().UnregisterFactory(name);
      }
    });
  }
  for (std::thread& thread : threads)
    thread.join();
  EXPECT_EQ(created, 600);
}

}  // namespace
