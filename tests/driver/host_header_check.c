/* Compiles the public host header as C11 and checks, at compile time, the
 * record layouts a host relies on and, at run time, the inline text helpers.
 * Nothing here refers to a library export, so it links without the library. */
#include "gridmoor/host.h"

#include <stddef.h>
#include <stdio.h>
#include <string.h>

/* Status record. */
_Static_assert(sizeof(ExtStatusRecord) == 264, "status record size");
_Static_assert(EXT_STATUS_RECORD_SIZE == 264, "status record size constant");
_Static_assert(offsetof(ExtStatusRecord, size) == EXT_STATUS_SIZE_OFFSET, "status size word");
_Static_assert(offsetof(ExtStatusRecord, text) == 4 && EXT_STATUS_TEXT_OFFSET == 4,
               "status text offset");
_Static_assert(sizeof(((ExtStatusRecord*)0)->text) == 260 && EXT_STATUS_TEXT_SIZE == 260,
               "status text size");

/* Identification record: fields in order, none overlapping. */
_Static_assert(EXT_INTERFACE_VERSION == 0x0A04, "interface version");
_Static_assert(EXT_IDENTIFY_NAME_OFFSET + EXT_IDENTIFY_NAME_SIZE == EXT_IDENTIFY_WORD264_OFFSET,
               "name ends where the 64-bit word starts");
_Static_assert(EXT_IDENTIFY_WORD264_OFFSET + 8 == EXT_IDENTIFY_WORD272_OFFSET, "word 272");
_Static_assert(EXT_IDENTIFY_WORD272_OFFSET + 4 == EXT_IDENTIFY_WORD276_OFFSET, "word 276");
_Static_assert(EXT_IDENTIFY_WORD276_OFFSET + 4 + 1004 == EXT_IDENTIFY_DESCRIPTION_OFFSET,
               "1004 untouched bytes before the description");
_Static_assert(EXT_IDENTIFY_DESCRIPTION_OFFSET + EXT_IDENTIFY_DESCRIPTION_SIZE ==
                   EXT_IDENTIFY_WORD1540_OFFSET,
               "description ends at 1540");
_Static_assert(EXT_IDENTIFY_WORD1556_OFFSET + 4 + 128 == EXT_IDENTIFY_WORD1688_OFFSET,
               "128 untouched bytes before 1688");
_Static_assert(EXT_IDENTIFY_WORD1696_OFFSET + 4 == EXT_IDENTIFY_RECORD_MIN_SIZE, "1700 bytes");
_Static_assert(EXT_IDENTIFY_WORD1556_VALUE == 16842753, "version word");

/* VARIANT as a 64-bit host lays it out. */
_Static_assert(sizeof(VARIANT) == 24, "VARIANT size");
_Static_assert(offsetof(VARIANT, vt) == 0, "VARIANT type");
_Static_assert(offsetof(VARIANT, dblVal) == 8 && offsetof(VARIANT, bstrVal) == 8 &&
                   offsetof(VARIANT, lVal) == 8,
               "VARIANT value");

/* Drawing surface and text object. */
_Static_assert(sizeof(ExtDrawSurface) == 24 && offsetof(ExtDrawSurface, pixels) == 16,
               "drawing surface");
_Static_assert(offsetof(ExtString, text) == 0, "a text object's first member is its text");

/* Records: each table ends where the next field starts. */
_Static_assert(EXT_FILE_DESCRIPTION_PATH_OFFSET + EXT_FILE_DESCRIPTION_PATH_SIZE ==
                   EXT_FILE_DESCRIPTION_TEXT_OFFSET,
               "file description path");
_Static_assert(EXT_FILE_DESCRIPTION_PRESENT_OFFSET + 1 == EXT_FILE_DESCRIPTION_RECORD_MIN_SIZE,
               "file description size");
_Static_assert(EXT_CASE_DATA_ARCHIVE_OFFSET + EXT_CASE_DATA_ARCHIVE_CAPACITY ==
                   EXT_CASE_DATA_ARCHIVE_SIZE_OFFSET,
               "case data archive");
_Static_assert(EXT_CASE_DATA_NO_RELOCATION_OFFSET + 4 == EXT_CASE_DATA_RECORD_SIZE,
               "case data size");
_Static_assert(EXT_CASE_DATA_ARCHIVE_OFFSET == 4 && EXT_CASE_DATA_ARCHIVE_CAPACITY == 102400 &&
                   EXT_CASE_DATA_ARCHIVE_SIZE_OFFSET == 102404 &&
                   EXT_CASE_DATA_MODEL_PATH_OFFSET == 102408 &&
                   EXT_CASE_DATA_NO_RELOCATION_OFFSET == 102416,
               "case data record offsets");
_Static_assert(EXT_STREAM_NAME_OFFSET + EXT_STREAM_NAME_SIZE == EXT_STREAM_DESCRIPTION_OFFSET,
               "stream name");
_Static_assert(EXT_STREAM_DESCRIPTION_OFFSET + EXT_STREAM_DESCRIPTION_SIZE ==
                   EXT_STREAM_RECORD_MIN_SIZE,
               "stream record size");

_Static_assert(EXT_IPR_RECORD_SIZE == 0x19B98, "IPR size");
_Static_assert(EXT_IPR_CRITICAL_TEMPERATURE_OFFSET == 0x848 &&
                   EXT_IPR_EOS_MODEL_OFFSET == 0x1638C && EXT_IPR_MOLE_FRACTION_OFFSET == 0x17010 &&
                   EXT_IPR_WATER_GRAVITY_OFFSET == 0x18F60,
               "IPR offsets");
_Static_assert(EXT_IPR_CRITICAL_PRESSURE_OFFSET - EXT_IPR_CRITICAL_TEMPERATURE_OFFSET ==
                   8 * EXT_IPR_MAX_COMPONENTS,
               "IPR arrays hold 100 doubles");
_Static_assert(EXT_IPR_PARACHOR_OFFSET + 800 == EXT_IPR_INTERACTION_OFFSET, "IPR parachor");
_Static_assert(EXT_IPR_INTERACTION_OFFSET + 100 * EXT_IPR_INTERACTION_ROW_SIZE <=
                   EXT_IPR_EOS_MODEL_OFFSET,
               "IPR interaction matrix");
_Static_assert(EXT_IPR_COSTALD_ACENT_OFFSET + 800 == EXT_IPR_COSTALD_VCRIT_OFFSET, "COSTALD");
_Static_assert(EXT_IPR_MOLE_FRACTION_OFFSET + 800 <= EXT_IPR_OIL_GRAVITY_OFFSET, "mole fractions");
_Static_assert(EXT_IPR_WATER_GRAVITY_OFFSET + 8 <= EXT_IPR_RECORD_SIZE, "IPR gravities");

_Static_assert(EXT_COMPONENT_LIST_NAMES_OFFSET +
                       EXT_COMPONENT_LIST_MAX_COMPONENTS * EXT_COMPONENT_LIST_NAME_SIZE ==
                   EXT_COMPONENT_LIST_RECORD_MIN_SIZE,
               "component list");

_Static_assert(EXT_OPT_PROBLEM_OBJ_NAME_OFFSET + EXT_OPT_PROBLEM_OBJ_NAME_SIZE ==
                   EXT_OPT_PROBLEM_OBJ_UNIT_OFFSET,
               "objective name");
_Static_assert(EXT_OPT_PROBLEM_OBJ_UNIT_OFFSET + EXT_OPT_PROBLEM_OBJ_UNIT_SIZE ==
                   EXT_OPT_PROBLEM_OBJ_MAXIMISE_OFFSET,
               "objective unit");
_Static_assert(EXT_OPT_PROBLEM_CONTROLS_OFFSET +
                       EXT_OPT_PROBLEM_MAX_ITEMS * EXT_OPT_CONTROL_ENTRY_SIZE ==
                   EXT_OPT_PROBLEM_CONTROL_COUNT_OFFSET,
               "control table");
_Static_assert(EXT_OPT_PROBLEM_CONSTRAINTS_OFFSET +
                       EXT_OPT_PROBLEM_MAX_ITEMS * EXT_OPT_CONSTRAINT_ENTRY_SIZE ==
                   EXT_OPT_PROBLEM_CONSTRAINT_COUNT_OFFSET,
               "constraint table");
_Static_assert(EXT_OPT_PROBLEM_INT_CONTROLS_OFFSET +
                       EXT_OPT_PROBLEM_MAX_ITEMS * EXT_OPT_INT_CONTROL_ENTRY_SIZE ==
                   EXT_OPT_PROBLEM_INT_CONTROL_COUNT_OFFSET,
               "integer control table");
_Static_assert(EXT_OPT_PROBLEM_INT_CONTROL_COUNT_OFFSET + 4 == EXT_OPT_PROBLEM_RECORD_SIZE,
               "problem record size");
_Static_assert(EXT_OPT_CONTROL_WORD88_OFFSET + 8 <= EXT_OPT_CONTROL_ENTRY_SIZE, "control entry");
_Static_assert(EXT_OPT_CONSTRAINT_BYTE96_OFFSET + 1 <= EXT_OPT_CONSTRAINT_ENTRY_SIZE,
               "constraint entry");
_Static_assert(EXT_OPT_INT_CONTROL_LABELS_OFFSET +
                       EXT_OPT_INT_CONTROL_MAX_STATES * EXT_OPT_INT_CONTROL_LABEL_SIZE <=
                   EXT_OPT_INT_CONTROL_ENTRY_SIZE,
               "integer control entry");
_Static_assert(EXT_INT_CONTROL_LIST_HANDLES_OFFSET + 4 * EXT_INT_CONTROL_LIST_MAX_HANDLES ==
                   EXT_INT_CONTROL_LIST_RECORD_MIN_SIZE,
               "integer control list");
_Static_assert(EXT_OPT_PROBLEM_RECORD_SIZE == 126912 && EXT_OPT_CONTROL_ENTRY_SIZE == 224 &&
                   EXT_OPT_CONSTRAINT_ENTRY_SIZE == 232 && EXT_OPT_INT_CONTROL_ENTRY_SIZE == 808,
               "optimisation record and entry sizes");
_Static_assert(EXT_OPT_PROBLEM_CONTROLS_OFFSET == 224 &&
                   EXT_OPT_PROBLEM_CONSTRAINTS_OFFSET == 22768 &&
                   EXT_OPT_PROBLEM_INT_CONTROLS_OFFSET == 46108 &&
                   EXT_OPT_PROBLEM_CONTROL_COUNT_OFFSET == 22624 &&
                   EXT_OPT_PROBLEM_CONSTRAINT_COUNT_OFFSET == 45968,
               "optimisation tables");
_Static_assert(EXT_OPT_CONTROL_HAS_LOWER_OFFSET == 48 && EXT_OPT_CONTROL_LOWER_OFFSET == 56 &&
                   EXT_OPT_CONTROL_HAS_UPPER_OFFSET == 64 && EXT_OPT_CONTROL_UPPER_OFFSET == 72 &&
                   EXT_OPT_CONTROL_HANDLE_OFFSET == 80 && EXT_OPT_CONTROL_WORD88_OFFSET == 88,
               "control entry fields");
_Static_assert(EXT_OPT_CONSTRAINT_LIMIT_OFFSET == 80 && EXT_OPT_CONSTRAINT_TYPE_OFFSET == 88 &&
                   EXT_OPT_CONSTRAINT_HANDLE_OFFSET == 92 &&
                   EXT_OPT_CONSTRAINT_BYTE96_OFFSET == 96,
               "constraint entry fields");
_Static_assert(EXT_OPT_INT_CONTROL_HANDLE_OFFSET == 32 &&
                   EXT_OPT_INT_CONTROL_STATE_COUNT_OFFSET == 36 &&
                   EXT_OPT_INT_CONTROL_LABELS_OFFSET == 40 && EXT_OPT_INT_CONTROL_MAX_STATES == 20,
               "integer control entry fields");
_Static_assert(EXT_OPT_VALUE_HANDLE_OFFSET == 4 && EXT_OPT_VALUE_VALUE_OFFSET == 8 &&
                   EXT_INT_CONTROL_LIST_COUNT_OFFSET == 816 &&
                   EXT_INT_CONTROL_LIST_HANDLES_OFFSET == 820,
               "value record and integer control list");
_Static_assert(EXT_OPT_CLEAR_OBJECTIVE == 1 && EXT_OPT_CLEAR_CONSTRAINTS == 2 &&
                   EXT_OPT_CLEAR_CONTROLS == 4 && EXT_OPT_CLEAR_INT_CONTROLS == 8,
               "clear mask bits");

_Static_assert(EXT_PUBVAR_TEXT_OFFSET + EXT_PUBVAR_TEXT_SIZE == EXT_PUBVAR_UNIT_OFFSET,
               "published variable text");
_Static_assert(EXT_PUBVAR_UNIT_OFFSET + EXT_PUBVAR_UNIT_SIZE == EXT_PUBVAR_RECORD_MIN_SIZE,
               "published variable size");
_Static_assert(EXT_PUBVAR2_TEXT_POINTER_OFFSET + 8 == EXT_PUBVAR2_RECORD_MIN_SIZE,
               "published variable record 2");
_Static_assert(EXT_ADD_PUBVAR_HANDLE_OFFSET + 4 == EXT_ADD_PUBVAR_RECORD_MIN_SIZE, "add record");
_Static_assert(EXT_PUBVAR_HANDLE_OFFSET == 4 && EXT_PUBVAR_FLAG_OFFSET == 8 &&
                   EXT_PUBVAR_TEXT_OFFSET == 9 && EXT_PUBVAR_TEXT_SIZE == 64 &&
                   EXT_PUBVAR_UNIT_OFFSET == 73 && EXT_PUBVAR_UNIT_SIZE == 16,
               "published variable fields");
_Static_assert(EXT_PUBVAR2_HANDLE_OFFSET == 4 && EXT_PUBVAR2_FLAG_OFFSET == 8 &&
                   EXT_PUBVAR2_TEXT_POINTER_OFFSET == 16,
               "published variable record 2 fields");
_Static_assert(EXT_ADD_PUBVAR_WORKSHEET_POINTER_OFFSET == 8 &&
                   EXT_ADD_PUBVAR_CELL_POINTER_OFFSET == 16 &&
                   EXT_ADD_PUBVAR_NAME_POINTER_OFFSET == 24 && EXT_ADD_PUBVAR_MASKING_OFFSET == 32 &&
                   EXT_ADD_PUBVAR_HANDLE_OFFSET == 36,
               "add record fields");
_Static_assert(EXT_BATCH_FILES_INPUT_PATH_OFFSET + EXT_BATCH_FILES_INPUT_PATH_SIZE ==
                   EXT_BATCH_FILES_REPORT_PATH_OFFSET,
               "batch input path");
_Static_assert(EXT_BATCH_FILES_REPORT_PATH_OFFSET + EXT_BATCH_FILES_REPORT_PATH_SIZE ==
                   EXT_BATCH_FILES_RECORD_MIN_SIZE,
               "batch files size");
_Static_assert(EXT_DS_READ_RESULT_OFFSET + EXT_DS_READ_RESULT_SIZE == EXT_DS_READ_RECORD_SIZE,
               "data-server read record");
_Static_assert(EXT_DS_WRITE_VALUE_POINTER_OFFSET + 8 == EXT_DS_WRITE_RECORD_MIN_SIZE,
               "data-server write record");
_Static_assert(EXT_FILE_NAME_TEXT_OFFSET + EXT_FILE_NAME_TEXT_SIZE == EXT_FILE_NAME_RECORD_MIN_SIZE,
               "file name record");
_Static_assert(EXT_DATE_RECORD_DATE_OFFSET == 3 * 8, "the fourth double");

static int failures = 0;

#define CHECK(condition)                                                            \
  do {                                                                              \
    if (!(condition)) {                                                             \
      fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
      ++failures;                                                                   \
    }                                                                               \
  } while (0)

static void IgnoreChooser(ExtWindow window, const void* data, int32_t value, uint32_t flags) {
  (void)window;
  (void)data;
  (void)value;
  (void)flags;
}

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

static void CheckTypes(void) {
  ExtStatusRecord status;
  uint32_t pixels[2 * 3];
  ExtDrawSurface surface;
  ExtShowDataServerStringHandler handler = IgnoreChooser;
  VARIANT value;

  memset(&status, 0, sizeof status);
  status.size = EXT_STATUS_RECORD_SIZE;
  CHECK(((unsigned char*)&status)[EXT_STATUS_TEXT_OFFSET] == 0);

  surface.width = 2;
  surface.height = 3;
  surface.stride = 2 * (int32_t)sizeof(uint32_t);
  surface.pixels = pixels;
  ((uint32_t*)((unsigned char*)surface.pixels + 2 * surface.stride))[1] = 0xFF102030u;
  CHECK(pixels[5] == 0xFF102030u);

  handler(NULL, NULL, 0, 0);

  memset(&value, 0, sizeof value);
  value.vt = VT_R8;
  value.dblVal = 1.5;
  CHECK(((unsigned char*)&value)[0] == VT_R8);
}

int main(void) {
  CheckTextHelpers();
  CheckTypes();
  if (failures != 0) return 1;
  puts("host header: layouts and text helpers check out");
  return 0;
}
