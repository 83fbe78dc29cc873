#include "dataserver/request.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <utility>

#include "optimisation/published_ops.h"
#include "text/ascii.h"
#include "text/number.h"

namespace dataserver {

DataServerRequest::DataServerRequest(std::string tag, Mode mode, std::string value)
    : mode(mode), value(std::move(value)), tag_(std::move(tag)) {}

std::size_t DataServerRequest::NameStart() const {
  std::size_t start = std::min(position, tag_.size());
  while (start < tag_.size() && tag_[start] == '.')
    ++start;
  return start;
}

std::string_view DataServerRequest::NextName() const {
  const std::size_t start = NameStart();
  const std::size_t end = tag_.find_first_of("(.[", start);
  return std::string_view(tag_).substr(start, end == std::string::npos ? end : end - start);
}

bool DataServerRequest::MatchElement(std::string_view expected) {
  const bool readOnly = !expected.empty() && expected.front() == '$';
  if (readOnly) expected.remove_prefix(1);
  const std::string_view name = NextName();
  if (!text::EqualsNoCase(name, expected)) return false;
  position = NameStart() + name.size();
  if (readOnly) readOnlySeen = 1;
  return true;
}

std::optional<std::size_t> DataServerRequest::ReadPositionIndex() {
  const std::size_t at = position;
  if (at + 1 >= tag_.size() || tag_[at] != '[' || tag_[at + 1] == '{') return std::nullopt;
  std::size_t n = 0;
  std::size_t i = at + 1;
  for (; i < tag_.size() && tag_[i] != ']'; ++i) {
    if (tag_[i] < '0' || tag_[i] > '9') return std::nullopt;
    // Any index this large is past every list's end; it must not wrap.
    constexpr std::size_t kLimit = std::numeric_limits<std::size_t>::max() / 10;
    n = n < kLimit ? n * 10 + static_cast<std::size_t>(tag_[i] - '0') : kLimit * 10;
  }
  if (i == tag_.size() || i == at + 1) return std::nullopt;
  position = i + 1;
  return n;
}

std::optional<std::string> DataServerRequest::ReadKeyIndex() {
  const std::size_t at = position;
  if (at + 1 >= tag_.size() || tag_[at] != '[' || tag_[at + 1] != '{') return std::string();
  const std::size_t close = tag_.find('}', at + 2);
  if (close == std::string::npos || close + 1 >= tag_.size() || tag_[close + 1] != ']') {
    return std::nullopt;
  }
  position = close + 2;
  return tag_.substr(at + 2, close - at - 2);
}

std::int32_t ReadInteger(std::string_view text) {
  return text::ParseInt32(text);
}

std::string PrintNumber(double value) {
  return optimisation::FormatPublishedValue(value);
}

}  // namespace dataserver
