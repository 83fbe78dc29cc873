#include "support/memory_workbook_file.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <limits>
#include <stdexcept>

#include "com/error.h"
#include "excel/errors.h"
#include "support/temp_folder.h"

namespace {

using com::Variant;
using test_support::CellContent;
using test_support::CellPosition;
using test_support::SheetData;
using test_support::WorkbookContents;

WorkbookContents EveryKindOfContent() {
  WorkbookContents contents;
  auto data = std::make_shared<SheetData>(SheetData{"Data \"1\"", false, {}});
  auto& cells = data->cells;
  cells[{1, 1}] = {Variant::Double(0.1), "", ""};
  cells[{1, 2}] = {Variant::Double(-0.0), "", ""};
  cells[{1, 3}] = {Variant::Double(5e-324), "", ""};
  cells[{1, 4}] = {Variant::Double(1.7976931348623157e308), "", "0.00E+00"};
  cells[{2, 1}] = {Variant::Text("quote \" back\\slash\nline\ttab\x01 Débit ☃"), "", "@"};
  cells[{2, 2}] = {Variant::Text(""), "", ""};
  cells[{2, 3}] = {Variant::Bool(true), "", ""};
  cells[{2, 4}] = {Variant::Bool(false), "", ""};
  cells[{3, 1}] = {Variant::ErrorValue(excel::kErrNA), "", ""};
  cells[{3, 2}] = {Variant::Double(3), "=A1+\"x\"", ""};
  cells[{3, 3}] = {Variant(), "=NOW()", "yyyy-mm-dd"};
  cells[{1048576, 16384}] = {Variant(), "", "0%"};
  contents.sheets.push_back(std::make_shared<SheetData>(SheetData{"Chart1", true, {}}));
  contents.sheets.push_back(data);
  contents.sheets.push_back(std::make_shared<SheetData>(SheetData{"Empty", false, {}}));
  contents.names.push_back({"Total", data, {{1, 1}, {3, 2}}});
  contents.names.push_back({"One", data, {{2, 2}, {2, 2}}});
  contents.activeSheet = 2;
  return contents;
}

void ExpectSameContents(const WorkbookContents& a, const WorkbookContents& b) {
  ASSERT_EQ(a.sheets.size(), b.sheets.size());
  for (std::size_t i = 0; i < a.sheets.size(); ++i) {
    const SheetData& x = *a.sheets[i];
    const SheetData& y = *b.sheets[i];
    EXPECT_EQ(x.name, y.name);
    EXPECT_EQ(x.chart, y.chart);
    ASSERT_EQ(x.cells.size(), y.cells.size()) << x.name;
    for (const auto& [position, cell] : x.cells) {
      const auto other = y.cells.find(position);
      ASSERT_NE(other, y.cells.end());
      EXPECT_EQ(cell.value, other->second.value);
      if (cell.value.vt == VT_R8) {
        EXPECT_EQ(std::signbit(cell.value.dblVal), std::signbit(other->second.value.dblVal));
      }
      EXPECT_EQ(cell.formula, other->second.formula);
      EXPECT_EQ(cell.numberFormat, other->second.numberFormat);
    }
  }
  ASSERT_EQ(a.names.size(), b.names.size());
  for (std::size_t i = 0; i < a.names.size(); ++i) {
    EXPECT_EQ(a.names[i].name, b.names[i].name);
    EXPECT_EQ(a.names[i].sheet->name, b.names[i].sheet->name);
    EXPECT_EQ(a.names[i].block, b.names[i].block);
  }
  EXPECT_EQ(a.activeSheet, b.activeSheet);
}

TEST(MemoryWorkbookFile, TextRoundTripIsExact) {
  const WorkbookContents original = EveryKindOfContent();
  const std::string text = test_support::FormatWorkbook(original);
  const WorkbookContents read = test_support::ParseWorkbook(text);
  ExpectSameContents(original, read);
  EXPECT_EQ(test_support::FormatWorkbook(read), text);
  // Names point at the sheets of the workbook read, not at copies.
  EXPECT_EQ(read.names[0].sheet, read.sheets[1]);
}

TEST(MemoryWorkbookFile, FileRoundTripLeavesNoTemporaryFile) {
  const test_support::TempFolder folder;
  const std::string path = folder.File("book.xlsx");
  test_support::WriteWorkbookFile(path, EveryKindOfContent());
  ExpectSameContents(EveryKindOfContent(), test_support::ReadWorkbookFile(path));
  // Rewriting replaces the file.
  test_support::WriteWorkbookFile(path, WorkbookContents::NewWorkbook());
  EXPECT_EQ(test_support::ReadWorkbookFile(path).sheets.size(), 1u);
  std::size_t files = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder.path())) {
    ++files;
  }
  EXPECT_EQ(files, 1u);
}

TEST(MemoryWorkbookFile, DocumentedLayout) {
  WorkbookContents contents = WorkbookContents::NewWorkbook();
  contents.sheets[0]->cells[{1, 1}] = {Variant::Double(1.5), "", ""};
  contents.sheets[0]->cells[{2, 1}] = {Variant::Double(3), "=A1*2", "0.00"};
  contents.names.push_back({"Total", contents.sheets[0], {{1, 1}, {2, 1}}});
  EXPECT_EQ(test_support::FormatWorkbook(contents),
            "gridmoor-memory-workbook 1\n"
            "worksheet \"Sheet1\"\n"
            "cell A1 r8 1.5\n"
            "cell A2 r8 3 formula \"=A1*2\" format \"0.00\"\n"
            "active 1\n"
            "name \"Total\" \"Sheet1\" A1:A2\n"
            "end\n");
}

TEST(MemoryWorkbookFile, MalformedTextsAreRefused) {
  const std::string head = "gridmoor-memory-workbook 1\nworksheet \"S\"\n";
  const struct {
    const char* name;
    std::string text;
  } cases[] = {
      {"empty", ""},
      {"other signature", "gridmoor-memory-workbook 2\nworksheet \"S\"\nend\n"},
      {"cut short", head},
      {"last line not ended", head + "end"},
      {"text after end", head + "end\ncell A1 empty\n"},
      {"no sheets", "gridmoor-memory-workbook 1\nend\n"},
      {"cell before a sheet", "gridmoor-memory-workbook 1\ncell A1 r8 1\nworksheet \"S\"\nend\n"},
      {"cell of a chart", "gridmoor-memory-workbook 1\nchart \"C\"\ncell A1 r8 1\nend\n"},
      {"repeated sheet", head + "chart \"s\"\nend\n"},
      {"repeated cell", head + "cell A1 r8 1\ncell A1 r8 2\nend\n"},
      {"bad address", head + "cell A0 r8 1\nend\n"},
      {"unknown type", head + "cell A1 i4 1\nend\n"},
      {"bad number", head + "cell A1 r8 1x\nend\n"},
      {"bad logical", head + "cell A1 bool yes\nend\n"},
      {"bad error code", head + "cell A1 error 800A07FA\nend\n"},
      {"bad escape", head + "cell A1 bstr \"a\\q\"\nend\n"},
      {"unterminated text", head + "cell A1 bstr \"a\nend\n"},
      {"attributes out of order", head + "cell A1 empty format \"0\" formula \"=1\"\nend\n"},
      {"double blank", head + "cell  A1 empty\nend\n"},
      {"trailing blank", head + "cell A1 empty \nend\n"},
      {"unknown item", head + "row 1\nend\n"},
      {"active out of range", head + "active 2\nend\n"},
      {"active zero", head + "active 0\nend\n"},
      {"name of unknown sheet", head + "name \"N\" \"T\" A1\nend\n"},
      {"repeated name", head + "name \"N\" \"S\" A1\nname \"n\" \"S\" B1\nend\n"},
      {"carriage returns", "gridmoor-memory-workbook 1\r\nworksheet \"S\"\r\nend\r\n"},
  };
  for (const auto& c : cases) {
    EXPECT_THROW(test_support::ParseWorkbook(c.text), std::invalid_argument) << c.name;
  }
}

HRESULT ReadFailure(const std::filesystem::path& path) {
  try {
    test_support::ReadWorkbookFile(path);
  } catch (const com::Error& error) {
    return error.hr();
  }
  return com::S_OK;
}

TEST(MemoryWorkbookFile, UnreadableFilesFailAsTheApplicationDoes) {
  const test_support::TempFolder folder;
  EXPECT_EQ(ReadFailure(folder.File("missing.xlsx")), excel::kApplicationError);
  EXPECT_EQ(ReadFailure(folder.path()), excel::kApplicationError);
  std::ofstream(folder.File("foreign.xlsx")) << "PK\x03\x04 not ours";
  EXPECT_EQ(ReadFailure(folder.File("foreign.xlsx")), excel::kApplicationError);

  try {
    test_support::WriteWorkbookFile(folder.File("no/such/folder/book.xlsx"),
                                    WorkbookContents::NewWorkbook());
    ADD_FAILURE() << "written into a missing folder";
  } catch (const com::Error& error) {
    EXPECT_EQ(error.hr(), excel::kApplicationError);
  }
}

}  // namespace
