#include "dataserver/commands.h"

#include <algorithm>
#include <limits>

#include "automation/cell_address.h"
#include "text/number.h"
#include "text/utf8.h"

namespace dataserver {
namespace {

bool IsNumeric(char c) {
  return (c >= '0' && c <= '9') || c == '+' || c == '-';
}

CExtDataServerCmdArgument MakeArgument(std::string_view text,
                                       CExtDataServerCmdArgument::Type type) {
  CExtDataServerCmdArgument argument;
  argument.type = type;
  text::CopyTerminated(text, argument.text, sizeof argument.text);
  if (type == CExtDataServerCmdArgument::kQuoted) {
    argument.number = automation::kUndefinedValue;
  } else {
    argument.integerValue = ReadInteger(argument.text);
    argument.number = text::ParseDouble(argument.text);
  }
  return argument;
}

}  // namespace

int ParseCommand(DataServerRequest& request, std::string_view name,
                 CExtDataServerCmdArgumentCollection& arguments, std::size_t minCount,
                 std::size_t maxCount) {
  arguments.clear();
  if (!request.MatchElement(name)) return -1;
  const std::string& tag = request.Tag();
  const std::size_t open = tag.find('(', request.position);
  if (open == std::string::npos) {
    request.position = tag.size();
    if (minCount < 1) return 0;
    request.error = kBadArgumentMessage;
    return 1;
  }

  constexpr std::size_t kNone = std::string::npos;
  std::size_t start = kNone;  // of the argument being read
  bool numeric = true;
  char closing = 0;  // of the open quote, if any
  std::size_t i = open + 1;
  for (; i < tag.size(); ++i) {
    const char c = tag[i];
    if (closing != 0) {
      if (c != closing) continue;
      // A doubled closing character that does not directly follow the
      // opening one stays in the text.
      const bool doubled =
          (tag[i - 1] == c && i - 1 >= start) || (i + 1 < tag.size() && tag[i + 1] == c);
      if (doubled && i != start) continue;
      const std::string_view text = std::string_view(tag).substr(start, i - start);
      arguments.push_back(MakeArgument(text, CExtDataServerCmdArgument::kQuoted));
      closing = 0;
      start = kNone;
      numeric = true;
      continue;
    }
    if (c == ' ' || c == '\t') continue;
    if ((c == '"' || c == '\'' || c == '{') && start == kNone) {
      closing = c == '{' ? '}' : c;
      start = i + 1;
      continue;
    }
    if (c == '(' || c == ')' || c == ',') {
      if (start != kNone) {
        const std::string_view text = std::string_view(tag).substr(start, i - start);
        const auto type = numeric ? CExtDataServerCmdArgument::kInteger
                          : IsNumeric(text.front()) || text.front() == '.'
                              ? CExtDataServerCmdArgument::kReal
                              : CExtDataServerCmdArgument::kWord;
        arguments.push_back(MakeArgument(text, type));
      }
      numeric = true;
      start = kNone;
      if (c == ')') break;
      continue;
    }
    if (start == kNone) {
      start = i;
      numeric = true;
    }
    numeric = numeric && IsNumeric(c);
  }
  if (i >= tag.size()) {
    request.error = kSyntaxErrorMessage;
    return 1;
  }
  request.position = i;
  if (arguments.size() < minCount || arguments.size() > maxCount) {
    request.error = kBadArgumentCountMessage;
    return 1;
  }
  return 0;
}

}  // namespace dataserver
