// Failure as a value, for the operations below the driver's edge: an Error
// carries the text the host will see and the result code it gets; an
// Expected<T> holds a T or the Error that stopped it; a Partial<T> holds
// what was filled before an Error (the host sees those bytes today, so they
// must reach its record). Only the edge turns an Error into a host status.
//
// In builds with assertions (NDEBUG not defined) an Error must be looked at
// before it goes: testing it, reading its message or result, moving it on or
// Consume() marks it checked, and destroying one that was not aborts with
// its message, so a dropped failure shows on the first run that passes by
// it. Success counts too: the code that drops one would drop a failure.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <utility>

namespace outcome {

// The host's result codes, as the operations give them.
inline constexpr std::int32_t kOk = 0;
inline constexpr std::int32_t kFailed = 1;
inline constexpr std::int32_t kNone = -1;

namespace detail {
// Stops the process for a misuse of an Error or Expected (assertion builds).
[[noreturn]] inline void Misuse(const char* what, const std::string& message) {
  std::fprintf(stderr, "outcome: %s%s%s\n", what, message.empty() ? "" : ": ", message.c_str());
  std::fflush(stderr);
  std::abort();
}
}  // namespace detail

class [[nodiscard]] Error {
 public:
  // No failure, as an operation's result: to be looked at like a failure.
  static Error Success() {
    Error error;
    error.checked_ = false;
    return error;
  }
  // A failure with its message (written into the host's status text) and
  // the result the host gets: kFailed, or kNone for "nothing to give".
  static Error Failed(std::string message, std::int32_t result = kFailed) {
    Error error;
    error.message_ = std::move(message);
    error.result_ = result == kOk ? kFailed : result;
    error.checked_ = false;
    return error;
  }

  // An empty slot for a result to come (a member, a variable assigned on
  // each path): a success with nothing to look at.
  Error() = default;
  // A copy starts as looked at as its original; moving hands the duty to
  // look on and leaves an empty, checked Error behind.
  Error(const Error& other) = default;
  Error(Error&& other) noexcept
      : message_(std::move(other.message_)), result_(other.result_), checked_(other.checked_) {
    other.Clear();
  }
  Error& operator=(const Error& other) {
    if (this != &other) *this = Error(other);
    return *this;
  }
  // Overwriting an Error that was not looked at drops it.
  Error& operator=(Error&& other) noexcept {
    if (this == &other) return *this;
    AssertChecked();
    message_ = std::move(other.message_);
    result_ = other.result_;
    checked_ = other.checked_;
    other.Clear();
    return *this;
  }
  ~Error() { AssertChecked(); }

  // True when this is a failure.
  explicit operator bool() const noexcept {
    checked_ = true;
    return result_ != kOk;
  }
  // The message; empty for success.
  const std::string& Message() const noexcept {
    checked_ = true;
    return message_;
  }
  // kOk for success.
  std::int32_t Result() const noexcept {
    checked_ = true;
    return result_;
  }
  // Drops this Error on purpose: for a failure that changes nothing (a
  // clean-up after an earlier failure, a best-effort step). Say why there.
  void Consume() const noexcept { checked_ = true; }

 private:
  template <typename T>
  friend class Expected;

  void Clear() noexcept {
    message_.clear();
    result_ = kOk;
    checked_ = true;
  }
  void AssertChecked() const noexcept {
#ifndef NDEBUG
    if (!checked_) {
      detail::Misuse(
          result_ == kOk ? "an unchecked success was dropped" : "an unchecked failure was dropped",
          message_);
    }
#endif
  }

  std::string message_;
  std::int32_t result_ = kOk;
  mutable bool checked_ = true;
};

// A T, or the Error that kept it from being made. Never holds a success
// Error: building one from a success asserts (and, without assertions,
// stands for a failure). Reaching for the value of one that holds an Error
// asserts. One that holds an Error must be looked at like an Error; one
// that holds a value need not be. (Plain members rather than a variant: GCC
// 12 warns of uninitialised reads inside a variant of a string-holding type
// where there are none.)
template <typename T>
class [[nodiscard]] Expected {
 public:
  Expected(T value) : value_(std::move(value)) {}
  Expected(Error error) : error_(std::move(error)) {
    if (error_.result_ == kOk) {
#ifndef NDEBUG
      detail::Misuse("an Expected was built from a success", "");
#endif
      error_.Consume();
      error_ = Error::Failed("no value and no reason");
    }
    error_.checked_ = false;  // a new result: whoever gets it must look
  }

  explicit operator bool() const noexcept {
    error_.Consume();
    return value_.has_value();
  }
  T& operator*() & {
    return Value();
  }
  const T& operator*() const& {
    return Value();
  }
  T&& operator*() && {
    return std::move(Value());
  }
  T* operator->() {
    return &Value();
  }
  const T* operator->() const {
    return &Value();
  }
  // The failure; Success when a value is held.
  Error TakeError() {
    return std::move(error_);
  }
  const Error& GetError() const noexcept {
    return error_;
  }
  // Drops the failure, if any, on purpose (see Error::Consume).
  void Consume() const noexcept {
    error_.Consume();
  }

 private:
  T& Value() const {
#ifndef NDEBUG
    if (!value_) detail::Misuse("the value of an Expected that holds an error", error_.Message());
#endif
    return const_cast<T&>(*value_);
  }

  std::optional<T> value_;
  Error error_;
};

// What an operation filled, whether or not it then failed: a failed read
// may still give the host a value (an undefined marker, the fields done so
// far).
template <typename T>
struct [[nodiscard]] Partial {
  T value{};
  Error error;
};

}  // namespace outcome
