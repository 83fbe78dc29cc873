// The COM failure exception: automation failures travel inside the driver as
// a com::Error holding the HRESULT, and become message text where they are
// reported.
#pragma once

#include <stdexcept>
#include <string>

#include "com/hresult.h"
#include "outcome/outcome.h"

namespace com {

// what() is the message text: the description the application gave with
// the failure (its own reason, such as an input/output error naming the
// file) when it gave one, else ComErrorText of the code. Built on
// std::runtime_error so that copying the exception never throws.
class Error : public std::runtime_error {
 public:
  explicit Error(HRESULT hr);
  Error(HRESULT hr, const std::string& description);

  // The code. (A getter named Error() is not possible: a member function may
  // not share its class's name.)
  HRESULT hr() const noexcept { return hr_; }
  // The description, else ComErrorText of the code.
  std::string ErrorMessage() const { return what(); }
  bool HasDescription() const noexcept { return hasDescription_; }

 private:
  HRESULT hr_;
  bool hasDescription_ = false;
};

// The failure a com::Error(hr, description) stands for, as a value: its
// message is the exception's what(). For code that fails without throwing.
outcome::Error Failure(HRESULT hr, const std::string& description = {});

// Throws com::Error(hr), whatever hr is.
[[noreturn]] void Throw(HRESULT hr);
// The same with the application's own reason; an empty or all-blank one
// counts as none.
[[noreturn]] void Throw(HRESULT hr, const std::string& description);

// Throws com::Error(hr) when hr is a failure; returns hr otherwise (S_FALSE
// is a success).
HRESULT ThrowIfFailed(HRESULT hr);

}  // namespace com
