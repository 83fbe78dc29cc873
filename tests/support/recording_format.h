// How recorded calls write their arguments (see recording_application.h).
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "com/variant.h"

namespace test_support {

// One VARIANT:
//   Missing                      the optional-argument marker
//   VT_EMPTY, VT_NULL
//   VT_I4 3, VT_INT 2, VT_I2 -1  integers in decimal (also VT_I1 ... VT_UI8)
//   VT_R8 1.5, VT_DATE 45000.25  the shortest text that reads back the same
//                                double (1e+20, -0, inf, nan); VT_R4 likewise
//   VT_BOOL true, VT_BOOL false  VARIANT_TRUE and VARIANT_FALSE; any other
//                                value as a number: VT_BOOL 1
//   VT_ERROR 0x800A07FA          other VT_ERROR codes, 8 upper-case hex digits
//   VT_BSTR "text"               QuoteText of the UTF-8 text
//   VT_ARRAY|VT_VARIANT(1..2, 1..3) {{VT_R8 1, VT_EMPTY, ...}, {...}}
//                                bounds leftmost dimension first, then the
//                                elements, rows first; one dimension: {a, b}
//   VT_BYREF|VT_VARIANT -> VT_I4 3   what it points to
//   anything else: its type name (com::VarTypeName)
std::string FormatValue(const VARIANT& value);

// The values joined by ", ", each run of two or more Missing written as
// "N x Missing": {VT_I4 3, Missing x 29} gives "VT_I4 3, 29 x Missing".
std::string FormatValueList(std::span<const com::Variant> values);

// VARIANT_TRUE, VARIANT_FALSE, or the number.
std::string FormatVariantBool(VARIANT_BOOL value);

// `text` in double quotes; `\` and `"` are escaped as `\\` and `\"`, line
// feed, carriage return and tab as `\n` `\r` `\t`, other control characters
// as `\xHH`. Other UTF-8 passes unchanged.
std::string QuoteText(std::string_view text);

}  // namespace test_support
