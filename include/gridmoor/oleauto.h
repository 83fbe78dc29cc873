/*
 * Automation value types that cross the library boundary: HRESULT, BSTR,
 * SAFEARRAY and VARIANT, laid out as a 64-bit Windows host sees them, and the
 * functions that allocate and free them. A host written in C uses these to
 * pass cell values to and from the worksheet function exports.
 *
 * BSTR: UTF-16 text preceded by a 32-bit byte count and followed by a 16-bit
 * NUL; the pointer addresses the first character. Only SysAlloc* make them.
 */
#ifndef GRIDMOOR_OLEAUTO_H
#define GRIDMOOR_OLEAUTO_H

#include <stddef.h>
#include <stdint.h>
#ifndef __cplusplus
#include <uchar.h>
#endif

#include "gridmoor/api.h"

GM_EXTERN_C_BEGIN

typedef int32_t HRESULT;
typedef int32_t SCODE;
typedef char16_t OLECHAR;
typedef OLECHAR* BSTR;
typedef uint16_t VARTYPE;
typedef int16_t VARIANT_BOOL;
typedef double DATE;

#define VARIANT_TRUE ((VARIANT_BOOL)-1)
#define VARIANT_FALSE ((VARIANT_BOOL)0)

/* The VARTYPEs the driver uses. */
enum {
  VT_EMPTY = 0,
  VT_NULL = 1,
  VT_I2 = 2,
  VT_I4 = 3,
  VT_R4 = 4,
  VT_R8 = 5,
  VT_DATE = 7,
  VT_BSTR = 8,
  VT_ERROR = 10,
  VT_BOOL = 11,
  VT_VARIANT = 12,
  VT_I8 = 20,
  VT_INT = 22,
  VT_ARRAY = 0x2000,
  VT_BYREF = 0x4000
};

typedef struct tagSAFEARRAYBOUND {
  uint32_t cElements;
  int32_t lLbound;
} SAFEARRAYBOUND;

/* rgsabound holds cDims bounds, the rightmost dimension first, as on Windows. */
typedef struct tagSAFEARRAY {
  uint16_t cDims;
  uint16_t fFeatures;
  uint32_t cbElements;
  uint32_t cLocks;
  void* pvData;
  SAFEARRAYBOUND rgsabound[1];
} SAFEARRAY;

typedef struct tagVARIANT VARIANT;
struct tagVARIANT {
  VARTYPE vt;
  uint16_t wReserved1;
  uint16_t wReserved2;
  uint16_t wReserved3;
  union {
    int64_t llVal;
    int32_t lVal;
    int16_t iVal;
    int32_t intVal;
    float fltVal;
    double dblVal;
    VARIANT_BOOL boolVal;
    SCODE scode;
    DATE date;
    BSTR bstrVal;
    SAFEARRAY* parray;
    VARIANT* pvarVal;
    void* byref;
    struct {
      void* pvRecord;
      void* pRecInfo;
    } brecVal;
  };
};

/* BSTR allocation. A null BSTR is the empty text. */
GM_API BSTR SysAllocString(const OLECHAR* text);
GM_API BSTR SysAllocStringLen(const OLECHAR* text, uint32_t length);
GM_API void SysFreeString(BSTR text);
GM_API uint32_t SysStringLen(BSTR text);

/* VARIANT life cycle. VariantClear frees what the VARIANT owns and leaves
 * VT_EMPTY; VariantCopy clears dest, then deep-copies source into it. */
GM_API void VariantInit(VARIANT* value);
GM_API HRESULT VariantClear(VARIANT* value);
GM_API HRESULT VariantCopy(VARIANT* dest, const VARIANT* source);

/* SAFEARRAYs of VARIANT (vt must be VT_VARIANT). */
GM_API SAFEARRAY* SafeArrayCreate(VARTYPE vt, uint32_t dims, const SAFEARRAYBOUND* bounds);
GM_API HRESULT SafeArrayDestroy(SAFEARRAY* array);
GM_API HRESULT SafeArrayPtrOfIndex(SAFEARRAY* array, const int32_t* indices, void** element);

GM_EXTERN_C_END

#endif
