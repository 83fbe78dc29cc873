/* A C11 host's view of the automation types: compiles oleauto.h as C and
 * calls the exported BSTR, VARIANT and SAFEARRAY functions of the shared
 * library, as a host passing cell values would. Their rules are tested in
 * the com suite; this shows the header and the exports work from C. */
#include "gridmoor/oleauto.h"

#include <stddef.h>
#include <stdio.h>

_Static_assert(offsetof(VARIANT, parray) == 8, "array at 8");
_Static_assert(sizeof(SAFEARRAY) == 32, "SAFEARRAY with one bound");

int main(void) {
  static const OLECHAR kText[] = {'c', 0xE9, 'l', 0};
  VARIANT value;
  GmVariantInit(&value);
  value.vt = VT_BSTR;
  value.bstrVal = GmSysAllocString(kText);

  /* rows x columns = 2 x 3, rows first; the bounds are stored the other way. */
  SAFEARRAYBOUND bounds[2] = {{2, 1}, {3, 1}};
  SAFEARRAY* array = GmSafeArrayCreate(VT_VARIANT, 2, bounds);
  if (array == NULL || array->rgsabound[0].cElements != 3) return 1;
  int32_t indices[2] = {2, 3};
  void* element = NULL;
  int ok = GmSafeArrayPtrOfIndex(array, indices, &element) == 0 &&
           element == (char*)array->pvData + 5 * sizeof(VARIANT) &&
           GmVariantCopy((VARIANT*)element, &value) == 0 &&
           GmSysStringLen(((VARIANT*)element)->bstrVal) == 3;

  VARIANT holder;
  GmVariantInit(&holder);
  holder.vt = VT_ARRAY | VT_VARIANT;
  holder.parray = array;
  ok = ok && GmVariantClear(&holder) == 0 && GmVariantClear(&value) == 0 && value.vt == VT_EMPTY;
  puts(ok ? "oleauto C host check passed" : "oleauto C host check failed");
  return ok ? 0 : 1;
}
