/*
 * A host with an automation layer of its own (VARIANT, BSTR, HRESULT, ...
 * with types unlike the library's) includes every public header: compiling
 * proves they leave those names alone, running that its VARIANT passes.
 *
 *   own_automation_names <library>
 */
#include <stddef.h>
#include <stdint.h>

typedef long HRESULT; /* 64 bits here: a clash with the library's would not compile */
typedef unsigned short OLECHAR;
typedef OLECHAR* BSTR;
typedef double DATE;
typedef struct SAFEARRAY SAFEARRAY;
enum VARENUM { VT_EMPTY = 0, VT_R8 = 5, VT_BSTR = 8, VT_ARRAY = 0x2000 };
#define VARIANT_TRUE ((short)-1)
#define FADF_VARIANT 0x0800
typedef struct tagVARIANT {
  unsigned short vt;
  unsigned short reserved[3];
  union {
    double dblVal;
    BSTR bstrVal;
    SAFEARRAY* parray;
    struct {
      void* record;
      void* recordInfo;
    } recordValue;
  } value;
} VARIANT;

#include <dlfcn.h>
#include <stdio.h>
#include <string.h>

#include "abi_check.h"
#include "gridmoor/host.h"
#include "gridmoor/oleauto.h"
#include "gridmoor/worksheet_functions.h"

_Static_assert(sizeof(VARIANT) == sizeof(GmVariant) &&
                   offsetof(VARIANT, value) == offsetof(GmVariant, bstrVal),
               "the host's VARIANT has the library's layout");
_Static_assert((int)VT_BSTR == (int)GM_VT_BSTR && (int)VT_ARRAY == (int)GM_VT_ARRAY,
               "the same type numbers");

typedef GmBstr (*FromUtf8)(const char*);
typedef size_t (*ToUtf8)(GmBstr, char*, size_t);
typedef GmHresult (*Clear)(GmVariant*);

int main(int argc, char** argv) {
  void* library;
  FromUtf8 fromUtf8;
  ToUtf8 toUtf8;
  Clear clear;
  VARIANT value;
  char text[16];
  HRESULT hr;
  if (argc != 2) {
    fprintf(stderr, "usage: own_automation_names <library>\n");
    return 2;
  }
  if ((library = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL)) == NULL) {
    fprintf(stderr, "cannot load %s: %s\n", argv[1], dlerror());
    return 1;
  }
  fromUtf8 = (FromUtf8)(uintptr_t)dlsym(library, "GmSysAllocStringUtf8");
  toUtf8 = (ToUtf8)(uintptr_t)dlsym(library, "GmSysStringToUtf8");
  clear = (Clear)(uintptr_t)dlsym(library, "GmVariantClear");
  if (fromUtf8 == NULL || toUtf8 == NULL || clear == NULL) {
    fprintf(stderr, "a helper is missing\n");
    return 1;
  }

  /* The host's VARIANT holds a library text, read and freed by the library. */
  memset(&value, 0xAB, sizeof value);
  value.vt = VT_BSTR;
  value.value.bstrVal = (BSTR)fromUtf8("cell");
  CHECK(value.value.bstrVal != NULL, "no text");
  CHECK(toUtf8((GmBstr)value.value.bstrVal, text, sizeof text) == 4 && strcmp(text, "cell") == 0,
        "the text read through the host's VARIANT");
  hr = clear((GmVariant*)&value);
  CHECK(hr == 0, "GmVariantClear failed");
  CHECK(value.vt == VT_EMPTY && value.value.bstrVal == NULL, "not cleared to VT_EMPTY");

  dlclose(library);
  if (failures != 0) return 1;
  printf("own automation names: all checks passed\n");
  return 0;
}
