/*
 * Another module of a host, written in C against gridmoor/host.h alone: it
 * loads the library with dlopen and drives a workbook through the worksheet
 * functions and the VARIANT helpers, resolved with dlsym.
 *
 *   worksheet_functions <library> none <scratch folder>
 *   worksheet_functions <library> calc <scratch folder> <workbooks folder>
 *
 * "none" runs with GRIDMOOR_SPREADSHEET=none: every function's answer without
 * an application, unknown and destroyed handles, the helpers. "calc" drives a
 * real office. The program defines functions of the platform automation
 * library's names and of the library's own (linked so that they are visible
 * to the library): the library must never call them.
 */
#define _POSIX_C_SOURCE 200809L

#include <dirent.h>
#include <dlfcn.h>
#include <stddef.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include "gridmoor/host.h"

/* The layouts a 64-bit Windows caller passes. */
_Static_assert(sizeof(VARIANT) == 24, "VARIANT size");
_Static_assert(offsetof(VARIANT, vt) == 0 && offsetof(VARIANT, wReserved1) == 2 &&
                   offsetof(VARIANT, wReserved2) == 4 && offsetof(VARIANT, wReserved3) == 6,
               "VARIANT type and reserved words");
_Static_assert(offsetof(VARIANT, lVal) == 8 && offsetof(VARIANT, intVal) == 8 &&
                   offsetof(VARIANT, dblVal) == 8 && offsetof(VARIANT, boolVal) == 8 &&
                   offsetof(VARIANT, bstrVal) == 8 && offsetof(VARIANT, scode) == 8 &&
                   offsetof(VARIANT, date) == 8 && offsetof(VARIANT, parray) == 8,
               "VARIANT value at 8");
_Static_assert(sizeof(SAFEARRAYBOUND) == 8 && sizeof(SAFEARRAY) == 32, "SAFEARRAY size");
_Static_assert(offsetof(SAFEARRAY, cDims) == 0 && offsetof(SAFEARRAY, fFeatures) == 2 &&
                   offsetof(SAFEARRAY, cbElements) == 4 && offsetof(SAFEARRAY, cLocks) == 8 &&
                   offsetof(SAFEARRAY, pvData) == 16 && offsetof(SAFEARRAY, rgsabound) == 24,
               "SAFEARRAY fields");
_Static_assert(offsetof(ExtString, text) == 0, "a text object's first member is its text");

static int failures = 0;

#define CHECK(condition, ...)                                         \
  do {                                                                \
    if (!(condition)) {                                               \
      fprintf(stderr, "%s:%d: %s: ", __FILE__, __LINE__, #condition); \
      fprintf(stderr, __VA_ARGS__);                                   \
      fprintf(stderr, "\n");                                          \
      ++failures;                                                     \
    }                                                                 \
  } while (0)

/* ---- Functions the library must not reach ------------------------------- */

static int foreignCalls = 0;

HRESULT VariantClear(VARIANT* value) {
  (void)value;
  ++foreignCalls;
  return 0;
}
void SysFreeString(BSTR text) {
  (void)text;
  ++foreignCalls;
}
HRESULT GmVariantClear(VARIANT* value) {
  (void)value;
  ++foreignCalls;
  return 0;
}
void GmSysFreeString(BSTR text) {
  (void)text;
  ++foreignCalls;
}

/* ---- The library's functions ----------------------------------------------- */

static void* library;

static void* Resolve(const char* name) {
  void* symbol = dlsym(library, name);
  CHECK(symbol != NULL, "export %s is missing", name);
  return symbol;
}

/* Pointers to the exports, resolved by name as another module of a host
 * resolves them (object pointer to function pointer, as POSIX allows). */
static FnSession (*fnCreate)(void);
static int32_t (*fnDestroy)(FnSession);
static int32_t (*fnNewFile)(FnSession, char*);
static int32_t (*fnOpenFile)(FnSession, const char*, char*);
static int32_t (*fnCreateSheet)(FnSession, const ExtString*, char*);
static int32_t (*fnGetSheet)(FnSession, const ExtString*, char*);
static int32_t (*fnGetCell)(FnSession, const char*, const char*, VARIANT*, char*);
static int32_t (*fnSetCell)(FnSession, const char*, const char*, VARIANT*, char*);
static int32_t (*fnPutFormat)(FnSession, const char*, const ExtString*, VARIANT*, char*);
static int32_t (*fnOffset)(FnSession, const char*, ExtString*, int32_t, int32_t);
static void (*gmInit)(VARIANT*);
static HRESULT (*gmClear)(VARIANT*);
static BSTR (*gmFromUtf8)(const char*);
static size_t (*gmToUtf8)(BSTR, char*, size_t);
static uint32_t (*gmLength)(BSTR);
static void (*gmFree)(BSTR);
static SAFEARRAY* (*gmMatrix)(uint32_t, uint32_t);
static SAFEARRAY* (*gmCreate)(VARTYPE, uint32_t, const SAFEARRAYBOUND*);
static uint32_t (*gmDims)(SAFEARRAY*);
static HRESULT (*gmLower)(SAFEARRAY*, uint32_t, int32_t*);
static HRESULT (*gmUpper)(SAFEARRAY*, uint32_t, int32_t*);
static HRESULT (*gmGet)(SAFEARRAY*, const int32_t*, VARIANT*);
static HRESULT (*gmPut)(SAFEARRAY*, const int32_t*, const VARIANT*);
static HRESULT (*gmDestroy)(SAFEARRAY*);
static int32_t (*extCreate)(ExtInstance*, ExtStatusRecord*);
static int32_t (*extDestroy)(ExtInstance, ExtStatusRecord*);
static int32_t (*extCmd)(ExtInstance, ExtWindow, int32_t, void*, int32_t, ExtStatusRecord*);

#define RESOLVE(variable, name)                \
  do {                                         \
    void* symbol = Resolve(name);              \
    memcpy(&variable, &symbol, sizeof symbol); \
  } while (0)

static void ResolveAll(void) {
  RESOLVE(fnCreate, "FnCreateInstance");
  RESOLVE(fnDestroy, "FnDestroyInstance");
  RESOLVE(fnNewFile, "FnNewFile");
  RESOLVE(fnOpenFile, "FnOpenFile");
  RESOLVE(fnCreateSheet, "FnCreateWorksheetObject");
  RESOLVE(fnGetSheet, "FnGetWorksheetObject");
  RESOLVE(fnGetCell, "FnGetWorksheetCell");
  RESOLVE(fnSetCell, "FnSetWorksheetCell");
  RESOLVE(fnPutFormat, "FnPutNumberFormat");
  RESOLVE(fnOffset, "FnOffsetCell");
  RESOLVE(gmInit, "GmVariantInit");
  RESOLVE(gmClear, "GmVariantClear");
  RESOLVE(gmFromUtf8, "GmSysAllocStringUtf8");
  RESOLVE(gmToUtf8, "GmSysStringToUtf8");
  RESOLVE(gmLength, "GmSysStringLen");
  RESOLVE(gmFree, "GmSysFreeString");
  RESOLVE(gmMatrix, "GmSafeArrayCreateMatrix");
  RESOLVE(gmCreate, "GmSafeArrayCreate");
  RESOLVE(gmDims, "GmSafeArrayGetDim");
  RESOLVE(gmLower, "GmSafeArrayGetLBound");
  RESOLVE(gmUpper, "GmSafeArrayGetUBound");
  RESOLVE(gmGet, "GmSafeArrayGetElement");
  RESOLVE(gmPut, "GmSafeArrayPutElement");
  RESOLVE(gmDestroy, "GmSafeArrayDestroy");
  RESOLVE(extCreate, "ExtCreateInstance");
  RESOLVE(extDestroy, "ExtDestroyInstance");
  RESOLVE(extCmd, "ExtCmd");
}

/* ---- Values -------------------------------------------------------------- */

static VARIANT Text(const char* utf8) {
  VARIANT value;
  gmInit(&value);
  value.vt = VT_BSTR;
  value.bstrVal = gmFromUtf8(utf8);
  return value;
}

static VARIANT Number(double number) {
  VARIANT value;
  gmInit(&value);
  value.vt = VT_R8;
  value.dblVal = number;
  return value;
}

/* The text of a VT_BSTR as UTF-8 (a static buffer), or "<not a text>". */
static const char* TextOf(const VARIANT* value) {
  static char buffer[256];
  if (value->vt != VT_BSTR) return "<not a text>";
  if (gmToUtf8(value->bstrVal, buffer, sizeof buffer) >= sizeof buffer) return "<long>";
  return buffer;
}

static ExtString Name(const char* text) {
  ExtString name;
  name.text = (char*)text;
  name.length = 0; /* in-texts are read through their text alone */
  return name;
}

static const char kNoConnection[] = "There is no connection to Excel";
static const char kUnknownHandle[] =
    "Unknown worksheet function handle (never created, or already destroyed)";
static const char kAnotherInstance[] =
    "This file is open in another instance of Excel.\nIt can not be opened twice in the same "
    "Conflux model";

/* Every function but FnOffsetCell answers 1 with `expected`; the caller's
 * VARIANTs are cleared on every path. */
static void CheckRefusals(FnSession session, const char* expected, const char* what) {
  char message[EXT_FN_MESSAGE_SIZE];
  ExtString sheet = Name("Sheet1");
  ExtString cell = Name("A1");
  VARIANT value = Text("caller's text");
  VARIANT format = Text("0.00");
  VARIANT out = Text("old content");

#define REFUSED(call)                                                                      \
  do {                                                                                     \
    memset(message, 'q', sizeof message);                                                  \
    CHECK((call) == 1 && strcmp(message, expected) == 0, "%s: %s said %.80s", what, #call, \
          message);                                                                        \
  } while (0)
  REFUSED(fnNewFile(session, message));
  REFUSED(fnOpenFile(session, "/nowhere/book.xlsx", message));
  REFUSED(fnCreateSheet(session, &sheet, message));
  REFUSED(fnGetSheet(session, &sheet, message));
  REFUSED(fnGetCell(session, "Sheet1", "A1", &out, message));
  REFUSED(fnSetCell(session, "Sheet1", "A1", &value, message));
  REFUSED(fnPutFormat(session, "Sheet1", &cell, &format, message));
#undef REFUSED
  CHECK(out.vt == VT_EMPTY && value.vt == VT_EMPTY && format.vt == VT_EMPTY,
        "%s: VARIANTs not cleared (%d %d %d)", what, out.vt, value.vt, format.vt);
  CHECK(fnNewFile(session, NULL) == 1, "%s: a null message", what);
}

static void CheckOffset(FnSession session) {
  ExtString result;
  ExtStringInit(&result);
  CHECK(fnOffset(session, "B7", &result, 3, 1) == 0 && strcmp(ExtStringText(&result), "B10") == 0,
        "B7 by 3 rows: %s", ExtStringText(&result));
  CHECK(fnOffset(session, "B7", &result, 3, 0) == 0 && strcmp(ExtStringText(&result), "E7") == 0,
        "B7 by 3 columns: %s", ExtStringText(&result));
  CHECK(fnOffset(session, "B0", &result, 3, 0) == 0 && result.length == 0, "B0");
  CHECK(fnOffset(session, "ABCDEFGH1", &result, 1, 0) == 1, "an over-long column");
  ExtStringFree(&result);
}

/* ---- Helpers ----------------------------------------------------------------- */

static void CheckTexts(void) {
  /* o with diaeresis, the euro sign, an emoji (two UTF-16 units), a byte
   * that is no UTF-8. */
  static const char kText[] = "Sch\xc3\xb6n \xe2\x82\xac \xf0\x9f\x98\x80 \xff";
  char buffer[64];
  const size_t length = strlen(kText);
  BSTR text = gmFromUtf8(kText);
  CHECK(text != NULL && gmLength(text) == 12, "UTF-16 length %u", gmLength(text));
  CHECK(gmToUtf8(text, buffer, sizeof buffer) == length && strcmp(buffer, kText) == 0,
        "round trip: %s", buffer);
  memset(buffer, 'q', sizeof buffer);
  CHECK(gmToUtf8(text, buffer, length) == length && buffer[0] == '\0',
        "a buffer one byte short takes nothing, never a cut text");
  gmFree(text);
  CHECK(gmToUtf8(NULL, buffer, sizeof buffer) == 0 && buffer[0] == '\0', "null BSTR");
  text = gmFromUtf8(NULL);
  CHECK(text != NULL && gmLength(text) == 0, "a null text is the empty one");
  gmFree(text);
}

/* A two-by-three array: element (r, c) holds 10 r + c, (2, 3) a text. */
static SAFEARRAY* NewMatrix(void) {
  int32_t r, c;
  SAFEARRAY* array = gmMatrix(2, 3);
  if (array == NULL) return NULL;
  for (r = 1; r <= 2; ++r) {
    for (c = 1; c <= 3; ++c) {
      const int32_t at[2] = {r, c};
      VARIANT value = (r == 2 && c == 3) ? Text("\xc3\xa9t\xc3\xa9") : Number(10 * r + c);
      CHECK(gmPut(array, at, &value) == 0, "put (%d, %d)", r, c);
      gmClear(&value);
    }
  }
  return array;
}

static void CheckMatrix(SAFEARRAY* array, const char* what) {
  int32_t r, c, bound;
  VARIANT element;
  gmInit(&element);
  CHECK(gmDims(array) == 2, "%s: dimensions", what);
  CHECK(gmLower(array, 1, &bound) == 0 && bound == 1, "%s: first row", what);
  CHECK(gmUpper(array, 1, &bound) == 0 && bound == 2, "%s: last row", what);
  CHECK(gmLower(array, 2, &bound) == 0 && bound == 1, "%s: first column", what);
  CHECK(gmUpper(array, 2, &bound) == 0 && bound == 3, "%s: last column", what);
  for (r = 1; r <= 2; ++r) {
    for (c = 1; c <= 3; ++c) {
      const int32_t at[2] = {r, c};
      CHECK(gmGet(array, at, &element) == 0, "%s: get (%d, %d)", what, r, c);
      if (r == 2 && c == 3) {
        CHECK(strcmp(TextOf(&element), "\xc3\xa9t\xc3\xa9") == 0, "%s: (2, 3) %s", what,
              TextOf(&element));
      } else {
        CHECK(element.vt == VT_R8 && element.dblVal == 10 * r + c, "%s: (%d, %d) type %d", what, r,
              c, element.vt);
      }
    }
  }
  gmClear(&element);
}

static void CheckArrays(void) {
  const int32_t outside[2] = {3, 1};
  VARIANT element;
  SAFEARRAY* array = NewMatrix();
  CHECK(array != NULL, "no array");
  if (array == NULL) return;
  CheckMatrix(array, "built");
  /* As a Windows caller lays it out: the last dimension first, data column
   * by column, 24-byte elements: (1, 2) is the third element. */
  CHECK(array->rgsabound[0].cElements == 3 && array->cbElements == 24, "layout");
  CHECK(((VARIANT*)array->pvData)[2].dblVal == 12, "column-major data");
  gmInit(&element);
  CHECK(gmGet(array, outside, &element) == (HRESULT)0x8002000B, "bad index");
  CHECK(gmDestroy(array) == 0, "destroy");
  CHECK(gmMatrix(0, 3) == NULL, "no rows");
}

/* ---- Without an application ------------------------------------------------ */

static void RunWithoutApplication(void) {
  static int notAHandle;
  char message[EXT_FN_MESSAGE_SIZE];
  FnSession session = fnCreate();
  CHECK(session != NULL, "a handle even when no application starts");
  CheckRefusals(session, kNoConnection, "no connection");
  CheckOffset(session);
  CheckOffset(NULL);

  /* Values the library does not take: 1 with the reason, cleared anyway. */
  {
    VARIANT small;
    VARIANT oneRow;
    SAFEARRAYBOUND bound = {3, 1};
    gmInit(&small);
    small.vt = VT_I2;
    CHECK(fnSetCell(session, "S", "A1", &small, message) == 1 &&
              strncmp(message, "A VARIANT of type VT_I2 is not supported", 40) == 0,
          "VT_I2: %s", message);
    gmInit(&oneRow);
    oneRow.vt = VT_ARRAY | VT_VARIANT;
    oneRow.parray = gmCreate(VT_VARIANT, 1, &bound);
    CHECK(fnSetCell(session, "S", "A1", &oneRow, message) == 1 &&
              strncmp(message, "An array of 1 dimension(s) is not supported", 43) == 0 &&
              oneRow.vt == VT_EMPTY,
          "one dimension: %s", message);
    CHECK(fnSetCell(session, "S", "A1", NULL, message) == 1 &&
              strcmp(message, "No VARIANT was given (a null pointer)") == 0,
          "null: %s", message);
  }
  /* A two-by-three array passed to a write is the library's to free. */
  {
    VARIANT block;
    gmInit(&block);
    block.vt = VT_ARRAY | VT_VARIANT;
    block.parray = NewMatrix();
    CHECK(fnSetCell(session, "S", "A1:C2", &block, message) == 1 && block.vt == VT_EMPTY,
          "array write: %s", message);
  }

  CHECK(fnDestroy(session) == 0, "destroy");
  CheckRefusals(session, kUnknownHandle, "destroyed handle");
  CheckRefusals((FnSession)(void*)&notAHandle, kUnknownHandle, "foreign handle");
  CheckOffset(session);
  CHECK(fnDestroy(session) == 0 && fnDestroy(NULL) == 0 &&
            fnDestroy((FnSession)(void*)&notAHandle) == 0,
        "destroying twice, null or a foreign handle");
  CheckTexts();
  CheckArrays();
}

/* ---- Against a real office ------------------------------------------------- */

static char scratch[1024];
static char workbooks[1024];

/* A path in one of four rotating buffers: copy what must last. */
static const char* PathIn(const char* folder, const char* name) {
  static char paths[4][1200];
  static int next = 0;
  char* path = paths[next++ % 4];
  snprintf(path, sizeof paths[0], "%s/%s", folder, name);
  return path;
}

static void CopyFile(const char* from, const char* to) {
  char buffer[8192];
  size_t count;
  FILE* in = fopen(from, "rb");
  FILE* out = fopen(to, "wb");
  CHECK(in != NULL && out != NULL, "copy %s to %s", from, to);
  while (in != NULL && out != NULL && (count = fread(buffer, 1, sizeof buffer, in)) > 0) {
    fwrite(buffer, 1, count, out);
  }
  if (in != NULL) fclose(in);
  if (out != NULL) fclose(out);
}

/* A driver instance with `path` as its workbook, opened (code 136, then 23
 * in direct mode). Returns the open's result; the instance in *instance. */
static int32_t OpenInInstance(ExtInstance* instance, const char* path, ExtStatusRecord* status) {
  static unsigned char record[EXT_FILE_NAME_RECORD_MIN_SIZE];
  memset(status, 0, sizeof *status);
  status->size = EXT_STATUS_RECORD_SIZE;
  CHECK(extCreate(instance, status) == 0, "instance: %s", status->text);
  memset(record, 0, sizeof record);
  snprintf((char*)record + EXT_FILE_NAME_TEXT_OFFSET, EXT_FILE_NAME_TEXT_SIZE, "%s", path);
  CHECK(extCmd(*instance, NULL, EXT_CMD_SET_FILE_NAME, record, 0, status) == 0, "136: %s",
        status->text);
  return extCmd(*instance, NULL, EXT_CMD_OPEN_CASE_WORKBOOK, NULL, 0, status);
}

/* Office processes this process started that are still there. */
static int OfficeChildren(void) {
  int count = 0;
  struct dirent* entry;
  DIR* proc = opendir("/proc");
  if (proc == NULL) return 0;
  while ((entry = readdir(proc)) != NULL) {
    char path[300];
    char line[512];
    FILE* stat;
    const char* close;
    int parent = 0;
    snprintf(path, sizeof path, "/proc/%s/stat", entry->d_name);
    stat = fopen(path, "r");
    if (stat == NULL) continue;
    if (fgets(line, sizeof line, stat) != NULL && strstr(line, "(soffice.bin)") != NULL &&
        (close = strrchr(line, ')')) != NULL && sscanf(close + 2, "%*c %d", &parent) == 1 &&
        parent == (int)getpid()) {
      ++count;
    }
    fclose(stat);
  }
  closedir(proc);
  return count;
}

static void CheckCell(FnSession session, const char* sheet, const char* cell, double number,
                      const char* text) {
  char message[EXT_FN_MESSAGE_SIZE] = "";
  VARIANT value;
  gmInit(&value);
  CHECK(fnGetCell(session, sheet, cell, &value, message) == 0, "read %s!%s: %s", sheet, cell,
        message);
  if (text != NULL) {
    CHECK(strcmp(TextOf(&value), text) == 0, "%s!%s: %s", sheet, cell, TextOf(&value));
  } else {
    CHECK(value.vt == VT_R8 && value.dblVal == number, "%s!%s: type %d, %g", sheet, cell, value.vt,
          value.dblVal);
  }
  gmClear(&value);
}

static void RunWithCalc(void) {
  char message[EXT_FN_MESSAGE_SIZE] = "";
  ExtStatusRecord status;
  ExtInstance holder = NULL;
  ExtInstance refused = NULL;
  ExtString data = Name("Data");
  ExtString cell = Name("A1");
  VARIANT value;
  FnSession session = fnCreate();
  FnSession other = fnCreate();
  FnSession reader = fnCreate();
  char held[1200];
  char mine[1200];
  snprintf(held, sizeof held, "%s", PathIn(scratch, "held.fods"));
  snprintf(mine, sizeof mine, "%s", PathIn(scratch, "mine.xlsx"));
  CopyFile(PathIn(workbooks, "book.fods"), held);
  CopyFile(PathIn(workbooks, "book.xlsx"), mine);

  CHECK(fnOpenFile(session, PathIn(scratch, "missing.xlsx"), message) == 0, "new: %s", message);
  CHECK(fnCreateSheet(session, &data, message) == 0, "sheet: %s", message);
  CHECK(OfficeChildren() == 1, "the office this process started: %d", OfficeChildren());
  value = Number(2.5);
  CHECK(fnSetCell(session, "Data", "A1", &value, message) == 0, "number: %s", message);
  value = Text("=A1*2");
  CHECK(fnSetCell(session, "Data", "A2", &value, message) == 0, "formula: %s", message);
  CheckCell(session, "Data", "A2", 5, NULL);
  gmInit(&value);
  CHECK(fnGetCell(session, "Data", "Z99", &value, message) == 0 && value.vt == VT_EMPTY,
        "an empty cell: type %d", value.vt);
  value = Text("0.00");
  CHECK(fnPutFormat(session, "Data", &cell, &value, message) == 0 && value.vt == VT_EMPTY,
        "format: %s", message);
  CheckCell(session, "Data", "A1", 2.5, NULL);
  value = Text("made");
  CHECK(fnSetCell(session, "Made", "B2", &value, message) == 0, "new sheet: %s", message);
  CHECK(fnGetSheet(session, &(ExtString){(char*)"Made", 4}, message) == 0, "select: %s", message);
  CheckCell(session, "Made", "B2", 0, "made");

  /* A two-by-three block written as an array and read back as one. */
  {
    VARIANT block;
    gmInit(&block);
    block.vt = VT_ARRAY | VT_VARIANT;
    block.parray = NewMatrix();
    CHECK(fnSetCell(session, "Data", "C1:E2", &block, message) == 0 && block.vt == VT_EMPTY,
          "array write: %s", message);
    CHECK(fnGetCell(session, "Data", "C1:E2", &block, message) == 0 &&
              block.vt == (VT_ARRAY | VT_VARIANT),
          "array read: type %d %s", block.vt, message);
    if (block.vt == (VT_ARRAY | VT_VARIANT)) CheckMatrix(block.parray, "read");
    gmClear(&block);
  }

  /* The open-workbook registry is shared with driver instances, both ways. */
  CHECK(OpenInInstance(&holder, held, &status) == 0, "instance open: %s", status.text);
  CHECK(fnOpenFile(other, held, message) == 1 && strcmp(message, kAnotherInstance) == 0,
        "held by an instance: %s", message);
  CHECK(fnOpenFile(other, mine, message) == 0, "own file: %s", message);
  CHECK(
      OpenInInstance(&refused, mine, &status) == 1 && strstr(status.text, kAnotherInstance) != NULL,
      "held by a handle: %s", status.text);

  /* Workbooks kept with the tests. */
  CHECK(fnOpenFile(reader, PathIn(workbooks, "book.xlsx"), message) == 0, "xlsx: %s", message);
  CheckCell(reader, "Values", "A1", 1.5, NULL);
  CheckCell(reader, "Values", "B1", 0, "h\xc3\xa9llo");
  CheckCell(reader, "Values", "A2", 3, NULL);
  CHECK(fnOpenFile(reader, PathIn(workbooks, "book.fods"), message) == 0, "fods: %s", message);
  CheckCell(reader, "Values", "B1", 0, "h\xc3\xa9llo");
  CheckCell(reader, "Values", "A2", 3, NULL);

  fnDestroy(session);
  fnDestroy(other);
  fnDestroy(reader);
  extDestroy(holder, &status);
  extDestroy(refused, &status);
  {
    int wait;
    for (wait = 0; wait < 600 && OfficeChildren() > 0; ++wait) {
      struct timespec delay = {0, 100000000L};
      nanosleep(&delay, NULL);
    }
    CHECK(OfficeChildren() == 0, "an office process outlived every application object");
  }
}

int main(int argc, char** argv) {
  int calc;
  char settings[1200];
  FILE* file;
  if (argc < 4 || (strcmp(argv[2], "calc") == 0 && argc < 5)) {
    fprintf(stderr, "usage: worksheet_functions <library> none|calc <scratch> [<workbooks>]\n");
    return 2;
  }
  calc = strcmp(argv[2], "calc") == 0;
  snprintf(scratch, sizeof scratch, "%s", argv[3]);
  if (calc) snprintf(workbooks, sizeof workbooks, "%s", argv[4]);
  mkdir(scratch, 0700);
  /* Private settings, direct mode. */
  snprintf(settings, sizeof settings, "%s/registry.reg", scratch);
  file = fopen(settings, "w");
  if (file == NULL) return 2;
  fputs(
      "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Orvane\\Conflux\\Config]\n"
      "\"Vista\"=dword:00000000\n",
      file);
  fclose(file);
  setenv("GRIDMOOR_REGISTRY", settings, 1);

  library = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
  if (library == NULL) {
    fprintf(stderr, "cannot load %s: %s\n", argv[1], dlerror());
    return 1;
  }
  ResolveAll();
  if (failures == 0) {
    if (calc) {
      RunWithCalc();
    } else {
      RunWithoutApplication();
    }
  }
  CHECK(foreignCalls == 0, "the library called %d function(s) of this module", foreignCalls);
  if (failures != 0) {
    fprintf(stderr, "%d check(s) failed\n", failures);
    return 1;
  }
  printf("worksheet functions (%s): all checks passed\n", argv[2]);
  return 0;
}
