/*
 * Opt-in: the plain automation names (HRESULT, BSTR, VARIANT, SAFEARRAY,
 * DATE, VT_*, ...) for the prefixed types of gridmoor/oleauto.h, for a host
 * that has no other automation or COM layer and was written against them.
 * They are the same types, not copies: a VARIANT* is a GmVariant*.
 *
 * These names live in the global namespace (VT_* and FADF_VARIANT as enum
 * constants, VARIANT_TRUE and VARIANT_FALSE as macros) and clash with any
 * other header defining them; include this header only where none is.
 */
#ifndef GRIDMOOR_OLEAUTO_COMPAT_H
#define GRIDMOOR_OLEAUTO_COMPAT_H

#include "gridmoor/oleauto.h"

GM_EXTERN_C_BEGIN

typedef GmHresult HRESULT;
typedef GmScode SCODE;
typedef GmOlechar OLECHAR;
typedef GmBstr BSTR;
typedef GmVartype VARTYPE;
typedef GmVariantBool VARIANT_BOOL;
typedef GmDate DATE;
typedef GmSafeArrayBound SAFEARRAYBOUND;
typedef GmSafeArray SAFEARRAY;
typedef GmVariant VARIANT;

#define VARIANT_TRUE GM_VARIANT_TRUE
#define VARIANT_FALSE GM_VARIANT_FALSE

enum {
  FADF_VARIANT = GM_FADF_VARIANT,
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

GM_EXTERN_C_END

#endif
