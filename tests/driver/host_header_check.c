/* Compiles the public host header as C11 and checks, at compile time, the
 * struct layouts a host relies on and, at run time, the inline text helpers.
 * Nothing here refers to a library export, so it links without the library. */
#include "gridmoor/host.h"

#include <stddef.h>
#include <stdio.h>
#include <string.h>

_Static_assert(sizeof(ExtStatusRecord) == EXT_STATUS_RECORD_SIZE, "status record size");
_Static_assert(offsetof(ExtStatusRecord, size) == EXT_STATUS_SIZE_OFFSET, "status size word");
_Static_assert(offsetof(ExtStatusRecord, text) == EXT_STATUS_TEXT_OFFSET, "status text offset");
_Static_assert(sizeof(((ExtStatusRecord*)0)->text) == EXT_STATUS_TEXT_SIZE, "status text size");

/* VARIANT as a 64-bit host lays it out. */
_Static_assert(sizeof(VARIANT) == 24, "VARIANT size");
_Static_assert(offsetof(VARIANT, vt) == 0, "VARIANT type");
_Static_assert(offsetof(VARIANT, dblVal) == 8 && offsetof(VARIANT, bstrVal) == 8 &&
                   offsetof(VARIANT, lVal) == 8,
               "VARIANT value");

_Static_assert(sizeof(ExtDrawSurface) == 24 && offsetof(ExtDrawSurface, pixels) == 16,
               "drawing surface");
_Static_assert(offsetof(ExtString, text) == 0, "a text object's first member is its text");

static int failures = 0;

#define CHECK(condition)                                                            \
  do {                                                                              \
    if (!(condition)) {                                                             \
      fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
      ++failures;                                                                   \
    }                                                                               \
  } while (0)

static void CheckTextHelpers(void) {
  ExtString s;
  ExtStringInit(&s);
  CHECK(s.text == NULL && s.length == 0);
  CHECK(strcmp(ExtStringText(&s), "") == 0);

  CHECK(ExtStringSet(&s, "Sheet1") == 0);
  CHECK(s.length == 6 && strcmp(s.text, "Sheet1") == 0);

  /* From a part of itself: copied before the old text is freed. */
  CHECK(ExtStringSet(&s, s.text + 5) == 0);
  CHECK(s.length == 1 && strcmp(ExtStringText(&s), "1") == 0);

  CHECK(ExtStringSetLength(&s, "ab\0cd", 5) == 0);
  CHECK(s.length == 5 && memcmp(s.text, "ab\0cd", 6) == 0);

  CHECK(ExtStringSet(&s, NULL) == 0);
  CHECK(s.text == NULL && s.length == 0);

  CHECK(ExtStringSet(&s, "\xc3\xa9t\xc3\xa9") == 0);
  CHECK(s.length == 5);
  CHECK(ExtStringSetLength(&s, NULL, 3) == -1);
  CHECK(s.length == 5 && strcmp(s.text, "\xc3\xa9t\xc3\xa9") == 0); /* unchanged */

  ExtStringFree(&s);
  CHECK(s.text == NULL && s.length == 0);
  ExtStringFree(&s); /* freeing twice is harmless */
}

int main(void) {
  CheckTextHelpers();
  if (failures != 0) return 1;
  puts("host header: layouts and text helpers check out");
  return 0;
}
