#include "excel/calc/basic/basic_source.h"

#include <algorithm>
#include <functional>

#include "excel/calc/basic/basic_procedures.h"
#include "excel/calc/basic/basic_tokens.h"
#include "text/ascii.h"

namespace excel::calc {
namespace {

// The first line of every module the driver places: what tells them from a
// user's module of the same name.
constexpr std::string_view kGeneratedMarker =
    "' Gridmoor generated module, taken out before the workbook is stored. Do not edit.";

constexpr std::string_view kStandInMarker =
    "' Gridmoor: message and input box stand-ins, taken out before the workbook is stored";

// Record and field separators of what the stand-ins report; a prompt may
// hold line breaks, so they cannot serve.
constexpr char kRecordEnd = '\x1e';
constexpr char kFieldEnd = '\x1f';

// The wrapper module's side of the stand-ins. A message box answers with
// the button Enter would press: the first, or the one vbDefaultButton2/3
// picks, of the buttons the style shows.
constexpr std::string_view kDialogRecorders = R"(
Option Explicit

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

Sub GmSaveThisWorkbook()
  ThisComponent.store()
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

// The stand-ins, one per box, calling the support module named by "$".
constexpr std::string_view kMessageBoxStandIn = R"(
Private Function MsgBox(Optional Prompt, Optional Buttons, Optional Title, Optional HelpFile, Optional Context)
  Dim gmPrompt, gmButtons
  gmPrompt = ""
  gmButtons = 0
  If Not IsMissing(Prompt) Then gmPrompt = Prompt
  If Not IsMissing(Buttons) Then gmButtons = Buttons
  MsgBox = $.GmMessageBox(gmPrompt, gmButtons)
End Function
)";

constexpr std::string_view kInputBoxStandIn = R"(
Private Function InputBox(Optional Prompt, Optional Title, Optional Default, Optional XPos, Optional YPos, Optional HelpFile, Optional Context)
  Dim gmPrompt, gmAnswer
  gmPrompt = ""
  gmAnswer = ""
  If Not IsMissing(Prompt) Then gmPrompt = Prompt
  If Not IsMissing(Default) Then gmAnswer = Default
  InputBox = $.GmInputBox(gmPrompt, gmAnswer)
End Function
)";

std::string WithSupport(std::string_view source, std::string_view support) {
  std::string result;
  for (const char c : source) {
    if (c == '$') {
      result += support;
    } else {
      result += c;
    }
  }
  return result;
}

// A change of the text [begin, end) of a module's source.
struct Edit {
  std::size_t begin = 0;
  std::size_t end = 0;
  std::string replacement;
};

bool IsSymbol(std::string_view source, const BasicToken& token, char symbol) {
  return token.kind == BasicTokenKind::Symbol && source[token.begin] == symbol;
}

bool IsWord(std::string_view source, const BasicToken& token, std::string_view word) {
  return token.kind == BasicTokenKind::Word && text::EqualsNoCase(TokenText(source, token), word);
}

// The statements of `tokens`, [first, last) each, comments left out: split
// at line ends, at colons and at the Then and Else of a one-line If, outside
// parentheses. A continued line goes on with its statement.
std::vector<std::pair<std::size_t, std::size_t>> Statements(std::string_view source,
                                                            const std::vector<BasicToken>& tokens) {
  std::vector<std::pair<std::size_t, std::size_t>> statements;
  std::size_t first = 0;
  int depth = 0;
  const auto split = [&](std::size_t at, std::size_t next) {
    statements.emplace_back(first, at);
    first = next;
    depth = 0;
  };
  for (std::size_t i = 0; i < tokens.size(); ++i) {
    const BasicToken& token = tokens[i];
    if (token.kind == BasicTokenKind::LineEnd || token.kind == BasicTokenKind::Comment) {
      split(i, i + 1);
    } else if (IsSymbol(source, token, '(')) {
      ++depth;
    } else if (IsSymbol(source, token, ')')) {
      if (depth > 0) --depth;
    } else if (depth == 0 && ((IsSymbol(source, token, ':') &&
                               !(i + 1 < tokens.size() && IsSymbol(source, tokens[i + 1], '='))) ||
                              IsWord(source, token, "then") || IsWord(source, token, "else"))) {
      split(i, i + 1);
    }
  }
  statements.emplace_back(first, tokens.size());
  return statements;
}

// An assignment to the Formula or FormulaLocal of a range,
// "Range(\"A2:C7\").Formula = ...", as a call of the support module's
// GmSetFormula: the text up to the "=" and what replaces it.
std::optional<Edit> FormulaAssignment(std::string_view source,
                                      const std::vector<BasicToken>& tokens, std::size_t first,
                                      std::size_t last, std::string_view support) {
  std::size_t at = first;
  while (at < last && tokens[at].kind == BasicTokenKind::Space)
    ++at;
  const std::size_t targetFirst = at;
  // The assigned object: no space or "=" outside parentheses.
  int depth = 0;
  for (; at < last; ++at) {
    const BasicToken& token = tokens[at];
    if (IsSymbol(source, token, '(')) {
      ++depth;
    } else if (IsSymbol(source, token, ')')) {
      if (depth-- == 0) return std::nullopt;
    } else if (depth == 0 &&
               (token.kind == BasicTokenKind::Space || IsSymbol(source, token, '='))) {
      break;
    }
  }
  const std::size_t targetLast = at;
  while (at < last && tokens[at].kind == BasicTokenKind::Space)
    ++at;
  if (depth != 0 || at >= last || !IsSymbol(source, tokens[at], '=')) return std::nullopt;
  if (targetLast - targetFirst < 2 || !IsSymbol(source, tokens[targetLast - 2], '.'))
    return std::nullopt;
  const BasicToken& property = tokens[targetLast - 1];
  const char* kind = IsWord(source, property, "formulalocal") ? "1"
                     : IsWord(source, property, "formula")    ? "0"
                                                              : nullptr;
  if (kind == nullptr) return std::nullopt;
  const std::size_t begin = tokens[targetFirst].begin;
  // ".Formula = ..." in a With block: the block's range.
  std::string object(source.substr(begin, tokens[targetLast - 2].begin - begin));
  if (object.empty()) object = ".Cells";
  return Edit{begin, tokens[at].end,
              std::string(support) + ".GmSetFormula " + object + ", " + kind + ","};
}

// Calls of the members of Application the office lacks, as calls of the
// support module's stand-in.
std::vector<Edit> CalculationCalls(std::string_view source, const std::vector<BasicToken>& tokens,
                                   std::string_view support) {
  std::vector<Edit> edits;
  for (std::size_t i = 0; i + 2 < tokens.size(); ++i) {
    if (!IsWord(source, tokens[i], "application") || !IsSymbol(source, tokens[i + 1], '.'))
      continue;
    if (IsWord(source, tokens[i + 2], "calculatefull") ||
        IsWord(source, tokens[i + 2], "calculatefullrebuild"))
      edits.push_back(
          Edit{tokens[i].begin, tokens[i + 2].end, std::string(support) + ".GmCalculateFull"});
  }
  return edits;
}

// ThisWorkbook.Save as a store of the macro's own document: the office's
// Save is its Save command, queued to run after the macro has returned, by
// when the driver has looked for the macro's stores; so the driver's Basic
// went into the file with it.
std::vector<Edit> SaveCalls(std::string_view source, const std::vector<BasicToken>& tokens,
                            std::string_view support) {
  std::vector<Edit> edits;
  for (std::size_t i = 0; i + 2 < tokens.size(); ++i) {
    if (!IsWord(source, tokens[i], "thisworkbook") || !IsSymbol(source, tokens[i + 1], '.') ||
        !IsWord(source, tokens[i + 2], "save"))
      continue;
    if (i > 0 && IsSymbol(source, tokens[i - 1], '.')) continue;  // a member named so
    edits.push_back(
        Edit{tokens[i].begin, tokens[i + 2].end, std::string(support) + ".GmSaveThisWorkbook"});
  }
  return edits;
}

// Every rewrite of `source`, in order, none overlapping another.
std::vector<Edit> Rewrites(std::string_view source, std::string_view support) {
  const std::vector<BasicToken> tokens = TokenizeBasic(source);
  std::vector<Edit> edits = CalculationCalls(source, tokens, support);
  for (Edit& edit : SaveCalls(source, tokens, support))
    edits.push_back(std::move(edit));
  for (const auto& [first, last] : Statements(source, tokens)) {
    if (std::optional<Edit> edit = FormulaAssignment(source, tokens, first, last, support))
      edits.push_back(std::move(*edit));
  }
  std::sort(edits.begin(), edits.end(),
            [](const Edit& a, const Edit& b) { return a.begin < b.begin; });
  return edits;
}

// Whether a module defines its own procedure `name`.
bool Defines(std::string_view source, std::string_view name) {
  const std::vector<BasicProcedure> procedures = FindBasicProcedures(source);
  return std::any_of(procedures.begin(), procedures.end(), [&](const BasicProcedure& procedure) {
    return text::EqualsNoCase(procedure.name, name);
  });
}

}  // namespace

namespace {

// `source` without the lines the office's VBA import puts first when it
// reads a module back from an .xlsm.
std::string_view WithoutImportLines(std::string_view source) {
  for (const std::string_view added : {"Rem Attribute VBA_ModuleType=", "Option VBASupport "}) {
    if (source.substr(0, added.size()) != added) continue;
    const std::size_t end = source.find('\n');
    source.remove_prefix(end == std::string_view::npos ? source.size() : end + 1);
  }
  return source;
}

}  // namespace

bool IsGeneratedModule(std::string_view source) {
  source = WithoutImportLines(source);
  return source.substr(0, kGeneratedMarker.size()) == kGeneratedMarker &&
         (source.size() == kGeneratedMarker.size() || source[kGeneratedMarker.size()] == '\n');
}

bool IsLeftoverModule(std::string_view name, std::string_view source) {
  if (IsGeneratedModule(source)) return true;
  source = WithoutImportLines(source);
  const auto startsWith = [&](std::string_view start) {
    return source.substr(0, start.size()) == start;
  };
  if (name == kSupportModule)
    return startsWith("Option Explicit\n\nPublic GmDialogs As String\n\nFunction GmMessageBox(");
  const bool numbered =
      name.size() > kWrapperModule.size() &&
      name.substr(0, kWrapperModule.size()) == kWrapperModule &&
      name.find_first_not_of("0123456789", kWrapperModule.size()) == std::string_view::npos;
  return numbered && startsWith("Option Explicit\n\nFunction " + std::string(name) + "(") &&
         source.find("GridmoorSupport.GmDialogs") != std::string_view::npos;
}

std::string FreeModuleName(std::string_view base,
                           const std::function<bool(std::string_view)>& taken) {
  std::string name(base);
  for (std::size_t n = 2; taken(name); ++n)
    name = std::string(base) + "_" + std::to_string(n);
  return name;
}

std::string WrapperModuleSource(const WrappedCall& call) {
  std::string source = std::string(kGeneratedMarker) + "\nOption Explicit\n";
  std::string parameters;
  std::string declared;
  for (std::size_t i = 0; i < call.argumentCount; ++i) {
    const std::string name = "a" + std::to_string(i + 1);
    parameters += (i > 0 ? ", " : "") + name;
    declared += (i > 0 ? ", ByVal " : "ByVal ") + name;
  }
  // Basic takes "Module.Function()" in an expression as an index into the
  // result, so a call without arguments has no parentheses.
  const std::string target =
      call.module + "." + call.procedure + (call.argumentCount > 0 ? "(" + parameters + ")" : "");
  if (call.readsWatched) {
    declared += (declared.empty() ? "" : ", ") + std::string("ByVal gmSheets, ByVal gmRanges");
    if (call.writesFirst) declared += ", ByVal gmWrites";
  }
  const bool writes = call.readsWatched && call.writesFirst;
  source += "\nFunction " + call.wrapper + "(" + declared + ")\n";
  source += "  Dim outcome, gmNames, gmAddresses, gmWrite\n";
  if (writes) {
    source += "  On Error GoTo Unwritten\n";
    source += "  For Each gmWrite In gmWrites\n";
    source +=
        "    gmSheets.getByName(gmWrite(0)).getCellByPosition(gmWrite(1), "
        "gmWrite(2)).setValue(gmWrite(3))\n";
    source += "  Next\n";
  }
  const std::string dialogs = call.support + ".GmDialogs";
  source += "  " + dialogs + " = \"\"\n";
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
    // As text: the office cannot hand back an array of structs inside the
    // wrapper's array (an empty one ends it).
    source += "  gmAddresses = gmRanges.RangeAddressesAsString\n";
    source += "Unread:\n";
  }
  source +=
      "  " + call.wrapper + " = Array(0, outcome(1), " + dialogs + ", gmNames, gmAddresses)\n";
  source += "  Exit Function\n";
  source += "Failed:\n";
  source += "  " + call.wrapper + " = Array(1, Err, Error$, " + dialogs + ")\n";
  if (writes) {
    source += "  Exit Function\n";
    source += "Unwritten:\n";
    source += "  " + call.wrapper + " = Array(2)\n";
  }
  source += "End Function\n";
  return source;
}

std::string SupportModuleSource() {
  return std::string(kGeneratedMarker) + std::string(kDialogRecorders);
}

std::optional<std::string> PreparedForRun(std::string_view source, std::string_view support) {
  if (source.find(kStandInMarker) != std::string_view::npos) return std::nullopt;
  std::string result;
  std::size_t copied = 0;
  const std::vector<Edit> edits = Rewrites(source, support);
  for (const Edit& edit : edits) {
    result.append(source.substr(copied, edit.begin - copied)).append(edit.replacement);
    copied = edit.end;
  }
  result.append(source.substr(copied));
  const bool messageBox = UsesWord(source, "msgbox") && !Defines(source, "msgbox");
  const bool inputBox = UsesWord(source, "inputbox") && !Defines(source, "inputbox");
  if (edits.empty() && !messageBox && !inputBox) return std::nullopt;
  if (!result.empty() && result.back() != '\n') result += '\n';
  result += "\n";
  result += kStandInMarker;
  result += '\n';
  if (messageBox) result += WithSupport(kMessageBoxStandIn, support);
  if (inputBox) result += WithSupport(kInputBoxStandIn, support);
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

std::vector<std::string> SheetNamesAskedFor(std::string_view source) {
  const std::vector<BasicToken> tokens = TokenizeBasic(source);
  std::vector<std::string> names;
  const auto next = [&](std::size_t at) {
    while (at < tokens.size() && tokens[at].kind == BasicTokenKind::Space)
      ++at;
    return at;
  };
  for (std::size_t i = 0; i < tokens.size(); ++i) {
    if (!IsWord(source, tokens[i], "sheets") && !IsWord(source, tokens[i], "worksheets") &&
        !IsWord(source, tokens[i], "getbyname"))
      continue;
    const std::size_t open = next(i + 1);
    if (open >= tokens.size() || !IsSymbol(source, tokens[open], '(')) continue;
    const std::size_t quoted = next(open + 1);
    if (quoted >= tokens.size() || tokens[quoted].kind != BasicTokenKind::Text) continue;
    const std::string_view text = TokenText(source, tokens[quoted]);
    if (text.size() < 2 || text.back() != '"') continue;
    std::string name;
    for (std::size_t c = 1; c + 1 < text.size(); ++c) {
      name += text[c];
      if (text[c] == '"') ++c;  // a doubled quote is one
    }
    if (std::find(names.begin(), names.end(), name) == names.end()) names.push_back(name);
  }
  return names;
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
