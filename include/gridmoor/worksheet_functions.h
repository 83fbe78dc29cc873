/*
 * The worksheet functions: another module of a host drives a workbook
 * through them without a driver instance. Cell values are the GmVariants of
 * gridmoor/oleauto.h; texts are the ExtStrings of gridmoor/host.h.
 *
 * C11 or later, or C++.
 */
#ifndef GRIDMOOR_WORKSHEET_FUNCTIONS_H
#define GRIDMOOR_WORKSHEET_FUNCTIONS_H

#include <stdint.h>

#include "gridmoor/api.h"
#include "gridmoor/host.h"
#include "gridmoor/oleauto.h"

GM_EXTERN_C_BEGIN

/* A worksheet-function session (FnCreateInstance to FnDestroyInstance). */
typedef struct FnSessionObject* FnSession;

/* Each session drives its own spreadsheet application and shares the
 * open-workbook registry with the driver instances: a file one holds is
 * refused to the other. Use a session from the thread that created it; calls
 * on one session from several threads are serialised, never interleaved. A
 * session not given by FnCreateInstance, or already destroyed, is refused
 * with 1 and a message.
 *
 * message: a caller buffer of at least EXT_FN_MESSAGE_SIZE bytes receiving
 * the text of a failure (at most 259 characters and the NUL), or NULL.
 * Results are 0 or 1. Texts are NUL-terminated UTF-8; an ExtString argument
 * is read through its `text` alone, NULL being the empty text.
 *
 * Values are the GmVariants of gridmoor/oleauto.h, laid out as on 64-bit
 * Windows (24 bytes: vt at 0, the value at 8), of type GM_VT_EMPTY, GM_VT_I4,
 * GM_VT_INT, GM_VT_R8, GM_VT_BOOL, GM_VT_BSTR (NULL: the empty text),
 * GM_VT_ERROR, GM_VT_DATE, or GM_VT_ARRAY | GM_VT_VARIANT: a GmSafeArray of two
 * dimensions, rows then columns, both from 1, for an address naming several
 * cells. In the array
 * rgsabound[0] is the last dimension (columns) and the 24-byte elements lie
 * column by column; the GmSafeArray* helpers spare the caller that
 * arithmetic. BSTRs and arrays come from the Gm* helpers, which use the
 * library's own allocator. Another type, or an array of another shape, is
 * refused with 1 and a message.
 *
 * VARIANTs belong to the caller: FnGetWorksheetCell clears *value (initialise
 * it first) and fills it on success; FnSetWorksheetCell and FnPutNumberFormat
 * clear *value before they return, on every path. */
enum { EXT_FN_MESSAGE_SIZE = 260 };

/* Null only when memory runs out; a session is returned even when the
 * application failed to start (every function but FnDestroyInstance and
 * FnOffsetCell then answers "There is no connection to Excel"). */
GM_API FnSession FnCreateInstance(void);
/* Discards unsaved changes and quits the application. Always 0 (NULL and
 * unknown sessions are ignored). */
GM_API int32_t FnDestroyInstance(FnSession session);
/* A new workbook; a second call on the session does nothing. */
GM_API int32_t FnNewFile(FnSession session, char* message);
/* A path naming no file gives a new workbook remembered under that path. */
GM_API int32_t FnOpenFile(FnSession session, const char* path, char* message);
/* A new worksheet, named unless the name is blank, becomes the current one. */
GM_API int32_t FnCreateWorksheetObject(FnSession session, const ExtString* sheetName,
                                       char* message);
GM_API int32_t FnGetWorksheetObject(FnSession session, const ExtString* sheetName, char* message);
/* Addresses go to the application as given (A1 form, or a block A1:C2). A
 * failed read gives 1 and an empty message; an empty cell is GM_VT_EMPTY. */
GM_API int32_t FnGetWorksheetCell(FnSession session, const char* sheetName, const char* cell,
                                  GmVariant* value, char* message);
/* The sheet is selected, or added when there is none of that name. */
GM_API int32_t FnSetWorksheetCell(FnSession session, const char* sheetName, const char* cell,
                                  GmVariant* value, char* message);
/* As FnSetWorksheetCell; the format is a number-format text (GM_VT_BSTR). */
GM_API int32_t FnPutNumberFormat(FnSession session, const char* sheetName, const ExtString* cell,
                                 GmVariant* format, char* message);
/* *result (initialised) is replaced by the address count rows (byRow != 0)
 * or columns further on: a text the caller frees with ExtStringFree. The
 * empty text for an address without column letters or row digits, or row 0;
 * 1, with *result unchanged, for a part longer than 7 characters. session is
 * not used (any value, NULL too). */
GM_API int32_t FnOffsetCell(FnSession session, const char* cell, ExtString* result, int32_t count,
                            int32_t byRow);

GM_EXTERN_C_END

#endif
