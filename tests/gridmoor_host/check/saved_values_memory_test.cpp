// Reading a workbook's saved values takes the memory of the cells it keeps,
// not of its XML: sheets of 100 MB of dense XML and 64 MB of indented XML are
// read in a child process whose heap may grow by no more than 200 MB, where
// reading them into a document tree took 5 to 13 bytes per byte of XML.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <functional>
#include <tuple>

#include "saved_values/saved_values.h"
#include "support/large_sheets.h"
#include "support/temp_folder.h"

namespace {

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#else
constexpr bool kSanitized = false;
#endif

constexpr rlim_t kHeapGrowth = rlim_t{200} << 20;

// The process's data segment now (VmData, in bytes).
rlim_t DataSize() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmData:", 0) == 0) return std::stoull(line.substr(7)) << 10;
  }
  return 0;
}

// Reads `file` in a child whose data segment may grow by `kHeapGrowth`:
// its exit status, 0 when it read `formulas` formula cells.
int ReadInLimitedChild(const std::filesystem::path& file, std::size_t formulas) {
  const pid_t child = fork();
  if (child == 0) {
    const rlim_t limit = DataSize() + kHeapGrowth;
    const rlimit data{limit, limit};
    if (setrlimit(RLIMIT_DATA, &data) != 0) _exit(3);
    const auto read = refhost::ReadSavedValues(file);
    if (!read) std::fprintf(stderr, "%s\n", read.GetError().Message().c_str());
    _exit(!read ? 1 : read->formulas.size() == formulas ? 0 : 2);
  }
  int status = 0;
  if (child < 0 || waitpid(child, &status, 0) != child) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

TEST(MemorySavedValues, LargeSheetsAreReadInBoundedMemory) {
  if (kSanitized) GTEST_SKIP() << "the sanitizers' own memory defeats the heap limit";
  using Write =
      std::function<std::size_t(const std::filesystem::path&, const test_support::LargeSheet&)>;
  const std::tuple<std::string, Write, test_support::LargeSheet> cases[] = {
      {"dense.xlsx", test_support::WriteLargeXlsx, {std::size_t{100} << 20, false}},
      {"indented.fods", test_support::WriteLargeFods, {std::size_t{64} << 20, true}},
  };
  const test_support::TempFolder folder;
  for (const auto& [name, write, sheet] : cases) {
    const std::filesystem::path file = folder.path() / name;
    const std::size_t formulas = write(file, sheet);
    EXPECT_EQ(ReadInLimitedChild(file, formulas), 0) << name << ": " << formulas << " formulas";
    std::filesystem::remove(file);
  }
}

}  // namespace
