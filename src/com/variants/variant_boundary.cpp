#include "com/variants/variant_boundary.h"

#include <cstdint>
#include <cstdio>
#include <string>

#include "com/error.h"
#include "com/variants/bstr.h"
#include "text/utf8.h"

namespace com {
namespace {

constexpr char kAccepted[] =
    "VT_EMPTY, VT_I4, VT_INT, VT_R8, VT_BOOL, VT_BSTR, VT_ERROR, VT_DATE or a two-dimensional "
    "VT_ARRAY|VT_VARIANT of them";

bool IsScalar(VARTYPE vt) {
  switch (vt) {
    case VT_EMPTY:
    case VT_I4:
    case VT_INT:
    case VT_R8:
    case VT_BOOL:
    case VT_BSTR:
    case VT_ERROR:
    case VT_DATE:
      return true;
    default:
      return false;
  }
}

std::string Refused(const std::string& what) {
  return what + " is not supported (" + kAccepted + ")";
}

// Applies `visit` to every element (row and column counted from the lower
// bounds as stored), stopping at the first that returns a non-empty text.
template <typename Visit>
std::string EachElement(SAFEARRAY* array, Visit visit) {
  std::int32_t firstRow = 0, lastRow = 0, firstColumn = 0, lastColumn = 0;
  GmSafeArrayGetLBound(array, 1, &firstRow);
  GmSafeArrayGetUBound(array, 1, &lastRow);
  GmSafeArrayGetLBound(array, 2, &firstColumn);
  GmSafeArrayGetUBound(array, 2, &lastColumn);
  for (std::int64_t row = firstRow; row <= lastRow; ++row) {
    for (std::int64_t column = firstColumn; column <= lastColumn; ++column) {
      const std::int32_t indices[2] = {static_cast<std::int32_t>(row),
                                       static_cast<std::int32_t>(column)};
      void* element = nullptr;
      if (FAILED(GmSafeArrayPtrOfIndex(array, indices, &element))) return "A bad array";
      std::string problem = visit(indices, *static_cast<VARIANT*>(element));
      if (!problem.empty()) return problem;
    }
  }
  return {};
}

std::string CheckArray(SAFEARRAY* array) {
  if (array == nullptr) return "A VT_ARRAY value without an array";
  if (array->cDims != 2) {
    return Refused("An array of " + std::to_string(array->cDims) + " dimension(s)");
  }
  if ((array->fFeatures & FADF_VARIANT) == 0 || array->cbElements != sizeof(VARIANT)) {
    return Refused("An array whose elements are not VARIANTs");
  }
  return EachElement(array, [](const std::int32_t* at, const VARIANT& element) -> std::string {
    if (IsScalar(element.vt)) return {};
    return Refused("Element (" + std::to_string(at[0]) + ", " + std::to_string(at[1]) +
                   ") of type " + VarTypeName(element.vt));
  });
}

// Null BSTRs of a copy become allocated empty texts.
void FillNullTexts(VARIANT& value) {
  if (value.vt == VT_BSTR && value.bstrVal == nullptr) value.bstrVal = AllocBstr(u"");
}

}  // namespace

std::string CheckHostVariant(const VARIANT* value) {
  if (value == nullptr) return "No VARIANT was given (a null pointer)";
  if (IsScalar(value->vt)) return {};
  if (value->vt == (VT_ARRAY | VT_VARIANT)) return CheckArray(value->parray);
  return Refused("A VARIANT of type " + VarTypeName(value->vt));
}

Variant ImportHostVariant(const VARIANT& value) {
  if (!CheckHostVariant(&value).empty()) Throw(DISP_E_BADVARTYPE);
  Variant copy(value);
  if (copy.vt == (VT_ARRAY | VT_VARIANT)) {
    EachElement(copy.parray, [](const std::int32_t*, VARIANT& element) {
      FillNullTexts(element);
      return std::string();
    });
  } else {
    FillNullTexts(copy);
  }
  return copy;
}

bool ExportHostVariant(Variant& value, VARIANT* out) noexcept {
  if (out == nullptr) return false;
  GmVariantClear(out);
  try {
    if (!CheckHostVariant(&value).empty()) return false;
  } catch (...) {
    // The C boundary answers only yes or no: there is no place for a text.
    return false;
  }
  *out = value.Detach();
  return true;
}

}  // namespace com

// The C helpers for texts, beside the boundary they serve.

GmBstr GmSysAllocStringUtf8(const char* text) {
  try {
    return com::AllocBstr(text::Utf8ToUtf16(text != nullptr ? text : ""));
  } catch (...) {
    // A C allocator's answer: null is the only failure it can give.
    return nullptr;
  }
}

size_t GmSysStringToUtf8(GmBstr text, char* buffer, size_t capacity) {
  try {
    const std::string utf8 = com::BstrToUtf8(text);
    if (buffer != nullptr && capacity > 0) {
      const bool fits = utf8.size() < capacity;
      if (fits) utf8.copy(buffer, utf8.size());
      buffer[fits ? utf8.size() : 0] = '\0';
    }
    return utf8.size();
  } catch (...) {
    // SIZE_MAX is the C function's only failure; it has no text to give.
    if (buffer != nullptr && capacity > 0) buffer[0] = '\0';
    return SIZE_MAX;
  }
}
