#include "com/variants/variant_text.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <new>

#include "com/error.h"
#include "com/ole_date.h"
#include "com/variants/bstr.h"
#include "text/ascii.h"
#include "text/utf8.h"

namespace com {
namespace {

constexpr int kDoubleDigits = 15;
constexpr int kFloatDigits = 7;

std::size_t ByrefSize(VARTYPE base) {
  switch (base) {
    case VT_I1:
    case VT_UI1:
      return 1;
    case VT_I2:
    case VT_UI2:
    case VT_BOOL:
      return 2;
    case VT_I4:
    case VT_UI4:
    case VT_INT:
    case VT_UINT:
    case VT_ERROR:
    case VT_R4:
      return 4;
    case VT_I8:
    case VT_UI8:
    case VT_R8:
    case VT_DATE:
    case VT_BSTR:
      return 8;
    default:
      return 0;
  }
}

// A shallow VARIANT holding the value `in` stands for: `in` itself, or what
// a VT_BYREF points to. Nothing is owned by the result.
HRESULT Resolve(const VARIANT& in, VARIANT* value) {
  if ((in.vt & VT_BYREF) == 0) {
    *value = in;
    return S_OK;
  }
  if (in.byref == nullptr) return E_INVALIDARG;
  const VARTYPE base = in.vt & ~VT_BYREF;
  if (base == VT_VARIANT) {
    // A variant behind a reference is never itself a reference.
    if ((in.pvarVal->vt & VT_BYREF) != 0) return DISP_E_BADVARTYPE;
    *value = *in.pvarVal;
    return S_OK;
  }
  if ((base & VT_ARRAY) != 0) return DISP_E_TYPEMISMATCH;
  const std::size_t size = ByrefSize(base);
  if (size == 0) return DISP_E_BADVARTYPE;
  GmVariantInit(value);
  value->vt = base;
  std::memcpy(&value->llVal, in.byref, size);
  return S_OK;
}

template <typename Integer>
std::string IntegerText(Integer value) {
  char buffer[24];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, result.ptr);
}

// The text of any value but a BSTR.
HRESULT NonTextToText(const VARIANT& value, std::string* text) {
  if ((value.vt & VT_ARRAY) != 0) return DISP_E_TYPEMISMATCH;
  switch (value.vt) {
    case VT_EMPTY:
      text->clear();
      return S_OK;
    case VT_I1:
      *text = IntegerText(value.cVal);
      return S_OK;
    case VT_UI1:
      *text = IntegerText(value.bVal);
      return S_OK;
    case VT_I2:
      *text = IntegerText(value.iVal);
      return S_OK;
    case VT_UI2:
      *text = IntegerText(value.uiVal);
      return S_OK;
    case VT_I4:
    case VT_INT:
      *text = IntegerText(value.lVal);
      return S_OK;
    case VT_UI4:
    case VT_UINT:
      *text = IntegerText(value.ulVal);
      return S_OK;
    case VT_I8:
      *text = IntegerText(value.llVal);
      return S_OK;
    case VT_UI8:
      *text = IntegerText(value.ullVal);
      return S_OK;
    case VT_R4:
      *text = FormatDouble(value.fltVal, kFloatDigits);
      return S_OK;
    case VT_R8:
      *text = FormatDouble(value.dblVal, kDoubleDigits);
      return S_OK;
    case VT_BOOL:
      *text = value.boolVal == VARIANT_FALSE ? "0" : "-1";
      return S_OK;
    case VT_DATE:
      return DateToText(value.date, DateTextOptions{}, text);
    case VT_NULL:
    case VT_ERROR:
    case VT_VARIANT:
      return DISP_E_TYPEMISMATCH;
    default:
      return DISP_E_BADVARTYPE;
  }
}

}  // namespace

std::string FormatDouble(double value, int digits) {
  if (std::isnan(value)) return "NAN";
  if (std::isinf(value)) return value < 0 ? "-INF" : "INF";
  if (value == 0.0) return "0";  // also -0
  char buffer[64];
  const auto result =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, digits);
  std::string text(buffer, result.ptr);
  for (char& c : text)
    c = ::text::UpperAscii(c);
  return text;
}

HRESULT ChangeTypeToBstr(const VARIANT& in, VARIANT* out) {
  if (out == nullptr) return E_POINTER;
  VARIANT value;
  HRESULT hr = Resolve(in, &value);
  if (FAILED(hr)) return hr;

  BSTR result = nullptr;
  try {
    if (value.vt == VT_BSTR) {
      result = AllocBstr(
          {value.bstrVal == nullptr ? u"" : value.bstrVal, GmSysStringLen(value.bstrVal)});
    } else {
      std::string text;
      hr = NonTextToText(value, &text);
      if (FAILED(hr)) return hr;
      result = AllocBstr(text::Utf8ToUtf16(text));
    }
  } catch (const Error& error) {
    return error.hr();
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
  // `out` may be `in`: clear only now that the text is made.
  GmVariantClear(out);
  out->vt = VT_BSTR;
  out->bstrVal = result;
  return S_OK;
}

std::string VariantToText(const VARIANT& value) {
  VARIANT resolved;
  ThrowIfFailed(Resolve(value, &resolved));
  if (resolved.vt == VT_BSTR) return BstrToUtf8(resolved.bstrVal);
  std::string text;
  ThrowIfFailed(NonTextToText(resolved, &text));
  return text;
}

}  // namespace com
