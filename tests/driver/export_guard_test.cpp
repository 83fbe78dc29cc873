// The guard every export runs under: nothing thrown gets out, the failure
// result comes with the exception's message, and the thread counts as
// inside the library for the body only, on every path.
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
    int result;
    std::string message;
  };
  const Case cases[] = {
      {[]() -> int { com::Throw(com::E_POINTER); }, 7, com::Error(com::E_POINTER).what()},
      {[]() -> int { throw std::runtime_error("lost"); }, 7, "Internal error: lost"},
      {[]() -> int { throw std::bad_alloc(); }, 7, "Internal error: std::bad_alloc"},
      {[]() -> int { throw 3; }, 7, "Internal error: unknown exception"},
      {[] { return 0; }, 0, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    ExtStatusRecord status{};
    bool inside = false;
    const auto body = [&] {
      inside = driver::ExportScope::Active();
      return c.body();
    };
    EXPECT_EQ(driver::GuardedExport(7, &status, body), c.result);
    EXPECT_EQ(std::string(status.text), c.message);
    EXPECT_TRUE(inside);
    EXPECT_FALSE(driver::ExportScope::Active());
    // Without a status record there is only the result.
    EXPECT_EQ(driver::GuardedExport(7, nullptr, c.body), c.result);
  }
  driver::GuardedExport([] { throw std::logic_error("void export"); });
  EXPECT_FALSE(driver::ExportScope::Active());
}

}  // namespace
