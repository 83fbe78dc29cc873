// The reference host's progress on stderr: its timestep numbers are the
// table's (the index sent to the driver), on a pipe and on a terminal.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <sstream>
#include <string>

#include "outputs.h"
#include "progress.h"

namespace refhost {
namespace {

RunRecord ThreeTimesteps() {
  RunRecord run;
  run.timesteps = 3;
  run.streams = {{0, false, "In-1", {}}, {1, true, "Out-1", {}}};
  for (int t = 0; t < 3; ++t) {
    StreamState out;
    out.scalars[0] = 100 + t;
    out.scalars[2] = 2 + t;
    run.streamSamples.push_back({t, 45292.0 + 30 * t, 0, StreamState{}});
    run.streamSamples.push_back({t, 45292.0 + 30 * t, 1, out});
  }
  return run;
}

// The rows of the table after its header.
std::vector<std::string> TableRows(const RunRecord& run) {
  std::istringstream table(ResultTable(run));
  std::vector<std::string> rows;
  for (std::string line; std::getline(table, line);)
    rows.push_back(line);
  rows.erase(rows.begin());
  return rows;
}

TEST(HostProgress, LinesNumberTimestepsAsTheTableDoes) {
  const RunRecord run = ThreeTimesteps();
  const std::vector<std::string> rows = TableRows(run);
  ASSERT_EQ(rows.size(), 3u);
  struct Case {
    int t;
    const char* line;  // what the progress line says
    const char* row;   // how the table's row for the same timestep starts
  };
  const Case cases[] = {
      {0, "timestep 0 of 0-2 2024-01-01  Out-1 oil 100 gas 2", "0    2024-01-01 Out-1"},
      {2, "timestep 2 of 0-2 2024-03-01  Out-1 oil 102 gas 4", "2    2024-03-01 Out-1"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(TimestepLine(c.t, 3, 45292.0 + 30 * c.t, run), c.line);
    EXPECT_EQ(rows[static_cast<std::size_t>(c.t)].rfind(c.row, 0), 0u)
        << rows[static_cast<std::size_t>(c.t)];
  }
  EXPECT_EQ(TimestepLine(0, 1, 45292, RunRecord{}), "timestep 0 of 0-0 2024-01-01");
}

std::string ReadAll(std::FILE* file) {
  std::rewind(file);
  std::string text;
  for (int c; (c = std::fgetc(file)) != EOF;)
    text += static_cast<char>(c);
  return text;
}

TEST(HostProgress, APipeGetsOneLinePerTimestepAndNoTrials) {
  const RunRecord run = ThreeTimesteps();
  std::FILE* file = std::tmpfile();
  ASSERT_NE(file, nullptr);
  Progress progress(true, 3, file);
  progress.Trial(0, 1);
  progress.Done(0, 45292, run);
  progress.Trial(1, 1);
  progress.Done(1, 45322, run);
  progress.Finish();
  EXPECT_EQ(ReadAll(file),
            "timestep 0 of 0-2 2024-01-01  Out-1 oil 100 gas 2\n"
            "timestep 1 of 0-2 2024-01-31  Out-1 oil 101 gas 3\n");
  std::fclose(file);

  std::FILE* quiet = std::tmpfile();
  ASSERT_NE(quiet, nullptr);
  Progress off(false, 3, quiet);
  off.Done(0, 45292, run);
  off.Finish();
  EXPECT_EQ(ReadAll(quiet), "");
  std::fclose(quiet);
}

TEST(HostProgress, ATerminalRewritesOneLineWithTrialsElapsedAndTimeLeft) {
  const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
  ASSERT_GE(master, 0);
  ASSERT_EQ(::grantpt(master), 0);
  ASSERT_EQ(::unlockpt(master), 0);
  const int slave = ::open(::ptsname(master), O_RDWR | O_NOCTTY);
  ASSERT_GE(slave, 0);
  std::FILE* terminal = ::fdopen(slave, "w");
  ASSERT_NE(terminal, nullptr);

  const RunRecord run = ThreeTimesteps();
  double now = 100;
  Progress progress(true, 3, terminal, [&now] { return now; });
  now = 104;
  progress.Trial(0, 4);
  now = 110;
  progress.Done(0, 45292, run);
  now = 112;
  progress.Trial(1, 1);
  progress.Finish();
  std::fclose(terminal);

  std::string shown;
  char buffer[1024];
  ::fcntl(master, F_SETFL, O_NONBLOCK);
  for (ssize_t got; (got = ::read(master, buffer, sizeof buffer)) > 0;)
    shown.append(buffer, static_cast<std::size_t>(got));
  ::close(master);
  // One line, rewritten: never a line break, every state after a return.
  EXPECT_EQ(shown.find('\n'), std::string::npos) << shown;
  EXPECT_NE(shown.find("\r\033[K[..............................] 0 of 3 done  timestep 0 of 0-2  "
                       "trial 4  elapsed 0:04  left ?"),
            std::string::npos)
      << shown;
  EXPECT_NE(shown.find("\r\033[K[##########....................] 1 of 3 done  timestep 1 of 0-2  "
                       "elapsed 0:10  left ~0:20"),
            std::string::npos)
      << shown;
  EXPECT_NE(shown.find("timestep 1 of 0-2  trial 1  elapsed 0:12  left ~0:24"), std::string::npos)
      << shown;
  // Finish leaves the line cleared for what the run prints next.
  EXPECT_EQ(shown.substr(shown.size() - 4), "\r\033[K");
}

TEST(HostProgress, ProgressLineAndDurations) {
  struct Case {
    int done, timesteps, t, trial;
    double elapsed;
    const char* line;
  };
  const Case cases[] = {
      {0, 10, 0, 0, 0.4,
       "[..............................] 0 of 10 done  timestep 0 of 0-9  "
       "elapsed 0:00  left ?"},
      {5, 10, 5, 17, 61,
       "[###############...............] 5 of 10 done  timestep 5 of 0-9  "
       "trial 17  elapsed 1:01  left ~1:01"},
      {1, 3, 1, 0, 3700,
       "[##########....................] 1 of 3 done  timestep 1 of 0-2  "
       "elapsed 1:01:40  left ~2:03:20"},
      {3, 3, 3, 0, 9, "[##############################] 3 of 3 done  elapsed 0:09"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(ProgressLine(c.done, c.timesteps, c.t, c.trial, c.elapsed), c.line);
  EXPECT_EQ(Duration(-3), "0:00");
  EXPECT_EQ(Duration(59.6), "1:00");
  EXPECT_EQ(Duration(3599), "59:59");
}

}  // namespace
}  // namespace refhost
