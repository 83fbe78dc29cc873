// Data-server commands: Excel.Name(argument, ...), such as
// Excel.RunMacro('Recalc') or Excel.SaveFile(), with their argument parser.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "dataserver/request.h"

namespace dataserver {

// One parsed argument, a fixed 272-byte record.
struct CExtDataServerCmdArgument {
  enum Type : std::int32_t { kWord = 0, kQuoted = 1, kReal = 2, kInteger = 3 };
  static constexpr std::size_t kTextSize = 256;  // at most 255 bytes and the NUL

  std::int32_t type = kWord;
  std::int32_t integerValue = 0;  // atol of the text; 0 for quoted text
  char text[kTextSize] = {};
  double number = 0.0;  // atof of the text; the undefined value for quoted text
};
static_assert(sizeof(CExtDataServerCmdArgument) == 272);
static_assert(offsetof(CExtDataServerCmdArgument, integerValue) == 4);
static_assert(offsetof(CExtDataServerCmdArgument, text) == 8);
static_assert(offsetof(CExtDataServerCmdArgument, number) == 264);

// The arguments in the order they appear.
using CExtDataServerCmdArgumentCollection = std::vector<CExtDataServerCmdArgument>;

inline constexpr char kBadArgumentMessage[] = "Bad argument";
inline constexpr char kSyntaxErrorMessage[] = "Syntax error";
inline constexpr char kBadArgumentCountMessage[] = "Bad number of arguments";

// Parses the command `name` at the request's position into `arguments`
// (cleared first): -1 when the next element is not `name`, 0 when parsed
// with minCount to maxCount arguments, 1 with request.error set otherwise.
// Blanks before an argument are skipped, blanks inside it stay; a quote
// ('...', "..." or {...}) opens only at an argument's start, and a doubled
// closing character inside it stays, both characters kept. An empty list
// or an empty place between commas gives no argument. Without a "(" the
// command has no arguments.
int ParseCommand(DataServerRequest& request, std::string_view name,
                 CExtDataServerCmdArgumentCollection& arguments, std::size_t minCount,
                 std::size_t maxCount);

}  // namespace dataserver
