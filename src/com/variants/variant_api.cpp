// VARIANT life cycle for hosts and for the driver.
#include <cstring>

#include "com/hresult.h"
#include "gridmoor/oleauto.h"

namespace {

bool OwnsArray(const GmVariant& value) {
  return (value.vt & GM_VT_ARRAY) != 0 && (value.vt & GM_VT_BYREF) == 0;
}

void MakeEmpty(GmVariant* value) {
  std::memset(value, 0, sizeof *value);
  value->vt = GM_VT_EMPTY;
}

}  // namespace

void GmVariantInit(GmVariant* value) {
  if (value != nullptr) MakeEmpty(value);
}

GmHresult GmVariantClear(GmVariant* value) {
  if (value == nullptr) return com::E_INVALIDARG;
  if (value->vt == GM_VT_BSTR) {
    GmSysFreeString(value->bstrVal);
  } else if (OwnsArray(*value)) {
    const GmHresult hr = GmSafeArrayDestroy(value->parray);
    if (com::FAILED(hr)) return hr;
  }
  MakeEmpty(value);
  return com::S_OK;
}

GmHresult GmVariantCopy(GmVariant* dest, const GmVariant* source) {
  if (dest == nullptr || source == nullptr) return com::E_INVALIDARG;
  if (dest == source) return com::S_OK;
  GmHresult hr = GmVariantClear(dest);
  if (com::FAILED(hr)) return hr;

  if (source->vt == GM_VT_BSTR) {
    GmBstr copy = nullptr;
    if (source->bstrVal != nullptr) {
      copy = GmSysAllocStringLen(source->bstrVal, GmSysStringLen(source->bstrVal));
      if (copy == nullptr) return com::E_OUTOFMEMORY;
    }
    *dest = *source;
    dest->bstrVal = copy;
  } else if (OwnsArray(*source)) {
    if ((source->vt & ~GM_VT_ARRAY) != GM_VT_VARIANT) return com::DISP_E_BADVARTYPE;
    GmSafeArray* copy = nullptr;
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
