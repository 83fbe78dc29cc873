/*
 * A host written against the plain automation names, through
 * gridmoor/oleauto_compat.h: the very types and values of gridmoor/oleauto.h.
 *
 *   oleauto_compat <library>
 */
#include <dlfcn.h>
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include "gridmoor/oleauto_compat.h"
#include "gridmoor/worksheet_functions.h"

/* The same types, not look-alikes: a pointer to one is a pointer to the other. */
#define SAME_TYPE(a, b) _Generic((a*)0, b * : 1, default : 0)
_Static_assert(SAME_TYPE(VARIANT, GmVariant) && SAME_TYPE(BSTR, GmBstr) &&
                   SAME_TYPE(HRESULT, GmHresult) && SAME_TYPE(SAFEARRAY, GmSafeArray) &&
                   SAME_TYPE(SAFEARRAYBOUND, GmSafeArrayBound) && SAME_TYPE(DATE, GmDate) &&
                   SAME_TYPE(VARTYPE, GmVartype) && SAME_TYPE(SCODE, GmScode) &&
                   SAME_TYPE(OLECHAR, GmOlechar) && SAME_TYPE(VARIANT_BOOL, GmVariantBool),
               "the plain names are the library's types");
_Static_assert(VT_EMPTY == 0 && VT_NULL == 1 && VT_I2 == 2 && VT_I4 == 3 && VT_R4 == 4 &&
                   VT_R8 == 5 && VT_DATE == 7 && VT_BSTR == 8 && VT_ERROR == 10 && VT_BOOL == 11 &&
                   VT_VARIANT == 12 && VT_I1 == 16 && VT_UI1 == 17 && VT_UI2 == 18 &&
                   VT_UI4 == 19 && VT_I8 == 20 && VT_UI8 == 21 && VT_INT == 22 && VT_UINT == 23 &&
                   VT_ARRAY == 0x2000 && VT_BYREF == 0x4000,
               "the Windows type numbers");
_Static_assert(VARIANT_TRUE == -1 && VARIANT_FALSE == 0 && FADF_VARIANT == 0x0800,
               "the Windows constants");
_Static_assert(sizeof(VARIANT) == 24 && offsetof(VARIANT, dblVal) == 8, "the Windows layout");

typedef HRESULT (*Clear)(VARIANT*);
typedef BSTR (*FromUtf8)(const char*);
typedef size_t (*ToUtf8)(BSTR, char*, size_t);

/* The types are the library's (above); a text through the plain names. The
 * blocks of VARIANTs are worksheet_functions.c's. */
int main(int argc, char** argv) {
  VARIANT cell;
  char text[16] = "";
  void* library = argc == 2 ? dlopen(argv[1], RTLD_NOW | RTLD_LOCAL) : NULL;
  Clear clear = library ? (Clear)(uintptr_t)dlsym(library, "GmVariantClear") : NULL;
  FromUtf8 fromUtf8 = library ? (FromUtf8)(uintptr_t)dlsym(library, "GmSysAllocStringUtf8") : NULL;
  ToUtf8 toUtf8 = library ? (ToUtf8)(uintptr_t)dlsym(library, "GmSysStringToUtf8") : NULL;
  if (!clear || !fromUtf8 || !toUtf8) {
    fprintf(stderr, "usage: oleauto_compat <library> (not loaded, or a helper is missing)\n");
    return 1;
  }
  cell.vt = VT_BSTR;
  cell.bstrVal = fromUtf8("row 2");
  if (toUtf8(cell.bstrVal, text, sizeof text) != 5 || strcmp(text, "row 2") != 0 ||
      clear(&cell) != 0 || cell.vt != VT_EMPTY) {
    fprintf(stderr, "the text did not round-trip (text '%s')\n", text);
    return 1;
  }
  dlclose(library);
  printf("oleauto_compat: all checks passed\n");
  return 0;
}
