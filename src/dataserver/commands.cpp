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

// Reads the arguments of a tag's list character by character: quoted texts
// ("...", '...', {...}) and bare words and numbers between the separators.
class ArgumentScanner {
 public:
  ArgumentScanner(const std::string& tag, CExtDataServerCmdArgumentCollection& arguments)
      : tag_(tag), arguments_(arguments) {}

  // Where the list's closing ')' is, or the tag's size when it has none.
  std::size_t Scan(std::size_t from) {
    std::size_t i = from;
    for (; i < tag_.size(); ++i) {
      if (closing_ != 0) {
        ReadQuoted(i);
      } else if (!ReadUnquoted(i)) {
        break;
      }
    }
    return i;
  }

 private:
  static constexpr std::size_t kNone = std::string::npos;

  void ReadQuoted(std::size_t i) {
    const char c = tag_[i];
    if (c != closing_) return;
    // A doubled closing character that does not directly follow the
    // opening one stays in the text.
    const bool doubled =
        (tag_[i - 1] == c && i - 1 >= start_) || (i + 1 < tag_.size() && tag_[i + 1] == c);
    if (doubled && i != start_) return;
    const std::string_view text = std::string_view(tag_).substr(start_, i - start_);
    arguments_.push_back(MakeArgument(text, CExtDataServerCmdArgument::kQuoted));
    closing_ = 0;
    start_ = kNone;
    numeric_ = true;
  }

  // False at the list's closing ')'.
  bool ReadUnquoted(std::size_t i) {
    const char c = tag_[i];
    if (c == ' ' || c == '\t') return true;
    if ((c == '"' || c == '\'' || c == '{') && start_ == kNone) {
      closing_ = c == '{' ? '}' : c;
      start_ = i + 1;
      return true;
    }
    if (c == '(' || c == ')' || c == ',') {
      if (start_ != kNone) EndBareArgument(i);
      numeric_ = true;
      start_ = kNone;
      return c != ')';
    }
    if (start_ == kNone) {
      start_ = i;
      numeric_ = true;
    }
    numeric_ = numeric_ && IsNumeric(c);
    return true;
  }

  void EndBareArgument(std::size_t end) {
    const std::string_view text = std::string_view(tag_).substr(start_, end - start_);
    const auto type = numeric_ ? CExtDataServerCmdArgument::kInteger
                      : IsNumeric(text.front()) || text.front() == '.'
                          ? CExtDataServerCmdArgument::kReal
                          : CExtDataServerCmdArgument::kWord;
    arguments_.push_back(MakeArgument(text, type));
  }

  const std::string& tag_;
  CExtDataServerCmdArgumentCollection& arguments_;
  std::size_t start_ = kNone;  // of the argument being read
  bool numeric_ = true;
  char closing_ = 0;  // of the open quote, if any
};

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
  const std::size_t i = ArgumentScanner(tag, arguments).Scan(open + 1);
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
