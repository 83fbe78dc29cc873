// Failure as a value, for the operations below the driver's edge: an Error
// carries the text the host will see and the result code it gets; an
// Expected<T> holds a T or the Error that stopped it; a Partial<T> holds
// what was filled before an Error (the host sees those bytes today, so they
// must reach its record). Only the edge turns an Error into a host status.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>

namespace outcome {

// The host's result codes, as the operations give them.
inline constexpr std::int32_t kOk = 0;
inline constexpr std::int32_t kFailed = 1;
inline constexpr std::int32_t kNone = -1;

class [[nodiscard]] Error {
 public:
  // No failure.
  static Error Success() { return Error(); }
  // A failure with its message (written into the host's status text) and
  // the result the host gets: kFailed, or kNone for "nothing to give".
  static Error Failed(std::string message, std::int32_t result = kFailed) {
    Error error;
    error.message_ = std::move(message);
    error.result_ = result == kOk ? kFailed : result;
    return error;
  }

  // True when this is a failure.
  explicit operator bool() const noexcept { return result_ != kOk; }
  // The message; empty for success.
  const std::string& Message() const noexcept { return message_; }
  // kOk for success.
  std::int32_t Result() const noexcept { return result_; }

 private:
  std::string message_;
  std::int32_t result_ = kOk;
};

// A T, or the Error that kept it from being made. Never holds a success
// Error. (Plain members rather than a variant: GCC 12 warns of uninitialised
// reads inside a variant of a string-holding type where there are none.)
template <typename T>
class [[nodiscard]] Expected {
 public:
  Expected(T value) : value_(std::move(value)) {}
  Expected(Error error) : error_(std::move(error)) {
    if (!error_) error_ = Error::Failed("no value and no reason");
  }

  explicit operator bool() const noexcept { return value_.has_value(); }
  T& operator*() & { return *value_; }
  const T& operator*() const& { return *value_; }
  T&& operator*() && { return *std::move(value_); }
  T* operator->() { return &*value_; }
  const T* operator->() const { return &*value_; }
  // The failure; Success when a value is held.
  Error TakeError() { return std::move(error_); }
  const Error& GetError() const noexcept { return error_; }

 private:
  std::optional<T> value_;
  Error error_;
};

// What an operation filled, whether or not it then failed: a failed read
// may still give the host a value (an undefined marker, the fields done so
// far).
template <typename T>
struct [[nodiscard]] Partial {
  T value{};
  Error error = Error::Success();
};

}  // namespace outcome
