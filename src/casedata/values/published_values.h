// What the host and the driver tell each other about published variables
// and the batch problem files, as plain values. The driver's edge turns
// these into the host's records and back; the operations see only these.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace casedata {

// The answer to a get of a block through the fixed-size record: ask again
// through the record that passes the text by address.
inline constexpr std::int32_t kBlockVariableResult = -100;
// A set text is read up to its terminator; one that runs on past this is
// refused rather than cut, so that no value is silently lost.
inline constexpr std::size_t kMaxPublishedText = std::size_t{64} << 20;

// One published variable as the host lists it.
struct PublishedVariableInfo {
  std::int32_t handle = 0;
  std::string name;
  std::string unit;
};

// A set or a get of one published variable's value.
struct PublishedValueRequest {
  std::int32_t handle = -1;
  bool set = false;
  // The text to set; none when the host passed none. A text longer than
  // kMaxPublishedText holds its first kMaxPublishedText + 1 bytes.
  std::optional<std::string> text;
};

// A variable the host adds: texts it passed none of are missing.
struct NewPublishedVariable {
  bool masking = false;
  std::optional<std::string> worksheet;
  std::optional<std::string> cell;
  std::optional<std::string> name;
};

// A path from a fixed-width field; `complete` is false when the field held
// no terminator (the path as read would name another file) or could not be
// read.
struct BatchPath {
  std::string path;
  bool complete = false;
};

// The files of a batch problem: the problem to read and where the report of
// unbound elements goes.
struct BatchFiles {
  BatchPath input;
  BatchPath report;
};

}  // namespace casedata
