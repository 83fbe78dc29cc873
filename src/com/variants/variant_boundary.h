// VARIANTs as a caller of the worksheet functions passes them: checked and
// copied into the library's own com::Variant on the way in, handed over on
// the way out. Nothing behind the boundary sees the caller's VARIANT.
#pragma once

#include <string>

#include "com/variants/variant.h"

namespace com {

// Empty when the library takes `value`: VT_EMPTY, VT_I4, VT_INT, VT_R8,
// VT_BOOL, VT_BSTR (a null BSTR is the empty text), VT_ERROR, VT_DATE, or a
// two-dimensional VT_ARRAY|VT_VARIANT of those. Otherwise the reason, for
// the caller's message.
std::string CheckHostVariant(const VARIANT* value);

// A deep copy of a value CheckHostVariant accepts, null BSTRs made empty
// texts. Throws com::Error: DISP_E_BADVARTYPE for a value it refuses,
// E_OUTOFMEMORY.
Variant ImportHostVariant(const VARIANT& value);

// Clears *out and moves `value` into it. False, with *out cleared and
// `value` kept, when CheckHostVariant refuses `value` or `out` is null.
bool ExportHostVariant(Variant& value, VARIANT* out) noexcept;

}  // namespace com
