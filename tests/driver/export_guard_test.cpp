// The guard every export runs under: nothing thrown gets out, and the
// failure result comes with the exception's message.
#include "driver/export_guard.h"

#include <gtest/gtest.h>

#include <functional>
#include <new>
#include <stdexcept>
#include <string>

#include "com/error.h"

namespace {

TEST(ExportGuardTest, EveryExceptionBecomesTheFailureResultWithItsMessage) {
  struct Case {
    std::function<int()> body;
    std::string message;
  };
  const Case cases[] = {
      {[]() -> int { com::Throw(com::E_POINTER); }, com::Error(com::E_POINTER).what()},
      {[]() -> int { throw std::runtime_error("lost"); }, "Internal error: lost"},
      {[]() -> int { throw std::bad_alloc(); }, "Internal error: std::bad_alloc"},
      {[]() -> int { throw 3; }, "Internal error: unknown exception"},
  };
  for (const Case& c : cases) {
    ExtStatusRecord status{};
    EXPECT_EQ(driver::GuardedExport(7, &status, c.body), 7);
    EXPECT_EQ(std::string(status.text), c.message);
    // Without a status record there is only the result.
    EXPECT_EQ(driver::GuardedExport(7, nullptr, c.body), 7);
  }
  ExtStatusRecord status{};
  EXPECT_EQ(driver::GuardedExport(7, &status, [] { return 0; }), 0);
  EXPECT_EQ(status.text[0], '\0');
  driver::GuardedExport([] { throw std::logic_error("void export"); });
}

TEST(ExportGuardTest, MarksTheThreadAsInsideTheLibraryOnEveryPath) {
  EXPECT_FALSE(driver::ExportScope::Active());
  bool inside = false;
  driver::GuardedExport(1, nullptr, [&] {
    inside = driver::ExportScope::Active();
    return 0;
  });
  EXPECT_TRUE(inside);
  driver::GuardedExport(1, nullptr, []() -> int { throw std::runtime_error("x"); });
  EXPECT_FALSE(driver::ExportScope::Active());
}

}  // namespace
