// The COM failure exception: automation failures travel inside the driver as
// a com::Error holding the HRESULT, and become message text where they are
// reported.
#pragma once

#include <stdexcept>
#include <string>

#include "com/hresult.h"

namespace com {

// what() is the message text. Built on std::runtime_error so that copying
// the exception never throws.
class Error : public std::runtime_error {
 public:
  explicit Error(HRESULT hr);

  // The code. (A getter named Error() is not possible: a member function may
  // not share its class's name.)
  HRESULT hr() const noexcept { return hr_; }
  // ComErrorText of the code.
  std::string ErrorMessage() const { return what(); }

 private:
  HRESULT hr_;
};

// Throws com::Error(hr), whatever hr is.
[[noreturn]] void Throw(HRESULT hr);

// Throws com::Error(hr) when hr is a failure; returns hr otherwise (S_FALSE
// is a success).
HRESULT ThrowIfFailed(HRESULT hr);

}  // namespace com
