// The automation types of gridmoor/oleauto.h under their usual names, inside
// namespace com: the public header prefixes them (GmVariant, GM_VT_BSTR) so
// that a host may include another automation layer next to it, and the
// library's own code reads better with the names every automation reader
// knows. They are the public types themselves, not copies.
#pragma once

#include <cstdint>

#include "gridmoor/oleauto.h"

namespace com {

using HRESULT = ::GmHresult;
using SCODE = ::GmScode;
using OLECHAR = ::GmOlechar;
using BSTR = ::GmBstr;
using VARTYPE = ::GmVartype;
using VARIANT_BOOL = ::GmVariantBool;
using DATE = ::GmDate;
using SAFEARRAYBOUND = ::GmSafeArrayBound;
using SAFEARRAY = ::GmSafeArray;
using VARIANT = ::GmVariant;

inline constexpr VARIANT_BOOL VARIANT_TRUE = GM_VARIANT_TRUE;
inline constexpr VARIANT_BOOL VARIANT_FALSE = GM_VARIANT_FALSE;
inline constexpr std::uint16_t FADF_VARIANT = GM_FADF_VARIANT;

// An unnamed enumeration, as in the public header, so that the constants
// combine (VT_ARRAY | VT_VARIANT) and serve as case labels.
enum : VARTYPE {
  VT_EMPTY = GM_VT_EMPTY,
  VT_NULL = GM_VT_NULL,
  VT_I2 = GM_VT_I2,
  VT_I4 = GM_VT_I4,
  VT_R4 = GM_VT_R4,
  VT_R8 = GM_VT_R8,
  VT_DATE = GM_VT_DATE,
  VT_BSTR = GM_VT_BSTR,
  VT_ERROR = GM_VT_ERROR,
  VT_BOOL = GM_VT_BOOL,
  VT_VARIANT = GM_VT_VARIANT,
  VT_I1 = GM_VT_I1,
  VT_UI1 = GM_VT_UI1,
  VT_UI2 = GM_VT_UI2,
  VT_UI4 = GM_VT_UI4,
  VT_I8 = GM_VT_I8,
  VT_UI8 = GM_VT_UI8,
  VT_INT = GM_VT_INT,
  VT_UINT = GM_VT_UINT,
  VT_ARRAY = GM_VT_ARRAY,
  VT_BYREF = GM_VT_BYREF
};

}  // namespace com
