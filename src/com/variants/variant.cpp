#include "com/variants/variant.h"

#include <charconv>
#include <cstdio>
#include <cstring>
#include <ostream>
#include <utility>

#include "com/error.h"

namespace com {

Variant::Variant() noexcept : VARIANT() {
  GmVariantInit(this);
}

Variant::Variant(const VARIANT& value) : Variant() {
  ThrowIfFailed(GmVariantCopy(this, &value));
}

Variant Variant::Int4(std::int32_t value) {
  Variant v;
  v.vt = VT_I4;
  v.lVal = value;
  return v;
}

Variant Variant::Int(std::int32_t value) {
  Variant v;
  v.vt = VT_INT;
  v.intVal = value;
  return v;
}

Variant Variant::Double(double value) {
  Variant v;
  v.vt = VT_R8;
  v.dblVal = value;
  return v;
}

Variant Variant::Bool(bool value) {
  Variant v;
  v.vt = VT_BOOL;
  v.boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
  return v;
}

Variant Variant::Text(std::string_view utf8) {
  return FromBstr(Bstr::FromUtf8(utf8));
}

Variant Variant::Text(std::u16string_view utf16) {
  return FromBstr(Bstr::FromUtf16(utf16));
}

Variant Variant::FromBstr(Bstr text) {
  Variant v;
  v.vt = VT_BSTR;
  v.bstrVal = text.Detach();
  return v;
}

Variant Variant::ErrorValue(SCODE code) {
  Variant v;
  v.vt = VT_ERROR;
  v.scode = code;
  return v;
}

Variant Variant::Missing() {
  return ErrorValue(DISP_E_PARAMNOTFOUND);
}

Variant Variant::Date(DATE value) {
  Variant v;
  v.vt = VT_DATE;
  v.date = value;
  return v;
}

Variant Variant::Null() {
  Variant v;
  v.vt = VT_NULL;
  return v;
}

Variant Variant::Array(SAFEARRAY* array) noexcept {
  Variant v;
  v.vt = VT_ARRAY | VT_VARIANT;
  v.parray = array;
  return v;
}

Variant Variant::Attach(VARIANT& raw) noexcept {
  Variant v;
  static_cast<VARIANT&>(v) = raw;
  GmVariantInit(&raw);
  return v;
}

Variant::Variant(const Variant& other) : Variant() {
  ThrowIfFailed(GmVariantCopy(this, &other));
}

Variant& Variant::operator=(const Variant& other) {
  if (this != &other) {
    // Copy first, so that a failed copy leaves this unchanged.
    Variant copy(other);
    *this = std::move(copy);
  }
  return *this;
}

Variant::Variant(Variant&& other) noexcept : Variant() {
  static_cast<VARIANT&>(*this) = other;
  GmVariantInit(&other);
}

Variant& Variant::operator=(Variant&& other) noexcept {
  if (this != &other) {
    Clear();
    static_cast<VARIANT&>(*this) = other;
    GmVariantInit(&other);
  }
  return *this;
}

Variant::~Variant() {
  GmVariantClear(this);
}

bool Variant::IsMissing() const noexcept {
  return vt == VT_ERROR && scode == DISP_E_PARAMNOTFOUND;
}

void Variant::Clear() noexcept {
  GmVariantClear(this);
}

VARIANT* Variant::Out() noexcept {
  Clear();
  return this;
}

VARIANT Variant::Detach() noexcept {
  VARIANT raw = *this;
  GmVariantInit(this);
  return raw;
}

namespace {

std::u16string_view BstrView(BSTR text) {
  return {text == nullptr ? u"" : text, GmSysStringLen(text)};
}

bool ArraysEqual(SAFEARRAY* a, SAFEARRAY* b) {
  if (a == b) return true;
  if (a == nullptr || b == nullptr) return false;
  const std::uint32_t dims = GmSafeArrayGetDim(a);
  if (dims != GmSafeArrayGetDim(b)) return false;
  std::size_t count = 1;
  for (std::uint32_t dim = 1; dim <= dims; ++dim) {
    std::int32_t lowA, lowB, highA, highB;
    if (FAILED(GmSafeArrayGetLBound(a, dim, &lowA)) ||
        FAILED(GmSafeArrayGetLBound(b, dim, &lowB)) ||
        FAILED(GmSafeArrayGetUBound(a, dim, &highA)) ||
        FAILED(GmSafeArrayGetUBound(b, dim, &highB)))
      return false;
    if (lowA != lowB || highA != highB) return false;
    count *= static_cast<std::size_t>(std::int64_t{highA} - lowA + 1);
  }
  if (a->cbElements != sizeof(VARIANT) || b->cbElements != sizeof(VARIANT)) return false;
  const auto* elementsA = static_cast<const VARIANT*>(a->pvData);
  const auto* elementsB = static_cast<const VARIANT*>(b->pvData);
  for (std::size_t i = 0; i < count; ++i) {
    if (!VariantsEqual(elementsA[i], elementsB[i])) return false;
  }
  return true;
}

std::string DoubleText(double value) {
  char buffer[32];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, result.ptr);
}

}  // namespace

bool VariantsEqual(const VARIANT& a, const VARIANT& b) {
  if (a.vt != b.vt) return false;
  if ((a.vt & VT_BYREF) != 0) return a.byref == b.byref;
  if ((a.vt & VT_ARRAY) != 0) return ArraysEqual(a.parray, b.parray);
  switch (a.vt) {
    case VT_EMPTY:
    case VT_NULL:
      return true;
    case VT_I1:
    case VT_UI1:
      return a.bVal == b.bVal;
    case VT_I2:
    case VT_UI2:
    case VT_BOOL:
      return a.uiVal == b.uiVal;
    case VT_I4:
    case VT_UI4:
    case VT_INT:
    case VT_UINT:
    case VT_ERROR:
      return a.ulVal == b.ulVal;
    case VT_I8:
    case VT_UI8:
      return a.ullVal == b.ullVal;
    case VT_R4:
      return a.fltVal == b.fltVal;
    case VT_R8:
    case VT_DATE:
      return a.dblVal == b.dblVal;
    case VT_BSTR:
      return BstrView(a.bstrVal) == BstrView(b.bstrVal);
    default:
      return std::memcmp(&a.llVal, &b.llVal, sizeof a.brecVal) == 0;
  }
}

namespace {

// The name of a type without its VT_BYREF and VT_ARRAY bits; null for a
// type a VARIANT here never holds.
const char* BaseTypeName(VARTYPE base) {
  struct Named {
    VARTYPE vt;
    const char* name;
  };
  static constexpr Named kNames[] = {
      {VT_EMPTY, "VT_EMPTY"}, {VT_NULL, "VT_NULL"},       {VT_I2, "VT_I2"},
      {VT_I4, "VT_I4"},       {VT_R4, "VT_R4"},           {VT_R8, "VT_R8"},
      {VT_DATE, "VT_DATE"},   {VT_BSTR, "VT_BSTR"},       {VT_ERROR, "VT_ERROR"},
      {VT_BOOL, "VT_BOOL"},   {VT_VARIANT, "VT_VARIANT"}, {VT_I1, "VT_I1"},
      {VT_UI1, "VT_UI1"},     {VT_UI2, "VT_UI2"},         {VT_UI4, "VT_UI4"},
      {VT_I8, "VT_I8"},       {VT_UI8, "VT_UI8"},         {VT_INT, "VT_INT"},
      {VT_UINT, "VT_UINT"},
  };
  for (const Named& named : kNames) {
    if (named.vt == base) return named.name;
  }
  return nullptr;
}

}  // namespace

std::string VarTypeName(VARTYPE vt) {
  std::string prefix;
  if ((vt & VT_BYREF) != 0) prefix += "VT_BYREF|";
  if ((vt & VT_ARRAY) != 0) prefix += "VT_ARRAY|";
  const VARTYPE base = vt & ~(VT_BYREF | VT_ARRAY);
  if (const char* name = BaseTypeName(base)) return prefix + name;
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "VT 0x%X", unsigned{base});
  return prefix + buffer;
}

std::string Describe(const VARIANT& value) {
  std::string text = VarTypeName(value.vt);
  if ((value.vt & (VT_BYREF | VT_ARRAY)) != 0) {
    if ((value.vt & VT_ARRAY) != 0 && (value.vt & VT_BYREF) == 0 && value.parray != nullptr) {
      const std::uint32_t dims = GmSafeArrayGetDim(value.parray);
      for (std::uint32_t dim = 1; dim <= dims; ++dim) {
        std::int32_t low = 0, high = 0;
        GmSafeArrayGetLBound(value.parray, dim, &low);
        GmSafeArrayGetUBound(value.parray, dim, &high);
        text += (dim == 1 ? " (" : ", ") + std::to_string(low) + ".." + std::to_string(high);
      }
      text += ")";
    }
    return text;
  }
  switch (value.vt) {
    case VT_I1:
      return text + " " + std::to_string(value.cVal);
    case VT_UI1:
      return text + " " + std::to_string(value.bVal);
    case VT_I2:
      return text + " " + std::to_string(value.iVal);
    case VT_UI2:
      return text + " " + std::to_string(value.uiVal);
    case VT_BOOL:
      return text + " " + std::to_string(value.boolVal);
    case VT_I4:
    case VT_INT:
      return text + " " + std::to_string(value.lVal);
    case VT_UI4:
    case VT_UINT:
      return text + " " + std::to_string(value.ulVal);
    case VT_I8:
      return text + " " + std::to_string(value.llVal);
    case VT_UI8:
      return text + " " + std::to_string(value.ullVal);
    case VT_R4:
      return text + " " + DoubleText(value.fltVal);
    case VT_R8:
    case VT_DATE:
      return text + " " + DoubleText(value.dblVal);
    case VT_ERROR: {
      char buffer[16];
      std::snprintf(buffer, sizeof buffer, " 0x%08X", static_cast<unsigned>(value.scode));
      return text + buffer;
    }
    case VT_BSTR:
      return text + " \"" + BstrToUtf8(value.bstrVal) + "\"";
    default:
      return text;
  }
}

void PrintTo(const Variant& value, std::ostream* out) {
  *out << Describe(value);
}

}  // namespace com
