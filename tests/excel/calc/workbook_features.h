// What the excel:: interfaces do not reach (defined names, Basic modules,
// notes, the view), over UNO; on the first sheet, throwing com::Error.
#pragma once

#include <cstdint>
#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "excel/object_model.h"

namespace excel::calc::testing {

struct BasicModule {
  std::string source;
  bool documentModule = false;  // bound to the workbook or a sheet
  bool operator==(const BasicModule&) const = default;
};

// A workbook-wide name for `content` ("$Sheet1.$B$1:$B$5", "42").
void AddDefinedName(const com::Ptr<Workbook>& workbook, const std::string& name,
                    const std::string& content);

// The modules of a Basic library by name; empty when there is no such library.
std::map<std::string, BasicModule> BasicModulesOf(const com::Ptr<Workbook>& workbook,
                                                  const std::string& library);

// A cell note ("comment") on the first sheet.
void AddNote(const com::Ptr<Workbook>& workbook, const std::string& cell, const std::string& text,
             bool visible);
// Every note of the first sheet, by cell ("B2") to its text, with " (shown)"
// after the text of a note shown all the time.
std::map<std::string, std::string> NotesOf(const com::Ptr<Workbook>& workbook);

// True when the document was loaded hidden: it then has no view of its own
// that the office shows, which macros recorded in a spreadsheet need for
// Select and ActiveCell.
bool IsLoadedHidden(const com::Ptr<Workbook>& workbook);

// The height of row `row` (0-based) of the first sheet, in 1/100 mm.
int RowHeightOf(const com::Ptr<Workbook>& workbook, int row);

// For test failure messages.
void PrintTo(const BasicModule& module, std::ostream* out);

}  // namespace excel::calc::testing
