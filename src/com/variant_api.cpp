// VARIANT life cycle for hosts and for the driver.
#include <cstring>

#include "com/hresult.h"
#include "gridmoor/oleauto.h"

namespace {

bool OwnsArray(const VARIANT& value) {
  return (value.vt & VT_ARRAY) != 0 && (value.vt & VT_BYREF) == 0;
}

void MakeEmpty(VARIANT* value) {
  std::memset(value, 0, sizeof *value);
  value->vt = VT_EMPTY;
}

}  // namespace

void GmVariantInit(VARIANT* value) {
  if (value != nullptr) MakeEmpty(value);
}

HRESULT GmVariantClear(VARIANT* value) {
  if (value == nullptr) return com::E_INVALIDARG;
  if (value->vt == VT_BSTR) {
    GmSysFreeString(value->bstrVal);
  } else if (OwnsArray(*value)) {
    const HRESULT hr = GmSafeArrayDestroy(value->parray);
    if (com::FAILED(hr)) return hr;
  }
  MakeEmpty(value);
  return com::S_OK;
}

HRESULT GmVariantCopy(VARIANT* dest, const VARIANT* source) {
  if (dest == nullptr || source == nullptr) return com::E_INVALIDARG;
  if (dest == source) return com::S_OK;
  HRESULT hr = GmVariantClear(dest);
  if (com::FAILED(hr)) return hr;

  if (source->vt == VT_BSTR) {
    BSTR copy = nullptr;
    if (source->bstrVal != nullptr) {
      copy = GmSysAllocStringLen(source->bstrVal, GmSysStringLen(source->bstrVal));
      if (copy == nullptr) return com::E_OUTOFMEMORY;
    }
    *dest = *source;
    dest->bstrVal = copy;
  } else if (OwnsArray(*source)) {
    if ((source->vt & ~VT_ARRAY) != VT_VARIANT) return com::DISP_E_BADVARTYPE;
    SAFEARRAY* copy = nullptr;
    hr = GmSafeArrayCopy(source->parray, &copy);
    if (com::FAILED(hr)) return hr;
    *dest = *source;
    dest->parray = copy;
  } else {
    // Scalars, and VT_BYREF, which shares what it points at.
    *dest = *source;
  }
  return com::S_OK;
}
