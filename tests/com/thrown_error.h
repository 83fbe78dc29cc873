#pragma once

#include "com/error.h"

namespace com_test {

// The code of the com::Error `call` throws, or S_OK when it returns.
template <class Call>
HRESULT ThrownCode(Call&& call) {
  try {
    call();
  } catch (const com::Error& error) {
    return error.hr();
  }
  return com::S_OK;
}

}  // namespace com_test
