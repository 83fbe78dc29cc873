#pragma once

#include <gtest/gtest.h>

#include "com/error.h"

namespace com_test {

// The code of the com::Error `call` throws, or S_OK when it returns.
template <class Call>
com::HRESULT FailureOf(Call&& call) {
  try {
    call();
  } catch (const com::Error& error) {
    return error.hr();
  }
  return com::S_OK;
}

// The com::Error `call` throws; a test failure when it throws none.
template <class Call>
com::Error ErrorOf(Call&& call) {
  try {
    call();
  } catch (const com::Error& error) {
    return error;
  }
  ADD_FAILURE() << "no failure";
  return com::Error(com::S_OK);
}

}  // namespace com_test
