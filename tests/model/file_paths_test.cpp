#include "model/file_paths.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace {

TEST(FilePathsTest, SplitsAtEitherSeparatorAndJoinsWithSlash) {
  struct Case {
    const char* path;
    const char* directory;
    std::optional<std::string> expected;
  };
  const Case cases[] = {
      {"C:\\a\\b\\case.xlsx", "/data", "/data/case.xlsx"},
      {"/a/b/case.xlsx", "/data", "/data/case.xlsx"},
      {"/a\\mixed/case.xlsx", "/data", "/data/case.xlsx"},
      {"\\\\server\\share\\case.xlsx", "D:\\cases", "D:\\cases/case.xlsx"},
      {"/a/b/case.xlsx", "/data/\\", "/data/case.xlsx"},
      {"/a/b/case.xlsx", "/", "/case.xlsx"},
      {"/a/b/", "/data", "/data/"},
      {"case.xlsx", "/data", std::nullopt},
      {"", "/data", std::nullopt},
      {"/a/case.xlsx", "", std::nullopt},
      {"/a/case.xlsx", "  ", std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.path) + " in " + c.directory);
    EXPECT_EQ(model::PathInDirectory(c.path, c.directory), c.expected);
  }
  EXPECT_EQ(model::FileNamePart("x\\y/z.xls"), "z.xls");
  EXPECT_EQ(model::FileNamePart("z.xls"), std::nullopt);
}

}  // namespace
