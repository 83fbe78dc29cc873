#include "excel/calc/basic_source.h"

#include <algorithm>

#include "excel/calc/basic_procedures.h"
#include "text/ascii.h"

namespace excel::calc {
namespace {

constexpr std::string_view kWrapperPrefix = "GridmoorCall";

constexpr std::string_view kStandInMarker =
    "' Gridmoor: message and input box stand-ins, taken out before the workbook is stored";

// Record and field separators of what the stand-ins report; a prompt may
// hold line breaks, so they cannot serve.
constexpr char kRecordEnd = '\x1e';
constexpr char kFieldEnd = '\x1f';

// The wrapper module's side of the stand-ins. A message box answers with
// the button Enter would press: the first, or the one vbDefaultButton2/3
// picks, of the buttons the style shows.
constexpr std::string_view kDialogRecorders = R"(Option Explicit

Public GmDialogs As String

Function GmMessageBox(prompt, buttons)
  Dim choices
  Select Case buttons And 7
    Case 1: choices = Array(1, 2)
    Case 2: choices = Array(3, 4, 5)
    Case 3: choices = Array(6, 7, 2)
    Case 4: choices = Array(6, 7)
    Case 5: choices = Array(4, 2)
    Case Else: choices = Array(1)
  End Select
  Dim pick As Integer
  pick = (buttons And 768) \ 256
  If pick > UBound(choices) Then pick = 0
  GmMessageBox = choices(pick)
  GmDialogs = GmDialogs & "M" & prompt & Chr(31) & GmMessageBox & Chr(30)
End Function

Sub GmCalculateFull()
  ThisComponent.calculateAll()
End Sub

Function GmInputBox(prompt, answer)
  GmDialogs = GmDialogs & "I" & prompt & Chr(31) & answer & Chr(30)
  GmInputBox = answer
End Function

Sub GmSetFormula(target, kind, formula)
  Dim first, relative, area
  If VarType(formula) = 8 And HasUnoInterfaces(target, "ooo.vba.excel.XRange") Then
    If Left(formula, 1) = "=" And _
       (target.Areas.Count > 1 Or target.Rows.Count > 1 Or target.Columns.Count > 1) Then
      Set first = target.Cells(1, 1)
      If kind = 1 Then first.FormulaLocal = formula Else first.Formula = formula
      relative = first.FormulaR1C1
      For Each area In target.Areas
        area.FormulaR1C1 = relative
      Next
      Exit Sub
    End If
  End If
  If kind = 1 Then target.FormulaLocal = formula Else target.Formula = formula
End Sub
)";

constexpr std::string_view kStandIns = R"(
Private Function MsgBox(Optional Prompt, Optional Buttons, Optional Title, Optional HelpFile, Optional Context)
  Dim gmPrompt, gmButtons
  gmPrompt = ""
  gmButtons = 0
  If Not IsMissing(Prompt) Then gmPrompt = Prompt
  If Not IsMissing(Buttons) Then gmButtons = Buttons
  MsgBox = GridmoorSupport.GmMessageBox(gmPrompt, gmButtons)
End Function

Private Function InputBox(Optional Prompt, Optional Title, Optional Default, Optional XPos, Optional YPos, Optional HelpFile, Optional Context)
  Dim gmPrompt, gmAnswer
  gmPrompt = ""
  gmAnswer = ""
  If Not IsMissing(Prompt) Then gmPrompt = Prompt
  If Not IsMissing(Default) Then gmAnswer = Default
  InputBox = GridmoorSupport.GmInputBox(gmPrompt, gmAnswer)
End Function
)";

bool IsWordCharacter(char c) {
  const char lower = text::LowerAscii(c);
  return (lower >= 'a' && lower <= 'z') || (c >= '0' && c <= '9') || c == '_';
}

// Whether `word` (lower case) stands in `source` as a whole word, in any
// case. A mention in a comment or a string also counts: a stand-in too many
// does no harm.
bool MentionsWord(std::string_view source, std::string_view word) {
  for (std::size_t at = 0; at + word.size() <= source.size(); ++at) {
    if (!text::EqualsNoCase(source.substr(at, word.size()), word)) continue;
    const bool startsWord = at == 0 || !IsWordCharacter(source[at - 1]);
    const std::size_t end = at + word.size();
    const bool endsWord = end == source.size() || !IsWordCharacter(source[end]);
    if (startsWord && endsWord) return true;
  }
  return false;
}

// Each whole-word `from` in `source` (in any case) replaced by `to`.
bool ReplaceWords(std::string& source, std::string_view from, std::string_view to) {
  bool replaced = false;
  for (std::size_t at = 0; at + from.size() <= source.size();) {
    const std::string_view here = std::string_view(source).substr(at, from.size());
    const std::size_t end = at + from.size();
    if (text::EqualsNoCase(here, from) && (at == 0 || !IsWordCharacter(source[at - 1])) &&
        (end == source.size() || !IsWordCharacter(source[end]))) {
      source.replace(at, from.size(), to);
      at += to.size();
      replaced = true;
    } else {
      ++at;
    }
  }
  return replaced;
}

// Whether the whole word `word` (any case) starts at `at` of `line`.
bool IsWordAt(std::string_view line, std::size_t at, std::string_view word) {
  const std::size_t end = at + word.size();
  return end <= line.size() && text::EqualsNoCase(line.substr(at, word.size()), word) &&
         (at == 0 || !IsWordCharacter(line[at - 1])) &&
         (end == line.size() || !IsWordCharacter(line[end]));
}

// The statements of one line of Basic, [begin, end) each, the comment left
// out: split at colons and at the Then and Else of a one-line If, outside
// texts and parentheses.
std::vector<std::pair<std::size_t, std::size_t>> StatementsOf(std::string_view line) {
  std::vector<std::pair<std::size_t, std::size_t>> statements;
  std::size_t begin = 0;
  std::size_t end = line.size();
  int depth = 0;
  bool quoted = false;
  for (std::size_t i = 0; i < line.size(); ++i) {
    const char c = line[i];
    if (quoted || c == '"') {
      quoted = quoted ? c != '"' : true;  // a doubled quote closes and opens again
      continue;
    }
    if (c == '\'' ||
        (IsWordAt(line, i, "rem") && text::Trim(line.substr(begin, i - begin)).empty())) {
      end = i;
      break;
    }
    if (c == '(') ++depth;
    if (c == ')' && depth > 0) --depth;
    if (depth > 0) continue;
    if (c == ':' && line.substr(i, 2) != ":=") {
      statements.emplace_back(begin, i);
      begin = i + 1;
    } else if (IsWordAt(line, i, "then") || IsWordAt(line, i, "else")) {
      statements.emplace_back(begin, i);
      begin = i + 4;
    }
  }
  statements.emplace_back(std::min(begin, end), end);
  return statements;
}

// An assignment to the Formula or FormulaLocal of a range,
// "Range(\"A2:C7\").Formula = ...", as a call of the support module's
// GmSetFormula: the text up to the "=" and what replaces it.
struct Redirect {
  std::size_t at = 0;
  std::size_t length = 0;
  std::string replacement;
};

std::optional<Redirect> FormulaAssignment(std::string_view line, std::size_t begin,
                                          std::size_t end) {
  std::size_t at = begin;
  while (at < end && (line[at] == ' ' || line[at] == '\t'))
    ++at;
  const std::size_t targetBegin = at;
  int depth = 0;
  // The assigned object: no space outside parentheses and texts.
  for (; at < end; ++at) {
    const char c = line[at];
    if (c == '"') {
      at = line.find('"', at + 1);
      if (at == std::string_view::npos || at >= end) return std::nullopt;
    } else if (c == '(') {
      ++depth;
    } else if (c == ')') {
      if (depth-- == 0) return std::nullopt;
    } else if (depth == 0 && (c == ' ' || c == '\t' || c == '=')) {
      break;
    }
  }
  const std::string_view target = line.substr(targetBegin, at - targetBegin);
  while (at < end && (line[at] == ' ' || line[at] == '\t'))
    ++at;
  if (depth != 0 || at >= end || line[at] != '=') return std::nullopt;
  static constexpr std::pair<std::string_view, char> kProperties[] = {{".FormulaLocal", '1'},
                                                                      {".Formula", '0'}};
  for (const auto& [property, kind] : kProperties) {
    if (target.size() < property.size() ||
        !text::EqualsNoCase(target.substr(target.size() - property.size()), property))
      continue;
    // ".Formula = ..." in a With block: the block's range.
    std::string object(target.substr(0, target.size() - property.size()));
    if (object.empty()) object = ".Cells";
    return Redirect{targetBegin, at + 1 - targetBegin,
                    "GridmoorSupport.GmSetFormula " + object + ", " + kind + ","};
  }
  return std::nullopt;
}

// Assignments of a text to the Formula or FormulaLocal of a range of
// several cells give every cell the same formula in the office, where the
// other spreadsheet moves each cell's relative references with it: they go
// to GmSetFormula, in the same lines. Comments and texts stay as they are,
// as do the lines that continue a statement.
bool RedirectFormulaAssignments(std::string& source) {
  bool changed = false;
  bool continued = false;
  for (std::size_t start = 0; start < source.size();) {
    std::size_t end = source.find('\n', start);
    if (end == std::string::npos) end = source.size();
    std::string line = source.substr(start, end - start);
    const bool continuation = continued;
    const std::string_view code = text::Trim(line);
    continued = code.size() >= 2 && code.substr(code.size() - 2) == " _";
    bool lineChanged = false;
    if (!continuation) {
      const auto statements = StatementsOf(line);
      // From the last, so that the positions of the others stay right.
      for (auto statement = statements.rbegin(); statement != statements.rend(); ++statement) {
        if (const std::optional<Redirect> redirect =
                FormulaAssignment(line, statement->first, statement->second)) {
          line.replace(redirect->at, redirect->length, redirect->replacement);
          lineChanged = true;
        }
      }
    }
    if (lineChanged) {
      source.replace(start, end - start, line);
      end = start + line.size();
      changed = true;
    }
    start = end + 1;
  }
  return changed;
}

}  // namespace

std::string WrapperName(std::size_t n) {
  return std::string(kWrapperPrefix) + std::to_string(n);
}

bool IsWrapperModule(std::string_view module) {
  return module.size() > kWrapperPrefix.size() && text::StartsWithNoCase(module, kWrapperPrefix) &&
         module.find_first_not_of("0123456789", kWrapperPrefix.size()) == std::string_view::npos;
}

std::string WrapperModuleSource(const WrappedCall& call) {
  std::string source = "Option Explicit\n";
  {
    std::string parameters;
    for (std::size_t i = 0; i < call.argumentCount; ++i) {
      if (i > 0) parameters += ", ";
      parameters.append("a").append(std::to_string(i + 1));
    }
    // Basic takes "Module.Function()" in an expression as an index into
    // the result, so a call without arguments has no parentheses.
    const std::string target =
        call.module + "." + call.procedure + (call.argumentCount > 0 ? "(" + parameters + ")" : "");
    const std::string all =
        call.readsWatched ? parameters + (parameters.empty() ? "" : ", ") + "gmSheets, gmRanges"
                          : parameters;
    source += "\nFunction " + call.wrapper + "(" + all + ")\n";
    source += "  Dim outcome, gmNames, gmAddresses\n";
    source += "  GridmoorSupport.GmDialogs = \"\"\n";
    source += "  On Error GoTo Failed\n";
    if (call.isFunction) {
      source += "  outcome = Array(0, " + target + ")\n";
    } else {
      source += "  Call " + target + "\n";
      source += "  outcome = Array(0, Empty)\n";
    }
    if (call.readsWatched) {
      // The macro has run: a failed read only leaves the rest Empty.
      source += "  On Error GoTo Unread\n";
      source += "  gmNames = gmSheets.ElementNames\n";
      // As text: the office cannot hand back an array of structs inside
      // the wrapper's array (an empty one ends it).
      source += "  gmAddresses = gmRanges.RangeAddressesAsString\n";
      source += "Unread:\n";
    }
    source += "  " + call.wrapper +
              " = Array(0, outcome(1), GridmoorSupport.GmDialogs, gmNames, gmAddresses)\n";
    source += "  Exit Function\n";
    source += "Failed:\n";
    source += "  " + call.wrapper + " = Array(1, Err, Error$, GridmoorSupport.GmDialogs)\n";
    source += "End Function\n";
  }
  return source;
}

std::string_view SupportModuleSource() {
  return kDialogRecorders;
}

std::optional<std::string> PreparedForRun(std::string_view source) {
  if (source.find(kStandInMarker) != std::string_view::npos) return std::nullopt;
  std::string result(source);
  bool changed = false;
  for (const std::string_view member :
       {"Application.CalculateFullRebuild", "Application.CalculateFull"})
    changed = ReplaceWords(result, member, "GridmoorSupport.GmCalculateFull") || changed;
  changed = RedirectFormulaAssignments(result) || changed;
  bool ownBoxes = false;
  for (const BasicProcedure& procedure : FindBasicProcedures(source))
    ownBoxes = ownBoxes || text::EqualsNoCase(procedure.name, "MsgBox") ||
               text::EqualsNoCase(procedure.name, "InputBox");
  const bool boxes =
      !ownBoxes && (MentionsWord(source, "msgbox") || MentionsWord(source, "inputbox"));
  if (!changed && !boxes) return std::nullopt;
  if (!result.empty() && result.back() != '\n') result += '\n';
  result += "\n";
  result += kStandInMarker;
  result += '\n';
  if (boxes) result += kStandIns;
  return result;
}

std::string_view AsBeforePreparing(std::string_view source) {
  const std::size_t marker = source.find(kStandInMarker);
  if (marker == std::string_view::npos) return source;
  // The blank line and any line break added before the marker go too.
  std::size_t end = marker;
  if (end > 0 && source[end - 1] == '\n') --end;
  return source.substr(0, end);
}

std::vector<std::string> DecodeDialogs(std::string_view recorded) {
  std::vector<std::string> sentences;
  while (!recorded.empty()) {
    const std::size_t recordEnd = recorded.find(kRecordEnd);
    std::string_view record = recorded.substr(0, recordEnd);
    recorded.remove_prefix(recordEnd == std::string_view::npos ? recorded.size() : recordEnd + 1);
    if (record.empty()) continue;
    const char kind = record.front();
    record.remove_prefix(1);
    const std::size_t fieldEnd = record.find(kFieldEnd);
    const std::string prompt(record.substr(0, fieldEnd));
    const std::string answer(fieldEnd == std::string_view::npos ? std::string_view()
                                                                : record.substr(fieldEnd + 1));
    if (kind == 'M') {
      sentences.push_back("showed a message box: \"" + prompt + "\" (answered " + answer + ")");
    } else if (kind == 'I') {
      sentences.push_back("asked for input: \"" + prompt + "\" (answered with its default \"" +
                          answer + "\")");
    }
  }
  return sentences;
}

}  // namespace excel::calc
