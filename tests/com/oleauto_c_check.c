/* A C11 host's view of the automation types: compiles oleauto.h as C and
 * calls the exported BSTR, VARIANT and SAFEARRAY functions of the shared
 * library, as a host passing cell values would. Exits non-zero on the first
 * mismatch. */
#include "gridmoor/oleauto.h"

#include <stddef.h>
#include <stdio.h>
#include <string.h>

_Static_assert(offsetof(VARIANT, parray) == 8, "array at 8");
_Static_assert(sizeof(SAFEARRAY) == 32, "SAFEARRAY with one bound");

static int failures = 0;

#define CHECK(condition)                                              \
  do {                                                                \
    if (!(condition)) {                                               \
      fprintf(stderr, "%s:%d: %s\n", __FILE__, __LINE__, #condition); \
      ++failures;                                                     \
    }                                                                 \
  } while (0)

int main(void) {
  static const OLECHAR kText[] = {'c', 0xE9, 'l', 0};
  BSTR text = SysAllocString(kText);
  CHECK(text != NULL && SysStringLen(text) == 3 && SysStringByteLen(text) == 6);

  VARIANT value;
  VariantInit(&value);
  value.vt = VT_BSTR;
  value.bstrVal = text;

  /* rows x columns = 2 x 3, rows first. */
  SAFEARRAYBOUND bounds[2] = {{2, 1}, {3, 1}};
  SAFEARRAY* array = SafeArrayCreate(VT_VARIANT, 2, bounds);
  CHECK(array != NULL && SafeArrayGetDim(array) == 2);
  if (array == NULL) return 1;
  CHECK(array->rgsabound[0].cElements == 3);

  int32_t indices[2] = {2, 3};
  void* element = NULL;
  CHECK(SafeArrayPtrOfIndex(array, indices, &element) == 0);
  CHECK(element == (char*)array->pvData + 5 * sizeof(VARIANT));
  CHECK(VariantCopy((VARIANT*)element, &value) == 0);
  CHECK(((VARIANT*)element)->bstrVal != text);
  CHECK(memcmp(((VARIANT*)element)->bstrVal, kText, sizeof kText) == 0);

  indices[1] = 4;
  CHECK(SafeArrayPtrOfIndex(array, indices, &element) == (HRESULT)0x8002000Bu);

  VARIANT holder;
  VariantInit(&holder);
  holder.vt = VT_ARRAY | VT_VARIANT;
  holder.parray = array;
  VARIANT copy;
  VariantInit(&copy);
  CHECK(VariantCopy(&copy, &holder) == 0 && copy.parray != array);

  CHECK(VariantClear(&copy) == 0 && copy.vt == VT_EMPTY);
  CHECK(VariantClear(&holder) == 0);
  CHECK(VariantClear(&value) == 0 && value.vt == VT_EMPTY);

  if (failures == 0) printf("oleauto C host check passed\n");
  return failures == 0 ? 0 : 1;
}
