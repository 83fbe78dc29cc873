// Small steps the com tests share: the error a call throws, and raw VARIANTs.
#pragma once

#include <gtest/gtest.h>

#include "com/error.h"
#include "com/variants/variant.h"

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

// A raw VARIANT of type `vt`, with `set` setting one member.
template <class Set>
com::VARIANT Raw(unsigned vt, Set&& set) {
  com::VARIANT value;
  GmVariantInit(&value);
  value.vt = static_cast<com::VARTYPE>(vt);
  set(value);
  return value;
}
inline com::VARIANT Raw(unsigned vt) {
  return Raw(vt, [](com::VARIANT&) {});
}

}  // namespace com_test
