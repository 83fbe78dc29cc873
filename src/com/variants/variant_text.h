// Any value as text, as the system's VARIANT conversion to VT_BSTR gives it
// with no flags in the en-US locale. The result never depends on the
// process's C locale.
//
//   VT_EMPTY                 ""
//   VT_BSTR                  unchanged
//   integers (VT_I1..VT_UI8) decimal
//   VT_R8                    up to 15 significant digits, "%.15G" style:
//                            0.1, 0.333333333333333, 1E+20, 1E-05; -0 is "0";
//                            infinities "INF" / "-INF", NaN "NAN"
//   VT_R4                    the same with 7 significant digits
//   VT_BOOL                  "-1" for true, "0" for false
//   VT_DATE                  DateToText with the default options
//   VT_NULL, VT_ERROR,       DISP_E_TYPEMISMATCH
//   arrays, VT_VARIANT
//   other types              DISP_E_BADVARTYPE
// VT_BYREF values are converted as the value they point to.
#pragma once

#include <string>

#include "com/hresult.h"

namespace com {

// Converts `in` into a VT_BSTR in `out`. `out` must hold a valid VARIANT
// (it is cleared when the conversion succeeds) and may be `in` itself. On
// failure `out` is left as it was.
HRESULT ChangeTypeToBstr(const VARIANT& in, VARIANT* out);

// The text of `value` as UTF-8; throws com::Error on failure.
std::string VariantToText(const VARIANT& value);

// `value` with at most `digits` significant digits in "%.*G" style, with
// -0 as "0".
std::string FormatDouble(double value, int digits = 15);

}  // namespace com
