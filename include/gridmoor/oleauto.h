/*
 * Automation value types that cross the library boundary: result codes, BSTR
 * texts, SAFEARRAYs and VARIANTs, laid out as a 64-bit Windows host sees them,
 * and the functions that allocate and free them. A host written in C uses
 * these to pass cell values to and from the worksheet functions
 * (gridmoor/worksheet_functions.h).
 *
 * Every name carries the library's prefix (GmVariant, GmBstr, GmHresult,
 * GM_VT_*, ...), so that a host may include another automation or COM layer
 * next to this header. The layouts are the Windows ones, so a host's own
 * VARIANT can be handed over through a pointer cast. A host that wants the plain
 * names (VARIANT, BSTR, VT_BSTR, ...) includes gridmoor/oleauto_compat.h.
 * The functions carry the prefix Gm as well: a host process may hold the
 * platform automation library's functions of the plain names, and the library
 * never calls nor replaces those.
 *
 * BSTR: UTF-16 text preceded by a 32-bit byte count and followed by a 16-bit
 * NUL; the pointer addresses the first character. Only GmSysAlloc* make them.
 *
 * C11 or later (anonymous unions, char16_t), or C++.
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

/* HRESULT, SCODE, OLECHAR, BSTR, VARTYPE, VARIANT_BOOL and DATE. */
typedef int32_t GmHresult;
typedef int32_t GmScode;
typedef char16_t GmOlechar;
typedef GmOlechar* GmBstr;
typedef uint16_t GmVartype;
typedef int16_t GmVariantBool;
typedef double GmDate;

#define GM_VARIANT_TRUE ((GmVariantBool)-1)
#define GM_VARIANT_FALSE ((GmVariantBool)0)

/* The VARTYPEs the driver uses or converts. */
enum {
  GM_VT_EMPTY = 0,
  GM_VT_NULL = 1,
  GM_VT_I2 = 2,
  GM_VT_I4 = 3,
  GM_VT_R4 = 4,
  GM_VT_R8 = 5,
  GM_VT_DATE = 7,
  GM_VT_BSTR = 8,
  GM_VT_ERROR = 10,
  GM_VT_BOOL = 11,
  GM_VT_VARIANT = 12,
  GM_VT_I1 = 16,
  GM_VT_UI1 = 17,
  GM_VT_UI2 = 18,
  GM_VT_UI4 = 19,
  GM_VT_I8 = 20,
  GM_VT_UI8 = 21,
  GM_VT_INT = 22,
  GM_VT_UINT = 23,
  GM_VT_ARRAY = 0x2000,
  GM_VT_BYREF = 0x4000
};

typedef struct GmSafeArrayBound {
  uint32_t cElements;
  int32_t lLbound;
} GmSafeArrayBound;

/* GmSafeArray.fFeatures: the elements are VARIANTs. */
#define GM_FADF_VARIANT 0x0800

/* rgsabound holds cDims bounds, the rightmost dimension first, as on Windows.
 * Elements lie in memory with the leftmost index running fastest (for a
 * two-dimensional rows x columns array: column by column). */
typedef struct GmSafeArray {
  uint16_t cDims;
  uint16_t fFeatures;
  uint32_t cbElements;
  uint32_t cLocks;
  void* pvData;
  GmSafeArrayBound rgsabound[1];
} GmSafeArray;

typedef struct GmVariant GmVariant;
struct GmVariant {
  GmVartype vt;
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
    GmVariantBool boolVal;
    GmScode scode;
    GmDate date;
    GmBstr bstrVal;
    GmSafeArray* parray;
    GmVariant* pvarVal;
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
GM_STATIC_ASSERT(sizeof(GmVariant) == 24, "GmVariant is 24 bytes");
GM_STATIC_ASSERT(offsetof(GmVariant, vt) == 0, "GmVariant.vt at 0");
GM_STATIC_ASSERT(offsetof(GmVariant, dblVal) == 8, "GmVariant data at 8");
GM_STATIC_ASSERT(sizeof(GmSafeArrayBound) == 8, "GmSafeArrayBound is 8 bytes");
GM_STATIC_ASSERT(offsetof(GmSafeArray, pvData) == 16, "GmSafeArray.pvData at 16");
GM_STATIC_ASSERT(offsetof(GmSafeArray, rgsabound) == 24, "GmSafeArray.rgsabound at 24");
#undef GM_STATIC_ASSERT

/* BSTR allocation. A null BSTR is the empty text. Allocation failure (or a
 * length that cannot be represented) gives null. GmSysAllocStringLen copies
 * `length` characters, embedded NULs included; with a null `text` it gives
 * `length` NUL characters. */
GM_API GmBstr GmSysAllocString(const GmOlechar* text);
GM_API GmBstr GmSysAllocStringLen(const GmOlechar* text, uint32_t length);
GM_API void GmSysFreeString(GmBstr text);
GM_API uint32_t GmSysStringLen(GmBstr text);
GM_API uint32_t GmSysStringByteLen(GmBstr text);

/* VARIANT life cycle. GmVariantClear frees what the VARIANT owns (a BSTR, an
 * array and its elements; nothing behind GM_VT_BYREF) and leaves GM_VT_EMPTY.
 * GmVariantCopy clears dest, then deep-copies source into it; on failure dest is
 * left GM_VT_EMPTY and the result is E_OUTOFMEMORY (0x8007000E), or
 * DISP_E_BADVARTYPE (0x80020008) for an array whose elements are not
 * VARIANTs. Null arguments give E_INVALIDARG (0x80070057). */
GM_API void GmVariantInit(GmVariant* value);
GM_API GmHresult GmVariantClear(GmVariant* value);
GM_API GmHresult GmVariantCopy(GmVariant* dest, const GmVariant* source);

/* SAFEARRAYs of VARIANT, one or two dimensions.
 *
 * GmSafeArrayCreate: vt must be GM_VT_VARIANT and dims 1 or 2; `bounds` lists the
 * dimensions leftmost first (for a rows x columns array: rows, then columns)
 * and is stored reversed in rgsabound. Every element starts as GM_VT_EMPTY.
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
GM_API GmSafeArray* GmSafeArrayCreate(GmVartype vt, uint32_t dims, const GmSafeArrayBound* bounds);
GM_API GmHresult GmSafeArrayDestroy(GmSafeArray* array);
GM_API GmHresult GmSafeArrayCopy(GmSafeArray* source, GmSafeArray** copy);
GM_API GmHresult GmSafeArrayPtrOfIndex(GmSafeArray* array, const int32_t* indices, void** element);
GM_API uint32_t GmSafeArrayGetDim(GmSafeArray* array);
GM_API GmHresult GmSafeArrayGetLBound(GmSafeArray* array, uint32_t dim, int32_t* lower);
GM_API GmHresult GmSafeArrayGetUBound(GmSafeArray* array, uint32_t dim, int32_t* upper);

/* What a cell block reads and writes: a rows x columns array of VARIANT,
 * both indices from 1, rows first (indices {row, column}). Null for 0 rows or
 * columns, or when memory runs out. */
GM_API GmSafeArray* GmSafeArrayCreateMatrix(uint32_t rows, uint32_t columns);
/* Get: *value (initialised by the caller; its old content is cleared)
 * receives a copy of the element. Put: the element is replaced by a copy of
 * *value. Indices as GmSafeArrayPtrOfIndex; results as GmVariantCopy. */
GM_API GmHresult GmSafeArrayGetElement(GmSafeArray* array, const int32_t* indices,
                                       GmVariant* value);
GM_API GmHresult GmSafeArrayPutElement(GmSafeArray* array, const int32_t* indices,
                                       const GmVariant* value);

/* UTF-8 texts. GmSysAllocStringUtf8: a new BSTR holding the NUL-terminated
 * UTF-8 text (NULL: the empty text); null when memory runs out. Bytes that
 * are not valid UTF-8 come back unchanged from GmSysStringToUtf8.
 *
 * GmSysStringToUtf8 returns the length in bytes of the text as UTF-8 (a null
 * BSTR is the empty text), the NUL not counted. When it is below `capacity`,
 * the text and a NUL are written to buffer; otherwise only an empty text is
 * written (when capacity > 0), never a cut one: call again with length + 1
 * bytes. SIZE_MAX when memory runs out. */
GM_API GmBstr GmSysAllocStringUtf8(const char* text);
GM_API size_t GmSysStringToUtf8(GmBstr text, char* buffer, size_t capacity);

GM_EXTERN_C_END

#endif
