// `gridmoor-host workbook check` given hostile files and paths: it runs none
// of the workbook's code, never writes over what it reads, and ends with a
// clear line instead of hanging on what is not a workbook.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "host_test_support.h"
#include "support/xlsx_writer.h"

namespace {

using ::testing::HasSubstr;

namespace fs = std::filesystem;

// A flat OpenDocument spreadsheet with one Basic module and, in sheet
// Data, the given cells (each a <table:table-cell> element); `events`
// goes into the document's event listeners.
std::string FlatSpreadsheet(const std::string& basic, const std::string& events,
                            const std::string& cells) {
  return R"(<?xml version="1.0" encoding="UTF-8"?>
<office:document xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0" )"
         R"(xmlns:table="urn:oasis:names:tc:opendocument:xmlns:table:1.0" )"
         R"(xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0" )"
         R"(xmlns:script="urn:oasis:names:tc:opendocument:xmlns:script:1.0" )"
         R"(xmlns:of="urn:oasis:names:tc:opendocument:xmlns:of:1.2" )"
         R"(xmlns:xlink="http://www.w3.org/1999/xlink" xmlns:ooo="http://openoffice.org/2004/office" )"
         R"(xmlns:dom="http://www.w3.org/2001/xml-events" office:version="1.3" )"
         R"(office:mimetype="application/vnd.oasis.opendocument.spreadsheet"><office:scripts>)"
         R"(<office:script script:language="ooo:Basic"><ooo:libraries>)"
         R"(<ooo:library-embedded ooo:name="Standard"><ooo:module ooo:name="Module1">)"
         R"(<ooo:source-code>)" +
         basic +
         R"(</ooo:source-code></ooo:module></ooo:library-embedded></ooo:libraries>)"
         R"(</office:script><office:event-listeners>)" +
         events +
         R"(</office:event-listeners></office:scripts><office:body><office:spreadsheet>)"
         R"(<table:table table:name="Data"><table:table-row>)" +
         cells +
         R"(</table:table-row></table:table></office:spreadsheet></office:body>)"
         R"(</office:document>)";
}

std::string NumberCell(const std::string& formula, const std::string& value) {
  return R"(<table:table-cell table:formula="of:=)" + formula +
         R"(" office:value-type="float" office:value=")" + value + R"("><text:p>)" + value +
         "</text:p></table:table-cell>";
}

// A load-event macro that writes a file, and a cell calling the workbook's
// own function, which another cell depends on: the check runs neither,
// tells the two cells apart from the compared one, and the file is never
// written.
TEST(IntegrationWorkbookCheck, RunsNoneOfTheWorkbooksCode) {
  const hosttest::Folder folder;
  const fs::path written = folder.path() / "ran.txt";
  const std::string basic = "Sub OnLoad\nDim n As Integer\nn = FreeFile\nOpen \"" +
                            written.string() +
                            "\" For Output As #n\nPrint #n, \"ran\"\nClose #n\nEnd Sub\n"
                            "Function Twice(x)\nOnLoad\nTwice = 2 * x\nEnd Function\n";
  const std::string events =
      R"(<script:event-listener script:language="ooo:script" script:event-name="dom:load" )"
      R"(xlink:href="vnd.sun.star.script:Standard.Module1.OnLoad?language=Basic&amp;)"
      R"(location=document" xlink:type="simple"/>)";
  const fs::path book = folder.path() / "onload.fods";
  test_support::WriteFile(
      book, FlatSpreadsheet(
                basic, events,
                NumberCell("1+1", "2") + NumberCell("TWICE(3)", "6") + NumberCell("[.B1]+1", "7")));
  const hosttest::Checked checked = hosttest::Check(book.string(), folder.path());
  EXPECT_EQ(checked.result.status, 0) << checked.result.out << checked.result.err;
  EXPECT_FALSE(fs::exists(written));
  EXPECT_EQ(checked.json["formulas"], 1) << checked.json.dump(1);
  EXPECT_EQ(checked.json["workbookFunctions"], 2);
  EXPECT_THAT(checked.result.out, HasSubstr("workbook functions: 2 formula cell(s) not compared"));
}

// --json naming what the check reads, by any path, is refused before any
// work, and the file keeps its bytes.
TEST(HostWorkbookCheckInput, FindingsNeverReplaceTheWorkbookOrTheScenario) {
  const hosttest::Folder folder;
  const fs::path book = folder.path() / "model.xlsx";
  const std::string bytes = test_support::XlsxBytes({{"S", {{"A1", "1+1", "", "2", ""}}}});
  test_support::WriteFile(book, bytes);
  const fs::path scenario = folder.path() / "scenario.json";
  const std::string scenarioText =
      R"({"workbook": "model.xlsx", "case": {}, "run": {"start": "2024-01-01"}})";
  test_support::WriteFile(scenario, scenarioText);
  fs::create_symlink(book, folder.path() / "link.xlsx");
  fs::create_hard_link(book, folder.path() / "hard.xlsx");
  const std::string s = " --scenario " + scenario.string();
  const std::pair<std::string, std::string> cases[] = {
      {book.string() + " --json " + book.string(), book.string()},
      {book.string() + " --json " + (folder.path() / "hard.xlsx").string(), book.string()},
      {s + " --json " + scenario.string(), scenario.string()},
      {s + " --json " + (folder.path() / "link.xlsx").string(), book.string()},
  };
  for (const auto& [arguments, input] : cases) {
    const hosttest::Result result = hosttest::Host("workbook check " + arguments, folder.path());
    EXPECT_EQ(result.status, 2) << arguments;
    EXPECT_THAT(result.err, HasSubstr("is the file " + input));
    EXPECT_EQ(result.err.find('\n'), result.err.size() - 1) << result.err;
    EXPECT_EQ(result.out, "");
  }
  EXPECT_EQ(hosttest::ReadText(book), bytes);
  EXPECT_EQ(hosttest::ReadText(scenario), scenarioText);
}

// What is not a workbook file ends the check at once with one line that
// says what it is: a FIFO nobody writes to (opened without waiting for a
// writer), a device, an empty file, and workbooks saved with a password.
TEST(HostWorkbookCheckInput, WhatIsNoReadableWorkbookIsSaidInOneLine) {
  const hosttest::Folder folder;
  const fs::path fifo = folder.path() / "book.xlsx";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  test_support::WriteFile(folder.path() / "empty.xlsx", "");
  // A password-protected .xlsx: a compound file holding EncryptedPackage.
  std::string compound("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8);
  compound.resize(1024, '\0');
  for (const char c : std::string("EncryptedPackage"))
    compound += std::string{c, '\0'};
  compound.resize(4096, '\0');
  test_support::WriteFile(folder.path() / "locked.xlsx", compound);
  test_support::WriteFile(
      folder.path() / "locked.ods",
      test_support::ZipBytes(
          {{"mimetype", "application/vnd.oasis.opendocument.spreadsheet"},
           {"content.xml", "\x93\x11\x5A encrypted bytes"},
           {"META-INF/manifest.xml",
            R"(<manifest:manifest xmlns:manifest="urn:oasis:names:tc:opendocument:xmlns:manifest:1.0">)"
            R"(<manifest:file-entry manifest:full-path="content.xml"><manifest:encryption-data/>)"
            R"(</manifest:file-entry></manifest:manifest>)"}}));
  const std::pair<fs::path, std::string> cases[] = {
      {fifo, "book.xlsx is a pipe or FIFO that gave nothing: there is no workbook in it"},
      {"/dev/null", "/dev/null is a device or socket, not a workbook file"},
      {folder.path() / "empty.xlsx", "empty.xlsx is empty: there is no workbook in it"},
      {folder.path() / "locked.xlsx", "locked.xlsx: password-protected"},
      {folder.path() / "locked.ods", "locked.ods: password-protected"},
  };
  for (const auto& [book, message] : cases) {
    const auto start = std::chrono::steady_clock::now();
    const hosttest::Result result =
        hosttest::Host("workbook check " + book.string(), folder.path());
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20)) << book;
    EXPECT_EQ(result.status, 2) << book;
    EXPECT_THAT(result.err, HasSubstr(message));
    EXPECT_EQ(result.err.find('\n'), result.err.size() - 1) << result.err;
  }
  // With a scenario, a password-protected workbook is no binary workbook
  // whose other checks still run.
  const fs::path scenario = folder.path() / "s.json";
  test_support::WriteFile(scenario, R"({"workbook": "locked.xlsx", "case": {},
                                        "run": {"start": "2024-01-01"}})");
  const hosttest::Result result =
      hosttest::Host("workbook check --scenario " + scenario.string(), folder.path());
  EXPECT_EQ(result.status, 2);
  EXPECT_THAT(result.err, HasSubstr("password-protected"));
}

// SIGTERM to a check while the office loads the copy ends it at once with
// 128 + the signal, saying so; an office that stops answering then is
// ended after the call time-out, and the check ends with status 2 and says
// why instead of hanging. Neither leaves the office, its folder or the
// check's copies behind.
TEST(IntegrationWorkbookCheck, InterruptedAndFrozenChecksLeaveNoScratchBehind) {
  const hosttest::Folder folder;
  const fs::path book = folder.path() / "big.xlsx", log = folder.path() / "log.txt";
  std::vector<test_support::XlsxCell> cells;
  for (int row = 1; row <= 20000; ++row)
    for (const char* column : {"A", "B", "C"})
      cells.push_back({column + std::to_string(row), "ROW()*2", "", std::to_string(row * 2), ""});
  test_support::WriteFile(book, test_support::XlsxBytes({{"S", cells}}));
  const auto scratch = [&] { return hosttest::EntriesNamed(folder.path(), "gridmoor-office-"); };
  struct Case {
    const char* what;
    int signal;
    bool toOffice;
    const char* timeout;  // the call time-out in seconds; none: the default
    int status, seconds;
    const char* said;
  };
  const Case cases[] = {
      {"SIGTERM", SIGTERM, false, nullptr, 128 + SIGTERM, 30, "could not check: interrupted by"},
      {"frozen office", SIGSTOP, true, "2", 2, 60,
       "could not check: big.xlsx: The office did not answer within"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const pid_t check = hosttest::Spawn({"workbook", "check", book.string()}, log, false, [&] {
      setenv("TMPDIR", folder.path().c_str(), 1);
      if (c.timeout != nullptr) setenv("GRIDMOOR_CALL_TIMEOUT", c.timeout, 1);
    });
    // Once the office is loading the copy: its lock file is there.
    ASSERT_TRUE(hosttest::WaitFor(
        [&] {
          for (const fs::path& copy : scratch())
            if (fs::exists(copy / ".~lock.big.xlsx#")) return true;
          return false;
        },
        120))
        << hosttest::ReadText(log);
    const int office = hosttest::OfficeOf(check);
    ASSERT_NE(office, 0);
    ASSERT_EQ(kill(c.toOffice ? office : check, c.signal), 0);
    EXPECT_EQ(hosttest::ExitStatusWithin(check, std::chrono::seconds(c.seconds)), c.status);
    EXPECT_THAT(hosttest::ReadText(log), HasSubstr(c.said));
    if (c.toOffice) {
      EXPECT_TRUE(hosttest::ProcessGone(office));
    }
    EXPECT_EQ(scratch(), std::vector<fs::path>{});
  }
}

}  // namespace
