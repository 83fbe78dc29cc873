// Basic source the driver places into a workbook's macro libraries for the
// time a macro runs, and reads back: the call wrappers that trap a macro's
// runtime error, and stand-ins for the message and input boxes, which would
// otherwise wait for a person who is not there. Internal to src/excel/calc.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace excel::calc {

// The names the driver's modules start from: the support module, which
// records what the stand-ins were asked and stands in for members of the
// other spreadsheet's Application that the office lacks, and the call
// wrappers (numbered). A library holding a user's module of that name gets
// another (FreeModuleName).
inline constexpr std::string_view kSupportModule = "GridmoorSupport";
inline constexpr std::string_view kWrapperModule = "GridmoorCall";

// `base`, or the first of base_2, base_3... that is not `taken`.
std::string FreeModuleName(std::string_view base,
                           const std::function<bool(std::string_view)>& taken);

// Whether a module's source is one the driver placed: it starts with a
// line that no user writes by accident. A user's module is never taken for
// the driver's by its name.
bool IsGeneratedModule(std::string_view source);
// Whether a module that a file holds is the driver's: generated, or placed
// by an older build, which marked nothing (known by its name and the exact
// start of its source).
bool IsLeftoverModule(std::string_view name, std::string_view source);

// One procedure called through the error-trapping wrapper.
struct WrappedCall {
  std::string wrapper;  // the wrapper's own name, its module's too
  std::string support;  // the name of the library's support module
  std::string module;
  std::string procedure;
  bool isFunction = false;
  std::size_t argumentCount = 0;
  // Whether the wrapper also reads the document's sheets and watched ranges
  // after the call (only a document's wrappers have them to read).
  bool readsWatched = false;
  // Whether a wrapper that readsWatched first writes numbers into cells it
  // is given, before the call.
  bool writesFirst = false;
};

// A wrapper's module: its one function calls the procedure with an error
// handler and returns Array(0, result, dialogs) when it ran, or
// Array(1, Err, Error$, dialogs) when it raised an error, where `dialogs` is
// what the message and input boxes were asked meanwhile (DecodeDialogs reads
// it). A wrapper that `readsWatched` takes two more arguments, the
// document's sheets and a range container (both objects: Basic fails a
// property read of anything else, whatever handler is set), and adds their
// names and addresses (as text) read after the call: Array(0, result, dialogs,
// names, addresses), with Empty for what could not be read. One that also
// `writesFirst` takes a last argument, an array of Array(sheet name, column,
// row, number) (0-based), and writes each before the call; it returns
// Array(2) without calling anything when one of them fails. The arguments
// are taken by value, so that the office sends none of them back.
std::string WrapperModuleSource(const WrappedCall& call);
// The support module.
std::string SupportModuleSource();

// `source` made ready to run as the other spreadsheet would run it; nullopt
// when it needs nothing. Only code is rewritten, never a text, a comment or
// a Rem line. Calls of Application members the office lacks
// (CalculateFull, CalculateFullRebuild) go to the module `support` instead,
// as do
// assignments to a range's Formula or FormulaLocal (the office gives every
// cell of a range the same formula, where each cell's relative references
// should move with it), and
// when the module calls MsgBox or InputBox without defining it itself, a
// stand-in for each such box is appended: a procedure of a module is found before
// the office's own of that name, so the module's calls reach them, and they
// answer at once as a person pressing Enter would (MsgBox: its default
// button; InputBox: its default text) and report what was asked. Every line
// keeps its number.
std::optional<std::string> PreparedForRun(std::string_view source, std::string_view support);
// `source` without what PreparedForRun appended (for reading its
// procedures; the calls it redirected stay redirected).
std::string_view AsBeforePreparing(std::string_view source);

// The sheet names that `source` asks for as texts, in order, each once:
// Sheets("X"), Worksheets("X"), Sheets.getByName("X").
std::vector<std::string> SheetNamesAskedFor(std::string_view source);

// What the stand-ins recorded, one sentence each, in order.
std::vector<std::string> DecodeDialogs(std::string_view recorded);

}  // namespace excel::calc
