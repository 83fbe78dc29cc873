// A VBA project kept in the office's flat file format (.fods) loads as
// plain Basic: the office reads that file's settings before its sheets and
// Basic, so the code names it stored there are dropped, its library is not
// in VBA mode and every module is a standard one. A module named as the
// workbook's code name (ThisWorkbook) then hides the workbook from the
// other modules. RestoreFlatVbaProject puts back what the file says.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace excel::calc {

struct Document;

// What a flat file's settings say of its VBA project: the library
// container's VBA mode and the code names (ScriptConfiguration).
struct FlatCodeNames {
  bool vbaMode = false;
  std::string workbook;                       // the workbook's code name
  std::map<std::string, std::string> sheets;  // by sheet name
};

// The settings of the flat file text `xml` (its start, at least up to the
// end of office:settings); nullopt when it has none that can be read.
std::optional<FlatCodeNames> ReadFlatCodeNames(std::string_view xml);

// For a workbook loaded from the flat file at `path`: code names, VBA mode
// and the document modules' binding to the workbook and its sheets, as the
// file's settings give them. A document module whose code name the settings
// lack stays a standard module. Nothing is done for other files, or where
// the project is in VBA mode already.
void RestoreFlatVbaProject(Document& document, const std::string& path);

}  // namespace excel::calc
