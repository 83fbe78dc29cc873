/*
 * Automation value types that cross the library boundary: HRESULT, BSTR,
 * SAFEARRAY and VARIANT, laid out as a 64-bit Windows host sees them, and the
 * functions that allocate and free them. A host written in C uses these to
 * pass cell values to and from the worksheet function exports.
 *
 * The functions carry the library's own prefix Gm: a host process may hold
 * the platform automation library's functions of the plain names, and the
 * library never calls nor replaces those.
 *
 * BSTR: UTF-16 text preceded by a 32-bit byte count and followed by a 16-bit
 * NUL; the pointer addresses the first character. Only GmSysAlloc* make them.
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

/* The VARTYPEs the driver uses or converts. */
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
  VT_I1 = 16,
  VT_UI1 = 17,
  VT_UI2 = 18,
  VT_UI4 = 19,
  VT_I8 = 20,
  VT_UI8 = 21,
  VT_INT = 22,
  VT_UINT = 23,
  VT_ARRAY = 0x2000,
  VT_BYREF = 0x4000
};

typedef struct tagSAFEARRAYBOUND {
  uint32_t cElements;
  int32_t lLbound;
} SAFEARRAYBOUND;

/* SAFEARRAY.fFeatures: the elements are VARIANTs. */
#define FADF_VARIANT 0x0800

/* rgsabound holds cDims bounds, the rightmost dimension first, as on Windows.
 * Elements lie in memory with the leftmost index running fastest (for a
 * two-dimensional rows x columns array: column by column). */
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
    int8_t cVal;
    uint8_t bVal;
    uint16_t uiVal;
    uint32_t ulVal;
    uint64_t ullVal;
    uint32_t uintVal;
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

/* The layout a 64-bit Windows host expects. */
#ifdef __cplusplus
#define GM_STATIC_ASSERT static_assert
#else
#define GM_STATIC_ASSERT _Static_assert
#endif
GM_STATIC_ASSERT(sizeof(VARIANT) == 24, "VARIANT is 24 bytes");
GM_STATIC_ASSERT(offsetof(VARIANT, vt) == 0, "VARIANT.vt at 0");
GM_STATIC_ASSERT(offsetof(VARIANT, dblVal) == 8, "VARIANT data at 8");
GM_STATIC_ASSERT(sizeof(SAFEARRAYBOUND) == 8, "SAFEARRAYBOUND is 8 bytes");
GM_STATIC_ASSERT(offsetof(SAFEARRAY, pvData) == 16, "SAFEARRAY.pvData at 16");
GM_STATIC_ASSERT(offsetof(SAFEARRAY, rgsabound) == 24, "SAFEARRAY.rgsabound at 24");
#undef GM_STATIC_ASSERT

/* BSTR allocation. A null BSTR is the empty text. Allocation failure (or a
 * length that cannot be represented) gives null. GmSysAllocStringLen copies
 * `length` characters, embedded NULs included; with a null `text` it gives
 * `length` NUL characters. */
GM_API BSTR GmSysAllocString(const OLECHAR* text);
GM_API BSTR GmSysAllocStringLen(const OLECHAR* text, uint32_t length);
GM_API void GmSysFreeString(BSTR text);
GM_API uint32_t GmSysStringLen(BSTR text);
GM_API uint32_t GmSysStringByteLen(BSTR text);

/* VARIANT life cycle. GmVariantClear frees what the VARIANT owns (a BSTR, an
 * array and its elements; nothing behind VT_BYREF) and leaves VT_EMPTY.
 * GmVariantCopy clears dest, then deep-copies source into it; on failure dest is
 * left VT_EMPTY and the result is E_OUTOFMEMORY (0x8007000E), or
 * DISP_E_BADVARTYPE (0x80020008) for an array whose elements are not
 * VARIANTs. Null arguments give E_INVALIDARG (0x80070057). */
GM_API void GmVariantInit(VARIANT* value);
GM_API HRESULT GmVariantClear(VARIANT* value);
GM_API HRESULT GmVariantCopy(VARIANT* dest, const VARIANT* source);

/* SAFEARRAYs of VARIANT, one or two dimensions.
 *
 * GmSafeArrayCreate: vt must be VT_VARIANT and dims 1 or 2; `bounds` lists the
 * dimensions leftmost first (for a rows x columns array: rows, then columns)
 * and is stored reversed in rgsabound. Every element starts as VT_EMPTY.
 * Anything else, or a size that cannot be represented, gives null.
 *
 * GmSafeArrayDestroy clears every element, then frees the array; null is S_OK.
 * Only arrays made by GmSafeArrayCreate or GmSafeArrayCopy may be destroyed (or
 * cleared with the VARIANT holding them).
 *
 * GmSafeArrayCopy makes a deep copy (every element copied as GmVariantCopy
 * does); a null source gives a null copy. On failure *copy is null.
 *
 * GmSafeArrayPtrOfIndex: `indices` holds one index per dimension, leftmost
 * first; an index outside its dimension gives DISP_E_BADINDEX.
 *
 * Dimensions are numbered from 1 (the leftmost) in GmSafeArrayGetLBound and
 * GmSafeArrayGetUBound; a dimension that does not exist gives DISP_E_BADINDEX. */
GM_API SAFEARRAY* GmSafeArrayCreate(VARTYPE vt, uint32_t dims, const SAFEARRAYBOUND* bounds);
GM_API HRESULT GmSafeArrayDestroy(SAFEARRAY* array);
GM_API HRESULT GmSafeArrayCopy(SAFEARRAY* source, SAFEARRAY** copy);
GM_API HRESULT GmSafeArrayPtrOfIndex(SAFEARRAY* array, const int32_t* indices, void** element);
GM_API uint32_t GmSafeArrayGetDim(SAFEARRAY* array);
GM_API HRESULT GmSafeArrayGetLBound(SAFEARRAY* array, uint32_t dim, int32_t* lower);
GM_API HRESULT GmSafeArrayGetUBound(SAFEARRAY* array, uint32_t dim, int32_t* upper);

/* What a cell block reads and writes: a rows x columns array of VARIANT,
 * both indices from 1, rows first (indices {row, column}). Null for 0 rows or
 * columns, or when memory runs out. */
GM_API SAFEARRAY* GmSafeArrayCreateMatrix(uint32_t rows, uint32_t columns);
/* Get: *value (initialised by the caller; its old content is cleared)
 * receives a copy of the element. Put: the element is replaced by a copy of
 * *value. Indices as GmSafeArrayPtrOfIndex; results as GmVariantCopy. */
GM_API HRESULT GmSafeArrayGetElement(SAFEARRAY* array, const int32_t* indices, VARIANT* value);
GM_API HRESULT GmSafeArrayPutElement(SAFEARRAY* array, const int32_t* indices,
                                     const VARIANT* value);

/* UTF-8 texts. GmSysAllocStringUtf8: a new BSTR holding the NUL-terminated
 * UTF-8 text (NULL: the empty text); null when memory runs out. Bytes that
 * are not valid UTF-8 come back unchanged from GmSysStringToUtf8.
 *
 * GmSysStringToUtf8 returns the length in bytes of the text as UTF-8 (a null
 * BSTR is the empty text), the NUL not counted. When it is below `capacity`,
 * the text and a NUL are written to buffer; otherwise only an empty text is
 * written (when capacity > 0), never a cut one: call again with length + 1
 * bytes. SIZE_MAX when memory runs out. */
GM_API BSTR GmSysAllocStringUtf8(const char* text);
GM_API size_t GmSysStringToUtf8(BSTR text, char* buffer, size_t capacity);

GM_EXTERN_C_END

#endif
