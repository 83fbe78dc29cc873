// Known differences found in a macro module's Basic source, named at their
// line (the causes without a cell test in known_differences.h).
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace refhost {

struct VbaNote {
  std::string module;  // library.module
  int line = 0;        // 1-based, where the statement's range is written
  std::string cause;   // a known difference's id
  std::string message;
};

// A formula with relative references given to a range of several cells
// (Range("A2:C7").Formula = "=A1+1", also through With blocks); comments and
// texts in quotes never count, nor a single-cell address, nor a formula
// written in the source without relative references. And dialogs called by
// a qualified name the office lacks (VBA.MsgBox, Interaction.MsgBox,
// Application.InputBox).
std::vector<VbaNote> FindVbaNotes(const std::string& module, std::string_view source);

}  // namespace refhost
