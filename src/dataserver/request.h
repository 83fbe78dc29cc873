// One data-server tag being served: a dotted path of elements such as
// Excel.Sheet[{Results}].Cell[{B4|B5}].Content, read from left to right.
// Names compare without regard to ASCII case; a key compares exactly.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace dataserver {

class DataServerRequest {
 public:
  enum Mode : std::int32_t { kRead = 0, kWrite = 1, kCommand = 2 };

  // `value` is the written text of a write; a read's result goes there too.
  DataServerRequest(std::string tag, Mode mode, std::string value = {});

  // The name of the element at the position (after any run of "."), up to
  // "(", "." or "[" or the tag's end; the position does not move.
  std::string_view NextName() const;
  // Whether the next element's name is `expected` (less a leading "$", which
  // marks a read-only property). On a match the position moves past the name,
  // leaving any index, argument list or "." in place, and a "$" name sets
  // readOnlySeen. Only an empty `expected` matches at the tag's end.
  bool MatchElement(std::string_view expected);
  // "[digits]" at the position: its value (saturated), and the position moves
  // past "]". Anything else, "[]" included, is no position index and the
  // position stays.
  std::optional<std::size_t> ReadPositionIndex();
  // "[{text}]" at the position gives the text and moves past "}]"; without
  // "[" or "{" the key is the empty text and nothing moves. A key that opens
  // but never closes with "}]" is no key at all (nullopt).
  std::optional<std::string> ReadKeyIndex();

  bool Writing() const { return mode == kWrite; }
  const std::string& Tag() const { return tag_; }

  std::size_t position = 0;
  Mode mode;
  std::int32_t readOnlySeen = 0;
  // The message of a handler that refused the request; it wins over the
  // handled flag.
  std::string error;
  // A write's value text, or a read's result text.
  std::string value;

 private:
  std::size_t NameStart() const;

  std::string tag_;
};

// The element every tag and command starts with.
inline constexpr std::string_view kRootElement = "Excel";

// Written values and printed results, in the C locale whatever the host set.
// atoi: leading blanks, a sign, digits; saturated to 32 bits.
std::int32_t ReadInteger(std::string_view text);
// "%g".
std::string PrintNumber(double value);

}  // namespace dataserver
