// Macros as spreadsheet users name them, and the procedure such a name
// picks among those the office's Basic libraries hold. Kept free of UNO so
// that they are unit tested alone.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "excel/calc/basic/basic_procedures.h"

namespace excel::calc {

// A macro name as Excel users write it: "Macro", "Module1.Macro",
// "Library.Module1.Macro", "Book.xlsm!Macro", "'My Book.xlsm'!Module1.Macro".
struct MacroName {
  std::string book;  // empty when not given
  std::string library;
  std::string module;
  std::string procedure;
};
std::optional<MacroName> ParseMacroName(std::string_view text);

// A procedure found in a container of Basic libraries.
struct MacroEntry {
  std::string library;
  std::string module;
  BasicProcedure procedure;
};

// The first entry that `name` (its library, module and procedure, where
// given) names, compared without regard to case; nullptr when none.
const MacroEntry* FindMacro(const std::vector<MacroEntry>& entries, const MacroName& name);

}  // namespace excel::calc
