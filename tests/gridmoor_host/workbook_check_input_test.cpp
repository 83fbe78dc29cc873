// `gridmoor-host workbook check` given hostile files and paths: it runs none
// of the workbook's code, never writes over what it reads, and ends with a
// clear line instead of hanging on what is not a workbook.
#include <gtest/gtest.h>

#include "host_test_support.h"
#include "support/xlsx_writer.h"

namespace {

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
  const fs::path json = folder.path() / "check.json";
  const hosttest::Result result =
      hosttest::Host("workbook check " + book.string() + " --json " + json.string(), folder.path());
  EXPECT_EQ(result.status, 0) << result.out << result.err;
  EXPECT_FALSE(fs::exists(written));
  const nlohmann::json checked = hosttest::ReadJson(json);
  EXPECT_EQ(checked["formulas"], 1) << checked.dump(1);
  EXPECT_EQ(checked["workbookFunctions"], 2);
  EXPECT_NE(result.out.find("workbook functions: 2 formula cell(s) not compared"),
            std::string::npos)
      << result.out;
}

}  // namespace

namespace {

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
  fs::create_directory(folder.path() / "sub");
  fs::create_symlink(book, folder.path() / "link.xlsx");
  fs::create_hard_link(book, folder.path() / "hard.xlsx");
  const std::string s = " --scenario " + scenario.string();
  const std::pair<std::string, std::string> cases[] = {
      {book.string() + " --json " + book.string(), book.string()},
      {book.string() + " --json " + (folder.path() / "sub" / ".." / "model.xlsx").string(),
       book.string()},
      {book.string() + " --json " + (folder.path() / "link.xlsx").string(), book.string()},
      {book.string() + " --json " + (folder.path() / "hard.xlsx").string(), book.string()},
      {s + " --json " + scenario.string(), scenario.string()},
      {s + " --json " + (folder.path() / "link.xlsx").string(), book.string()},
  };
  for (const auto& [arguments, input] : cases) {
    const hosttest::Result result = hosttest::Host("workbook check " + arguments, folder.path());
    EXPECT_EQ(result.status, 2) << arguments;
    EXPECT_NE(result.err.find("is the file " + input), std::string::npos) << result.err;
    EXPECT_EQ(result.err.find('\n'), result.err.size() - 1) << result.err;
    EXPECT_EQ(result.out, "");
  }
  EXPECT_EQ(hosttest::ReadText(book), bytes);
  EXPECT_EQ(hosttest::ReadText(scenario), scenarioText);
}

}  // namespace
