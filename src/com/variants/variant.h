// com::Variant: an owning VARIANT. It is a VARIANT (a pointer to one passes
// wherever a VARIANT* is expected); copying copies deeply, moving steals, and
// destruction clears.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>
#include <string_view>

#include "com/oleauto_types.h"
#include "com/variants/bstr.h"

namespace com {

class Variant : public VARIANT {
 public:
  Variant() noexcept;  // VT_EMPTY
  // A deep copy of `value`; throws com::Error when it cannot be made.
  explicit Variant(const VARIANT& value);

  static Variant Int4(std::int32_t value);     // VT_I4
  static Variant Int(std::int32_t value);      // VT_INT
  static Variant Double(double value);         // VT_R8
  static Variant Bool(bool value);             // VT_BOOL: VARIANT_TRUE (-1) or VARIANT_FALSE (0)
  static Variant Text(std::string_view utf8);  // VT_BSTR
  static Variant Text(std::u16string_view utf16);  // VT_BSTR
  static Variant FromBstr(Bstr text);              // VT_BSTR, taking the text's BSTR
  static Variant ErrorValue(SCODE code);           // VT_ERROR
  // The optional-argument marker: VT_ERROR holding DISP_E_PARAMNOTFOUND.
  static Variant Missing();
  static Variant Date(DATE value);  // VT_DATE
  static Variant Null();            // VT_NULL
  // VT_ARRAY|VT_VARIANT owning `array` (created with GmSafeArrayCreate).
  static Variant Array(SAFEARRAY* array) noexcept;
  // Takes over what `raw` holds and leaves `raw` VT_EMPTY.
  static Variant Attach(VARIANT& raw) noexcept;

  Variant(const Variant& other);
  Variant& operator=(const Variant& other);
  Variant(Variant&& other) noexcept;
  Variant& operator=(Variant&& other) noexcept;
  ~Variant();

  VARTYPE Type() const noexcept { return vt; }
  bool IsEmpty() const noexcept { return vt == VT_EMPTY; }
  bool IsMissing() const noexcept;

  void Clear() noexcept;
  // Clears and returns this as the out-parameter of a call that fills a
  // VARIANT without clearing it first.
  VARIANT* Out() noexcept;
  // Hands what this holds to the caller, who must clear it; leaves VT_EMPTY.
  VARIANT Detach() noexcept;
};

static_assert(sizeof(Variant) == sizeof(VARIANT));

// Same type and same value; texts compare by content (a null BSTR equals the
// empty text), arrays by bounds and elements.
bool VariantsEqual(const VARIANT& a, const VARIANT& b);
inline bool operator==(const Variant& a, const Variant& b) {
  return VariantsEqual(a, b);
}

// "VT_I4", "VT_ARRAY|VT_VARIANT", "VT_BYREF|VT_R8", or "VT 0x..." otherwise.
std::string VarTypeName(VARTYPE vt);
// The type and value for diagnostics: VT_I4 42, VT_BSTR "text", ...
std::string Describe(const VARIANT& value);
void PrintTo(const Variant& value, std::ostream* out);

}  // namespace com
