/*
 * The driver's exports and the layouts of the records a host exchanges with
 * them, for hosts written in C or C++.
 *
 * Records are plain byte blocks owned by the host and borrowed by the driver
 * for one call. All numbers in them are little-endian, doubles are IEEE 754
 * binary64, pointers are 8 bytes, and texts are NUL-terminated UTF-8 in
 * fixed-width fields. Offsets and sizes below are bytes; a field the driver
 * does not name is left as the host passed it.
 *
 * Results are signed 32-bit: EXT_RESULT_OK, EXT_RESULT_FAILED (a message in
 * the status record's text) or EXT_RESULT_NONE (nothing more to give, or
 * cancelled), unless an export says otherwise.
 *
 * Nothing thrown inside the library ever reaches the caller of an export.
 *
 * The record layouts and command codes are in gridmoor/host_records.h,
 * included here. The worksheet functions (Fn*) have a header of their own,
 * gridmoor/worksheet_functions.h, and their cell values gridmoor/oleauto.h.
 * The headers need C11 or later, or C++.
 */
#ifndef GRIDMOOR_HOST_H
#define GRIDMOOR_HOST_H

#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "gridmoor/api.h"
#include "gridmoor/host_records.h"

GM_EXTERN_C_BEGIN

/* ---- Results and shared values ---------------------------------------- */

enum {
  EXT_RESULT_OK = 0,
  EXT_RESULT_FAILED = 1,
  EXT_RESULT_NONE = -1,
  /* EvalPublishedVariables on a block variable: read it with code 117. */
  EXT_RESULT_BLOCK_VARIABLE = -100
};

/* The host's missing-value marker; anything above the threshold is unset. */
#define EXT_UNDEFINED_VALUE 3.4e35
#define EXT_UNDEFINED_THRESHOLD 3.2e35

/* ---- Handles ------------------------------------------------------------ */

/* A driver instance, from ExtCreateInstance to ExtDestroyInstance. */
typedef struct ExtInstanceObject* ExtInstance;

/* A window of the host's user interface. The driver never dereferences it;
 * dialogs use it only as their owner. May be null. */
typedef void* ExtWindow;

/* Code 99 hands out the open workbook's automation object as an opaque,
 * borrowed pointer: valid while that workbook stays open; never free it. */
typedef void* ExtDispatch;

/* The drawing target of code 7, standing in for a device context. Row y
 * starts `stride` bytes after row y-1. Each pixel is a uint32_t 0xAARRGGBB in
 * native byte order, alpha not premultiplied; the driver paints opaque pixels
 * over the whole surface. */
typedef struct ExtDrawSurface {
  int32_t width;
  int32_t height;
  int32_t stride; /* bytes per row, at least 4 * width */
  uint32_t* pixels;
} ExtDrawSurface;

/* ---- Text object ---------------------------------------------------------- */

/* An owned, NUL-terminated UTF-8 text: `text` is malloc'ed (NULL is the empty
 * text) and `length` counts its bytes without the terminator. The host and
 * the library share the C runtime, so either side may free what the other
 * allocated, always through ExtStringFree. Initialise before first use. */
typedef struct ExtString {
  char* text;
  size_t length;
} ExtString;

/* A counted array of texts. */
typedef struct ExtStringList {
  const ExtString* items;
  size_t count;
} ExtStringList;

static inline void ExtStringInit(ExtString* s) {
  s->text = NULL;
  s->length = 0;
}

static inline void ExtStringFree(ExtString* s) {
  free(s->text);
  s->text = NULL;
  s->length = 0;
}

/* The text, never NULL. */
static inline const char* ExtStringText(const ExtString* s) {
  return s->text != NULL ? s->text : "";
}

/* Replaces s with a copy of length bytes of text (text may point into s).
 * Returns 0, or -1 with s unchanged when memory runs out. */
static inline int ExtStringSetLength(ExtString* s, const char* text, size_t length) {
  char* copy;
  if (length == 0) {
    ExtStringFree(s);
    return 0;
  }
  if (text == NULL || length == SIZE_MAX) return -1;
  copy = (char*)malloc(length + 1);
  if (copy == NULL) return -1;
  memcpy(copy, text, length);
  copy[length] = '\0';
  free(s->text);
  s->text = copy;
  s->length = length;
  return 0;
}

/* Replaces s with a copy of the NUL-terminated text (NULL: empty). */
static inline int ExtStringSet(ExtString* s, const char* text) {
  return ExtStringSetLength(s, text, text != NULL ? strlen(text) : 0);
}

/* ---- Status record ------------------------------------------------------ */

enum {
  EXT_STATUS_RECORD_SIZE = 264,
  EXT_STATUS_SIZE_OFFSET = 0, /* u32, the host sets it to 264 */
  EXT_STATUS_TEXT_OFFSET = 4,
  EXT_STATUS_TEXT_SIZE = 260 /* at most 259 characters and the NUL */
};

/* Passed with every request; an empty text after the call means no message. */
typedef struct ExtStatusRecord {
  uint32_t size;
  char text[EXT_STATUS_TEXT_SIZE];
} ExtStatusRecord;

/* ---- Driver exports --------------------------------------------------------- */

/* identifyRecord: at least EXT_IDENTIFY_RECORD_MIN_SIZE bytes with the
 * interface version in its first word. */
GM_API int32_t ExtIdentify(void* identifyRecord, ExtStatusRecord* status);
/* Stores the new instance in *instance even when creation fails; destroy it
 * with ExtDestroyInstance either way. */
GM_API int32_t ExtCreateInstance(ExtInstance* instance, ExtStatusRecord* status);
/* 1 when the workbook a direct-mode instance still had open could not be
 * closed (the office had ended); the instance is destroyed either way. */
GM_API int32_t ExtDestroyInstance(ExtInstance instance, ExtStatusRecord* status);
GM_API int32_t ExtStartApp(ExtInstance instance, intptr_t unused, ExtStatusRecord* status);
/* 1 when the open workbook could not be closed (the office had ended). */
GM_API int32_t ExtStopApp(ExtInstance instance);
/* 0 when the user confirmed the driver settings, 1 otherwise. */
GM_API int32_t ExtConfigure(ExtWindow parent);
GM_API void ExtHelp(void);
/* window: owner of the dialogs of codes 5 and 104; arg and iarg: see EXT_CMD_*. */
GM_API int32_t ExtCmd(ExtInstance instance, ExtWindow window, int32_t code, void* arg, int32_t iarg,
                      ExtStatusRecord* status);
/* Writes the equipment description of the instance's model to outputPath.
 * flag and texts are passed on and not used by this driver. */
GM_API int32_t ExtEquipXml(ExtInstance instance, const ExtString* outputPath, uint8_t flag,
                           const ExtStringList* texts);

/* Asked to show the data-server string chooser, the driver calls a stored
 * handler with (window, data, 0, 0) instead of its own dialog. Null at load. */
typedef void (*ExtShowDataServerStringHandler)(ExtWindow window, const void* data, int32_t value,
                                               uint32_t flags);

GM_API extern ExtShowDataServerStringHandler GlpfnTarnShowDataServerString;

/* Once-only set-up of the grid used by the configuration dialogs. */
GM_API void QVInitialiseStingray(void);
GM_API void QVUnInitialiseStingray(void);

GM_EXTERN_C_END

#endif
