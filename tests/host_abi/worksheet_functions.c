/*
 * Another module of a host, in C, driving workbooks through the worksheet
 * functions and the VARIANT helpers of the library (dlopen, dlsym). Its own
 * functions named as the library's helpers must never be called by it.
 *
 *   worksheet_functions <library> none|calc <scratch> [<workbooks>]
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

#include "abi_check.h"
#include "gridmoor/host.h"
#include "gridmoor/oleauto.h"
#include "gridmoor/worksheet_functions.h"

_Static_assert(sizeof(GmVariant) == 24 && offsetof(GmVariant, vt) == 0 &&
                   offsetof(GmVariant, wReserved1) == 2 && offsetof(GmVariant, wReserved3) == 6,
               "VARIANT type and reserved words");
_Static_assert(offsetof(GmVariant, lVal) == 8 && offsetof(GmVariant, dblVal) == 8 &&
                   offsetof(GmVariant, bstrVal) == 8 && offsetof(GmVariant, parray) == 8,
               "VARIANT value at 8");
_Static_assert(sizeof(GmSafeArrayBound) == 8 && sizeof(GmSafeArray) == 32 &&
                   offsetof(GmSafeArray, pvData) == 16 && offsetof(GmSafeArray, rgsabound) == 24,
               "SAFEARRAY");

/* Functions the library must not reach. */
static int foreignCalls = 0;
GmHresult VariantClear(GmVariant* value) {
  (void)value;
  return ++foreignCalls;
}
GmHresult GmVariantClear(GmVariant* value) {
  (void)value;
  return ++foreignCalls;
}
void GmSysFreeString(GmBstr text) {
  (void)text;
  ++foreignCalls;
}

/* The exports: result, member of api, name, parameters. */
#define EXPORTS(X)                                                                           \
  X(FnSession, create, "FnCreateInstance", (void))                                           \
  X(int32_t, destroy, "FnDestroyInstance", (FnSession))                                      \
  X(int32_t, newFile, "FnNewFile", (FnSession, char*))                                       \
  X(int32_t, openFile, "FnOpenFile", (FnSession, const char*, char*))                        \
  X(int32_t, addSheet, "FnCreateWorksheetObject", (FnSession, const ExtString*, char*))      \
  X(int32_t, selectSheet, "FnGetWorksheetObject", (FnSession, const ExtString*, char*))      \
  X(int32_t, getCell, "FnGetWorksheetCell",                                                  \
    (FnSession, const char*, const char*, GmVariant*, char*))                                \
  X(int32_t, setCell, "FnSetWorksheetCell",                                                  \
    (FnSession, const char*, const char*, GmVariant*, char*))                                \
  X(int32_t, putFormat, "FnPutNumberFormat",                                                 \
    (FnSession, const char*, const ExtString*, GmVariant*, char*))                           \
  X(int32_t, offset, "FnOffsetCell", (FnSession, const char*, ExtString*, int32_t, int32_t)) \
  X(void, init, "GmVariantInit", (GmVariant*))                                               \
  X(GmHresult, clear, "GmVariantClear", (GmVariant*))                                        \
  X(GmBstr, fromUtf8, "GmSysAllocStringUtf8", (const char*))                                 \
  X(size_t, toUtf8, "GmSysStringToUtf8", (GmBstr, char*, size_t))                            \
  X(uint32_t, length, "GmSysStringLen", (GmBstr))                                            \
  X(void, free, "GmSysFreeString", (GmBstr))                                                 \
  X(GmSafeArray*, matrix, "GmSafeArrayCreateMatrix", (uint32_t, uint32_t))                   \
  X(GmHresult, bound, "GmSafeArrayGetUBound", (GmSafeArray*, uint32_t, int32_t*))            \
  X(GmHresult, get, "GmSafeArrayGetElement", (GmSafeArray*, const int32_t*, GmVariant*))     \
  X(GmHresult, put, "GmSafeArrayPutElement", (GmSafeArray*, const int32_t*, const GmVariant*))

#define MEMBER(result, member, name, parameters) result(*member) parameters;
static struct { EXPORTS(MEMBER) } api;

/* Object pointer to function pointer, as POSIX allows for dlsym results. */
static int Resolve(void* library) {
  void* symbol;
#define RESOLVE(result, member, name, parameters) \
  symbol = dlsym(library, name);                  \
  CHECK(symbol != NULL, "%s is missing", name);   \
  api.member = (result(*) parameters)(uintptr_t)symbol;
  EXPORTS(RESOLVE)
  return failures == 0;
}

static GmVariant Text(const char* utf8) {
  GmVariant value;
  api.init(&value);
  value.vt = GM_VT_BSTR;
  value.bstrVal = api.fromUtf8(utf8);
  return value;
}

static GmVariant Number(double number) {
  GmVariant value;
  api.init(&value);
  value.vt = GM_VT_R8;
  value.dblVal = number;
  return value;
}

/* 1 when value is the text (NULL) or the number. */
static int Holds(const GmVariant* value, const char* text, double number) {
  char buffer[256];
  if (text == NULL) return value->vt == GM_VT_R8 && value->dblVal == number;
  return value->vt == GM_VT_BSTR &&
         api.toUtf8(value->bstrVal, buffer, sizeof buffer) < sizeof buffer &&
         strcmp(buffer, text) == 0;
}

static const char kUnknownFunctionHandleText[] =
    "Unknown worksheet function handle (never created, or already destroyed)";

/* Every function but FnOffsetCell answers 1 with `expected` and clears the
 * caller's VARIANTs. */
static void CheckRefusals(FnSession session, const char* expected) {
  char message[EXT_FN_MESSAGE_SIZE];
  ExtString name = {(char*)"Sheet1", 0}; /* read through its text alone */
  GmVariant value = Text("caller's text"), format = Text("0.00"), out = Text("old");
#define REFUSED(call)                   \
  memset(message, 'q', sizeof message); \
  CHECK((call) == 1 && strcmp(message, expected) == 0, "%s said %.80s", #call, message)
  REFUSED(api.newFile(session, message));
  REFUSED(api.openFile(session, "/nowhere/book.xlsx", message));
  REFUSED(api.addSheet(session, &name, message));
  REFUSED(api.selectSheet(session, &name, message));
  REFUSED(api.getCell(session, "Sheet1", "A1", &out, message));
  REFUSED(api.setCell(session, "Sheet1", "A1", &value, message));
  REFUSED(api.putFormat(session, "Sheet1", &name, &format, message));
#undef REFUSED
  CHECK(out.vt == GM_VT_EMPTY && value.vt == GM_VT_EMPTY && format.vt == GM_VT_EMPTY,
        "not cleared");
  CHECK(api.newFile(session, NULL) == 1, "a null message");
}

/* A two-by-three array: (r, c) holds 10 r + c, (2, 3) a text. */
static GmSafeArray* NewMatrix(void) {
  int32_t at[2];
  GmSafeArray* array = api.matrix(2, 3);
  for (at[0] = 1; array != NULL && at[0] <= 2; ++at[0]) {
    for (at[1] = 1; at[1] <= 3; ++at[1]) {
      GmVariant value = at[0] * at[1] == 6 ? Text("\xc3\xa9t\xc3\xa9") : Number(10 * at[0] + at[1]);
      CHECK(api.put(array, at, &value) == 0, "put");
      api.clear(&value);
    }
  }
  return array;
}

static void CheckMatrix(GmSafeArray* array) {
  int32_t at[2], rows = 0, columns = 0;
  GmVariant element;
  api.init(&element);
  CHECK(api.bound(array, 1, &rows) == 0 && rows == 2 && api.bound(array, 2, &columns) == 0 &&
            columns == 3 && array->cDims == 2,
        "bounds %d x %d", rows, columns);
  for (at[0] = 1; at[0] <= 2; ++at[0]) {
    for (at[1] = 1; at[1] <= 3; ++at[1]) {
      CHECK(
          api.get(array, at, &element) == 0 &&
              Holds(&element, at[0] * at[1] == 6 ? "\xc3\xa9t\xc3\xa9" : NULL, 10 * at[0] + at[1]),
          "(%d, %d) type %d", at[0], at[1], element.vt);
    }
  }
  api.clear(&element);
}

static void RunWithoutApplication(void) {
  static int notAHandle;
  /* o with diaeresis, the euro sign, an emoji (two UTF-16 units), no UTF-8. */
  static const char kText[] = "Sch\xc3\xb6n \xe2\x82\xac \xf0\x9f\x98\x80 \xff";
  char message[EXT_FN_MESSAGE_SIZE];
  ExtString result = {NULL, 0};
  GmVariant block;
  FnSession session = api.create();
  CHECK(session != NULL, "a handle even when no application starts");
  CheckRefusals(session, "There is no connection to Excel");
  CHECK(api.offset(NULL, "B7", &result, 3, 1) == 0 && strcmp(ExtStringText(&result), "B10") == 0,
        "B7 by 3 rows: %s", ExtStringText(&result));
  ExtStringFree(&result);

  /* The library frees a caller's array on a failed write too. */
  api.init(&block);
  block.vt = GM_VT_ARRAY | GM_VT_VARIANT;
  block.parray = NewMatrix();
  CheckMatrix(block.parray);
  CHECK(api.setCell(session, "S", "A1:C2", &block, message) == 1 && block.vt == GM_VT_EMPTY,
        "array");

  CHECK(api.destroy(session) == 0, "destroy");
  CheckRefusals(session, kUnknownFunctionHandleText);
  CheckRefusals((FnSession)(void*)&notAHandle, kUnknownFunctionHandleText);
  CHECK(api.destroy(session) == 0 && api.destroy(NULL) == 0, "destroying twice, or null");

  GmBstr text = api.fromUtf8(kText);
  CHECK(api.length(text) == 12, "UTF-16 length %u", api.length(text));
  CHECK(api.toUtf8(text, message, sizeof message) == strlen(kText) && !strcmp(message, kText),
        "round trip: %s", message);
  CHECK(api.toUtf8(text, message, strlen(kText)) == strlen(kText) && message[0] == '\0',
        "one byte short: nothing, never a cut text");
  api.free(text);
}

static char scratch[1024], workbooks[1024];

/* Office processes this process started that are still there. */
static int OfficeChildren(void) {
  int count = 0, parent;
  struct dirent* entry;
  DIR* proc = opendir("/proc");
  while (proc != NULL && (entry = readdir(proc)) != NULL) {
    char path[300], line[512];
    const char* end;
    FILE* stat;
    snprintf(path, sizeof path, "/proc/%s/stat", entry->d_name);
    if ((stat = fopen(path, "r")) == NULL) continue;
    if (fgets(line, sizeof line, stat) != NULL && strstr(line, "(soffice.bin)") != NULL &&
        (end = strrchr(line, ')')) != NULL && sscanf(end + 2, "%*c %d", &parent) == 1 &&
        parent == (int)getpid())
      ++count;
    fclose(stat);
  }
  if (proc != NULL) closedir(proc);
  return count;
}

/* Reads sheet!cell and checks it holds the text (NULL) or the number. */
static void CheckCell(FnSession session, const char* sheet, const char* cell, const char* text,
                      double number) {
  char message[EXT_FN_MESSAGE_SIZE] = "";
  GmVariant value;
  api.init(&value);
  CHECK(api.getCell(session, sheet, cell, &value, message) == 0 && Holds(&value, text, number),
        "%s!%s: type %d %s", sheet, cell, value.vt, message);
  api.clear(&value);
}

static void RunWithCalc(void) {
  char message[EXT_FN_MESSAGE_SIZE] = "", path[1200];
  ExtString data = {(char*)"Data", 4}, cell = {(char*)"A1", 2};
  GmVariant value;
  FnSession session = api.create(), reader = api.create();
  int wait;
  snprintf(path, sizeof path, "%s/missing.xlsx", scratch);
  CHECK(api.openFile(session, path, message) == 0, "new: %s", message);
  CHECK(api.addSheet(session, &data, message) == 0, "sheet: %s", message);
  CHECK(OfficeChildren() == 1, "the office this process started: %d", OfficeChildren());
  value = Number(2.5);
  CHECK(api.setCell(session, "Data", "A1", &value, message) == 0, "number: %s", message);
  value = Text("=A1*2");
  CHECK(api.setCell(session, "Data", "A2", &value, message) == 0, "formula: %s", message);
  CheckCell(session, "Data", "A2", NULL, 5);
  value = Text("0.00");
  CHECK(api.putFormat(session, "Data", &cell, &value, message) == 0, "format: %s", message);
  CheckCell(session, "Data", "A1", NULL, 2.5);
  value = Text("made");
  CHECK(api.setCell(session, "Made", "B2", &value, message) == 0, "new sheet: %s", message);
  CheckCell(session, "Made", "B2", "made", 0);

  /* A two-by-three block written as an array and read back as one. */
  value.vt = GM_VT_ARRAY | GM_VT_VARIANT;
  value.parray = NewMatrix();
  CHECK(api.setCell(session, "Data", "C1:E2", &value, message) == 0, "array write: %s", message);
  CHECK(api.getCell(session, "Data", "C1:E2", &value, message) == 0 &&
            value.vt == (GM_VT_ARRAY | GM_VT_VARIANT),
        "array read: type %d %s", value.vt, message);
  if (value.vt == (GM_VT_ARRAY | GM_VT_VARIANT)) CheckMatrix(value.parray);
  api.clear(&value);

  /* Workbooks kept with the tests. */
  snprintf(path, sizeof path, "%s/book.xlsx", workbooks);
  CHECK(api.openFile(reader, path, message) == 0, "xlsx: %s", message);
  CheckCell(reader, "Values", "A1", NULL, 1.5);
  CheckCell(reader, "Values", "B1", "h\xc3\xa9llo", 0);
  snprintf(path, sizeof path, "%s/book.fods", workbooks);
  CHECK(api.openFile(reader, path, message) == 0, "fods: %s", message);
  CheckCell(reader, "Values", "A2", NULL, 3);

  api.destroy(session);
  api.destroy(reader);
  for (wait = 0; wait < 600 && OfficeChildren() > 0; ++wait) {
    struct timespec delay = {0, 100000000L};
    nanosleep(&delay, NULL);
  }
  CHECK(OfficeChildren() == 0, "an office process outlived every application object");
}

int main(int argc, char** argv) {
  const int calc = argc > 2 && strcmp(argv[2], "calc") == 0;
  char settings[1100];
  FILE* file;
  void* library;
  if (argc < 4 + calc) {
    fprintf(stderr, "usage: worksheet_functions <library> none|calc <scratch> [<workbooks>]\n");
    return 2;
  }
  snprintf(scratch, sizeof scratch, "%s", argv[3]);
  if (calc) snprintf(workbooks, sizeof workbooks, "%s", argv[4]);
  mkdir(scratch, 0700);
  /* Private settings: direct mode. */
  snprintf(settings, sizeof settings, "%s/registry.reg", scratch);
  if ((file = fopen(settings, "w")) == NULL) return 2;
  fputs(
      "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Orvane\\Conflux\\Config]\n"
      "\"Vista\"=dword:00000000\n",
      file);
  fclose(file);
  setenv("GRIDMOOR_REGISTRY", settings, 1);
  if ((library = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL)) == NULL) {
    fprintf(stderr, "cannot load %s: %s\n", argv[1], dlerror());
    return 1;
  }
  if (Resolve(library)) {
    if (calc) {
      RunWithCalc();
    } else {
      RunWithoutApplication();
    }
  }
  CHECK(foreignCalls == 0, "the library called %d function(s) of this module", foreignCalls);
  if (failures != 0) return 1;
  printf("worksheet functions (%s): all checks passed\n", argv[2]);
  return 0;
}
